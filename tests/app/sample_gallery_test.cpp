// The sample title's transition gallery as the headless window presents it: two screens flipped
// through a transition of each family, the box carried across, the old screen cleared, and the
// title running to its end.
#include "tests/app/sample_fixture.h"

#include "script/services.h"

namespace {

// The screens' colours as the window shows them (0x00RRGGBB).
constexpr uint32_t First = 0x183060, Second = 0x306018;

TEST_F(SampleTitle, TheGalleryFlipsBetweenItsScreensAndTheTitleEnds) {
    // Ticks until the running transition is of Type (0: none), at most Limit ticks.
    auto until = [this](int32_t Type, int Limit = 200) {
        while (Bases->GetWipeType() != Type && Limit-- > 0) Tick();
        return Bases->GetWipeType() == Type;
    };
    // Through the mask image onto the first screen, then through black onto the second: a frame
    // of that transition shows neither screen.
    ASSERT_TRUE(until(19, 1000));
    ASSERT_TRUE(until(13));
    const uint32_t first = Bases->FindControl("screen1")->GetSerial();
    bool between = false;
    while (Bases->GetWipeType() == 13) {
        const uint32_t shown = Shown(10, 10);
        between = between || (shown != First && shown != Second);
        Tick();
    }
    EXPECT_TRUE(between);
    // The ripple back to the first screen, made anew on the back layer after the old one was
    // cleared away; the box came along.
    ASSERT_EQ(Bases->GetWipeType(), 24);
    TVelaControl* again = Bases->FindControl("screen1");
    ASSERT_NE(again, nullptr);
    EXPECT_NE(again->GetSerial(), first);
    EXPECT_EQ(Bases->FindControl("gallerybox")->GetParent(), again->GetParent());
    EXPECT_EQ(Bases->FindControl("screen2")->GetParent(), Bases->GetBase(Bases->GetCurrentLayer()));
    ASSERT_TRUE(until(0));
    Tick();
    EXPECT_EQ(Shown(10, 10), First);
    EXPECT_EQ(Shown(570, 430), 0xFFC000u);

    // The wait, the menu screen, and the title closes by itself.
    for (int tick = 0; tick < 400 && !Terminating(); ++tick) Tick();
    EXPECT_TRUE(Terminating());
}

}  // namespace
