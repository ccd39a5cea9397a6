// Inflating 64 MiB of text-like data through TZDecompressionStream against zlib's own
// uncompress on the same zlib stream; BM_RatioToUncompress runs them side by side.
#include "core/zstreams.h"
#include "platform/clock.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr size_t kPlainSize = 64u << 20;

struct Data {
    std::vector<Bytef> plain;
    TMemoryStream packed;

    Data() {
        // Repetitive lines with varying numbers and words, roughly like script text.
        static const char* words[] = {"message", "window", "sound", "image", "wait", "jump", "select", "flag"};
        std::mt19937 random(42);
        std::string text;
        text.reserve(kPlainSize + 256);
        char line[256];
        while (text.size() < kPlainSize) {
            std::snprintf(line, sizeof line, "%s %s x=%u y=%u; %s\r\n", words[random() % 8], words[random() % 8],
                          static_cast<unsigned>(random() % 800), static_cast<unsigned>(random() % 600),
                          words[random() % 8]);
            text += line;
        }
        plain.assign(text.begin(), text.begin() + kPlainSize);
        uLongf packedSize = compressBound(kPlainSize);
        std::vector<Bytef> out(packedSize);
        if (compress2(out.data(), &packedSize, plain.data(), kPlainSize, Z_DEFAULT_COMPRESSION) != Z_OK) std::abort();
        packed.WriteBuffer(out.data(), static_cast<int64_t>(packedSize));
    }
};

Data& TheData() {
    static Data data;
    return data;
}

void Finish(benchmark::State& state, const std::vector<Bytef>& out) {
    if (out != TheData().plain) state.SkipWithError("inflated data differs");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kPlainSize));
    state.counters["ratio"] = static_cast<double>(kPlainSize) / static_cast<double>(TheData().packed.Size());
}

// Each of the three inflates the whole stream into Out; false when it does not come out whole.
bool InflateInOneRead(std::vector<Bytef>& Out) {
    Data& data = TheData();
    data.packed.SetPosition(0);
    TZDecompressionStream z(data.packed);
    return z.Read(Out.data(), kPlainSize) == static_cast<int64_t>(kPlainSize);
}

// The same through 64 KiB reads, as a caller filling a small buffer would.
bool InflateInSmallReads(std::vector<Bytef>& Out) {
    Data& data = TheData();
    data.packed.SetPosition(0);
    TZDecompressionStream z(data.packed);
    size_t done = 0;
    while (int64_t n = z.Read(Out.data() + done, std::min<size_t>(65536, kPlainSize - done))) done += size_t(n);
    return done == kPlainSize;
}

bool Uncompress(std::vector<Bytef>& Out) {
    Data& data = TheData();
    uLongf size = kPlainSize;
    return uncompress(Out.data(), &size, data.packed.Memory(), static_cast<uLong>(data.packed.Size())) == Z_OK &&
           size == kPlainSize;
}

template <bool (*Inflate)(std::vector<Bytef>&)>
void BM_Inflate(benchmark::State& state) {
    TheData();  // made before the clock runs
    std::vector<Bytef> out(kPlainSize);
    for (auto _ : state) {
        if (!Inflate(out)) state.SkipWithError("short inflate");
        benchmark::ClobberMemory();
    }
    Finish(state, out);
}

// All three in each iteration: "x_zlib" and "x_zlib_small_reads" are our times over uncompress's.
void BM_RatioToUncompress(benchmark::State& state) {
    TheData();
    std::vector<Bytef> out(kPlainSize);
    uint64_t ours = 0, small = 0, zlib = 0;
    const auto timed = [&](bool (*Inflate)(std::vector<Bytef>&), uint64_t& Total) {
        const uint64_t start = platform::ClockNs();
        if (!Inflate(out)) state.SkipWithError("short inflate");
        benchmark::ClobberMemory();
        Total += platform::ClockNs() - start;
    };
    for (auto _ : state) {
        timed(Uncompress, zlib);
        timed(InflateInOneRead, ours);
        timed(InflateInSmallReads, small);
    }
    Finish(state, out);
    state.counters["x_zlib"] = double(ours) / double(zlib);
    state.counters["x_zlib_small_reads"] = double(small) / double(zlib);
}

}  // namespace

BENCHMARK(BM_Inflate<Uncompress>)->Name("BM_ZlibUncompress")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Inflate<InflateInOneRead>)->Name("BM_ZDecompressionStream")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Inflate<InflateInSmallReads>)->Name("BM_ZDecompressionStreamSmallReads")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RatioToUncompress)->Unit(benchmark::kMillisecond)->Iterations(6);
