// MIDI items on the manager's one sequencer, played on a fake clock into the recording MIDI
// output: two items taking turns, pause and resume positions, volume, an empty file, the
// sound switch, an unusable or ending program, a change of device and the current item's end.
#include "media/midiitem.h"
#include "media/midiplay.h"
#include "platform/fs.h"
#include "platform/midiout.h"
#include "tests/common/fixture.h"
#include "tests/media/midi_fixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <limits>

namespace {

using platform::HeadlessMidiOut;
using Msg = std::vector<uint8_t>;
using Call = HeadlessMidiOut::Call;

const Msg GMReset{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};

// Division 480 at the default tempo (480 ticks are 500 ms): program 5, then a note every 250 ms
// from 0 to 1000 ms, keys 3C, 3E, 40, 41, 43.
const std::string ItemSong =
    MidiHeader(0, 1, 480) + MidiTrack("00 C0 05  00 90 3C 64  81 70 80 3C 00  00 90 3E 64  81 70 80 3E 00"
                                      "  00 90 40 64  81 70 80 40 00  00 90 41 64  81 70 80 41 00"
                                      "  00 90 43 64  81 70 80 43 00  00 FF 2F 00");

std::vector<Msg> EveryChannel(uint8_t controller, uint8_t value) {
    std::vector<Msg> messages;
    for (int ch = 0; ch < 16; ++ch) messages.push_back({uint8_t(0xB0 + ch), controller, value});
    return messages;
}

class MidiItems : public testing::Test {
protected:
    void SetUp() override {
        platform::UseMidiOut(out);
        manager = std::make_unique<TMidiManager>();
        TMidiPlayV& player = *manager->GetPlayer();
        player.Clock = [this] { return now; };
        player.Sleep = [this](uint32_t ms) { now += ms; };
        player.Timer().SetInterval(std::numeric_limits<int32_t>::max());
    }
    void TearDown() override {
        manager.reset();
        platform::UseMidiOut(nullptr);
    }
    // An item of a song file of these bytes.
    TMidiItem& Add(const std::string& Bytes) {
        const std::string path = folder + std::to_string(files++) + ".mid";
        std::ofstream(path, std::ios::binary) << Bytes;
        return *static_cast<TMidiItem*>(manager->Add(platform::fs::ToProgramPath(path)));
    }
    void Tick(uint32_t Ms) {
        now += Ms;
        manager->GetPlayer()->Timer().Fire();
    }
    // The messages sent since the last call, and the calls.
    std::vector<Msg> Sent() {
        std::vector<Msg> sent = out->messages();
        out->clearEntries();
        return sent;
    }
    std::vector<Call> Calls() {
        std::vector<Call> calls;
        for (const auto& e : out->entries()) calls.push_back(e.call);
        out->clearEntries();
        return calls;
    }
    // Whether a note of Key started since the last call.
    bool Sounded(uint8_t Key) {
        const std::vector<Msg> sent = Sent();
        return std::find(sent.begin(), sent.end(), Msg{0x90, Key, 0x64}) != sent.end();
    }

    uint32_t now = 5000;
    std::shared_ptr<HeadlessMidiOut> out = std::make_shared<HeadlessMidiOut>([this] { return now; });
    std::unique_ptr<TMidiManager> manager;
    std::string folder = FreshHostFolder();
    int files = 0;
};

TEST_F(MidiItems, TwoItemsTakeTurnsOnTheSequencer) {
    TMidiItem& a = Add(ItemSong);
    TMidiItem& b = Add(ItemSong);
    EXPECT_EQ(b.GetLen(), 1250);
    EXPECT_TRUE(out->entries().empty());  // the length is read without the sequencer
    a.Play();
    std::vector<Call> calls = Calls();
    EXPECT_EQ(std::vector<Call>(calls.begin(), calls.begin() + 2), (std::vector<Call>{Call::Open, Call::Long}));
    Tick(10);
    EXPECT_TRUE(Sounded(0x3C));
    Tick(290);
    EXPECT_TRUE(a.IsPlaying());
    EXPECT_EQ(a.GetPosition(), 300);
    Sent();
    // The volume reaches the sequencer only while the item is current: v div 100 + 100 percent
    // of the song's channel volume.
    b.SetVol(-2550);
    EXPECT_TRUE(Sent().empty());
    a.SetVol(-2550);
    EXPECT_EQ(Sent(), EveryChannel(7, 95));

    b.Play();
    EXPECT_FALSE(a.IsPlaying());
    EXPECT_EQ(a.GetPosition(), 0);
    EXPECT_TRUE(b.IsPlaying());
    const std::vector<Msg> sent = Sent();
    EXPECT_EQ(sent.front(), EveryChannel(123, 0).front());  // the first song stopped
    EXPECT_NE(std::find(sent.begin(), sent.end(), GMReset), sent.end());
    EXPECT_EQ(std::vector<Msg>(sent.end() - 16, sent.end()), EveryChannel(7, 95));  // b's own volume
    // The end of the song, reported while the item is current.
    Tick(1000);
    Tick(1000);
    EXPECT_TRUE(b.IsEnd());
    EXPECT_FALSE(a.IsEnd());
}

TEST_F(MidiItems, PauseKeepsThePlaceAndSeeksWhilePausedOnlyMoveIt) {
    TMidiItem& a = Add(ItemSong);
    a.Play();
    Tick(400);
    a.Pause();
    EXPECT_TRUE(a.IsPaused());
    EXPECT_FALSE(a.IsPlaying());
    Sent();
    a.SetPosition(700);
    EXPECT_TRUE(Sent().empty());
    EXPECT_FALSE(a.IsPlaying());
    a.Play();
    EXPECT_FALSE(a.IsPaused());
    EXPECT_EQ(a.GetPosition(), 500);  // the event before the first one past 700 ms
    Sent();
    Tick(260);
    EXPECT_TRUE(Sounded(0x41));
    // Seeking while playing plays from there at once.
    a.SetPosition(0);
    Tick(10);
    EXPECT_TRUE(Sounded(0x3C));
}

// An empty, unreadable or missing file plays nothing; a missing one is said once on standard error.
TEST_F(MidiItems, AnEmptyFilePlaysNothingRatherThanTheLastSong) {
    TMidiItem& a = Add(ItemSong);
    TMidiItem& empty = Add("");
    TMidiItem& junk = Add("not a song");
    const std::string name = platform::fs::ToProgramPath(folder + "none.mid");
    TMidiItem& missing = *static_cast<TMidiItem*>(manager->Add(name));
    a.Play();
    Tick(100);
    testing::internal::CaptureStderr();
    for (TMidiItem* item : {&empty, &junk, &missing, &missing}) {
        item->Play();
        EXPECT_FALSE(a.IsPlaying());
        EXPECT_EQ(item->GetLen(), 0);
        Sent();
        Tick(300);
        EXPECT_FALSE(Sounded(0x3E));
        EXPECT_TRUE(item->IsEnd());
    }
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(said.starts_with("velaplay: " + name + " cannot be opened (")) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
}

TEST_F(MidiItems, PlayedWhileSwitchedOffStartsWhenSwitchedOn) {
    TMidiItem& a = Add(ItemSong);
    manager->SetEnabled(false);
    a.Play();
    EXPECT_TRUE(out->entries().empty());
    EXPECT_FALSE(a.IsPlaying());
    manager->SetEnabled(true);
    EXPECT_TRUE(a.IsPlaying());
    // Switched off while playing: paused at its place, and on again from there.
    Tick(300);
    manager->SetEnabled(false);
    EXPECT_FALSE(a.IsPlaying());
    manager->SetEnabled(true);
    EXPECT_EQ(a.GetPosition(), 250);
}

TEST_F(MidiItems, NothingPlaysWithoutTheWindowOrWhileTheProgramEnds) {
    TMidiItem& a = Add(ItemSong);
    bool alive = false, ending = true;
    manager->OwnerAlive = [&] { return alive; };
    manager->Terminating = [&] { return ending; };
    EXPECT_EQ(manager->GetPlayer(), nullptr);
    a.Play();
    EXPECT_TRUE(out->entries().empty());
    alive = true;
    a.Play();  // the device opens and is reset, but the song does not start
    EXPECT_EQ(Calls(), (std::vector<Call>{Call::Open, Call::Long}));
    EXPECT_FALSE(a.IsPlaying());
    manager.reset();  // it asks the flags once more as it closes, while they still stand
}

TEST_F(MidiItems, AnotherDeviceTakesOverAPlayingSongAndTheCurrentItemClosesItAtItsEnd) {
    TMidiItem& a = Add(ItemSong);
    manager->SetDeviceIndex(1);  // nothing plays: only the index changes
    EXPECT_TRUE(out->entries().empty());
    a.Play();
    Tick(300);
    Calls();
    manager->SetDeviceIndex(0);
    const std::vector<Call> calls = Calls();
    const auto close = std::find(calls.begin(), calls.end(), Call::Close);
    ASSERT_NE(close, calls.end());
    EXPECT_EQ(close[1], Call::Open);
    EXPECT_TRUE(a.IsPlaying());
    EXPECT_EQ(a.GetPosition(), 250);
    manager->Remove(&a);
    EXPECT_EQ(Calls().back(), Call::Close);
    EXPECT_FALSE(manager->GetPlayer()->IsOpen());
}

}  // namespace
