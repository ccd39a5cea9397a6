#pragma once
// Standard MIDI Files written in a test: a header and track chunks of events given in hex.
#include "core/streams.h"
#include "media/midiv.h"
#include "tests/common/fixture.h"

#include <cstdint>
#include <string>

inline std::string MidiBe32(uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }

// "MThd" of six bytes.
inline std::string MidiHeader(int format, int tracks, int division) {
    return "MThd" + MidiBe32(6) +
           std::string{char(format >> 8), char(format), char(tracks >> 8), char(tracks), char(division >> 8), char(division)};
}

// "MTrk" around the events (delta times and messages in hex).
inline std::string MidiTrack(const std::string& hexEvents) {
    const std::string body = FromHex(hexEvents);
    return "MTrk" + MidiBe32(uint32_t(body.size())) + body;
}

inline void LoadMidi(TMidiV& midi, const std::string& bytes) {
    TMemoryStream stream = StreamOf(bytes);
    midi.LoadFromStream(stream);
}
