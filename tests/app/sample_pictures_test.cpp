// The sample title's pictures as the headless window presents them: each at its place, the
// hopping figure's frames on the ticks of the fake clock, the one-shot figure handing over to its
// brightened successor, and clicks through the still figure's transparent ground.
#include "tests/app/sample_fixture.h"

#include "objects/vitemex_images.h"

#include <algorithm>

namespace {

class SamplePictures : public SampleTitle {
protected:
    void SetUp() override {
        SampleTitle::SetUp();
        TickUntil("catcher");  // the pictures page has run
    }
    static TVelaCustomImages& Image(const std::string& Name) {
        auto* image = dynamic_cast<TVelaCustomImages*>(Bases->FindObject(Name));
        if (!image) throw EVelaError("no image " + Name);
        return *image;
    }
    static uint32_t Brightened(uint32_t Pixel, uint32_t Add) {
        uint32_t r = 0;
        for (int shift = 0; shift < 24; shift += 8)
            r |= std::min<uint32_t>((Pixel >> shift & 0xFF) + Add, 255) << shift;
        return r;
    }
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

// The copies of the pictures are made again after a screen-mode switch: the still figure keeps
// its transparent ground.
TEST_F(SamplePictures, PicturesKeepTheirTransparentGroundAcrossAScreenSwitch) {
    const uint32_t box = Shown(232 + 48, 304 + 10), head = Cached("figure.mra", 0, 48, 30);
    ASSERT_EQ(box, 0x0000FFu);
    ASSERT_EQ(Shown(232 + 48, 304 + 30), head);
    for (const bool full : {true, false}) {
        form->SetFullScreen(full);
        Tick();
        EXPECT_EQ(display.fullScreen, full);
        EXPECT_EQ(Shown(232 + 48, 304 + 10), box);
        EXPECT_EQ(Shown(232 + 48, 304 + 30), head);
    }
}

}  // namespace
