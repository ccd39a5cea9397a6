// The sample title's table pages as the headless window presents them: the run count kept in
// the status data grows from one run to the next, F1 tells it in a message box, and the
// screenshot taken into a memory file is shown on the screen after it.
#include "tests/app/sample_fixture.h"

#include "platform/encoding.h"
#include "script/services.h"

namespace {

class SampleTables : public SampleTitle {
protected:
    // Plays the title until the shot is on screen, presses F1 there and plays on to the end.
    // The text of the message box F1 brought up.
    std::string PlayWithF1() {
        for (int tick = 0; tick < 3000 && !Bases->FindObject("tablesshot"); ++tick) Tick();
        EXPECT_NE(Bases->FindObject("tablesshot"), nullptr);
        for (platform::InputKind kind : {platform::InputKind::KeyDown, platform::InputKind::KeyUp}) {
            platform::InputEvent e;
            e.kind = kind;
            e.key = 0x70;
            display.inject(e);
            Tick(2);
        }
        for (int tick = 0; tick < 200 && !Terminating(); ++tick) Tick();
        EXPECT_TRUE(Terminating());
        return display.choices.empty() ? std::string() : platform::Cp932ToUtf8(display.choices.back().text);
    }
};

TEST_F(SampleTables, TheRunCountSurvivesARestartAndTheShotIsShown) {
    for (int tick = 0; tick < 3000 && !Bases->FindObject("tablesshot"); ++tick) Tick();
    ASSERT_NE(Bases->FindObject("tablesshot"), nullptr);
    Tick(2);
    // The shot is the screen at half size: the gallery's screen in its corner, the dark panel in
    // its middle; the image shows it on the panel at (280, 200).
    EXPECT_TRUE(Near(Cached("mem:shot.mra", 0, 4, 4), 0x183060, 8));
    EXPECT_TRUE(Near(Cached("mem:shot.mra", 0, 160, 120), 0x202020, 8));
    for (const auto& [x, y] : {std::pair{4, 4}, {160, 120}, {300, 200}})
        EXPECT_EQ(Shown(280 + x, 200 + y), Cached("mem:shot.mra", 0, x, y)) << x << "," << y;

    EXPECT_EQ(PlayWithF1(), U8(u8"このサンプルの起動は 1 回目です"));
    TearDown();
    SetUp();
    EXPECT_EQ(PlayWithF1(), U8(u8"このサンプルの起動は 2 回目です"));
    EXPECT_EQ(display.choices.back().caption, platform::Utf8ToCp932(U8(u8"情報")));
}

}  // namespace
