// Standard MIDI File reading: the header, the track chunks with running status, the notes, time
// signatures and track names; then the merged event order, the beats and the times in ms.
#include "media/midiv.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>

namespace {

constexpr int32_t MaxTick = std::numeric_limits<int32_t>::max();

const uint8_t GSReset[11] = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};

uint32_t BigEndian(const uint8_t* Bytes, int Count) {
    uint32_t value = 0;
    for (int i = 0; i < Count; ++i) value = value << 8 | Bytes[i];
    return value;
}

// Thrown when a track's bytes run out in the middle of an event: the track ends there.
struct TrackEnd {};

// Reads the bytes of one track chunk (as far as the stream holds them).
class TMidiStream {
public:
    TMidiStream(const uint8_t* Begin, const uint8_t* End) : FPos(Begin), FEnd(End) {}

    bool AtEnd() const { return FPos == FEnd; }
    // N bytes as a big-endian unsigned number.
    uint32_t ReadInt(int N) { return BigEndian(ReadBytes(size_t(N)), N); }
    // A variable-length quantity: seven bits a byte, the high bit set on all but the last byte.
    // Any number of bytes is read; the value stops growing past 2^32.
    uint64_t ReadVarLen() {
        uint64_t value = 0;
        for (;;) {
            const uint8_t b = *ReadBytes(1);
            if (value <= 0xFFFFFFFFu) value = value << 7 | (b & 0x7Fu);
            if (!(b & 0x80)) return value;
        }
    }
    const uint8_t* ReadBytes(uint64_t N) {
        if (N > uint64_t(FEnd - FPos)) throw TrackEnd{};
        const uint8_t* at = FPos;
        FPos += N;
        return at;
    }
    void StepBack() { --FPos; }

private:
    const uint8_t* FPos;
    const uint8_t* FEnd;
};

// Reads the events of one track into the model.
class TTrackReader {
public:
    TTrackReader(TMidiV& Midi, int32_t TrackIndex, int32_t& Order)
        : FMidi(Midi), FTrackIndex(TrackIndex), FOrder(Order) {}

    // The track's last tick.
    int32_t Read(TMidiStream& In) {
        try {
            while (!FTrackEnded && !In.AtEnd()) ReadEvent(In);
        } catch (const TrackEnd&) {
        }
        return FCurrentTick;
    }

private:
    TTrack& Track() { return FMidi.Tracks[size_t(FTrackIndex)]; }

    void ReadEvent(TMidiStream& In) {
        const uint64_t delta = In.ReadVarLen();
        if (delta > uint64_t(MaxTick - FCurrentTick)) throw TrackEnd{};
        FCurrentTick += int32_t(delta);
        uint8_t status = uint8_t(In.ReadInt(1));
        if (status < 0x80) {
            // A data byte: the status of the event before applies. Before any status byte in
            // the track there is none, and the byte is dropped.
            if (FRunningStatus == 0) return;
            FMidi.UsedRunningStatus = true;
            In.StepBack();
            status = FRunningStatus;
        }
        TMidiMsgEvent event;
        event.Track = FTrackIndex;
        Parse(In, status, event);
        event.Position = FCurrentTick;
        event.Tick = int32_t(delta);
        event.Order = FOrder++;
        FMidi.Events.push_back(std::move(event));
    }

    void Parse(TMidiStream& In, uint8_t Status, TMidiMsgEvent& Event) {
        FRunningStatus = Status;
        Event.Data.push_back(Status);
        switch (Status >> 4) {
            case 0x8:
            case 0x9: {
                const uint8_t* d = In.ReadBytes(2);
                Event.Data.insert(Event.Data.end(), d, d + 2);
                Note(Status, d[0], d[1]);
                break;
            }
            case 0xA:
            case 0xB:
            case 0xE: {
                const uint8_t* d = In.ReadBytes(2);
                Event.Data.insert(Event.Data.end(), d, d + 2);
                break;
            }
            case 0xC:
            case 0xD: Event.Data.push_back(*In.ReadBytes(1)); break;
            default: {
                if (Status == 0xFF) Event.Data.push_back(*In.ReadBytes(1));
                const uint64_t length = In.ReadVarLen();
                const uint8_t* d = In.ReadBytes(length);
                Event.Data.insert(Event.Data.end(), d, d + length);
                Event.MsgType = Status == 0xFF ? mtMeta : mtExclusive;
                break;
            }
        }
        Event.Kind = MidiKindOf(Event.Data);
        if (Event.MsgType == mtMeta) Meta(Event);
    }

    void Note(uint8_t Status, uint8_t Key, uint8_t Velocity) {
        if (Key >= 128) return;
        TChannel& channel = Track().Channels[Status & 15];
        if (!channel.Keys) channel.Keys = std::make_unique<TChannel::TKeys>();
        TChannel::TKeys& keys = *channel.Keys;
        const int32_t unit = FCurrentTick / FMidi.UnitTicks;
        if (Status >> 4 == 0x9 && Velocity > 0) {
            channel.Notes.push_back(TNote{Velocity, Key, unit, 0});
            keys.LastNote[Key] = int32_t(channel.Notes.size() - 1);
            keys.KeyDown[Key] = 1;
        } else {
            const int32_t index = keys.LastNote[Key];
            if (index >= 0 && size_t(index) < channel.Notes.size()) channel.Notes[size_t(index)].EndUnit = unit;
            keys.KeyDown[Key] = 0;
        }
    }

    void Meta(const TMidiMsgEvent& Event) {
        switch (Event.Kind) {
            case mkEndOfTrack: FTrackEnded = true; break;
            case mkTrackName: Track().Name = Event.GetText(); break;
            case mkTimeSignature:
                if (Event.Size() >= 4) {
                    // A beat under one tick (a large exponent) is one tick long.
                    const int32_t exponent = Event.Data[3];
                    TRhythm rhythm;
                    rhythm.Tick = FCurrentTick;
                    rhythm.Numerator = Event.Data[2];
                    rhythm.Denominator = int32_t(1) << std::min(exponent, 30);
                    rhythm.BeatTicks = std::max(1, (FMidi.Division * 4) >> std::min(exponent, 31));
                    FMidi.Rhythms.push_back(rhythm);
                }
                break;
            default: break;
        }
    }

    TMidiV& FMidi;
    const int32_t FTrackIndex;
    int32_t& FOrder;
    int32_t FCurrentTick = 0;
    uint8_t FRunningStatus = 0;
    bool FTrackEnded = false;
};

// Exactly Count bytes from the stream, or false.
bool ReadExact(TStream& Stream, uint8_t* Buffer, int64_t Count) { return Stream.Read(Buffer, Count) == Count; }

}  // namespace

// ---- TMidiMsgEvent ----

uint8_t MidiKindOf(const std::vector<uint8_t>& Data) {
    if (Data.empty()) return mkNone;
    if (Data.size() == sizeof GSReset && std::equal(Data.begin(), Data.end(), GSReset)) return mkGSReset;
    switch (Data[0] >> 4) {
        case 0x8: return mkNoteOff;
        case 0x9: return Data.size() > 2 && Data[2] > 0 ? mkNoteOn : mkNoteOff;
        case 0xA: return mkKeyPressure;
        case 0xB: return mkControl;
        case 0xC: return mkProgram;
        case 0xD: return mkChannelPressure;
        case 0xE: return mkPitchBend;
        case 0xF: break;
        default: return mkNone;
    }
    if ((Data[0] != 0xF0 && Data[0] != 0xF7 && Data[0] != 0xFF) || Data.size() < 2) return mkNone;
    switch (Data[1]) {
        case 0x00: case 0x01: case 0x02: case 0x03: case 0x04: case 0x05: case 0x06: case 0x07:
            return uint8_t(mkSequenceNumber + Data[1]);
        case 0x2F: return mkEndOfTrack;
        case 0x51: return mkTempo;
        case 0x52: return mkMeta52;
        case 0x58: return mkTimeSignature;
        case 0x59: return mkKeySignature;
        default: return mkNone;
    }
}

uint32_t TMidiMsgEvent::GetShortMsg() const {
    uint32_t message = 0;
    for (size_t i = 0; i < std::min<size_t>(Data.size(), 3); ++i) message |= uint32_t(Data[i]) << (8 * i);
    return message;
}

int32_t TMidiMsgEvent::GetTempo() const {
    if (Data.size() < 5 || Data[0] != 0xFF || Data[1] != 0x51) return -1;
    return int32_t(BigEndian(&Data[2], 3));
}

std::string TMidiMsgEvent::GetText() const {
    return Data.size() > 2 ? std::string(Data.begin() + 2, Data.end()) : std::string();
}

void TMidiMsgEvent::SetData(std::string_view Bytes) {
    Data.assign(Bytes.begin(), Bytes.end());
    Kind = MidiKindOf(Data);
}

// ---- TMidiV ----

TMidiV::TMidiV()
    : FTarget(platform::MainQueue().AddTarget([this](const platform::QueuedMessage& M) { WndProc(M); })) {}

TMidiV::~TMidiV() { platform::MainQueue().RemoveTarget(FTarget); }

void TMidiV::Clear() {
    Tracks.clear();
    Beats.clear();
    Rhythms.clear();
    Events.clear();
    Format = TrackCount = Division = LastTick = LengthMs = 0;
    UnitTicks = 1;
    UsedRunningStatus = false;
}

void TMidiV::LoadFromStream(TStream& Stream) {
    Clear();
    Rhythms.emplace_back();  // the default 4/4 at tick 0

    uint8_t header[14];
    if (!ReadExact(Stream, header, sizeof header) || std::memcmp(header, "MThd", 4) != 0) return;
    const uint32_t length = BigEndian(header + 4, 4);
    const int32_t division = int32_t(BigEndian(header + 12, 2));
    // Ticks per quarter note only: a division of 0 or in SMPTE frames gives no times.
    if (division == 0 || (division & 0x8000)) return;
    Format = int32_t(BigEndian(header + 8, 2));
    TrackCount = int32_t(BigEndian(header + 10, 2));
    Division = division;
    UnitTicks = std::max(1, Division / 48);
    Rhythms[0].BeatTicks = Division;
    const int64_t size = Stream.Size();
    if (length > 6) Stream.SetPosition(std::min<int64_t>(Stream.Position() + (length - 6), size));

    // Tracks past the end of the stream are not made (they would be empty).
    int32_t order = 0;
    std::vector<uint8_t> chunk;
    for (int32_t index = 0; index < TrackCount && Stream.Position() < size; ++index) {
        Tracks.emplace_back();
        uint8_t head[8];
        if (!ReadExact(Stream, head, 4) || std::memcmp(head, "MTrk", 4) != 0) continue;
        if (!ReadExact(Stream, head + 4, 4)) continue;
        const int64_t chunkLength = BigEndian(head + 4, 4);
        if (chunkLength == 0) continue;
        const int64_t start = Stream.Position();
        chunk.resize(size_t(std::min(chunkLength, size - start)));
        chunk.resize(size_t(Stream.Read(chunk.data(), int64_t(chunk.size()))));
        TMidiStream in(chunk.data(), chunk.data() + chunk.size());
        LastTick = std::max(LastTick, TTrackReader(*this, index, order).Read(in));
        Stream.SetPosition(std::min(start + chunkLength, size));
    }

    std::sort(Events.begin(), Events.end(), [](const TMidiMsgEvent& A, const TMidiMsgEvent& B) {
        return A.Position != B.Position ? A.Position < B.Position : A.Order < B.Order;
    });
    BuildBeats();
    ComputeTimes();
}

void TMidiV::BuildBeats() {
    // The signatures in tick order: at each beat the one applying is the latest in the list
    // among those that have started. Under one signature the beats lie one step apart up to
    // the tick where the next signature starts, so the list is laid out a stretch at a time
    // and then filled.
    std::vector<size_t> byTick(Rhythms.size());
    std::iota(byTick.begin(), byTick.end(), size_t(0));
    std::stable_sort(byTick.begin(), byTick.end(),
                     [this](size_t A, size_t B) { return Rhythms[A].Tick < Rhythms[B].Tick; });
    struct TStretch {
        int64_t Tick;
        int64_t Step;
        size_t Count;
        int32_t Numerator;
    };
    std::vector<TStretch> stretches;
    size_t total = 0, started = 0, current = 0;
    for (int64_t tick = 0; tick < LastTick && total < MaxBeats;) {
        for (; started < byTick.size() && Rhythms[byTick[started]].Tick <= tick; ++started)
            current = std::max(current, byTick[started]);
        const int64_t end = started < byTick.size() ? std::min<int64_t>(Rhythms[byTick[started]].Tick, LastTick)
                                                    : int64_t(LastTick);
        const TRhythm& rhythm = Rhythms[current];
        const int64_t step = std::max(1, rhythm.BeatTicks);
        const size_t count = std::min(size_t((end - tick + step - 1) / step), MaxBeats - total);
        stretches.push_back({tick, step, count, rhythm.Numerator});
        total += count;
        tick += int64_t(count) * step;
    }
    Beats.reserve(total);
    int32_t beat = 0, measure = 0;
    for (const TStretch& stretch : stretches) {
        int64_t tick = stretch.Tick;
        for (size_t i = 0; i < stretch.Count; ++i, tick += stretch.Step) {
            TVibrant& vibrant = Beats.emplace_back();
            vibrant.Tick = int32_t(tick);
            vibrant.Position = vibrant.Tick / UnitTicks;
            vibrant.Beat = beat;
            vibrant.Measure = measure;
            if (++beat >= stretch.Numerator) {
                beat = 0;
                ++measure;
            }
        }
    }
}

void TMidiV::ComputeTimes() {
    int32_t tempo = 500000;
    float msPerTick = 0;
    bool tempoChanged = true;
    int64_t previousTick = 0, previousTime = 0;
    for (TMidiMsgEvent& event : Events) {
        if (tempoChanged) msPerTick = float(1.0 / Division * tempo / 1000);
        tempoChanged = false;
        const double interval = std::nearbyint(double(event.Position - previousTick) * double(msPerTick));
        previousTime = std::min<int64_t>(previousTime + int64_t(interval), std::numeric_limits<int32_t>::max());
        previousTick = event.Position;
        event.Time = int32_t(previousTime);
        if (const int32_t value = event.GetTempo(); value >= 0) {
            tempo = value;
            tempoChanged = true;
        }
    }
    LengthMs = Events.empty() ? 0 : Events.back().Time;

    // Each beat and signature but the first takes the time of the first event at or after its tick.
    auto beat = Beats.begin() + (Beats.empty() ? 0 : 1);
    std::vector<size_t> rhythms(Rhythms.size() > 1 ? Rhythms.size() - 1 : 0);
    std::iota(rhythms.begin(), rhythms.end(), size_t(1));
    std::stable_sort(rhythms.begin(), rhythms.end(),
                     [this](size_t A, size_t B) { return Rhythms[A].Tick < Rhythms[B].Tick; });
    size_t rhythm = 0;
    for (const TMidiMsgEvent& event : Events) {
        const auto reached = std::upper_bound(beat, Beats.end(), event.Position,
                                              [](int32_t Position, const TVibrant& B) { return Position < B.Tick; });
        for (; beat < reached; ++beat) beat->Time = event.Time;
        for (; rhythm < rhythms.size() && Rhythms[rhythms[rhythm]].Tick <= event.Position; ++rhythm)
            Rhythms[rhythms[rhythm]].Time = event.Time;
    }
}
