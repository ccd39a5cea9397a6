#include "core/membudget.h"

#include "platform/dynlib.h"
#include "platform/system.h"

#include <cxxabi.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <type_traits>

const char MemoryBudgetMessage[] = "タイトルのメモリを使い切りました";

// This module, as the C++ runtime's registrations of what runs when a thread ends name it.
extern "C" void* __dso_handle;

namespace {

constexpr int64_t kMiB = int64_t(1) << 20;
constexpr int64_t kMaxLimitMiB = int64_t(1) << 20;
// What a thread counts on its own before it settles with the shared total.
constexpr int64_t kSettleStep = int64_t(64) << 10;

std::atomic<int64_t> charged{0};
std::atomic<int64_t> limit{-1};  // -1 until set or read from the environment: nothing is refused
std::atomic<bool> refused{false};
std::atomic<bool (*)() noexcept> release{nullptr};
// The smallest block the host is taken to refuse outside a TBudgetRefusal (SimulateHostRefusal).
std::atomic<size_t> hostRefusesFrom{SIZE_MAX};

// A thread's own count, plain thread-local words so that an allocation reads and writes it
// without any call. A thread starts Unsettled far above the step, so that its first allocation
// takes the slow way, which registers the hand-over of its count for when the thread ends.
constexpr int64_t kUnsettled = int64_t(1) << 62;
thread_local int64_t pending = kUnsettled;
// What the count starts from again once settled: Unsettled after the thread handed its count
// over as it ended, so that what its last destructors free settles at once.
thread_local int64_t settledCount = 0;
thread_local int refusing = 0;  // the TBudgetRefusal scopes open on the thread

bool Settle() noexcept;

// Hands the thread's count over as the thread ends.
void HandOver(void*) noexcept {
    settledCount = kUnsettled;
    Settle();
}

int64_t DefaultMemoryLimit() {
    const int64_t physical = platform::PhysicalMemoryBytes();
    return physical > 0 ? std::min(physical / 4, kMaxDefaultMemoryLimit) : kMaxDefaultMemoryLimit;
}

// Settles the thread's count; true when the total then passes the limit. A thread's first settle
// registers its hand-over, and the registration allocates: that block is counted on the thread
// like any other and may settle the count in the middle, so the count is read after it. (A
// function-local thread_local registers through a call the compiler takes never to come back
// here, and the count read before it was kept across it: a thread that ended took that block
// off the total, or counted its first block twice when that was past a step.)
bool Settle() noexcept {
    if (pending >= kUnsettled / 2) {
        pending -= kUnsettled;
        if (settledCount != kUnsettled) __cxxabiv1::__cxa_thread_atexit(HandOver, nullptr, &__dso_handle);
    }
    const int64_t total = charged.fetch_add(pending, std::memory_order_relaxed) + pending;
    pending = settledCount;
    const int64_t most = limit.load(std::memory_order_relaxed);
    return most >= 0 && total > most;
}

// Whether the total passes the limit with Bytes more, once what is held for reuse is given back
// if it does.
bool PassesLimit(int64_t Bytes) noexcept {
    const int64_t most = limit.load(std::memory_order_relaxed);
    const auto over = [&] { return most >= 0 && charged.load(std::memory_order_relaxed) + Bytes > most; };
    if (!over()) return false;
    const auto giveBack = release.load(std::memory_order_acquire);
    if (!giveBack || !giveBack()) return true;
    Settle();
    return over();
}

[[noreturn, gnu::noinline]] void RaiseRefusal() { throw EMemoryBudget(); }

// The slow way of an allocation that brought the thread's count a step past settled. When the
// total then passes the limit on a refusing thread, the count is left a step ahead, so that the
// thread's next allocation settles again and, if it is a new, is refused: an allocation that
// cannot be refused (a C library's) leaves the refusal to the next one that can.
[[gnu::noinline]] void SettleTaken() noexcept {
    if (Settle() && refusing > 0) {
        charged.fetch_sub(kSettleStep, std::memory_order_relaxed);
        pending += kSettleStep;
    }
}

inline void CountTaken(int64_t Bytes) noexcept {
    if ((pending += Bytes) >= kSettleStep) [[unlikely]]
        SettleTaken();
}

// Whether the thread's count lies a step or more from settled either way. A thread that has not
// settled yet lies far above, so that a thread that only frees what others made settles too.
inline bool PastStep(int64_t Count) {
    return static_cast<uint64_t>(Count) + uint64_t(kSettleStep - 1) > uint64_t(2 * kSettleStep - 2);
}

inline void CountGiven(int64_t Bytes) noexcept {
    if (PastStep(pending -= Bytes)) [[unlikely]]
        Settle();
}

// Whether the host is taken to refuse a block of Size asked for on this thread (SimulateHostRefusal).
inline bool HostRefuses(size_t Size) {
    return Size >= hostRefusesFrom.load(std::memory_order_relaxed) && refusing == 0;
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

TBudgetRefusalLifted::TBudgetRefusalLifted() : opened_(refusing) { refusing = 0; }

TBudgetRefusalLifted::~TBudgetRefusalLifted() { refusing = opened_; }

bool TryChargeMemory(int64_t Bytes) noexcept {
    if (Bytes <= 0) return true;
    const int64_t most = MemoryLimit();
    int64_t now = charged.load(std::memory_order_relaxed);
    for (;;) {
        if (Bytes <= most - now) {
            if (charged.compare_exchange_weak(now, now + Bytes, std::memory_order_relaxed)) return true;
        } else if (PassesLimit(Bytes)) {
            return false;
        } else {
            now = charged.load(std::memory_order_relaxed);
        }
    }
}

void SetMemoryRelease(bool (*Release)() noexcept) { release.store(Release, std::memory_order_release); }

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

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VELA_SANITIZER_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VELA_SANITIZER_HEAP 1
#endif
#endif

#ifndef VELA_SANITIZER_HEAP

// The host's allocator by the names glibc gives its own entries, which the functions below stand
// in front of for the program and every library it loads: what the C libraries take at the
// player's request (decoders, fonts, the synthesiser, surfaces) is counted as new is.
extern "C" {
void* __libc_malloc(size_t Size) noexcept;
void __libc_free(void* Block) noexcept;
void* __libc_calloc(size_t Count, size_t Size) noexcept;
void* __libc_realloc(void* Block, size_t Size) noexcept;
void* __libc_memalign(size_t Align, size_t Size) noexcept;
void* __libc_valloc(size_t Size) noexcept;
void* __libc_pvalloc(size_t Size) noexcept;
}

namespace {

// What a block counts, in every form alike when it is taken and when it is given back: the bytes
// the allocator takes for it, by its own word on the block. Not its size: the allocator may give
// more than was asked for, and a delete without the size (delete[] of a plain array) has only the
// block to go by.
inline int64_t BlockBytes(void* Block) { return static_cast<int64_t>(malloc_usable_size(Block)) + 8; }

inline void* Counted(void* Block) noexcept {
    if (Block) CountTaken(BlockBytes(Block));
    return Block;
}

inline void GiveBlock(void* Block) noexcept {
    if (!Block) return;
    const int64_t bytes = BlockBytes(Block);
    __libc_free(Block);
    CountGiven(bytes);
}

// The slow way of a new of Bytes at Block that brought the thread's count past the step; true
// when the total then passes the limit on a refusing thread and no exception unwinds: the block
// is then freed again.
[[gnu::noinline]] bool SettleRefuses(void* Block, int64_t Bytes) noexcept {
    if (!Settle() || refusing == 0 || std::uncaught_exceptions() > 0 || !PassesLimit(0)) return false;
    charged.fetch_sub(Bytes, std::memory_order_relaxed);
    __libc_free(Block);
    return true;
}

// Counts a new of Bytes at Block; true when it is refused, the block freed again.
inline bool Refused(void* Block, int64_t Bytes) noexcept {
    return (pending += Bytes) >= kSettleStep && SettleRefuses(Block, Bytes);
}

// The host's block (aligned to Align when that is past what malloc gives), asking the
// new-handler to make room as the standard allocation functions do; nullptr when there is none.
void* Take(size_t Size, size_t Align) noexcept {
    if (HostRefuses(Size)) return nullptr;
    if (Size == 0) Size = 1;
    for (;;) {
        void* block = Align <= alignof(std::max_align_t) ? __libc_malloc(Size) : __libc_memalign(Align, Size);
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
    const bool refused = block && Refused(block, BlockBytes(block));
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
    void* block = __libc_malloc(Size);
    if (!block) [[unlikely]]
        return TakeCounted<false>(Size, 0);
    if (Refused(block, BlockBytes(block))) [[unlikely]]
        RaiseRefusal();
    return block;
}

}  // namespace

// C's allocation functions, counted and never refused: a C library cannot be told of a refusal,
// so the thread's next new is (see SettleTaken).
extern "C" {
void* malloc(size_t Size) noexcept { return Counted(__libc_malloc(Size)); }
void free(void* Block) noexcept { GiveBlock(Block); }
void* calloc(size_t Count, size_t Size) noexcept { return Counted(__libc_calloc(Count, Size)); }
void* realloc(void* Block, size_t Size) noexcept {
    const int64_t was = Block ? BlockBytes(Block) : 0;
    void* moved = __libc_realloc(Block, Size);
    if (moved || Size == 0) CountGiven(was);  // moved, grown in place, or freed (a size of 0)
    return Counted(moved);
}
void* memalign(size_t Align, size_t Size) noexcept { return Counted(__libc_memalign(Align, Size)); }
void* aligned_alloc(size_t Align, size_t Size) noexcept { return Counted(__libc_memalign(Align, Size)); }
void* valloc(size_t Size) noexcept { return Counted(__libc_valloc(Size)); }
void* pvalloc(size_t Size) noexcept { return Counted(__libc_pvalloc(Size)); }
int posix_memalign(void** Block, size_t Align, size_t Size) noexcept {
    if (Align == 0 || Align % sizeof(void*) != 0 || (Align & (Align - 1)) != 0) return EINVAL;
    void* block = Counted(__libc_memalign(Align, Size));
    if (!block) return ENOMEM;
    *Block = block;
    return 0;
}
}

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

void operator delete(void* Block, size_t) noexcept { GiveBlock(Block); }
void operator delete[](void* Block, size_t) noexcept { GiveBlock(Block); }
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

namespace {

// The heap keeps up to 32 MiB of freed memory at its top for the next blocks, and takes blocks
// under 32 MiB from itself rather than from fresh mappings: otherwise a large free hands the
// pages back to the host and the next large load (a page's expressions, a film of many tracks)
// has every page faulted in and cleared again. What the budget counts is the blocks, not this.
void KeepFreedHeap() {
    mallopt(M_TOP_PAD, int(kMappedBlock));
    mallopt(M_MMAP_THRESHOLD, int(kMappedBlock));
}
[[gnu::section(".preinit_array"), gnu::used]] void (*const keepFreedHeap)() = KeepFreedHeap;

}  // namespace

#else

// Under a sanitizer its runtime keeps the heap and checks that each block is given back as it
// was taken: its hooks count every block (as the host's allocator would hold it), and the
// replaced new only refuses before it hands over to the runtime's own.
extern "C" {
int __sanitizer_install_malloc_and_free_hooks(void (*Taken)(const volatile void*, size_t),
                                              void (*Given)(const volatile void*));
size_t __sanitizer_get_allocated_size(const volatile void* Block);
}

namespace {

// What a block of Size bytes takes from the host's allocator: its 8-byte header and 16-byte
// steps, 32 at least.
constexpr int64_t HeldBytes(size_t Size) {
    return std::max<int64_t>((int64_t(Size) + 8 + 15) & ~int64_t(15), 32);
}

void CountTakenBlock(const volatile void*, size_t Size) { CountTaken(HeldBytes(Size)); }
void CountGivenBlock(const volatile void* Block) {
    if (Block) CountGiven(HeldBytes(__sanitizer_get_allocated_size(Block)));
}

// Installed before the libraries start, so that what they give back was counted when taken.
void InstallCountingHooks() { __sanitizer_install_malloc_and_free_hooks(CountTakenBlock, CountGivenBlock); }
[[gnu::section(".preinit_array"), gnu::used]] void (*const installCountingHooks)() = InstallCountingHooks;

// Whether a new of Size asked for on this thread is refused, and by whom.
enum class TRefusal { None, Budget, Host };
TRefusal RefusalOf(size_t Size) noexcept {
    if (HostRefuses(Size)) return TRefusal::Host;
    if (refusing == 0 || std::uncaught_exceptions() > 0) return TRefusal::None;
    Settle();
    return PassesLimit(HeldBytes(Size)) ? TRefusal::Budget : TRefusal::None;
}

// The runtime's own definition of the allocation function Name.
template <typename... TArgs>
using TNew = void* (*)(size_t, TArgs...);
template <typename... TArgs>
TNew<TArgs...> RuntimeNew(const char* Name) {
    return reinterpret_cast<TNew<TArgs...>>(platform::NextDefinition(Name));
}

template <typename... TArgs>
void* Forward(TNew<TArgs...> Next, size_t Size, std::type_identity_t<TArgs>... Args) {
    switch (RefusalOf(Size)) {
    case TRefusal::Budget: RaiseRefusal();
    case TRefusal::Host: throw std::bad_alloc();
    case TRefusal::None: break;
    }
    return Next(Size, Args...);
}

template <typename... TArgs>
void* ForwardQuiet(TNew<TArgs...> Next, size_t Size, std::type_identity_t<TArgs>... Args) noexcept {
    return RefusalOf(Size) == TRefusal::None ? Next(Size, Args...) : nullptr;
}

}  // namespace

void* operator new(size_t Size) {
    static const auto next = RuntimeNew<>("_Znwm");
    return Forward(next, Size);
}
void* operator new[](size_t Size) {
    static const auto next = RuntimeNew<>("_Znam");
    return Forward(next, Size);
}
void* operator new(size_t Size, std::align_val_t Align) {
    static const auto next = RuntimeNew<std::align_val_t>("_ZnwmSt11align_val_t");
    return Forward(next, Size, Align);
}
void* operator new[](size_t Size, std::align_val_t Align) {
    static const auto next = RuntimeNew<std::align_val_t>("_ZnamSt11align_val_t");
    return Forward(next, Size, Align);
}
void* operator new(size_t Size, const std::nothrow_t& Tag) noexcept {
    static const auto next = RuntimeNew<const std::nothrow_t&>("_ZnwmRKSt9nothrow_t");
    return ForwardQuiet(next, Size, Tag);
}
void* operator new[](size_t Size, const std::nothrow_t& Tag) noexcept {
    static const auto next = RuntimeNew<const std::nothrow_t&>("_ZnamRKSt9nothrow_t");
    return ForwardQuiet(next, Size, Tag);
}
void* operator new(size_t Size, std::align_val_t Align, const std::nothrow_t& Tag) noexcept {
    static const auto next = RuntimeNew<std::align_val_t, const std::nothrow_t&>("_ZnwmSt11align_val_tRKSt9nothrow_t");
    return ForwardQuiet(next, Size, Align, Tag);
}
void* operator new[](size_t Size, std::align_val_t Align, const std::nothrow_t& Tag) noexcept {
    static const auto next = RuntimeNew<std::align_val_t, const std::nothrow_t&>("_ZnamSt11align_val_tRKSt9nothrow_t");
    return ForwardQuiet(next, Size, Align, Tag);
}

#if defined(__clang__)
// clang links the sanitizer's runtime into the program, where the new above hides the runtime's
// own and the next definition is the C++ library's, on malloc: delete gives back alike.
void operator delete(void* Block, size_t) noexcept { std::free(Block); }
void operator delete[](void* Block, size_t) noexcept { std::free(Block); }
void operator delete(void* Block) noexcept { std::free(Block); }
void operator delete[](void* Block) noexcept { std::free(Block); }
void operator delete(void* Block, std::align_val_t) noexcept { std::free(Block); }
void operator delete[](void* Block, std::align_val_t) noexcept { std::free(Block); }
void operator delete(void* Block, size_t, std::align_val_t) noexcept { std::free(Block); }
void operator delete[](void* Block, size_t, std::align_val_t) noexcept { std::free(Block); }
void operator delete(void* Block, const std::nothrow_t&) noexcept { std::free(Block); }
void operator delete[](void* Block, const std::nothrow_t&) noexcept { std::free(Block); }
void operator delete(void* Block, std::align_val_t, const std::nothrow_t&) noexcept { std::free(Block); }
void operator delete[](void* Block, std::align_val_t, const std::nothrow_t&) noexcept { std::free(Block); }
#endif

#endif
