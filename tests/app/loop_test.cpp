#include "app/view_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <string>
#include <vector>

namespace {

constexpr uint32_t Patience = 10000;  // ms the main thread waits for a tick before the test fails

struct Seen {
    uint32_t FrameTime, LoopTime;
};

}  // namespace

TEST(LoopThread, GapsOfThreeHundredMsAreDropped) {
    std::atomic<uint32_t> now{1000};
    TLoopClock clock;
    std::vector<Seen> seen;
    // Each tick sets the time the thread reads after it: 299 ms later, 300 ms later, then 15.
    const uint32_t next[] = {299, 300, 15, 0};
    TLoopThread thread(clock, [&] {
        seen.push_back({clock.FrameTime, clock.LoopTime});
        now += next[std::min<size_t>(seen.size() - 1, 3)];
    }, [&] { return now.load(); });
    thread.Start();
    while (seen.size() < 4) ASSERT_TRUE(thread.HandOff().WaitAndRun(Patience));
    thread.Stop();
    // The 300 ms gap ran no tick: the tick after it measured from the gap's end.
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].FrameTime, 0u);
    EXPECT_EQ(seen[1].FrameTime, 299u);
    EXPECT_EQ(seen[1].LoopTime, 299u);
    EXPECT_EQ(seen[2].FrameTime, 0u);
    EXPECT_EQ(seen[2].LoopTime, 299u);
    EXPECT_EQ(seen[3].FrameTime, 15u);
    EXPECT_EQ(seen[3].LoopTime, 314u);
    EXPECT_EQ(clock.LastTickTime, 1000u + 299 + 300 + 15);
}

TEST(LoopThread, PausedTicksAdvanceTheClockOnly) {
    std::atomic<uint32_t> now{0};
    TLoopClock clock;
    clock.Paused = true;
    int loops = 0;
    // The thread reads the clock at each time-out and after each tick: 10 ms a tick.
    TLoopThread thread(clock, [&] { ++loops; }, [&] { return now += 5; });
    thread.Start();
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(thread.HandOff().WaitAndRun(Patience));
    EXPECT_EQ(loops, 0);
    EXPECT_EQ(clock.LoopTime, 25u);  // the first tick measures from the start: 5 ms
    EXPECT_EQ(clock.FrameTime, 10u);
    clock.Paused = false;
    ASSERT_TRUE(thread.HandOff().WaitAndRun(Patience));
    EXPECT_EQ(loops, 1);
    EXPECT_EQ(clock.LoopTime, 35u);
    EXPECT_EQ(clock.TickCount, 4u);
}

TEST(LoopThread, NextTickIsDueATickAfterTheStartOfTheLast) {
    EXPECT_EQ(TLoopThread::NextWait(1000, 1000), 15u);
    EXPECT_EQ(TLoopThread::NextWait(1000, 1006), 9u);
    EXPECT_EQ(TLoopThread::NextWait(1000, 1014), 1u);
    EXPECT_EQ(TLoopThread::NextWait(1000, 1015), 1u);  // the tick overran
    EXPECT_EQ(TLoopThread::NextWait(1000, 1299), 1u);
    EXPECT_EQ(TLoopThread::NextWait(0xFFFFFFFA, 4), 5u);  // across the clock's wrap
}

// On the real clock: about 66 ticks in a second of the program clock, evenly spaced. Only the
// clock's own values are checked, so a busy machine (longer gaps, fewer ticks) cannot fail it.
TEST(LoopThread, TicksComeEveryFifteenMs) {
    TLoopClock clock;
    std::vector<uint32_t> gaps;
    TLoopThread thread(clock, [&] { gaps.push_back(clock.FrameTime); });
    thread.Start();
    while (clock.LoopTime < 1000) ASSERT_TRUE(thread.HandOff().WaitAndRun(Patience));
    thread.Stop();
    // Each tick is due 15 ms after the start of the one before, the first 15 ms after the
    // start: no more than 1000 / 15 of them.
    EXPECT_LE(gaps.size(), 1000u / TLoopThread::TickLength + 1);
    for (size_t i = 0; i < gaps.size(); ++i) EXPECT_GE(gaps[i], 10u) << "tick " << i;
}

TEST(LoopThread, StopCancelsATickTheMainThreadNeverTakes) {
    std::promise<void> posting;
    std::atomic<int> reads{0};
    TLoopClock clock;
    int loops = 0;
    TLoopThread thread(clock, [&] { ++loops; }, [&] {
        if (++reads == 2) posting.set_value();  // the first time-out: a tick is about to be handed over
        return 0u;
    });
    thread.Start();
    posting.get_future().wait();
    thread.Stop();  // would hang if the thread waited for the main thread
    EXPECT_FALSE(thread.HandOff().RunPending());
    EXPECT_EQ(loops, 0);
    EXPECT_EQ(clock.TickCount, 0u);
}

TEST(LoopNow, OneSamplePerTick) {
    TLoopClock clock;
    int reads = 0;
    TLoopNow now(clock, [&] {
        ++reads;
        return TClockSample{2024, 1, 2, 3, 4, 5, reads};
    });
    EXPECT_EQ(now.Get().Sec, 1);  // the very first call reads the clock
    EXPECT_EQ(now.Get().Sec, 1);
    ++clock.TickCount;
    EXPECT_EQ(now.Get().Sec, 2);
    EXPECT_EQ(reads, 2);
}

namespace {

// Records the steps a tick runs.
class TFakeSteps : public TTickSteps {
public:
    std::string Log;
    bool Project = true, Terminated = false, Loads = false;

    bool HaveProject() override { return Project; }
    void Housekeeping(uint32_t FrameTime) override { Log += "files" + std::to_string(FrameTime) + " "; }
    void UpdateRoot(uint32_t LoopTime) override { Log += "update" + std::to_string(LoopTime) + " "; }
    void RunScript() override { Log += "script "; }
    bool Terminating() override { return Terminated; }
    void StepObjects() override { Log += "step "; }
    bool ProcessPending() override {
        Log += "pending ";
        return Loads;
    }
    void Draw() override { Log += "draw "; }

    std::string Tick(TLoopClock& Clock, int32_t& HoldDraw) {
        Log.clear();
        DoLoop(*this, Clock, HoldDraw);
        return Log;
    }
};

}  // namespace

TEST(DoLoop, RunsTheStepsInOrder) {
    TFakeSteps steps;
    TLoopClock clock;
    clock.LoopTime = 120;
    clock.FrameTime = 15;
    int32_t hold = 0;
    EXPECT_EQ(steps.Tick(clock, hold), "files15 update120 script step pending draw ");
    EXPECT_EQ(clock.FrameCounter, 1u);
    steps.Project = false;
    EXPECT_EQ(steps.Tick(clock, hold), "");
}

TEST(DoLoop, TheTickOfALoadDrawsNothing) {
    TFakeSteps steps;
    TLoopClock clock;
    int32_t hold = 0;
    steps.Loads = true;
    EXPECT_EQ(steps.Tick(clock, hold), "files0 update0 script step pending ");
    steps.Loads = false;
    EXPECT_EQ(steps.Tick(clock, hold), "files0 update0 script step pending draw ");
    EXPECT_EQ(clock.FrameCounter, 2u);
}

TEST(DoLoop, AfterTerminatingNoStepsAndNoDrawing) {
    TFakeSteps steps;
    TLoopClock clock;
    int32_t hold = 0;
    steps.Terminated = true;
    EXPECT_EQ(steps.Tick(clock, hold), "files0 update0 script ");
    EXPECT_EQ(clock.FrameCounter, 0u);
}
