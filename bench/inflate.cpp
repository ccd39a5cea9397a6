// Inflating 64 MiB of text-like data through TZDecompressionStream against zlib's own
// uncompress on the same zlib stream.
#include "core/zstreams.h"

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

void BM_ZDecompressionStream(benchmark::State& state) {
    Data& data = TheData();
    std::vector<Bytef> out(kPlainSize);
    for (auto _ : state) {
        data.packed.SetPosition(0);
        TZDecompressionStream z(data.packed);
        if (z.Read(out.data(), kPlainSize) != static_cast<int64_t>(kPlainSize)) state.SkipWithError("short read");
        benchmark::ClobberMemory();
    }
    Finish(state, out);
}

// The same through 64 KiB reads, as a caller filling a small buffer would.
void BM_ZDecompressionStreamSmallReads(benchmark::State& state) {
    Data& data = TheData();
    std::vector<Bytef> out(kPlainSize);
    for (auto _ : state) {
        data.packed.SetPosition(0);
        TZDecompressionStream z(data.packed);
        size_t done = 0;
        while (int64_t n = z.Read(out.data() + done, std::min<size_t>(65536, kPlainSize - done))) done += n;
        benchmark::ClobberMemory();
    }
    Finish(state, out);
}

void BM_ZlibUncompress(benchmark::State& state) {
    Data& data = TheData();
    std::vector<Bytef> out(kPlainSize);
    for (auto _ : state) {
        uLongf size = kPlainSize;
        if (uncompress(out.data(), &size, data.packed.Memory(), static_cast<uLong>(data.packed.Size())) != Z_OK)
            state.SkipWithError("uncompress failed");
        benchmark::ClobberMemory();
    }
    Finish(state, out);
}

}  // namespace

BENCHMARK(BM_ZlibUncompress)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZDecompressionStream)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZDecompressionStreamSmallReads)->Unit(benchmark::kMillisecond);
