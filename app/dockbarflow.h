#pragma once
// The flow of a toolbar's items, apart from any control: items follow one another in rows,
// groups end at a separator, a floating toolbar wraps at its wrap width, and the sizes a
// floating toolbar can take while its edge is dragged.
#include "core/header.h"

#include <cstdint>
#include <vector>

// One item of a toolbar in its order.
struct TDockBarFlowItem {
    int32_t Width = 0, Height = 0;  // a control's size (unused for a separator)
    bool Separator = false;
    int32_t SizeHorz = 6, SizeVert = 6;  // a separator's length along a horizontal / vertical toolbar
    bool Blank = false;                  // a separator that draws no line
};

// The etched line drawn across a floating toolbar where a group wrapped to a new row: RowPos
// is the top of the new row.
struct TDockBarLineSep {
    int16_t RowPos = 0;
    bool Blank = false;
    bool operator==(const TDockBarLineSep&) const = default;
};

struct TDockBarFlow {
    std::vector<TRect> Bounds;  // one per item, in the toolbar's client area
    std::vector<TDockBarLineSep> LineSeps;
    int32_t Width = 0, Height = 0;  // the client size the rows and margins take
    int32_t BaseSize = 0;           // the rows' thickness: the thickest control, at least 8
};

// Lays the items out. A floating toolbar has margins and wraps at WrapWidth (0: never; never
// narrower than its widest control + 8); a docked one has neither. Vertical runs the items
// downwards (a toolbar on a left or right dock).
TDockBarFlow FlowDockBarItems(const std::vector<TDockBarFlowItem>& Items, bool Floating, bool Vertical,
                              int32_t WrapWidth);

// The client sizes a floating toolbar can take, widest (one row) first; of sizes with the same
// height only the narrowest is kept.
std::vector<TPoint> DockBarFloatingSizes(const std::vector<TDockBarFlowItem>& Items);

// Picking among the floating sizes while an edge is dragged: ByWidth for a left or right edge,
// else by height. Proposed is the width or height the cursor asks for. The current size holds
// while Proposed stays within Zone of it; otherwise the largest size not beyond Proposed is
// taken (the smallest when every one is).
int32_t FloatingSizeSnapZone(const std::vector<TPoint>& Sizes, int32_t Current, bool ByWidth);
int32_t SnapFloatingSize(const std::vector<TPoint>& Sizes, int32_t Current, bool ByWidth, int32_t Proposed,
                         int32_t Zone);
