#include "media/activemovie.h"

#include "core/streams.h"
#include "media/dsound.h"
#include "fake_display.h"
#include "media/screenman.h"
#include "media/velabind.h"
#include "media/wmvideoitem.h"
#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/sound.h"
#include "tests/common/fake_film.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

namespace {

class FakeLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        CaptureGate = [](const platform::fs::Beneath&) { return true; };
        folder = FreshHostFolder();
        file = platform::fs::ToProgramPath(folder) + "\\film.mpg";
        std::ofstream(folder + "film.mpg") << "film";
    }
    void TearDown() override {
        platform::MainQueue().ProcessMessages();
        CaptureGate = nullptr;
    }
    // Pumps the main queue until Done or two seconds passed.
    template <class F>
    static void PumpUntil(F Done, uint32_t LimitMs = 2000) {
        const uint32_t start = platform::ClockMs();
        while (!Done() && platform::ClockMs() - start < LimitMs)
            if (!platform::MainQueue().ProcessMessages()) platform::MainQueue().Wait(10);
    }
    TFakeFilmLibrary library;
    std::string folder, file;
};

}  // namespace

TEST_F(FakeLibrary, TheControlsPropertiesActOnTheFilmOrAreKept) {
    TActiveMovie movie;
    movie.FileName = file;
    movie.AutoStart = false;
    int opened = 0;
    movie.OnOpenStateChange = [&](TActiveMovie&, int32_t State) { opened += State == 6; };
    movie.Open();
    EXPECT_EQ(movie.OpenState(), 6);
    EXPECT_EQ(movie.PlayState(), 0);
    PumpUntil([&] { return opened > 0; });
    EXPECT_EQ(opened, 1);

    movie.SetProperty(MovieDispId::Volume, -2500);
    movie.SetProperty(MovieDispId::CurrentPosition, 1.5);
    EXPECT_EQ(Film.volume, -2500);
    EXPECT_EQ(std::get<double>(movie.GetProperty(MovieDispId::CurrentPosition)), 1.5);
    EXPECT_EQ(std::get<double>(movie.GetProperty(MovieDispId::Duration)), 4.0);
    movie.SetProperty(1101, 3);  // VideoBorderWidth: kept
    movie.SetProperty(1099, std::string("sami.smi"));
    EXPECT_EQ(std::get<int32_t>(movie.GetProperty(1101)), 3);
    EXPECT_EQ(std::get<std::string>(movie.GetProperty(1099)), "sami.smi");
    EXPECT_EQ(std::get<int32_t>(movie.GetProperty(1086)), 0);

    movie.SetPosition(4.0);  // not before the end: nothing
    EXPECT_EQ(Film.position, 1500);
    movie.Play();
    EXPECT_EQ(movie.PlayState(), 2);
    movie.Stop();
    EXPECT_EQ((std::array{movie.PlayState(), Film.position}), (std::array{0, 0}));

    // The panel's layout: the film centred at its size, else fitted; the library shows it there.
    movie.BoundsRect = {10, 20, 330, 260};
    movie.SetDisplaySize(mpDefaultSize);
    EXPECT_EQ(movie.Layout().Control, (TRect{80, 60, 240, 180}));
    EXPECT_EQ((std::array{Film.dest.left, Film.dest.top, Film.dest.right}), (std::array{90, 80, 250}));
    movie.SetDisplaySize(mpDoubleSize);  // 320 x 240 fits exactly
    EXPECT_EQ(movie.Layout().Control, (TRect{0, 0, 320, 240}));
    movie.BoundsRect = {0, 0, 200, 100};
    movie.ReLayout();  // too large: fitted to the height
    EXPECT_EQ(movie.Layout().Control, (TRect{34, 0, 167, 100}));
    movie.SetZoomSize(300);
    movie.SetDisplaySize(mpCustomSize);
    EXPECT_TRUE(movie.Layout().HScroll && movie.Layout().VScroll);
    EXPECT_EQ(ErrorOf([&] { movie.SetShowControls(true); }),
              "this setting is not allowed when DisplaySize = mpCustomSize. Set DisplaySize to another value first.");
}

// Of the frames arriving while none is in flight, a burst of 3 every 2nd frame takes the 1st,
// 3rd and 5th, then the grabber disarms; a frame arriving while one is in flight is dropped.
TEST(SampleGrabber, BurstsTakeEveryIntervalthFrame) {
    std::vector<int> taken;
    TSampleGrabberCB grabber;
    const platform::TargetId target = platform::MainQueue().AddTarget([&](const platform::QueuedMessage& M) {
        std::unique_ptr<TDIB> frame = grabber.TakeFrame();
        if (frame && M.message == WM_FGRABBER_CAPTURE) taken.push_back(int(frame->GetPixel(0, 0) & 0xFF));
        grabber.Done();
    });
    grabber.Reset(target);
    grabber.Arm(3, 2, true, false);
    for (uint8_t shade = 1; shade <= 8; ++shade) {
        const std::vector<uint32_t> pixels(8 * 6, shade);
        const VelaFrame frame{pixels.data(), 8, 6, 32};
        grabber.BufferCB(frame);
        if (shade == 3) grabber.BufferCB({pixels.data(), 8, 6, 32});  // in flight: dropped
        platform::MainQueue().ProcessMessages();
    }
    EXPECT_EQ(taken, (std::vector<int>{1, 3, 5}));
    EXPECT_FALSE(grabber.IsArmed());
    platform::MainQueue().RemoveTarget(target);
}

TEST_F(FakeLibrary, ACaptureWhilePausedPausesAgainAndWritesNumberedJPEGs) {
    TActiveMovie movie;
    movie.FileName = file;
    movie.AutoStart = false;
    movie.SetFGrabberEnabled(true);
    movie.Open();
    movie.Play();
    ASSERT_TRUE(movie.Pause());
    for (const char* name : {"cp000007.jpg", "cp000012.jpg", "cq000099.jpg", "cp0000x5.jpg"})
        std::ofstream(folder + name) << "x";
    movie.StoragePath = platform::fs::ToProgramPath(folder);
    movie.StoragePath.pop_back();  // the folder without its final "\"
    movie.AutoFilePrefix = "cp";
    movie.CaptureSize = 50;
    std::vector<std::string> written;
    movie.OnFGrabberCaptureCompleted = [&](TActiveMovie&, TDIB* Frame, const std::string& Name) {
        EXPECT_EQ((std::array{Frame->Width(), Frame->Height()}), (std::array{4, 3}));
        written.push_back(Name);
    };

    movie.CaptureFrame(2);
    EXPECT_EQ((std::array{Film.plays, Film.pauses}), (std::array{2, 1}));
    FeedFilmFrame(0x40);
    PumpUntil([&] { return !written.empty(); });
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0], movie.StoragePath + "\\cp000013.jpg");
    EXPECT_EQ(Film.pauses, 2);  // paused again
    EXPECT_EQ(movie.NextCaptureName("jpg"), movie.StoragePath + "\\cp000014.jpg");
    // An independent decoder reads the capture: 4 x 3 of the frame's grey.
    const ProgramRun djpeg = RunProgram("djpeg", {"-pnm", folder + "cp000013.jpg"});
    ASSERT_EQ(djpeg.status, 0);
    EXPECT_EQ(djpeg.out.substr(0, 11), "P6\n4 3\n255\n");
    for (size_t i = 11; i < djpeg.out.size(); ++i) EXPECT_NEAR(uint8_t(djpeg.out[i]), 0x40, 2) << i;

    // Another prefix is compared whole: "cpx" finds none of the "cp" captures.
    movie.AutoFilePrefix = "cpx";
    EXPECT_EQ(movie.NextCaptureName("bmp"), movie.StoragePath + "\\cpx000001.bmp");
}

TEST_F(FakeLibrary, TheWindowsMediaItemPlaysOnceOpenAndHandsOverEachFrame) {
    TWmVideoItem none(nullptr, false, file);  // no screen manager: no host, ended
    EXPECT_TRUE(none.IsEnd());

    FakeDisplay display;
    TBasePanel panel;
    ScreenMan = new TScreenManager(&display, &panel, 640, 480, 0, 0);
    {
        TWmVideoItem windowed(nullptr, false, file);
        windowed.Play();
        windowed.Pause();  // before it opened: the last request wins
        PumpUntil([] { return false; }, 120);  // the open is reported
        EXPECT_EQ(Film.plays, 0);
        EXPECT_FALSE(windowed.IsEnd());
        windowed.Play();
        EXPECT_TRUE(windowed.IsPlaying());
        windowed.SetVisible(true);
        windowed.SetRect({40, 0, 160, 120}, {0, 0, 240, 240});
        EXPECT_EQ(windowed.Movie()->BoundsRect.Left, -80);
        EXPECT_TRUE(Film.visible);
        EXPECT_EQ((std::array{Film.dest.left, Film.dest.right}), (std::array{-80, 240}));
    }
    {
        Film.playing = false;
        TWmVideoItem captured(nullptr, true, file);
        captured.Play();
        PumpUntil([&] { return Film.playing; });
        std::vector<int> shades;
        for (uint8_t shade : {0x10, 0x20, 0x30}) {
            FeedFilmFrame(shade);
            PumpUntil([&] { return captured.NeedPaint(); });
            EXPECT_TRUE(captured.NeedPaint());
            FeedFilmFrame(0x7F);  // the frame was not taken yet: dropped
            platform::MainQueue().ProcessMessages();
            shades.push_back(static_cast<const uint8_t*>(captured.GetDC()->pixels)[0]);
            captured.ResetNeedPaint();
            EXPECT_FALSE(captured.NeedPaint());
        }
        EXPECT_EQ(shades, (std::vector<int>{0x10, 0x20, 0x30}));
    }
    // A film no bitmap could hold is no film: it has ended, said once on standard error.
    TVideoManager manager;
    Film.width = 100000;
    testing::internal::CaptureStderr();
    for (int i = 0; i < 2; ++i) EXPECT_TRUE(TWmVideoItem(&manager, false, file).IsEnd());
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(said.starts_with("velaplay: " + file + " cannot be opened (")) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_EQ(Film.adds, Film.dels);
    delete ScreenMan;
    ScreenMan = nullptr;
}

// Frames come from the library's decode thread: a burst of 3 every 2nd frame hands over three
// whole frames, one at a time, then the grabber rests.
TEST(ActiveMovieOverTheLibrary, TheGrabberTakesFramesOfTheDecodeThread) {
    ScopedEnvironment headless{"VELA_HEADLESS", "1"}, driver{"SDL_AUDIODRIVER", nullptr};
    std::shared_ptr<platform::SoundDevice> device = platform::OpenSoundDevice();
    auto& sound = dynamic_cast<platform::HeadlessSound&>(*device);
    TWindowControl form;
    TSoundDevice component{&form};
    BindVelaLibrary(platform::fs::ToProgramPath(VELA_COMPANION_FOLDER) + "\\");
    MediaInit(nullptr, nullptr, 0, 0, 0, 0, {true, 100, &component});
    {
        TActiveMovie movie;
        movie.FileName = platform::fs::ToProgramPath(VELA_VIDEO_FIXTURES "/clip.mpg");
        movie.SetFGrabberEnabled(true);
        movie.SetBurstMode(true);
        movie.SetBurstCount(3);
        movie.SetBurstInterval(2);
        movie.Open();
        ASSERT_EQ(movie.OpenState(), 6);
        std::vector<std::array<int32_t, 2>> sizes;
        movie.OnFGrabberCaptureCompleted = [&](TActiveMovie&, TDIB* Frame, const std::string&) {
            sizes.push_back({Frame->Width(), Frame->Height()});
        };
        movie.CaptureFrame(0);
        const uint32_t start = platform::ClockMs();
        while (platform::ClockMs() - start < 1500) {
            if (!platform::MainQueue().ProcessMessages()) platform::MainQueue().Wait(5);
            sound.advance(20);  // the film's clock is its sound's
        }
        const std::array<int32_t, 2> size{std::get<int32_t>(movie.GetProperty(MovieDispId::ImageSourceWidth)),
                                          std::get<int32_t>(movie.GetProperty(MovieDispId::ImageSourceHeight))};
        EXPECT_EQ(sizes, (std::vector<std::array<int32_t, 2>>(3, size)));
    }
    MediaFinal();
    component.Finalize();
    UnbindVelaLibrary();
}
