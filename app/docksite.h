#pragma once
// The dock: a strip along one edge of a form that holds tool windows in rows, arranges them
// row by row, takes the thickness of its rows and paints its bound lines and an optional tiled
// background.
#include "app/dockframe.h"
#include "app/dockrows.h"
#include "app/widgets.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TCustomDockWindow;

// The invalid-operation error of the toolbar kit (placing a control where it cannot go).
class EInvalidOperation : public EVelaError {
public:
    using EVelaError::EVelaError;
};

// The edges a dock draws an etched bound line along: a set of bits (1 << line).
enum TDockBoundLine : uint8_t { blTop, blBottom, blLeft, blRight };
using TDockBoundLines = uint8_t;
constexpr TDockBoundLines BoundLineBit(TDockBoundLine L) { return TDockBoundLines(1u << unsigned(L)); }

// The version text every toolbar component shows.
inline constexpr const char* DockBarVersion = "DockBar version 1.8";

class TDockSite : public TWinControl {
public:
    TDockSite();
    ~TDockSite() override;

    // ---- Properties ----
    bool AllowDrag() const { return allowDrag_; }
    void SetAllowDrag(bool Value);
    // Tiled behind the rows (a 32-bit picture); nullptr for none.
    const std::shared_ptr<TCustomDIBX>& Background() const { return background_; }
    void SetBackground(std::shared_ptr<TCustomDIBX> Value);
    bool BackgroundOnToolbars() const { return backgroundOnToolbars_; }
    void SetBackgroundOnToolbars(bool Value);
    bool BackgroundTransparent() const { return backgroundTransparent_; }
    void SetBackgroundTransparent(bool Value);
    TDockBoundLines BoundLines() const { return boundLines_; }
    void SetBoundLines(TDockBoundLines Value);
    bool FixAlign() const { return fixAlign_; }
    void SetFixAlign(bool Value);
    bool LimitToOneRow() const { return limitToOneRow_; }
    void SetLimitToOneRow(bool Value);
    TDockPosition Position() const { return position_; }
    // Raises EInvalidOperation while the dock holds controls.
    void SetPosition(TDockPosition Value);
    std::string Version() const { return DockBarVersion; }
    void SetVersion(const std::string&) {}
    TDockType DockType() const { return DockTypeOf(position_); }

    // ---- Events ----
    std::function<void(TDockSite* Sender, bool Inserting, TCustomDockWindow* Bar)> OnInsertRemoveBar;
    std::function<void(TDockSite* Sender, TCustomDockWindow* Bar, bool& Accept)> OnRequestDock;
    TNotifyEvent OnResize;

    // ---- The windows ----
    // Every tool window that belongs to the dock (docked, or remembered as its last dock).
    const std::vector<TCustomDockWindow*>& DockList() const { return dockList_; }
    // The visible docked windows in the order they became visible.
    const std::vector<TCustomDockWindow*>& DockVisibleList() const { return dockVisibleList_; }

    // ---- Arranging ----
    // Lays the visible windows out in rows and takes the rows' thickness; ClipPositions makes
    // the positions the windows are shown at their stored DockPos.
    void ArrangeToolbars(bool ClipPositions = false);
    // While updates are held, arrangement requests are only recorded; the last EndUpdate runs one.
    void BeginUpdate();
    void EndUpdate();

    // ---- Rows ----
    int32_t GetHighestRow() const;
    // The thickness of a row's largest window content (0: empty).
    int32_t GetRowSize(int32_t Row) const;
    // The row under a coordinate across the rows (client coordinates) for a drop.
    TDockRowHit GetRowOf(int32_t Coord) const;
    // Visible windows on a row, NotIncluding left out.
    int32_t GetNumberOfToolbarsOnRow(int32_t Row, const TCustomDockWindow* NotIncluding = nullptr) const;
    // Every window of the dock at Row or past it moves one row on.
    void InsertRowBefore(int32_t Row);
    void RemoveBlankRows();

    // The bound lines' thickness: left and right, top and bottom (0 to 2 each).
    int32_t NonClientWidth() const { return ncWidth_; }
    int32_t NonClientHeight() const { return ncHeight_; }
    // The dock's length along its rows that windows may take.
    int32_t AvailableLength() const;

    // ---- Control ----
    void SetParent(TWinControl* NewParent) override;
    void SetBounds(int32_t Left, int32_t Top, int32_t Width, int32_t Height) override;
    TRect NonClientMargins() const override;
    void PaintNonClient(TWidgetCanvas& Canvas) override;
    void EraseBackground(TWidgetCanvas& Canvas) override;
    void ControlChange(TControl* Control) override;
    // Tiles the background into Canvas for a part of the dock: Offset is where the canvas origin
    // lies in the dock's client area. False without a background.
    bool DrawBackground(TWidgetCanvas& Canvas, TPoint Offset, const TRect& R) const;

private:
    friend class TCustomDockWindow;
    // The window list changes: a window joins or leaves the dock, or is shown or hidden on it.
    void ChangeDockList(bool Insert, TCustomDockWindow* Bar);
    void UpdateVisibleList(TCustomDockWindow* Bar);
    void FrameChanged();
    std::vector<TDockRowItem> RowItems() const;

    bool allowDrag_ = true, backgroundOnToolbars_ = true, backgroundTransparent_ = false, fixAlign_ = false,
         limitToOneRow_ = false;
    std::shared_ptr<TCustomDIBX> background_;
    TDockBoundLines boundLines_ = 0;
    TDockPosition position_ = dpTop;
    std::vector<TCustomDockWindow*> dockList_, dockVisibleList_;
    int32_t updateCount_ = 0;
    bool arrangeRequested_ = false, clipRequested_ = false, arranging_ = false;
    int32_t ncWidth_ = 0, ncHeight_ = 0;
};
