#include "core/membudget.h"

#include "platform/system.h"

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <new>

const char MemoryBudgetMessage[] = "タイトルのメモリを使い切りました";

namespace {

constexpr int64_t kMiB = int64_t(1) << 20;
constexpr int64_t kMaxLimitMiB = int64_t(1) << 20;
// What a thread counts on its own before it settles with the shared total.
constexpr int64_t kSettleStep = int64_t(64) << 10;

std::atomic<int64_t> charged{0};
std::atomic<int64_t> limit{-1};  // -1 until set or read from the environment: nothing is refused
std::atomic<bool> refused{false};
// The smallest block the host is taken to refuse outside a TBudgetRefusal (SimulateHostRefusal).
std::atomic<size_t> hostRefusesFrom{SIZE_MAX};

// A thread's own count, plain thread-local words so that an allocation reads and writes it
// without any call. A thread starts Unsettled far above the step, so that its first allocation
// takes the slow way, which registers the hand-over of its count when the thread ends.
constexpr int64_t kUnsettled = int64_t(1) << 62;
thread_local int64_t pending = kUnsettled;
// What the count starts from again once settled: Unsettled after the thread handed its count
// over as it ended, so that what its last destructors free settles at once.
thread_local int64_t settledCount = 0;
thread_local int refusing = 0;  // the TBudgetRefusal scopes open on the thread

bool Settle() noexcept;

struct THandOverAtExit {
    ~THandOverAtExit() {
        settledCount = kUnsettled;
        Settle();
    }
};

int64_t DefaultMemoryLimit() {
    const int64_t physical = platform::PhysicalMemoryBytes();
    return physical > 0 ? std::min(physical / 4, kMaxDefaultMemoryLimit) : kMaxDefaultMemoryLimit;
}

// Settles the thread's count; true when the total then passes the limit.
bool Settle() noexcept {
    if (pending >= kUnsettled / 2) {
        pending -= kUnsettled;
        static thread_local THandOverAtExit handOver;
        (void)handOver;
    }
    const int64_t total = charged.fetch_add(pending, std::memory_order_relaxed) + pending;
    pending = settledCount;
    const int64_t most = limit.load(std::memory_order_relaxed);
    return most >= 0 && total > most;
}

// The slow way of an allocation of Bytes at Block that brought the thread's count past the step;
// true when the total then passes the limit on a refusing thread and no exception unwinds: the
// block is then freed again.
[[gnu::noinline]] bool SettleRefuses(void* Block, int64_t Bytes) noexcept {
    if (!Settle() || refusing == 0 || std::uncaught_exceptions() > 0) return false;
    charged.fetch_sub(Bytes, std::memory_order_relaxed);
    std::free(Block);
    return true;
}

[[noreturn, gnu::noinline]] void RaiseRefusal() { throw EMemoryBudget(); }

// What a block counts: the bytes the allocator takes for it. For a small block that is worked
// out from its size (the allocator's 8-byte header and 16-byte steps, 32 at least), alike when
// it is taken and when it is given back with its size; a large block, a block of a larger
// alignment and one given back without its size count the allocator's own word on the block
// (the same for a small block but for the few bytes it may take beyond its size).
constexpr size_t kSmallBlock = size_t(64) << 10;
inline int64_t BlockBytes(void* Block) { return static_cast<int64_t>(malloc_usable_size(Block)) + 8; }
inline int64_t SizedBytes(void* Block, size_t Size) {
    return Size < kSmallBlock ? std::max<int64_t>((int64_t(Size) + 8 + 15) & ~int64_t(15), 32) : BlockBytes(Block);
}

// Counts an allocation of Bytes at Block; true when it is refused, the block freed again.
inline bool Refused(void* Block, int64_t Bytes) noexcept {
    return (pending += Bytes) >= kSettleStep && SettleRefuses(Block, Bytes);
}

// Whether the thread's count lies a step or more from settled either way. A thread that has not
// settled yet lies far above, so that a thread that only frees what others made settles too.
inline bool PastStep(int64_t Count) {
    return static_cast<uint64_t>(Count) + uint64_t(kSettleStep - 1) > uint64_t(2 * kSettleStep - 2);
}

inline void Give(void* Block, int64_t Bytes) noexcept {
    std::free(Block);
    if (PastStep(pending -= Bytes)) [[unlikely]]
        Settle();
}
inline void GiveBlock(void* Block) noexcept {
    if (Block) Give(Block, BlockBytes(Block));
}

// malloc (or posix_memalign when Align is past what malloc gives), asking the new-handler to
// make room as the standard allocation functions do; nullptr when there is none.
void* Take(size_t Size, size_t Align) noexcept {
    if (Size >= hostRefusesFrom.load(std::memory_order_relaxed) && refusing == 0) return nullptr;
    if (Size == 0) Size = 1;
    for (;;) {
        void* block = nullptr;
        if (Align <= alignof(std::max_align_t)) {
            block = std::malloc(Size);
        } else if (posix_memalign(&block, Align, Size) != 0) {
            block = nullptr;
        }
        if (block) return block;
        const std::new_handler handler = std::get_new_handler();
        if (!handler) return nullptr;
        try {
            handler();
        } catch (...) {
            return nullptr;
        }
    }
}

// Take and the count, raising bad_alloc for a block the host cannot give and EMemoryBudget for
// one the budget refuses; the forms that must not throw (Quiet) answer nullptr for either.
template <bool Quiet>
[[gnu::noinline]] void* TakeCounted(size_t Size, size_t Align) noexcept(Quiet) {
    void* block = Take(Size, Align);
    const bool refused = block && Refused(block, Align ? BlockBytes(block) : SizedBytes(block, Size));
    if (block && !refused) return block;
    if constexpr (!Quiet) {
        if (refused) RaiseRefusal();
        throw std::bad_alloc();
    }
    return nullptr;
}

// The common case inline.
inline void* TakeBlock(size_t Size) {
    if (Size >= hostRefusesFrom.load(std::memory_order_relaxed)) [[unlikely]]
        return TakeCounted<false>(Size, 0);
    void* block = std::malloc(Size);
    if (!block) [[unlikely]]
        return TakeCounted<false>(Size, 0);
    if (Refused(block, SizedBytes(block, Size))) [[unlikely]]
        RaiseRefusal();
    return block;
}

}  // namespace

EMemoryBudget::EMemoryBudget() { refused.store(true, std::memory_order_relaxed); }

const char* EMemoryBudget::what() const noexcept { return MemoryBudgetMessage; }

const char* ErrorText(const std::exception& E) {
    return MemoryRefused() || dynamic_cast<const std::bad_alloc*>(&E) ? MemoryBudgetMessage : E.what();
}

bool MebibytesFromEnvironment(const char* Name, int64_t Default, int64_t& Bytes) {
    const std::optional<std::string> text = platform::EnvironmentVariable(Name);
    if (!text || text->empty()) {  // set empty, as VELA_SCALE, it is taken as not set
        Bytes = Default;
        return true;
    }
    int64_t mib = 0;
    if (text->size() > 7) return false;
    for (const char c : *text) {
        if (c < '0' || c > '9') return false;
        mib = mib * 10 + (c - '0');
    }
    if (mib < 1 || mib > kMaxLimitMiB) return false;
    Bytes = mib * kMiB;
    return true;
}

bool MemoryLimitFromEnvironment(int64_t& Bytes) {
    return MebibytesFromEnvironment("VELA_MEMORY_LIMIT", DefaultMemoryLimit(), Bytes);
}

int64_t MemoryLimit() {
    int64_t value = limit.load(std::memory_order_relaxed);
    if (value >= 0) return value;
    if (!MemoryLimitFromEnvironment(value)) value = DefaultMemoryLimit();
    int64_t expected = -1;
    limit.compare_exchange_strong(expected, value);
    return limit.load(std::memory_order_relaxed);
}

int64_t MemoryCharged() {
    Settle();
    return charged.load(std::memory_order_relaxed);
}

void SetMemoryLimit(int64_t Bytes) {
    limit.store(std::max<int64_t>(Bytes, 0), std::memory_order_relaxed);
    refused.store(false, std::memory_order_relaxed);
}

bool MemoryRefused() { return refused.load(std::memory_order_relaxed); }

TBudgetRefusal::TBudgetRefusal() { ++refusing; }

TBudgetRefusal::~TBudgetRefusal() { --refusing; }

bool TryChargeMemory(int64_t Bytes) noexcept {
    if (Bytes <= 0) return true;
    const int64_t most = MemoryLimit();
    int64_t now = charged.load(std::memory_order_relaxed);
    do {
        if (Bytes > most - now) return false;
    } while (!charged.compare_exchange_weak(now, now + Bytes, std::memory_order_relaxed));
    return true;
}

void ReleaseMemory(int64_t Bytes) noexcept {
    if (Bytes > 0) charged.fetch_sub(Bytes, std::memory_order_relaxed);
}

bool TMemoryCharge::TryResize(int64_t Bytes) noexcept {
    Bytes = std::max<int64_t>(Bytes, 0);
    if (Bytes > bytes_ && !TryChargeMemory(Bytes - bytes_)) return false;
    if (Bytes < bytes_) ReleaseMemory(bytes_ - Bytes);
    bytes_ = Bytes;
    return true;
}

void SimulateHostRefusal(int64_t Bytes) {
    hostRefusesFrom.store(Bytes > 0 ? static_cast<size_t>(Bytes) : SIZE_MAX, std::memory_order_relaxed);
}

void EndOnRefusalAtTerminate() {
    static const std::terminate_handler previous = std::get_terminate();
    std::set_terminate([] {
        if (std::exception_ptr current = std::current_exception()) {
            try {
                std::rethrow_exception(current);
            } catch (const EMemoryBudget&) {
                std::fprintf(stderr, "velaplay: %s\n", MemoryBudgetMessage);
                std::_Exit(1);
            } catch (...) {
            }
        }
        previous();
    });
}

// ---- The replaced allocation functions ----

void* operator new(size_t Size) { return TakeBlock(Size); }
void* operator new[](size_t Size) { return TakeBlock(Size); }
void* operator new(size_t Size, std::align_val_t Align) { return TakeCounted<false>(Size, static_cast<size_t>(Align)); }
void* operator new[](size_t Size, std::align_val_t Align) { return TakeCounted<false>(Size, static_cast<size_t>(Align)); }
void* operator new(size_t Size, const std::nothrow_t&) noexcept { return TakeCounted<true>(Size, 0); }
void* operator new[](size_t Size, const std::nothrow_t&) noexcept { return TakeCounted<true>(Size, 0); }
void* operator new(size_t Size, std::align_val_t Align, const std::nothrow_t&) noexcept {
    return TakeCounted<true>(Size, static_cast<size_t>(Align));
}
void* operator new[](size_t Size, std::align_val_t Align, const std::nothrow_t&) noexcept {
    return TakeCounted<true>(Size, static_cast<size_t>(Align));
}

void operator delete(void* Block, size_t Size) noexcept {
    if (Block) Give(Block, SizedBytes(Block, Size));
}
void operator delete[](void* Block, size_t Size) noexcept {
    if (Block) Give(Block, SizedBytes(Block, Size));
}
void operator delete(void* Block) noexcept { GiveBlock(Block); }
void operator delete[](void* Block) noexcept { GiveBlock(Block); }
void operator delete(void* Block, std::align_val_t) noexcept { GiveBlock(Block); }
void operator delete[](void* Block, std::align_val_t) noexcept { GiveBlock(Block); }
void operator delete(void* Block, size_t, std::align_val_t) noexcept { GiveBlock(Block); }
void operator delete[](void* Block, size_t, std::align_val_t) noexcept { GiveBlock(Block); }
void operator delete(void* Block, const std::nothrow_t&) noexcept { GiveBlock(Block); }
void operator delete[](void* Block, const std::nothrow_t&) noexcept { GiveBlock(Block); }
void operator delete(void* Block, std::align_val_t, const std::nothrow_t&) noexcept { GiveBlock(Block); }
void operator delete[](void* Block, std::align_val_t, const std::nothrow_t&) noexcept { GiveBlock(Block); }
