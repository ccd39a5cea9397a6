// The video object over a stand-in of the library's films: playing into its own picture, frames
// picked up at most every 33 ms, the end acted on once, the overlay's rectangles and its switch,
// and the record against tests/tools/video_records.py.
#include "objects/vitemex_video.h"

#include "core/vrfiles_manager.h"
#include "media/videoitem.h"
#include "objects/vitems_kinds.h"
#include "platform/fs.h"
#include "tests/common/fake_film.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

class TFilmHost : public TScriptHost {
public:
    uint32_t LoopTime() override { return Clock; }
    bool FileExists(const std::string& Name) override { return VrFileManager->FileExists(Name); }
    uint32_t Clock = 0;
};

class Videos : public ::testing::Test {
protected:
    void SetUp() override {
        CreateScriptServices();
        auto host = std::make_unique<TFilmHost>();
        Host = host.get();
        SetScriptHost(std::move(host));
        VelaInitialize();
        Files.SetBaseFolder(platform::fs::ToProgramPath(Folder));
        VrFileManager = &Files;
        VideoMan = new TVideoManager;
        Bases->SetWidth(320);
        Bases->SetHeight(240);
        std::ofstream(Folder + "op.mpg") << "film";
    }
    void TearDown() override {
        Bases->Clear();
        VelaFinalize();
        delete VideoMan;
        VideoMan = nullptr;
        VrFileManager = nullptr;
        FreeScriptServices();
    }
    TVelaVideo* Make(const std::string& File) {
        auto* video = static_cast<TVelaVideo*>(Bases->CreateObject(LT_VIDEO));
        video->SetName("film");
        video->SetParent(Bases->GetBase(0));
        video->SetSource(File);
        video->SetVolume(1000);
        return video;
    }
    int Events(int32_t Kind) {
        int n = 0;
        for (int i = 0; i < Bases->GetEvents().Count(); ++i) n += Bases->GetEvents().Items(i)->Kind == Kind;
        return n;
    }
    void Tick(uint32_t Ms) {
        Host->Clock += Ms;
        Bases->Step();
    }

    TFakeFilmLibrary Library;
    std::string Folder = FreshHostFolder();
    TVrFileManager Files;
    TFilmHost* Host = nullptr;
};

}  // namespace

TEST_F(Videos, AMissingFileLeavesItStoppedAndWithoutSize) {
    TVelaVideo* video = Make("gone.mpg");
    video->SetFloatzoomx(2);  // before any film: no size
    EXPECT_EQ((std::array{video->GetWidth(), video->GetHeight()}), (std::array{0, 0}));
    video->SetPlayState(TVelaVideo::Playing);
    EXPECT_EQ(Film.adds, 0);
    EXPECT_EQ((std::array{video->GetCount(), video->GetIndex()}), (std::array{0, 0}));
    EXPECT_FALSE(video->GetPlaying());
}

TEST_F(Videos, ACapturedFilmIsCopiedIntoItsPictureAsFramesCome) {
    TVelaVideo* video = Make("op.mpg");
    video->SetOverlay(false);
    video->SetFloatzoomx(0.5);
    video->SetPlayState(TVelaVideo::Playing);
    EXPECT_EQ((std::array{Film.adds, Film.lastCapture, Film.plays, Film.volume}), (std::array{1, -1, 1, 0}));
    EXPECT_EQ((std::array{video->GetWidth(), video->GetHeight()}), (std::array{80, 120}));
    EXPECT_EQ(video->GetCount(), 4000);

    // A new frame is looked for at most every 33 ms.
    Film.needPaint = true;
    Tick(20);
    EXPECT_TRUE(Film.needPaint);
    Tick(13);
    EXPECT_FALSE(Film.needPaint);
    Film.needPaint = true;
    Tick(32);
    EXPECT_TRUE(Film.needPaint);
    Tick(1);
    EXPECT_FALSE(Film.needPaint);

    Film.frame.assign(160 * 120, 0xFF336699);
    Film.frame[160 * 120 - 1] = 0xFF010203;
    video->Prepare();
    TCustomDIBX* picture = video->GetSurface();
    ASSERT_EQ(picture->GetWidth(), 160);
    EXPECT_EQ(picture->GetPixel(0, 0), uint32_t(picture->ColorToPixel(0x996633)));
    EXPECT_EQ(picture->GetPixel(159, 119), uint32_t(picture->ColorToPixel(0x030201)));

    video->SetPlayState(TVelaVideo::Stopped);
    EXPECT_EQ(Film.dels, 1);
    EXPECT_EQ(video->GetSurface()->GetWidth(), 1);  // its picture went with the film
}

// The end is acted on once, however long the film goes on reporting it, until it starts again;
// a repeating film never ends.
TEST_F(Videos, TheEndIsActedOnOnce) {
    TVelaVideo* video = Make("op.mpg");
    video->SetOnplayend("end");
    video->SetPlayState(TVelaVideo::Playing);
    Film.ended = true;
    for (int i = 0; i < 3; ++i) Tick(40);
    EXPECT_EQ(Events(PR_ONPLAYEND), 1);
    video->Play();
    Tick(40);
    EXPECT_EQ(Events(PR_ONPLAYEND), 2);
    video->SetIndex(0);
    video->SetRepeat(true);
    Tick(40);
    EXPECT_EQ(Events(PR_ONPLAYEND), 2);
    video->SetRepeat(false);
    video->SetAutoscrap(true);
    Tick(40);
    EXPECT_EQ(Bases->FindObject("film"), nullptr);
}

TEST_F(Videos, AnOverlayFollowsTheObjectAndItsSwitchKeepsThePlace) {
    TVelaVideo* video = Make("op.mpg");
    video->SetPlayState(TVelaVideo::Playing);
    EXPECT_EQ(Film.lastCapture, 0);
    Bases->Zoom = 200;
    video->SetLeft(-40);  // partly outside the layer: only the part inside shows
    video->SetTop(20);
    EXPECT_TRUE(Film.visible);
    EXPECT_EQ((std::array{Film.source.left, Film.source.top, Film.source.right, Film.source.bottom}),
              (std::array{40, 0, 160, 120}));
    EXPECT_EQ((std::array{Film.dest.left, Film.dest.top, Film.dest.right, Film.dest.bottom}),
              (std::array{0, 40, 240, 280}));
    video->SetVisible(false);
    EXPECT_FALSE(Film.visible);

    // Drawn into the picture from here, from the same place in the film.
    Film.position = 1234;
    video->SetOverlay(false);
    EXPECT_EQ((std::array{Film.adds, Film.dels, Film.lastCapture, Film.position}), (std::array{2, 1, -1, 1234}));
}

TEST_F(Videos, RecordsMatchTheReferenceAtTheirGates) {
    const std::vector<ReferenceRecord> records = ReferenceRecords("video_records.py");
    for (const ReferenceRecord& r : records) {
        SCOPED_TRACE(r.version);
        TVelaVideo loaded(Bases);
        ExpectReadsAsReferenced(loaded, r);
        EXPECT_EQ(Film.adds, 0);
    }
    EXPECT_EQ(records.size(), 4u);
}
