#include "objects/vitemex_sound.h"

#include "core/streams.h"
#include "media/mediaman.h"

#include <gtest/gtest.h>

namespace {

constexpr int32_t Version = 140;

class TClockHost : public TScriptHost {
public:
    uint32_t LoopTime() override { return Clock; }
    bool FileExists(const std::string& Name) override { return Name != "missing.ogg"; }
    uint32_t Clock = 0;
};

// A sound of a given length that keeps reporting its end once told (SetEnd does not clear it,
// as with the software mixer's items); played while its manager is off, it only marks itself.
class TFakeItem : public TDMediaItem {
public:
    TFakeItem(TSoundManager& M, int32_t Len) : TDMediaItem(&M), len(Len) {}
    int32_t GetVol() override { return vol; }
    void SetVol(int32_t V) override { vol = V; }
    int32_t GetLen() override { return len; }
    int32_t GetPosition() override { return pos; }
    void SetPosition(int32_t P) override { pos = P; }
    bool IsEnd() override { return ended; }
    bool IsPlaying() override { return playing; }
    bool IsPaused() override { return paused; }
    void Play() override {
        if (!static_cast<TSoundManager*>(Manager)->Enabled) ResumeMark = true;
        else playing = true, paused = false;
    }
    void Pause() override { paused = true; }

    int32_t len, vol = 0, pos = 0;
    bool ended = false, playing = false, paused = false;
};

template <class TManager>
class TFakeManager : public TManager {
public:
    TDMediaItem* Add(const std::string&) override { return this->AddItem(std::make_unique<TFakeItem>(*this, Length)); }
    TFakeItem* Item(int32_t Index) const { return static_cast<TFakeItem*>(this->GetItem(Index)); }
    int32_t Length = 10000;
};

class Sound : public ::testing::Test {
protected:
    void SetUp() override {
        CreateScriptServices();
        auto host = std::make_unique<TClockHost>();
        Host = host.get();
        SetScriptHost(std::move(host));
        VelaInitialize();
        OggMan = Ogg = new TFakeManager<TOggManager>;
        MidiMan = Midi = new TFakeManager<TMidiManager>;
    }
    void TearDown() override {
        VelaFinalize();
        delete OggMan;
        delete MidiMan;
        OggMan = nullptr;
        MidiMan = nullptr;
        FreeScriptServices();
    }
    TVelaSound* Make(const std::string& Name, const std::string& File, int32_t Volume = 1000, int32_t Delay = 0) {
        auto* sound = static_cast<TVelaSound*>(Bases->CreateObject(LT_SOUND));
        sound->SetName(Name);
        sound->SetSource(File);
        sound->SetVolume(Volume);
        sound->SetDelay(Delay);
        return sound;
    }
    void Tick(uint32_t Ms) {
        Host->Clock += Ms;
        Bases->Step();
    }
    int PlayEnds() {
        int n = 0;
        for (int i = 0; i < Bases->GetEvents().Count(); ++i) n += Bases->GetEvents().Items(i)->Kind == PR_ONPLAYEND;
        return n;
    }

    TClockHost* Host = nullptr;
    TFakeManager<TOggManager>* Ogg = nullptr;
    TFakeManager<TMidiManager>* Midi = nullptr;
};

}  // namespace

TEST_F(Sound, VolumeMapsOntoTheItemsScale) {
    TFakeItem wave(*Ogg, 0), song(*Midi, 0);
    const struct {
        int32_t Volume, Wave, Midi;
    } rows[] = {{0, -10000, -10000}, {1, -4995, -9990}, {500, -2500, -5000}, {1000, 0, 0},
                {1500, 0, 5000},     {-3, -10000, -10030}};
    for (const auto& row : rows) {
        EXPECT_EQ(GetMediaVolume(wave, row.Volume), row.Wave) << row.Volume;
        EXPECT_EQ(GetMediaVolume(song, row.Volume), row.Midi) << row.Volume;
    }
}

TEST_F(Sound, FadesRunOnTheScriptClock) {
    // Wave items travel half the scale (a fade-out is then cut off); MIDI the whole of it.
    const struct {
        const char* File;
        int32_t State;
        int32_t At0, At500;
    } rows[] = {{"bgm.ogg", TVelaSound::FadingIn, -5000, -2500},
                {"bgm.mid", TVelaSound::FadingIn, -10000, -5000},
                {"bgm.ogg", TVelaSound::FadingOut, 0, -2500}};
    for (const auto& row : rows) {
        Bases->Clear();
        const bool in = row.State == TVelaSound::FadingIn;
        TVelaSound* sound = Make("bgm", row.File, 1000, in ? 1000 : 0);
        sound->SetPlayState(in ? TVelaSound::FadingIn : TVelaSound::Playing);
        TSoundManager& manager = *(std::string(row.File).ends_with(".mid") ? static_cast<TSoundManager*>(Midi) : Ogg);
        auto* item = static_cast<TFakeItem*>(manager.GetItem(0));
        if (!in) {
            sound->SetDelay(1000);
            sound->SetPlayState(TVelaSound::FadingOut);
            // The old name is free at once for a new sound.
            EXPECT_EQ(sound->GetName(), "\x01SCRAP_bgm");
            EXPECT_EQ(Make("bgm", "next.ogg")->GetName(), "bgm");
        }
        Tick(10);  // the fade starts
        EXPECT_EQ(item->vol, in ? -10000 : 0) << row.File;
        EXPECT_EQ(item->playing, true);
        Tick(0);
        EXPECT_EQ(item->vol, row.At0) << row.File;
        Tick(500);
        EXPECT_EQ(item->vol, row.At500) << row.File;
        Tick(500);
        if (in) {
            EXPECT_EQ(item->vol, 0);
            EXPECT_EQ(Bases->FindObject("bgm"), sound);
        } else {
            EXPECT_EQ(Bases->IndexOfObject(sound), -1);
            EXPECT_EQ(manager.Count(), 0);
        }
    }
}

TEST_F(Sound, ShortOneShotSoundsLoadStopped) {
    const struct {
        int32_t Length;
        bool Repeat;
        bool Restarted;
    } rows[] = {{2999, false, false}, {3000, false, true}, {10, true, true}};
    for (const auto& row : rows) {
        Ogg->Length = row.Length;
        TVelaSound* sound = Make("se", "se.wav", 700);
        sound->SetBalance(20000);
        sound->SetRepeat(row.Repeat);
        sound->SetRepeatpos(5);
        sound->SetOnplayend("page:end");
        sound->SetPlayState(TVelaSound::Playing);
        Ogg->Item(0)->pos = 1234;
        TMemoryStream stream;
        sound->SaveToStream(stream);
        delete sound;

        stream.SetPosition(0);
        auto* loaded = static_cast<TVelaSound*>(Bases->CreateObject(LT_SOUND));
        loaded->LoadFromStream(stream, Version);
        EXPECT_EQ(stream.Position(), stream.Size());
        EXPECT_EQ(loaded->GetPlayState(), row.Restarted ? TVelaSound::Playing : TVelaSound::Stopped) << row.Length;
        EXPECT_EQ(Ogg->Count(), row.Restarted ? 1 : 0) << row.Length;
        EXPECT_EQ(loaded->GetName(), "se");
        EXPECT_EQ(loaded->GetIndex(), row.Restarted ? 1234 : 0);
        EXPECT_EQ(loaded->GetVolume(), 700);
        EXPECT_EQ(loaded->GetBalance(), 10000);
        EXPECT_EQ(loaded->GetRepeatpos(), 5);
        EXPECT_EQ(loaded->GetOnplayend(), "page:end");
        delete loaded;
    }
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
    Ogg->Item(0)->ended = true;  // and it stays ended
    int expected = 0;
    for (auto restart : restarts) {
        for (int i = 0; i < 3; ++i) Tick(15);
        EXPECT_EQ(PlayEnds(), ++expected);
        restart(*sound);
    }
    // A repeating sound starts over instead.
    sound->SetRepeat(true);
    Ogg->Item(0)->pos = 500;
    Tick(15);
    EXPECT_EQ(PlayEnds(), expected);
    EXPECT_EQ(Ogg->Item(0)->pos, 0);
}

TEST_F(Sound, TheSoundSwitchReachesEveryManager) {
    Make("bgm", "bgm.ogg")->SetPlayState(TVelaSound::Playing);
    TFakeItem& bgm = *Ogg->Item(0);
    Bases->SetSoundEnabled(false);
    EXPECT_FALSE(Ogg->Enabled);
    EXPECT_FALSE(Midi->Enabled);
    EXPECT_TRUE(bgm.paused);
    // A song started while the sound is off waits for it.
    Make("song", "song.mid")->SetPlayState(TVelaSound::Playing);
    EXPECT_FALSE(Midi->Item(0)->playing);
    Bases->SetSoundEnabled(true);
    EXPECT_FALSE(bgm.paused);
    EXPECT_TRUE(Midi->Item(0)->playing);
}

TEST_F(Sound, MissingFilesAndUnknownKindsPlayNothing) {
    TVelaSound* kept = Make("a", "missing.ogg");
    kept->SetPlayState(TVelaSound::Playing);
    TVelaSound* scrapped = Make("b", "missing.ogg");
    scrapped->SetAutoscrap(true);
    scrapped->SetPlayState(TVelaSound::Playing);
    Make("c", "text.txt")->SetPlayState(TVelaSound::Playing);
    EXPECT_EQ(Ogg->Count() + Midi->Count(), 0);
    EXPECT_EQ(Bases->FindObject("a"), kept);
    EXPECT_TRUE(scrapped->IsDeleted());
    EXPECT_EQ(kept->GetCount(), 0);
    Ogg->Length = 4321;
    EXPECT_EQ(Make("d", "bgm.OGG")->GetCount(), 4321);
    EXPECT_EQ(Ogg->Count(), 0);  // the item asked for its length is gone again
}
