// The sample title's preview menu as the headless window presents it: the radio group's down
// picture with its preview, the selection moved by the page when nobody chooses, and a chosen
// button's settle animation ending with the menu.
#include "tests/app/sample_fixture.h"

#include "objects/vitemex_prevmenu.h"
#include "script/params_vars.h"

namespace {

class SamplePrevMenu : public SampleTitle {
protected:
    TVelaPrevMenu* Menu() { return dynamic_cast<TVelaPrevMenu*>(Bases->FindObject("prevmenu")); }
    std::string PreviewOf(int32_t Entry) {
        const TVelaPrevImages* preview = Menu()->GetPreview(Entry);
        return preview ? preview->GetSource() : "";
    }
    void MoveTo(int32_t X, int32_t Y) {
        platform::InputEvent e;
        e.kind = platform::InputKind::MouseMove;
        e.x = form->BasePanel.Left + X;
        e.y = form->BasePanel.Top + Y;
        display.inject(e);
        Tick();
    }
    // Whether the last frame presented shows the 96 x 72 picture Name with its top left at
    // (Left, Top), compared every fourth pixel.
    static constexpr int32_t PreviewLeft = 520, PreviewTop = 370 + 14;
    ::testing::AssertionResult ShowsPicture(int32_t Left, int32_t Top, const std::string& Name) {
        for (int32_t y = 0; y < 72; y += 4)
            for (int32_t x = 0; x < 96; x += 4)
                if (Shown(Left + x, Top + y) != Cached(Name, 0, x, y))
                    return ::testing::AssertionFailure() << Name << " not shown at " << x << ", " << y;
        return ::testing::AssertionSuccess();
    }
};

TEST_F(SamplePrevMenu, TheRadioGroupMovesByItselfAndTheMenuCloses) {
    for (int tick = 0; tick < 3000 && !Menu(); ++tick) Tick();
    ASSERT_NE(Menu(), nullptr);
    Tick();
    EXPECT_EQ(Menu()->GetText(), "start\r\nnoise\r\ngradient");
    EXPECT_TRUE(Menu()->GetPrevValue1(1));
    EXPECT_EQ(PreviewOf(1), "noise_8bit_m0.mra");
    EXPECT_EQ(Shown(160 + 10, 384 + 10), Cached("noise.mra", 0, 10, 10));  // the down picture
    for (int tick = 0; tick < 100 && !Menu()->GetPrevValue1(2); ++tick) Tick();
    EXPECT_TRUE(Menu()->GetPrevValue1(2));
    EXPECT_EQ(PreviewOf(1), "");
    EXPECT_EQ(PreviewOf(2), "gradient_4bit_m2.mra");
    Tick();
    EXPECT_EQ(Shown(300 + 10, 384 + 10), Cached("gradient.mra", 0, 10, 10));
    EXPECT_TRUE(ShowsPicture(PreviewLeft, PreviewTop, "gradient_4bit_m2.mra"));
    for (int tick = 0; tick < 100 && Menu(); ++tick) Tick();
    EXPECT_EQ(Menu(), nullptr);
}

TEST_F(SamplePrevMenu, AChosenButtonSettlesAndTheMenuGoes) {
    for (int tick = 0; tick < 3000 && !Menu(); ++tick) Tick();
    ASSERT_NE(Menu(), nullptr);
    MoveTo(60, 420);
    EXPECT_EQ(Menu()->GetEntry(0)->GetSource(), "shapes.mra");
    EXPECT_EQ(PreviewOf(0), "gradient.mra");
    Click(60, 420);
    ASSERT_NE(Menu(), nullptr);
    EXPECT_EQ(Menu()->GetEntry(0)->GetSource(), "figure.mra");
    EXPECT_EQ(PreviewOf(0), "layered.mra");
    EXPECT_EQ(ParamMan->SelStr(), "start");
    // The settle preview stays on top of the radio group's preview until the menu goes.
    int ticks = 0;
    while (Menu() && ticks < 100) {
        EXPECT_TRUE(ShowsPicture(PreviewLeft, PreviewTop, "layered.mra")) << "tick " << ticks;
        Tick();
        ++ticks;
    }
    EXPECT_EQ(Menu(), nullptr);
    EXPECT_GE(ticks * 16, 480 - 4 * 16);  // the hopping figure's four frames of 120 ms
}

}  // namespace
