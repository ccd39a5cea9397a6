// The tool window: its docked and floating frames, the floating hit test and caption, the push
// back onto the screen and where a drop-down menu opens.
#include "app/dockwindow.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(DockFrame, TheDragHandleFollowsItsStyleAndTheDock) {
    EXPECT_EQ(DragHandleSize(dhDouble, false), 9);
    EXPECT_EQ(DragHandleSize(dhNone, false), 0);
    EXPECT_EQ(DragHandleSize(dhSingle, false), 6);
    for (TDragHandleStyle style : {dhDouble, dhNone, dhSingle}) EXPECT_EQ(DragHandleSize(style, true), 14);

    // A dock that lets nothing be dragged: the 2-pixel frame alone.
    const TDockedFrame plain = DockedFrame(dtTopBottom, 138, 22, false, dhDouble, true);
    EXPECT_EQ(plain.ClientInset, (TRect{2, 2, 2, 2}));
    EXPECT_TRUE(RectIsEmpty(plain.Handle));
    EXPECT_TRUE(RectIsEmpty(plain.CloseButton));
    EXPECT_TRUE(plain.Grips.empty());

    // Two grips, each 3 pixels thick, along a handle at the left.
    const TDockedFrame top = DockedFrame(dtTopBottom, 100, 22, true, dhDouble, false);
    EXPECT_EQ(top.ClientInset, (TRect{11, 2, 2, 2}));
    EXPECT_EQ(top.Handle, (TRect{2, 2, 11, 20}));
    EXPECT_EQ(top.Grips, (std::vector<TRect>{{3, 2, 6, 20}, {6, 2, 9, 20}}));

    // With the close button: an 11-pixel square, the grips stop short of it.
    const TDockedFrame close = DockedFrame(dtTopBottom, 100, 40, true, dhSingle, true);
    EXPECT_EQ(close.ClientInset.Left, 16);
    EXPECT_EQ(close.CloseButton, (TRect{3, 2, 14, 13}));
    ASSERT_EQ(close.Grips.size(), 1u);
    EXPECT_EQ(close.Grips[0].Top, 15);
    // On a left or right dock the handle lies across the top, the button at its right end.
    const TDockedFrame side = DockedFrame(dtLeftRight, 30, 100, true, dhDouble, true);
    EXPECT_EQ(side.ClientInset, (TRect{2, 16, 2, 2}));
    EXPECT_EQ(side.CloseButton, (TRect{17, 3, 28, 14}));
    EXPECT_EQ(side.Grips.front().Right, 15);
}

TEST(DockFrame, TheFloatingFrameAndItsHitTest) {
    const TFloatingFrame frame = FloatingFrame(100, true, true, true);
    EXPECT_EQ(frame.ClientInset, (TRect{4, 20, 4, 4}));
    EXPECT_EQ(frame.Caption, (TRect{4, 4, 96, 19}));
    EXPECT_EQ(frame.CloseButton, (TRect{83, 6, 94, 17}));
    EXPECT_EQ(FloatingFrame(100, false, false, true).ClientInset, (TRect{3, 3, 3, 3}));

    struct Case {
        TPoint p;
        TFloatingHit hit;
    };
    // 100 x 60: the corners reach 15 - 1 + 4 = 18 pixels along each edge.
    const std::vector<Case> cases = {
        {{50, 10}, fhClient},     {{85, 10}, fhClose},       {{50, 40}, fhClient},      {{0, 0}, fhTopLeft},
        {{17, 0}, fhTopLeft},     {{18, 0}, fhTop},          {{0, 17}, fhTopLeft},      {{0, 18}, fhLeft},
        {{99, 0}, fhTopRight},    {{82, 1}, fhTopRight},     {{99, 30}, fhRight},       {{50, 59}, fhBottom},
        {{0, 59}, fhBottomLeft},  {{99, 42}, fhBottomRight}, {{50, 19}, fhNowhere},     {{100, 10}, fhNowhere},
    };
    for (const Case& c : cases) EXPECT_EQ(FloatingHitTest(frame, 100, 60, true, c.p), c.hit) << c.p.X << "," << c.p.Y;
    // A fixed window's border is no edge.
    EXPECT_EQ(FloatingHitTest(FloatingFrame(100, false, true, true), 100, 60, false, {0, 30}), fhNowhere);
}

TEST(DockFrame, ALongCaptionLosesCharactersBeforeItsDots) {
    const auto measure = [](const std::string& S) { return static_cast<int32_t>(S.size()) * 6; };
    EXPECT_EQ(FitCaptionText("Tools", 30, measure), "Tools");
    EXPECT_EQ(FitCaptionText("ToolWindow", 40, measure), "Too...");
    // However narrow, it stops once shorter than 5 characters.
    EXPECT_EQ(FitCaptionText("ToolWindow", 5, measure), "T...");
    // A double-byte character goes whole.
    EXPECT_EQ(FitCaptionText("ツールバー", 40, measure), "ツ...");
}

TEST(DockFrame, AFloatingWindowIsPushedBackIntoTheWorkArea) {
    const std::vector<TMonitorArea> one = {{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}}};
    struct Case {
        TRect in;
        bool onlyWhenFullyOff;
        TRect out;
    };
    const std::vector<Case> cases = {
        {{100, 100, 300, 200}, false, {100, 100, 300, 200}},
        // Right and bottom overshoot.
        {{1800, 1000, 2000, 1100}, false, {1720, 940, 1920, 1040}},
        // Left and top are put right last: a window larger than the area shows its top-left.
        {{-50, -20, 2000, 1200}, false, {0, 0, 2050, 1220}},
        // Off the left edge only.
        {{-100, 10, 50, 60}, false, {0, 10, 150, 60}},
        // The only-when-fully-off variant leaves a window that meets the work area.
        {{1800, 1000, 2000, 1100}, true, {1800, 1000, 2000, 1100}},
        {{2000, 10, 2100, 60}, true, {1820, 10, 1920, 60}},
    };
    for (const Case& c : cases) EXPECT_EQ(MoveOnScreen(c.in, one, c.onlyWhenFullyOff), c.out);
    // Two monitors: the one holding most of the window counts.
    const std::vector<TMonitorArea> two = {{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}},
                                           {{1920, 0, 3200, 1024}, {1920, 30, 3200, 1024}}};
    EXPECT_EQ(MoveOnScreen({3000, 0, 3300, 100}, two), (TRect{2900, 30, 3200, 130}));
    EXPECT_EQ(MoveOnScreen({1900, 500, 2000, 600}, two), (TRect{1920, 500, 2020, 600}));
    EXPECT_EQ(MoveOnScreen({5000, 500, 5100, 600}, two), (TRect{3100, 500, 3200, 600}));
}

TEST(DockFrame, ADropDownMenuOpensBesideItsButton) {
    const TRect button = {100, 50, 167, 68};
    const TDockPosition left = dpLeft, right = dpRight, top = dpTop;
    EXPECT_EQ(DropdownPopupPlacement(button, nullptr), (TPopupPlacement{{100, 68}, false}));
    EXPECT_EQ(DropdownPopupPlacement(button, &top), (TPopupPlacement{{100, 68}, false}));
    EXPECT_EQ(DropdownPopupPlacement(button, &left), (TPopupPlacement{{167, 50}, false}));
    EXPECT_EQ(DropdownPopupPlacement(button, &right), (TPopupPlacement{{100, 50}, true}));
}

}  // namespace
