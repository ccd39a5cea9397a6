// The sample title's image map as the headless window presents it: the pond lights under the
// pointer while the gate stays as it is, and a click on the pond chooses it, which takes the map
// away.
#include "tests/app/sample_fixture.h"

#include "script/params_vars.h"

namespace {

class SampleMap : public SampleTitle {
protected:
    void Move(int32_t X, int32_t Y) {
        platform::InputEvent e;
        e.kind = platform::InputKind::MouseMove;
        e.x = form->BasePanel.Left + X;
        e.y = form->BasePanel.Top + Y;
        display.inject(e);
        Tick(2);
    }
};

TEST_F(SampleMap, ThePondLightsUnderThePointerAndAClickChoosesIt) {
    for (int tick = 0; tick < 4000 && !Bases->FindObject("menumap"); ++tick) Tick();
    ASSERT_NE(Bases->FindObject("menumap"), nullptr);
    Tick(2);
    // The map lies at (200, 300): the pond's middle at (135, 55) of it, the gate's at (50, 55).
    EXPECT_TRUE(Near(Shown(335, 355), 0x2850AA, 8));
    Move(335, 355);
    EXPECT_TRUE(Near(Shown(335, 355), 0x78DCFF, 8));
    EXPECT_TRUE(Near(Shown(250, 355), 0x9696A0, 8));
    Click(335, 355);
    EXPECT_EQ(ParamMan->SelStr(), "池");
    EXPECT_EQ(ParamMan->SelIndex(), 1);
    EXPECT_EQ(Bases->FindObject("menumap"), nullptr);
}

}  // namespace
