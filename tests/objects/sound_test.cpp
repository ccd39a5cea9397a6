#include "objects/vitemex_sound.h"

#include "core/streams.h"
#include "media/mediaman.h"
#include "tests/common/fake_sound.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

namespace {

class TSoundHost : public TScriptHost {
public:
    uint32_t LoopTime() override { return Clock; }
    bool FileExists(const std::string&) override { return true; }
    uint32_t Clock = 0;
};

class Sound : public ::testing::Test {
protected:
    void SetUp() override {
        CreateScriptServices();
        SetScriptHost(std::unique_ptr<TSoundHost>(Host = new TSoundHost));
        VelaInitialize();
        OggMan = Ogg = new TFakeSoundManager<TOggManager>;
        MidiMan = Midi = new TFakeSoundManager<TMidiManager>;
    }
    void TearDown() override {
        VelaFinalize();
        delete Ogg;
        delete Midi;
        OggMan = nullptr;
        MidiMan = nullptr;
        FreeScriptServices();
    }
    TVelaSound* Make(const std::string& Name, const std::string& File) {
        auto* sound = static_cast<TVelaSound*>(Bases->CreateObject(LT_SOUND));
        sound->SetName(Name);
        sound->SetSource(File);
        sound->SetVolume(1000);
        return sound;
    }
    void Tick(uint32_t Ms) {
        Host->Clock += Ms;
        Bases->Step();
    }

    TSoundHost* Host = nullptr;
    TFakeSoundManager<TOggManager>* Ogg = nullptr;
    TFakeSoundManager<TMidiManager>* Midi = nullptr;
};

}  // namespace

TEST_F(Sound, VolumeMapsOntoTheItemsScale) {
    TFakeSoundItem wave(*Ogg, 0), song(*Midi, 0);
    const int32_t rows[][3] = {{0, -10000, -10000}, {1, -4995, -9990}, {500, -2500, -5000}, {1500, 0, 5000}};
    for (const auto& row : rows) {
        EXPECT_EQ(GetMediaVolume(wave, row[0]), row[1]) << row[0];
        EXPECT_EQ(GetMediaVolume(song, row[0]), row[2]) << row[0];
    }
}

TEST_F(Sound, FadesRunOnTheScriptClock) {
    // Wave items travel half the scale (a fade-out is then cut off); MIDI the whole of it.
    const struct {
        const char* File;
        bool In;
        int32_t At0, At500;
    } rows[] = {{"bgm.ogg", true, -5000, -2500}, {"bgm.mid", true, -10000, -5000}, {"bgm.ogg", false, 0, -2500}};
    for (const auto& row : rows) {
        Bases->Clear();
        TVelaSound* sound = Make("bgm", row.File);
        sound->SetDelay(row.In ? 1000 : 0);
        sound->SetPlayState(row.In ? TVelaSound::FadingIn : TVelaSound::Playing);
        TSoundManager& manager = *(std::string(row.File).ends_with(".mid") ? static_cast<TSoundManager*>(Midi) : Ogg);
        auto* item = static_cast<TFakeSoundItem*>(manager.GetItem(0));
        if (!row.In) {
            sound->SetDelay(1000);
            sound->SetPlayState(TVelaSound::FadingOut);
            // The old name is free at once for a new sound.
            EXPECT_EQ(sound->GetName(), "\x01SCRAP_bgm");
            EXPECT_EQ(Make("bgm", "next.ogg")->GetName(), "bgm");
        }
        Tick(10);  // the fade starts
        EXPECT_EQ(item->vol, row.In ? -10000 : 0) << row.File;
        EXPECT_TRUE(item->playing);
        Tick(0);
        EXPECT_EQ(item->vol, row.At0) << row.File;
        Tick(500);
        EXPECT_EQ(item->vol, row.At500) << row.File;
        Tick(500);
        EXPECT_TRUE(!row.In || item->vol == 0);
        EXPECT_EQ(Bases->IndexOfObject(sound) >= 0, row.In);
        EXPECT_EQ(manager.Count(), row.In ? 1 : 0);
    }
}

TEST_F(Sound, ShortOneShotSoundsLoadStopped) {
    const struct {
        int32_t Length;
        bool Repeat, Restarted;
    } rows[] = {{2999, false, false}, {3000, false, true}, {10, true, true}};
    for (const auto& row : rows) {
        Ogg->Length = row.Length;
        TVelaSound* sound = Make("se", "se.wav");
        sound->SetBalance(20000);
        sound->SetRepeat(row.Repeat);
        sound->SetRepeatpos(5);
        sound->SetPlayState(TVelaSound::Playing);
        Ogg->Item(0)->pos = 1234;
        TMemoryStream stream;
        sound->SaveToStream(stream);
        delete sound;
        stream.SetPosition(0);
        auto* loaded = static_cast<TVelaSound*>(Bases->CreateObject(LT_SOUND));
        loaded->LoadFromStream(stream, 140);
        EXPECT_EQ(stream.Position(), stream.Size());
        EXPECT_EQ(loaded->GetPlayState(), row.Restarted ? TVelaSound::Playing : TVelaSound::Stopped) << row.Length;
        EXPECT_EQ(Ogg->Count(), row.Restarted ? 1 : 0) << row.Length;
        EXPECT_EQ(loaded->GetIndex(), row.Restarted ? 1234 : 0);
        EXPECT_EQ(loaded->GetBalance(), 10000);
        EXPECT_EQ(loaded->GetRepeatpos(), 5);
        // Started again, a sound saved stopped plays from its start.
        loaded->SetPlayState(TVelaSound::Playing);
        EXPECT_EQ(Ogg->Item(0)->pos, row.Restarted ? 1234 : 0) << row.Length;
        delete loaded;
    }
}

TEST_F(Sound, RecordsMatchTheReferenceAtTheirGates) {
    const std::vector<ReferenceRecord> records = ReferenceRecords("sound_records.py");
    for (const ReferenceRecord& r : records) {
        SCOPED_TRACE(r.version);
        TVelaSound loaded(Bases);
        ExpectReadsAsReferenced(loaded, r);
    }
    EXPECT_EQ(records.size(), 6u);
}

TEST_F(Sound, OneEndEventPerEnd) {
    // Each way of starting the sound again lets its next end raise one more event.
    void (*const restarts[])(TVelaSound&) = {
        [](TVelaSound& S) { S.Play(); },
        [](TVelaSound& S) { S.SetIndex(0); },
        [](TVelaSound& S) { S.SetPlayState(TVelaSound::Playing); },
    };
    TVelaSound* sound = Make("voice", "voice.ogg");
    sound->SetOnplayend("page");
    sound->SetPlayState(TVelaSound::Playing);
    Ogg->Item(0)->ended = true;
    int expected = 0;
    for (auto restart : restarts) {
        for (int i = 0; i < 3; ++i) Tick(15);
        EXPECT_EQ(Bases->GetEvents().Count(), ++expected);
        restart(*sound);
    }
    // A repeating sound starts over instead.
    sound->SetRepeat(true);
    Ogg->Item(0)->pos = 500;
    Tick(15);
    EXPECT_EQ(Bases->GetEvents().Count(), expected);
    EXPECT_EQ(Ogg->Item(0)->pos, 0);
}

TEST_F(Sound, TheSoundSwitchReachesEveryManager) {
    Make("bgm", "bgm.ogg")->SetPlayState(TVelaSound::Playing);
    TFakeSoundItem& bgm = *Ogg->Item(0);
    Bases->SetSoundEnabled(false);
    EXPECT_FALSE(Ogg->Enabled || Midi->Enabled);
    EXPECT_TRUE(bgm.paused);
    // A song started while the sound is off waits for it.
    Make("song", "song.mid")->SetPlayState(TVelaSound::Playing);
    EXPECT_FALSE(Midi->Item(0)->playing);
    Bases->SetSoundEnabled(true);
    EXPECT_FALSE(bgm.paused);
    EXPECT_TRUE(Midi->Item(0)->playing);
}

TEST_F(Sound, CdTrackPlaysNothingWithoutADrive) {
    TCddaManager cd;
    CddaMan = &cd;
    TVelaSound* sound = Make("cd", "CD_1");
    sound->SetPlayState(TVelaSound::Playing);
    ASSERT_EQ(cd.Count(), 1);
    EXPECT_FALSE(sound->GetPlaying());
    EXPECT_EQ(cd.GetItem(0)->GetPosition(), 0);
    EXPECT_EQ(cd.GetItem(0)->GetLen(), 0);
    EXPECT_EQ(cd.DriveIndex, -1);  // no drive to try
    Bases->Clear();
    CddaMan = nullptr;
}
