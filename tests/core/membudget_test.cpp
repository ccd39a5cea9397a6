#include "core/membudget.h"

#include "core/header.h"
#include "core/streams.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int64_t kMiB = int64_t(1) << 20;
// How far a check may lie from what a test works out: the threads have ended when a test looks,
// their counts all in the total, so only by the allocator's few bytes beside each block, the
// test's own few blocks and those glibc keeps with the stacks of ended threads.
constexpr int64_t kSlack = int64_t(16) << 10;

// Where a test's C blocks are kept, so that the compiler cannot leave out a malloc and its free.
void* volatile kept;
void* Kept(void* Block) {
    kept = Block;
    return Block;
}

class MemoryBudget : public ::testing::Test {
protected:
    void SetUp() override { saved_ = MemoryLimit(); }
    void TearDown() override { SetMemoryLimit(saved_); }
    // A limit Room bytes above what the process holds now.
    int64_t LimitAbove(int64_t Room) {
        const int64_t now = MemoryCharged();
        SetMemoryLimit(now + Room);
        return now;
    }
    int64_t saved_ = 0;
};

// Nobody writes a charge for a vector or a map: the allocations count themselves, are refused
// past the limit, and what a shrunk container gives back is counted off.
TEST_F(MemoryBudget, PlainContainersAreCountedAndRefusedPastTheLimit) {
    const int64_t before = LimitAbove(8 * kMiB);
    const TBudgetRefusal refusing;
    std::vector<int64_t> values;
    EXPECT_THROW(
        for (;;) values.push_back(1), EMemoryBudget);
    EXPECT_TRUE(MemoryRefused());
    EXPECT_GE(MemoryCharged(), before + int64_t(values.capacity() * sizeof(int64_t)));
    EXPECT_LE(MemoryCharged(), before + 8 * kMiB);
    values.resize(10);
    values.shrink_to_fit();
    EXPECT_LT(MemoryCharged(), before + kSlack);

    LimitAbove(8 * kMiB);
    EXPECT_FALSE(MemoryRefused());  // a new limit forgets the refusal
    std::map<int, std::string> rows;
    EXPECT_THROW(
        for (int i = 0;; ++i) rows.emplace(i, std::string(100, 'x')), EMemoryBudget);
    EXPECT_GT(rows.size(), 10000u);
    rows.clear();
    EXPECT_NEAR(MemoryCharged(), before, kSlack);
}

// Outside a refusing scope (another thread, the code around the title's commands) an allocation
// past the limit is made and counted; the next one inside a refusing scope is refused. Nothing is
// refused while an exception unwinds, nor while the refusal is lifted.
TEST_F(MemoryBudget, OnlyARefusingScopeRefusesAndNeverWhileUnwinding) {
    LimitAbove(4 * kMiB);
    std::vector<char> here(8 * kMiB), there;
    std::thread([&there] { there.resize(8 * kMiB); }).join();
    EXPECT_EQ(there.size(), size_t(8 * kMiB));
    EXPECT_FALSE(MemoryRefused());
    {
        const TBudgetRefusal refusing;
        EXPECT_THROW(std::string(100000, 'x'), EMemoryBudget);
        {
            // The message that tells of the end is made whatever the title holds.
            const TBudgetRefusalLifted telling;
            EXPECT_EQ(std::string(100000, 'x').size(), 100000u);
        }
        EXPECT_THROW(std::string(100000, 'x'), EMemoryBudget);
    }

    struct TAllocatesWhenGone {
        ~TAllocatesWhenGone() { const std::vector<char> scratch(kMiB); }
    };
    try {
        const TBudgetRefusal refusing;
        TAllocatesWhenGone gone;
        throw EMemoryBudget();
    } catch (const EMemoryBudget&) {
    }
}

// What a thread frees is given back to the total, also on a thread that never allocated, and
// what the threads that end counted on their own is handed over.
TEST_F(MemoryBudget, FreesOnAnyThreadAreGivenBack) {
    std::thread([] {}).join();  // the stack glibc keeps for the next thread, with a block of its own
    std::vector<std::unique_ptr<char[]>> blocks(64);
    const int64_t before = MemoryCharged();
    auto* made = new std::vector<char>(10 * kMiB);
    EXPECT_GT(MemoryCharged(), before + 10 * kMiB);
    std::thread([made] { delete made; }).join();
    EXPECT_EQ(MemoryCharged(), before);

    for (auto& block : blocks) block = std::make_unique<char[]>(size_t(32) << 10);
    EXPECT_GT(MemoryCharged(), before + 2 * kMiB);
    for (auto& block : blocks) std::thread([&block] { block.reset(new char[16]); }).join();
    for (auto& block : blocks) block.reset();
    EXPECT_EQ(MemoryCharged(), before);
}

// A thread that ends hands over exactly what it counted, whatever its first block: one under a
// step, counted until the thread ends, or one past it, settled at once. Threads made one after
// another and many at once leave the total where it was.
TEST_F(MemoryBudget, ThreadsThatEndLeaveTheTotalExactlyWhereItWas) {
    const auto runThreads = [](size_t FirstBlock, int AtOnce) {
        std::vector<std::thread> threads;
        threads.reserve(AtOnce);
        for (int i = 0; i < AtOnce; ++i)
            threads.emplace_back([FirstBlock] { delete[] static_cast<char*>(Kept(new char[FirstBlock])); });
        for (std::thread& thread : threads) thread.join();
    };
    // glibc keeps the stacks of ended threads for the next ones, a block of its own with each, up
    // to 40 MiB of them (four of the default size): four at once, once first, leave that as it is.
    runThreads(100, 4);
    for (const size_t first : {size_t(100), size_t(100000)}) {
        const int64_t before = MemoryCharged();
        for (int i = 0; i < 50; ++i) runThreads(first, 1);
        for (int i = 0; i < 10; ++i) runThreads(first, 4);
        EXPECT_EQ(MemoryCharged(), before) << first;
    }
}

// Every form of new and delete, and C's, gives back what it took: also a delete without the size,
// on a heap that hands out blocks larger than asked (every free block of the heap 16 bytes larger
// than the small blocks asked for, none of their size).
TEST_F(MemoryBudget, EveryFormGivesBackWhatItTook) {
    struct TForm {
        const char* name;
        void* (*take)(size_t);
        void (*give)(void*, size_t);
    };
    static constexpr std::align_val_t kAlign{64};
    const TForm forms[] = {
        {"new, delete", [](size_t n) { return ::operator new(n); }, [](void* p, size_t) { ::operator delete(p); }},
        {"new, sized delete", [](size_t n) { return ::operator new(n); }, [](void* p, size_t n) { ::operator delete(p, n); }},
        {"new[], delete[]", [](size_t n) { return ::operator new[](n); }, [](void* p, size_t) { ::operator delete[](p); }},
        {"new[], sized delete[]", [](size_t n) { return ::operator new[](n); },
         [](void* p, size_t n) { ::operator delete[](p, n); }},
        {"aligned new, delete", [](size_t n) { return ::operator new(n, kAlign); },
         [](void* p, size_t) { ::operator delete(p, kAlign); }},
        {"aligned new, sized delete", [](size_t n) { return ::operator new(n, kAlign); },
         [](void* p, size_t n) { ::operator delete(p, n, kAlign); }},
        {"aligned new[], delete[]", [](size_t n) { return ::operator new[](n, kAlign); },
         [](void* p, size_t) { ::operator delete[](p, kAlign); }},
        {"aligned new[], sized delete[]", [](size_t n) { return ::operator new[](n, kAlign); },
         [](void* p, size_t n) { ::operator delete[](p, n, kAlign); }},
        {"nothrow new, delete", [](size_t n) { return ::operator new(n, std::nothrow); },
         [](void* p, size_t) { ::operator delete(p, std::nothrow); }},
        {"nothrow new[], delete[]", [](size_t n) { return ::operator new[](n, std::nothrow); },
         [](void* p, size_t) { ::operator delete[](p, std::nothrow); }},
        {"aligned nothrow new, delete", [](size_t n) { return ::operator new(n, kAlign, std::nothrow); },
         [](void* p, size_t) { ::operator delete(p, kAlign, std::nothrow); }},
        {"aligned nothrow new[], delete[]", [](size_t n) { return ::operator new[](n, kAlign, std::nothrow); },
         [](void* p, size_t) { ::operator delete[](p, kAlign, std::nothrow); }},
        {"malloc, free", [](size_t n) { return std::malloc(n); }, [](void* p, size_t) { std::free(p); }},
        {"calloc, free", [](size_t n) { return std::calloc(n, 1); }, [](void* p, size_t) { std::free(p); }},
        {"realloc, free", [](size_t n) { return std::realloc(Kept(std::malloc(n / 2)), n); },
         [](void* p, size_t) { std::free(p); }},
        {"posix_memalign, free",
         [](size_t n) {
             void* block = nullptr;
             return posix_memalign(&block, 64, n) == 0 ? block : nullptr;
         },
         [](void* p, size_t) { std::free(p); }},
    };

    constexpr size_t kSmall = 1000, kBlocks = 256;
    std::vector<void*> holes(kBlocks), between(kBlocks), blocks(kBlocks);
    for (size_t i = 0; i < kBlocks; ++i) {
        holes[i] = Kept(std::malloc(kSmall + 16));
        between[i] = Kept(std::malloc(16));
    }
    for (void* hole : holes) std::free(hole);

    size_t larger = 0;
    for (const size_t size : {kSmall, size_t(100000), size_t(kMappedBlock)}) {
        const size_t count = size == kSmall ? kBlocks : 4;
        for (const TForm& form : forms) {
            const int64_t before = MemoryCharged();
            for (size_t i = 0; i < count; ++i) {
                blocks[i] = Kept(form.take(size));
                ASSERT_NE(blocks[i], nullptr) << form.name;
                larger += malloc_usable_size(blocks[i]) >= size + 16;
            }
            EXPECT_GE(MemoryCharged() - before, int64_t(count * size)) << form.name << ", " << size;
            for (size_t i = 0; i < count; ++i) form.give(blocks[i], size);
            EXPECT_EQ(MemoryCharged(), before) << form.name << ", " << size;
        }
    }
#if !defined(__SANITIZE_ADDRESS__)
    // The heap gave blocks larger than asked, as meant. (AddressSanitizer's heap gives the size
    // asked, which its hooks count both ways.)
    EXPECT_GT(larger, kBlocks);
#endif
    for (void* each : between) std::free(each);
}

// What a C library takes with malloc and its kin is counted as new is and given back with free,
// also on a thread that never allocated and from threads that end holding it. It is never
// refused: inside a refusing scope the next new is.
TEST_F(MemoryBudget, CAllocationsAreCountedAndTheNextNewRefused) {
    const int64_t before = MemoryCharged();
    void* block = Kept(std::malloc(8 * kMiB));
    EXPECT_NEAR(MemoryCharged(), before + 8 * kMiB, kSlack);
    block = Kept(std::realloc(block, 12 * kMiB));
    EXPECT_NEAR(MemoryCharged(), before + 12 * kMiB, kSlack);
    void* zeroed = Kept(std::calloc(kMiB, 2));
    void* aligned = nullptr;
    ASSERT_EQ(posix_memalign(&aligned, 4096, 2 * kMiB), 0);
    void* small = Kept(aligned_alloc(64, 1024));
    EXPECT_GE(malloc_usable_size(small), 1024u);
    EXPECT_NEAR(MemoryCharged(), before + 16 * kMiB, kSlack);
    std::thread([&] {
        std::free(block);
        std::free(zeroed);
        std::free(aligned);
        std::free(small);
    }).join();
    EXPECT_NEAR(MemoryCharged(), before, kSlack);

    // Each thread takes less than its step and ends holding it: all of it is in the total.
    std::vector<void*> blocks(200);
    std::vector<std::thread> threads;
    for (void*& each : blocks) threads.emplace_back([&each] { each = Kept(std::malloc(size_t(40) << 10)); });
    for (std::thread& thread : threads) thread.join();
    EXPECT_NEAR(MemoryCharged(), before + 200 * (int64_t(40) << 10), kSlack);
    for (void* each : blocks) std::free(each);
    EXPECT_NEAR(MemoryCharged(), before, kSlack);

    LimitAbove(4 * kMiB);
    const TBudgetRefusal refusing;
    block = Kept(std::malloc(8 * kMiB));
    ASSERT_NE(block, nullptr);
    EXPECT_FALSE(MemoryRefused());
    EXPECT_THROW(std::make_unique<char[]>(16), EMemoryBudget);
    std::free(block);
    EXPECT_NE(std::make_unique<char[]>(16), nullptr);
}

// new (std::nothrow) is refused where new is, answering nullptr, a refusal its caller tells. The
// refusal of new is a std::bad_alloc to code that makes do without the memory, with the budget's
// message.
TEST_F(MemoryBudget, NothrowNewAndBadAllocCatchersSeeTheRefusal) {
    LimitAbove(4 * kMiB);
    EXPECT_NE(std::unique_ptr<char[]>(new (std::nothrow) char[8 * kMiB]), nullptr);  // not refusing here
    const TBudgetRefusal refusing;
    EXPECT_EQ(std::unique_ptr<char[]>(new (std::nothrow) char[8 * kMiB]), nullptr);
    EXPECT_EQ(std::unique_ptr<char[]>(new (std::align_val_t(64), std::nothrow) char[8 * kMiB]), nullptr);
    EXPECT_NE(std::unique_ptr<char[]>(new (std::nothrow) char[kMiB]), nullptr);
    EXPECT_FALSE(MemoryRefused());
    try {
        std::vector<char> big(8 * kMiB);
        ADD_FAILURE() << "not refused";
    } catch (const std::bad_alloc& E) {
        EXPECT_STREQ(E.what(), MemoryBudgetMessage);
        EXPECT_STREQ(ErrorText(E), MemoryBudgetMessage);
    }
    EXPECT_TRUE(MemoryRefused());
}

// A memory stream refused more room keeps what it held.
TEST_F(MemoryBudget, ARefusedGrowthLeavesAStreamAsItWas) {
    LimitAbove(kMiB);
    const TBudgetRefusal refusing;
    TMemoryStream stream;
    stream.SetSize(3000);
    EXPECT_THROW(stream.SetSize(16 * kMiB), EMemoryBudget);
    EXPECT_EQ(stream.Size(), 3000);
    TArrayString args;
    args.Add("a");
    EXPECT_THROW(args.Add(std::string(16 * kMiB, 'b')), EMemoryBudget);
    EXPECT_EQ(args.Count(), 1);
}

// A freed stream block the heap would map afresh is kept, still charged, for the next stream that
// needs about as much, and given back before the budget refuses an allocation or a charge.
TEST_F(MemoryBudget, AFreedLargeStreamBlockIsKeptChargedAndGivenBackBeforeARefusal) {
    const auto giveBackKept = [this] {
        LimitAbove(0);
        if (TryChargeMemory(1)) ReleaseMemory(1);
        SetMemoryLimit(saved_);
    };
    const auto keepOne = [] {
        TMemoryStream stream;
        stream.Reserve(kMappedBlock);
        return stream.Memory();
    };
    giveBackKept();
    const int64_t before = MemoryCharged();
    const uint8_t* const block = keepOne();
    EXPECT_NEAR(MemoryCharged(), before + kMappedBlock, kSlack);
    {
        TMemoryStream near, other;
        near.Reserve(kMappedBlock - kMiB);
        EXPECT_EQ(near.Memory(), block);
        EXPECT_EQ(near.Room(), kMappedBlock);  // all of it is room
        other.Reserve(kMappedBlock);  // nothing kept now: a block of its own
        EXPECT_NE(other.Memory(), block);
    }
    EXPECT_NEAR(MemoryCharged(), before + kMappedBlock, kSlack);  // one of the two kept

    LimitAbove(kMiB);
    {
        const TBudgetRefusal refusing;
        EXPECT_EQ(std::vector<char>(16 * kMiB).size(), size_t(16 * kMiB));
    }
    EXPECT_FALSE(MemoryRefused());
    EXPECT_NEAR(MemoryCharged(), before, kSlack);

    SetMemoryLimit(saved_);
    keepOne();
    LimitAbove(kMiB);
    EXPECT_TRUE(TryChargeMemory(16 * kMiB));
    ReleaseMemory(16 * kMiB);
    EXPECT_NEAR(MemoryCharged(), before, kSlack);
}

// Explicit charges, for what a C library allocates, are taken whole or not at all.
TEST_F(MemoryBudget, ExplicitChargesAreRefusedPastTheLimitAndGivenBackWithTheirOwner) {
    const int64_t before = LimitAbove(kMiB);
    {
        TMemoryCharge charge;
        EXPECT_TRUE(charge.TryResize(kMiB / 2));
        EXPECT_FALSE(charge.TryResize(2 * kMiB));
        EXPECT_EQ(charge.Bytes(), kMiB / 2);
        EXPECT_FALSE(TryChargeMemory(kMiB));
        EXPECT_TRUE(charge.TryResize(100));
        EXPECT_TRUE(TryChargeMemory(kMiB / 2));
        ReleaseMemory(kMiB / 2);
    }
    EXPECT_NEAR(MemoryCharged(), before, kSlack);
    EXPECT_FALSE(MemoryRefused());  // a charge refused is told by its caller
}

#if defined(__SANITIZE_ADDRESS__)
// Under AddressSanitizer the budget's new hands over to the sanitizer's own, which still tells
// a block given back otherwise than it was taken.
TEST(MemoryBudgetDeathTest, TheSanitizerStillTellsMismatchedDeallocations) {
    EXPECT_DEATH(
        {
            char* volatile block = new char[16];
            delete block;
        },
        "alloc-dealloc-mismatch");
    EXPECT_DEATH(
        {
            char* volatile block = static_cast<char*>(std::malloc(16));
            delete block;
        },
        "alloc-dealloc-mismatch");
    EXPECT_DEATH(::operator delete(Kept(::operator new(32)), 16), "new-delete-type-mismatch");
}
#endif

TEST_F(MemoryBudget, TheEnvironmentGivesWholeMebibytesOrIsRefused) {
    int64_t bytes = 0;
    setenv("VELA_MEMORY_LIMIT", "64", 1);
    EXPECT_TRUE(MemoryLimitFromEnvironment(bytes));
    EXPECT_EQ(bytes, int64_t(64) << 20);
    for (const char* bad : {"0", "-5", "12x", "2097152"}) {
        setenv("VELA_MEMORY_LIMIT", bad, 1);
        EXPECT_FALSE(MemoryLimitFromEnvironment(bytes)) << bad;
    }
    setenv("VELA_MEMORY_LIMIT", "", 1);  // empty, as not set
    EXPECT_TRUE(MemoryLimitFromEnvironment(bytes));
    const int64_t byDefault = bytes;
    unsetenv("VELA_MEMORY_LIMIT");
    EXPECT_TRUE(MemoryLimitFromEnvironment(bytes));
    EXPECT_EQ(bytes, byDefault);
    EXPECT_GT(bytes, 0);
    EXPECT_LE(bytes, kMaxDefaultMemoryLimit);
}

}  // namespace
