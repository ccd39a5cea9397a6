// The MIDI sequencer: the timer thread, the tick, seeks, controller scaling, long messages and
// the waits for the output driver.
#include "media/midiplay.h"

#include "platform/midiout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

const uint8_t GMSystemOn[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};

void SleepMs(uint32_t Ms) { std::this_thread::sleep_for(std::chrono::milliseconds(Ms)); }

}  // namespace

// ---- TMMTimer ----

TMMTimer::TMMTimer(std::function<void()> OnTimer) : FOnTimer(std::move(OnTimer)), FThread([this] { Execute(); }) {}

TMMTimer::~TMMTimer() {
    {
        std::lock_guard lock(FLock);
        FTerminated = true;
    }
    FWake.notify_all();
    FThread.join();
}

bool TMMTimer::GetEnabled() const {
    std::lock_guard lock(FLock);
    return FEnabled;
}

void TMMTimer::SetEnabled(bool Value) {
    {
        std::lock_guard lock(FLock);
        FEnabled = Value;
    }
    FWake.notify_all();
}

void TMMTimer::SetInterval(int32_t Value) {
    std::lock_guard lock(FLock);
    FInterval = std::max(1, Value);
}

void TMMTimer::Pause() {
    std::unique_lock lock(FLock);
    ++FPaused;
    FIdle.wait(lock, [this] { return !FRunning; });
}

void TMMTimer::Release() {
    std::lock_guard lock(FLock);
    FPaused = std::max(0, FPaused - 1);
}

bool TMMTimer::BeginTick() {
    if (!FEnabled || FTerminated || FPaused > 0) return false;
    FRunning = true;
    return true;
}

void TMMTimer::EndTick() {
    {
        std::lock_guard lock(FLock);
        FRunning = false;
    }
    FIdle.notify_all();
}

void TMMTimer::Fire() {
    {
        std::lock_guard lock(FLock);
        if (!BeginTick()) return;
    }
    FOnTimer();
    EndTick();
}

void TMMTimer::Execute() {
    std::unique_lock lock(FLock);
    while (!FTerminated) {
        if (!FEnabled) {
            // Disabled: asleep until enabled or ended.
            FWake.wait(lock, [this] { return FEnabled || FTerminated; });
            continue;
        }
        if (FWake.wait_for(lock, std::chrono::milliseconds(FInterval), [this] { return FTerminated; })) break;
        if (!BeginTick()) continue;
        lock.unlock();
        FOnTimer();
        EndTick();
        lock.lock();
    }
}

// ---- TMidiPlayV ----

class TMidiPlayV::TPauseGuard {
public:
    explicit TPauseGuard(TMMTimer& Timer) : FTimer(Timer) { FTimer.Pause(); }
    ~TPauseGuard() { FTimer.Release(); }
    TPauseGuard(const TPauseGuard&) = delete;
    TPauseGuard& operator=(const TPauseGuard&) = delete;

private:
    TMMTimer& FTimer;
};

TMidiPlayV::TMidiPlayV(std::shared_ptr<platform::MidiOut> Out)
    : Clock(platform::ClockMs), Sleep(SleepMs), FOut(Out ? std::move(Out) : platform::OpenMidiOut()),
      FTimer([this] { TimerTick(); }) {
    for (auto& channel : FControlScale) channel.fill(100);
    FTimer.SetInterval(10);
    for (uint32_t i = 0; i < FOut->deviceCount(); ++i) {
        platform::MidiOutCaps caps;
        if (!FOut->deviceCaps(i, caps)) continue;
        char version[16];
        std::snprintf(version, sizeof version, "%2.2d.%2.2d", int(caps.driverVersion >> 8 & 0xFF),
                      int(caps.driverVersion & 0xFF));
        Devices.push_back(TMidiDevice{caps.mid, caps.pid, version, caps.name.substr(0, 31), caps.technology,
                                      caps.voices, caps.notes, caps.channelMask, caps.support});
    }
}

// The timer, made last, goes first: its thread ends before anything it touches.
TMidiPlayV::~TMidiPlayV() { Close(); }

bool TMidiPlayV::Open(int32_t DeviceId) {
    TPauseGuard pause(FTimer);
    Close();
    FHandle = FOut->open(DeviceId, Target());
    if (FHandle == 0) return false;
    WaitForMessage(platform::MM_MOM_OPEN);
    return true;
}

void TMidiPlayV::Close() {
    if (!IsOpen()) return;
    TPauseGuard pause(FTimer);
    Stop();
    FTimer.SetEnabled(false);
    FOut->reset(FHandle);
    {
        std::lock_guard lock(FLock);
        FPending.clear();
    }
    FOut->close(FHandle);
    WaitForMessage(platform::MM_MOM_CLOSE);
    FHandle = 0;
}

void TMidiPlayV::LoadFromStream(TStream& Stream) {
    TPauseGuard pause(FTimer);
    Stop();
    std::lock_guard lock(FLock);
    TMidiV::LoadFromStream(Stream);
    Loops.clear();
    FNextLoop = 0;
    FEventIndex = 0;
    FPosition = 0;
    // A song that never sets the channel volume gets full volume on every channel before its
    // first note.
    const bool setsVolume = std::any_of(Events.begin(), Events.end(), [](const TMidiMsgEvent& e) {
        return e.Kind == mkControl && e.Size() >= 2 && (e.Data[1] & 127) == 7;
    });
    if (!setsVolume) {
        const auto first = std::find_if(Events.begin(), Events.end(), [](const TMidiMsgEvent& e) {
            return !e.Data.empty() && e.Data[0] >= 0x80 && e.Data[0] <= 0xAF;
        });
        TMidiMsgEvents volumes(16);
        for (int ch = 0; ch < 16; ++ch) volumes[size_t(ch)].SetData(std::string{char(0xB0 + ch), 0x07, 0x7F});
        Events.insert(first, volumes.begin(), volumes.end());
    }
    for (auto& channel : FControls) channel[7] = 127;
}

void TMidiPlayV::SendGMReset() {
    TPauseGuard pause(FTimer);
    WaitForPending();
    LongMsg(std::vector<uint8_t>(std::begin(GMSystemOn), std::end(GMSystemOn)));
    WaitForPending();
}

void TMidiPlayV::PlayFrom(int32_t Tick, int32_t Pos, int32_t Beat) {
    TPauseGuard pause(FTimer);
    std::lock_guard lock(FLock);
    RearmLoops();
    FTimer.SetEnabled(false);
    const int32_t target = Tick >= 1 ? FindByTick(Tick) : Beat == -1 ? FindByTime(Pos) : FindByBeat(Pos, Beat);
    if (target < FEventIndex) {
        AllNotesOff();
        FEventIndex = 0;
        FPosition = 0;
        Replay(target);
    } else if (target > FEventIndex) {
        AllNotesOff();
        Replay(target);
    }
    FLastTime = Clock();
    FTimer.SetEnabled(true);
}

void TMidiPlayV::Replay(int32_t Target) {
    for (; FEventIndex < Target; ++FEventIndex) {
        const TMidiMsgEvent& event = Events[size_t(FEventIndex)];
        FPosition = event.Time;
        if (event.Kind == mkNoteOn || event.Kind == mkNoteOff) continue;
        Send(event);
        if (event.Kind == mkGSReset) Sleep(10);  // the synthesiser resets itself
    }
}

void TMidiPlayV::Stop() {
    if (!IsPlaying()) return;
    TPauseGuard pause(FTimer);
    WaitForPending();
    FTimer.SetEnabled(false);
    Sleep(1);
    AllNotesOff();
}

bool TMidiPlayV::IsEnd() const {
    std::lock_guard lock(FLock);
    return !FRepeat && int64_t(FEventIndex) >= int64_t(Events.size()) - 1;
}

int32_t TMidiPlayV::GetPosition() const {
    std::lock_guard lock(FLock);
    return FPosition;
}

void TMidiPlayV::SetPosition(int32_t Value) {
    std::lock_guard lock(FLock);
    FPosition = Value;
}

bool TMidiPlayV::GetAutoRepeat() const {
    std::lock_guard lock(FLock);
    return FRepeat;
}

void TMidiPlayV::SetAutoRepeat(bool Value) {
    std::lock_guard lock(FLock);
    FRepeat = Value;
}

void TMidiPlayV::SetControlAll(int32_t Controller, int32_t Percent) {
    if (Controller < 0 || Controller > 127) return;
    TPauseGuard pause(FTimer);
    std::lock_guard lock(FLock);
    for (auto& channel : FControlScale) channel[size_t(Controller)] = Percent;
    if (IsPlaying())
        for (int32_t ch = 0; ch < 16; ++ch) SendControl(ch, Controller);
}

void TMidiPlayV::AllNotesOff() {
    if (!IsOpen()) return;
    for (uint32_t ch = 0; ch < 16; ++ch) ShortMsg(0xB0 + ch + (123 << 8));
}

void TMidiPlayV::TimerTick() {
    std::lock_guard lock(FLock);
    const int64_t last = int64_t(Events.size()) - 1;
    if (FEventIndex >= last) return;
    const uint32_t now = Clock();
    const uint32_t elapsed = std::min<uint32_t>(1000, now - FLastTime);
    int64_t advance = std::llround(elapsed * Speed);
    if (advance == 0) advance = elapsed;
    FPosition = int32_t(std::clamp<int64_t>(FPosition + advance, INT32_MIN, INT32_MAX));
    FLastTime = now;
    while (Events[size_t(FEventIndex)].Time < FPosition) {
        if (FEventIndex < last) {
            Send(Events[size_t(FEventIndex)]);
            ++FEventIndex;
            if (const int32_t target = LoopTarget(); target >= 0) {
                AllNotesOff();
                FEventIndex = target;
                FPosition = Events[size_t(target)].Time;
            }
        }
        if (FEventIndex >= last) {
            if (!FRepeat) return;
            AllNotesOff();
            FEventIndex = 0;
            FPosition = Events[0].Time;
        }
    }
}

void TMidiPlayV::Send(const TMidiMsgEvent& Event) {
    if (Event.Kind == mkControl && Event.Size() >= 3) {
        const int32_t channel = Event.Data[0] & 15, controller = Event.Data[1] & 127;
        FControls[size_t(channel)][size_t(controller)] = Event.Data[2];
        SendControl(channel, controller);
        return;
    }
    // Meta events are not sent.
    if (Event.MsgType == mtChannel)
        ShortMsg(Event.GetShortMsg());
    else if (Event.MsgType == mtExclusive)
        LongMsg(Event.Data);
}

void TMidiPlayV::SendControl(int32_t Channel, int32_t Controller) {
    std::lock_guard lock(FLock);
    const int64_t scaled = int64_t(FControls[size_t(Channel)][size_t(Controller)]) *
                           FControlScale[size_t(Channel)][size_t(Controller)] / 100;
    // A data byte: a scale beyond 0..100 must not set the high bit.
    const uint32_t value = uint32_t(std::clamp<int64_t>(scaled, 0, 127));
    ShortMsg(0xB0 + uint32_t(Channel) + (uint32_t(Controller) << 8) + (value << 16));
}

void TMidiPlayV::ShortMsg(uint32_t Message) {
    if (IsOpen()) FOut->shortMsg(FHandle, Message);
}

void TMidiPlayV::LongMsg(const std::vector<uint8_t>& Bytes) {
    if (!IsOpen() || Bytes.empty()) return;
    std::lock_guard lock(FLock);
    const intptr_t tag = FNextTag++;
    FPending.push_back(tag);
    if (!FOut->longMsg(FHandle, Bytes.data(), Bytes.size(), tag)) FPending.pop_back();
}

void TMidiPlayV::RearmLoops() {
    FNextLoop = 0;
    for (TLoop& loop : Loops) loop.Armed = 1;
}

int32_t TMidiPlayV::LoopTarget() {
    if (FNextLoop >= int32_t(Loops.size())) return -1;
    TLoop& loop = Loops[size_t(FNextLoop)];
    if (loop.FromIndex != FEventIndex || loop.Armed != 1) return -1;
    loop.Armed = 0;
    const int32_t target = loop.ToIndex;
    if (loop.RearmAll) RearmLoops();
    ++FNextLoop;
    return target >= 0 && target < int32_t(Events.size()) ? target : -1;
}

int32_t TMidiPlayV::FindByTick(int32_t Tick) const {
    for (size_t i = 0; i < Events.size(); ++i) {
        if (Events[i].Position == Tick) return int32_t(i);
        if (Events[i].Position > Tick) return i == 0 ? 0 : int32_t(i - 1);
    }
    return 0;
}

int32_t TMidiPlayV::FindByTime(int32_t Ms) const {
    for (size_t i = 0; i < Events.size(); ++i) {
        if (Events[i].Time == Ms) return int32_t(i);
        if (Events[i].Time > Ms) return i == 0 ? 0 : int32_t(i - 1);
    }
    return 0;
}

int32_t TMidiPlayV::FindByBeat(int32_t Measure, int32_t Beat) const {
    for (size_t i = 0; i < Beats.size(); ++i) {
        if (Beats[i].Measure == Measure && Beats[i].Beat == Beat) return FindByTick(Beats[i].Tick);
        if (Beats[i].Measure > Measure) return FindByTick(Beats[i == 0 ? 0 : i - 1].Tick);
    }
    return 0;
}

void TMidiPlayV::WndProc(const platform::QueuedMessage& Message) {
    if (Message.message != platform::MM_MOM_DONE) return;
    std::lock_guard lock(FLock);
    std::erase(FPending, Message.lParam);
}

size_t TMidiPlayV::PendingCount() const {
    std::lock_guard lock(FLock);
    return FPending.size();
}

void TMidiPlayV::WaitForMessage(uint32_t Message) {
    const platform::TargetId target = Target();
    const uint32_t start = Clock();
    for (;;) {
        if (!platform::MainQueue()
                 .TakeMessages([&](const platform::QueuedMessage& m) { return m.target == target && m.message == Message; })
                 .empty() ||
            Clock() - start >= DriverWaitMs)
            return;
        Sleep(1);
    }
}

void TMidiPlayV::WaitForPending() {
    const platform::TargetId target = Target();
    const uint32_t start = Clock();
    while (PendingCount() > 0) {
        for (const platform::QueuedMessage& m : platform::MainQueue().TakeMessages([&](const platform::QueuedMessage& m) {
                 return m.target == target && m.message == platform::MM_MOM_DONE;
             }))
            WndProc(m);
        if (PendingCount() == 0 || Clock() - start >= DriverWaitMs) return;
        Sleep(1);
    }
}
