// The MIDI sequencer on a fake clock with the recording MIDI output: ticks sent by hand, the
// inserted volume events, controller scaling, seeks, repeat, the capped late tick, the waits
// for the driver; and seeks, stops and volume changes racing the real timer thread.
#include "media/midiplay.h"
#include "platform/midiout.h"
#include "tests/common/fixture.h"
#include "tests/media/midi_fixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using platform::HeadlessMidiOut;
using Msg = std::vector<uint8_t>;

// Division 480 at the default tempo: a tick is 1.0417 ms, 480 ticks 500 ms.
// 0: program change, controller 10; 480: note on; 960: note off, program change; 1920: note on,
// 2400: note off, end.
const std::string Song = MidiHeader(0, 1, 480) +
                         MidiTrack("00 C0 05  00 B0 0A 40  83 60 90 3C 64  83 60 80 3C 00  00 C0 06"
                                   "  87 40 90 40 64  83 60 80 40 00  00 FF 2F 00");

// A player on its own clock whose timer thread never wakes by itself: ticks come from Tick.
struct FakePlayer {
    FakePlayer() {
        player.Clock = [this] { return now.load(); };
        player.Sleep = [this](uint32_t ms) { now += ms; };
        player.Timer().SetInterval(std::numeric_limits<int32_t>::max());
    }
    void Tick(uint32_t ms) {
        now += ms;
        player.Timer().Fire();
    }
    // The messages sent since the last call.
    std::vector<Msg> Sent() {
        std::vector<Msg> sent = out->messages();
        out->clearEntries();
        return sent;
    }

    std::atomic<uint32_t> now{100000};
    std::shared_ptr<HeadlessMidiOut> out = std::make_shared<HeadlessMidiOut>([this] { return now.load(); });
    TMidiPlayV player{out};
};

std::vector<Msg> AllChannels(uint8_t controller, uint8_t value) {
    std::vector<Msg> messages;
    for (int ch = 0; ch < 16; ++ch) messages.push_back({uint8_t(0xB0 + ch), controller, value});
    return messages;
}

std::vector<Msg> Join(std::vector<Msg> a, const std::vector<Msg>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

TEST(MidiPlay, VolumeEventsGoBeforeTheFirstNote) {
    FakePlayer f;
    LoadMidi(f.player, Song);
    ASSERT_EQ(f.player.Events.size(), 8u + 16u);
    for (int ch = 0; ch < 16; ++ch) {
        const TMidiMsgEvent& e = f.player.Events[size_t(2 + ch)];
        EXPECT_EQ(e.Data, (Msg{uint8_t(0xB0 + ch), 7, 127}));
        EXPECT_EQ(e.Kind, mkControl);
    }
    EXPECT_EQ(f.player.Events[18].Kind, mkNoteOn);
    // A song that sets a channel's volume gets none.
    LoadMidi(f.player, MidiHeader(0, 1, 480) + MidiTrack("00 B3 07 50  00 93 3C 64  60 83 3C 00  00 FF 2F 00"));
    EXPECT_EQ(f.player.Events.size(), 4u);
}

TEST(MidiPlay, TicksSendWhatIsDueAndScaleTheVolume) {
    FakePlayer f;
    ASSERT_TRUE(f.player.Open(-1));
    LoadMidi(f.player, Song);
    f.Sent();
    f.player.PlayFrom(0, 0, -1);
    EXPECT_TRUE(f.Sent().empty());
    f.Tick(10);
    EXPECT_EQ(f.Sent(), Join({{0xC0, 5}, {0xB0, 10, 64}}, AllChannels(7, 127)));
    f.Tick(490);  // 500 ms: the note at 500 is not yet due
    EXPECT_TRUE(f.Sent().empty());
    f.Tick(1);
    EXPECT_EQ(f.Sent(), (std::vector<Msg>{{0x90, 0x3C, 0x64}}));
    // Halving the volume while playing resends it at once: 127 * 50 div 100.
    f.player.SetControlAll(7, 50);
    EXPECT_EQ(f.Sent(), AllChannels(7, 63));
    // Scales beyond 0..100 (a sound's volume out of range) still send a data byte.
    f.player.SetControlAll(7, 150);
    EXPECT_EQ(f.Sent(), AllChannels(7, 127));
    f.player.SetControlAll(7, -5);
    EXPECT_EQ(f.Sent(), AllChannels(7, 0));
    // A tick 3 s late advances one second only.
    f.Tick(3000);
    EXPECT_EQ(f.player.GetPosition(), 1501);
    EXPECT_EQ(f.Sent(), (std::vector<Msg>{{0x80, 0x3C, 0}, {0xC0, 6}}));
    EXPECT_FALSE(f.player.IsEnd());
    // The last event is never sent; at it the timer stays on and ticks do nothing.
    f.Tick(1000);
    f.Tick(1000);
    EXPECT_EQ(f.Sent(), (std::vector<Msg>{{0x90, 0x40, 0x64}, {0x80, 0x40, 0}}));
    EXPECT_TRUE(f.player.IsEnd());
    EXPECT_TRUE(f.player.IsPlaying());
    f.player.Stop();
    EXPECT_FALSE(f.player.IsPlaying());
    EXPECT_EQ(f.Sent(), AllChannels(123, 0));
}

TEST(MidiPlay, SeeksReplayAllButNotes) {
    FakePlayer f;
    ASSERT_TRUE(f.player.Open(0));
    LoadMidi(f.player, Song);
    f.player.PlayFrom(0, 0, -1);
    f.Tick(600);
    f.Sent();
    // Forward to 2000 ms: notes off, then the program change at 1000 ms without the notes.
    f.player.PlayFrom(0, 2000, -1);
    EXPECT_EQ(f.Sent(), Join(AllChannels(123, 0), {{0xC0, 6}}));
    EXPECT_EQ(f.player.GetPosition(), 1000);
    // Back to tick 480: everything from the start again but the notes.
    f.player.PlayFrom(480, 0, -1);
    EXPECT_EQ(f.Sent(), Join(Join(AllChannels(123, 0), {{0xC0, 5}, {0xB0, 10, 64}}), AllChannels(7, 127)));
    // Measure 0, beat 2 (tick 960: the note on at 500 ms is passed over), and a time past the
    // end (the first event).
    f.player.PlayFrom(0, 0, 2);
    EXPECT_EQ(f.Sent(), AllChannels(123, 0));
    EXPECT_EQ(f.player.GetPosition(), 500);
    f.player.PlayFrom(0, 999999, -1);
    EXPECT_EQ(f.player.GetPosition(), 0);
    f.Sent();
    f.Tick(1);
    EXPECT_EQ(f.Sent().size(), 2u + 16u);
}

TEST(MidiPlay, RepeatAndLoopPointsJumpBack) {
    FakePlayer f;
    ASSERT_TRUE(f.player.Open(-1));
    LoadMidi(f.player, Song);
    f.player.SetAutoRepeat(true);
    f.player.PlayFrom(0, 0, -1);
    f.Tick(1000);
    f.Tick(1000);
    f.Sent();
    f.Tick(1000);  // past 2500 ms: the last event
    EXPECT_EQ(f.Sent(), Join({{0x90, 0x40, 0x64}, {0x80, 0x40, 0}}, AllChannels(123, 0)));
    EXPECT_EQ(f.player.GetPosition(), 0);
    EXPECT_FALSE(f.player.IsEnd());
    f.Tick(1);
    EXPECT_EQ(f.Sent().size(), 2u + 16u);
    // A loop point after the first note plays it once more, once per play.
    f.player.Loops.push_back(TLoop{19, 18, 1, 0});
    f.player.PlayFrom(0, 0, -1);
    f.Tick(501);
    const std::vector<Msg> first = f.Sent();
    EXPECT_EQ(std::vector<Msg>(first.end() - 17, first.end()), Join({{0x90, 0x3C, 0x64}}, AllChannels(123, 0)));
    f.Tick(1);
    EXPECT_EQ(f.Sent(), (std::vector<Msg>{{0x90, 0x3C, 0x64}}));
    f.Tick(600);
    EXPECT_EQ(f.Sent(), (std::vector<Msg>{{0x80, 0x3C, 0}, {0xC0, 6}}));
}

TEST(MidiPlay, WaitsForTheDriverGiveUpAfterThirtySeconds) {
    FakePlayer f;
    // An open the driver never confirms.
    f.out->hold(platform::MM_MOM_OPEN, true);
    uint32_t start = f.now;
    EXPECT_TRUE(f.player.Open(-1));
    EXPECT_EQ(f.now - start, TMidiPlayV::DriverWaitMs);
    // The GM reset goes out as a long message and is waited for.
    f.out->hold(platform::MM_MOM_OPEN, false);
    f.Sent();
    start = f.now;
    f.player.SendGMReset();
    EXPECT_EQ(f.Sent(), (std::vector<Msg>{{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}}));
    EXPECT_LT(f.now - start, 10u);
    // Stop waits for a long message the driver holds, then gives up.
    LoadMidi(f.player, MidiHeader(0, 1, 480) + MidiTrack("00 F0 03 7E 01 F7  00 90 3C 64  83 60 80 3C 00  00 FF 2F 00"));
    f.out->hold(platform::MM_MOM_DONE, true);
    f.player.PlayFrom(0, 0, -1);
    f.Tick(1);
    EXPECT_EQ(f.out->pendingLong(), 1u);
    start = f.now;
    f.player.Stop();
    EXPECT_EQ(f.now - start, TMidiPlayV::DriverWaitMs + 1);  // and the 1 ms before notes off
    EXPECT_FALSE(f.player.IsPlaying());
    // Close waits for its word as well; a held one costs 30 s.
    f.out->hold(platform::MM_MOM_CLOSE, true);
    start = f.now;
    f.player.Close();
    EXPECT_FALSE(f.player.IsOpen());
    EXPECT_EQ(f.now - start, TMidiPlayV::DriverWaitMs);
}

// The real timer thread on the real clock, with seeks, stops, volume and repeat changes and
// reads of the position from the main thread (run under ThreadSanitizer too).
TEST(MidiPlay, OperationsRaceRunningTicks) {
    auto out = std::make_shared<HeadlessMidiOut>();
    TMidiPlayV player(out);
    ASSERT_TRUE(player.Open(-1));
    LoadMidi(player, MidiHeader(0, 1, 48) +
                         MidiTrack("00 F0 03 7E 01 F7  00 90 3C 64  01 80 3C 00  01 90 3E 64  01 80 3E 00"
                                   "  01 B0 07 70  01 F0 03 7E 02 F7  01 C0 01  00 FF 2F 00"));
    player.SetAutoRepeat(true);
    player.PlayFrom(0, 0, -1);
    for (int i = 0; i < 200; ++i) {
        switch (i % 5) {
            case 0: player.PlayFrom(0, i % 40, -1); break;
            case 1: player.SetControlAll(7, i % 100); break;
            case 2: player.SetAutoRepeat(i % 3 != 0); break;
            case 3:
                if (i % 20 == 3) player.Stop();
                break;
            default: EXPECT_GE(player.GetPosition(), 0); break;
        }
        platform::MainQueue().ProcessMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    player.Close();
    EXPECT_FALSE(player.IsPlaying());
    EXPECT_FALSE(out->entries().empty());
}
