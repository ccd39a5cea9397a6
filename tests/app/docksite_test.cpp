// The dock: its rows, bands and overlaps, its thickness and the windows it holds.
#include "app/docksite.h"

#include <gtest/gtest.h>

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

}  // namespace
