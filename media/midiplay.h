#pragma once
// The MIDI sequencer: plays the event list of a loaded file on a MIDI output, driven by a timer
// thread that wakes every 10 ms, advances the play position by the time that passed and sends
// every event whose time has come.
//
// Threads: the owner calls every operation on the main thread; the timer thread runs the
// ticks. A tick holds the player's lock throughout; the owner's getters and setters take it
// briefly. Operations that restructure playback (load, seek, stop, open, close, the GM reset,
// controller scaling) first pause the timer and wait until no tick runs. The timer's own
// fields are guarded by its own lock, which is never held while a tick runs; the player's lock
// is never taken under it.
//
// The output driver's notifications (open, close, long message done) come through the main
// thread's queue; the player waits for them at most 30000 ms on its clock.
#include "media/midiv.h"

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform {
class MidiOut;
}

// The tick thread: while enabled and not paused, calls OnTimer every Interval ms.
class TMMTimer {
public:
    explicit TMMTimer(std::function<void()> OnTimer);
    ~TMMTimer();
    TMMTimer(const TMMTimer&) = delete;
    TMMTimer& operator=(const TMMTimer&) = delete;

    bool GetEnabled() const;
    // The thread sleeps while disabled; a tick in progress finishes.
    void SetEnabled(bool Value);
    // Takes effect from the next wait.
    void SetInterval(int32_t Value);

    // No tick runs or starts until the matching Release: returns once a running tick has ended.
    // Pauses nest.
    void Pause();
    void Release();

    // One wake of the thread: runs OnTimer when enabled and not paused (tests drive the ticks
    // with it, the thread's interval set out of reach).
    void Fire();

private:
    void Execute();
    // Under the lock: whether a tick may run now; when it may, marks it running.
    bool BeginTick();
    void EndTick();

    const std::function<void()> FOnTimer;
    mutable std::mutex FLock;
    std::condition_variable FWake;  // enabling, terminating
    std::condition_variable FIdle;  // a tick ended
    bool FEnabled = false;
    bool FTerminated = false;
    bool FRunning = false;
    int32_t FPaused = 0;
    int32_t FInterval = 100;
    std::thread FThread;  // last: starts once the rest is made
};

// A loop point: after the event before FromIndex has been sent, play jumps to ToIndex, once per
// play; a point with RearmAll set arms every point again.
struct TLoop {
    int32_t FromIndex = 0;
    int32_t ToIndex = 0;
    uint8_t Armed = 1;
    uint8_t RearmAll = 0;
};

// An output device as it reports itself.
struct TMidiDevice {
    uint16_t Mid = 0, Pid = 0;
    std::string DriverVersion;  // "major.minor", two digits each
    std::string Name;
    uint16_t Technology = 0, Voices = 0, Notes = 0, ChannelMask = 0;
    uint32_t Support = 0;
};
using TMidiDevices = std::vector<TMidiDevice>;

class TMidiPlayV : public TMidiV {
public:
    // Lists the devices of Out (the program's MIDI output when none is given).
    explicit TMidiPlayV(std::shared_ptr<platform::MidiOut> Out = nullptr);
    ~TMidiPlayV() override;

    // Opens the device (-1: the mapper) and waits for the driver's word; whether it opened.
    bool Open(int32_t DeviceId);
    // Stops, silences and closes the device; nothing when it is not open.
    void Close();
    bool IsOpen() const { return FHandle != 0; }

    // Stops, loads the file and gives each channel a full volume controller before its first
    // note when the file sets no volume. Play starts again at the first event.
    void LoadFromStream(TStream& Stream) override;
    // The General MIDI System On message, sent once the pending long messages are done; waits
    // until it is done too.
    void SendGMReset();
    // Seeks (Tick >= 1: to that tick; else Beat = -1: to the time Pos in ms; else to measure Pos,
    // beat Beat), replaying the events skipped over except notes, and starts the timer.
    void PlayFrom(int32_t Tick, int32_t Pos, int32_t Beat);
    // When playing: waits for the pending long messages, stops the timer, all notes off.
    void Stop();
    bool IsPlaying() const { return FTimer.GetEnabled(); }
    // Play reached the last event without repeat (the timer stays enabled).
    bool IsEnd() const;
    // The play position in ms.
    int32_t GetPosition() const;
    void SetPosition(int32_t Value);
    // Repeat: after the last event play goes on from the first.
    bool GetAutoRepeat() const;
    void SetAutoRepeat(bool Value);
    // Scales Controller on every channel by Percent (the volume: controller 7, 0..100) and,
    // while playing, sends it again at once.
    void SetControlAll(int32_t Controller, int32_t Percent);
    // Controller 123 (all notes off) on every channel, when open.
    void AllNotesOff();

    // The loop points; emptied by every load.
    std::vector<TLoop> Loops;
    TMidiDevices Devices;
    // The rate of play; 0 is normal.
    double Speed = 0;

    TMMTimer& Timer() { return FTimer; }
    // The millisecond clock of positions and waits, and the sleep between polls of a wait (read
    // on the timer thread too; set before play).
    std::function<uint32_t()> Clock;
    std::function<void(uint32_t)> Sleep;

    // Driver waits give up after this many ms.
    static constexpr uint32_t DriverWaitMs = 30000;

protected:
    void WndProc(const platform::QueuedMessage& Message) override;

private:
    // Pauses the timer for the life of the guard.
    class TPauseGuard;
    // One tick of the timer thread.
    void TimerTick();
    void Send(const TMidiMsgEvent& Event);
    void SendControl(int32_t Channel, int32_t Controller);
    void ShortMsg(uint32_t Message);
    void LongMsg(const std::vector<uint8_t>& Bytes);
    // Sends the events from EventIndex up to Target but notes.
    void Replay(int32_t Target);
    // After EventIndex moved on: the target of the loop point due there, or -1.
    int32_t LoopTarget();
    void RearmLoops();
    int32_t FindByTick(int32_t Tick) const;
    int32_t FindByTime(int32_t Ms) const;
    int32_t FindByBeat(int32_t Measure, int32_t Beat) const;
    // Waits until Message comes from the driver, or gives up.
    void WaitForMessage(uint32_t Message);
    // Waits until every pending long message is done, or gives up.
    void WaitForPending();
    size_t PendingCount() const;

    std::shared_ptr<platform::MidiOut> FOut;
    uintptr_t FHandle = 0;
    mutable std::recursive_mutex FLock;
    int32_t FEventIndex = 0;
    int32_t FPosition = 0;
    int32_t FNextLoop = 0;
    uint32_t FLastTime = 0;
    bool FRepeat = false;
    std::array<std::array<int32_t, 128>, 16> FControls{};
    std::array<std::array<int32_t, 128>, 16> FControlScale;
    std::vector<intptr_t> FPending;  // long messages with the driver
    intptr_t FNextTag = 1;
    TMMTimer FTimer;  // last: its thread calls the tick
};
