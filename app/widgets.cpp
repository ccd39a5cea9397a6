// The control base: timers, controls, windowed controls and the form that routes input to them.
#include "app/widgets.h"
#include "app/dockhooks.h"
#include "platform/clock.h"
#include "core/sysutils.h"
#include "graphics/dxdibx.h"
#include "platform/display.h"

#include <cstdlib>

namespace {

TWindowHandle NextHandle = 0x10000;

TRect Union(const TRect& A, const TRect& B) {
    if (RectIsEmpty(A)) return B;
    if (RectIsEmpty(B)) return A;
    return {std::min(A.Left, B.Left), std::min(A.Top, B.Top), std::max(A.Right, B.Right), std::max(A.Bottom, B.Bottom)};
}

bool Contains(const TRect& R, int32_t X, int32_t Y) { return X >= R.Left && X < R.Right && Y >= R.Top && Y < R.Bottom; }

// Whether Control is Ancestor or lies inside it.
bool IsWithin(const TControl* Control, const TControl* Ancestor) {
    for (; Control; Control = Control->Parent())
        if (Control == Ancestor) return true;
    return false;
}

}  // namespace

// ---- TTimer ----

TTimer::TTimer() {
    target_ = platform::MainQueue().AddTarget([this](const platform::QueuedMessage& M) {
        if (M.message == platform::TimerMessage && enabled_ && OnTimer) OnTimer();
    });
    Update();
}

TTimer::~TTimer() { platform::MainQueue().RemoveTarget(target_); }

void TTimer::SetInterval(uint32_t Value) {
    interval_ = Value;
    Update();
}

void TTimer::SetEnabled(bool Value) {
    if (enabled_ == Value) return;
    enabled_ = Value;
    Update();
}

void TTimer::Update() {
    if (enabled_ && interval_ > 0)
        platform::MainQueue().SetTimer(target_, 1, interval_);
    else
        platform::MainQueue().KillTimer(target_, 1);
}

// ---- TControl ----

TControl::TControl() = default;

TControl::~TControl() {
    if (asForm_ == this) return;  // the form took care of itself
    if (TWidgetForm* form = Form()) form->ControlGone(this);
    SetParent(nullptr);
}

void TControl::SetParent(TWinControl* NewParent) {
    if (parent_ == NewParent) return;
    if (parent_) {
        Invalidate();
        TWidgetForm* oldForm = Form();
        if (oldForm && (!NewParent || NewParent->Form() != oldForm)) oldForm->ControlGone(this);
        auto& list = parent_->controls_;
        list.erase(std::find(list.begin(), list.end(), this));
        auto& tabs = parent_->tabList_;
        if (asWin_) tabs.erase(std::remove(tabs.begin(), tabs.end(), asWin_), tabs.end());
        TWinControl* old = parent_;
        parent_ = nullptr;
        old->ControlListChange(this, false);
    }
    parent_ = NewParent;
    if (!parent_) return;
    auto& list = parent_->controls_;
    if (asWin_) {
        list.push_back(this);
        parent_->tabList_.push_back(asWin_);
    } else {
        auto firstWin = std::find_if(list.begin(), list.end(), [](TControl* C) { return C->asWin_ != nullptr; });
        list.insert(firstWin, this);
    }
    Invalidate();
    parent_->ControlListChange(this, true);
}

void TControl::SetBounds(int32_t Left, int32_t Top, int32_t Width, int32_t Height) {
    if (Left == left_ && Top == top_ && Width == width_ && Height == height_) return;
    const bool resized = Width != width_ || Height != height_;
    Invalidate();
    left_ = Left;
    top_ = Top;
    width_ = std::max(0, Width);
    height_ = std::max(0, Height);
    Invalidate();
    if (resized) Resize();
    if (asWin_) RaiseHookPoint(THookProcCode::hpWindowPosChanged, asWin_->Handle());
    if (parent_) parent_->ControlChange(this);
}

TWidgetForm* TControl::Form() const {
    const TControl* c = this;
    while (c->parent_) c = c->parent_;
    return c->asForm_;
}

TPoint TControl::ClientToForm(TPoint P) const {
    if (!parent_) return P;
    const TPoint origin = ClientOrigin();
    P = {P.X + origin.X + left_, P.Y + origin.Y + top_};
    for (const TControl* c = parent_; c->parent_; c = c->parent_) {
        const TPoint o = c->ClientOrigin();
        P = {P.X + o.X + c->left_, P.Y + o.Y + c->top_};
    }
    return P;
}

TPoint TControl::FormToClient(TPoint P) const {
    const TPoint zero = ClientToForm({0, 0});
    return {P.X - zero.X, P.Y - zero.Y};
}

void TControl::BringToFront() {
    if (!parent_) return;
    auto& list = parent_->controls_;
    list.erase(std::find(list.begin(), list.end(), this));
    if (asWin_)
        list.push_back(this);
    else
        list.insert(std::find_if(list.begin(), list.end(), [](TControl* C) { return C->asWin_ != nullptr; }), this);
    Invalidate();
}

void TControl::SendToBack() {
    if (!parent_) return;
    auto& list = parent_->controls_;
    list.erase(std::find(list.begin(), list.end(), this));
    if (asWin_)
        list.insert(std::find_if(list.begin(), list.end(), [](TControl* C) { return C->asWin_ != nullptr; }), this);
    else
        list.insert(list.begin(), this);
    Invalidate();
}

void TControl::SetVisible(bool Value) {
    if (visible_ == Value) return;
    if (!Value) {
        Invalidate();
        if (TWidgetForm* form = Form(); form && form != this) form->ControlGone(this);
    }
    visible_ = Value;
    Invalidate();
    if (parent_) parent_->ControlChange(this);
}

void TControl::SetEnabled(bool Value) {
    if (enabled_ == Value) return;
    enabled_ = Value;
    Invalidate();
}

bool TControl::Showing() const { return visible_ && (parent_ ? parent_->Showing() : asForm_ != nullptr); }

bool TControl::EffectivelyEnabled() const { return enabled_ && (!parent_ || parent_->EffectivelyEnabled()); }

void TControl::SetCaption(const std::string& Value) {
    if (caption_ == Value) return;
    caption_ = Value;
    Invalidate();
}

TColor TControl::Color() const { return ParentColor && parent_ ? parent_->Color() : color_; }

void TControl::SetColor(TColor Value) {
    color_ = Value;
    ParentColor = false;
    Invalidate();
}

const TWidgetFont& TControl::Font() const { return ParentFont && parent_ ? parent_->Font() : font_; }

void TControl::SetFont(const TWidgetFont& Value) {
    font_ = Value;
    ParentFont = false;
    Invalidate();
}

bool TControl::MouseInControl() const {
    const TWidgetForm* form = Form();
    return form && form->hover_ == this;
}

bool TControl::MouseCapture() const {
    const TWidgetForm* form = Form();
    return form && form->capture_ == this;
}

void TControl::SetMouseCapture(bool Value) {
    TWidgetForm* form = Form();
    if (!form) return;
    if (Value)
        form->SetCaptureControl(this);
    else if (form->capture_ == this)
        form->SetCaptureControl(nullptr);
}

void TControl::Invalidate() {
    TWidgetForm* form = Form();
    if (!form) return;
    if (form == this) {
        form->InvalidateRect(ClientRect());
        return;
    }
    const TPoint p = parent_->ClientToForm({left_, top_});
    form->InvalidateRect({p.X, p.Y, p.X + width_, p.Y + height_});
}

void TControl::Paint(TWidgetCanvas&) {}

void TControl::PaintTo(TWidgetCanvas& Canvas, uint32_t Flags) {
    if (asWin_) {
        HandleWMPrint(*asWin_, Canvas, Flags);
        return;
    }
    if ((Flags & PRF_CHECKVISIBLE) && !visible_) return;
    TWidgetCanvas c = Canvas.Part({0, 0, width_, height_});
    c.Font = Font();
    Paint(c);
}

void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}

void TControl::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
    if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}

void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}

void TControl::MouseEnter() {
    if (OnMouseEnter) OnMouseEnter(this);
}

void TControl::MouseLeave() {
    if (OnMouseLeave) OnMouseLeave(this);
}

void TControl::Click() {
    if (OnClick) OnClick(this);
}

void TControl::DblClick() {
    if (OnDblClick) OnDblClick(this);
}

bool TControl::MouseWheel(int32_t) { return false; }

bool TControl::DialogKey(int32_t, TShiftState) { return false; }

bool TControl::DialogChar(char) { return false; }

// ---- TWinControl ----

TWinControl::TWinControl() : handle_(NextHandle++) {
    asWin_ = this;
}

TWinControl::~TWinControl() {
    RaiseHookPoint(THookProcCode::hpDestroyWindow, handle_);
    for (TControl* c : controls_) c->parent_ = nullptr;
    controls_.clear();
    tabList_.clear();
}

TControl* TWinControl::ControlAtPos(TPoint P, bool AllLevels) const {
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
        TControl* c = *it;
        if (!c->visible_ || !Contains(c->BoundsRect(), P.X, P.Y)) continue;
        if (AllLevels && c->asWin_) {
            const TPoint o = c->ClientOrigin();
            if (TControl* inner = c->asWin_->ControlAtPos({P.X - c->left_ - o.X, P.Y - c->top_ - o.Y}, true))
                return inner;
        }
        return c;
    }
    return nullptr;
}

TRect TWinControl::ClientRect() const {
    const TRect m = NonClientMargins();
    return {0, 0, std::max(0, width_ - m.Left - m.Right), std::max(0, height_ - m.Top - m.Bottom)};
}

TPoint TWinControl::ClientOrigin() const {
    const TRect m = NonClientMargins();
    return {m.Left, m.Top};
}

void TWinControl::EraseBackground(TWidgetCanvas& Canvas) { Canvas.FillRect(ClientRect(), Color()); }

int32_t TWinControl::TabOrder() const {
    if (!parent_) return -1;
    const auto& tabs = parent_->tabList_;
    return int32_t(std::find(tabs.begin(), tabs.end(), this) - tabs.begin());
}

void TWinControl::SetTabOrder(int32_t Value) {
    if (!parent_) return;
    auto& tabs = parent_->tabList_;
    tabs.erase(std::find(tabs.begin(), tabs.end(), this));
    tabs.insert(tabs.begin() + std::clamp<int32_t>(Value, 0, int32_t(tabs.size())), this);
}

bool TWinControl::CanFocus() const { return Showing() && EffectivelyEnabled(); }

bool TWinControl::Focused() const {
    const TWidgetForm* form = Form();
    return form && form->ActiveControl() == this;
}

void TWinControl::SetFocus() {
    if (TWidgetForm* form = Form(); form && CanFocus()) form->SetActiveControl(this);
}

bool TWinControl::WantsKey(int32_t) const { return false; }

void TWinControl::KeyDown(int32_t&, TShiftState) {}

void TWinControl::KeyUp(int32_t&, TShiftState) {}

void TWinControl::KeyPress(const std::string&) {}

// ---- TWidgetForm ----

TWidgetForm::TWidgetForm() {
    asForm_ = this;
    ClockSource = platform::ClockMs;
}

TWidgetForm::~TWidgetForm() {
    for (TWidgetForm* f : owned_) f->owner_ = nullptr;
    SetOwnerForm(nullptr);
    // Controls still on the form find no form from now on.
    asForm_ = nullptr;
}

void TWidgetForm::SetOwnerForm(TWidgetForm* Owner) {
    if (owner_ == Owner) return;
    if (owner_) owner_->owned_.erase(std::find(owner_->owned_.begin(), owner_->owned_.end(), this));
    owner_ = Owner;
    if (owner_) owner_->owned_.push_back(this);
}

void TWidgetForm::ControlGone(TControl* Control) {
    if (IsWithin(capture_, Control)) capture_ = nullptr;
    if (IsWithin(hover_, Control)) hover_ = nullptr;
    if (IsWithin(active_, Control)) active_ = nullptr;
    if (IsWithin(lastDownControl_, Control)) lastDownControl_ = nullptr;
    if (IsWithin(clicked_, Control)) clicked_ = nullptr;
    if (IsWithin(releasing_, Control)) releasing_ = nullptr;
}

TShiftState TWidgetForm::Shift() const {
    return (shiftDown_ ? ssShift : 0) | (ctrlDown_ ? ssCtrl : 0) | (altDown_ ? ssAlt : 0) | buttons_;
}

TControl* TWidgetForm::MouseTarget(int32_t X, int32_t Y) const {
    TControl* c = ControlAtPos({X, Y}, true);
    while (c && !c->EffectivelyEnabled()) c = c->parent_;
    if (c) return c;
    return enabled_ ? const_cast<TWidgetForm*>(this) : nullptr;
}

void TWidgetForm::SetHover(TControl* Control) {
    if (hover_ == Control) return;
    TControl* old = hover_;
    hover_ = Control;
    if (old) old->MouseLeave();
    if (hover_ == Control && Control) Control->MouseEnter();
}

void TWidgetForm::SetCaptureControl(TControl* Control) {
    if (capture_ == Control) return;
    TControl* old = capture_;
    capture_ = Control;
    if (old && Control) old->CaptureLost();
}

namespace {

TShiftState ButtonBit(TMouseButton Button) {
    return Button == TMouseButton::mbLeft ? ssLeft : Button == TMouseButton::mbRight ? ssRight : ssMiddle;
}

}  // namespace

void TWidgetForm::DispatchMouseDown(TMouseButton Button, int32_t X, int32_t Y) {
    buttons_ |= ButtonBit(Button);
    TControl* target = capture_ ? capture_ : MouseTarget(X, Y);
    if (!target) return;
    const uint32_t now = ClockSource ? ClockSource() : 0;
    const bool doubled = target == lastDownControl_ && Button == lastDownButton_ &&
                         now - lastDownTime_ <= DoubleClickTime && std::abs(X - lastDownX_) <= DoubleClickDistance / 2 &&
                         std::abs(Y - lastDownY_) <= DoubleClickDistance / 2 && (target->ControlStyle & csDoubleClicks);
    lastDownControl_ = doubled ? nullptr : target;
    lastDownButton_ = Button;
    lastDownTime_ = now;
    lastDownX_ = X;
    lastDownY_ = Y;
    if (target->asWin_ && target->asWin_->TabStop && target->asWin_->CanFocus()) SetActiveControl(target->asWin_);
    if (Button == TMouseButton::mbLeft) {
        if (target->ControlStyle & csCaptureMouse) SetCaptureControl(target);
        clicked_ = (target->ControlStyle & csClickEvents) ? target : nullptr;
    }
    const TPoint p = target->FormToClient({X, Y});
    if (doubled) target->DblClick();
    target->MouseDown(Button, Shift() | (doubled ? ssDouble : 0), p.X, p.Y);
}

void TWidgetForm::DispatchMouseMove(int32_t X, int32_t Y) {
    TControl* under = ControlAtPos({X, Y}, true);
    if (!under && Contains(ClientRect(), X, Y)) under = this;
    SetHover(under);
    TControl* target = capture_ ? capture_ : MouseTarget(X, Y);
    TControl* window = target ? target : this;
    while (!window->asWin_) window = window->parent_;
    RaiseHookPoint(THookProcCode::hpMouseMovePosted, window->asWin_->Handle(), Shift(),
                   intptr_t((uint32_t(Y & 0xFFFF) << 16) | uint32_t(X & 0xFFFF)));
    if (!target) return;
    const TPoint p = target->FormToClient({X, Y});
    target->MouseMove(Shift(), p.X, p.Y);
}

void TWidgetForm::DispatchMouseUp(TMouseButton Button, int32_t X, int32_t Y) {
    TControl* target = capture_ ? capture_ : MouseTarget(X, Y);
    const TShiftState shift = Shift();
    buttons_ &= ~ButtonBit(Button);
    if (target) {
        const TPoint p = target->FormToClient({X, Y});
        releasing_ = target;
        if (Button == TMouseButton::mbLeft) {
            if (capture_ == target && (target->ControlStyle & csCaptureMouse)) SetCaptureControl(nullptr);
            TControl* clicked = clicked_;
            clicked_ = nullptr;
            if (clicked == target && Contains(target->ClientRect(), p.X, p.Y)) target->Click();
        }
        // The click may have taken the control away.
        if (releasing_ == target) target->MouseUp(Button, shift & ~ButtonBit(Button), p.X, p.Y);
        releasing_ = nullptr;
    }
    TControl* under = ControlAtPos({X, Y}, true);
    if (!under && Contains(ClientRect(), X, Y)) under = this;
    SetHover(under);
}

void TWidgetForm::DispatchMouseLeave() { SetHover(nullptr); }

namespace {

// The modifier a key code stands for (left and right variants included): 1 shift, 2 ctrl, 3 alt.
int ModifierOf(int32_t Key) {
    switch (Key) {
    case VK_SHIFT: case 0xA0: case 0xA1: return 1;
    case VK_CONTROL: case 0xA2: case 0xA3: return 2;
    case VK_MENU: case 0xA4: case 0xA5: return 3;
    default: return 0;
    }
}

// Calls Fn on every showing, enabled control under Parent, depth first in z-order, until it
// answers true.
template <typename F>
bool ForEachActive(TWinControl& Parent, F&& Fn) {
    for (TControl* c : Parent.Controls()) {
        if (!c->Visible() || !c->Enabled()) continue;
        if (Fn(c)) return true;
        if (auto* w = dynamic_cast<TWinControl*>(c); w && ForEachActive(*w, Fn)) return true;
    }
    return false;
}

}  // namespace

void TWidgetForm::DispatchKeyDown(int32_t Key) {
    if (const int m = ModifierOf(Key)) (m == 1 ? shiftDown_ : m == 2 ? ctrlDown_ : altDown_) = true;
    const TShiftState shift = Shift();
    TWinControl* focused = active_ && active_->CanFocus() ? active_ : nullptr;
    if (Key == VK_TAB && !(focused && focused->WantsKey(VK_TAB))) {
        SelectNext(!(shift & ssShift));
        return;
    }
    const bool alnum = (Key >= '0' && Key <= '9') || (Key >= 'A' && Key <= 'Z');
    if ((shift & ssAlt) && alnum && ForEachActive(*this, [&](TControl* C) { return C->DialogChar(char(Key)); }))
        return;
    int32_t key = Key;
    if (focused) {
        focused->KeyDown(key, shift);
        if (key == 0) return;
    }
    if ((Key == VK_RETURN || Key == VK_ESCAPE) && !(focused && focused->WantsKey(Key)))
        ForEachActive(*this, [&](TControl* C) { return C->DialogKey(Key, shift); });
}

void TWidgetForm::DispatchKeyUp(int32_t Key) {
    if (const int m = ModifierOf(Key)) (m == 1 ? shiftDown_ : m == 2 ? ctrlDown_ : altDown_) = false;
    if (active_ && active_->CanFocus()) {
        int32_t key = Key;
        active_->KeyUp(key, Shift());
    }
}

void TWidgetForm::DispatchChar(const std::string& Char) {
    if (Char.empty()) return;
    if (active_ && active_->CanFocus() && active_->WantsChars()) {
        active_->KeyPress(Char);
        return;
    }
    if (Char.size() != 1 || (Shift() & (ssCtrl | ssAlt))) return;
    char c = Char[0];
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    ForEachActive(*this, [&](TControl* C) { return C->DialogChar(c); });
}

void TWidgetForm::DispatchInput(const platform::InputEvent& E) {
    using platform::InputKind;
    const TMouseButton button = E.button == platform::MouseButton::Right    ? TMouseButton::mbRight
                                : E.button == platform::MouseButton::Middle ? TMouseButton::mbMiddle
                                                                             : TMouseButton::mbLeft;
    switch (E.kind) {
    case InputKind::MouseDown:
        DispatchMouseMove(E.x, E.y);
        DispatchMouseDown(button, E.x, E.y);
        break;
    case InputKind::MouseUp:
        DispatchMouseMove(E.x, E.y);
        DispatchMouseUp(button, E.x, E.y);
        break;
    case InputKind::MouseMove:
        DispatchMouseMove(E.x, E.y);
        break;
    case InputKind::Wheel: {
        TControl* c = active_ ? static_cast<TControl*>(active_) : MouseTarget(E.x, E.y);
        while (c && !c->MouseWheel(E.wheel)) c = c->parent_;
        break;
    }
    case InputKind::KeyDown:
        DispatchKeyDown(E.key);
        break;
    case InputKind::KeyUp:
        DispatchKeyUp(E.key);
        break;
    case InputKind::Text:
        for (size_t i = 0; i < E.text.size(); ++i) {
            const size_t n = IsLeadByte(E.text[i]) && i + 1 < E.text.size() ? 2 : 1;
            DispatchChar(E.text.substr(i, n));
            i += n - 1;
        }
        break;
    case InputKind::Deactivate:
        shiftDown_ = ctrlDown_ = altDown_ = false;
        SetCaptureControl(nullptr);
        DispatchMouseLeave();
        break;
    case InputKind::MouseLeave:
        if (!capture_) DispatchMouseLeave();
        break;
    case InputKind::Close:
        Close();
        break;
    case InputKind::Expose:
        InvalidateRect(ClientRect());
        break;
    case InputKind::Activate:
    case InputKind::PadDown:
    case InputKind::PadUp:
    case InputKind::PadStick:
        break;
    }
}

void TWidgetForm::SetActiveControl(TWinControl* Control) {
    if (active_ == Control) return;
    TWinControl* old = active_;
    active_ = Control;
    if (old) old->DoExit();
    if (active_ == Control && Control) Control->DoEnter();
}

void TWidgetForm::SelectNext(bool Forward) {
    // The tab stops in tab order, each control's own before those inside it.
    std::vector<TWinControl*> stops;
    auto collect = [&](auto& Self, const TWinControl& Parent) -> void {
        for (TWinControl* w : Parent.tabList_) {
            if (!w->Visible() || !w->Enabled()) continue;
            if (w->TabStop) stops.push_back(w);
            Self(Self, *w);
        }
    };
    collect(collect, *this);
    if (stops.empty()) return;
    const auto at = std::find(stops.begin(), stops.end(), active_);
    size_t next;
    if (at == stops.end())
        next = Forward ? 0 : stops.size() - 1;
    else {
        const size_t i = size_t(at - stops.begin());
        next = Forward ? (i + 1) % stops.size() : (i + stops.size() - 1) % stops.size();
    }
    SetActiveControl(stops[next]);
}

void TWidgetForm::Close() {
    if (OnClose) OnClose(this);
    if (ModalResult == mrNone) ModalResult = mrCancel;
}

void TWidgetForm::InvalidateRect(const TRect& R) {
    const TRect c = ClientRect();
    const TRect r{std::max(R.Left, c.Left), std::max(R.Top, c.Top), std::min(R.Right, c.Right),
                  std::min(R.Bottom, c.Bottom)};
    if (!RectIsEmpty(r)) invalid_ = Union(invalid_, r);
}

TRect TWidgetForm::PaintInvalid(TCustomDIBX& Surface) {
    const TRect r = invalid_;
    if (RectIsEmpty(r)) return {0, 0, 0, 0};
    invalid_ = {0, 0, 0, 0};
    TWidgetCanvas canvas(Surface);
    canvas.Clip = {std::max(r.Left, 0), std::max(r.Top, 0), std::min(r.Right, Surface.GetWidth()),
                   std::min(r.Bottom, Surface.GetHeight())};
    const TPoint o = ClientOrigin();
    canvas.Origin = {-o.X, -o.Y};
    PaintTo(canvas, PRF_CLIENT | PRF_ERASEBKGND | PRF_CHILDREN);
    return r;
}

// ---- Modal dialogs ----

namespace {

// Paints what the form invalidated into Buffer and shows it in the window.
void PresentForm(TWidgetForm& Form, TDIBX& Buffer, platform::DialogWindow& Window) {
    const TRect r = Form.PaintInvalid(Buffer);
    if (RectIsEmpty(r)) return;
    StretchBltTo(Buffer, r, Window.frame(), r);
    Window.present({{r.Left, r.Top, r.Right, r.Bottom}});
}

}  // namespace

int32_t ShowModal(TWidgetForm& Form, platform::Display& Display) {
    const std::unique_ptr<platform::DialogWindow> window = Display.openDialog(Form.Caption(), Form.Width(), Form.Height());
    if (!window) return mrNone;
    const platform::PixelRect at = window->bounds();
    Form.SetBounds(at.left, at.top, Form.Width(), Form.Height());
    Form.ModalResult = mrNone;
    Form.SetVisible(true);
    if (!Form.ActiveControl()) Form.SelectNext(true);
    Form.InvalidateRect(Form.ClientRect());
    TDIBX buffer;
    buffer.SetSize(Form.Width(), Form.Height(), 32);
    // Timers of the controls run on the main thread's queue, pumped between events.
    constexpr uint32_t PumpMs = 10;
    while (Form.ModalResult == mrNone) {
        PresentForm(Form, buffer, *window);
        platform::InputEvent event;
        if (window->waitEvent(event, PumpMs)) {
            if (event.kind == platform::InputKind::Activate || event.kind == platform::InputKind::Deactivate)
                SetApplicationActive(event.kind == platform::InputKind::Activate, Form.Handle());
            Form.DispatchInput(event);
        }
        platform::MainQueue().ProcessMessages();
    }
    PresentForm(Form, buffer, *window);
    Form.SetVisible(false);
    return Form.ModalResult;
}
