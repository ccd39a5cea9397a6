#pragma once
// Work with no peer library beside the tick budget (15 ms: the loop's 66 ticks a second): "ms"
// is the measured work per iteration, "budget_ratio" its share of the budget.
#include "platform/clock.h"

#include <benchmark/benchmark.h>

#include <cstdint>

inline constexpr double kBudgetMs = 15;

inline void ReportBudget(benchmark::State& State, double Nanoseconds) {
    const double ms = Nanoseconds / double(State.iterations()) / 1e6;
    State.counters["ms"] = ms;
    State.counters["budget_ms"] = kBudgetMs;
    State.counters["budget_ratio"] = ms / kBudgetMs;
}

// Runs Work once per iteration and answers the nanoseconds spent in it alone (memory clobbered
// after each run, outside the time).
template <class TWork>
uint64_t TimeRuns(benchmark::State& State, TWork Work) {
    uint64_t spent = 0;
    for (auto _ : State) {
        const uint64_t start = platform::ClockNs();
        Work();
        spent += platform::ClockNs() - start;
        benchmark::ClobberMemory();
    }
    return spent;
}
