#include "app/dockbar.h"

#include <algorithm>
#include <cstdlib>

// ---- The toolbar ----

TCustomDockBar::TCustomDockBar() = default;

TCustomDockBar::~TCustomDockBar() = default;

void TCustomDockBar::SetFloatRightX(int32_t Value) {
    if (floatRightX_ == Value) return;
    floatRightX_ = Value;
    if (Floating()) Arrange();
}

void TCustomDockBar::SetSlaveControl(TControl* TopBottom, TControl* LeftRight) {
    slaves_.emplace_back(TopBottom, LeftRight);
    Arrange();
}

void TCustomDockBar::ControlListChange(TControl* Control, bool Inserting) {
    orderList_.erase(std::remove(orderList_.begin(), orderList_.end(), Control), orderList_.end());
    if (Inserting) {
        orderList_.push_back(Control);
        orderListDirty_ = true;
    } else {
        // A pair that lost one of its controls is no pair any more.
        slaves_.erase(std::remove_if(slaves_.begin(), slaves_.end(),
                                     [Control](const auto& P) { return P.first == Control || P.second == Control; }),
                      slaves_.end());
    }
    Arrange();
}

void TCustomDockBar::CleanOrderList() {
    const std::vector<TControl*>& controls = Controls();
    auto owned = [&controls](TControl* C) { return std::find(controls.begin(), controls.end(), C) != controls.end(); };
    if (orderListDirty_ || orderList_.size() != controls.size()) {
        orderList_.erase(std::remove_if(orderList_.begin(), orderList_.end(), [&](TControl* C) { return !owned(C); }),
                         orderList_.end());
        // Controls the list missed join in their order on the toolbar.
        for (TControl* control : controls)
            if (std::find(orderList_.begin(), orderList_.end(), control) == orderList_.end()) orderList_.push_back(control);
    }
    orderListDirty_ = false;
}

const std::vector<TControl*>& TCustomDockBar::OrderList() {
    CleanOrderList();
    return orderList_;
}

void TCustomDockBar::SortOrderListByPosition() {
    CleanOrderList();
    const bool vertical = CurrentDockType() == dtLeftRight;
    std::stable_sort(orderList_.begin(), orderList_.end(), [vertical](const TControl* A, const TControl* B) {
        return vertical ? A->Top() < B->Top() : A->Left() < B->Left();
    });
    Arrange();
}

std::vector<TControl*> TCustomDockBar::TakenControls(bool Measure, TDockType Type) {
    CleanOrderList();
    const bool vertical = Type == dtLeftRight;
    if (!Measure) {
        for (const auto& [topBottom, leftRight] : slaves_) {
            topBottom->SetVisible(!vertical);
            leftRight->SetVisible(vertical);
        }
    }
    std::vector<TControl*> taken;
    for (TControl* control : orderList_) {
        bool shown = control->Visible();
        if (Measure) {
            for (const auto& [topBottom, leftRight] : slaves_) {
                if (control == topBottom) shown = !vertical;
                if (control == leftRight) shown = vertical;
            }
        }
        if (shown) taken.push_back(control);
    }
    return taken;
}

std::vector<TDockBarFlowItem> TCustomDockBar::FlowItems(const std::vector<TControl*>& Controls, TDockType) const {
    std::vector<TDockBarFlowItem> items;
    items.reserve(Controls.size());
    for (const TControl* control : Controls) {
        if (const auto* sep = dynamic_cast<const TDockBarSep*>(control))
            items.push_back({0, 0, true, sep->SizeHorz(), sep->SizeVert(), sep->Blank()});
        else
            items.push_back({control->Width(), control->Height()});
    }
    return items;
}

TPoint TCustomDockBar::OrderControls(bool Measure, TDockType Type) {
    const std::vector<TControl*> controls = TakenControls(Measure, Type);
    const bool floating = Type == dtNotDocked;
    const TDockBarFlow flow =
        FlowDockBarItems(FlowItems(controls, Type), floating, Type == dtLeftRight, floating ? floatRightX_ : 0);
    if (!Measure) {
        for (size_t i = 0; i < controls.size(); ++i) {
            const TRect& b = flow.Bounds[i];
            controls[i]->SetBounds(b.Left, b.Top, b.Right - b.Left, b.Bottom - b.Top);
        }
        lineSeps_ = flow.LineSeps;
    }
    return {flow.Width, flow.Height};
}

int32_t TCustomDockBar::BaseSize(TDockType Type) {
    return FlowDockBarItems(FlowItems(TakenControls(true, Type), Type), false, Type == dtLeftRight, 0).BaseSize;
}

std::vector<TPoint> TCustomDockBar::FloatingSizes() {
    return DockBarFloatingSizes(FlowItems(TakenControls(true, dtNotDocked), dtNotDocked));
}

// ---- Resizing when floating ----

namespace {

bool SelectsByWidth(TFloatingHit Edge) { return Edge != fhTop && Edge != fhBottom; }

}  // namespace

void TCustomDockBar::ResizeBegin(TFloatingHit Edge) {
    const TRect inset = FloatingFrameNow().ClientInset;
    resizeSizes_ = FloatingSizes();
    for (TPoint& size : resizeSizes_) size = {size.X + inset.Left + inset.Right, size.Y + inset.Top + inset.Bottom};
    // The current size, or the one nearest in width.
    resizeCurrent_ = -1;
    int32_t nearest = 0;
    for (size_t i = 0; i < resizeSizes_.size(); ++i) {
        if (resizeSizes_[i] == TPoint{Width(), Height()}) resizeCurrent_ = static_cast<int32_t>(i);
        if (std::abs(resizeSizes_[i].X - Width()) < nearest || i == 0) nearest = std::abs(resizeSizes_[i].X - Width());
    }
    if (resizeCurrent_ < 0)
        for (size_t i = 0; i < resizeSizes_.size() && resizeCurrent_ < 0; ++i)
            if (std::abs(resizeSizes_[i].X - Width()) == nearest) resizeCurrent_ = static_cast<int32_t>(i);
    resizeZone_ = FloatingSizeSnapZone(resizeSizes_, resizeCurrent_, SelectsByWidth(Edge));
}

TPoint TCustomDockBar::ResizeTrack(TFloatingHit Edge, TPoint Proposed) {
    if (resizeSizes_.empty()) return TCustomDockWindow::ResizeTrack(Edge, Proposed);
    const bool byWidth = SelectsByWidth(Edge);
    resizeCurrent_ = SnapFloatingSize(resizeSizes_, resizeCurrent_, byWidth, byWidth ? Proposed.X : Proposed.Y,
                                      resizeZone_);
    return resizeSizes_[static_cast<size_t>(resizeCurrent_)];
}

void TCustomDockBar::ResizeEnd(TPoint Size) {
    const TRect inset = FloatingFrameNow().ClientInset;
    resizeSizes_.clear();
    resizeCurrent_ = -1;
    floatRightX_ = Size.X - inset.Left - inset.Right;
    Arrange();
}

// ---- Position data and painting ----

void TCustomDockBar::ReadPositionData(const TPositionReadIntProc& ReadIntProc, void* ExtraData) {
    SetFloatRightX(ReadIntProc(Name, "FloatRightX", floatRightX_, ExtraData));
}

void TCustomDockBar::WritePositionData(const TPositionWriteIntProc& WriteIntProc, void* ExtraData) {
    WriteIntProc(Name, "FloatRightX", floatRightX_, ExtraData);
}

void TCustomDockBar::Paint(TWidgetCanvas& Canvas) {
    TCustomDockWindow::Paint(Canvas);
    if (!Floating()) return;
    const TRect client = ClientRect();
    const int32_t width = client.Right - client.Left;
    for (const TDockBarLineSep& line : lineSeps_) {
        if (line.Blank) continue;
        Canvas.HLine(1, width - 1, line.RowPos - 4, clBtnShadow);
        Canvas.HLine(1, width - 1, line.RowPos - 3, clBtnHighlight);
    }
}

// ---- The separator ----

TDockBarSep::TDockBarSep() { ControlStyle &= ~(csCaptureMouse | csOpaque); }

void TDockBarSep::SetParent(TWinControl* NewParent) {
    if (NewParent && !dynamic_cast<TCustomDockBar*>(NewParent))
        throw EInvalidOperation("TDockBarSep can only be placed on a TDockBar");
    TGraphicControl::SetParent(NewParent);
}

namespace {

// The toolbar a separator sits on lays its items out again.
void Rearrange(TControl& Sep) {
    if (auto* bar = dynamic_cast<TCustomDockBar*>(Sep.Parent())) bar->Arrange();
}

}  // namespace

void TDockBarSep::SetBlank(bool Value) {
    if (blank_ == Value) return;
    blank_ = Value;
    Invalidate();
    Rearrange(*this);
}

void TDockBarSep::SetSizeHorz(int32_t Value) {
    if (sizeHorz_ == Value) return;
    sizeHorz_ = Value;
    Rearrange(*this);
}

void TDockBarSep::SetSizeVert(int32_t Value) {
    if (sizeVert_ == Value) return;
    sizeVert_ = Value;
    Rearrange(*this);
}

void TDockBarSep::Paint(TWidgetCanvas& Canvas) {
    if (blank_ || Width() <= 0 || Height() <= 0) return;
    const auto* bar = dynamic_cast<const TCustomDockBar*>(Parent());
    if (bar && bar->CurrentDockType() == dtLeftRight) {
        const int32_t y = Height() / 2;
        Canvas.HLine(0, Width(), y - 1, clBtnShadow);
        Canvas.HLine(0, Width(), y, clBtnHighlight);
    } else {
        const int32_t x = Width() / 2;
        Canvas.VLine(x - 1, 0, Height(), clBtnShadow);
        Canvas.VLine(x, 0, Height(), clBtnHighlight);
    }
}

void TDockBarSep::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    TGraphicControl::MouseDown(Button, Shift, X, Y);
    if (TWinControl* bar = Parent()) bar->MouseDown(Button, Shift, X + Left(), Y + Top());
}
