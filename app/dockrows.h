#pragma once
// The arithmetic of a dock's rows, apart from any control: which row a tool window sits in,
// where along the row, how thick each row is and where a dropped window lands. Positions run
// along the dock (x on a top or bottom dock, y on a left or right one) and rows stack across it.
#include <cstdint>
#include <vector>

// Every docked window is framed by 2 pixels on each side: a row holding windows is this much
// thicker than its largest window content.
constexpr int32_t DockedBorderSize = 2, DockedBorderSize2 = DockedBorderSize * 2;

// One visible tool window as the row arithmetic sees it.
struct TDockRowItem {
    int32_t Row = 0;     // DockRow
    int32_t Pos = -1;    // DockPos
    int32_t Length = 0;  // its docked length along the row, frame included
    int32_t BaseSize = 0;  // its content's thickness across the row, frame excluded
    bool FullSize = false;
};

// Where the arrangement put one window, in the dock's client area: Along and Across are its
// start along the row and across the rows, Length and Thickness its extent on each axis.
struct TDockRowPlace {
    int32_t Along = 0, Across = 0, Length = 0, Thickness = 0;
};

struct TDockRowLayout {
    std::vector<int32_t> RowSizes;     // each row's thickness without the docked frame
    std::vector<TDockRowPlace> Places;  // one per item, in the items' order
    int32_t Thickness = 0;              // the rows' total thickness
};

// The highest row any item uses; -1 when there is none.
int32_t DockHighestRow(const std::vector<TDockRowItem>& Items);
// For each row from 0 to the highest: the largest base size of its items, at least 8 when the
// row holds any; 0 for an empty row.
std::vector<int32_t> DockRowSizes(const std::vector<TDockRowItem>& Items);
// Renumbers the rows so that no row between 0 and the highest is empty.
void RemoveBlankDockRows(std::vector<TDockRowItem>& Items);
// Lays the items out in rows over Available pixels along the dock. Rows become gapless (all
// row 0 with LimitToOneRow); a full-size window keeps its row to itself; windows of a row
// never overlap and their stored positions move out of each other's way. Those that run past
// the end are pushed back (never before 0 nor before the previous one's end) in what is
// displayed, and in the stored positions too with ClipPositions.
TDockRowLayout ArrangeDockRows(std::vector<TDockRowItem>& Items, int32_t Available, bool LimitToOneRow,
                               bool ClipPositions);

// The row a coordinate across the rows falls in, for dropping a window: Before asks for a
// new row to be made before Row. RowSizes is DockRowSizes' answer.
struct TDockRowHit {
    int32_t Row = 0;
    bool Before = false;
    bool operator==(const TDockRowHit&) const = default;
};
TDockRowHit DockRowAt(const std::vector<int32_t>& RowSizes, int32_t Coord);
