// The sample title's menu screen as the headless window presents it: the buttons' looks under
// the pointer with the caption pressed in, a click's green look, a click moving the radio group's
// selection, and the screen closing by itself.
#include "tests/app/sample_fixture.h"

#include <algorithm>

namespace {

// The plate colours of the button's looks (0x00RRGGBB), away from rim and caption.
constexpr uint32_t Normal = 0x465AA0, Hover = 0x6E8CDC, Pressed = 0x28326E, Clicked = 0x3CA05A;
// A point inside the plate of each button (the panel at (170, 110), the buttons at x 90).
constexpr int32_t PlateX = 270, StartY = 150, SlowY = 246, MiddleY = 286, FastY = 326;

TEST_F(SampleTitle, TheMenuButtonsAnswerThePointerAndTheRadioGroupKeepsOneSelected) {
    for (int tick = 0; tick < 3000 && !Bases->FindObject("menufast"); ++tick) Tick();
    ASSERT_TRUE(Bases->FindObject("menufast"));
    Tick(2);
    EXPECT_EQ(Shown(PlateX, StartY), Normal);
    EXPECT_EQ(Shown(PlateX, MiddleY), Pressed);  // the selected member of the group
    EXPECT_EQ(Shown(PlateX, SlowY), Normal);

    platform::InputEvent move;
    move.kind = platform::InputKind::MouseMove;
    move.x = form->BasePanel.Left + PlateX;
    move.y = form->BasePanel.Top + StartY;
    display.inject(move);
    Tick(2);
    EXPECT_EQ(Shown(PlateX, StartY), Hover);
    // The clicked look's one frame of 100 ms plays once; the normal look follows, the pointer
    // still on the button, until the pointer moves.
    Click(PlateX, StartY);
    EXPECT_EQ(Shown(PlateX, StartY), Clicked);
    Tick(6);
    EXPECT_EQ(Shown(PlateX, StartY), Normal);

    // The caption, centred, moves one pixel right and down with the pressed look.
    auto caption = [this](int32_t Top, uint32_t Plate) {
        TPoint corner{1000, 1000};
        for (int32_t y = Top + 3; y < Top + 29; ++y)
            for (int32_t x = PlateX - 7; x < PlateX + 107; ++x)
                if (Shown(x, y) != Plate) {
                    corner.X = std::min(corner.X, x);
                    corner.Y = std::min(corner.Y, y);
                }
        return corner;
    };
    const TPoint up = caption(SlowY - 16, Normal);
    EXPECT_LT(up.X, PlateX + 50);

    Click(PlateX, SlowY);
    Tick();
    EXPECT_TRUE(Bases->FindObject("menuslow")->GetSelected());
    EXPECT_FALSE(Bases->FindObject("menunormal")->GetSelected());
    EXPECT_EQ(Shown(PlateX, SlowY), Pressed);
    EXPECT_EQ(Shown(PlateX, MiddleY), Normal);
    const TPoint down = caption(SlowY - 16, Pressed);
    EXPECT_EQ(down.X, up.X + 1);
    EXPECT_EQ(down.Y, up.Y + 1);

    // Unattended the page selects the last member, then closes the screen.
    for (int tick = 0; tick < 200 && !Bases->FindObject("menufast")->GetSelected(); ++tick) Tick();
    EXPECT_FALSE(Bases->FindObject("menuslow")->GetSelected());
    for (int tick = 0; tick < 200 && Bases->FindObject("menupanel"); ++tick) Tick();
    EXPECT_FALSE(Bases->FindObject("menupanel"));
    EXPECT_FALSE(Bases->FindObject("menufast"));
}

}  // namespace
