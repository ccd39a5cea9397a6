// 10 s of 640 x 480, 25 fps MPEG-1 with MP2 sound (made here by ffmpeg) played through the
// companion library as fast as it decodes: the sound device is rendered on to each picture's time,
// and each picture, once on show, is copied into a 32-bit surface. Beside it, in the same run,
// `ffmpeg -i FILE -pix_fmt bgra -f null -` decodes and converts the same file. BM_RatioToFfmpeg
// runs both in each iteration: "x_ffmpeg" is our time over ffmpeg's.
#include "core/streams.h"
#include "graphics/dxdibx.h"
#include "media/velabind.h"
#include "media/velasound.h"
#include "platform/clock.h"
#include "platform/display.h"
#include "platform/fs.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

namespace {

constexpr int32_t kWidth = 640, kHeight = 480, kPictures = 250;

const std::string& FilmBytes() {
    static const std::string bytes = [] {
        std::ifstream file(VELA_BENCH_FILM, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }();
    return bytes;
}

struct Host {
    std::shared_ptr<platform::HeadlessSound> sound = std::make_shared<platform::HeadlessSound>();
    TVelaSoundDevice device{sound};
    void* cell = device.Cell();
    uintptr_t window = 0, panel = 0;
    Host() {
        sound->keepFrames = platform::Frames(44100);
        BindVelaLibrary(platform::fs::ToProgramPath(VELA_COMPANION_FOLDER) + "\\");
        VelaLib.Init(&window, &panel, nullptr, &cell, VelaStreamGetSize, VelaStreamRead, VelaStreamGetPos,
                     VelaStreamSetPos, SaveFPUControlWord, RestoreFPUControlWord, 0);
    }
};

// Pictures shown; false when one did not come.
bool OurPlay(platform::MemorySurface& Surface) {
    static Host host;
    TMemoryStream stream;
    stream.WriteBuffer(FilmBytes().data(), int64_t(FilmBytes().size()));
    stream.SetPosition(0);
    const VelaHandle film = VelaLib.VidmanAdd("film.mpg", &stream, -1);
    if (!film) return false;
    VelaLib.Video.Play(film);
    bool all = true;
    for (int n = 0; n < kPictures && all; ++n) {
        const uint64_t deadline = platform::ClockNs() + 5'000'000'000ull;
        for (int32_t left; (left = n * 40 - VelaLib.Video.GetPosition(film)) > 0;)
            host.sound->render(platform::Frames(std::max(1, left * 441 / 10)));
        while (!VelaLib.VideoNeedPaint(film) && (all = platform::ClockNs() < deadline)) std::this_thread::yield();
        if (const VelaFrame* frame = VelaLib.VideoGetDC(film)) {
            platform::PixelBuffer pixels;
            pixels.pixels = static_cast<uint8_t*>(const_cast<void*>(frame->pixels));
            pixels.width = frame->width, pixels.height = frame->height, pixels.pitch = frame->pitch;
            StretchBltTo(pixels, {0, 0, kWidth, kHeight}, Surface, {0, 0, kWidth, kHeight});
        }
    }
    VelaLib.VidmanDel(film);
    return all;
}

bool FfmpegPlay() {
    return std::system("ffmpeg -v error -threads 0 -i " VELA_BENCH_FILM " -pix_fmt bgra -f null - </dev/null") == 0;
}

void BM_CompanionVideoPlay(benchmark::State& State) {
    platform::MemorySurface surface(kWidth, kHeight, 32);
    for (auto _ : State)
        if (!OurPlay(surface)) State.SkipWithError("a picture did not come");
}
BENCHMARK(BM_CompanionVideoPlay)->Unit(benchmark::kMillisecond);

void BM_FfmpegDecode(benchmark::State& State) {
    for (auto _ : State)
        if (!FfmpegPlay()) State.SkipWithError("ffmpeg failed");
}
BENCHMARK(BM_FfmpegDecode)->Unit(benchmark::kMillisecond);

void BM_RatioToFfmpeg(benchmark::State& State) {
    platform::MemorySurface surface(kWidth, kHeight, 32);
    uint64_t ours = 0, theirs = 0;
    bool fine = true;
    for (auto _ : State) {
        uint64_t start = platform::ClockNs();
        fine &= OurPlay(surface);
        ours += platform::ClockNs() - start;
        start = platform::ClockNs();
        fine &= FfmpegPlay();
        theirs += platform::ClockNs() - start;
    }
    if (!fine) State.SkipWithError("a run failed");
    State.counters["x_ffmpeg"] = double(ours) / double(theirs);
}
BENCHMARK(BM_RatioToFfmpeg)->Unit(benchmark::kMillisecond);

}  // namespace
