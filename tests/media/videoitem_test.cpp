// The film items of the video manager over the companion library, reading their content from an
// archive, a work file and the base folder; the placement of a playback window.
#include "core/bigstreams.h"
#include "tests/common/budget.h"
#include "core/vrfiles_manager.h"
#include "media/dsound.h"
#include "media/screenman.h"
#include "media/velabind.h"
#include "media/videoitem.h"
#include "objects/vitems.h"
#include "platform/encoding.h"
#include "platform/fs.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#ifdef __SANITIZE_ADDRESS__
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

// The bytes the heap holds now; 0 where the build cannot say.
size_t HeapBytes() {
#ifdef __SANITIZE_ADDRESS__
    return __sanitizer_get_current_allocated_bytes();
#else
    return 0;
#endif
}

// A GIF of a 4096 x 4096 screen whose 60 pictures of 20 ms each change one pixel.
std::string LargeGif() {
    std::string gif = FromHex("474946383961 0010 0010 80 00 00 000000 FFFFFF");
    for (int i = 0; i < 60; ++i)
        gif += FromHex("21F904 04 0200 00 00") + "\x2C" + char(i) + '\0' + char(i) + FromHex("00 0100 0100 00") +
               FromHex("02 02 4401 00");
    return gif + ";";
}

// Waits (at most 10 s) for Done to hold, running Step between the looks.
template <class F, class S>
bool Eventually(F Done, S Step) {
    for (int i = 0; i < 10000; ++i) {
        if (Done()) return true;
        Step();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return Done();
}

class VideoItems : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string clips = VELA_VIDEO_FIXTURES "/";
        std::filesystem::create_directories(folder + "pack");
        std::filesystem::create_directories(folder + "base");
        std::filesystem::copy_file(clips + "clip.mpg", folder + "pack/clip.mpg");
        std::filesystem::copy_file(clips + "clip.mpg", folder + "pack/again.mpg");
        std::filesystem::copy_file(clips + "clip.wmv", folder + "pack/clip.wmv");
        std::filesystem::copy_file(clips + "clip.avi", folder + "base/clip.avi");
        for (int i = 0; i < 4000; ++i) words += "word " + std::to_string(i) + "\n";
        std::ofstream(folder + "pack/words.txt") << words;
        std::ofstream(folder + "base/bad.mpg") << "no film in here";
        PythonOutput("vfarchive.py", {"pack", folder + "game.dat", folder + "pack", "--raw-ext", ".mpg,.wmv"});
        BindVelaLibrary(platform::fs::ToProgramPath(VELA_COMPANION_FOLDER) + "\\");
        CreateVrFileSystem();
        VrFileManager->SetCdRoots({});
        VrFileManager->SetBaseFolder(platform::fs::ToProgramPath(folder + "base"));
        ASSERT_EQ(VrFileManager->Add(platform::fs::ToProgramPath(folder + "game.dat")), 0);
        MediaInit(nullptr, nullptr, 0, 0, 0, 0, {true, 100, &component});
    }
    void TearDown() override {
        MediaFinal();
        component.Finalize();
        FreeVrFileSystem();
        UnbindVelaLibrary();
    }

    std::string folder = FreshHostFolder(), words;
    ScopedEnvironment headless{"VELA_HEADLESS", "1"}, driver{"SDL_AUDIODRIVER", nullptr};
    std::shared_ptr<platform::SoundDevice> device = platform::OpenSoundDevice();
    platform::HeadlessSound& sound = dynamic_cast<platform::HeadlessSound&>(*device);
    TWindowControl form;
    TSoundDevice component{&form};
};

}  // namespace

TEST(VideoPlacement, TheChosenPartOfTheFrameFallsOnTheDestination) {
    EXPECT_EQ(VideoPlacement({0, 0, 160, 120}, {0, 0, 320, 240}, 160, 120), (TRect{0, 0, 320, 240}));
    EXPECT_EQ(VideoPlacement({40, 0, 160, 120}, {0, 0, 240, 240}, 160, 120), (TRect{-80, 0, 240, 240}));
    // Each product is rounded to the nearest: a third of 10 pixels per source pixel.
    EXPECT_EQ(VideoPlacement({1, 2, 4, 5}, {10, 10, 20, 20}, 6, 6), (TRect{7, 3, 27, 23}));
    // An empty source part shows the whole frame on the destination.
    EXPECT_EQ(VideoPlacement({5, 5, 5, 9}, {1, 2, 3, 4}, 16, 16), (TRect{1, 2, 3, 4}));
}

TEST_F(VideoItems, FilmsOfTheArchiveAWorkFileAndAProgramPathShowTheirFrames) {
    for (const std::string& name : {std::string("clip.mpg"), std::string("CLIP.WMV"),
                                    platform::fs::ToProgramPath(folder + "base/clip.avi")}) {
        SCOPED_TRACE(name);
        TVideoItem* video = VideoMan->Add(name, true);
        EXPECT_TRUE(video->Capture);
        EXPECT_EQ(video->GetSourceWidth(), 160);
        EXPECT_EQ(video->GetSourceHeight(), 120);
        EXPECT_NEAR(video->GetLen(), 2000, 100);  // the container's length, sound included
        ASSERT_TRUE(Eventually([&] { return video->NeedPaint(); }, [] {}));
        const VelaFrame* frame = video->GetDC();
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->width, 160);
        EXPECT_FALSE(video->IsEnd());
        video->SetVisible(true);
        EXPECT_TRUE(video->GetVisible());
        video->SetRect({0, 0, 80, 60}, {10, 10, 90, 70});
        EXPECT_EQ(video->DestRect(), (TRect{10, 10, 90, 70}));
        VideoMan->Remove(video);
    }
}

TEST_F(VideoItems, DataTheLibraryCannotOpenEndsAtOnce) {
    TVideoItem* bad = VideoMan->Add("bad.mpg", false);
    EXPECT_TRUE(bad->IsEnd());
    EXPECT_EQ(bad->GetDC(), nullptr);
    bad->Play();
    EXPECT_FALSE(bad->IsPlaying());
    EXPECT_NE(ErrorOf([] { VideoMan->Add("none.mpg", false); }), "");
    // The Windows Media kind without its control has ended too.
    VideoMan->UseWMP = true;
    EXPECT_TRUE(VideoMan->Add("clip.mpg", false)->IsEnd());
}

// A film the library cannot decode or whose pictures do not fit the title's memory ends at once,
// said once per name on standard error. Within that memory, the library holds a few pictures of
// a large film, charged while it is open.
TEST_F(VideoItems, AFilmIsChargedForTheFewPicturesItHoldsOrSaidOnceNotToOpen) {
    std::ofstream(folder + "base/large.mpg", std::ios::binary) << LargeGif();
    const int64_t picture = int64_t(4096) * 4096 * 4;
    std::optional<testbudget::TTestBudget> budget(std::in_place, 2 * picture);
    const int64_t charged = budget->Before();
    testing::internal::CaptureStderr();
    for (const char* name : {"bad.mpg", "large.mpg", "BAD.MPG", "large.mpg"}) EXPECT_TRUE(VideoMan->Add(name, true)->IsEnd());
    EXPECT_FALSE(MemoryRefused());  // a film without room is said not to open, and the title goes on
    budget.reset();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "velaplay: bad.mpg cannot be opened (no video the companion library can decode); it plays nothing\n"
              "velaplay: large.mpg cannot be opened (" +
                  platform::Cp932ToUtf8(MemoryBudgetMessage) + "); it plays nothing\n");
    EXPECT_NEAR(MemoryCharged(), charged, testbudget::Slack);

    const size_t heap = HeapBytes();
    size_t most = heap;
    int64_t mostCharged = 0;
    TVideoItem* video = VideoMan->Add("large.mpg", true);
    EXPECT_LT(MemoryCharged() - charged, picture);  // the pictures are charged as they are taken
    video->Play();
    ASSERT_TRUE(Eventually([&] { return video->IsEnd(); },
                           [&] {
                               most = std::max(most, HeapBytes());
                               mostCharged = std::max(mostCharged, MemoryCharged() - charged);
                               video->GetDC();
                           }));
    // The pictures decoded ahead, the decoder's own and the one before it, each charged once.
    EXPECT_GE(mostCharged, 2 * picture);
    EXPECT_LE(mostCharged, 5 * picture);
    EXPECT_LE(int64_t(most - heap), 5 * picture);
    VideoMan->Remove(video);
    EXPECT_NEAR(MemoryCharged(), charged, testbudget::Slack);
}

// Run under the ThreadSanitizer build too: the decode threads read the archive through the
// stream callbacks while the main thread reads it through the file manager.
TEST_F(VideoItems, TwoFilmsDecodeWhileTheMainThreadReadsTheArchive) {
    TVideoItem* a = VideoMan->Add("clip.mpg", true);
    TVideoItem* b = VideoMan->Add("again.mpg", false);
    a->Play();
    b->Play();
    b->SetVol(-2500);
    int frames = 0;
    const bool ended = Eventually([&] { return a->IsEnd() && b->IsEnd(); },
                                  [&] {
                                      TMemoryStream m;
                                      VrFileManager->ReadFile(m, "words.txt");
                                      ASSERT_EQ(Bytes(m), words);
                                      frames += a->NeedPaint();
                                      if (const VelaFrame* f = b->GetDC()) {
                                          ASSERT_EQ(f->height, 120);
                                      }
                                      sound.advance(20);
                                  });
    ASSERT_TRUE(ended);
    EXPECT_EQ(a->GetPosition(), a->GetLen());
    EXPECT_EQ(b->GetVol(), -2500);
    EXPECT_GT(frames, 10);
}

namespace {

// The paths the open descriptors of the process lead to.
std::vector<std::string> OpenFiles() {
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        paths.push_back(std::filesystem::read_symlink(entry.path(), error).string());
    }
    return paths;
}

int64_t ThreadCount() {
    return std::distance(std::filesystem::directory_iterator("/proc/self/task"), std::filesystem::directory_iterator{});
}

}  // namespace

// Films of one archive entry read one work file through one opening of it; the file goes once the
// last of them has let go and its time has run out.
TEST_F(VideoItems, FilmsOfOneEntryShareOneWorkFileAndOneDescriptor) {
    const std::string temp = *platform::fs::ToHostPath(platform::fs::TempFolder());
    const auto workFiles = [&] {
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(temp))
            if (entry.path().filename().string().starts_with("~qz")) files.push_back(entry.path().string());
        return files;
    };
    ASSERT_EQ(workFiles().size(), 0u);
    std::vector<TVideoItem*> films;
    for (int i = 0; i < 16; ++i) films.push_back(VideoMan->Add("clip.wmv", false));
    for (TVideoItem* film : films) EXPECT_EQ(film->GetSourceWidth(), 160);
    const std::vector<std::string> files = workFiles();
    ASSERT_EQ(files.size(), 1u);
    const std::vector<std::string> open = OpenFiles();
    EXPECT_EQ(std::count(open.begin(), open.end(), files[0]), 1);

    for (size_t i = 1; i < films.size(); ++i) VideoMan->Remove(films[i]);
    VrFileManager->Locks().Tick(TVrLockList::kReleaseDelay);
    DeleteWorkFiles();
    EXPECT_TRUE(std::filesystem::exists(files[0]));
    VideoMan->Remove(films[0]);
    const std::vector<std::string> left = OpenFiles();
    EXPECT_EQ(std::count(left.begin(), left.end(), files[0]), 0);
    VrFileManager->Locks().Tick(TVrLockList::kReleaseDelay);
    DeleteWorkFiles();
    EXPECT_EQ(workFiles().size(), 0u);
}

// A film whose thread the host refuses memory ends there, said once not to open for want of memory;
// asked to play again it stays ended, and the title goes on with the next film.
TEST_F(VideoItems, AFilmThreadWithoutMemoryEndsThatFilmAlone) {
    TBudgetRefusal title;  // this thread stands for the title's, whose blocks the host gives
    testing::internal::CaptureStderr();
    TVideoItem* starved = nullptr;
    {
        testbudget::THostRefusal host(64 << 10);  // below a picture of 160 x 120
        starved = VideoMan->Add("clip.mpg", true);
        starved->Play();
        ASSERT_TRUE(Eventually([&] { return starved->IsEnd(); }, [] {}));
    }
    starved->Play();
    EXPECT_TRUE(starved->IsEnd());
    EXPECT_FALSE(starved->IsPlaying());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "velaplay: clip.mpg cannot be opened (" + platform::Cp932ToUtf8(MemoryBudgetMessage) + "); it plays nothing\n");
    EXPECT_FALSE(MemoryRefused());

    TVideoItem* next = VideoMan->Add("again.mpg", true);
    next->Play();
    ASSERT_TRUE(Eventually([&] { return next->IsEnd(); }, [&] { sound.advance(20); }));
    EXPECT_NE(next->GetDC(), nullptr);
    VideoMan->Remove(starved);
    VideoMan->Remove(next);
}

// However many cores the machine has, a film decodes on its own thread and one more, and 16 films
// live at once: one more plays nothing, said once to be too many, until one of them goes.
TEST_F(VideoItems, ManyFilmsRunOnAFewThreadsEach) {
    const int64_t before = ThreadCount();
    testing::internal::CaptureStderr();
    std::vector<TVideoItem*> films;
    for (int i = 0; i < 24; ++i) {
        films.push_back(VideoMan->Add("clip.mpg", false));
        films.back()->Play();
    }
    EXPECT_LE(ThreadCount() - before, 2 * 16);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "velaplay: clip.mpg cannot be opened (too many at once); it plays nothing\n");
    for (size_t i = 0; i < films.size(); ++i) {
        EXPECT_EQ(films[i]->IsEnd(), i >= 16) << i;
        VideoMan->Remove(films[i]);
    }
    TVideoItem* after = VideoMan->Add("clip.mpg", false);
    after->Play();
    EXPECT_FALSE(after->IsEnd());
    VideoMan->Remove(after);
}
