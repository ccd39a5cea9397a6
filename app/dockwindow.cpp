#include "app/dockwindow.h"

#include "app/dockhooks.h"
#include "core/sysutils.h"

#include <algorithm>
#include <cstdio>

namespace {

// The largest outer size of a floating window.
constexpr int32_t MaxFloatingSize = 32767;
// How far from a dock (pixels) the cursor may be for a drag to dock there.
constexpr int32_t DockSnapDistance = 20;

std::vector<TCustomDockWindow*>& WindowRegistry() {
    static std::vector<TCustomDockWindow*> windows;
    return windows;
}

std::vector<TCustomDockWindow*>& FloatingRegistry() {
    static std::vector<TCustomDockWindow*> windows;
    return windows;
}

std::vector<TFloatingWindowParent*>& ZOrder() {
    static std::vector<TFloatingWindowParent*> order;
    return order;
}

struct TMinimizedState {
    bool Application = false;
    std::vector<const TWidgetForm*> Forms;
};

TMinimizedState& Minimized() {
    static TMinimizedState state;
    return state;
}

template <typename T>
void EraseValue(std::vector<T>& List, const T& Value) {
    List.erase(std::remove(List.begin(), List.end(), Value), List.end());
}

bool Intersects(const TRect& A, const TRect& B) {
    return std::max(A.Left, B.Left) < std::min(A.Right, B.Right) && std::max(A.Top, B.Top) < std::min(A.Bottom, B.Bottom);
}

TRect Inflate(const TRect& R, int32_t D) { return {R.Left - D, R.Top - D, R.Right + D, R.Bottom + D}; }

// The outer top-left of a control on the desktop.
TPoint OuterOnScreen(const TControl& Control) {
    const TWidgetForm* form = Control.Form();
    const TPoint origin = Control.ClientOrigin();
    TPoint p = Control.ClientToForm({-origin.X, -origin.Y});
    if (form && form != &Control) {
        const TPoint formOrigin = form->ClientOrigin();
        p = {p.X + form->Left() + formOrigin.X, p.Y + form->Top() + formOrigin.Y};
    } else if (form) {
        p = {form->Left(), form->Top()};
    }
    return p;
}

// A desktop point in a control's client area.
TPoint ScreenToClientOf(const TControl& Control, TPoint P) {
    const TPoint outer = OuterOnScreen(Control), origin = Control.ClientOrigin();
    return {P.X - outer.X - origin.X, P.Y - outer.Y - origin.Y};
}

// The tool windows' notifications: activation and window moves re-evaluate the floating
// windows; a form about to go leaves every window's lists.
void DockWindowHookProc(THookProcCode Code, TWindowHandle Wnd, uintptr_t, intptr_t) {
    switch (Code) {
        case THookProcCode::hpActivateApp:
        case THookProcCode::hpWindowPosChanged:
            UpdateFloatingVisibility();
            break;
        case THookProcCode::hpDestroyWindow:
            for (TCustomDockWindow* window : std::vector<TCustomDockWindow*>(WindowRegistry()))
                window->FormGone(Wnd);
            break;
        case THookProcCode::hpMouseMovePosted:
            break;
    }
}

constexpr THookProcCodes DockWindowHookCodes = HookCode(THookProcCode::hpActivateApp) |
                                               HookCode(THookProcCode::hpWindowPosChanged) |
                                               HookCode(THookProcCode::hpDestroyWindow);

}  // namespace

// ---- The tool window ----

TCustomDockWindow::TCustomDockWindow() {
    // The window takes the mouse itself while a drag, a resize or its close button runs.
    ControlStyle &= ~csCaptureMouse;
    SetColor(clBtnFace);
    WindowRegistry().push_back(this);
    InstallHookProc(DockWindowHookProc, DockWindowHookCodes);
}

TCustomDockWindow::~TCustomDockWindow() {
    dragLoop_.reset();
    resizeLoop_.reset();
    EraseValue(WindowRegistry(), this);
    EraseValue(FloatingRegistry(), this);
    for (TDockSite* dock : {dockedTo_, lastDock_}) {
        if (!dock) continue;
        EraseValue(dock->dockList_, this);
        EraseValue(dock->dockVisibleList_, this);
    }
    TDockSite* dock = DockedTo();
    TFloatingWindowParent* floating = floatingParent_;
    docked_ = false;
    dockedTo_ = nullptr;
    floatingParent_ = nullptr;
    TWinControl::SetParent(nullptr);
    if (dock) dock->ArrangeToolbars();
    delete floating;
    UninstallHookProc(DockWindowHookProc);
}

const std::vector<TCustomDockWindow*>& TCustomDockWindow::AllWindows() { return WindowRegistry(); }

const std::vector<TCustomDockWindow*>& TCustomDockWindow::FloatingList() { return FloatingRegistry(); }

void TCustomDockWindow::DockGone(TDockSite* Dock) {
    if (defaultDock_ == Dock) defaultDock_ = nullptr;
    if (lastDock_ == Dock) lastDock_ = nullptr;
    if (dockedTo_ != Dock) return;
    dockedTo_ = nullptr;
    docked_ = false;
    TWinControl::SetParent(nullptr);
}

void TCustomDockWindow::FormGone(TWindowHandle Form) {
    dockForms_.erase(std::remove_if(dockForms_.begin(), dockForms_.end(),
                                    [Form](const TWidgetForm* F) { return F->Handle() == Form; }),
                     dockForms_.end());
    TFloatingWindowParent* floating = floatingParent_;
    if (!floating) return;
    if (floating->parentForm_ && floating->parentForm_->Handle() == Form) {
        floating->parentForm_ = nullptr;
        floating->SetOwnerForm(nullptr);
    } else if (floating->OwnerForm() && floating->OwnerForm()->Handle() == Form) {
        floating->SetOwnerForm(floating->parentForm_);
    }
    floating->UpdateVisibility();
}

// ---- Properties ----

void TCustomDockWindow::SetBorderStyle(TDockBorderStyle Value) {
    if (borderStyle_ == Value) return;
    borderStyle_ = Value;
    Arrange();
}

void TCustomDockWindow::SetCloseButton(bool Value) {
    if (closeButton_ == Value) return;
    closeButton_ = Value;
    Invalidate();
}

void TCustomDockWindow::SetCloseButtonWhenDocked(bool Value) {
    if (closeButtonWhenDocked_ == Value) return;
    closeButtonWhenDocked_ = Value;
    Arrange();
}

void TCustomDockWindow::SetDockedTo(TDockSite* Value) {
    if (Value) {
        SetParent(Value);
        return;
    }
    TWidgetForm* form = ParentForm();
    if (!form) throw EInvalidOperation(Format("コントロール '%s' は親ウィンドウを持っていません", Name.c_str()));
    SetParent(form);
}

void TCustomDockWindow::SetDockPos(int32_t Value) {
    if (dockPos_ == Value) return;
    dockPos_ = Value;
    if (TDockSite* dock = DockedTo()) dock->ArrangeToolbars();
}

void TCustomDockWindow::SetDockRow(int32_t Value) {
    if (dockRow_ == Value) return;
    dockRow_ = Value;
    if (TDockSite* dock = DockedTo()) dock->ArrangeToolbars();
}

void TCustomDockWindow::SetDragHandleStyle(TDragHandleStyle Value) {
    if (dragHandleStyle_ == Value) return;
    dragHandleStyle_ = Value;
    Arrange();
}

void TCustomDockWindow::SetFloatingMode(TFloatingMode Value) {
    if (floatingMode_ == Value) return;
    floatingMode_ = Value;
    if (floatingParent_) floatingParent_->UpdateVisibility();
}

void TCustomDockWindow::SetFullSize(bool Value) {
    if (fullSize_ == Value) return;
    fullSize_ = Value;
    Arrange();
}

void TCustomDockWindow::SetHideWhenInactive(bool Value) {
    if (hideWhenInactive_ == Value) return;
    hideWhenInactive_ = Value;
    if (floatingParent_) floatingParent_->UpdateVisibility();
}

void TCustomDockWindow::SetLastDock(TDockSite* Value) {
    if (lastDock_ == Value) return;
    // The last dock remembers the window in its list.
    if (lastDock_ && lastDock_ != DockedTo()) lastDock_->ChangeDockList(false, this);
    lastDock_ = Value;
    if (lastDock_) lastDock_->ChangeDockList(true, this);
}

void TCustomDockWindow::SetShowCaption(bool Value) {
    if (showCaption_ == Value) return;
    showCaption_ = Value;
    if (Floating()) Arrange();
}

void TCustomDockWindow::SetUseLastDock(bool Value) {
    if (useLastDock_ == Value) return;
    useLastDock_ = Value;
    if (Value) SetLastDock(DockedTo());
}

void TCustomDockWindow::SetFloatingPosition(TPoint Value) {
    if (floatingPosition_ == Value) return;
    floatingPosition_ = Value;
    if (!floatingParent_) return;
    floatingParent_->SetBounds(Value.X, Value.Y, floatingParent_->Width(), floatingParent_->Height());
    if (OnMove) OnMove(this);
}

void TCustomDockWindow::SetCaptionActive(bool Value) {
    if (captionActive_ == Value) return;
    captionActive_ = Value;
    Invalidate();
}

void TCustomDockWindow::AddDockForm(TWidgetForm* Form) {
    if (Form && std::find(dockForms_.begin(), dockForms_.end(), Form) == dockForms_.end()) dockForms_.push_back(Form);
}

void TCustomDockWindow::RemoveDockForm(TWidgetForm* Form) { EraseValue(dockForms_, Form); }

TWidgetForm* TCustomDockWindow::ParentForm() const {
    if (floatingParent_) return floatingParent_->ParentForm();
    return Parent() ? Parent()->Form() : nullptr;
}

// ---- Docking ----

void TCustomDockWindow::SetParent(TWinControl* NewParent) {
    auto* dock = dynamic_cast<TDockSite*>(NewParent);
    auto* form = dock ? nullptr : dynamic_cast<TWidgetForm*>(NewParent);
    if (NewParent && !dock && !form)
        throw EInvalidOperation("A tool window can only be placed on a TDockSite or directly on the form");
    if (auto* floating = dynamic_cast<TFloatingWindowParent*>(form)) form = floating->ParentForm();
    if (dock ? dock == DockedTo() : form ? floatingParent_ && floatingParent_->ParentForm() == form : !Parent())
        return;

    if (OnDockChanging) OnDockChanging(this);
    if (OnDockChangingEx) OnDockChangingEx(this, dock);
    if (OnRecreating) OnRecreating(this);
    TDockSite* oldDock = DockedTo();
    if (oldDock) oldDock->BeginUpdate();
    if (dock) dock->BeginUpdate();
    if (oldDock && !useLastDock_) oldDock->ChangeDockList(false, this);

    TFloatingWindowParent* oldFloating = floatingParent_;
    TFloatingWindowParent* newFloating = form ? new TFloatingWindowParent(form) : nullptr;
    docked_ = dock != nullptr;
    dockedTo_ = dock;
    floatingParent_ = newFloating;
    TWinControl::SetParent(dock ? static_cast<TWinControl*>(dock) : newFloating);
    if (dock) {
        if (useLastDock_) SetLastDock(dock);
        else dock->ChangeDockList(true, this);
        dock->UpdateVisibleList(this);
    }
    if (oldDock) oldDock->UpdateVisibleList(this);
    delete oldFloating;

    EraseValue(FloatingRegistry(), this);
    if (newFloating) {
        FloatingRegistry().push_back(this);
        newFloating->SetBounds(floatingPosition_.X, floatingPosition_.Y, 0, 0);
    }
    Arrange();
    if (newFloating) newFloating->UpdateVisibility();
    if (dock) dock->EndUpdate();
    if (oldDock) oldDock->EndUpdate();
    if (dock) dock->ArrangeToolbars();
    if (oldDock) oldDock->ArrangeToolbars();
    if (OnRecreated) OnRecreated(this);
    if (OnDockChanged) OnDockChanged(this);
}

void TCustomDockWindow::SetVisible(bool Value) {
    if (Value == Visible()) return;
    TWinControl::SetVisible(Value);
    if (TDockSite* dock = DockedTo()) dock->UpdateVisibleList(this);
    if (floatingParent_) floatingParent_->UpdateVisibility();
    if (OnVisibleChanged) OnVisibleChanged(this);
}

void TCustomDockWindow::ControlChange(TControl*) {
    if (!arranging_) Arrange();
}

void TCustomDockWindow::Resize() {
    if (OnResize) OnResize(this);
}

// ---- Sizes ----

TDockType TCustomDockWindow::CurrentDockType() const {
    const TDockSite* dock = DockedTo();
    return dock ? dock->DockType() : dtNotDocked;
}

TPoint TCustomDockWindow::OrderControls(bool, TDockType) {
    const TRect client = ClientRect();
    return {client.Right - client.Left, client.Bottom - client.Top};
}

int32_t TCustomDockWindow::BaseSize(TDockType Type) {
    const TPoint content = ContentSize(Type);
    return Type == dtLeftRight ? content.X : content.Y;
}

TDockedFrame TCustomDockWindow::DockedFrameNow() const {
    const TDockSite* dock = DockedTo();
    return DockedFrame(dock ? dock->DockType() : dtTopBottom, Width(), Height(), dock && dock->AllowDrag(),
                       dragHandleStyle_, closeButtonWhenDocked_);
}

TFloatingFrame TCustomDockWindow::FloatingFrameNow() const {
    return FloatingFrame(Width(), Resizable, showCaption_, closeButton_);
}

TPoint TCustomDockWindow::DockedSize(const TDockSite& Dock) {
    const TPoint content = ContentSize(Dock.DockType());
    const TRect inset =
        DockedFrame(Dock.DockType(), 0, 0, Dock.AllowDrag(), dragHandleStyle_, closeButtonWhenDocked_).ClientInset;
    return {content.X + inset.Left + inset.Right, content.Y + inset.Top + inset.Bottom};
}

TPoint TCustomDockWindow::FloatingSize() {
    const TPoint content = ContentSize(dtNotDocked);
    const TRect inset = FloatingFrame(0, Resizable, showCaption_, closeButton_).ClientInset;
    return {content.X + inset.Left + inset.Right, content.Y + inset.Top + inset.Bottom};
}

void TCustomDockWindow::Arrange() {
    if (arranging_) return;
    ++arranging_;
    OrderControls(false, CurrentDockType());
    if (TDockSite* dock = DockedTo()) {
        // The dock gives the window its place and size.
        --arranging_;
        dock->ArrangeToolbars();
        Invalidate();
        return;
    }
    if (floatingParent_) {
        const TPoint size = FloatingSize();
        TWinControl::SetBounds(0, 0, size.X, size.Y);
        SizeFloatingParent();
    }
    --arranging_;
    Invalidate();
}

void TCustomDockWindow::SizeFloatingParent() {
    if (floatingParent_)
        floatingParent_->SetBounds(floatingParent_->Left(), floatingParent_->Top(), Width(), Height());
}

void TCustomDockWindow::ResizeBegin(TFloatingHit) {}

TPoint TCustomDockWindow::ResizeTrack(TFloatingHit, TPoint Proposed) {
    return {std::clamp(Proposed.X, 1, MaxFloatingSize), std::clamp(Proposed.Y, 1, MaxFloatingSize)};
}

void TCustomDockWindow::ResizeEnd(TPoint Size) {
    ++arranging_;
    TWinControl::SetBounds(0, 0, Size.X, Size.Y);
    --arranging_;
    SizeFloatingParent();
}

void TCustomDockWindow::MoveOnScreen(bool OnlyWhenFullyOff) {
    if (!floatingParent_) return;
    const TRect moved = ::MoveOnScreen(floatingParent_->BoundsRect(), ScreenMonitors(), OnlyWhenFullyOff);
    SetFloatingPosition({moved.Left, moved.Top});
}

void TCustomDockWindow::ReadPositionData(const TPositionReadIntProc&, void*) {}

void TCustomDockWindow::WritePositionData(const TPositionWriteIntProc&, void*) {}

// ---- Frame ----

TRect TCustomDockWindow::NonClientMargins() const {
    if (docked_) return DockedFrameNow().ClientInset;
    if (floatingParent_) return FloatingFrameNow().ClientInset;
    return {0, 0, 0, 0};
}

void TCustomDockWindow::PaintNonClient(TWidgetCanvas& Canvas) {
    const TRect outer = {0, 0, Width(), Height()};
    const TRect client = ClientBox();
    // The frame around the client area in the window's colour.
    Canvas.FillRect({0, 0, outer.Right, client.Top}, Color());
    Canvas.FillRect({0, client.Bottom, outer.Right, outer.Bottom}, Color());
    Canvas.FillRect({0, client.Top, client.Left, client.Bottom}, Color());
    Canvas.FillRect({client.Right, client.Top, outer.Right, client.Bottom}, Color());
    if (docked_) {
        const TDockedFrame frame = DockedFrameNow();
        TRect edge = outer;
        if (borderStyle_ == bsSingle) DrawEdge(Canvas, edge, BDR_RAISEDINNER, BF_RECT);
        const bool across = CurrentDockType() == dtLeftRight;
        for (TRect grip : frame.Grips) {
            const TRect at = grip;
            DrawEdge(Canvas, grip, BDR_RAISEDINNER, BF_RECT);
            // The corner the edge leaves in shadow shows the highlight.
            if (across) Canvas.Pixel(at.Right - 1, at.Top, clBtnHighlight);
            else Canvas.Pixel(at.Left, at.Bottom - 1, clBtnHighlight);
        }
        if (!RectIsEmpty(frame.CloseButton)) DrawCloseGlyph(Canvas, frame.CloseButton, closePushed_);
        return;
    }
    if (!floatingParent_) return;
    const TFloatingFrame frame = FloatingFrameNow();
    TRect edge = outer;
    DrawEdge(Canvas, edge, EDGE_RAISED, BF_RECT);
    if (!showCaption_) return;
    PaintFloatingCaption(Canvas, frame, Caption(), captionActive_, closePushed_);
    Canvas.HLine(frame.Caption.Left, frame.Caption.Right, frame.Caption.Bottom, clBtnFace);
}

void TCustomDockWindow::EraseBackground(TWidgetCanvas& Canvas) {
    const TDockSite* dock = DockedTo();
    const TRect client = ClientRect();
    if (dock && dock->BackgroundOnToolbars()) {
        const TPoint origin = ClientOrigin();
        if (dock->DrawBackground(Canvas, {Left() + origin.X, Top() + origin.Y}, client)) return;
    }
    Canvas.FillRect(client, Color());
}

// ---- Mouse ----

TPoint TCustomDockWindow::ClientToScreen(TPoint P) const {
    const TPoint outer = OuterOnScreen(*this), origin = ClientOrigin();
    return {outer.X + origin.X + P.X, outer.Y + origin.Y + P.Y};
}

TPoint TCustomDockWindow::ScreenToClient(TPoint P) const { return ScreenToClientOf(*this, P); }

TRect TCustomDockWindow::ClientBox() const {
    const TRect inset = NonClientMargins();
    return {inset.Left, inset.Top, Width() - inset.Right, Height() - inset.Bottom};
}

bool TCustomDockWindow::InDragArea(TPoint W) const {
    if (docked_) {
        const TDockSite* dock = DockedTo();
        if (!dock || !dock->AllowDrag()) return false;
        const TDockedFrame frame = DockedFrameNow();
        return (PtInRect(frame.Handle, W) && !PtInRect(frame.CloseButton, W)) || PtInRect(ClientBox(), W);
    }
    if (!floatingParent_) return false;
    const TFloatingFrame frame = FloatingFrameNow();
    return (PtInRect(frame.Caption, W) && !PtInRect(frame.CloseButton, W)) || PtInRect(ClientBox(), W);
}

void TCustomDockWindow::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    TWinControl::MouseDown(Button, Shift, X, Y);
    if (Button != TMouseButton::mbLeft) return;
    const TPoint origin = ClientOrigin();
    const TPoint w = {X + origin.X, Y + origin.Y};
    downInDragArea_ = InDragArea(w);
    if (Shift & ssDouble) return;  // the double click acts instead
    const TRect close = docked_ ? DockedFrameNow().CloseButton : FloatingFrameNow().CloseButton;
    if ((docked_ || floatingParent_) && PtInRect(close, w)) {
        closeTracking_ = closePushed_ = true;
        SetMouseCapture(true);
        Invalidate();
        return;
    }
    if (floatingParent_ && Resizable) {
        const TFloatingHit hit = FloatingHitTest(FloatingFrameNow(), Width(), Height(), true, w);
        if (hit >= fhLeft) {
            resizeLoop_ = std::make_unique<TDockResizeLoop>(*this, hit, ClientToScreen({X, Y}));
            SetMouseCapture(true);
            return;
        }
    }
    if (!downInDragArea_) return;
    dragLoop_ = std::make_unique<TDockDragLoop>(*this, ClientToScreen({X, Y}));
    SetMouseCapture(true);
}

void TCustomDockWindow::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
    TWinControl::MouseMove(Shift, X, Y);
    if (dragLoop_) dragLoop_->MouseMove(ClientToScreen({X, Y}), (Shift & ssCtrl) != 0);
    if (resizeLoop_) resizeLoop_->MouseMove(ClientToScreen({X, Y}));
    if (closeTracking_) {
        const TPoint origin = ClientOrigin();
        const TRect close = docked_ ? DockedFrameNow().CloseButton : FloatingFrameNow().CloseButton;
        const bool pushed = PtInRect(close, {X + origin.X, Y + origin.Y});
        if (pushed != closePushed_) {
            closePushed_ = pushed;
            Invalidate();
        }
    }
}

void TCustomDockWindow::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    TWinControl::MouseUp(Button, Shift, X, Y);
    if (Button != TMouseButton::mbLeft) return;
    if (dragLoop_) {
        const std::unique_ptr<TDockDragLoop> loop = std::move(dragLoop_);
        SetMouseCapture(false);
        loop->MouseMove(ClientToScreen({X, Y}), (Shift & ssCtrl) != 0);
        loop->LeftButtonUp();
    }
    if (resizeLoop_) {
        const std::unique_ptr<TDockResizeLoop> loop = std::move(resizeLoop_);
        SetMouseCapture(false);
        loop->MouseMove(ClientToScreen({X, Y}));
        loop->LeftButtonUp();
    }
    if (closeTracking_) {
        const bool close = closePushed_;
        closeTracking_ = closePushed_ = false;
        SetMouseCapture(false);
        Invalidate();
        if (close) CloseWindow();
    }
}

void TCustomDockWindow::DblClick() {
    TWinControl::DblClick();
    if (downInDragArea_) DoubleClickDock();
}

void TCustomDockWindow::CaptureLost() {
    if (dragLoop_) dragLoop_->Cancel();
    if (resizeLoop_) resizeLoop_->Cancel();
    dragLoop_.reset();
    resizeLoop_.reset();
    if (closeTracking_) {
        closeTracking_ = closePushed_ = false;
        Invalidate();
    }
}

void TCustomDockWindow::LoopKeyDown(int32_t Key) {
    if (Key == VK_ESCAPE) {
        CaptureLost();
        SetMouseCapture(false);
    } else if (Key == VK_CONTROL && dragLoop_) {
        dragLoop_->CtrlChanged(true);
    }
}

void TCustomDockWindow::LoopKeyUp(int32_t Key) {
    if (Key == VK_CONTROL && dragLoop_) dragLoop_->CtrlChanged(false);
}

void TCustomDockWindow::DoubleClickDock() {
    if (Floating()) {
        if (lastDock_) {
            SetDockedTo(lastDock_);
        } else if (defaultDock_) {
            dockRow_ = 0;
            dockPos_ = -8;  // before every other window of the row
            SetDockedTo(defaultDock_);
        }
        return;
    }
    if (docked_ && DockMode == dmCanFloat) {
        SetDockedTo(nullptr);
        MoveOnScreen();
    }
}

void TCustomDockWindow::CloseWindow() {
    bool canClose = true;
    if (OnCloseQuery) OnCloseQuery(this, canClose);
    if (!canClose) return;
    SetVisible(false);
    if (OnClose) OnClose(this);
}

// ---- The floating parent ----

TFloatingWindowParent::TFloatingWindowParent(TWidgetForm* ParentForm) : parentForm_(ParentForm) {
    char name[48];
    std::snprintf(name, sizeof name, "DockFloatingWindowParent_%.8x",
                  static_cast<unsigned>(reinterpret_cast<uintptr_t>(this)));
    Name = name;
    TControl::SetVisible(false);
}

TFloatingWindowParent::~TFloatingWindowParent() { EraseValue(ZOrder(), this); }

TCustomDockWindow* TFloatingWindowParent::ToolWindow() const {
    for (TControl* control : Controls())
        if (auto* window = dynamic_cast<TCustomDockWindow*>(control)) return window;
    return nullptr;
}

bool TFloatingWindowParent::Topmost() const {
    const TCustomDockWindow* window = ToolWindow();
    if (window && window->FloatingMode() == fmOnTopOfAllForms) return Enabled();
    const auto* owner = dynamic_cast<const TFloatingWindowParent*>(OwnerForm());
    return owner && owner->Topmost();
}

void TFloatingWindowParent::UpdateVisibility() {
    const TCustomDockWindow* window = ToolWindow();
    const bool onTopOfForm = !window || window->FloatingMode() == fmOnTopOfParentForm;
    TWidgetForm* owner = onTopOfForm ? parentForm_ : nullptr;
    const bool ownerChanged = OwnerForm() != owner;
    if (ownerChanged) SetOwnerForm(owner);
    const bool shown = window && window->Visible() && parentForm_ && parentForm_->Visible() &&
                       !FormMinimized(parentForm_) && !ApplicationMinimized() &&
                       (!window->HideWhenInactive() || ApplicationIsActive());
    const bool topmost = shown && Topmost();
    if (shown == shown_ && topmost == topmost_ && !ownerChanged) return;
    shown_ = shown;
    topmost_ = topmost;
    if (Visible() != shown) TControl::SetVisible(shown);
    std::vector<TFloatingWindowParent*>& order = ZOrder();
    EraseValue(order, this);
    if (!shown) return;
    // Just above the last shown window of the same owner, else at the top of its class.
    auto at = std::find_if(order.begin(), order.end(), [](const TFloatingWindowParent* F) { return F->Topmost(); });
    if (topmost) at = order.end();
    for (auto it = order.begin(); it != order.end(); ++it)
        if ((*it)->OwnerForm() == OwnerForm() && (*it)->Topmost() == topmost) at = it + 1;
    order.insert(at, this);
}

bool TFloatingWindowParent::DialogKey(int32_t Key, TShiftState Shift) {
    if (Key != VK_ESCAPE || (Shift & (ssShift | ssCtrl | ssAlt)) || !parentForm_) return false;
    parentForm_->DispatchKeyDown(VK_ESCAPE);
    return true;
}

const std::vector<TFloatingWindowParent*>& FloatingZOrder() { return ZOrder(); }

void SetApplicationMinimized(bool Value) {
    Minimized().Application = Value;
    UpdateFloatingVisibility();
}

bool ApplicationMinimized() { return Minimized().Application; }

void SetFormMinimized(TWidgetForm* Form, bool Value) {
    std::vector<const TWidgetForm*>& forms = Minimized().Forms;
    EraseValue(forms, static_cast<const TWidgetForm*>(Form));
    if (Value) forms.push_back(Form);
    UpdateFloatingVisibility();
}

bool FormMinimized(const TWidgetForm* Form) {
    const std::vector<const TWidgetForm*>& forms = Minimized().Forms;
    return std::find(forms.begin(), forms.end(), Form) != forms.end();
}

void UpdateFloatingVisibility() {
    for (TCustomDockWindow* window : FloatingRegistry())
        if (window->FloatingParent()) window->FloatingParent()->UpdateVisibility();
}

// ---- Dragging ----

namespace {

// The docks of a control's windowed children, a level at a time: the docks of a level in the
// order top, bottom, left, right, then the levels below.
void CollectDocks(const TWinControl& Parent, const TCustomDockWindow& Skip, std::vector<TDockSite*>& Docks) {
    std::vector<TDockSite*> level;
    std::vector<const TWinControl*> below;
    for (TControl* control : Parent.Controls()) {
        auto* win = dynamic_cast<TWinControl*>(control);
        if (!win || win == &Skip || !win->Showing()) continue;
        if (auto* dock = dynamic_cast<TDockSite*>(win)) level.push_back(dock);
        else below.push_back(win);
    }
    std::stable_sort(level.begin(), level.end(),
                     [](const TDockSite* A, const TDockSite* B) { return A->Position() < B->Position(); });
    Docks.insert(Docks.end(), level.begin(), level.end());
    for (const TWinControl* win : below) CollectDocks(*win, Skip, Docks);
}

}  // namespace

TDockDragLoop::TDockDragLoop(TCustomDockWindow& Window, TPoint GrabScreen)
    : window_(Window), cursor_(GrabScreen) {
    grabSize_ = {std::max(Window.Width(), 1), std::max(Window.Height(), 1)};
    const TPoint outer = OuterOnScreen(Window);
    outline_ = {outer.X, outer.Y, outer.X + Window.Width(), outer.Y + Window.Height()};
    grabOffset_ = {GrabScreen.X - outer.X, GrabScreen.Y - outer.Y};
    if (Window.DockMode == dmCannotFloatOrChangeDocks) {
        if (TDockSite* dock = Window.DockedTo()) candidates_.push_back(dock);
    } else {
        std::vector<TWidgetForm*> forms;
        if (TWidgetForm* form = Window.ParentForm()) forms.push_back(form);
        for (TWidgetForm* form : Window.DockForms())
            if (std::find(forms.begin(), forms.end(), form) == forms.end()) forms.push_back(form);
        std::vector<TDockSite*> docks;
        for (TWidgetForm* form : forms) CollectDocks(*form, Window, docks);
        for (TDockSite* dock : docks)
            if (dock->AllowDrag() && (Window.DockableTo & DockPositionBit(dock->Position()))) candidates_.push_back(dock);
    }
    Evaluate();
}

TRect TDockDragLoop::DockScreenRect(const TDockSite& Dock) const {
    const TPoint at = OuterOnScreen(Dock);
    TRect r = {at.X, at.Y, at.X + Dock.Width(), at.Y + Dock.Height()};
    switch (Dock.Position()) {
        case dpTop: r.Bottom = std::max(r.Bottom, r.Top + 1); break;
        case dpBottom: r.Top = std::min(r.Top, r.Bottom - 1); break;
        case dpLeft: r.Right = std::max(r.Right, r.Left + 1); break;
        case dpRight: r.Left = std::min(r.Left, r.Right - 1); break;
    }
    return r;
}

void TDockDragLoop::MouseMove(TPoint Screen, bool Ctrl) {
    if (!running_) return;
    cursor_ = Screen;
    ctrl_ = Ctrl;
    Evaluate();
}

void TDockDragLoop::CtrlChanged(bool Ctrl) {
    if (!running_) return;
    ctrl_ = Ctrl;
    Evaluate();
}

void TDockDragLoop::Evaluate() {
    // The grab point keeps its proportional place in whatever size the outline takes.
    auto placed = [this](TPoint Size) {
        const int32_t ox = static_cast<int32_t>(int64_t(grabOffset_.X) * Size.X / grabSize_.X);
        const int32_t oy = static_cast<int32_t>(int64_t(grabOffset_.Y) * Size.Y / grabSize_.Y);
        return Bounds(cursor_.X - ox, cursor_.Y - oy, Size.X, Size.Y);
    };
    target_ = nullptr;
    outlineVisible_ = true;
    if (!ctrl_) {
        for (TDockSite* dock : candidates_) {
            const TRect dockRect = DockScreenRect(*dock);
            const TRect docked = placed(window_.DockedSize(*dock));
            const bool alongOk = dock->DockType() == dtTopBottom || (cursor_.Y >= dockRect.Top && cursor_.Y < dockRect.Bottom);
            if (!alongOk || !PtInRect(Inflate(dockRect, DockSnapDistance), cursor_) || !Intersects(docked, dockRect))
                continue;
            bool accept = true;
            if (dock->OnRequestDock) dock->OnRequestDock(dock, &window_, accept);
            if (!accept) continue;
            target_ = dock;
            outline_ = docked;
            return;
        }
    }
    if (window_.DockMode != dmCanFloat) {
        outlineVisible_ = false;
        return;
    }
    outline_ = placed(window_.FloatingSize());
}

int32_t TDockDragLoop::OutlineThickness() const {
    if (target_) return 1;
    return window_.Resizable ? FloatingSizingFrame : FloatingDialogFrame;
}

TDockRowHit TDockDragLoop::TargetRow() const {
    if (!target_) return {};
    const TPoint centre = ScreenToClientOf(*target_, 
        {(outline_.Left + outline_.Right) / 2, (outline_.Top + outline_.Bottom) / 2});
    return target_->GetRowOf(target_->DockType() == dtTopBottom ? centre.Y : centre.X);
}

void TDockDragLoop::Cancel() { running_ = false; }

void TDockDragLoop::LeftButtonUp() {
    if (!running_) return;
    running_ = false;
    if (!outlineVisible_) return;
    accepted_ = true;
    if (TDockSite* dock = target_) {
        const TDockRowHit hit = TargetRow();
        if (hit.Before || (window_.FullSize() && dock->GetNumberOfToolbarsOnRow(hit.Row, &window_) > 0))
            dock->InsertRowBefore(hit.Row);
        const TPoint topLeft = ScreenToClientOf(*dock, {outline_.Left, outline_.Top});
        dock->BeginUpdate();
        window_.dockRow_ = hit.Row;
        window_.dockPos_ = dock->DockType() == dtTopBottom ? topLeft.X : topLeft.Y;
        window_.SetDockedTo(dock);
        dock->EndUpdate();
        dock->ArrangeToolbars(true);
        return;
    }
    const TPoint at = {outline_.Left, outline_.Top};
    if (window_.Docked()) {
        window_.floatingPosition_ = at;
        if (TWidgetForm* form = window_.ParentForm()) window_.SetParent(form);
    } else {
        window_.SetFloatingPosition(at);
    }
    window_.MoveOnScreen();
}

// ---- Resizing ----

TDockResizeLoop::TDockResizeLoop(TCustomDockWindow& Window, TFloatingHit Edge, TPoint StartScreen)
    : window_(Window), edge_(Edge), start_(StartScreen) {
    const TPoint outer = OuterOnScreen(Window);
    startBounds_ = outline_ = Bounds(outer.X, outer.Y, Window.Width(), Window.Height());
    Window.ResizeBegin(Edge);
}

void TDockResizeLoop::MouseMove(TPoint Screen) {
    if (!running_) return;
    // With one monitor the cursor stays inside its work area.
    const std::vector<TMonitorArea> monitors = ScreenMonitors();
    if (monitors.size() == 1) {
        const TRect& work = monitors.front().Work;
        Screen = {std::clamp(Screen.X, work.Left, work.Right - 1), std::clamp(Screen.Y, work.Top, work.Bottom - 1)};
    }
    const int32_t dx = Screen.X - start_.X, dy = Screen.Y - start_.Y;
    const bool left = edge_ == fhLeft || edge_ == fhTopLeft || edge_ == fhBottomLeft;
    const bool right = edge_ == fhRight || edge_ == fhTopRight || edge_ == fhBottomRight;
    const bool top = edge_ == fhTop || edge_ == fhTopLeft || edge_ == fhTopRight;
    const bool bottom = edge_ == fhBottom || edge_ == fhBottomLeft || edge_ == fhBottomRight;
    TRect r = startBounds_;
    if (left) r.Left += dx;
    if (right) r.Right += dx;
    if (top) r.Top += dy;
    if (bottom) r.Bottom += dy;
    const TPoint size = window_.ResizeTrack(edge_, {r.Right - r.Left, r.Bottom - r.Top});
    // The opposite edges stay.
    if (left) r.Left = r.Right - size.X;
    else r.Right = r.Left + size.X;
    if (top) r.Top = r.Bottom - size.Y;
    else r.Bottom = r.Top + size.Y;
    outline_ = r;
}

void TDockResizeLoop::LeftButtonUp() {
    if (!running_) return;
    running_ = false;
    window_.ResizeEnd({outline_.Right - outline_.Left, outline_.Bottom - outline_.Top});
    window_.SetFloatingPosition({outline_.Left, outline_.Top});
    window_.MoveOnScreen();
}

void TDockResizeLoop::Cancel() { running_ = false; }

// ---- Painting ----

void DrawCloseGlyph(TWidgetCanvas& Canvas, const TRect& R, bool Pushed) {
    TRect edge = R;
    DrawEdge(Canvas, edge, Pushed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_MIDDLE | BF_SOFT);
    const int32_t shift = Pushed ? 1 : 0;
    const int32_t side = std::min(R.Right - R.Left, R.Bottom - R.Top) - 6;
    const int32_t x = R.Left + 3 + shift, y = R.Top + 3 + shift;
    for (int32_t i = 0; i < side; ++i) {
        // Two diagonals, each two pixels wide.
        for (int32_t d = 0; d < 2 && i + d < side; ++d) {
            Canvas.Pixel(x + i + d, y + i, clBtnText);
            Canvas.Pixel(x + side - 1 - i - d, y + i, clBtnText);
        }
    }
}

void PaintFloatingCaption(TWidgetCanvas& Canvas, const TFloatingFrame& Frame, const std::string& Text, bool Active,
                          bool ClosePushed) {
    if (RectIsEmpty(Frame.Caption)) return;
    Canvas.FillRect(Frame.Caption, Active ? clActiveCaption : clInactiveCaption);
    TRect text = {Frame.Caption.Left + 2, Frame.Caption.Top, Frame.Caption.Right - 2, Frame.Caption.Bottom};
    if (!RectIsEmpty(Frame.CloseButton)) text.Right = Frame.CloseButton.Left - 2;
    const TWidgetFont saved = Canvas.Font;
    Canvas.Font.Color = Active ? clCaptionText : clInactiveCaptionText;
    const TWidgetFont font = Canvas.Font;
    const std::string fitted =
        FitCaptionText(Text, text.Right - text.Left, [&font](const std::string& S) { return TextWidth(font, S); });
    DrawText(Canvas, fitted, text, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    Canvas.Font = saved;
    if (!RectIsEmpty(Frame.CloseButton)) DrawCloseGlyph(Canvas, Frame.CloseButton, ClosePushed);
}
