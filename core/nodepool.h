#pragma once
// Memory for the nodes of one node-based container (a set, a map): the blocks of the size asked
// first are cut from slabs that are kept until the pool goes, so that nodes made one after the
// other lie side by side, and a freed block is the next one handed out. A walk over nodes made
// in turn (a tree's nodes of neighbouring keys) then reads neighbouring cache lines. Blocks of
// any other size come from the heap. Not for use by more than one thread.
#include <cstddef>
#include <memory>
#include <memory_resource>
#include <vector>

class TNodePool : public std::pmr::memory_resource {
public:
    TNodePool() = default;
    TNodePool(const TNodePool&) = delete;
    TNodePool& operator=(const TNodePool&) = delete;

private:
    static constexpr size_t kSlabBlocks = 256;
    struct TFree {
        TFree* Next;
    };

    void* do_allocate(size_t Bytes, size_t Alignment) override;
    void do_deallocate(void* Block, size_t Bytes, size_t Alignment) override;
    bool do_is_equal(const std::pmr::memory_resource& Other) const noexcept override { return this == &Other; }
    bool Pooled(size_t Bytes, size_t Alignment) const {
        return Bytes == blockBytes_ && Alignment <= alignof(std::max_align_t);
    }

    size_t blockBytes_ = 0;  // the size the pool's blocks are asked for, set by the first allocation
    size_t stride_ = 0;      // the room a block takes in a slab
    std::vector<std::unique_ptr<std::byte[]>> slabs_;
    size_t cut_ = kSlabBlocks;  // blocks cut from the last slab
    TFree* free_ = nullptr;
};
