// The sample title's MIDI screen and the MIDI song across a screen-mode switch, heard through the
// recording MIDI output; the sequencer runs on the test's clock, one timer wake per tick.
#include "tests/app/sample_fixture.h"

#include "media/midiitem.h"
#include "media/midiplay.h"
#include "objects/vitemex_label.h"
#include "objects/vitemex_sound.h"
#include "platform/midiout.h"

#include <limits>

namespace {

using platform::HeadlessMidiOut;
using Msg = std::vector<uint8_t>;
using Call = HeadlessMidiOut::Call;

class SampleMidi : public SampleTitle {
protected:
    void SetUp() override {
        display.modes = {{800, 600, 32, 60}};
        platform::UseMidiOut(out);
        SampleTitle::SetUp();
        TMidiPlayV& player = *MidiMan->GetPlayer();
        player.Clock = [this] { return now; };
        player.Sleep = [this](uint32_t ms) { now += ms; };
        player.Timer().SetInterval(std::numeric_limits<int32_t>::max());
    }
    void TearDown() override {
        SampleTitle::TearDown();
        platform::UseMidiOut(nullptr);
    }
    void PlayTicks(int Count) {
        for (int i = 0; i < Count; ++i) {
            Tick();
            if (MidiMan) MidiMan->GetPlayer()->Timer().Fire();
        }
    }
    std::vector<Call> Calls() const {
        std::vector<Call> calls;
        for (const auto& e : out->entries()) calls.push_back(e.call);
        return calls;
    }
    bool Sent(const Msg& M) const {
        const auto messages = out->messages();
        return std::find(messages.begin(), messages.end(), M) != messages.end();
    }

    std::shared_ptr<HeadlessMidiOut> out = std::make_shared<HeadlessMidiOut>([this] { return now; });
};

const Msg GMReset{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};

TEST_F(SampleMidi, TheThemePlaysOnItsScreenUntilItsEnd) {
    for (int tick = 0; tick < 5000 && !Bases->FindObject("midipanel"); ++tick) PlayTicks(1);
    ASSERT_NE(Bases->FindObject("midipanel"), nullptr);
    auto* theme = dynamic_cast<TVelaSound*>(Bases->FindObject("theme"));
    ASSERT_NE(theme, nullptr);
    EXPECT_TRUE(theme->GetPaused());
    EXPECT_EQ(dynamic_cast<TVelaLabel*>(Bases->FindObject("midiport"))->GetText(), "出力: MIDIマッパー");
    PlayTicks(2);
    EXPECT_TRUE(Sent(GMReset));
    EXPECT_TRUE(Sent({0xC0, 11}));        // the vibraphone
    EXPECT_TRUE(Sent({0x90, 72, 96}));    // its first note
    EXPECT_TRUE(Sent({0xB0, 0x07, 100}));  // the song's own channel volume, at full
    // About 3.2 s later the song ends: its end handler changes the title once.
    auto* title = dynamic_cast<TVelaLabel*>(Bases->FindObject("midititle"));
    for (int tick = 0; tick < 240 && title->GetText() == "MIDI のテーマ"; ++tick) PlayTicks(1);
    EXPECT_EQ(title->GetText(), "MIDI のテーマ: おわり");
    for (int tick = 0; tick < 100 && Bases->FindObject("midipanel"); ++tick) PlayTicks(1);
    EXPECT_EQ(Bases->FindObject("midipanel"), nullptr);
    EXPECT_FALSE(theme->GetPaused());
    EXPECT_EQ(Calls().back(), Call::Close);
}

TEST_F(SampleMidi, AScreenSwitchClosesTheSongAndPlaysItOnFromItsPlace) {
    Tick();
    auto& song = *static_cast<TMidiItem*>(MidiMan->Add("theme.mid"));
    song.SetVol(0);
    song.Play();
    PlayTicks(60);  // 960 ms
    TMidiPlayV& player = *MidiMan->GetPlayer();
    const int32_t position = player.GetPosition();
    // A switch that goes nowhere leaves the song alone.
    ScreenMan->BestMode = -1;
    out->clearEntries();
    form->SetFullScreen(true);
    EXPECT_TRUE(out->entries().empty());
    EXPECT_TRUE(song.IsPlaying());

    ScreenMan->BestMode = 0;
    form->SetFullScreen(true);
    ASSERT_TRUE(ScreenMan->FullScreen);
    const auto entries = out->entries();
    const auto at = [&](Call C, const Msg& Bytes = {}) {
        return std::find_if(entries.begin(), entries.end(), [&](const HeadlessMidiOut::Entry& e) {
                   return e.call == C && (Bytes.empty() || e.bytes == Bytes);
               }) - entries.begin();
    };
    const auto stop = at(Call::Short, {0xB0, 123, 0}), close = at(Call::Close), open = at(Call::Open),
               reset = at(Call::Long, GMReset), replay = at(Call::Short, {0xC0, 11});
    EXPECT_LT(stop, close);
    EXPECT_LT(close, open);
    EXPECT_LT(open, reset);
    EXPECT_LT(reset, replay);
    EXPECT_LT(replay, std::ptrdiff_t(entries.size()));
    EXPECT_TRUE(song.IsPlaying());
    EXPECT_LE(player.GetPosition(), position);
    EXPECT_GT(player.GetPosition(), position - 300);  // the event before the held place
}

}  // namespace
