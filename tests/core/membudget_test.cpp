#include "core/membudget.h"

#include "core/header.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class MemoryBudget : public ::testing::Test {
protected:
    void SetUp() override { saved_ = MemoryLimit(); }
    void TearDown() override { SetMemoryLimit(saved_); }
    int64_t saved_ = 0;
};

TEST_F(MemoryBudget, ChargesAreRefusedPastTheLimitAndGivenBackWithTheirOwner) {
    SetMemoryLimit(MemoryCharged() + 1000);
    {
        TMemoryCharge a(600);
        EXPECT_THROW(TMemoryCharge b(a), EMemoryBudget);  // a copy charges again
        EXPECT_FALSE(a.TryResize(1001));
        EXPECT_EQ(a.Bytes(), 600);  // a refused growth changes nothing
        TMemoryCharge moved(std::move(a));
        EXPECT_TRUE(moved.TryResize(1000));
        EXPECT_FALSE(TryChargeMemory(1));
        moved.Resize(100);
        EXPECT_TRUE(TryChargeMemory(900));
        ReleaseMemory(900);
    }
    EXPECT_TRUE(TryChargeMemory(1000));
    ReleaseMemory(1000);
}

// Memory streams (inflated entries, saved states) and argument lists hold what they take, a
// copy again; a growth that does not fit leaves them as they were.
TEST_F(MemoryBudget, StreamsAndArgumentListsChargeWhatTheyHold) {
    const int64_t before = MemoryCharged();
    SetMemoryLimit(before + 8000);
    {
        TMemoryStream stream;
        stream.SetSize(3000);
        EXPECT_GE(MemoryCharged(), before + 3000);
        EXPECT_THROW(stream.SetSize(20000), EMemoryBudget);
        EXPECT_EQ(stream.Size(), 3000);
        TMemoryStream copy(stream);
        EXPECT_GE(MemoryCharged(), before + 6000);
        EXPECT_THROW(TMemoryStream another(stream), EMemoryBudget);
        copy.Clear();

        TArrayString args;
        args.Add(std::string(4000, 'a'));
        EXPECT_GE(MemoryCharged(), before + 7000);
        EXPECT_THROW(args.Add(std::string(4000, 'b')), EMemoryBudget);
        EXPECT_EQ(args.Count(), 1);
        TArrayString saved;
        EXPECT_THROW(saved.Assign(args), EMemoryBudget);
    }
    EXPECT_EQ(MemoryCharged(), before);
}

TEST_F(MemoryBudget, TheEnvironmentGivesWholeMebibytesOrIsRefused) {
    int64_t bytes = 0;
    setenv("VELA_MEMORY_LIMIT", "64", 1);
    EXPECT_TRUE(MemoryLimitFromEnvironment(bytes));
    EXPECT_EQ(bytes, int64_t(64) << 20);
    for (const char* bad : {"", "0", "-5", "12x", "2097152"}) {
        setenv("VELA_MEMORY_LIMIT", bad, 1);
        EXPECT_FALSE(MemoryLimitFromEnvironment(bytes)) << bad;
    }
    unsetenv("VELA_MEMORY_LIMIT");
    EXPECT_TRUE(MemoryLimitFromEnvironment(bytes));
    EXPECT_GT(bytes, 0);
    EXPECT_LE(bytes, kMaxDefaultMemoryLimit);
}

}  // namespace
