#pragma once
// MIDI output in the manner of the host's MIDI-out calls: a list of output devices with their
// capabilities, and handles opened on one of them (or on the mapper) that take short messages
// (one packed channel or system message) and long messages (a block of bytes, mostly an
// exclusive message). The driver tells the opener through the main thread's queue: MM_MOM_OPEN
// once a handle is open, MM_MOM_CLOSE once it is closed (wParam: the handle) and MM_MOM_DONE
// when it is finished with a long message (wParam: the handle, lParam: the caller's tag for
// that message). Reset silences every note and hands back the long messages still pending.
//
// Two backends: a software General MIDI synthesiser rendering into a streamed voice of the
// sound device (44100 Hz stereo, pulled on the device's refill thread), the one device, which
// the mapper opens as well; and headless, a recorder of every call with the clock's time whose
// driver messages a test can hold back and let go later, or never.
//
// Short and long messages may come from any thread (the sequencer's timer thread sends them);
// the other calls belong to the main thread.
#include "platform/clock.h"
#include "platform/msgqueue.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace platform {

class SoundDevice;

// The driver messages.
inline constexpr uint32_t MM_MOM_OPEN = 0x3C7;
inline constexpr uint32_t MM_MOM_CLOSE = 0x3C8;
inline constexpr uint32_t MM_MOM_DONE = 0x3C9;

// The device id that opens the mapper.
inline constexpr int32_t MidiMapper = -1;

// An open output; 0 is none.
using MidiOutHandle = uintptr_t;

// What a device reports of itself, as the host's output capabilities record has it.
struct MidiOutCaps {
    uint16_t mid = 0, pid = 0;
    uint32_t driverVersion = 0;  // major version in the high byte, minor in the low byte
    std::string name;            // code page 932, at most 31 bytes
    uint16_t technology = 0;     // MOD_... below
    uint16_t voices = 0, notes = 0;
    uint16_t channelMask = 0;    // bit n: the device plays channel n
    uint32_t support = 0;        // MIDICAPS_... bits (none here: no device volume, no cache)
};
inline constexpr uint16_t MOD_MIDIPORT = 1, MOD_SYNTH = 2, MOD_SQSYNTH = 3, MOD_FMSYNTH = 4, MOD_MAPPER = 5,
                          MOD_WAVETABLE = 6, MOD_SWSYNTH = 7;

// The synthesiser's output gain (0..10, the synthesiser's own scale): General MIDI songs with
// their channel volumes at full sit near the loudness of the title's other sounds.
inline constexpr float SynthGain = 0.8f;
// The General MIDI sound fonts a Debian system offers, in the order they are tried.
inline constexpr const char* SynthSoundFonts[] = {"/usr/share/sounds/sf2/default-GM.sf2",
                                                  "/usr/share/sounds/sf2/FluidR3_GM.sf2",
                                                  "/usr/share/sounds/sf2/TimGM6mb.sf2"};
// The first of Override (unless empty) and the Candidates that is a file (host paths); empty
// when none is.
std::string ChooseSoundFont(const std::string& Override, std::span<const char* const> Candidates);
// The sound font it plays with: the file the environment's VELA_SOUNDFONT names, else the first
// of SynthSoundFonts there is; empty when there is none.
std::string SynthSoundFont();

// What the synthesiser reports of itself; the recorder stands in for it with the same record.
MidiOutCaps SynthCaps();

class MidiOut {
public:
    MidiOut() = default;
    MidiOut(const MidiOut&) = delete;
    MidiOut& operator=(const MidiOut&) = delete;
    virtual ~MidiOut() = default;

    virtual uint32_t deviceCount() = 0;
    // False for a device that is not there.
    virtual bool deviceCaps(uint32_t Device, MidiOutCaps& Caps) = 0;
    // Opens Device (MidiMapper: the mapper) for Target: the new handle, MM_MOM_OPEN posted to
    // Target; 0 when the device cannot be opened (nothing posted).
    virtual MidiOutHandle open(int32_t Device, TargetId Target) = 0;
    // Every note off, the pending long messages handed back (MM_MOM_DONE each); the handle
    // stays open.
    virtual void reset(MidiOutHandle Handle) = 0;
    // Closes the handle (pending long messages are handed back first); MM_MOM_CLOSE posted.
    // An unknown handle is ignored.
    virtual void close(MidiOutHandle Handle) = 0;
    // Any thread: Msg packed with the status byte lowest. Ignored for an unknown handle.
    virtual void shortMsg(MidiOutHandle Handle, uint32_t Msg) = 0;
    // Any thread: hands Size bytes to the driver (it copies them), which posts MM_MOM_DONE with
    // Tag once it is done with them. False, and nothing posted, for an unknown handle or no
    // bytes.
    virtual bool longMsg(MidiOutHandle Handle, const uint8_t* Data, size_t Size, intptr_t Tag) = 0;
};

// The headless backend: one device like the synthesiser's; every call is recorded with the
// clock's time.
class HeadlessMidiOut : public MidiOut {
public:
    enum class Call : uint8_t { Open, Close, Reset, Short, Long };
    struct Entry {
        uint32_t ms = 0;
        Call call = Call::Short;
        MidiOutHandle handle = 0;
        std::vector<uint8_t> bytes;  // short and long messages
        bool operator==(const Entry&) const = default;
    };
    // Clock: the time recorded with each call; Queue: where the driver messages go.
    explicit HeadlessMidiOut(std::function<uint32_t()> Clock = ClockMs, MessageQueue* Queue = nullptr);

    uint32_t deviceCount() override { return 1; }
    bool deviceCaps(uint32_t Device, MidiOutCaps& Caps) override;
    MidiOutHandle open(int32_t Device, TargetId Target) override;
    void reset(MidiOutHandle Handle) override;
    void close(MidiOutHandle Handle) override;
    void shortMsg(MidiOutHandle Handle, uint32_t Msg) override;
    bool longMsg(MidiOutHandle Handle, const uint8_t* Data, size_t Size, intptr_t Tag) override;

    // What was called so far, in order; clearEntries forgets it.
    std::vector<Entry> entries() const;
    void clearEntries();
    // The bytes of the short and long messages only.
    std::vector<std::vector<uint8_t>> messages() const;

    // Driver messages of these kinds (MM_MOM_...) are held instead of posted.
    void hold(uint32_t Message, bool Held);
    // Posts the held messages, in their order.
    void releaseHeld();
    // Long messages handed to the driver and not yet done (held MM_MOM_DONE).
    size_t pendingLong() const;
    // Opens fail while set (a device taken by another program).
    void failOpens(bool Fail);
    // Once the record holds twice this many calls, its oldest are dropped down to this many (0:
    // keep all), so a long headless run keeps only its last ones. Set before the first call.
    size_t keepEntries = 0;

private:
    struct Open {
        MidiOutHandle handle;
        TargetId target;
    };
    const Open* find(MidiOutHandle Handle) const;
    void record(Call C, MidiOutHandle Handle, std::vector<uint8_t> Bytes);
    void notify(TargetId Target, uint32_t Message, MidiOutHandle Handle, intptr_t Tag);
    // Posts the held MM_MOM_DONE of Handle now.
    void returnLong(MidiOutHandle Handle);

    std::function<uint32_t()> clock_;
    MessageQueue* queue_;
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
    std::vector<Open> opens_;
    std::vector<uint32_t> heldKinds_;
    std::vector<QueuedMessage> held_;
    MidiOutHandle next_ = 1;
    bool failOpens_ = false;
};

// The synthesiser on Device (a streamed voice that plays while a handle is open); nullptr when
// there is no sound font or it cannot be loaded.
std::shared_ptr<MidiOut> CreateSynthMidiOut(std::shared_ptr<SoundDevice> Device);

// The program's MIDI output, made on first use and shared by its holders: the synthesiser on
// the program's sound device, or the headless recorder when that device is headless or the
// synthesiser cannot start (one line on standard error).
std::shared_ptr<MidiOut> OpenMidiOut();
// Tests: OpenMidiOut answers Out from now on (nullptr: back to the choice above).
void UseMidiOut(std::shared_ptr<MidiOut> Out);

}  // namespace platform
