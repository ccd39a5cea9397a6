// The toolbar: the flow of its items, wrapping, floating sizes and the separator.
#include "app/dockbar.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TDockBarFlowItem Control(int32_t Width, int32_t Height) { return {Width, Height}; }
TDockBarFlowItem Sep(bool Blank = false) { return {0, 0, true, 6, 6, Blank}; }

TEST(DockBarFlow, DockedItemsFollowOneAnotherAndNeverWrap) {
    // The player's toolbar: two 67 x 18 buttons.
    const TDockBarFlow flow = FlowDockBarItems({Control(67, 18), Control(67, 18)}, false, false, 0);
    EXPECT_EQ(flow.Bounds, (std::vector<TRect>{{0, 0, 67, 18}, {67, 0, 134, 18}}));
    EXPECT_EQ(flow.Width, 134);
    EXPECT_EQ(flow.Height, 18);
    EXPECT_EQ(flow.BaseSize, 18);
    // However narrow the wrap width, a docked toolbar keeps one row.
    const TDockBarFlow narrow = FlowDockBarItems({Control(30, 10), Sep(), Control(30, 10), Control(30, 10)}, false,
                                                 false, 20);
    EXPECT_EQ(narrow.Height, 10);
    EXPECT_EQ(narrow.Width, 96);
    EXPECT_TRUE(narrow.LineSeps.empty());
}

TEST(DockBarFlow, ControlsAreCentredAcrossTheRowAndSeparatorsSpanIt) {
    const TDockBarFlow flow = FlowDockBarItems({Control(20, 10), Sep(), Control(20, 18)}, false, false, 0);
    EXPECT_EQ(flow.Bounds, (std::vector<TRect>{{0, 4, 20, 14}, {20, 0, 26, 18}, {26, 0, 46, 18}}));
    // On a left or right dock the items run downwards and the row is the widest control.
    const TDockBarFlow down = FlowDockBarItems({Control(20, 10), Sep(), Control(24, 10)}, false, true, 0);
    EXPECT_EQ(down.Bounds, (std::vector<TRect>{{2, 0, 22, 10}, {0, 10, 24, 16}, {0, 16, 24, 26}}));
    EXPECT_EQ(down.Width, 24);
    EXPECT_EQ(down.Height, 26);
    // An empty toolbar's rows are 8 thick.
    EXPECT_EQ(FlowDockBarItems({}, false, false, 0).BaseSize, 8);
}

TEST(DockBarFlow, FloatingToolbarsHaveMarginsAndWrap) {
    // Margins: 4 left, 2 top, 4 right, 1 bottom.
    const TDockBarFlow one = FlowDockBarItems({Control(20, 10)}, true, false, 0);
    EXPECT_EQ(one.Bounds.front(), (TRect{4, 2, 24, 12}));
    EXPECT_EQ(one.Width, 28);
    EXPECT_EQ(one.Height, 13);
    // A wrap width under the widest control + 8 wraps at that width: one control a row.
    const TDockBarFlow tight = FlowDockBarItems({Control(30, 10), Control(30, 10), Control(30, 10)}, true, false, 10);
    EXPECT_EQ(tight.Width, 38);
    EXPECT_EQ(tight.Height, 2 + 30 + 1);
    EXPECT_EQ(tight.Bounds[2], (TRect{4, 22, 34, 32}));
}

TEST(DockBarFlow, RowsSplitAtASeparatorAreSixPixelsFurtherApart) {
    // Inside a group the next row is one row further.
    const TDockBarFlow inside = FlowDockBarItems({Control(20, 10), Control(20, 10)}, true, false, 40);
    EXPECT_EQ(inside.Bounds[1], (TRect{4, 12, 24, 22}));
    EXPECT_TRUE(inside.LineSeps.empty());
    // At a separator the whole group moves 6 pixels further; the separator shrinks to nothing and
    // an etched line is recorded at the new row.
    const TDockBarFlow split = FlowDockBarItems({Control(20, 10), Sep(), Control(20, 10)}, true, false, 40);
    EXPECT_EQ(split.Bounds[2], (TRect{4, 18, 24, 28}));
    EXPECT_EQ(split.Bounds[1].Right - split.Bounds[1].Left, 0);
    EXPECT_EQ(split.LineSeps, (std::vector<TDockBarLineSep>{{18, false}}));
    EXPECT_EQ(split.Height, 18 + 10 + 1);
    // A group following one that wrapped inside starts a new row as well.
    const TDockBarFlow after = FlowDockBarItems(
        {Control(20, 10), Control(20, 10), Control(20, 10), Sep(true), Control(4, 10)}, true, false, 52);
    EXPECT_EQ(after.Bounds[4].Top, 12 + 10 + 6);
    EXPECT_EQ(after.LineSeps, (std::vector<TDockBarLineSep>{{28, true}}));
}

TEST(DockBarFlow, FloatingSizesKeepTheNarrowestOfEachHeight) {
    const std::vector<TDockBarFlowItem> four(4, Control(20, 10));
    // 88 x 13 on one row, 68 x 23 and 48 x 23 on two (only the narrower kept), 28 x 43 on four.
    EXPECT_EQ(DockBarFloatingSizes(four), (std::vector<TPoint>{{88, 13}, {48, 23}, {28, 43}}));
    // A control wider than the rest ends the list once nothing narrower can be had.
    EXPECT_EQ(DockBarFloatingSizes({Control(10, 10), Control(10, 10), Control(40, 10)}),
              (std::vector<TPoint>{{68, 13}, {48, 23}}));
}

TEST(DockBarFlow, AResizedEdgeSnapsBetweenTheFloatingSizes) {
    const std::vector<TPoint> sizes = {{88, 13}, {48, 23}, {28, 43}};
    // The zone is 12 pixels, or the smaller gap to a neighbour less 1.
    EXPECT_EQ(FloatingSizeSnapZone(sizes, 1, true), 12);
    EXPECT_EQ(FloatingSizeSnapZone(sizes, 1, false), 9);
    EXPECT_EQ(FloatingSizeSnapZone({{30, 1}, {25, 2}, {20, 3}}, 1, true), 4);
    EXPECT_EQ(FloatingSizeSnapZone({{30, 1}, {30, 2}}, 0, true), 0);
    struct Case {
        bool byWidth;
        int32_t proposed, chosen;
    };
    const std::vector<Case> cases = {
        {true, 48, 1}, {true, 60, 1}, {true, 36, 1}, {true, 61, 1}, {true, 88, 0}, {true, 200, 0},
        {true, 35, 2}, {true, 5, 2},  {false, 32, 1}, {false, 33, 1}, {false, 43, 2}, {false, 13, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SnapFloatingSize(sizes, 1, c.byWidth, c.proposed, c.byWidth ? 12 : 9), c.chosen)
            << c.byWidth << " " << c.proposed;
}

}  // namespace
