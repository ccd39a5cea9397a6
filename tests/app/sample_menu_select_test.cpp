// The sample title's selection menu as the headless window presents it: the framed menu with its
// scroll strip and check mark, opened by growing; Down and Enter choose the first line and the
// menu closes itself; left alone it scrolls down and is closed by its page.
#include "tests/app/sample_fixture.h"

#include "objects/vitemex_menu.h"
#include "script/params_vars.h"

namespace {

class SampleMenuSelect : public SampleTitle {
protected:
    void SetUp() override {
        SampleTitle::SetUp();
        for (int tick = 0; tick < 4000 && !Bases->FindObject("choice"); ++tick) Tick();
        menu = dynamic_cast<TVelaMenu*>(Bases->FindObject("choice"));
        ASSERT_NE(menu, nullptr);
    }
    void Key(uint16_t Code) {
        for (platform::InputKind kind : {platform::InputKind::KeyDown, platform::InputKind::KeyUp}) {
            platform::InputEvent e;
            e.kind = kind;
            e.key = Code;
            display.inject(e);
            Tick();
        }
    }
    bool Gone() const { return Bases->FindObject("choice") == nullptr; }
    TVelaMenu* menu = nullptr;
};

TEST_F(SampleMenuSelect, OpensFramedWithItsStripAndCheckThenDownAndEnterChoose) {
    Tick();
    EXPECT_LT(menu->GetHeight(), menu->GetOrigheight());  // growing over 300 ms
    Tick(25);
    ASSERT_EQ(menu->GetOpenState(), 0);
    const int32_t width = menu->GetWidth();
    EXPECT_EQ(menu->GetHeight(), 5 * 16 + 4 * 6 + 4 + 12);
    EXPECT_EQ(Shown(236, 96), 0x80A0C0u);  // the frame
    // The strip's up arrow at the inner right edge, the check mark of line 1 before its text.
    for (int32_t y = 0; y < 12; ++y)
        for (int32_t x = 0; x < 12; ++x)
            ASSERT_EQ(Shown(236 + width - 2 - 12 + x, 98 + y), Cached("menustrip.mra", 0, x, y)) << x << "," << y;
    for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 10; ++x)
            ASSERT_EQ(Shown(246 + x, 126 + 3 + y), Cached("menucheck.mra", 0, x, y)) << x << "," << y;

    Key(0x28);  // Down: the first line
    Key(0x0D);
    EXPECT_EQ(ParamMan->SelStr(), "はじめから");
    EXPECT_EQ(ParamMan->SelIndex(), 0);
    Tick(3);
    EXPECT_TRUE(Gone());
}

TEST_F(SampleMenuSelect, LeftAloneItScrollsDownAndItsPageClosesIt) {
    int tick = 0;
    for (; tick < 200 && menu->GetTopindex() != 3; ++tick) Tick();
    EXPECT_EQ(menu->GetTopindex(), 3);
    for (; tick < 200 && !Gone(); ++tick) Tick();
    EXPECT_TRUE(Gone());
    EXPECT_GT(tick, 80);  // about 1.5 s open, then 300 ms closing
}

}  // namespace
