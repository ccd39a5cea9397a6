#include "app/docksite.h"

#include "app/dockwindow.h"

#include <algorithm>

namespace {

int BitCount(TDockBoundLines Lines, TDockBoundLine A, TDockBoundLine B) {
    return ((Lines & BoundLineBit(A)) ? 1 : 0) + ((Lines & BoundLineBit(B)) ? 1 : 0);
}

}  // namespace

TDockSite::TDockSite() {
    ControlStyle &= ~(csCaptureMouse | csClickEvents | csOpaque);
    SetColor(clBtnFace);
}

TDockSite::~TDockSite() {
    // The windows forget the dock: those on it are left without a parent.
    for (TCustomDockWindow* window : TCustomDockWindow::AllWindows()) window->DockGone(this);
}

// ---- Properties ----

void TDockSite::SetAllowDrag(bool Value) {
    if (allowDrag_ == Value) return;
    allowDrag_ = Value;
    // The windows' handles come or go: their sizes change.
    FrameChanged();
    ArrangeToolbars();
}

void TDockSite::SetBackground(std::shared_ptr<TCustomDIBX> Value) {
    background_ = std::move(Value);
    FrameChanged();
}

void TDockSite::SetBackgroundOnToolbars(bool Value) {
    if (backgroundOnToolbars_ == Value) return;
    backgroundOnToolbars_ = Value;
    FrameChanged();
}

void TDockSite::SetBackgroundTransparent(bool Value) {
    if (backgroundTransparent_ == Value) return;
    backgroundTransparent_ = Value;
    FrameChanged();
}

void TDockSite::SetBoundLines(TDockBoundLines Value) {
    if (boundLines_ == Value) return;
    boundLines_ = Value;
    ncWidth_ = BitCount(Value, blLeft, blRight);
    ncHeight_ = BitCount(Value, blTop, blBottom);
    FrameChanged();
    ArrangeToolbars();
}

void TDockSite::SetFixAlign(bool Value) {
    if (fixAlign_ == Value) return;
    fixAlign_ = Value;
    ArrangeToolbars();
}

void TDockSite::SetLimitToOneRow(bool Value) {
    if (limitToOneRow_ == Value) return;
    limitToOneRow_ = Value;
    ArrangeToolbars();
}

void TDockSite::SetPosition(TDockPosition Value) {
    if (position_ == Value) return;
    if (!Controls().empty())
        throw EInvalidOperation("Cannot change Position of a TDockSite if it already contains controls");
    position_ = Value;
    ArrangeToolbars();
}

void TDockSite::FrameChanged() {
    for (TCustomDockWindow* window : dockVisibleList_) window->Invalidate();
    Invalidate();
}

// ---- Arranging ----

std::vector<TDockRowItem> TDockSite::RowItems() const {
    std::vector<TDockRowItem> items;
    items.reserve(dockVisibleList_.size());
    const TDockType type = DockType();
    for (TCustomDockWindow* window : dockVisibleList_) {
        const TPoint size = window->DockedSize(*this);
        items.push_back({window->dockRow_, window->dockPos_, type == dtTopBottom ? size.X : size.Y,
                         window->BaseSize(type), window->fullSize_});
    }
    return items;
}

int32_t TDockSite::AvailableLength() const {
    return std::max(DockType() == dtTopBottom ? Width() - ncWidth_ : Height() - ncHeight_, 0);
}

void TDockSite::ArrangeToolbars(bool ClipPositions) {
    if (updateCount_ > 0) {
        arrangeRequested_ = true;
        clipRequested_ |= ClipPositions;
        return;
    }
    if (arranging_) return;
    arranging_ = true;
    std::vector<TDockRowItem> items = RowItems();
    const TDockRowLayout layout = ArrangeDockRows(items, AvailableLength(), limitToOneRow_, ClipPositions);
    const bool horizontal = DockType() == dtTopBottom;
    for (size_t i = 0; i < dockVisibleList_.size(); ++i) {
        TCustomDockWindow* window = dockVisibleList_[i];
        window->dockRow_ = items[i].Row;
        window->dockPos_ = items[i].Pos;
        const TDockRowPlace& place = layout.Places[i];
        ++window->arranging_;
        if (horizontal) window->TWinControl::SetBounds(place.Along, place.Across, place.Length, place.Thickness);
        else window->TWinControl::SetBounds(place.Across, place.Along, place.Thickness, place.Length);
        --window->arranging_;
    }
    int32_t thickness = dockVisibleList_.empty() ? (fixAlign_ ? 1 : 0)
                                                 : (horizontal ? ncHeight_ : ncWidth_) + layout.Thickness;
    // The aligned edge stays where it is.
    if (horizontal) {
        const int32_t top = position_ == dpBottom ? Top() + Height() - thickness : Top();
        TWinControl::SetBounds(Left(), top, Width(), thickness);
    } else {
        const int32_t left = position_ == dpRight ? Left() + Width() - thickness : Left();
        TWinControl::SetBounds(left, Top(), thickness, Height());
    }
    arranging_ = false;
    Invalidate();
}

void TDockSite::BeginUpdate() { ++updateCount_; }

void TDockSite::EndUpdate() {
    if (updateCount_ == 0 || --updateCount_ > 0 || !arrangeRequested_) return;
    const bool clip = clipRequested_;
    arrangeRequested_ = clipRequested_ = false;
    ArrangeToolbars(clip);
}

// ---- Rows ----

int32_t TDockSite::GetHighestRow() const {
    int32_t highest = -1;
    for (const TCustomDockWindow* window : dockVisibleList_) highest = std::max(highest, window->dockRow_);
    return highest;
}

int32_t TDockSite::GetRowSize(int32_t Row) const {
    const std::vector<int32_t> sizes = DockRowSizes(RowItems());
    return Row >= 0 && static_cast<size_t>(Row) < sizes.size() ? sizes[static_cast<size_t>(Row)] : 0;
}

TDockRowHit TDockSite::GetRowOf(int32_t Coord) const { return DockRowAt(DockRowSizes(RowItems()), Coord); }

int32_t TDockSite::GetNumberOfToolbarsOnRow(int32_t Row, const TCustomDockWindow* NotIncluding) const {
    return static_cast<int32_t>(std::count_if(dockVisibleList_.begin(), dockVisibleList_.end(), [&](const auto* W) {
        return W != NotIncluding && W->dockRow_ == Row;
    }));
}

void TDockSite::InsertRowBefore(int32_t Row) {
    for (TCustomDockWindow* window : dockList_)
        if (window->dockRow_ >= Row) ++window->dockRow_;
}

void TDockSite::RemoveBlankRows() {
    std::vector<TDockRowItem> items = RowItems();
    RemoveBlankDockRows(items);
    for (size_t i = 0; i < items.size(); ++i) dockVisibleList_[i]->dockRow_ = items[i].Row;
}

// ---- The window lists ----

void TDockSite::ChangeDockList(bool Insert, TCustomDockWindow* Bar) {
    const auto at = std::find(dockList_.begin(), dockList_.end(), Bar);
    if (Insert && at == dockList_.end()) dockList_.push_back(Bar);
    if (!Insert && at != dockList_.end()) dockList_.erase(at);
    UpdateVisibleList(Bar);
}

void TDockSite::UpdateVisibleList(TCustomDockWindow* Bar) {
    const bool shown = Bar->DockedTo() == this && Bar->Visible() &&
                       std::find(dockList_.begin(), dockList_.end(), Bar) != dockList_.end();
    const auto at = std::find(dockVisibleList_.begin(), dockVisibleList_.end(), Bar);
    if (shown == (at != dockVisibleList_.end())) return;
    if (shown) dockVisibleList_.push_back(Bar);
    else dockVisibleList_.erase(at);
    ArrangeToolbars();
    if (OnInsertRemoveBar) OnInsertRemoveBar(this, shown, Bar);
}

// ---- Control ----

void TDockSite::SetParent(TWinControl* NewParent) {
    if (dynamic_cast<TCustomDockWindow*>(NewParent) || dynamic_cast<TDockSite*>(NewParent))
        throw EInvalidOperation("A TDockSite control cannot be placed inside a tool window or another TDockSite");
    TWinControl::SetParent(NewParent);
}

void TDockSite::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
    const bool resized = AWidth != Width() || AHeight != Height();
    TWinControl::SetBounds(ALeft, ATop, AWidth, AHeight);
    if (!resized || arranging_) return;
    ArrangeToolbars();
    if (OnResize) OnResize(this);
}

void TDockSite::ControlChange(TControl* Control) {
    if (arranging_) return;
    auto* window = dynamic_cast<TCustomDockWindow*>(Control);
    if (!window) return;
    // A window shown, hidden or sized from outside: the rows decide its place and size again.
    UpdateVisibleList(window);
    ArrangeToolbars();
}

TRect TDockSite::NonClientMargins() const {
    const auto has = [this](TDockBoundLine L) { return (boundLines_ & BoundLineBit(L)) ? 1 : 0; };
    return {has(blLeft), has(blTop), has(blRight), has(blBottom)};
}

void TDockSite::PaintNonClient(TWidgetCanvas& Canvas) {
    const int32_t w = Width(), h = Height();
    if (boundLines_ & BoundLineBit(blTop)) Canvas.HLine(0, w, 0, clBtnShadow);
    if (boundLines_ & BoundLineBit(blLeft)) Canvas.VLine(0, 0, h, clBtnShadow);
    if (boundLines_ & BoundLineBit(blBottom)) Canvas.HLine(0, w, h - 1, clBtnHighlight);
    if (boundLines_ & BoundLineBit(blRight)) Canvas.VLine(w - 1, 0, h, clBtnHighlight);
}

void TDockSite::EraseBackground(TWidgetCanvas& Canvas) {
    const TRect client = ClientRect();
    if (!DrawBackground(Canvas, {0, 0}, client)) Canvas.FillRect(client, Color());
}

bool TDockSite::DrawBackground(TWidgetCanvas& Canvas, TPoint Offset, const TRect& R) const {
    if (!background_ || background_->GetEmpty()) return false;
    TWidgetCanvas source(*background_);
    const int32_t bw = background_->GetWidth(), bh = background_->GetHeight();
    const TColor key = backgroundTransparent_ ? source.GetPixel(0, bh - 1) : clNone;
    const TColor face = ColorToRGB(Color());
    for (int32_t y = R.Top; y < R.Bottom; ++y) {
        for (int32_t x = R.Left; x < R.Right; ++x) {
            if (!Canvas.Visible(x, y)) continue;
            const int32_t sx = ((x + Offset.X) % bw + bw) % bw, sy = ((y + Offset.Y) % bh + bh) % bh;
            const TColor pixel = source.GetPixel(sx, sy);
            Canvas.Pixel(x, y, pixel == key ? face : pixel);
        }
    }
    return true;
}
