// A 1024 x 768 photo-like picture (gradients, discs and noise from a fixed seed, a soft alpha)
// written by libpng at zlib level 6 with its adaptive filters as RGB, RGBA, an 8-bit palette and
// 8-bit grey, plain and Adam7 (argument: kind * 2 + interlaced), then decoded by TPngReadStream
// into a bitmap (and an alpha bitmap) and by libpng's png_read_image into rows of the file's own
// samples (RGB, RGBA, indices, grey). BM_RatioToLibpng decodes with both in turn in each iteration,
// so that a busy machine slows both alike, and reports our time as a multiple of libpng's
// ("x_libpng").
#include "graphics/pngpics.h"
#include "bench/libpng_peer.h"
#include "bench/photo.h"
#include "platform/clock.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr int kW = 1024, kH = 768;
constexpr const char* kKinds[] = {"rgb", "rgba", "palette", "grey"};

const std::string& File(int64_t Arg) {
    static std::vector<std::string> files = [] {
        std::vector<std::string> all;
        const std::vector<uint8_t> picture = MakePhotoRGBA(kW, kH);
        for (int i = 0; i < 8; ++i) all.push_back(WriteLibpng(picture, kW, kH, i / 2, i % 2));
        return all;
    }();
    return files[size_t(Arg)];
}

// Our decode into a bitmap and an alpha bitmap; the nanoseconds it took.
uint64_t DecodeOurs(const std::string& File, benchmark::State& State) {
    TMemoryStream stream;
    stream.WriteBuffer(File.data(), int64_t(File.size()));
    stream.SetPosition(0);
    TDIB bitmap, alpha;
    TPngReadStream reader;
    const uint64_t start = platform::ClockNs();
    reader.LoadStream(&bitmap, &alpha, stream);
    const uint64_t time = platform::ClockNs() - start;
    benchmark::DoNotOptimize(bitmap.PBitsReadOnly());
    if (bitmap.Width() != kW || bitmap.Height() != kH) State.SkipWithError("decode failed");
    return time;
}

void Label(benchmark::State& State) {
    State.SetLabel(std::string(kKinds[State.range(0) / 2]) + (State.range(0) % 2 ? " interlaced" : "") + ", " +
                   std::to_string(File(State.range(0)).size() / 1024) + " KiB");
    State.SetItemsProcessed(State.iterations() * kW * kH);
}

void BM_PngReadStream(benchmark::State& State) {
    for (auto _ : State) State.SetIterationTime(double(DecodeOurs(File(State.range(0)), State)) * 1e-9);
    Label(State);
}

void BM_LibpngReadImage(benchmark::State& State) {
    for (auto _ : State) State.SetIterationTime(double(DecodeLibpng(File(State.range(0)), kW, kH, State)) * 1e-9);
    Label(State);
}

void BM_RatioToLibpng(benchmark::State& State) {
    uint64_t ours = 0, theirs = 0;
    for (auto _ : State) {
        ours += DecodeOurs(File(State.range(0)), State);
        theirs += DecodeLibpng(File(State.range(0)), kW, kH, State);
    }
    State.counters["x_libpng"] = double(ours) / double(std::max<uint64_t>(theirs, 1));
    State.counters["ours_ms"] = double(ours) * 1e-6 / double(State.iterations());
    State.counters["libpng_ms"] = double(theirs) * 1e-6 / double(State.iterations());
    Label(State);
}

}  // namespace

BENCHMARK(BM_PngReadStream)->ArgName("kind")->DenseRange(0, 7)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_LibpngReadImage)->ArgName("kind")->DenseRange(0, 7)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_RatioToLibpng)->ArgName("kind")->DenseRange(0, 7)->Unit(benchmark::kMillisecond)->Iterations(20);
