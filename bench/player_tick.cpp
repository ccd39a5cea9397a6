// The player's tick: the main window over the headless display, playing titles the build packs
// from player_tick/ beside this file (800 x 600, made as the sample title is made).
//   BM_MovingBoxesTick: one tick (input, script, steps, drawing the dirty rectangles, present)
//     of a scene of 200 boxes of assorted sizes and colours that each move every tick through
//     their idle handler. The headless present copies the whole client area into its record,
//     which a real window's present does not. expr_pct is the share of the tick's time spent
//     running compiled expressions (from one run in 16 timed), expr_runs_per_tick how many ran.
//   BM_IdleSceneTick: one tick of a scene that never changes, so nothing is drawn or presented;
//     the counter cpu_pct_at_66Hz is that tick's CPU time at 66 ticks a second, in percent.
//   BM_IdleSceneLoopThread: the same scene run as the program runs it, the loop thread timing
//     the ticks, for one second of real time; cpu_pct is the process's CPU time over that
//     second (getrusage), in percent.
#include "app/view.h"
#include "core/vrfiles_manager.h"
#include "media/velabind.h"
#include "objects/vitems.h"
#include "platform/clock.h"
#include "platform/display.h"
#include "platform/fs.h"
#include "script/params_parser.h"
#include "script/services.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr double kTicksPerSecond = 66;

// The player as the program starts it on one of the titles, its ticks run by the caller or by
// its own loop thread.
struct TPlayer {
    platform::HeadlessDisplay Display;
    std::unique_ptr<TFormView> Form;
    uint32_t Now = 0;

    TPlayer(const char* Title, bool LoopThread) {
        BindVelaLibrary(platform::fs::ToProgramPath(VELA_COMPANION_FOLDER "/"));
        CreateVrFileSystem();
        const std::string folder = std::string(VELA_TICK_TITLES "/") + Title + "/";
        Form = std::make_unique<TFormView>(Display, platform::fs::ToProgramPath(folder + "velaplay"),
                                           std::vector<std::string>{});
        Form->UseLoopThread = LoopThread;
        Form->FormCreate();
    }
    ~TPlayer() {
        Form.reset();
        FreeVrFileSystem();
        UnbindVelaLibrary();
    }

    void Tick() {
        Now += TLoopThread::TickLength;
        RunTick(Form->Clock, Now, TLoopThread::TickLength, [this] { Form->DoLoop(); });
    }
    // The first ticks build the scene and start its handlers.
    bool Started(int Objects) {
        for (int i = 0; i < 3; ++i) Tick();
        return !Terminating() && Bases && Bases->GetObjectCount() == Objects;
    }
};

void BM_MovingBoxesTick(benchmark::State& State) {
    TPlayer player("moving", false);
    if (!player.Started(200)) return State.SkipWithError("the title did not start");
    const int32_t left = Bases->GetObject(0)->GetLeft();
    // What reading the clock adds to each timed run, taken out of the runs' time.
    uint64_t clockCost = 0;
    for (int i = 0; i < 1000; ++i) {
        const uint64_t before = platform::ClockNs();
        clockCost += platform::ClockNs() - before;
    }
    ExprRunStats = TExprRunStats{true};
    const uint64_t start = platform::ClockNs();
    for (auto _ : State) player.Tick();
    const double ticks = double(State.iterations());
    const double exprTime = ExprRunStats.Nanoseconds() - double(clockCost) / 1000 * double(ExprRunStats.Runs);
    State.counters["expr_pct"] = 100.0 * exprTime / double(platform::ClockNs() - start);
    State.counters["expr_runs_per_tick"] = double(ExprRunStats.Runs) / ticks;
    ExprRunStats = TExprRunStats{};
    if (Bases->GetObject(0)->GetLeft() == left || player.Display.frames.empty() ||
        player.Display.frames.back().rects.empty())
        State.SkipWithError("the boxes did not move");
}
BENCHMARK(BM_MovingBoxesTick)->Unit(benchmark::kMicrosecond);

// Process CPU time and real time, in seconds.
struct TTimes {
    double Cpu, Wall;
    static TTimes Now() {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        timespec wall{};
        clock_gettime(CLOCK_MONOTONIC, &wall);
        auto seconds = [](const timeval& T) { return double(T.tv_sec) + double(T.tv_usec) / 1e6; };
        return {seconds(usage.ru_utime) + seconds(usage.ru_stime), double(wall.tv_sec) + double(wall.tv_nsec) / 1e9};
    }
};

void BM_IdleSceneTick(benchmark::State& State) {
    TPlayer player("still", false);
    if (!player.Started(3)) return State.SkipWithError("the title did not start");
    player.Display.frames.clear();
    const TTimes start = TTimes::Now();
    for (auto _ : State) player.Tick();
    const double tick = (TTimes::Now().Cpu - start.Cpu) / double(State.iterations());
    if (!player.Display.frames.empty()) State.SkipWithError("the scene was drawn again");
    State.counters["cpu_pct_at_66Hz"] = 100 * tick * kTicksPerSecond;
}
BENCHMARK(BM_IdleSceneTick)->Unit(benchmark::kMicrosecond);

void BM_IdleSceneLoopThread(benchmark::State& State) {
    double cpu = 0, wall = 0;
    for (auto _ : State) {
        TPlayer player("still", true);
        // The window is closed after a settling fifth of a second and one measured second.
        TTimes start{}, end{};
        std::thread closer([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            start = TTimes::Now();
            std::this_thread::sleep_for(std::chrono::seconds(1));
            end = TTimes::Now();
            player.Display.inject({.kind = platform::InputKind::Close});
        });
        player.Form->Run();
        closer.join();
        cpu += end.Cpu - start.Cpu;
        wall += end.Wall - start.Wall;
        State.SetIterationTime(end.Wall - start.Wall);
    }
    State.counters["cpu_pct"] = 100 * cpu / wall;
}
BENCHMARK(BM_IdleSceneLoopThread)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
