// 10 s of 640 x 480, 25 fps MPEG-1 with MP2 sound (made here by ffmpeg) played through the
// companion library as fast as it decodes: the sound device is rendered on to each picture's time
// (a render that did not move the film's clock is followed by a 0.1 ms sleep, instead of more
// silence rendered while the film's thread decodes: that took a third of a pinned play's processor
// time), and each picture, as it comes on show, is copied into a 32-bit surface by the film's frame
// callback, which the main thread waits for without spinning. Beside it, in the same run,
// `ffmpeg -i FILE -pix_fmt bgra -f null -` decodes and converts the same file. BM_RatioToFfmpeg
// runs both in each iteration: "x_ffmpeg" is our time over ffmpeg's, "cpu_x_ffmpeg" our
// processor time (every thread of the play) over that of the ffmpeg process.
#include "core/streams.h"
#include "graphics/dxdibx.h"
#include "media/velabind.h"
#include "media/velasound.h"
#include "platform/clock.h"
#include "platform/display.h"
#include "platform/fs.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <ctime>

#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
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

// The film's frame callback, on the film's thread: each picture, as it comes on show, copied into
// the surface (as the player's frame grabber takes them) and counted for the main thread.
struct Presenter {
    explicit Presenter(platform::MemorySurface& Surface) : surface(Surface) {}
    platform::MemorySurface& surface;
    std::mutex mutex;
    std::condition_variable came;
    int shown = 0;

    static void Frame(void* Owner, const VelaFrame* Frame) {
        auto& self = *static_cast<Presenter*>(Owner);
        platform::PixelBuffer pixels;
        pixels.pixels = static_cast<uint8_t*>(const_cast<void*>(Frame->pixels));
        pixels.width = Frame->width, pixels.height = Frame->height, pixels.pitch = Frame->pitch;
        StretchBltTo(pixels, {0, 0, kWidth, kHeight}, self.surface, {0, 0, kWidth, kHeight});
        {
            std::lock_guard lock(self.mutex);
            ++self.shown;
        }
        self.came.notify_one();
    }
    // Waits without spinning until more than Count pictures came; false after 5 s.
    bool WaitPast(int Count) {
        std::unique_lock lock(mutex);
        return came.wait_for(lock, std::chrono::seconds(5), [&] { return shown > Count; });
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
    Presenter presenter(Surface);
    VelaLib.VideoSetFrameCallback(film, Presenter::Frame, &presenter);
    VelaLib.Video.Play(film);
    bool all = true;
    for (int n = 0; n < kPictures && all; ++n) {
        for (int32_t at; (at = VelaLib.Video.GetPosition(film)) < n * 40;) {
            host.sound->render(platform::Frames(std::max(1, (n * 40 - at) * 441 / 10)));
            // A clock the sound did not move is a film whose thread has not decoded that far (its
            // voice starved, or its clock not started): the thread is given the processor.
            if (VelaLib.Video.GetPosition(film) == at) std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        // Asked for, as the player's tick asks, a picture that has come due goes on show now.
        VelaLib.VideoNeedPaint(film);
        all = presenter.WaitPast(n);
    }
    VelaLib.VideoSetFrameCallback(film, nullptr, nullptr);
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

// Processor time of this process (all its threads) and of its ended children, in ns.
uint64_t OwnCpuNs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return uint64_t(now.tv_sec) * 1'000'000'000u + uint64_t(now.tv_nsec);
}
uint64_t ChildrenCpuNs() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto ns = [](const timeval& t) { return uint64_t(t.tv_sec) * 1'000'000'000u + uint64_t(t.tv_usec) * 1000u; };
    return ns(usage.ru_utime) + ns(usage.ru_stime);
}

void BM_RatioToFfmpeg(benchmark::State& State) {
    platform::MemorySurface surface(kWidth, kHeight, 32);
    uint64_t ours = 0, theirs = 0, oursCpu = 0, theirsCpu = 0;
    bool fine = true;
    for (auto _ : State) {
        uint64_t start = platform::ClockNs(), cpu = OwnCpuNs();
        fine &= OurPlay(surface);
        ours += platform::ClockNs() - start;
        oursCpu += OwnCpuNs() - cpu;
        start = platform::ClockNs(), cpu = ChildrenCpuNs();
        fine &= FfmpegPlay();
        theirs += platform::ClockNs() - start;
        theirsCpu += ChildrenCpuNs() - cpu;
    }
    if (!fine) State.SkipWithError("a run failed");
    State.counters["x_ffmpeg"] = double(ours) / double(theirs);
    // The same in processor time, which a busy machine's other work leaves alone.
    State.counters["cpu_x_ffmpeg"] = double(oursCpu) / double(theirsCpu);
}
BENCHMARK(BM_RatioToFfmpeg)->Unit(benchmark::kMillisecond);

}  // namespace
