// The MIDI file model: files written by tests/tools/midi_ref.py and by abc2midi read as mido
// parses them (times recomputed there with the single-precision ms per tick), notes, names,
// beats and signatures, and damaged files that load within bounds.
#include "media/midiv.h"
#include "tests/common/fixture.h"
#include "tests/media/midi_fixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <limits>

namespace {

// The events as midi_ref.py lists them.
std::vector<std::string> Listed(const TMidiV& midi) {
    std::vector<std::string> lines;
    for (const TMidiMsgEvent& e : midi.Events)
        lines.push_back(std::to_string(e.Position) + " " + std::to_string(e.Time) + " " + std::to_string(e.Kind) + " " +
                        std::to_string(e.Track) + " " +
                        ToHex(std::string(e.Data.begin(), e.Data.end())));
    return lines;
}

const char* const Abc = R"(X:1
T:Test
M:3/4
L:1/8
Q:1/4=96
K:D
%%MIDI program 1 41
DEF A2d | [Adf]4 z2 | (3ABc d2 D2 | d6 |]
)";

}  // namespace

TEST(MidiFile, ReadsAsMidoParses) {
    const std::string folder = FreshHostFolder();
    PythonOutput("midi_ref.py", {"write", folder});
    {
        std::ofstream(folder + "tune.abc") << Abc;
    }
    ASSERT_EQ(RunProgram("abc2midi", {folder + "tune.abc", "-o", folder + "tune.mid"}).status, 0);
    for (const char* name : {"running_status", "two_tracks", "header8", "tune"}) {
        const std::string path = folder + name + ".mid";
        TMidiV midi;
        LoadMidi(midi, FileText(path));
        const std::vector<std::string> expected = Lines(PythonOutput("midi_ref.py", {"events", path}));
        ASSERT_FALSE(expected.empty()) << name;
        EXPECT_EQ(Listed(midi), expected) << name;
        EXPECT_EQ(midi.LengthMs, midi.Events.back().Time) << name;
    }
}

TEST(MidiFile, NotesNamesBeatsAndSignatures) {
    const std::string folder = FreshHostFolder();
    PythonOutput("midi_ref.py", {"write", folder});
    TMidiV solo;
    LoadMidi(solo, FileText(folder + "running_status.mid"));
    EXPECT_TRUE(solo.UsedRunningStatus);
    EXPECT_EQ(solo.Tracks.at(0).Name, "Solo");
    // Units of 10 ticks (480 / 48); the note-on of velocity 0 closes the first note.
    const TNotes& notes = solo.Tracks[0].Channels[0].Notes;
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ((std::vector<int32_t>{notes[0].Key, notes[0].StartUnit, notes[0].EndUnit, notes[1].Key,
                                    notes[1].StartUnit, notes[1].EndUnit}),
              (std::vector<int32_t>{0x3C, 0, 48, 0x3E, 24, 96}));
    EXPECT_FALSE(solo.Tracks[0].Channels[0].Keys->KeyDown[0x3C]);
    // No signature: quarter-note beats, four to the measure.
    EXPECT_EQ(solo.LastTick, 1060);
    ASSERT_EQ(solo.Beats.size(), 3u);
    EXPECT_EQ(solo.Beats[2].Tick, 960);
    EXPECT_EQ(solo.Beats[2].Beat, 2);
    EXPECT_EQ(solo.Beats[2].Position, 96);

    // 3/4 from tick 0: beats take the time of the first event at or after them.
    TMidiV two;
    LoadMidi(two, FileText(folder + "two_tracks.mid"));
    ASSERT_EQ(two.Rhythms.size(), 2u);
    EXPECT_EQ(two.Rhythms[1].Numerator, 3);
    EXPECT_EQ(two.Rhythms[1].Denominator, 4);
    EXPECT_EQ(two.Rhythms[1].BeatTicks, 480);
    std::vector<int32_t> beats;
    for (const TVibrant& b : two.Beats) beats.insert(beats.end(), {b.Tick, b.Time, b.Measure, b.Beat});
    EXPECT_EQ(beats, (std::vector<int32_t>{0, 0, 0, 0, 480, 500, 0, 1, 960, 1000, 0, 2, 1440, 2017, 1, 0,
                                           1920, 2017, 1, 1, 2400, 2564, 1, 2}));
}

// A signature starting between beats applies from the next beat; among those started the one
// read last applies, though another read before it starts later; the beat count runs on.
TEST(MidiFile, BeatsFollowTheSignatureReadLastAmongThoseStarted) {
    TMidiV midi;
    LoadMidi(midi, MidiHeader(1, 2, 96) +
                       MidiTrack("00 FF 58 04 02 02 18 08  81 16 FF 58 04 03 03 18 08  81 7A 90 3C 40  00 FF 2F 00") +
                       MidiTrack("64 FF 58 04 05 04 18 08  00 FF 2F 00"));
    ASSERT_EQ(midi.LastTick, 400);
    std::vector<int32_t> beats;
    for (const TVibrant& b : midi.Beats) beats.insert(beats.end(), {b.Tick, b.Position, b.Measure, b.Beat});
    EXPECT_EQ(beats, (std::vector<int32_t>{0,   0,   0, 0, 96,  48,  0, 1, 192, 96,  1, 0, 216, 108, 1, 1,
                                           240, 120, 1, 2, 264, 132, 1, 3, 288, 144, 1, 4, 312, 156, 2, 0,
                                           336, 168, 2, 1, 360, 180, 2, 2, 384, 192, 2, 3}));
}

// Damaged and hostile files load without raising, within their bytes, and end.
TEST(MidiFile, DamagedFilesEndWithinBounds) {
    const std::string notes = "00 90 3C 40 60 80 3C 00 00 FF 2F 00";
    TMidiV midi;
    for (const std::string& file : {std::string("RIFF0000"), MidiHeader(0, 1, 0) + MidiTrack(notes),
                                    MidiHeader(0, 1, 0xE728) + MidiTrack(notes), MidiHeader(0, 1, 96).substr(0, 10)}) {
        LoadMidi(midi, file);
        EXPECT_TRUE(midi.Events.empty() && midi.Tracks.empty() && midi.Rhythms.size() == 1) << ToHex(file);
        EXPECT_EQ(midi.LengthMs, 0);
    }
    // Division 24: units of one tick. A track without "MTrk" stays empty and the next follows it.
    LoadMidi(midi, MidiHeader(1, 2, 24) + "XXXX" + MidiTrack(notes));
    ASSERT_EQ(midi.Tracks.size(), 2u);
    EXPECT_EQ(midi.UnitTicks, 1);
    EXPECT_EQ(midi.Tracks[1].Channels[0].Notes.at(0).EndUnit, 0x60);
    EXPECT_EQ(midi.Events.size(), 3u);
    // A truncated file: the track ends with its last whole event; tracks past the end are not made.
    const std::string whole = MidiHeader(1, 600, 96) + MidiTrack(notes);
    LoadMidi(midi, whole.substr(0, whole.size() - 5));
    EXPECT_EQ(midi.Tracks.size(), 1u);
    EXPECT_EQ(midi.Events.size(), 1u);
    // Running status before any status byte drops that byte; a length past the chunk ends the track.
    LoadMidi(midi, MidiHeader(0, 1, 96) + MidiTrack("00 40 00 C0 05 00 FF 01 8F FF FF FF 7F 41 42"));
    EXPECT_EQ(Listed(midi), (std::vector<std::string>{"0 0 5 0 C005"}));
    // A beat under a tick, ticks near 2^31 and a huge tempo: the beat list stops, the track ends
    // before its tick passes 2^31 - 1, times saturate.
    LoadMidi(midi, MidiHeader(0, 1, 1) + MidiTrack("00 FF 58 04 04 FF 00 00  00 FF 51 03 FF FF FF" +
                                       std::string(" FF FF FF 7F C0 00") + " FF FF FF 7F C0 00" + " FF FF FF 7F C0 00" +
                                       " FF FF FF 7F C0 00" + " FF FF FF 7F C0 00" + " FF FF FF 7F C0 00" +
                                       " FF FF FF 7F C0 00" + " FF FF FF 7F C0 00" + " 08 C0 00"));
    EXPECT_EQ(midi.Rhythms.at(1).BeatTicks, 1);
    EXPECT_EQ(midi.LastTick, 8 * 0x0FFFFFFF);
    EXPECT_EQ(midi.Events.size(), 10u);
    EXPECT_EQ(midi.Beats.size(), TMidiV::MaxBeats);
    EXPECT_EQ(midi.LengthMs, std::numeric_limits<int32_t>::max());
}
