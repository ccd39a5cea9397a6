#pragma once
// The loop half of the main window: the program clock, the timing thread that hands one tick
// at a time to the main thread, and the tick itself.
//
// The timing thread only measures time. Each tick goes to the main thread through a hand-off
// the main loop runs; the timing thread blocks until the tick has run, so the clock values
// change only between ticks. The clock is applied on the main thread at the start of the
// handed-over tick, so nothing but the hand-off is shared between the threads.
#include "platform/clock.h"
#include "script/params_system.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

// The program clock. Main thread only.
struct TLoopClock {
    uint32_t LoopTime = 0;      // accumulated length of all ticks (ms): the script's and objects' clock
    uint32_t FrameTime = 0;     // length of the current tick (ms)
    uint32_t LastTickTime = 0;  // the millisecond clock at the start of the current tick
    uint32_t FrameCounter = 0;  // ticks that reached the object steps
    uint32_t TickCount = 0;     // ticks handed over, paused ones too
    bool Paused = false;        // while set, ticks advance the clock but do nothing
};

// Runs jobs of another thread on the main thread, one at a time. Deliver blocks the calling
// thread until the main thread has run its job; Cancel releases it (and refuses every later
// job), so a thread stopping while the main thread no longer takes ticks never deadlocks.
class TTickHandOff {
public:
    // Other thread: false when cancelled before the job ran.
    bool Deliver(std::function<void()> Job);
    // Main thread: runs the waiting job, if any; whether one ran.
    bool RunPending();
    // Main thread: waits up to TimeoutMs for a job and runs it; whether one ran.
    bool WaitAndRun(uint32_t TimeoutMs);
    void Cancel();
    bool Cancelled() const;
    // Called on the delivering thread each time a job waits, so that a main thread waiting for
    // window events wakes up for it. Set before the first Deliver.
    std::function<void()> OnPosted;

private:
    bool RunLocked(std::unique_lock<std::mutex>& Lock);

    mutable std::mutex mutex_;
    std::condition_variable cond_;
    std::function<void()> job_;
    bool pending_ = false;
    uint64_t posted_ = 0, done_ = 0;
    bool cancelled_ = false;
};

// The timing thread. Every TickLength ms it measures the time since the previous time-out and
// hands a tick to the main thread: the clock advances by the elapsed time, then, unless the
// pause flag is set, OnLoop runs. Each tick is due TickLength ms after the start of the one
// before, or after the measuring started over (at first, after a dropped gap, on Resume), so
// ticks stay evenly spaced however long each one runs. A gap of MaxTickGap ms or more (the machine or the window
// was busy) is dropped: no tick, no advance.
class TLoopThread {
public:
    static constexpr uint32_t TickLength = 15, MaxTickGap = 300;
    using TClockSource = std::function<uint32_t()>;

    TLoopThread(TLoopClock& Clock, std::function<void()> OnLoop, TClockSource Now = platform::ClockMs);
    TLoopThread(const TLoopThread&) = delete;
    TLoopThread& operator=(const TLoopThread&) = delete;
    // Stops the thread.
    ~TLoopThread();

    void Start();
    // Suspend holds the timing: no tick is handed over until Resume. The first time-out after
    // Resume only restarts the measuring, so the time in between is never a tick.
    void Suspend();
    void Resume();
    // Ends the thread: its event is signalled and a pending hand-off cancelled, then it is
    // joined. Safe to call twice.
    void Stop();
    TTickHandOff& HandOff() { return handOff_; }

    // The wait at Now before the tick due TickLength ms after the tick that started at Start;
    // 1 ms when that tick ran past it.
    static uint32_t NextWait(uint32_t Start, uint32_t Now);

private:
    void Execute();
    // Waits on the event for up to Ms, and then, while suspended, until resumed.
    enum TWaitEnd { weTimeout, weSignalled, weResumed };
    TWaitEnd WaitEvent(uint32_t Ms);

    TLoopClock& clock_;
    std::function<void()> onLoop_;
    TClockSource now_;
    TTickHandOff handOff_;
    std::mutex eventMutex_;
    std::condition_variable eventCond_;
    bool event_ = false;
    bool suspended_ = false;
    std::thread thread_;
};

// One tick on the main thread: the clock advances by Elapsed ms measured at Now, then, unless
// the pause flag is set, OnLoop runs.
void RunTick(TLoopClock& Clock, uint32_t Now, uint32_t Elapsed, const std::function<void()>& OnLoop);

// The current local date and time, read at most once per tick so that one tick sees one time.
class TLoopNow {
public:
    explicit TLoopNow(const TLoopClock& Clock, std::function<TClockSample()> Source = HostLocalTime)
        : clock_(Clock), source_(std::move(Source)) {}
    TClockSample Get();

private:
    const TLoopClock& clock_;
    std::function<TClockSample()> source_;
    bool have_ = false;
    uint32_t tick_ = 0;
    TClockSample cached_;
};

// The work of one tick, step by step.
class TTickSteps {
public:
    virtual ~TTickSteps() = default;
    virtual bool HaveProject() = 0;
    // The file system: released archive locks age by FrameTime, pending work files go.
    virtual void Housekeeping(uint32_t FrameTime) = 0;
    // The object root's input step.
    virtual void UpdateRoot(uint32_t LoopTime) = 0;
    virtual void RunScript() = 0;
    virtual bool Terminating() = 0;
    virtual void StepObjects() = 0;
    // The pending game load and save; whether a load happened.
    virtual bool ProcessPending() = 0;
    // Prepares both layers, presents them and empties their dirty lists.
    virtual void Draw() = 0;
};

// The steps over the player's globals: the file manager, the object root and the project.
class TPlayerTickSteps : public TTickSteps {
public:
    bool HaveProject() override;
    void Housekeeping(uint32_t FrameTime) override;
    void UpdateRoot(uint32_t LoopTime) override;
    void RunScript() override;
    bool Terminating() override;
    void StepObjects() override;
    bool ProcessPending() override;
    void Draw() override;

    // Shows the prepared layers; nothing until there is a screen.
    std::function<void()> OnPresent = [] {};
};

// One tick. HoldDraw counts ticks left undrawn: the tick of a game load draws nothing.
void DoLoop(TTickSteps& Steps, TLoopClock& Clock, int32_t& HoldDraw);
