#include "media/screenman.h"

#include "fake_display.h"
#include "media/mediaman.h"
#include "objects/vitems.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace {

using Mode = platform::DisplayModeInfo;

// The best mode among Modes for a 640x480 title wanting 800x600 on a 32-bit desktop.
int32_t BestOf(const std::vector<Mode>& Modes, int32_t* Count = nullptr) {
    FakeDisplay display;
    display.modes = Modes;
    TBasePanel panel;
    TScreenManager screen(&display, &panel, 640, 480, 800, 600);
    if (Count) *Count = screen.GetModeCount();
    return screen.BestMode;
}

}  // namespace

TEST(ScreenManagerModes, BestModeChoice) {
    // The lowest refresh rate at the wanted size and the desktop's depth; 0 (the default) first.
    EXPECT_EQ(BestOf({{800, 600, 32, 75}, {800, 600, 32, 60}}), 1);
    EXPECT_EQ(BestOf({{800, 600, 32, 0}, {800, 600, 32, 60}}), 0);
    EXPECT_EQ(BestOf({{800, 600, 32, 60}, {800, 600, 32, 60}}), 0);  // an equal later one does not win
    // The wanted size beats the first usable mode; the desktop's depth beats a lower refresh rate.
    EXPECT_EQ(BestOf({{1024, 768, 32, 60}, {800, 600, 16, 60}, {800, 600, 32, 85}}), 2);
    EXPECT_EQ(BestOf({{1024, 768, 16, 60}, {1280, 1024, 32, 60}}), 0);
    // Modes too small for the title or below 16 bits are not offered.
    int32_t count = -1;
    EXPECT_EQ(BestOf({{640, 400, 32, 60}, {600, 480, 32, 60}, {800, 600, 8, 60}}, &count), -1);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(BestOf({{320, 240, 32, 60}, {800, 600, 32, 60}}, &count), 0);
    EXPECT_EQ(count, 1);
}

TEST(ScreenManagerModes, SurfacesFollowTheDisplay) {
    TBasePanel panel;
    {
        TScreenManager screen(nullptr, &panel, 64, 48, 0, 0);  // no display: 16-bit memory surface
        EXPECT_EQ(screen.ModeIndex, -1);
        EXPECT_EQ(screen.BitCount, 16);
        EXPECT_TRUE(screen.MemorySurface);
        EXPECT_EQ(screen.GetSurface()->GetWidth(), 64);
        screen.SetModeIndex(0);
        EXPECT_EQ(screen.ModeIndex, -1);
        EXPECT_FALSE(screen.FullScreen);
    }
    for (const auto& [desktop, windowed] : std::vector<std::pair<uint32_t, int32_t>>{{32, 32}, {24, 32}, {16, 16}, {15, 15}}) {
        FakeDisplay display;
        display.desktop.bitCount = desktop;
        TScreenManager screen(&display, &panel, 64, 48, 0, 0);
        EXPECT_EQ(screen.DesktopBitCount, int32_t(desktop));
        EXPECT_EQ(screen.BitCount, windowed) << desktop;
        EXPECT_EQ(screen.GetSurface()->GetBitCount(), windowed);
    }
}

TEST(ScreenManagerModes, SwitchingFullScreenAndBack) {
    FakeDisplay display;
    display.modes = {{800, 600, 16, 60}, {800, 600, 32, 60}};
    display.refused = {display.modes[1]};
    TBasePanel panel;
    TScreenManager screen(&display, &panel, 640, 480, 800, 600);
    EXPECT_TRUE(display.fullScreenRequests.empty());
    EXPECT_EQ(screen.ModeIndex, -1);

    // The current index changes nothing.
    const TCustomDIBX* windowed = screen.GetSurface();
    screen.SetModeIndex(-1);
    EXPECT_EQ(screen.GetSurface(), windowed);
    EXPECT_TRUE(display.fullScreenRequests.empty());

    screen.SetModeIndex(0);
    ASSERT_EQ(display.fullScreenRequests.size(), 1u);
    EXPECT_EQ(display.fullScreenRequests[0], display.modes[0]);
    EXPECT_TRUE(screen.FullScreen);
    EXPECT_EQ(screen.BitCount, 16);
    EXPECT_EQ(screen.DisplayBitCount, 16);
    const TCustomDIBX* full = screen.GetSurface();
    screen.SetModeIndex(0);
    EXPECT_EQ(screen.GetSurface(), full);
    EXPECT_EQ(display.fullScreenRequests.size(), 1u);

    // The way the window switches back: the display is windowed again.
    screen.FreeDX();
    EXPECT_EQ(screen.ModeIndex, -2);
    EXPECT_EQ(screen.GetSurface(), nullptr);
    screen.SetModeIndex(-1);
    ASSERT_EQ(display.fullScreenRequests.size(), 2u);
    EXPECT_EQ(display.fullScreenRequests[1], std::nullopt);
    EXPECT_FALSE(screen.FullScreen);
    EXPECT_EQ(screen.BitCount, 32);

    // A mode the display refuses, and one that does not exist, end windowed.
    for (const int32_t index : {1, 7}) {
        screen.FreeDX();
        screen.SetModeIndex(index);
        EXPECT_EQ(screen.ModeIndex, -1);
        EXPECT_FALSE(screen.FullScreen);
        ASSERT_NE(screen.GetSurface(), nullptr);
        EXPECT_EQ(screen.GetSurface()->GetBitCount(), 32);
    }
    EXPECT_EQ(display.fullScreenRequests.size(), 3u);
}

// ---- Present ----

namespace {

class Present : public ::testing::Test {
protected:
    void SetUp() override {
        VelaInitialize();
        Bases->SetWidth(W);
        Bases->SetHeight(H);
        panel.SetBounds(10, 20, W, H);
    }
    void TearDown() override {
        delete ScreenMan;
        ScreenMan = nullptr;
        VelaFinalize();
    }
    // The screen manager over the display, its surface painted with a distinct colour per pixel.
    void Start(uint32_t DesktopBits = 32) {
        display.desktop.bitCount = DesktopBits;
        ScreenMan = new TScreenManager(&display, &panel, W, H, 0, 0);
        TCustomDIBX& s = *ScreenMan->GetSurface();
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) s.SetPixel(x, y, Source(x, y));
        Bases->GetBase(0)->ClipList.Clear();  // sizing the layers made them dirty
        Bases->GetBase(1)->ClipList.Clear();
    }
    static uint32_t Source(int32_t X, int32_t Y) { return uint32_t(X) << 16 | uint32_t(Y) << 8 | 0x5A; }
    static void Dirty(int Layer, const TRect& R) { Bases->GetBase(Layer)->AddDirtyRect(R); }
    static bool DirtyListsEmpty() {
        return Bases->GetBase(0)->ClipList.Count() == 0 && Bases->GetBase(1)->ClipList.Count() == 0;
    }
    // Every frame pixel: the source pixel Expected gives for it, or 0 (never written).
    void ExpectFrame(const std::function<std::optional<std::pair<int32_t, int32_t>>(int32_t, int32_t)>& Expected) {
        TestSurface& f = display.Frame();
        for (int32_t y = 0; y < f.describe().height; ++y)
            for (int32_t x = 0; x < f.describe().width; ++x) {
                const auto s = Expected(x, y);
                ASSERT_EQ(f.Pixel32(x, y), s ? Source(s->first, s->second) : 0u) << x << "," << y;
            }
    }
    static std::optional<std::pair<int32_t, int32_t>> Inside(const TRect& R, int32_t X, int32_t Y, int32_t SrcX,
                                                              int32_t SrcY) {
        if (X < R.Left || X >= R.Right || Y < R.Top || Y >= R.Bottom) return std::nullopt;
        return std::pair{SrcX, SrcY};
    }

    int32_t W = 64, H = 48;
    FakeDisplay display;
    TBasePanel panel;
};

// A screen large enough for more changes far apart than the dirty-rectangle list holds.
class PresentManyChanges : public Present {
protected:
    PresentManyChanges() {
        W = 640;
        H = 480;
    }
};

using Rects = std::vector<platform::PixelRect>;

}  // namespace

TEST_F(Present, OneToOneCopiesTheDirtyRectanglesAtThePanel) {
    Start();
    Dirty(0, {2, 3, 6, 5});
    Dirty(0, {40, 30, 43, 33});  // far enough from the first not to be merged with it
    Dirty(1, {0, 0, 4, 4});  // the other layer's: not shown, but emptied
    ScreenMan->Present();
    ASSERT_EQ(display.presents, (std::vector<Rects>{{{12, 23, 16, 25}, {50, 50, 53, 53}}}));
    EXPECT_EQ(ScreenMan->FrameCount, 1);
    EXPECT_TRUE(DirtyListsEmpty());
    ExpectFrame([](int32_t x, int32_t y) {
        const int32_t sx = x - 10, sy = y - 20;
        if (auto p = Inside({2, 3, 6, 5}, sx, sy, sx, sy)) return p;
        return Inside({40, 30, 43, 33}, sx, sy, sx, sy);
    });
}

// More single-pixel changes far apart than the list holds (8 x 5, 22 pixels apart): they are
// shown as the one rectangle around them all, every changed pixel with it.
TEST_F(PresentManyChanges, AreShownInTheRectangleAroundThem) {
    Start();
    for (int32_t i = 0; i < 40; ++i) {
        const int32_t x = 5 + i % 8 * 22, y = 7 + i / 8 * 22;
        Dirty(0, {x, y, x + 1, y + 1});
    }
    ASSERT_GT(40, TClipList::MaxRects);
    const TRect around{5, 7, 6 + 7 * 22, 8 + 4 * 22};
    ScreenMan->Present();
    ASSERT_EQ(display.presents, (std::vector<Rects>{{{15, 27, around.Right + 10, around.Bottom + 20}}}));
    ExpectFrame([&](int32_t x, int32_t y) { return Inside(around, x - 10, y - 20, x - 10, y - 20); });
}

TEST_F(Present, DoubleZoomDoublesEachDirtyRectangle) {
    Start();
    Bases->Zoom = 200;
    Bases->SetCurrentLayer(1);
    Dirty(1, {2, 3, 6, 5});
    ScreenMan->Present();
    ASSERT_EQ(display.presents, (std::vector<Rects>{{{14, 26, 22, 30}}}));
    ExpectFrame([](int32_t x, int32_t y) {
        return Inside({14, 26, 22, 30}, x, y, (x - 10) / 2, (y - 20) / 2);
    });
}

TEST_F(Present, OtherZoomsStretchTheWholeSurfaceClippedToTheWindow) {
    Start();
    Bases->Zoom = 150;
    panel.SetBounds(180, 140, 96, 72);  // 64x48 becomes 96x72; the frame ends at 200x150
    ScreenMan->Present();                // with no dirty rectangle at all
    ASSERT_EQ(display.presents, (std::vector<Rects>{{{180, 140, 200, 150}}}));
    EXPECT_EQ(ScreenMan->FrameCount, 1);
    ExpectFrame([](int32_t x, int32_t y) {
        return Inside({180, 140, 200, 150}, x, y, (x - 180) * 2 / 3, (y - 140) * 2 / 3);
    });
}

TEST_F(Present, ARunningTransitionShowsOnlyItsRectangle) {
    Start();
    Bases->TransRect = {1, 1, 4, 3};
    Dirty(0, {8, 8, 10, 10});
    ScreenMan->Present();
    ASSERT_EQ(display.presents, (std::vector<Rects>{{{11, 21, 14, 23}}}));
    EXPECT_TRUE(DirtyListsEmpty());
    ExpectFrame([](int32_t x, int32_t y) { return Inside({11, 21, 14, 23}, x, y, x - 10, y - 20); });
}

TEST_F(Present, NothingDirtyShowsNothingAndStillEmptiesTheLists) {
    Start();
    Dirty(1, {0, 0, 4, 4});
    ScreenMan->Present();
    EXPECT_TRUE(display.presents.empty());
    EXPECT_EQ(ScreenMan->FrameCount, 0);
    EXPECT_TRUE(DirtyListsEmpty());
}

// The layers are made at the screen's depth, again after a switch of the screen mode, so one
// layer's picture copies onto the screen (as a transition does), and the window shows the
// scene in its own format.
TEST_F(Present, TheLayersFollowTheScreensDepth) {
    EXPECT_EQ(Bases->GetBase(1)->Surface.GetBitCount(), 32);  // without a screen manager
    for (const uint32_t bits : {16u, 15u, 32u}) {
        delete ScreenMan;
        display.Frame() = TestSurface(200, 150, bits == 32 ? 32 : 16, bits == 15);
        Start(bits);
        Bases->MakePrivateDIBs();
        TVelaBase& other = *Bases->GetBase(1);
        ASSERT_EQ(other.Surface.GetBitCount(), int(bits));
        EXPECT_EQ(other.Surface2.GetBitCount(), int(bits));
        Bases->GetBase(0)->SetColor(0xFF0000);  // blue, drawn straight on the screen
        other.SetColor(0x0000FF);               // red, on the layer's own picture
        Bases->Prepare();
        ScreenMan->GetSurface()->Draw(0, 0, other.Surface, {0, 0, 8, 8}, false, false, false);
        ScreenMan->Present();
        const uint32_t red = bits == 32 ? 0xFF0000 : bits == 16 ? 0xF800 : 0x7C00, blue = bits == 32 ? 0xFF : 0x1F;
        EXPECT_EQ(display.Frame().Raw(10 + 4, 20 + 4), red) << bits;
        EXPECT_EQ(display.Frame().Raw(10 + 20, 20 + 20), blue) << bits;
    }
}

namespace {

// A film whose frame is an 8 x 6 pattern: pixel (x, y) is x << 16 | y << 8 | 0xA5, alpha 255.
class TPatternFilm : public TVideoItem {
public:
    TPatternFilm(TVideoManager* Manager, bool Capture, bool Visible) : TVideoItem(Manager, Capture), visible(Visible) {
        for (uint32_t y = 0; y < 6; ++y)
            for (uint32_t x = 0; x < 8; ++x) pixels[y * 8 + x] = 0xFF000000 | x << 16 | y << 8 | 0xA5;
    }
    bool GetVisible() override { return visible; }
    const VelaFrame* GetDC() override {
        frame = {pixels, 8, 6, 32};
        return &frame;
    }
    bool visible;
    uint32_t pixels[48];
    VelaFrame frame{};
};

}  // namespace

TEST_F(Present, VisibleWindowedVideosGoOverTheSceneAtTheirPlace) {
    Start();
    TVideoManager videos;
    VideoMan = &videos;
    videos.AddItem(std::make_unique<TPatternFilm>(&videos, false, true))->SetRect({2, 1, 6, 5}, {20, 10, 28, 18});
    // The video object draws a captured one; a hidden one shows nothing.
    videos.AddItem(std::make_unique<TPatternFilm>(&videos, true, true))->SetRect({0, 0, 8, 6}, {0, 0, 8, 6});
    videos.AddItem(std::make_unique<TPatternFilm>(&videos, false, false))->SetRect({0, 0, 8, 6}, {0, 30, 8, 36});
    Dirty(0, {8, 8, 12, 12});
    ScreenMan->Present();
    VideoMan = nullptr;
    ASSERT_EQ(display.presents, (std::vector<Rects>{{{18, 28, 22, 32}, {30, 30, 38, 38}}}));
    const TestSurface& f = display.Frame();
    for (int32_t y = 0; y < f.describe().height; ++y)
        for (int32_t x = 0; x < f.describe().width; ++x) {
            uint32_t expected = 0;
            if (x >= 30 && x < 38 && y >= 30 && y < 38)
                expected = uint32_t(2 + (x - 30) / 2) << 16 | uint32_t(1 + (y - 30) / 2) << 8 | 0xA5;
            else if (x >= 18 && x < 22 && y >= 28 && y < 32)
                expected = Source(x - 10, y - 20);
            ASSERT_EQ(f.Pixel32(x, y), expected) << x << "," << y;
        }
}
