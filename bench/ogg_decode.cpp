// 30 s of 44100 Hz stereo Ogg Vorbis decoded whole: through the companion library's decoder for
// the player's mixer (the player's stream callbacks under their lock, reads of 16 KiB) against
// ov_read on the same bytes in memory. BM_RatioToOvRead runs both in each iteration: "x_ov" is
// our time over libvorbisfile's alone.
#include "core/streams.h"
#include "media/velabind.h"
#include "platform/clock.h"
#include "platform/fs.h"

#include <benchmark/benchmark.h>
#include <vorbis/vorbisfile.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

constexpr int kChunk = 16384;

const std::string& OggBytes() {
    static const std::string bytes = [] {
        std::ifstream file(VELA_BENCH_OGG, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }();
    return bytes;
}

// Bytes decoded and a sum of them, to compare both decoders.
struct Decoded {
    int64_t bytes = 0;
    uint64_t sum = 0;
    void add(const char* data, int64_t n) {
        bytes += n;
        for (int64_t i = 0; i < n; i += 64) sum = sum * 31 + uint8_t(data[i]);
    }
};

Decoded OurDecode() {
    static const bool bound = [] {
        BindVelaLibrary(platform::fs::ToProgramPath(VELA_COMPANION_FOLDER) + "\\");
        static uintptr_t window = 0, panel = 0;
        static void* cell = nullptr;
        VelaLib.Init(&window, &panel, nullptr, &cell, VelaStreamGetSize, VelaStreamRead, VelaStreamGetPos,
                     VelaStreamSetPos, SaveFPUControlWord, RestoreFPUControlWord, 0);
        return true;
    }();
    (void)bound;
    TMemoryStream stream;
    stream.WriteBuffer(OggBytes().data(), int64_t(OggBytes().size()));
    stream.SetPosition(0);
    const VelaHandle decoder = VelaLib.OggStrmanAdd(&stream, -1);
    Decoded out;
    char buffer[kChunk];
    for (int32_t n; (n = VelaLib.OggStrRead(decoder, buffer, kChunk)) > 0;) out.add(buffer, n);
    VelaLib.OggStrmanDel(decoder);
    return out;
}

struct Memory {
    const std::string& bytes;
    size_t at = 0;
};

Decoded OvRead() {
    Memory memory{OggBytes()};
    const ov_callbacks callbacks{
        [](void* buffer, size_t size, size_t count, void* source) -> size_t {
            auto& m = *static_cast<Memory*>(source);
            const size_t n = std::min(size * count, m.bytes.size() - m.at);
            std::memcpy(buffer, m.bytes.data() + m.at, n);
            m.at += n;
            return n / size;
        },
        [](void* source, ogg_int64_t offset, int whence) -> int {
            auto& m = *static_cast<Memory*>(source);
            const int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? int64_t(m.at) : int64_t(m.bytes.size());
            m.at = size_t(std::clamp<int64_t>(base + offset, 0, int64_t(m.bytes.size())));
            return 0;
        },
        nullptr, [](void* source) -> long { return long(static_cast<Memory*>(source)->at); }};
    OggVorbis_File file;
    Decoded out;
    if (ov_open_callbacks(&memory, &file, nullptr, 0, callbacks) != 0) return out;
    char buffer[kChunk];
    int link = 0;
    for (long n; (n = ov_read(&file, buffer, kChunk, 0, 2, 1, &link)) > 0;) out.add(buffer, n);
    ov_clear(&file);
    return out;
}

void BM_CompanionOggDecode(benchmark::State& State) {
    for (auto _ : State) benchmark::DoNotOptimize(OurDecode().sum);
}
BENCHMARK(BM_CompanionOggDecode)->Unit(benchmark::kMillisecond);

void BM_OvRead(benchmark::State& State) {
    for (auto _ : State) benchmark::DoNotOptimize(OvRead().sum);
}
BENCHMARK(BM_OvRead)->Unit(benchmark::kMillisecond);

void BM_RatioToOvRead(benchmark::State& State) {
    uint64_t ours = 0, ov = 0;
    bool same = true;
    for (auto _ : State) {
        uint64_t start = platform::ClockNs();
        const Decoded a = OurDecode();
        ours += platform::ClockNs() - start;
        start = platform::ClockNs();
        const Decoded b = OvRead();
        ov += platform::ClockNs() - start;
        same &= a.bytes == b.bytes && a.sum == b.sum && a.bytes > 0;
    }
    if (!same) State.SkipWithError("different PCM");
    State.counters["x_ov"] = double(ours) / double(ov);
}
BENCHMARK(BM_RatioToOvRead)->Unit(benchmark::kMillisecond);

}  // namespace
