#include "core/nodepool.h"

#include <algorithm>
#include <utility>

void* TNodePool::do_allocate(size_t Bytes, size_t Alignment) {
    constexpr size_t kAlign = alignof(std::max_align_t);
    if (blockBytes_ == 0 && Alignment <= kAlign) {
        blockBytes_ = Bytes;
        stride_ = (std::max(Bytes, sizeof(TFree)) + kAlign - 1) & ~(kAlign - 1);
    }
    if (!Pooled(Bytes, Alignment)) return ::operator new(Bytes, std::align_val_t(Alignment));
    if (free_) return std::exchange(free_, free_->Next);
    if (cut_ == kSlabBlocks) {
        slabs_.reserve(slabs_.size() + 1);
        slabs_.push_back(std::make_unique_for_overwrite<std::byte[]>(kSlabBlocks * stride_));
        cut_ = 0;
    }
    return slabs_.back().get() + stride_ * cut_++;
}

void TNodePool::do_deallocate(void* Block, size_t Bytes, size_t Alignment) {
    if (!Pooled(Bytes, Alignment)) return ::operator delete(Block, std::align_val_t(Alignment));
    free_ = new (Block) TFree{free_};
}
