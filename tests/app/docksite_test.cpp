// The dock: its rows, bands and overlaps, its thickness and the windows it holds.
#include "app/docksite.h"

#include "app/dockbar.h"
#include "app/dockhooks.h"
#include "graphics/dibx.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

TDockRowItem Item(int32_t Row, int32_t Pos, int32_t Length, int32_t Base = 18, bool FullSize = false) {
    return {Row, Pos, Length, Base, FullSize};
}

std::vector<int32_t> Rows(const std::vector<TDockRowItem>& Items) {
    std::vector<int32_t> rows;
    for (const TDockRowItem& item : Items) rows.push_back(item.Row);
    return rows;
}

std::vector<int32_t> Positions(const std::vector<TDockRowItem>& Items) {
    std::vector<int32_t> positions;
    for (const TDockRowItem& item : Items) positions.push_back(item.Pos);
    return positions;
}

std::vector<int32_t> Shown(const TDockRowLayout& Layout) {
    std::vector<int32_t> along;
    for (const TDockRowPlace& place : Layout.Places) along.push_back(place.Along);
    return along;
}

TEST(DockRows, OverlappingWindowsOfARowLieSideBySide) {
    std::vector<TDockRowItem> items = {Item(0, 20, 50), Item(0, 0, 50), Item(0, 30, 40)};
    const TDockRowLayout layout = ArrangeDockRows(items, 500, false, false);
    // Sorted by position: the second window first; the stored positions move out of the way.
    EXPECT_EQ(Positions(items), (std::vector<int32_t>{50, 0, 100}));
    EXPECT_EQ(Shown(layout), (std::vector<int32_t>{50, 0, 100}));
}

TEST(DockRows, WindowsThatDoNotFitArePushedBackButNeverOntoTheirNeighbour) {
    struct Case {
        std::vector<TDockRowItem> items;
        int32_t available;
        std::vector<int32_t> shown, stored;
    };
    const std::vector<Case> cases = {
        // The last one is pushed back to end at the dock's end.
        {{Item(0, 0, 30), Item(0, 60, 30)}, 80, {0, 50}, {0, 60}},
        // It pushes its neighbour back too.
        {{Item(0, 30, 30), Item(0, 60, 30)}, 80, {20, 50}, {30, 60}},
        // Neither fits: the first stays at 0, the second starts at its end and overruns.
        {{Item(0, 0, 60), Item(0, 60, 60)}, 80, {0, 60}, {0, 60}},
        // A negative position starts at 0.
        {{Item(0, -8, 30), Item(0, 0, 30)}, 200, {0, 30}, {0, 30}},
    };
    for (const Case& c : cases) {
        // Without clipping only what is displayed moves back; with it the stored positions too.
        std::vector<TDockRowItem> items = c.items;
        EXPECT_EQ(Shown(ArrangeDockRows(items, c.available, false, false)), c.shown);
        EXPECT_EQ(Positions(items), c.stored);
        std::vector<TDockRowItem> clipped = c.items;
        ArrangeDockRows(clipped, c.available, false, true);
        EXPECT_EQ(Positions(clipped), c.shown);
    }
}

TEST(DockRows, BlankRowsCloseUp) {
    // The only window of row 1 went: row 2 becomes row 1; several blank rows in a row all go.
    std::vector<TDockRowItem> items = {Item(0, 0, 10), Item(2, 0, 10), Item(5, 0, 10), Item(5, 20, 10)};
    RemoveBlankDockRows(items);
    EXPECT_EQ(Rows(items), (std::vector<int32_t>{0, 1, 2, 2}));
    std::vector<TDockRowItem> late = {Item(3, 0, 10)};
    RemoveBlankDockRows(late);
    EXPECT_EQ(Rows(late), (std::vector<int32_t>{0}));
}

TEST(DockRows, AFullSizeWindowKeepsItsRowToItself) {
    std::vector<TDockRowItem> items = {Item(0, 0, 40), Item(0, 50, 40, 18, true), Item(1, 0, 40)};
    const TDockRowLayout layout = ArrangeDockRows(items, 300, false, false);
    // Every other window at its row or past it moves one row on.
    EXPECT_EQ(Rows(items), (std::vector<int32_t>{1, 0, 2}));
    EXPECT_EQ(items[1].Pos, 0);
    EXPECT_EQ(layout.Places[1].Length, 300);
}

TEST(DockRows, LimitToOneRowPutsEveryWindowInRowZero) {
    std::vector<TDockRowItem> items = {Item(0, 0, 40), Item(3, 0, 40)};
    const TDockRowLayout layout = ArrangeDockRows(items, 300, true, false);
    EXPECT_EQ(Rows(items), (std::vector<int32_t>{0, 0}));
    EXPECT_EQ(Shown(layout), (std::vector<int32_t>{0, 40}));
}

TEST(DockRows, RowsStackWithTheDockedFrame) {
    // Rows take their thickest window (at least 8) plus 2 pixels each side; an empty row nothing.
    std::vector<TDockRowItem> items = {Item(0, 0, 40, 18), Item(0, 50, 40, 12), Item(1, 0, 40, 3)};
    const TDockRowLayout layout = ArrangeDockRows(items, 300, false, false);
    EXPECT_EQ(layout.RowSizes, (std::vector<int32_t>{18, 8}));
    EXPECT_EQ(layout.Thickness, 22 + 12);
    EXPECT_EQ(layout.Places[2].Across, 22);
    EXPECT_EQ(layout.Places[1].Thickness, 22);
    EXPECT_EQ(DockRowSizes({Item(0, 0, 1, 5), Item(2, 0, 1, 30)}), (std::vector<int32_t>{8, 0, 30}));
    EXPECT_EQ(DockHighestRow({}), -1);
}

TEST(DockRows, ADropFindsItsRowAndAsksForNewRowsNearTheEdges) {
    // Row 0 is 18 thick (band 0..22), row 1 is skipped (empty), row 2 is 10 thick (band 22..36).
    const std::vector<int32_t> sizes = {18, 0, 10};
    struct Case {
        int32_t coord;
        TDockRowHit hit;
    };
    const std::vector<Case> cases = {
        {-3, {0, true}}, {4, {0, true}},   {5, {0, false}}, {16, {0, false}}, {17, {2, true}},
        {26, {2, true}}, {27, {2, false}}, {30, {2, false}}, {31, {3, true}}, {40, {3, true}},
        {41, {3, false}}, {500, {3, false}},
    };
    for (const Case& c : cases) EXPECT_EQ(DockRowAt(sizes, c.coord), c.hit) << c.coord;
    // An empty dock: every drop makes row 0.
    EXPECT_EQ(DockRowAt({}, 100).Row, 0);
}

// The player's window: a top dock that lets nothing be dragged, with a bottom bound line, holding
// a borderless toolbar with two 67 x 18 buttons.
class PlayerDock : public ::testing::Test {
protected:
    void SetUp() override {
        form.SetBounds(100, 50, 563, 503);
        dock.SetParent(&form);
        dock.SetBounds(0, 0, 563, 9);
        dock.SetAllowDrag(false);
        dock.SetBoundLines(BoundLineBit(blBottom));
        bar.SetBorderStyle(bsNone);
        bar.SetParent(&dock);
        for (TGraphicControl* button : {&quit, &screen}) {
            button->SetBounds(0, 0, 67, 18);
            button->SetParent(&bar);
        }
        dock.SetBounds(0, 0, 563, 18 + 4);
    }
    TWidgetForm form;
    TDockSite dock;
    TDockBar bar;
    TGraphicControl quit, screen;
};

TEST_F(PlayerDock, TheDockIsTheToolbarsRowAndItsBoundLine) {
    EXPECT_EQ(dock.Height(), 18 + 4 + 1);
    EXPECT_EQ(dock.ClientRect(), (TRect{0, 0, 563, 22}));
    EXPECT_EQ(bar.BoundsRect(), (TRect{0, 0, 138, 22}));
    EXPECT_EQ(bar.NonClientMargins(), (TRect{2, 2, 2, 2}));
    EXPECT_EQ(quit.BoundsRect(), (TRect{0, 0, 67, 18}));
    EXPECT_EQ(screen.BoundsRect(), (TRect{67, 0, 134, 18}));
    // Asking for another thickness changes nothing: the rows decide.
    dock.SetBounds(0, 0, 640, 40);
    EXPECT_EQ(dock.Height(), 23);
}

TEST_F(PlayerDock, TheBoundLineAndTheBorderlessFrameAreDrawn) {
    TDIBX surface;
    surface.SetSize(563, 23, 32);
    TWidgetCanvas canvas(surface);
    canvas.FillRect({0, 0, 563, 23}, clBlack);
    dock.PaintTo(canvas, PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND | PRF_CHILDREN);
    for (int32_t x : {0, 100, 562}) EXPECT_EQ(canvas.GetPixel(x, 22), GetSysColor(COLOR_BTNHIGHLIGHT)) << x;
    // The toolbar's frame is flat in the dock's colour: no edge at its corners.
    EXPECT_EQ(canvas.GetPixel(0, 0), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(canvas.GetPixel(137, 21), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(canvas.GetPixel(300, 10), GetSysColor(COLOR_BTNFACE));
}

TEST_F(PlayerDock, AnEmptyDockIsNoThickerThanFixAlignAsks) {
    std::vector<std::string> events;
    dock.OnInsertRemoveBar = [&](TDockSite*, bool Inserting, TCustomDockWindow*) {
        events.push_back(Inserting ? "in" : "out");
    };
    bar.SetVisible(false);
    EXPECT_EQ(dock.Height(), 0);
    EXPECT_TRUE(dock.DockVisibleList().empty());
    EXPECT_EQ(dock.DockList().size(), 1u);
    dock.SetFixAlign(true);
    EXPECT_EQ(dock.Height(), 1);
    bar.SetVisible(true);
    EXPECT_EQ(dock.Height(), 23);
    EXPECT_EQ(events, (std::vector<std::string>{"out", "in"}));
}

TEST_F(PlayerDock, WhatCannotGoIntoOrChangeOnADock) {
    TDockSite inner;
    try {
        inner.SetParent(&bar);
        FAIL();
    } catch (const EInvalidOperation& e) {
        EXPECT_STREQ(e.what(), "A TDockSite control cannot be placed inside a tool window or another TDockSite");
    }
    EXPECT_THROW(inner.SetParent(&dock), EInvalidOperation);
    EXPECT_EQ(inner.Parent(), nullptr);
    try {
        dock.SetPosition(dpLeft);
        FAIL();
    } catch (const EInvalidOperation& e) {
        EXPECT_STREQ(e.what(), "Cannot change Position of a TDockSite if it already contains controls");
    }
    EXPECT_EQ(dock.Position(), dpTop);
    inner.SetPosition(dpRight);
    EXPECT_EQ(inner.Position(), dpRight);
}

// A form with docks where tool windows may be dragged, each window a toolbar with one control.
class DockRowsOnAForm : public ::testing::Test {
protected:
    TDockBar& AddBar(TDockSite& Dock, int32_t Row, int32_t Pos, int32_t Width = 40, int32_t Height = 20) {
        auto bar = std::make_unique<TDockBar>();
        auto control = std::make_unique<TGraphicControl>();
        control->SetBounds(0, 0, Width, Height);
        bar->SetDockRow(Row);
        bar->SetDockPos(Pos);
        bar->SetParent(&Dock);
        control->SetParent(bar.get());
        controls.push_back(std::move(control));
        bars.push_back(std::move(bar));
        return *bars.back();
    }
    void SetUp() override {
        form.SetBounds(0, 0, 400, 300);
        top.SetParent(&form);
        top.SetBounds(0, 0, 400, 0);
        bottom.SetParent(&form);
        bottom.SetBounds(0, 300, 400, 0);
        bottom.SetPosition(dpBottom);
    }
    void TearDown() override {
        controls.clear();
        bars.clear();
    }
    TWidgetForm form;
    TDockSite top, bottom;
    std::vector<std::unique_ptr<TDockBar>> bars;
    std::vector<std::unique_ptr<TGraphicControl>> controls;
};

TEST_F(DockRowsOnAForm, RowsStackAndABottomDockKeepsItsBottomEdge) {
    // Each window: a 9-pixel handle, the 2-pixel frame, a 40 x 20 control.
    TDockBar& a = AddBar(top, 0, 0);
    TDockBar& b = AddBar(top, 1, 0);
    EXPECT_EQ(a.BoundsRect(), (TRect{0, 0, 53, 24}));
    EXPECT_EQ(b.BoundsRect(), (TRect{0, 24, 53, 48}));
    EXPECT_EQ(top.Height(), 48);
    AddBar(bottom, 0, 0, 40, 30);
    EXPECT_EQ(bottom.BoundsRect(), (TRect{0, 266, 400, 300}));
}

TEST_F(DockRowsOnAForm, AWindowLeavingItsRowClosesTheGap) {
    TDockBar& a = AddBar(top, 0, 0);
    TDockBar& b = AddBar(top, 1, 0);
    TDockBar& c = AddBar(top, 2, 0);
    b.SetVisible(false);
    EXPECT_EQ(c.DockRow(), 1);
    EXPECT_EQ(c.Top(), 24);
    EXPECT_EQ(a.DockRow(), 0);
    EXPECT_EQ(top.GetHighestRow(), 1);
    EXPECT_EQ(top.GetNumberOfToolbarsOnRow(1), 1);
    EXPECT_EQ(top.GetNumberOfToolbarsOnRow(1, &c), 0);
    top.InsertRowBefore(1);
    EXPECT_EQ(c.DockRow(), 2);
}

TEST_F(DockRowsOnAForm, TheBackgroundIsTiledFromTheDockAlsoBehindItsWindows) {
    // A 2 x 2 picture whose bottom-left pixel stands for the dock's colour.
    auto picture = std::make_shared<TDIBX>();
    picture->SetSize(2, 2, 32);
    TWidgetCanvas draw(*picture);
    draw.Pixel(0, 0, 0x0000FF);
    draw.Pixel(1, 0, 0x00FF00);
    draw.Pixel(0, 1, 0xFF0000);
    draw.Pixel(1, 1, 0xFFFFFF);
    top.SetBackground(picture);
    top.SetBackgroundTransparent(true);
    TDockBar& bar = AddBar(top, 0, 100);
    TDIBX surface;
    surface.SetSize(400, 24, 32);
    TWidgetCanvas canvas(surface);
    top.PaintTo(canvas, PRF_CLIENT | PRF_ERASEBKGND | PRF_CHILDREN);
    EXPECT_EQ(canvas.GetPixel(0, 0), 0x0000FF);
    EXPECT_EQ(canvas.GetPixel(3, 0), 0x00FF00);
    EXPECT_EQ(canvas.GetPixel(2, 1), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(canvas.GetPixel(3, 1), 0xFFFFFF);
    // The toolbar's client area (from dock x 111, y 2) carries the same tiles.
    const TPoint origin = bar.ClientOrigin();
    EXPECT_EQ(origin, (TPoint{11, 2}));
    EXPECT_EQ(canvas.GetPixel(100 + 11 + 29, 2 + 10), 0x0000FF);
    EXPECT_EQ(canvas.GetPixel(100 + 11 + 30, 2 + 10), 0x00FF00);
    top.SetBackgroundOnToolbars(false);
    top.PaintTo(canvas, PRF_CLIENT | PRF_ERASEBKGND | PRF_CHILDREN);
    EXPECT_EQ(canvas.GetPixel(100 + 11 + 29, 2 + 10), GetSysColor(COLOR_BTNFACE));
}

TEST_F(DockRowsOnAForm, OverlappingWindowsArePlacedSideBySide) {
    TDockBar& a = AddBar(top, 0, 100);
    TDockBar& b = AddBar(top, 0, 120);
    EXPECT_EQ(a.Left(), 100);
    EXPECT_EQ(b.Left(), 153);
    EXPECT_EQ(b.DockPos(), 153);
    // Too far right: shown pushed back, stored where asked until positions are clipped.
    TDockBar& c = AddBar(top, 1, 390);
    EXPECT_EQ(c.Left(), 400 - 53);
    EXPECT_EQ(c.DockPos(), 390);
    top.ArrangeToolbars(true);
    EXPECT_EQ(c.DockPos(), 347);
}

}  // namespace
