#pragma once
// The geometry of a tool window's own frame, apart from any control: the docked frame with its
// drag handle, grips and close button, the floating frame with its small caption, the floating
// hit test, the push of a floating window back onto the screen and where a drop-down menu opens.
#include "core/header.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Whether a point lies in a rectangle (its right and bottom edges outside).
constexpr bool PtInRect(const TRect& R, TPoint P) {
    return P.X >= R.Left && P.X < R.Right && P.Y >= R.Top && P.Y < R.Bottom;
}

enum TDockPosition : uint8_t { dpTop, dpBottom, dpLeft, dpRight };
using TDockableTo = uint8_t;  // a set of dock positions: bit (1 << position)
constexpr TDockableTo DockPositionBit(TDockPosition P) { return TDockableTo(1u << unsigned(P)); }
constexpr TDockableTo AllDockPositions = 0x0F;

// How a window's contents run: along a top or bottom dock, along a left or right one, or
// floating (laid out as on a top dock).
enum TDockType : uint8_t { dtNotDocked, dtTopBottom, dtLeftRight };
constexpr TDockType DockTypeOf(TDockPosition P) { return P == dpLeft || P == dpRight ? dtLeftRight : dtTopBottom; }

enum TDragHandleStyle : uint8_t { dhDouble, dhNone, dhSingle };

// ---- Docked frame ----

// The drag handle's thickness: 9, 0 or 6 pixels by style; 14 for every style with a close button.
int32_t DragHandleSize(TDragHandleStyle Style, bool CloseButtonWhenDocked);

// A docked window's frame: 2 pixels on every side, and a drag handle at the leading edge (left
// on a top or bottom dock, top on a left or right one) when its dock lets windows be dragged.
struct TDockedFrame {
    TRect ClientInset{};       // the frame's thickness on each side (Right and Bottom as widths)
    TRect Handle{};            // the drag handle, in window coordinates; empty without one
    TRect CloseButton{};       // the close button; empty without one
    std::vector<TRect> Grips;  // each 3 pixels thick along the handle
};
TDockedFrame DockedFrame(TDockType Type, int32_t Width, int32_t Height, bool AllowDrag, TDragHandleStyle Style,
                         bool CloseButtonWhenDocked);

// ---- Floating frame ----

// The floating frame's fixed metrics: the border of a fixed and of a resizable window, the small
// caption's height (without the line under it).
constexpr int32_t FloatingDialogFrame = 3, FloatingSizingFrame = 4, FloatingCaptionHeight = 15;
// The close button's side in the caption.
constexpr int32_t FloatingCloseSize = FloatingCaptionHeight - 4;

struct TFloatingFrame {
    TRect ClientInset{};  // the frame's thickness on each side (Right and Bottom as widths)
    TRect Caption{};      // the caption band in window coordinates; empty without a caption
    TRect CloseButton{};  // empty without a caption or without a close button
    int32_t Border = 0;   // the border's thickness
};
TFloatingFrame FloatingFrame(int32_t Width, bool Resizable, bool ShowCaption, bool CloseButton);

// What a point of a floating window is (window coordinates).
enum TFloatingHit : uint8_t {
    fhNowhere, fhClient, fhClose,
    fhLeft, fhRight, fhTop, fhBottom, fhTopLeft, fhTopRight, fhBottomLeft, fhBottomRight,
};
// The caption answers fhClient (the window drags itself); a resizable window's border answers
// its edges and corners, a corner reaching the caption height - 1 + the border along each edge.
TFloatingHit FloatingHitTest(const TFloatingFrame& Frame, int32_t Width, int32_t Height, bool Resizable, TPoint P);

// The caption text cut to fit: characters before a trailing "..." go until it fits or the text
// is shorter than 5 characters. Measure gives a text's width; Shift-JIS characters stay whole.
std::string FitCaptionText(const std::string& Text, int32_t MaxWidth,
                           const std::function<int32_t(const std::string&)>& Measure);

// ---- The screen ----

// One monitor and what panels and docks leave free on it.
struct TMonitorArea {
    TRect Monitor{}, Work{};
};
// The platform's monitors (the primary one first).
std::vector<TMonitorArea> ScreenMonitors();
// A floating window's bounds pushed into the work area of the monitor that holds most of it
// (the nearest when none does): right and bottom first, then left and top, so that the top-left
// corner stays visible. With OnlyWhenFullyOff a window that meets the work area stays.
TRect MoveOnScreen(const TRect& Bounds, const std::vector<TMonitorArea>& Monitors, bool OnlyWhenFullyOff = false);

// ---- Drop-down menus ----

// Where a drop-down button's menu opens (screen coordinates): below its bottom-left corner; at
// its top-right corner on a left dock; right-aligned at its top-left corner on a right dock
// (RightAligned: the menu's right edge is at the point).
struct TPopupPlacement {
    TPoint Point{};
    bool RightAligned = false;
    bool operator==(const TPopupPlacement&) const = default;
};
// OnDock: the position of the dock the button's tool window is on, or nothing.
TPopupPlacement DropdownPopupPlacement(const TRect& ButtonOnScreen, const TDockPosition* OnDock);
