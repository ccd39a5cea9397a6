#pragma once
// Our work and pixman's doing the same, run one after the other in every iteration so that a busy
// machine slows both alike: "x_pixman" is our time over pixman's, "ours_ms" and "pixman_ms" each
// one's milliseconds per iteration.
#include "platform/clock.h"

#include <benchmark/benchmark.h>

#include <cstdint>

template <class TOurs, class TPixman>
void RunBesidePixman(benchmark::State& State, TOurs&& Ours, TPixman&& Pixman) {
    uint64_t ourTime = 0, pixmanTime = 0;
    for (auto _ : State) {
        uint64_t start = platform::ClockNs();
        Ours();
        ourTime += platform::ClockNs() - start;
        start = platform::ClockNs();
        Pixman();
        pixmanTime += platform::ClockNs() - start;
    }
    State.counters["ours_ms"] = double(ourTime) / 1e6 / double(State.iterations());
    State.counters["pixman_ms"] = double(pixmanTime) / 1e6 / double(State.iterations());
    State.counters["x_pixman"] = double(ourTime) / double(pixmanTime);
}
