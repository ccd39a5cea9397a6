// Films: whole ".vmt" files written by tools/vfilm.py at every version read with the values each
// version stores, written back in the newest form, films that cannot be read, the film every
// control's motion plays, and the media names a film collects.
#include "text/frms.h"

#include "core/sysutils.h"
#include "objects/vitems.h"
#include "objects/vitems_kinds.h"
#include "platform/fs.h"
#include "script/services.h"
#include "tests/common/fixture.h"
#include "text/frms_media.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

const std::string FilmName = "C:\\GAME\\FILMS\\A.VMT";

// The film vfilm.py writes for the description Json.
std::string FilmBytes(const std::string& Json) {
    const std::string path = FreshHostFolder() + "film.json";
    std::ofstream(path) << Json;
    const std::string hex = PythonOutput(VELA_VFILM, {"film", path, "-", "--hex"});
    return FromHex(hex.substr(0, hex.size() - 1));
}

std::string Saved(const TFilmManager& Film) {
    TMemoryStream stream;
    Film.SaveToStream(stream, FilmName);
    return Bytes(stream);
}

void Load(TFilmManager& Film, const std::string& Data) {
    TMemoryStream stream = StreamOf(Data);
    Film.LoadFromStream(stream, FilmName);
}

// A wipe, a sound continuing it and a flagged wipe whose kind byte has its top bit set (but at
// version 111, so that the newest form written back is the very file).
std::string Description(int32_t Version) {
    return Format(R"({"version": %d, "kind": "%s", "width": 320, "height": 240, "colour": 1056816,
        "relative": 1, "origin": [7, -8], "loop_back": 30, "tracks": [
        {"kind": 3, "start": 10, "length": 20, "loop_length": 4, "reserved": -3, "wipe_type": 9,
         "mask": "MASK\\M.PNG", "wipe_param1": -5, "wipe_param2": 77, "reverse": 1, "wipe_flag": 1},
        {"kind": 4, "parent": 0, "length": 40, "file": "..\\SE\\A.WAV", "begin_volume": -2000,
         "end_volume": 0, "begin_pan": -300, "end_pan": 400, "volume_mode": 1, "pan_mode": 2},
        {"kind": %d, "start": 5, "length": 3, "other_layer": 1, "wipe_type": 2}]})",
                  Version, Version % 2 ? "motion" : "cinema", Version == 111 ? 3 : 0x83);
}

TEST(FilmFileTest, EveryVersionReadsTheFieldsItStores) {
    for (int32_t version = 100; version <= 111; ++version) {
        SCOPED_TRACE(version);
        const std::string file = FilmBytes(Description(version));
        TFilmManager film;
        Load(film, file);
        const int32_t scale = version < 107 ? 2 : 1;
        EXPECT_EQ(film.Kind, version % 2);
        EXPECT_EQ(film.Width + film.Height, 560);
        EXPECT_EQ(film.Color, 0x102030);
        EXPECT_EQ(film.FollowPosition, version >= 102);
        EXPECT_EQ(film.StoredOriginX, version >= 104 ? 7 : 0);
        EXPECT_EQ(film.StoredOriginY, version >= 104 ? -8 : 0);
        EXPECT_EQ(film.RepeatPos, version < 106 ? 0 : 30 * scale);
        ASSERT_EQ(film.Count(), 3);
        EXPECT_EQ(film.GetLength(), 70 * scale);

        const auto& wipe = dynamic_cast<const TWipeFrameList&>(*film.GetTrack(0));
        EXPECT_EQ(wipe.Start, 10 * scale);
        EXPECT_EQ(wipe.Length, 20 * scale);
        EXPECT_EQ(wipe.LoopLength, 4 * scale);
        EXPECT_EQ(wipe.Reserved, -3);
        EXPECT_EQ(wipe.GetWipeType(), 9);
        EXPECT_EQ(wipe.GetMaskName(), version >= 101 ? "C:\\GAME\\FILMS\\MASK\\M.PNG" : "");
        EXPECT_EQ(wipe.GetWipeParam1(), version >= 101 ? -5 : 0);
        EXPECT_EQ(wipe.GetWipeParam2(), version >= 101 ? 77 : 0);
        EXPECT_EQ(wipe.GetReverse(), version >= 101);
        EXPECT_EQ(wipe.GetWipeFlag(), version >= 111);

        auto& sound = dynamic_cast<TSoundFrameList&>(*film.GetTrack(1));
        EXPECT_EQ(sound.Parent, &wipe);
        EXPECT_EQ(sound.StartTime(), 30 * scale);
        EXPECT_EQ(sound.GetEndInt(TTrackProp::Volume), version < 108 ? 1000 : 0);
        sound.Parent = nullptr;  // its own begin values, not a wipe's
        EXPECT_EQ(sound.GetFileName(), "C:\\GAME\\SE\\A.WAV");
        EXPECT_EQ(sound.GetBeginInt(TTrackProp::Volume), version < 108 ? 800 : -2000);
        EXPECT_EQ(sound.GetBeginInt(TTrackProp::Pan), -300);
        EXPECT_EQ(sound.GetEndInt(TTrackProp::Pan), 400);
        EXPECT_EQ(sound.GetMode(TTrackProp::Volume) * 10 + sound.GetMode(TTrackProp::Pan), 12);
        sound.Parent = film.GetTrack(0);

        // The top bit of a kind byte is not part of the kind.
        EXPECT_EQ(film.GetTrack(2)->GetKind(), FK_WIPE);
        EXPECT_EQ(film.GetTrack(2)->OtherLayer, 1);
        EXPECT_TRUE(film.HasWipeOrFlag());

        // Written in the newest form, read and written again: the same bytes; at version 111
        // they are the file itself.
        const std::string newest = Saved(film);
        TFilmManager again;
        Load(again, newest);
        EXPECT_EQ(ToHex(Saved(again)), ToHex(newest));
        if (version == 111) {
            EXPECT_EQ(ToHex(newest), ToHex(file));
        }
    }
}

TEST(FilmFileTest, FilmsThatCannotBeReadRaiseAndLeaveTheFilmEmpty) {
    const std::string good = FilmBytes(Description(111));
    const std::string head = good.substr(0, 13 + 8 + 4 + 1 + 8 + 4);
    auto unknownKind = good;
    unknownKind[head.size() + 4] = char(0x88);
    const struct {
        const char* Name;
        std::string Data;
        const char* Error;  // nullptr: an empty film without an error
    } cases[] = {
        {"unknown kind", unknownKind, "Invalid film track kind 8"},
        {"version not a number", "VelaCinema1x1" + good.substr(13), "'1x1' is not a valid integer value"},
        {"count beyond the file", head + FromHex("03000000") + good.substr(head.size() + 4, 40), "Stream read error"},
        {"count above 2^31", head + FromHex("ffffffff"), "Stream read error"},
        {"name beyond the file", good.substr(0, good.find("MASK") - 4) + FromHex("00000010") + "MASK",
         "Stream read error"},
        {"magic cut short", good.substr(0, 11), "Stream read error"},
        {"another file", "VelaPixelFont" + good.substr(13), nullptr},
        {"shorter than a tag", "Vela", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TFilmManager film;
        Load(film, good);
        EXPECT_EQ(ErrorOf([&] { Load(film, c.Data); }), c.Error ? c.Error : "");
        EXPECT_EQ(film.Count(), 0);
        EXPECT_EQ(film.GetLength(), 0);
    }
    // Every cut of a good film raises a read error.
    for (size_t size = 13; size < good.size(); ++size) {
        TFilmManager film;
        EXPECT_EQ(ErrorOf([&] { Load(film, good.substr(0, size)); }), "Stream read error") << size;
    }
}

TEST(FilmFileTest, ControlsPlayFilmsOrTheEmptyFilm) {
    CreateScriptServices();
    VelaInitialize();
    Bases->SetWidth(640);  // the screen holds the films' stage
    Bases->SetHeight(480);
    const std::string folder = FreshHostFolder();
    const std::string file = FilmBytes(Description(111));
    std::ofstream(folder + "good.vmt", std::ios::binary) << file;
    std::ofstream(folder + "bad.vmt", std::ios::binary) << file.substr(0, file.size() - 1);
    auto* box = static_cast<TVelaControl*>(Bases->CreateObject(LT_BOX));
    box->SetParent(Bases->GetBase(0));
    box->SetSource(platform::fs::ToProgramPath(folder + "good.vmt"));
    ASSERT_NE(box->GetMotion(), nullptr);
    EXPECT_EQ(box->GetMotion()->GetFrameCount(), 70);
    auto* film = dynamic_cast<TFilmManager*>(&box->GetMotion()->GetFilm());
    ASSERT_NE(film, nullptr);
    EXPECT_TRUE(film->MotionMode);
    EXPECT_EQ(film->Count(), 3);
    // A film's sound lives in the scene and goes with the control's film.
    std::ofstream(folder + "sound.vmt", std::ios::binary) << FilmBytes(R"({"tracks": [{"kind": 4, "file": "A.WAV"}]})");
    box->SetSource(platform::fs::ToProgramPath(folder + "sound.vmt"));
    Bases->Step();
    EXPECT_NE(Bases->ObjectNamed("\x01" "0"), nullptr);
    for (const char* name : {"bad.vmt", "missing.vmt"}) {
        box->SetSource(platform::fs::ToProgramPath(folder + name));
        ASSERT_NE(box->GetMotion(), nullptr);
        EXPECT_EQ(box->GetMotion()->GetFrameCount(), 0) << name;
    }
    EXPECT_EQ(Bases->ObjectNamed("\x01" "0"), nullptr);
    box->SetSource(platform::fs::ToProgramPath(folder + "sound.vmt"));
    Bases->Step();
    VelaFinalize();
    FreeScriptServices();
}

// A film of one chain of Depth sound tracks of 2 ticks each: the first track of the file
// continues the second, and so on (Upward), or each track the one before it.
std::string ChainFilm(int32_t Depth, bool Upward) {
    std::string tracks;
    for (int32_t i = 0; i < Depth; ++i) {
        const int32_t parent = Upward ? (i + 1 < Depth ? i + 1 : -1) : i - 1;
        tracks += Format(R"(%s{"kind": 4, "parent": %d, "length": 2})", i ? ", " : "", parent);
    }
    return FilmBytes(R"({"tracks": [)" + tracks + "]}");
}

TEST(FilmFileTest, TracksNestAtMostMaxTrackDepthDeep) {
    for (bool upward : {false, true}) {
        SCOPED_TRACE(upward);
        TFilmManager film;
        film.NoActivation = true;
        Load(film, ChainFilm(MaxTrackDepth, upward));
        ASSERT_EQ(film.Count(), MaxTrackDepth);
        const TCustomFrameList& deepest = *film.GetTrack(upward ? 0 : MaxTrackDepth - 1);
        EXPECT_EQ(deepest.Place.Depth, MaxTrackDepth);
        EXPECT_EQ(deepest.StartTime(), 2 * (MaxTrackDepth - 1));
        EXPECT_EQ(film.GetLength(), 2 * MaxTrackDepth);
        // One track deeper, the film is damaged: refused, and left empty.
        TFilmManager deeper;
        deeper.NoActivation = true;
        EXPECT_THROW(Load(deeper, ChainFilm(MaxTrackDepth + 1, upward)), EReadError);
        EXPECT_EQ(deeper.Count(), 0);
    }
}

// A track whose media is a sprite, films among them.
class TSpriteTrack : public TCustomFrameList {
public:
    TSpriteTrack(TFilmManager& Film, std::string Sprite) : TCustomFrameList(Film), Sprite(std::move(Sprite)) {}
    void CollectFileNames(std::vector<std::string>& List) override { AddSpriteFileNames(List, Sprite); }
    std::string Sprite;
};

TEST(FilmFileTest, MediaNamesAreCollectedOnceFromFilesThatExist) {
    const std::string folder = FreshHostFolder();
    const std::string base = platform::fs::ToProgramPath(folder);
    std::ofstream(folder + "a.wav") << "x";
    std::ofstream(folder + "inner.vmt", std::ios::binary) << FilmBytes(R"({"tracks": [
        {"kind": 4, "file": "a.wav"}, {"kind": 4, "file": "b.wav"}, {"kind": 4, "file": "A.WAV"}]})");
    TFilmManager film;
    film.Add(std::make_unique<TSpriteTrack>(film, base + "inner.vmt"));
    film.Add(std::make_unique<TSpriteTrack>(film, base + "INNER.VMT"));
    film.Add(std::make_unique<TSpriteTrack>(film, base + "missing.vmt"));
    std::vector<std::string> names;
    film.CollectFileNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{base + "inner.vmt", base + "a.wav"}));
    // Listed already, the film is not read again.
    std::ofstream(folder + "inner.vmt", std::ios::binary) << "VelaCinema111";
    film.CollectFileNames(names);
    EXPECT_EQ(names.size(), 2u);
}

TEST(FilmFileTest, ImageTrackFilesNameThePicturesOfImageTracksOnly) {
    const std::string folder = FreshHostFolder();
    const std::string base = platform::fs::ToProgramPath(folder);
    std::ofstream(folder + "menu.vmt", std::ios::binary) << FilmBytes(R"({"tracks": [
        {"kind": 0, "file": "a.mra"}, {"kind": 5, "file": "tile.mra"}, {"kind": 4, "file": "a.wav"},
        {"kind": 0, "file": "..\\b.mra"}]})");
    std::unique_ptr<TVelaFilm> film = NewMotionFilm();
    EXPECT_EQ(film->ImageTrackFiles(base + "menu.vmt"),
              (std::vector<std::string>{base + "a.mra", ResolveRelativePath("..\\b.mra", base)}));
    EXPECT_TRUE(TVelaFilm().ImageTrackFiles(base + "menu.vmt").empty());
}

}  // namespace
