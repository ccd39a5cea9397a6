// Wipe and sound tracks: the transitions a film asks of a recording root and the page it shows,
// the layers of the tracks' objects, and sound tracks playing a fake sound against the film clock.
#include "text/frms_media.h"

#include "objects/vitems.h"
#include "script/services.h"
#include "tests/common/fixture.h"
#include "text/wipes.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

// The film vfilm.py writes for Json, loaded.
void LoadFilm(TFilmManager& Film, const std::string& Json) {
    const std::string path = FreshHostFolder() + "film.json";
    std::ofstream(path) << Json;
    const std::string hex = PythonOutput(VELA_VFILM, {"film", path, "-", "--hex"});
    TMemoryStream stream = StreamOf(FromHex(hex.substr(0, hex.size() - 1)));
    Film.LoadFromStream(stream, "C:\\FILMS\\A.VMT");
}

struct TTransitionCall {
    int32_t Layer;
    uint8_t Type;
    bool Reverse, Forced;
    int32_t Elapsed, Length;
    bool operator==(const TTransitionCall&) const = default;
};

std::ostream& operator<<(std::ostream& Out, const TTransitionCall& C) {
    return Out << "{" << C.Layer << ", " << int(C.Type) << ", " << C.Reverse << ", " << C.Forced << ", " << C.Elapsed
               << ", " << C.Length << "}";
}

// A root that records the transitions it is asked for and keeps the last one made.
class TRecordingRoot : public TVelaBaseList {
public:
    TCustomWipe* BeginTransition(int32_t Layer, uint8_t Type, bool Reverse, bool Forced, int32_t Elapsed,
                                 int32_t Length) override {
        Calls.push_back({Layer, Type, Reverse, Forced, Elapsed, Length});
        TCustomWipe* made = TVelaBaseList::BeginTransition(Layer, Type, Reverse, Forced, Elapsed, Length);
        if (made) Made = made;
        return made;
    }
    std::vector<TTransitionCall> Calls;
    TCustomWipe* Made = nullptr;
};

// A sound of a given length whose position the test sets; it records seeks and starts.
class TFakeSound : public TVelaComponent {
public:
    using TVelaComponent::TVelaComponent;
    uint8_t GetCompoType() const override { return LT_SOUND; }
    std::string GetSource() const override { return Source; }
    void SetSource(const std::string& S) override { Source = S; }
    int32_t GetVolume() const override { return Volume; }
    void SetVolume(int32_t V) override { Volume = V; }
    int32_t GetBalance() const override { return Balance; }
    void SetBalance(int32_t V) override { Balance = V; }
    bool GetRepeat() const override { return Repeat; }
    void SetRepeat(bool V) override { Repeat = V; }
    bool GetPaused() const override { return Paused; }
    void SetPaused(bool V) override { Paused = V; }
    int32_t GetPlayState() const override { return PlayState; }
    void SetPlayState(int32_t V) override { PlayState = V; }
    int32_t GetIndex() const override { return Position; }
    void SetIndex(int32_t V) override { Seeks.push_back(Position = V); }
    int32_t GetCount() const override { return SoundLength; }
    void Play() override { ++Plays, Paused = false, PlayState = 0, Position = 0; }

    static inline int32_t SoundLength = 1500;
    std::string Source;
    int32_t Volume = 0, Balance = 0, PlayState = 2, Position = 0, Plays = 0;
    bool Repeat = false, Paused = false;
    std::vector<int32_t> Seeks;
};

class FilmMediaTest : public ::testing::Test {
protected:
    void SetUp() override {
        CreateScriptServices();
        VelaInitialize();
        RegisterObjectKind(LT_SOUND, [](TVelaBaseList& Owner) -> TVelaObject* { return new TFakeSound(&Owner); });
        Bases->SetWidth(640);  // the screen holds the films' stage
        Bases->SetHeight(480);
        Root.SetWidth(8);
        Root.SetHeight(8);
        Film.SetTarget(&Root);
    }
    void TearDown() override {
        Film.Clear();
        VelaFinalize();
        FreeScriptServices();
    }
    // The sounds of the scene's root.
    std::vector<TFakeSound*> Sounds() const {
        std::vector<TFakeSound*> sounds;
        for (int i = 0; i < Bases->GetObjectCount(); ++i)
            if (auto* sound = dynamic_cast<TFakeSound*>(Bases->GetObject(i)); sound && !sound->IsDeleted())
                sounds.push_back(sound);
        return sounds;
    }

    TRecordingRoot Root;
    TFilmManager Film;
};

TEST_F(FilmMediaTest, OneWipeFlipsThePageThroughItsTransition) {
    LoadFilm(Film, R"({"tracks": [{"kind": 3, "start": 10, "length": 20, "wipe_type": 11, "mask": "\\M.PNG",
                       "wipe_param1": 5, "wipe_param2": 6, "reverse": 1, "wipe_flag": 1}]})");
    const std::map<int32_t, TTransitionCall> expected = {
        {0, {0, 0, false, false, 0, 0}},   {9, {0, 0, false, false, 0, 0}},   {10, {0, 11, true, true, 0, 20}},
        {11, {0, 11, true, false, 1, 20}}, {29, {0, 11, true, false, 19, 20}}, {30, {1, 0, false, true, 0, 0}},
        {31, {1, 0, false, false, 0, 0}},
    };
    for (int32_t t = 0; t <= 31; ++t) {
        Film.SetTime(t);
        ASSERT_EQ(Root.Calls.size(), size_t(t + 1));
        if (expected.contains(t)) {
            EXPECT_EQ(Root.Calls.back(), expected.at(t)) << t;
        }
        if (t == 10) {
            ASSERT_NE(Root.Made, nullptr);
            EXPECT_EQ(Root.Made->Param[0] * 10 + Root.Made->Param[1], 56);
            EXPECT_EQ(Root.Made->MaskName, "\\M.PNG");
            EXPECT_TRUE(Root.Made->ChangedOnly);
        }
    }
    EXPECT_EQ(Root.GetCurrentLayer(), 1);
    EXPECT_EQ(Film.CurrentTime, 31);

    // A setting changed while the wipe runs starts it anew at the next tick; an unchanged one not.
    auto& wipe = static_cast<TWipeFrameList&>(*Film.GetTrack(0));
    Film.SetTime(15);
    wipe.SetWipeType(1);
    Film.SetTime(16);
    EXPECT_EQ(Root.Calls.back(), (TTransitionCall{0, 1, true, true, 6, 20}));
    wipe.SetWipeType(1);
    Film.SetTime(17);
    EXPECT_EQ(Root.Calls.back(), (TTransitionCall{0, 1, true, false, 7, 20}));

    // A film under an owner, or driving a control, leaves the root alone.
    Root.Calls.clear();
    TVelaControl owner(Bases);
    Film.Owner = &owner;
    Film.SetTime(12);
    Film.Owner = nullptr;
    Film.MotionMode = true;
    Film.SetTime(13);
    EXPECT_TRUE(Root.Calls.empty());
}

TEST_F(FilmMediaTest, TwoWipesAndTheLayersOfTheTracksObjects) {
    LoadFilm(Film, R"({"tracks": [{"kind": 3, "start": 10, "length": 10, "wipe_type": 1},
                       {"kind": 3, "start": 20, "length": 10, "wipe_type": 11},
                       {"kind": 4, "start": 15, "length": 30}, {"kind": 4, "start": 0, "length": 3, "other_layer": 1},
                       {"kind": 4, "start": 25, "length": 2, "other_layer": 1}]})");
    const std::map<int32_t, TTransitionCall> expected = {
        {19, {0, 1, false, false, 9, 10}},  // the first wipe's last tick
        {20, {1, 11, false, true, 0, 10}},  // the second follows at once, on the page the first showed
        {29, {1, 11, false, false, 9, 10}},
        {30, {0, 0, false, true, 0, 0}},  // both ended: back on the first page
    };
    for (int32_t t = 0; t <= 30; ++t) {
        Film.SetTime(t);
        if (expected.contains(t)) {
            EXPECT_EQ(Root.Calls.back(), expected.at(t)) << t;
        }
    }
    EXPECT_EQ(Root.GetCurrentLayer(), 0);
    EXPECT_EQ(Film.EndedWipeParity(19), 1);
    int32_t parity = -1;
    EXPECT_EQ(Film.FindActiveWipe(25, parity), Film.GetTrack(1));
    EXPECT_EQ(parity, 1);

    // A track's objects wait on the page the wipes ended before its start have reached; a
    // flagged track's on the other one.
    const int32_t layers[] = {0, 1, 0, 1, 0};
    for (int32_t i = 0; i < 5; ++i) EXPECT_EQ(Film.TrackLayer(*Film.GetTrack(i)), layers[i]) << i;
    TVelaObject* box = Film.CreateTrackObject(LT_BOX);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->GetName(), "\x01" "0");
    Film.PlaceObject(*box, *Film.GetTrack(3));
    EXPECT_EQ(box->GetParent(), Root.GetBase(1));
    TVelaControl owner(Bases);
    owner.SetName("OWNER");
    Film.Owner = &owner;
    EXPECT_EQ(Film.ObjectNamePrefix(), "\x01OWNER\x01");
    Film.PlaceObject(*box, *Film.GetTrack(3));
    EXPECT_EQ(box->GetParent(), &owner);
    Film.Owner = nullptr;
}

TEST_F(FilmMediaTest, ASoundShorterThanItsTrackRepeatsAndStopsAtTheFilmsLastTick) {
    LoadFilm(Film, R"({"tracks": [{"kind": 4, "length": 120, "file": "SE\\A.WAV", "begin_volume": 1000,
                       "end_volume": 0, "begin_pan": -50, "end_pan": 50}]})");
    Film.VolumeScale = 500;
    Film.RestartSounds();
    ASSERT_EQ(Sounds().size(), 1u);
    TFakeSound& sound = *Sounds()[0];
    EXPECT_EQ(sound.GetName(), "\x01" "0");
    EXPECT_EQ(sound.Source, "C:\\FILMS\\SE\\A.WAV");
    EXPECT_TRUE(sound.Repeat);  // 2000 ms of track over 1500 ms of sound
    EXPECT_TRUE(sound.Paused);
    EXPECT_EQ(sound.PlayState, 0);
    EXPECT_EQ(sound.Volume * 10000 + sound.Balance, 500 * 10000 - 50);
    for (int32_t t = 0; t < 119; ++t) {
        sound.Position = t * 1000 / 60 % 1500;  // a repeating sound comes round within 3000 ms
        Film.SetTime(t);
        EXPECT_FALSE(sound.Paused) << t;
        if (t == 60) {
            EXPECT_EQ(sound.Volume, (1000 - 1000 * 60 / 119) / 2);
        }
    }
    EXPECT_TRUE(sound.Seeks.empty());
    Film.SetTime(119);
    EXPECT_TRUE(sound.Paused);
    EXPECT_EQ(sound.Plays, 0);
    EXPECT_EQ(Sounds().size(), 1u);
}

TEST_F(FilmMediaTest, ASoundFollowsTheClockAcrossItsChain) {
    TFakeSound::SoundLength = 100000;
    LoadFilm(Film, R"({"tracks": [{"kind": 4, "start": 30, "length": 300, "file": "B.WAV"},
                       {"kind": 4, "parent": 0, "length": 300, "end_volume": 200}, {"kind": 3, "start": 900}]})");
    Film.RestartSounds();
    ASSERT_EQ(Sounds().size(), 1u);  // one sound for the chain
    TFakeSound& sound = *Sounds()[0];
    EXPECT_FALSE(sound.Repeat);
    for (int32_t t = 0; t <= 400; ++t) {
        Film.SetTime(t);
        if (t < 30) {
            EXPECT_TRUE(sound.Paused) << t;
        }
    }
    // Stuck at 0, the sound is moved when it lags 3000 ms: 180 ticks in, and again 180 later.
    EXPECT_EQ(sound.Seeks, (std::vector<int32_t>{3000, 6000}));

    // Back in time: the sound rests for a tick, then goes on from where it stands.
    Film.SetTime(350);
    EXPECT_TRUE(sound.Paused);
    Film.SetTime(351);
    EXPECT_FALSE(sound.Paused);
    EXPECT_EQ(sound.Position, 6000);
    Film.SetTime(352);
    EXPECT_EQ(sound.Seeks.size(), 2u);  // 5366 ms against 6000: close enough

    // A paused film pauses its sounds; the chain's end pauses it too.
    Film.SetRunning(false);
    EXPECT_TRUE(sound.Paused);
    Film.SetTime(353);
    EXPECT_TRUE(sound.Paused);
    Film.SetRunning(true);
    Film.SetTime(354);
    EXPECT_FALSE(sound.Paused);
    Film.SetTime(630);
    EXPECT_TRUE(sound.Paused);
    EXPECT_EQ(sound.Plays, 0);
    TFakeSound::SoundLength = 1500;
}

}  // namespace
