// A 1024 x 768 24-bit image surface (gradients, discs and noise from a fixed seed) reduced to 8 bits
// without dither by each method of ReduceColors (0 the depth conversion, 1 the octree, 2 the median
// cut by extent, 3 by variance), beside Pillow's median-cut and fast-octree quantize of the same
// picture, timed inside a python3 child that this benchmark starts. BM_RatioToPillow runs ours and
// Pillow's in turn in each iteration, so that a busy machine slows both alike, and reports our time
// as a multiple of Pillow's: "x_octree" (method 1) against the fast octree; "x_depth",
// "x_mediancut" and "x_mediancut_var" (methods 0, 2, 3) against its median cut.
#include "bench/photo.h"
#include "graphics/dibsfc.h"
#include "platform/clock.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kW = 1024, kH = 768, kColors = 256;

TDIB MakePicture() {
    TDIB dib;
    dib.SetSize(kW, kH, 24);
    const std::vector<uint8_t> rgba = MakePhotoRGBA(kW, kH);
    for (int y = 0; y < kH; ++y) {
        uint8_t* row = dib.ScanLine(y);
        for (int x = 0; x < kW; ++x)
            for (int c = 0; c < 3; ++c) row[3 * x + c] = rgba[(size_t(y) * kW + size_t(x)) * 4 + 2 - size_t(c)];
    }
    return dib;
}

const TDIB& Picture() {
    static const TDIB picture = MakePicture();
    return picture;
}

// The picture as raw RGB rows from the top, in a temporary file for the python3 child.
class TRawPicture {
public:
    TRawPicture() {
        char name[] = "/tmp/color_reduce_XXXXXX";
        const int fd = mkstemp(name);
        path_ = name;
        std::vector<uint8_t> rgb(size_t(kW) * kH * 3);
        for (int y = 0; y < kH; ++y) {
            const uint8_t* row = Picture().ScanLineReadOnly(y);
            for (int x = 0; x < kW; ++x)
                for (int c = 0; c < 3; ++c) rgb[(size_t(y) * kW + x) * 3 + c] = row[3 * x + 2 - c];
        }
        ok_ = fd >= 0 && write(fd, rgb.data(), rgb.size()) == ssize_t(rgb.size());
        if (fd >= 0) close(fd);
    }
    ~TRawPicture() { unlink(path_.c_str()); }
    bool Ok() const { return ok_; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    bool ok_;
};

// Runs Pillow's quantize to kColors by each of Methods ("mediancut", "fastoctree") in turn, Runs
// times after one untimed run each; the nanoseconds of every timed run in that order, empty when
// the child fails.
std::vector<uint64_t> PillowTimes(const TRawPicture& Raw, const std::string& Methods, int Runs) {
    static const char kScript[] =
        "import sys, time\n"
        "from PIL import Image\n"
        "w, h, path, colors, runs = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], int(sys.argv[4]), "
        "int(sys.argv[5])\n"
        "im = Image.frombytes(\"RGB\", (w, h), open(path, \"rb\").read())\n"
        "methods = [getattr(Image.Quantize, m.upper()) for m in sys.argv[6:]]\n"
        "for m in methods: im.quantize(colors, m)\n"
        "for _ in range(runs):\n"
        "    for m in methods:\n"
        "        t = time.perf_counter_ns(); q = im.quantize(colors, m); print(time.perf_counter_ns() - t)\n"
        "        assert q.mode == \"P\"\n";
    const std::string command = "/usr/bin/python3 -c '" + std::string(kScript) + "' " + std::to_string(kW) + " " +
                                std::to_string(kH) + " " + Raw.Path() + " " + std::to_string(kColors) + " " +
                                std::to_string(Runs) + " " + Methods;
    FILE* child = popen(command.c_str(), "r");
    if (!child) return {};
    std::vector<uint64_t> times;
    unsigned long long ns;
    while (fscanf(child, "%llu", &ns) == 1) times.push_back(ns);
    if (pclose(child) != 0) return {};
    return times;
}

// A copy of the picture, then the copy reduced to 8 bits by Method; the nanoseconds of the reduction.
uint64_t Reduce(int Method, benchmark::State& State) {
    TDIBSurface surface;
    surface.CopyFrom(Picture());
    const uint64_t start = platform::ClockNs();
    surface.ReduceColors(Method, 8, false, kColors);
    const uint64_t time = platform::ClockNs() - start;
    benchmark::DoNotOptimize(surface.PBitsReadOnly());
    if (surface.BitCount() != 8) State.SkipWithError("not 8 bits");
    return time;
}

void BM_ReduceColors(benchmark::State& State) {
    for (auto _ : State) State.SetIterationTime(double(Reduce(int(State.range(0)), State)) * 1e-9);
    State.SetItemsProcessed(State.iterations() * kW * kH);
}

constexpr int kPillowRuns = 10;

void RunPillow(benchmark::State& State, const char* Method) {
    const TRawPicture raw;
    const std::vector<uint64_t> times = raw.Ok() ? PillowTimes(raw, Method, kPillowRuns) : std::vector<uint64_t>{};
    if (times.size() != kPillowRuns) State.SkipWithError("python3 with Pillow did not run");
    size_t next = 0;
    for (auto _ : State) State.SetIterationTime(next < times.size() ? double(times[next++]) * 1e-9 : 0.0);
    State.SetItemsProcessed(State.iterations() * kW * kH);
}

void BM_PillowMedianCut(benchmark::State& State) { RunPillow(State, "mediancut"); }
void BM_PillowFastOctree(benchmark::State& State) { RunPillow(State, "fastoctree"); }

void BM_RatioToPillow(benchmark::State& State) {
    const TRawPicture raw;
    uint64_t ours[4] = {}, pillowOctree = 0, pillowMedianCut = 0;
    bool ran = raw.Ok();
    for (auto _ : State) {
        // Each side gets one untimed run before its timed one, as the child gives Pillow.
        for (int method = 0; method < 4; ++method) {
            Reduce(method, State);
            ours[method] += Reduce(method, State);
        }
        const std::vector<uint64_t> pillow = PillowTimes(raw, "fastoctree mediancut", 1);
        ran &= pillow.size() == 2;
        if (!ran) break;
        pillowOctree += pillow[0];
        pillowMedianCut += pillow[1];
    }
    if (!ran) {
        State.SkipWithError("python3 with Pillow did not run");
        return;
    }
    State.counters["x_depth"] = double(ours[0]) / double(pillowMedianCut);
    State.counters["x_octree"] = double(ours[1]) / double(pillowOctree);
    State.counters["x_mediancut"] = double(ours[2]) / double(pillowMedianCut);
    State.counters["x_mediancut_var"] = double(ours[3]) / double(pillowMedianCut);
    State.counters["octree_ms"] = double(ours[1]) * 1e-6 / double(State.iterations());
    State.counters["pillow_fastoctree_ms"] = double(pillowOctree) * 1e-6 / double(State.iterations());
}

}  // namespace

BENCHMARK(BM_ReduceColors)->ArgName("method")->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_PillowFastOctree)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(kPillowRuns);
BENCHMARK(BM_PillowMedianCut)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(kPillowRuns);
BENCHMARK(BM_RatioToPillow)->Unit(benchmark::kMillisecond)->Iterations(8);
