// The loop half of the main window: the timing thread, the hand-off of its ticks and the tick.
#include "app/view_loop.h"

#include "core/vrfiles_manager.h"
#include "objects/vitems.h"
#include "script/project.h"
#include "script/services.h"

namespace {

// Waits on Cond for up to Ms milliseconds or until Done holds; whether Done holds.
template <class Pred>
bool WaitFor(std::condition_variable& Cond, std::unique_lock<std::mutex>& Lock, uint32_t Ms, Pred Done) {
    return Cond.wait_for(Lock, std::chrono::milliseconds(Ms), Done);
}

}  // namespace

// ---- TTickHandOff ----

bool TTickHandOff::Deliver(std::function<void()> Job) {
    std::unique_lock lock(mutex_);
    if (cancelled_) return false;
    job_ = std::move(Job);
    pending_ = true;
    const uint64_t ticket = ++posted_;
    cond_.notify_all();
    if (OnPosted) OnPosted();
    cond_.wait(lock, [&] { return done_ >= ticket || cancelled_; });
    if (done_ >= ticket) return true;
    pending_ = false;
    job_ = nullptr;
    return false;
}

bool TTickHandOff::RunLocked(std::unique_lock<std::mutex>& Lock) {
    if (cancelled_ || !pending_) return false;
    // The job is taken out first: it may stop the delivering thread, which then no longer
    // waits for it.
    std::function<void()> job = std::move(job_);
    pending_ = false;
    const uint64_t ticket = posted_;
    Lock.unlock();
    job();
    Lock.lock();
    done_ = ticket;
    cond_.notify_all();
    return true;
}

bool TTickHandOff::RunPending() {
    std::unique_lock lock(mutex_);
    return RunLocked(lock);
}

bool TTickHandOff::WaitAndRun(uint32_t TimeoutMs) {
    std::unique_lock lock(mutex_);
    WaitFor(cond_, lock, TimeoutMs, [&] { return cancelled_ || pending_; });
    return RunLocked(lock);
}

void TTickHandOff::Cancel() {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    cond_.notify_all();
}

bool TTickHandOff::Cancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

// ---- TLoopThread ----

TLoopThread::TLoopThread(TLoopClock& Clock, std::function<void()> OnLoop, TClockSource Now)
    : clock_(Clock), onLoop_(std::move(OnLoop)), now_(std::move(Now)) {}

TLoopThread::~TLoopThread() { Stop(); }

void TLoopThread::Start() {
    if (!thread_.joinable()) thread_ = std::thread([this] { Execute(); });
}

void TLoopThread::Stop() {
    {
        std::lock_guard lock(eventMutex_);
        event_ = true;
    }
    eventCond_.notify_all();
    handOff_.Cancel();
    if (thread_.joinable()) thread_.join();
}

uint32_t TLoopThread::NextWait(uint32_t Start, uint32_t Now) {
    const uint32_t spent = Now - Start;
    return spent >= TickLength ? 1 : TickLength - spent;
}

void TLoopThread::Suspend() {
    std::lock_guard lock(eventMutex_);
    suspended_ = true;
}

void TLoopThread::Resume() {
    {
        std::lock_guard lock(eventMutex_);
        suspended_ = false;
    }
    eventCond_.notify_all();
}

TLoopThread::TWaitEnd TLoopThread::WaitEvent(uint32_t Ms) {
    std::unique_lock lock(eventMutex_);
    if (WaitFor(eventCond_, lock, Ms, [&] { return event_; })) return weSignalled;
    if (!suspended_) return weTimeout;
    eventCond_.wait(lock, [&] { return event_ || !suspended_; });
    return event_ ? weSignalled : weResumed;
}

void TLoopThread::Execute() {
    uint32_t last = now_();
    uint32_t wait = TickLength;
    for (;;) {
        const TWaitEnd end = WaitEvent(wait);
        if (end == weSignalled) break;  // the event stays set: the thread is ending
        const uint32_t now = now_();
        const uint32_t elapsed = now - last;
        if (end == weTimeout && elapsed < MaxTickGap) {
            if (!handOff_.Deliver([this, now, elapsed] { RunTick(clock_, now, elapsed, onLoop_); })) break;
            wait = NextWait(now, now_());
        } else {
            wait = TickLength;  // the measuring starts over: the next tick is a whole tick away
        }
        last = now;
    }
}

void RunTick(TLoopClock& Clock, uint32_t Now, uint32_t Elapsed, const std::function<void()>& OnLoop) {
    Clock.LoopTime += Elapsed;
    Clock.FrameTime = Elapsed;
    Clock.LastTickTime = Now;
    ++Clock.TickCount;
    if (!Clock.Paused && OnLoop) OnLoop();
}

// ---- TLoopNow ----

TClockSample TLoopNow::Get() {
    if (!have_ || tick_ != clock_.TickCount) {
        cached_ = source_();
        tick_ = clock_.TickCount;
        have_ = true;
    }
    return cached_;
}

// ---- The tick ----

bool TPlayerTickSteps::HaveProject() { return Project != nullptr; }

void TPlayerTickSteps::Housekeeping(uint32_t FrameTime) {
    if (!VrFileManager) return;
    VrFileManager->Locks().Tick(FrameTime);
    DeleteWorkFiles();
}

void TPlayerTickSteps::UpdateRoot(uint32_t LoopTime) {
    if (Bases) Bases->Update(LoopTime);
}

void TPlayerTickSteps::RunScript() { Project->Run(); }

bool TPlayerTickSteps::Terminating() { return ::Terminating(); }

void TPlayerTickSteps::StepObjects() {
    if (Bases) Bases->Step();
}

bool TPlayerTickSteps::ProcessPending() { return Project->ProcessPending(); }

void TPlayerTickSteps::Draw() {
    if (!Bases) return;
    Bases->Prepare();
    if (OnPresent) OnPresent();
    for (int layer = 0; layer < 2; ++layer) Bases->GetBase(layer)->ClipList.Clear();
}

void DoLoop(TTickSteps& Steps, TLoopClock& Clock, int32_t& HoldDraw) {
    if (!Steps.HaveProject()) return;
    Steps.Housekeeping(Clock.FrameTime);
    Steps.UpdateRoot(Clock.LoopTime);
    Steps.RunScript();
    if (Steps.Terminating()) return;
    // Ogg playback runs on the companion library's own thread: nothing to pump here.
    Steps.StepObjects();
    ++Clock.FrameCounter;
    if (Steps.ProcessPending()) HoldDraw = 1;
    if (HoldDraw > 0) {
        --HoldDraw;
        return;
    }
    Steps.Draw();
}
