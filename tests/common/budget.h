#pragma once
// The title's memory budget in a test: a limit some room above what the process holds now, the
// limit before given back when the test's budget goes.
#include "core/membudget.h"

#include <cstdint>

namespace testbudget {

// How far the bytes charged may lie from what a test expects: each thread settles its own count
// with the shared total in steps, and the test's own bookkeeping allocates a little.
inline constexpr int64_t Slack = int64_t(256) << 10;

class TTestBudget {
public:
    explicit TTestBudget(int64_t Room) : saved_(MemoryLimit()), before_(MemoryCharged()) { SetMemoryLimit(before_ + Room); }
    ~TTestBudget() { SetMemoryLimit(saved_); }
    TTestBudget(const TTestBudget&) = delete;
    TTestBudget& operator=(const TTestBudget&) = delete;

    // What was charged when the budget was set.
    int64_t Before() const { return before_; }
    // A new limit Room bytes above what is charged now (forgetting a refusal).
    void Room(int64_t Room) { SetMemoryLimit(MemoryCharged() + Room); }

private:
    int64_t saved_, before_;
};

// The host taken to refuse blocks of Bytes or more to the threads outside a TBudgetRefusal while
// it lives.
class THostRefusal {
public:
    explicit THostRefusal(int64_t Bytes) { SimulateHostRefusal(Bytes); }
    ~THostRefusal() { SimulateHostRefusal(0); }
    THostRefusal(const THostRefusal&) = delete;
    THostRefusal& operator=(const THostRefusal&) = delete;
};

}  // namespace testbudget
