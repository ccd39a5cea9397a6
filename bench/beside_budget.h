#pragma once
// Work with no peer library beside the tick budget (15 ms: the loop's 66 ticks a second): "ms"
// is the measured work per iteration, "budget_ratio" its share of the budget.
#include <benchmark/benchmark.h>

inline constexpr double kBudgetMs = 15;

inline void ReportBudget(benchmark::State& State, double Nanoseconds) {
    const double ms = Nanoseconds / double(State.iterations()) / 1e6;
    State.counters["ms"] = ms;
    State.counters["budget_ms"] = kBudgetMs;
    State.counters["budget_ratio"] = ms / kBudgetMs;
}
