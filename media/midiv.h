#pragma once
// Standard MIDI Files (format 0 and 1) read into one time-ordered list of events with their
// times in ms, plus the notes of each track and channel, the time signatures and the beats.
//
// The unit of notes and beats is one 48th of a quarter note: UnitTicks = Division div 48 (at
// least 1). Damaged files never raise: a file without "MThd", with a division of 0 or an SMPTE
// division loads empty; a track without "MTrk" stays empty; a track ends where its chunk or
// the stream ends, at a truncated event, or where its tick would pass 2^31 - 1.
//
// The model is a target of the main thread's message queue, so that the sequencer built on it
// receives the MIDI output driver's notifications.
#include "core/streams.h"
#include "platform/msgqueue.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The fields every timed item shares; what each holds depends on the item.
struct TMidiStdData {
    int32_t Position = 0;
    int32_t Time = 0;  // ms from the start
    int32_t Tick = 0;
    int32_t Order = 0;
};

// Event kinds.
enum : uint8_t {
    mkNone = 0,
    mkNoteOn = 1,
    mkNoteOff = 2,
    mkKeyPressure = 3,
    mkControl = 4,
    mkProgram = 5,
    mkChannelPressure = 6,
    mkPitchBend = 7,
    mkGSReset = 8,
    mkTempo = 9,
    mkSequenceNumber = 10,
    mkText = 11,
    mkCopyright = 12,
    mkTrackName = 13,
    mkInstrumentName = 14,
    mkLyric = 15,
    mkMarker = 16,
    mkCuePoint = 17,
    mkEndOfTrack = 18,
    mkMeta52 = 19,
    mkTimeSignature = 20,
    mkKeySignature = 21,
};

// Message types.
enum : uint8_t { mtChannel = 0, mtExclusive = 1, mtMeta = 2 };

// One event: Position is its absolute tick, Tick the delta read before it, Order its number in
// reading order over the whole file. Data holds the status byte, then a channel message's data
// bytes, a meta event's type and bytes (without the length), or an exclusive event's bytes
// after the length.
class TMidiMsgEvent : public TMidiStdData {
public:
    uint8_t MsgType = mtChannel;
    uint8_t Kind = mkNone;
    int32_t Track = 0;
    std::vector<uint8_t> Data;

    int32_t Size() const { return int32_t(Data.size()); }
    // A channel message packed for the output: Data[0] + Data[1] * 256 (+ Data[2] * 65536).
    uint32_t GetShortMsg() const;
    // The microseconds per quarter note of a tempo meta event, else -1.
    int32_t GetTempo() const;
    // Data[2..] as text.
    std::string GetText() const;
    // Replaces the bytes and recomputes Kind.
    void SetData(std::string_view Bytes);
};

// The kind of an event of these bytes.
uint8_t MidiKindOf(const std::vector<uint8_t>& Data);

// A time signature: Time and Tick where it starts.
struct TRhythm : TMidiStdData {
    int32_t BeatTicks = 0;
    int32_t Numerator = 4;
    int32_t Denominator = 4;
};

// A beat: Position = Tick div UnitTicks; Beat within its measure and Measure, both from 0.
struct TVibrant : TMidiStdData {
    int32_t Beat = 0;
    int32_t Measure = 0;
};

struct TNote {
    uint8_t Velocity = 0;
    uint8_t Key = 0;
    int32_t StartUnit = 0;
    int32_t EndUnit = 0;  // 0 until its note-off
};
using TNotes = std::vector<TNote>;

struct TChannel {
    // Per key: the index in Notes of its last note-on, and whether it sounds.
    struct TKeys {
        std::array<int32_t, 128> LastNote{};
        std::array<uint8_t, 128> KeyDown{};
    };
    TNotes Notes;
    std::unique_ptr<TKeys> Keys;  // made at the channel's first note event
};

struct TTrack {
    std::string Name;
    std::array<TChannel, 16> Channels;
};

using TTracks = std::vector<TTrack>;
using TVibrants = std::vector<TVibrant>;
using TRhythms = std::vector<TRhythm>;
using TMidiMsgEvents = std::vector<TMidiMsgEvent>;

class TMidiV {
public:
    TMidiV();
    virtual ~TMidiV();
    TMidiV(const TMidiV&) = delete;
    TMidiV& operator=(const TMidiV&) = delete;

    // Replaces the whole model by the file read from the stream's position.
    virtual void LoadFromStream(TStream& Stream);

    // The beat list ends after this many beats.
    static constexpr size_t MaxBeats = size_t(1) << 20;

    TTracks Tracks;
    TVibrants Beats;
    TRhythms Rhythms;  // the first is the default 4/4 at tick 0
    int32_t Format = 0;
    int32_t TrackCount = 0;
    int32_t Division = 0;
    int32_t UnitTicks = 1;
    int32_t LastTick = 0;  // the greatest end tick of all tracks
    TMidiMsgEvents Events;  // sorted by tick, then reading order
    int32_t LengthMs = 0;   // the time of the last event
    bool UsedRunningStatus = false;

    // The model's target on the main thread's queue.
    platform::TargetId Target() const { return FTarget; }

protected:
    // A message posted to the target.
    virtual void WndProc(const platform::QueuedMessage&) {}

private:
    void Clear();
    void BuildBeats();
    void ComputeTimes();

    platform::TargetId FTarget;
};
