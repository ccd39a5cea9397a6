// The game controller's map from controller.ini, and the choice of the press target a press of
// the d-pad moves the pointer to.
#include "app/padmap.h"

#include "platform/fs.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using platform::PadButton;
using platform::PadStick;

TPadAction ButtonAction(const TPadMap& Map, PadButton Button) { return Map.Buttons[size_t(Button)]; }

TEST(PadMap, ChangesOnlyWhatTheFileNamesWithoutRegardToCase) {
    std::vector<std::string> warnings;
    const TPadMap map = ParsePadMap("; swapped\r\n[BUTTONS]\r\n A = RightButton \r\nb=leftbutton\r\ndpup=none\r\n"
                                    "[sticks]\r\nright=POINTER\r\nleft=none\r\n",
                                    warnings);
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(ButtonAction(map, PadButton::A), TPadAction::RightButton);
    EXPECT_EQ(ButtonAction(map, PadButton::B), TPadAction::LeftButton);
    EXPECT_EQ(ButtonAction(map, PadButton::DpadUp), TPadAction::None);
    EXPECT_EQ(map.Sticks[size_t(PadStick::Right)], TStickAction::Pointer);
    EXPECT_EQ(map.Sticks[size_t(PadStick::Left)], TStickAction::None);
    // The rest keeps the default map.
    const TPadMap defaults = DefaultPadMap();
    for (PadButton kept : {PadButton::Start, PadButton::Back, PadButton::LeftShoulder, PadButton::DpadDown})
        EXPECT_EQ(ButtonAction(map, kept), ButtonAction(defaults, kept));
    EXPECT_EQ(ButtonAction(defaults, PadButton::Start), TPadAction::Escape);
    EXPECT_EQ(ButtonAction(defaults, PadButton::Back), TPadAction::FullScreen);
}

TEST(PadMap, JunkLinesAreLeftOutEachWithAWarning) {
    std::vector<std::string> warnings;
    const TPadMap map = ParsePadMap("a=rightbutton\n[Keys]\nq=w\nr=s\n[Buttons]\nzz=leftbutton\nb=jump\nnoequals\n"
                                    "[Sticks]\nmiddle=wheel\nleft=spin\nright=none\n",
                                    warnings);
    const std::vector<std::string> expected = {
        "controller.ini line 1: it stands in no section [Buttons] or [Sticks]; the line is left out",
        "controller.ini line 3: it stands in no section [Buttons] or [Sticks]; the line is left out",
        "controller.ini line 6: \"zz\" is no button's name; the line is left out",
        "controller.ini line 7: \"jump\" is no button's action; the line is left out",
        "controller.ini line 8: it is not name=action; the line is left out",
        "controller.ini line 10: \"middle\" is no stick's name; the line is left out",
        "controller.ini line 11: \"spin\" is no stick's action; the line is left out"};
    EXPECT_EQ(warnings, expected);
    EXPECT_EQ(ButtonAction(map, PadButton::A), TPadAction::LeftButton);
    EXPECT_EQ(ButtonAction(map, PadButton::B), TPadAction::RightButton);
    EXPECT_EQ(map.Sticks[size_t(PadStick::Right)], TStickAction::None);
}

TEST(PadMap, WarningsAreBoundedAndSoAreLinesAndTheFile) {
    std::string text = "[Buttons]\na=" + std::string(MaxPadMapLine, 'x') + "\n";
    for (int i = 0; i < 30; ++i) text += "q=none\n";
    std::vector<std::string> warnings;
    ParsePadMap(text, warnings);
    ASSERT_EQ(warnings.size(), MaxPadMapWarnings + 1);
    EXPECT_EQ(warnings.front(), "controller.ini line 2: longer than 200 characters; the line is left out");
    EXPECT_EQ(warnings.back(), "controller.ini: 23 more lines are left out");

    const std::string folder = FreshHostFolder();
    std::ofstream(folder + "controller.ini") << "[Buttons]\n" << std::string(MaxPadMapFile, ';') << "\na=escape\n";
    warnings.clear();
    const TPadMap map = ReadPadMap(platform::fs::ToProgramPath(folder + "controller.ini"), warnings);
    EXPECT_EQ(warnings, std::vector<std::string>{
                            "controller.ini is longer than 16384 bytes: the game controller keeps its own map"});
    EXPECT_EQ(ButtonAction(map, PadButton::A), TPadAction::LeftButton);

    warnings.clear();
    ReadPadMap(platform::fs::ToProgramPath(folder + "missing.ini"), warnings);
    EXPECT_TRUE(warnings.empty());
}

// Targets: a column of three rows and one button to the right of the middle row.
struct Target {
    TRect area;
    TPoint at;
};
const std::vector<Target> Screen = {{{100, 100, 200, 120}, {150, 110}},
                                    {{100, 120, 200, 140}, {150, 130}},
                                    {{100, 140, 200, 160}, {150, 150}},
                                    {{300, 100, 340, 160}, {320, 130}}};

std::optional<TPoint> Choose(TPoint Pointer, TPadDirection Direction) {
    TPressTargetChoice choice(Pointer, Direction);
    for (const Target& t : Screen) choice.Offer(t.area, t.at);
    return choice.Chosen();
}

TEST(PressTargetChoice, TheFirstPressTakesTheNearestThenEachGoesThatWay) {
    // Off every target: the nearest, whichever way.
    EXPECT_EQ(Choose({10, 10}, TPadDirection::Up), (TPoint{150, 110}));
    EXPECT_EQ(Choose({400, 200}, TPadDirection::Left), (TPoint{320, 130}));
    // On the middle row: the rows above and below, the button to the right.
    EXPECT_EQ(Choose({150, 130}, TPadDirection::Down), (TPoint{150, 150}));
    EXPECT_EQ(Choose({150, 130}, TPadDirection::Up), (TPoint{150, 110}));
    EXPECT_EQ(Choose({150, 130}, TPadDirection::Right), (TPoint{320, 130}));
    // From the button, left goes to the row level with it, not to a nearer one across.
    EXPECT_EQ(Choose({320, 130}, TPadDirection::Left), (TPoint{150, 130}));
    // Nothing that way: the pointer stays.
    EXPECT_EQ(Choose({150, 130}, TPadDirection::Left), std::nullopt);
    EXPECT_EQ(Choose({150, 150}, TPadDirection::Down), std::nullopt);
    TPressTargetChoice none({5, 5}, TPadDirection::Down);
    EXPECT_FALSE(none.Any());
    EXPECT_EQ(none.Chosen(), std::nullopt);
}

}  // namespace
