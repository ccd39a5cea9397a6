// The toolbar: the flow of its items, wrapping, floating sizes and the separator.
#include "app/dockbar.h"

#include "app/dockhooks.h"
#include "graphics/dibx.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
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

// A toolbar on a top dock of a form at (0, 0), its controls given in code.
class Toolbar : public ::testing::Test {
protected:
    void SetUp() override {
        wasActive = ApplicationIsActive();
        SetApplicationActive(true);
        form.SetBounds(0, 0, 640, 480);
        dock.SetParent(&form);
        dock.SetBounds(0, 0, 640, 0);
        dock.SetAllowDrag(false);
        bar.SetParent(&dock);
    }
    void TearDown() override {
        controls.clear();
        SetApplicationActive(wasActive);
    }
    TGraphicControl& Add(int32_t Width, int32_t Height) {
        auto control = std::make_unique<TGraphicControl>();
        TGraphicControl& added = *control;
        control->SetBounds(0, 0, Width, Height);
        control->SetParent(&bar);
        controls.push_back(std::move(control));
        return added;
    }
    TWidgetForm form;
    TDockSite dock;
    TDockBar bar;
    std::vector<std::unique_ptr<TControl>> controls;
    bool wasActive = true;
};

TEST_F(Toolbar, ControlsStandInTheOrderTheyWereGivenTheToolbar) {
    TGraphicControl& a = Add(30, 18);
    TGraphicControl& b = Add(20, 18);
    TGraphicControl& c = Add(10, 18);
    EXPECT_EQ(bar.OrderList(), (std::vector<TControl*>{&a, &b, &c}));
    EXPECT_EQ(c.Left(), 50);
    // A control given again goes to the end; one taken away leaves the order.
    a.SetParent(&form);
    a.SetParent(&bar);
    b.SetParent(nullptr);
    EXPECT_EQ(bar.OrderList(), (std::vector<TControl*>{&c, &a}));
    EXPECT_EQ(a.Left(), 10);
    // A hidden control takes no room.
    c.SetVisible(false);
    EXPECT_EQ(a.Left(), 0);
    EXPECT_EQ(bar.Width(), 34);
}

TEST_F(Toolbar, ASeparatorSplitsGroupsAndPassesPressesOn) {
    Add(20, 18);
    auto sep = std::make_unique<TDockBarSep>();
    TDockBarSep& separator = *sep;
    separator.SetParent(&bar);
    controls.push_back(std::move(sep));
    Add(20, 18);
    EXPECT_EQ(separator.BoundsRect(), (TRect{20, 0, 26, 18}));
    separator.SetSizeHorz(10);
    EXPECT_EQ(controls.back()->Left(), 30);
    // A press on the separator is one on the toolbar: on a dock that allows it, a drag starts.
    dock.SetAllowDrag(true);
    separator.MouseDown(TMouseButton::mbLeft, ssLeft, 2, 2);
    ASSERT_NE(bar.DragLoop(), nullptr);
    bar.LoopKeyDown(VK_ESCAPE);
    EXPECT_EQ(bar.DragLoop(), nullptr);
}

TEST_F(Toolbar, AFloatingToolbarWrapsAtItsWrapWidthAndKeepsIt) {
    for (int i = 0; i < 4; ++i) Add(20, 10);
    bar.SetParent(&form);
    ASSERT_TRUE(bar.Floating());
    EXPECT_EQ(bar.ClientRect(), (TRect{0, 0, 88, 13}));
    bar.SetFloatRightX(50);
    EXPECT_EQ(bar.ClientRect(), (TRect{0, 0, 48, 23}));
    EXPECT_EQ(controls[2]->BoundsRect(), (TRect{4, 12, 24, 22}));
    EXPECT_EQ(bar.FloatingSizes(), (std::vector<TPoint>{{88, 13}, {48, 23}, {28, 43}}));
    // The wrap width is kept as "FloatRightX" in the position data.
    std::map<std::string, int32_t> stored;
    bar.Name = "Tools";
    bar.WritePositionData(
        [&](const std::string& Window, const std::string& Value, int32_t Data, void*) { stored[Window + "." + Value] = Data; },
        nullptr);
    EXPECT_EQ(stored, (std::map<std::string, int32_t>{{"Tools.FloatRightX", 50}}));
    bar.SetFloatRightX(0);
    bar.ReadPositionData(
        [&](const std::string& Window, const std::string& Value, int32_t Default, void*) {
            const auto it = stored.find(Window + "." + Value);
            return it == stored.end() ? Default : it->second;
        },
        nullptr);
    EXPECT_EQ(bar.FloatRightX(), 50);
    // Docked again it never wraps.
    bar.SetParent(&dock);
    EXPECT_EQ(bar.ClientRect(), (TRect{0, 0, 80, 10}));
}

TEST_F(Toolbar, ResizingAFloatingToolbarSnapsToItsSizes) {
    for (int i = 0; i < 4; ++i) Add(20, 10);
    bar.SetFloatingPosition({200, 100});
    bar.SetParent(&form);
    // Outer sizes: the floating frame adds 8 x 24.
    ASSERT_EQ(bar.BoundsRect(), (TRect{0, 0, 96, 37}));
    TDockResizeLoop resize(bar, fhRight, {295, 120});
    resize.MouseMove({285, 120});
    EXPECT_EQ(resize.Outline(), (TRect{200, 100, 296, 137}));
    resize.MouseMove({265, 120});
    EXPECT_EQ(resize.Outline(), (TRect{200, 100, 256, 147}));
    resize.LeftButtonUp();
    EXPECT_EQ(bar.FloatRightX(), 48);
    EXPECT_EQ(bar.BoundsRect(), (TRect{0, 0, 56, 47}));
    EXPECT_EQ(bar.FloatingParent()->BoundsRect(), (TRect{200, 100, 256, 147}));
    // From the left edge the right one stays.
    TDockResizeLoop left(bar, fhLeft, {200, 120});
    left.MouseMove({150, 120});
    EXPECT_EQ(left.Outline(), (TRect{160, 100, 256, 137}));
    left.Cancel();
    EXPECT_EQ(bar.FloatRightX(), 48);
}

TEST_F(Toolbar, SlavePairsShowTheControlForTheDocksDirection) {
    TGraphicControl& wide = Add(40, 18);
    TGraphicControl& tall = Add(18, 40);
    bar.SetSlaveControl(&wide, &tall);
    EXPECT_TRUE(wide.Visible());
    EXPECT_FALSE(tall.Visible());
    EXPECT_EQ(bar.ClientRect(), (TRect{0, 0, 40, 18}));
    TDockSite left;
    left.SetParent(&form);
    left.SetBounds(0, 0, 0, 480);
    left.SetPosition(dpLeft);
    left.SetAllowDrag(false);
    bar.SetParent(&left);
    EXPECT_FALSE(wide.Visible());
    EXPECT_TRUE(tall.Visible());
    EXPECT_EQ(bar.ClientRect(), (TRect{0, 0, 18, 40}));
    EXPECT_EQ(left.Width(), 18 + 4);
    bar.SetParent(&dock);
}

TEST_F(Toolbar, TheFloatingToolbarDrawsItsEtchedLines) {
    Add(20, 10);
    auto sep = std::make_unique<TDockBarSep>();
    sep->SetParent(&bar);
    controls.push_back(std::move(sep));
    Add(20, 10);
    bar.SetParent(&form);
    bar.SetFloatRightX(40);
    ASSERT_EQ(bar.LineSeps(), (std::vector<TDockBarLineSep>{{18, false}}));
    TDIBX surface;
    surface.SetSize(bar.Width(), bar.Height(), 32);
    TWidgetCanvas canvas(surface);
    bar.PaintTo(canvas, PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND | PRF_CHILDREN);
    // The client area starts at (4, 20): the line lies 4 and 3 pixels above the new row.
    const TPoint origin = bar.ClientOrigin();
    for (int32_t x : {1, 10, bar.ClientRect().Right - 2}) {
        EXPECT_EQ(canvas.GetPixel(origin.X + x, origin.Y + 14), GetSysColor(COLOR_BTNSHADOW)) << x;
        EXPECT_EQ(canvas.GetPixel(origin.X + x, origin.Y + 15), GetSysColor(COLOR_BTNHIGHLIGHT)) << x;
    }
    EXPECT_EQ(canvas.GetPixel(origin.X, origin.Y + 14), GetSysColor(COLOR_BTNFACE));
    // The caption shows active in the active caption colour.
    bar.SetCaptionActive(true);
    bar.PaintTo(canvas, PRF_NONCLIENT);
    EXPECT_EQ(canvas.GetPixel(6, 10), GetSysColor(COLOR_ACTIVECAPTION));
    bar.SetCaptionActive(false);
    bar.PaintTo(canvas, PRF_NONCLIENT);
    EXPECT_EQ(canvas.GetPixel(6, 10), GetSysColor(COLOR_INACTIVECAPTION));
}

}  // namespace
