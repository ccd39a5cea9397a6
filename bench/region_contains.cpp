// The regions of an image map of 100 shapes (rectangles, ellipses and 40-point polygons over an
// 800 x 600 picture) read from their region file, then every pixel of the map looked up as the
// pointer looks it up (the first region holding it), against pixman regions made of the same
// spans (pixman_region32_init_rects) looked up the same way (pixman_region32_contains_point).
#include "bench/beside_pixman.h"
#include "objects/vitemex_mapimage.h"

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace {

constexpr int kMapW = 800, kMapH = 600, kShapes = 100, kPolygonPoints = 40;

// The region file: shapes of 40 to 200 pixels a side strewn over the map by a fixed sequence.
TMemoryStream RegionFile() {
    uint32_t seed = 12345;
    auto next = [&](int32_t Range) {
        seed = seed * 1103515245u + 12345u;
        return int32_t((seed >> 8) % uint32_t(Range));
    };
    TMemoryStream stream;
    WriteStreamInt(stream, kShapes);
    for (int i = 0; i < kShapes; ++i) {
        WriteStreamString(stream, "region" + std::to_string(i));
        const int32_t w = 40 + next(160), h = 40 + next(160);
        const int32_t left = next(kMapW - w), top = next(kMapH - h);
        const uint8_t shape = uint8_t(i % 3);
        WriteStreamByte(stream, shape);
        if (shape < 2) {
            for (int32_t v : {left, top, left + w - 1, top + h - 1}) WriteStreamInt(stream, v);
            continue;
        }
        // A ragged ring of points around the box's centre.
        WriteStreamInt(stream, kPolygonPoints);
        for (int p = 0; p < kPolygonPoints; ++p) {
            const double a = 2 * std::numbers::pi * p / kPolygonPoints, r = 0.5 + 0.5 * next(1000) / 1000.0;
            WriteStreamInt(stream, left + int32_t(std::lround(w / 2.0 * (1 + r * std::cos(a)))));
            WriteStreamInt(stream, top + int32_t(std::lround(h / 2.0 * (1 + r * std::sin(a)))));
        }
    }
    stream.SetPosition(0);
    return stream;
}

// Which region each pixel of the map falls in, added up so the look-ups cannot be left out.
template <class TFirst>
int64_t WalkMap(TFirst First) {
    int64_t sum = 0;
    for (int32_t y = 0; y < kMapH; ++y)
        for (int32_t x = 0; x < kMapW; ++x) sum += First(x, y);
    return sum;
}

struct TOurs {
    TMemoryStream File = RegionFile();
    int64_t Run() {
        File.SetPosition(0);
        const std::vector<TMapRegion> regions = ReadMapRegions(File);
        return WalkMap([&](int32_t X, int32_t Y) {
            for (size_t i = 0; i < regions.size(); ++i)
                if (regions[i].Area.Contains(X, Y)) return int32_t(i);
            return int32_t(-1);
        });
    }
};

struct TPixman {
    std::vector<std::vector<pixman_box32_t>> Spans;  // one box per span of each region
    TPixman() {
        TMemoryStream file = RegionFile();
        for (const TMapRegion& r : ReadMapRegions(file)) {
            std::vector<pixman_box32_t>& boxes = Spans.emplace_back();
            const TRect b = r.Area.GetBounds();
            for (int32_t y = b.Top; y < b.Bottom; ++y)
                for (const TRegionSpan& s : r.Area.Row(y)) boxes.push_back({s.Left, y, s.Right, y + 1});
        }
    }
    int64_t Run() {
        std::vector<pixman_region32_t> regions(Spans.size());
        for (size_t i = 0; i < Spans.size(); ++i)
            pixman_region32_init_rects(&regions[i], Spans[i].data(), int(Spans[i].size()));
        const int64_t sum = WalkMap([&](int32_t X, int32_t Y) {
            for (size_t i = 0; i < regions.size(); ++i)
                if (pixman_region32_contains_point(&regions[i], X, Y, nullptr)) return int32_t(i);
            return int32_t(-1);
        });
        for (pixman_region32_t& r : regions) pixman_region32_fini(&r);
        return sum;
    }
};

template <class T>
void BM_Map(benchmark::State& State) {
    T t;
    for (auto _ : State) benchmark::DoNotOptimize(t.Run());
    State.SetItemsProcessed(State.iterations() * kMapW * kMapH);
}
void BM_RegionMap(benchmark::State& State) { BM_Map<TOurs>(State); }
void BM_PixmanRegionMap(benchmark::State& State) { BM_Map<TPixman>(State); }

// Ours and pixman's one after the other in each iteration, so that a busy machine slows both
// alike: "x_pixman" is our time over pixman's. Both find the same region for every pixel.
void BM_RatioToPixman(benchmark::State& State) {
    TOurs ours;
    TPixman pixman;
    if (ours.Run() != pixman.Run()) State.SkipWithError("the regions differ from pixman's");
    RunBesidePixman(State, [&] { benchmark::DoNotOptimize(ours.Run()); },
                    [&] { benchmark::DoNotOptimize(pixman.Run()); });
}

}  // namespace

BENCHMARK(BM_RegionMap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PixmanRegionMap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RatioToPixman)->Unit(benchmark::kMillisecond)->MinTime(2.0);
