// The tool window: its docked and floating frames, the floating hit test and caption, the push
// back onto the screen and where a drop-down menu opens.
#include "app/dockwindow.h"

#include "app/dockbar.h"
#include "app/dockhooks.h"
#include "graphics/dibx.h"
#include "platform/system.h"

#include <gtest/gtest.h>

#include <memory>
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

// A form at (100, 50) on the desktop with a top dock where windows may be dragged; each tool
// window is a toolbar holding one 40 x 20 control (docked 53 x 24, floating 56 x 47).
class ToolWindows : public ::testing::Test {
protected:
    void SetUp() override {
        wasActive = ApplicationIsActive();
        SetApplicationActive(true);
        platform::SetDisplayMetrics({});
        form.SetBounds(100, 50, 640, 480);
        top.SetParent(&form);
        top.SetBounds(0, 0, 640, 0);
    }
    void TearDown() override {
        controls.clear();
        bars.clear();
        SetApplicationActive(wasActive);
        platform::SetDisplayMetrics({});
    }
    TDockBar& NewBar(const std::string& Name, int32_t Width = 40, int32_t Height = 20) {
        auto bar = std::make_unique<TDockBar>();
        bar->Name = Name;
        auto control = std::make_unique<TGraphicControl>();
        control->SetBounds(0, 0, Width, Height);
        control->SetParent(bar.get());
        controls.push_back(std::move(control));
        bars.push_back(std::move(bar));
        return *bars.back();
    }
    // A window floating with its outer top-left at a desktop point.
    TDockBar& FloatingBar(const std::string& Name, TPoint At) {
        TDockBar& bar = NewBar(Name);
        bar.SetFloatingPosition(At);
        bar.SetParent(&form);
        return bar;
    }
    TWidgetForm form;
    TDockSite top;
    std::vector<std::unique_ptr<TDockBar>> bars;
    std::vector<std::unique_ptr<TGraphicControl>> controls;
    bool wasActive = true;
};

TEST_F(ToolWindows, SetParentRaisesItsEventsInOrder) {
    TDockBar& bar = NewBar("Bar1");
    std::vector<std::string> events;
    bar.OnDockChanging = [&](TControl*) { events.push_back("changing"); };
    bar.OnDockChangingEx = [&](TControl*, TDockSite* To) { events.push_back(To ? "to dock" : "to none"); };
    bar.OnRecreating = [&](TControl*) { events.push_back("recreating"); };
    bar.OnRecreated = [&](TControl*) { events.push_back(bar.Docked() ? "recreated docked" : "recreated floating"); };
    bar.OnDockChanged = [&](TControl*) { events.push_back("changed"); };
    bar.SetParent(&top);
    EXPECT_EQ(events, (std::vector<std::string>{"changing", "to dock", "recreating", "recreated docked", "changed"}));
    EXPECT_EQ(bar.LastDock(), &top);
    events.clear();
    bar.SetDockedTo(nullptr);
    EXPECT_EQ(events, (std::vector<std::string>{"changing", "to none", "recreating", "recreated floating", "changed"}));
    ASSERT_TRUE(bar.Floating());
    EXPECT_EQ(bar.FloatingParent()->ParentForm(), &form);
    EXPECT_EQ(bar.FloatingParent()->Name.rfind("DockFloatingWindowParent_", 0), 0u);
    EXPECT_EQ(TCustomDockWindow::FloatingList(), (std::vector<TCustomDockWindow*>{&bar}));
    // The last dock still counts the window among its own, though not among those it shows.
    EXPECT_EQ(top.DockList(), (std::vector<TCustomDockWindow*>{&bar}));
    EXPECT_TRUE(top.DockVisibleList().empty());
    EXPECT_EQ(top.Height(), 0);
    // The same parent again changes nothing.
    events.clear();
    bar.SetParent(&form);
    EXPECT_TRUE(events.empty());
}

TEST_F(ToolWindows, SetParentRefusesOtherParentsWithTheirTexts) {
    TDockBar& bar = NewBar("Bar1");
    TWinControl panel;
    panel.SetParent(&form);
    bool changing = false;
    bar.OnDockChanging = [&](TControl*) { changing = true; };
    try {
        bar.SetParent(&panel);
        FAIL();
    } catch (const EInvalidOperation& e) {
        EXPECT_STREQ(e.what(), "A tool window can only be placed on a TDockSite or directly on the form");
    }
    try {
        bar.SetDockedTo(nullptr);
        FAIL();
    } catch (const EInvalidOperation& e) {
        EXPECT_STREQ(e.what(), "コントロール 'Bar1' は親ウィンドウを持っていません");
    }
    EXPECT_FALSE(changing);
    EXPECT_EQ(bar.Parent(), nullptr);
    TDockBarSep sep;
    try {
        sep.SetParent(&panel);
        FAIL();
    } catch (const EInvalidOperation& e) {
        EXPECT_STREQ(e.what(), "TDockBarSep can only be placed on a TDockBar");
    }
}

TEST_F(ToolWindows, ADoubleClickDocksAFloatingWindowWhereItBelongs) {
    TDockBar& first = NewBar("First");
    first.SetParent(&top);
    // Back to its last dock.
    TDockBar& back = NewBar("Back");
    back.SetDockRow(1);
    back.SetParent(&top);
    back.SetDockedTo(nullptr);
    back.DoubleClickDock();
    EXPECT_EQ(back.DockedTo(), &top);
    EXPECT_EQ(back.DockRow(), 1);
    // Without a last dock, to the default dock, before every other window of row 0.
    TDockBar& def = FloatingBar("Default", {300, 300});
    def.SetUseLastDock(false);
    def.SetDefaultDock(&top);
    def.DoubleClickDock();
    EXPECT_EQ(def.DockedTo(), &top);
    EXPECT_EQ(def.DockRow(), 0);
    EXPECT_EQ(def.Left(), 0);
    EXPECT_EQ(first.Left(), 53);
    // With neither nothing happens.
    TDockBar& lost = FloatingBar("Lost", {300, 300});
    lost.DoubleClickDock();
    EXPECT_TRUE(lost.Floating());
    // A docked window that may float floats, one that may not stays.
    first.DockMode = dmCannotFloat;
    first.DoubleClickDock();
    EXPECT_TRUE(first.Docked());
    first.DockMode = dmCanFloat;
    first.DoubleClickDock();
    EXPECT_TRUE(first.Floating());
}

TEST_F(ToolWindows, HoldingCtrlNeverDocks) {
    TDockBar& bar = FloatingBar("Bar1", {300, 300});
    ASSERT_EQ(bar.BoundsRect(), (TRect{0, 0, 56, 47}));
    // Grabbed in the caption, dragged onto the top of the form.
    TDockDragLoop drag(bar, {328, 311});
    EXPECT_EQ(drag.Candidates(), (std::vector<TDockSite*>{&top}));
    drag.MouseMove({200, 52}, true);
    EXPECT_EQ(drag.Target(), nullptr);
    EXPECT_EQ(drag.Outline(), (TRect{172, 41, 228, 88}));
    EXPECT_EQ(drag.OutlineThickness(), FloatingSizingFrame);
    // Ctrl let go: the docked outline keeps the grab point's proportional place.
    drag.CtrlChanged(false);
    EXPECT_EQ(drag.Target(), &top);
    EXPECT_EQ(drag.Outline(), (TRect{174, 47, 227, 71}));
    EXPECT_EQ(drag.OutlineThickness(), 1);
    drag.CtrlChanged(true);
    drag.LeftButtonUp();
    EXPECT_TRUE(drag.Accepted());
    EXPECT_TRUE(bar.Floating());
    EXPECT_EQ(bar.FloatingPosition(), (TPoint{172, 41}));
    EXPECT_EQ(bar.FloatingParent()->BoundsRect(), (TRect{172, 41, 228, 88}));

    TDockDragLoop dock(bar, {200, 52});
    dock.MouseMove({200, 52}, false);
    dock.LeftButtonUp();
    EXPECT_EQ(bar.DockedTo(), &top);
    EXPECT_EQ(bar.BoundsRect(), (TRect{74, 0, 127, 24}));
    EXPECT_EQ(bar.DockPos(), 74);

    // The same through the floating window's own events, Ctrl held on its keyboard.
    TDockBar& other = FloatingBar("Other", {600, 300});
    TFloatingWindowParent& parent = *other.FloatingParent();
    parent.DispatchKeyDown(VK_CONTROL);
    parent.DispatchMouseDown(TMouseButton::mbLeft, 28, 11);
    ASSERT_NE(other.DragLoop(), nullptr);
    parent.DispatchMouseMove(200 - 600, 52 - 300);
    EXPECT_EQ(other.DragLoop()->Target(), nullptr);
    parent.DispatchMouseUp(TMouseButton::mbLeft, 200 - 600, 52 - 300);
    EXPECT_EQ(other.DragLoop(), nullptr);
    EXPECT_TRUE(other.Floating());
    EXPECT_EQ(other.FloatingPosition(), (TPoint{172, 41}));
}

TEST_F(ToolWindows, AFullSizeWindowDroppedOnAnOccupiedRowOpensANewRow) {
    TDockBar& a = NewBar("A");
    a.SetParent(&top);
    ASSERT_EQ(top.Height(), 24);
    TDockBar& full = FloatingBar("Full", {300, 300});
    full.SetFullSize(true);
    TDockDragLoop drag(full, {328, 323});
    drag.MouseMove({300, 62}, false);
    ASSERT_EQ(drag.Target(), &top);
    EXPECT_EQ(drag.TargetRow(), (TDockRowHit{0, false}));
    drag.LeftButtonUp();
    EXPECT_EQ(full.DockRow(), 0);
    EXPECT_EQ(a.DockRow(), 1);
    EXPECT_EQ(full.BoundsRect(), (TRect{0, 0, 640, 24}));
    EXPECT_EQ(a.Top(), 24);
    EXPECT_EQ(top.Height(), 48);
}

TEST_F(ToolWindows, ADropJoinsARowOrOpensOneNearItsEdge) {
    TDockBar& a = NewBar("A");
    a.SetParent(&top);
    TDockBar& b = FloatingBar("B", {300, 300});
    TDockDragLoop join(b, {328, 323});
    join.MouseMove({300, 62}, false);
    join.LeftButtonUp();
    EXPECT_EQ(b.DockRow(), 0);
    EXPECT_EQ(a.DockRow(), 0);
    EXPECT_EQ(b.Left(), 174);
    // Dropped with its centre 2 pixels into the dock: a row of its own before row 0.
    b.SetDockedTo(nullptr);
    TDockDragLoop before(b, {b.FloatingPosition().X + 28, b.FloatingPosition().Y + 23});
    before.MouseMove({300, 52}, false);
    EXPECT_EQ(before.TargetRow(), (TDockRowHit{0, true}));
    before.LeftButtonUp();
    EXPECT_EQ(b.DockRow(), 0);
    EXPECT_EQ(a.DockRow(), 1);
}

TEST_F(ToolWindows, TheDockedFrameShowsItsEdgeAndGrips) {
    TDockBar& bar = NewBar("Bar1");
    bar.SetParent(&top);
    TDIBX surface;
    surface.SetSize(53, 24, 32);
    TWidgetCanvas canvas(surface);
    bar.PaintTo(canvas, PRF_NONCLIENT);
    const TColor light = GetSysColor(COLOR_BTNHIGHLIGHT), dark = GetSysColor(COLOR_BTNSHADOW),
                 face = GetSysColor(COLOR_BTNFACE);
    EXPECT_EQ(canvas.GetPixel(0, 0), light);
    EXPECT_EQ(canvas.GetPixel(52, 23), dark);
    EXPECT_EQ(canvas.GetPixel(1, 1), face);
    // Two grips, 3 pixels wide, from x 3 and 6; each one's bottom-left corner in the highlight.
    for (int32_t left : {3, 6}) {
        EXPECT_EQ(canvas.GetPixel(left, 10), light) << left;
        EXPECT_EQ(canvas.GetPixel(left + 1, 10), face) << left;
        EXPECT_EQ(canvas.GetPixel(left + 2, 10), dark) << left;
        EXPECT_EQ(canvas.GetPixel(left + 1, 21), dark) << left;
        EXPECT_EQ(canvas.GetPixel(left, 21), light) << left;
    }
    EXPECT_EQ(canvas.GetPixel(9, 10), face);
    bar.SetBorderStyle(bsNone);
    bar.PaintTo(canvas, PRF_NONCLIENT);
    EXPECT_EQ(canvas.GetPixel(0, 0), face);
    EXPECT_EQ(canvas.GetPixel(52, 23), face);
}

TEST_F(ToolWindows, AFormThatGoesLeavesTheDockFormsAndOwnsNoMore) {
    TDockBar& bar = FloatingBar("Bar1", {300, 300});
    auto other = std::make_unique<TWidgetForm>();
    bar.AddDockForm(other.get());
    bar.AddDockForm(other.get());
    EXPECT_EQ(bar.DockForms().size(), 1u);
    other.reset();
    EXPECT_TRUE(bar.DockForms().empty());
    // Escape in the floating window goes to the form it belongs to.
    struct TEscapeCounter : TGraphicControl {
        int Count = 0;
        bool DialogKey(int32_t Key, TShiftState) override { return Key == VK_ESCAPE && ++Count > 0; }
    } counter;
    counter.SetParent(&form);
    EXPECT_TRUE(bar.FloatingParent()->DialogKey(VK_ESCAPE, 0));
    EXPECT_FALSE(bar.FloatingParent()->DialogKey(VK_ESCAPE, ssShift));
    EXPECT_EQ(counter.Count, 1);
}

TEST_F(ToolWindows, NoHandleNoDragOnADockThatForbidsIt) {
    TDockBar& bar = NewBar("Bar1");
    top.SetAllowDrag(false);
    bar.SetParent(&top);
    EXPECT_EQ(bar.NonClientMargins(), (TRect{2, 2, 2, 2}));
    bar.MouseDown(TMouseButton::mbLeft, ssLeft, 5, 5);
    EXPECT_EQ(bar.DragLoop(), nullptr);
    top.SetAllowDrag(true);
    EXPECT_EQ(bar.NonClientMargins(), (TRect{11, 2, 2, 2}));
    // On the handle (left of the client area) a drag starts; letting go in place keeps it there.
    bar.MouseDown(TMouseButton::mbLeft, ssLeft, -5, 5);
    ASSERT_NE(bar.DragLoop(), nullptr);
    EXPECT_EQ(bar.DragLoop()->Target(), &top);
    bar.MouseUp(TMouseButton::mbLeft, 0, -5, 5);
    EXPECT_EQ(bar.DragLoop(), nullptr);
    EXPECT_EQ(bar.DockedTo(), &top);
    EXPECT_EQ(bar.Left(), 0);
}

TEST_F(ToolWindows, AWindowThatMayNotFloatShowsNoOutlineAwayFromTheDocks) {
    TDockBar& bar = NewBar("Bar1");
    bar.SetParent(&top);
    bar.DockMode = dmCannotFloat;
    TDockDragLoop drag(bar, {104, 55});
    drag.MouseMove({500, 400}, false);
    EXPECT_FALSE(drag.OutlineVisible());
    EXPECT_TRUE(drag.NoEntryCursor());
    drag.LeftButtonUp();
    EXPECT_FALSE(drag.Accepted());
    EXPECT_EQ(bar.DockedTo(), &top);
    // One that may not change docks either only ever sees its own.
    TDockSite bottom;
    bottom.SetParent(&form);
    bottom.SetBounds(0, 480, 640, 0);
    bottom.SetPosition(dpBottom);
    EXPECT_EQ(TDockDragLoop(bar, {104, 55}).Candidates(), (std::vector<TDockSite*>{&top, &bottom}));
    bar.DockMode = dmCannotFloatOrChangeDocks;
    EXPECT_EQ(TDockDragLoop(bar, {104, 55}).Candidates(), (std::vector<TDockSite*>{&top}));
    // Escape (or any cancel) ends a drag without a change.
    bar.DockMode = dmCanFloat;
    TDockDragLoop cancelled(bar, {104, 55});
    cancelled.MouseMove({500, 400}, false);
    cancelled.Cancel();
    cancelled.LeftButtonUp();
    EXPECT_EQ(bar.DockedTo(), &top);
}

TEST_F(ToolWindows, AFloatingWindowDroppedOffTheScreenIsPushedBack) {
    platform::SetDisplayMetrics({{0, 0, 1920, 1080}, 1920, 1080, {0, 0, 1920, 1040}});
    TDockBar& bar = FloatingBar("Bar1", {300, 300});
    TDockDragLoop drag(bar, {328, 311});
    drag.MouseMove({1900, 1030}, false);
    EXPECT_EQ(drag.Outline(), (TRect{1872, 1019, 1928, 1066}));
    drag.LeftButtonUp();
    EXPECT_EQ(bar.FloatingPosition(), (TPoint{1864, 993}));
}

TEST_F(ToolWindows, AFloatingWindowFollowsItsFormAndTheApplication) {
    TDockBar& bar = FloatingBar("Bar1", {300, 300});
    TFloatingWindowParent& parent = *bar.FloatingParent();
    EXPECT_TRUE(parent.Shown());
    EXPECT_EQ(parent.OwnerForm(), &form);
    SetApplicationActive(false);
    EXPECT_FALSE(parent.Shown());
    bar.SetHideWhenInactive(false);
    EXPECT_TRUE(parent.Shown());
    SetFormMinimized(&form, true);
    EXPECT_FALSE(parent.Shown());
    SetFormMinimized(&form, false);
    SetApplicationMinimized(true);
    EXPECT_FALSE(parent.Shown());
    SetApplicationMinimized(false);
    form.SetVisible(false);
    UpdateFloatingVisibility();
    EXPECT_FALSE(parent.Shown());
    form.SetVisible(true);
    UpdateFloatingVisibility();
    bar.SetVisible(false);
    EXPECT_FALSE(parent.Shown());
    bar.SetVisible(true);
    EXPECT_TRUE(parent.Shown());
}

TEST_F(ToolWindows, WindowsOnTopOfAllFormsStayAboveTheOthers) {
    TDockBar& a = FloatingBar("A", {300, 300});
    TDockBar& all = FloatingBar("All", {400, 300});
    all.SetFloatingMode(fmOnTopOfAllForms);
    TDockBar& c = FloatingBar("C", {500, 300});
    EXPECT_EQ(all.FloatingParent()->OwnerForm(), nullptr);
    EXPECT_TRUE(all.FloatingParent()->Topmost());
    EXPECT_FALSE(a.FloatingParent()->Topmost());
    EXPECT_EQ(FloatingZOrder(),
              (std::vector<TFloatingWindowParent*>{a.FloatingParent(), c.FloatingParent(), all.FloatingParent()}));
}

TEST_F(ToolWindows, TheCloseButtonClosesWhenReleasedOnIt) {
    TDockBar& bar = FloatingBar("Bar1", {300, 300});
    // The close button: window (39, 6) to (50, 17); the client area starts at (4, 20).
    bool allow = false;
    int closed = 0;
    bar.OnCloseQuery = [&](TControl*, bool& CanClose) { CanClose = allow; };
    bar.OnClose = [&](TControl*) { ++closed; };
    bar.MouseDown(TMouseButton::mbLeft, ssLeft, 40, -9);
    EXPECT_TRUE(bar.CloseButtonPushed());
    bar.MouseMove(ssLeft, 10, 10);
    EXPECT_FALSE(bar.CloseButtonPushed());
    bar.MouseUp(TMouseButton::mbLeft, 0, 10, 10);
    EXPECT_TRUE(bar.Visible());
    bar.MouseDown(TMouseButton::mbLeft, ssLeft, 40, -9);
    bar.MouseUp(TMouseButton::mbLeft, 0, 40, -9);
    EXPECT_TRUE(bar.Visible());
    allow = true;
    bar.MouseDown(TMouseButton::mbLeft, ssLeft, 40, -9);
    bar.MouseUp(TMouseButton::mbLeft, 0, 40, -9);
    EXPECT_FALSE(bar.Visible());
    EXPECT_FALSE(bar.FloatingParent()->Shown());
    EXPECT_EQ(closed, 1);
}

}  // namespace
