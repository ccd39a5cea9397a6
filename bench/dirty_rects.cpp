// The dirty-rectangle list at 10,000 and 100,000 changes in a frame (see tenfold.h): single
// pixels 30 pixels apart over a layer, as many small objects moving at once mark them, each
// too far from the others to merge with them.
#include "bench/tenfold.h"
#include "core/header.h"
#include "platform/clock.h"

#include <vector>

namespace {

constexpr int kSmall = 10'000, kLarge = 100'000;

std::vector<TRect> Changes(int Count) {
    constexpr int kSpacing = 30, kColumns = 100;
    std::vector<TRect> rects;
    for (int i = 0; i < Count; ++i) {
        const int32_t x = i % kColumns * kSpacing, y = i / kColumns * kSpacing;
        rects.push_back({x, y, x + 1, y + 1});
    }
    return rects;
}

// The nanoseconds the additions take; false when the list misses one of them.
bool AddAll(const std::vector<TRect>& Rects, uint64_t& Total) {
    TClipList list;
    const uint64_t start = platform::ClockNs();
    for (const TRect& r : Rects) list.AddRect(r);
    Total += platform::ClockNs() - start;
    for (const TRect& r : {Rects.front(), Rects.back()}) {
        bool covered = false;
        for (int i = 0; i < list.Count(); ++i) covered |= RectContains(r, list.GetRect(i));
        if (!covered) return false;
    }
    return true;
}

void BM_DirtyRects(benchmark::State& State) {
    const std::vector<TRect> small = Changes(kSmall), large = Changes(kLarge);
    uint64_t smallNs = 0, largeNs = 0;
    bool right = true;
    for (auto _ : State) right &= AddAll(small, smallNs) && AddAll(large, largeNs);
    if (!right) State.SkipWithError("a change is not covered");
    ReportTenfold(State, smallNs, largeNs);
}
BENCHMARK(BM_DirtyRects)->Unit(benchmark::kMillisecond);

}  // namespace
