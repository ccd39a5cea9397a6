// The cinema on a fake clock, with films of tests/tools/cinema_ref.py in the file manager: the
// end of a film and its one play-end event, positioning, the nested scene's pixels (a wipe's
// too) reaching the scene layer, the hit test, and the record at its gates.
#include "objects/vitemex_cinema.h"
#include "tests/objects/clock_host.h"

#include "core/streams.h"
#include "core/vrfiles_manager.h"
#include "media/screenman.h"
#include "objects/vitems_kinds.h"
#include "tests/common/fixture.h"
#include "text/frms.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

class CinemaObjects : public ::testing::Test {
protected:
    void SetUp() override {
        CreateVrFileSystem();
        VrFileManager->SetCdRoots({});
        VrFileManager->Add("");
        CreateScriptServices();
        auto host = std::make_unique<TClockHost>(20);
        Host = host.get();
        SetScriptHost(std::move(host));
        VelaInitialize();
        Bases->SetWidth(64);
        Bases->SetHeight(64);
        Panel.SetBounds(0, 0, 64, 64);
        ScreenMan = new TScreenManager(nullptr, &Panel, 64, 64, 0, 0);
        Bases->GetBase(0)->SetColor(0);
    }
    void TearDown() override {
        Bases->Clear();
        delete ScreenMan;
        ScreenMan = nullptr;
        VelaFinalize();
        FreeScriptServices();
        FreeVrFileSystem();
    }
    // A film: a stage of Colour (-1 none) with a fade wipe per (start, length) pair.
    void AddFilm(const std::string& Name, int32_t Colour, std::vector<int32_t> Wipes, int32_t Width = 32,
                 int32_t Height = 16) {
        std::vector<std::string> args{"film", std::to_string(Width), std::to_string(Height), std::to_string(Colour)};
        for (int32_t v : Wipes) args.push_back(std::to_string(v));
        const std::string bytes = FromHex(Lines(PythonOutput("cinema_ref.py", args))[0]);
        VrFileManager->GetCollection(0).AddStream(Name).DataSource->WriteBuffer(bytes.data(), int64_t(bytes.size()));
    }
    TVelaCinema* Cinema(const std::string& Source) {
        auto* cinema = new TVelaCinema(Bases);
        cinema->SetName("cin");
        cinema->SetParent(Bases->GetBase(0));
        cinema->SetLeft(8);
        cinema->SetTop(4);
        cinema->SetSource(Source);
        return cinema;
    }
    int PlayEnds() const {
        int n = 0;
        for (int i = 0; i < Bases->GetEvents().Count(); ++i) n += Bases->GetEvents().Items(i)->Kind == PR_ONPLAYEND;
        return n;
    }
    // The screen after the tick's drawing.
    TCustomDIBX& Drawn() {
        Bases->Prepare();
        for (int i = 0; i < 2; ++i) Bases->GetBase(i)->ClipList.Clear();
        return *Bases->GetSurface();
    }
    uint32_t Pixel(uint32_t Colour) { return Bases->GetSurface()->ColorToPixel(int32_t(Colour)); }

    TClockHost* Host = nullptr;
    TBasePanel Panel;
};

TEST_F(CinemaObjects, AFilmEndsOnceAfterItsLengthAndMovesByIndex) {
    AddFilm("film.vmt", 0xFF, {0, 120});
    TVelaCinema* cinema = Cinema("film.vmt");
    cinema->SetOnplayend("end.vsb");
    ASSERT_NE(cinema->GetFilm(), nullptr);
    EXPECT_EQ(cinema->GetCount(), 120);
    EXPECT_EQ(cinema->GetWidth(), 32);  // the stage
    Bases->Step();
    Bases->Step();  // the film is applied on its first two ticks before time runs
    for (int i = 0; i < 99; ++i) Bases->Step();
    EXPECT_EQ(cinema->GetElapsed(), 1980);
    EXPECT_EQ(cinema->GetIndex(), 119);  // the last frame, shown until the end
    EXPECT_EQ(PlayEnds(), 0);
    Bases->Step();  // 2000 ms: frame 120
    EXPECT_EQ(PlayEnds(), 1);
    EXPECT_TRUE(cinema->GetEnded());
    EXPECT_EQ(cinema->GetIndex(), 119);
    EXPECT_FALSE(cinema->GetPlaying());
    for (int i = 0; i < 10; ++i) Bases->Step();
    EXPECT_EQ(PlayEnds(), 1);

    cinema->SetIndex(30);
    EXPECT_EQ(cinema->GetElapsed(), 500);
    EXPECT_FALSE(cinema->GetEnded());
    Bases->Step();
    EXPECT_EQ(cinema->GetFilm()->CurrentTime, 30);
    EXPECT_TRUE(cinema->GetPlaying());

    // Without a film, or with one that does not read (a track kind no class has): nothing
    // counts or plays. With AutoScrap the end frees the cinema.
    cinema->SetSource("missing.vmt");
    EXPECT_EQ(cinema->GetFilm(), nullptr);
    EXPECT_EQ(cinema->GetCount(), 0);
    EXPECT_FALSE(cinema->GetPlaying());
    std::string bad = FromHex(Lines(PythonOutput("cinema_ref.py", {"film", "32", "16", "255", "0", "120"}))[0]);
    bad[42] = 9;
    VrFileManager->GetCollection(0).AddStream("bad.vmt").DataSource->WriteBuffer(bad.data(), int64_t(bad.size()));
    EXPECT_THROW(cinema->SetSource("bad.vmt"), EVelaError);
    EXPECT_EQ(cinema->GetFilm(), nullptr);
    EXPECT_EQ(cinema->GetCount(), 0);
    cinema->SetSource("film.vmt");
    cinema->SetAutoscrap(true);
    for (int i = 0; i < 102 && Bases->FindObject("cin"); ++i) Bases->Step();
    EXPECT_EQ(Bases->FindObject("cin"), nullptr);
}

TEST_F(CinemaObjects, AFilmLargerThanTheScreenIsRefusedWhereItIsRead) {
    AddFilm("screen.vmt", 0xFF, {0, 10}, 64, 64);
    AddFilm("wide.vmt", 0xFF, {0, 10}, 65, 64);
    AddFilm("tall.vmt", -1, {}, 64, 65);
    TVelaCinema* cinema = Cinema("screen.vmt");
    ASSERT_NE(cinema->GetFilm(), nullptr);
    for (const char* name : {"wide.vmt", "tall.vmt"}) {
        EXPECT_EQ(ErrorOf([&] { cinema->SetSource(name); }), "Stream read error") << name;
        EXPECT_EQ(cinema->GetFilm(), nullptr);
    }
}

TEST_F(CinemaObjects, TheNestedSceneAndItsWipeReachTheSceneLayer) {
    AddFilm("film.vmt", 0x0000FF, {30, 60, 150, 10});  // a fade from 30 to 89, another at 150
    TVelaCinema* cinema = Cinema("film.vmt");
    TVelaBaseList& own = cinema->GetOwnRoot();
    EXPECT_NE(own.GetSurface(), Bases->GetSurface());  // the nested root draws into its own picture
    auto* box = new TVelaBox(&own);
    box->SetParent(own.GetBase(1));  // the page the wipe shows
    box->SetBounds(0, 0, 32, 16);
    box->SetColor(0x00FF00);
    Bases->Step();
    TCustomDIBX& screen = Drawn();
    EXPECT_EQ(screen.GetPixel(8 + 31, 4 + 15), Pixel(0x0000FF));
    EXPECT_EQ(screen.GetPixel(8 + 32, 5), Pixel(0));

    cinema->SetIndex(60);  // halfway through the fade
    Bases->Step();
    const uint32_t mid = Drawn().GetPixel(20, 10);
    EXPECT_NE(mid, Pixel(0x0000FF));
    EXPECT_NE(mid, Pixel(0x00FF00));
    EXPECT_NE(mid, Pixel(0));
    // The running wipe redraws the whole cinema each tick.
    Bases->Step();
    EXPECT_EQ(Bases->GetBase(0)->ClipList.Count(), 1);
    EXPECT_EQ(Bases->GetBase(0)->ClipList.GetRect(0), (TRect{8, 4, 40, 20}));

    cinema->SetIndex(100);  // past the first wipe: the second page
    Bases->Step();
    EXPECT_EQ(Drawn().GetPixel(20, 10), Pixel(0x00FF00));
}

TEST_F(CinemaObjects, FilmObjectsAreNeverHitAndTheRootMakesCinemas) {
    TVelaObject* made = Bases->CreateObject(LT_CINEMA);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->GetCompoType(), LT_CINEMA);
    TVelaCinema* cinema = Cinema("");
    cinema->SetWidth(20);
    cinema->SetHeight(20);
    auto* track = new TVelaBox(Bases, false);
    track->SetName("\x01" "cin\x01" "0");
    track->SetParent(cinema);
    track->SetBounds(0, 0, 10, 10);
    EXPECT_EQ(Bases->GetBase(0)->HitTest({10, 6}, 1), cinema);
    track->SetName("plain");
    EXPECT_EQ(Bases->GetBase(0)->HitTest({10, 6}, 1), track);
}

TEST_F(CinemaObjects, RecordsAtTheirGates) {
    AddFilm("film.vmt", 0xFF, {0, 120});
    const std::vector<ReferenceRecord> records = ReferenceRecords("cinema_ref.py", {"records"});
    for (const ReferenceRecord& r : records) {
        SCOPED_TRACE(r.version);
        TVelaCinema read(Bases, false);
        ExpectReadsAsReferenced(read, r);
        ASSERT_NE(read.GetFilm(), nullptr);
        EXPECT_EQ(read.GetVolume(), r.version >= 129 ? 0 : 1000);
        // Saved, loaded and saved again: the same bytes.
        TVelaCinema copy(Bases, false);
        ExpectReadsAsReferenced(copy, {GameSaveVersion, r.asRead, r.asRead});
    }
    EXPECT_EQ(records.size(), 9u);
    // The nested scene takes the record's size: the screen's is read, a wider one refused.
    TVelaCinema sized(Bases, false), back(Bases, false);
    for (const int32_t width : {64, 65}) {
        sized.SetWidth(width);
        TMemoryStream record;
        sized.SaveToStream(record);
        record.SetPosition(0);
        EXPECT_EQ(ErrorOf([&] { back.LoadFromStream(record, GameSaveVersion); }), width == 64 ? "" : "Stream read error");
    }
}

}  // namespace
