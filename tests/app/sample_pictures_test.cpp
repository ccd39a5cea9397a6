// The sample title's pictures as the headless window presents them: each at its place, the
// hopping figure's frames on the ticks of the fake clock, the one-shot figure handing over to its
// brightened successor, and clicks through the still figure's transparent ground.
#include "app/view.h"

#include "app/entry.h"
#include "media/velabind.h"
#include "objects/vitemex_images.h"
#include "objects/vitemex_mira.h"
#include "objects/vitems.h"
#include "platform/fs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

using platform::InputEvent;
using platform::InputKind;

const std::string SampleFolder = VELA_SAMPLE_FOLDER "/", PlayerFolder = VELA_PLAYER_FOLDER "/";

class SamplePictures : public testing::Test {
protected:
    void SetUp() override {
        BindVelaLibrary(platform::fs::ToProgramPath(PlayerFolder));
        InitializeShell();
        form = std::make_unique<TFormView>(display, platform::fs::ToProgramPath(SampleFolder + "velaplay"),
                                           std::vector<std::string>{});
        form->UseLoopThread = false;
        form->FormCreate();
        // Ticks until the pictures page has run.
        while (!Bases->FindObject("catcher")) Tick();
    }
    void TearDown() override {
        form.reset();
        FinalizeShell();
        UnbindVelaLibrary();
    }
    void Tick(int Count = 1) {
        for (int i = 0; i < Count; ++i) {
            InputEvent event;
            while (form->Display.waitEvent(event, 0)) form->HandleEvent(event);
            now += 16;
            RunTick(form->Clock, now, 16, [this] { form->DoLoop(); });
        }
    }
    void Click(int32_t X, int32_t Y) {
        for (InputKind kind : {InputKind::MouseDown, InputKind::MouseUp}) {
            InputEvent e;
            e.kind = kind;
            e.x = form->BasePanel.Left + X;
            e.y = form->BasePanel.Top + Y;
            e.button = platform::MouseButton::Left;
            display.inject(e);
            Tick();
        }
        Tick();
    }
    // A pixel of the base panel in the last frame presented, 0x00RRGGBB.
    uint32_t Shown(int32_t X, int32_t Y) const {
        return display.frames.back().pixel(form->BasePanel.Left + X, form->BasePanel.Top + Y);
    }
    static TVelaCustomImages& Image(const std::string& Name) {
        auto* image = dynamic_cast<TVelaCustomImages*>(Bases->FindObject(Name));
        if (!image) throw EVelaError("no image " + Name);
        return *image;
    }
    // Pixel (X, Y) of frame Index of the cached picture of Name.
    static uint32_t Cached(const std::string& Name, int Index, int32_t X, int32_t Y) {
        TMiraItem& item = MiraMan->Acquire(&user, Name, false, false);
        const uint32_t pixel = item.GetFrame(Index)->Surface->GetPixel(X, Y) & 0xFFFFFF;
        item.Release(&user);
        return pixel;
    }
    // Whether two pixels differ by at most Tolerance in every channel (smoothed and stretched
    // draws sample between the picture's pixels).
    static bool Near(uint32_t A, uint32_t B, int Tolerance) {
        for (int shift = 0; shift < 24; shift += 8)
            if (std::abs(int(A >> shift & 0xFF) - int(B >> shift & 0xFF)) > Tolerance) return false;
        return true;
    }
    static uint32_t Brightened(uint32_t Pixel, uint32_t Add) {
        uint32_t r = 0;
        for (int shift = 0; shift < 24; shift += 8)
            r |= std::min<uint32_t>((Pixel >> shift & 0xFF) + Add, 255) << shift;
        return r;
    }

    platform::HeadlessDisplay display;
    std::unique_ptr<TFormView> form;
    uint32_t now = 1000;
    static inline int user = 0;  // the cache user of the pictures the test reads
};

TEST_F(SamplePictures, EachPictureIsShownAtItsPlace) {
    Tick();
    // Opaque points of the layered picture and of its mirror image (whose left places its right
    // edge); the hopping figure's head.
    EXPECT_EQ(Shown(200 + 10, 130 + 5), Cached("layered.mra", 0, 10, 5));
    EXPECT_EQ(Shown(40 + 10, 210 + 5), Cached("layered.mra", 0, 95 - 10, 5));
    const int frame = Image("hopper").GetIndex();
    const int32_t headY = 72 - 6 - std::vector<int32_t>{0, 10, 16, 10}[frame] - 36;
    EXPECT_EQ(Shown(380 + 48, 60 + headY), Cached("figure.mra", frame, 48, headY));
    // The tile's pattern scrolled by the ticks the animation page ran.
    const int32_t sx = Image("ground").GetScrollx(), sy = Image("ground").GetScrolly();
    ASSERT_GT(sx, 0);
    EXPECT_EQ(Shown(335, 20), Cached("noise.mra", 0, (5 + sx) % 96, (20 + sy) % 72));
    // The turning picture's pivot is the gradient's middle; the zoomed one's width follows its zoom.
    EXPECT_NE(Image("turner").GetAngle(), 0);
    EXPECT_TRUE(Image("turner").GetAntialias());
    EXPECT_TRUE(Near(Shown(440, 330), Cached("gradient.mra", 0, 48, 36), 2));
    const int32_t width = Image("zoomer").GetWidth();
    EXPECT_EQ(width, static_cast<int32_t>(std::lround(96 * Image("zoomer").GetFloatzoomx())));
    EXPECT_TRUE(Near(Shown(490 + width - 2, 160 + 40), Cached("shapes.mra", 0, 96 * (width - 2) / width, 40), 2));
}

TEST_F(SamplePictures, TheFigureHopsOnTheTicksOfItsFrames) {
    // Frames of 120 ms on ticks of 16 ms, stepped from the tick that made it: each loop of
    // 480 ms is exactly 30 ticks.
    for (int step = 1; step <= 70; ++step) {
        EXPECT_EQ(Image("hopper").GetIndex(), 16 * step % 480 / 120) << step;
        Tick();
    }
}

TEST_F(SamplePictures, TheOneShotHoldsItsLastFrameThenHandsOver) {
    // Its last frame comes up after 360 ms and is held for its 120 ms and the 300 ms of its
    // delay expression.
    Tick(40);
    ASSERT_NE(Bases->FindObject("once"), nullptr);
    EXPECT_EQ(Image("once").GetIndex(), 3);
    EXPECT_EQ(Bases->FindObject("bright"), nullptr);
    Tick(12);
    EXPECT_EQ(Bases->FindObject("once"), nullptr);
    TVelaCustomImages& bright = Image("bright");
    Tick();
    const int frame = bright.GetIndex();
    const int32_t headY = 72 - 6 - std::vector<int32_t>{0, 10, 16, 10}[frame] - 36;
    EXPECT_EQ(Shown(380 + 48, 160 + headY), Brightened(Cached("figure.mra", frame, 48, headY), 96));
}

TEST_F(SamplePictures, ClicksPassThroughTheStillFiguresTransparentGround) {
    TVelaControl* blue = Bases->FindControl("blue");
    Click(232 + 48, 304 + 45);  // on its body: it takes the click
    EXPECT_EQ(blue->GetColor(), 0xFF0000);
    Click(232 + 48, 304 + 10);  // above its head: the box below takes it
    EXPECT_EQ(blue->GetColor(), 0x00FFFF);
    EXPECT_EQ(Shown(232 + 48, 304 + 10), 0xFFFF00u);
}

}  // namespace
