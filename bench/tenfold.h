#pragma once
// Work at two sizes ten times apart, measured in the same iterations: "small_ms" and "large_ms"
// per iteration, and "x_tenfold" the larger's time over the smaller's (10 is linear).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>

// The larger's time over the smaller's.
inline double TenfoldRatio(uint64_t SmallNs, uint64_t LargeNs) {
    return double(LargeNs) / double(std::max<uint64_t>(SmallNs, 1));
}

inline void ReportTenfold(benchmark::State& State, uint64_t SmallNs, uint64_t LargeNs) {
    const double n = double(State.iterations());
    State.counters["small_ms"] = double(SmallNs) * 1e-6 / n;
    State.counters["large_ms"] = double(LargeNs) * 1e-6 / n;
    State.counters["x_tenfold"] = TenfoldRatio(SmallNs, LargeNs);
}
