// The main window's game controller: its buttons and sticks as the map says, turned into the
// mouse's and keys' own events at the pointer, and the pointer put on the press target chosen.
#include "app/view.h"

#include "core/sysutils.h"
#include "objects/vitems.h"

#include <algorithm>
#include <cstdlib>

namespace {

using platform::InputEvent;
using platform::InputKind;
using platform::MouseButton;
using platform::PadStick;

// How far a stick is pushed before the push counts as a press of the d-pad or a turn of the wheel
// (it counts again once the stick is back within the dead zone).
constexpr int32_t StickPush = 16000;
// The pointer's speed with the stick pushed all the way (pixels of the panel per millisecond),
// and the time between the wheel's turns while a wheel stick is held (ms).
constexpr double StickPointerSpeed = 0.5;
constexpr int32_t StickWheelRepeat = 150;
constexpr int32_t KeyEscape = 27;

// The way a stick standing at X, Y is pushed: the axis it is pushed furthest along, once past
// StickPush; nothing within the dead zone; Held (the way it was pushed) in between.
std::optional<TPadDirection> PushedWay(int32_t X, int32_t Y, std::optional<TPadDirection> Held) {
    const int32_t far = std::max(std::abs(X), std::abs(Y));
    if (far <= platform::PadDeadZone) return std::nullopt;
    if (far <= StickPush) return Held;
    if (std::abs(X) >= std::abs(Y)) return X > 0 ? TPadDirection::Right : TPadDirection::Left;
    return Y > 0 ? TPadDirection::Down : TPadDirection::Up;
}

// A stick's value beyond the dead zone, -1..1.
double Beyond(int32_t Value) {
    const int32_t past = std::max(std::abs(Value) - platform::PadDeadZone, 0);
    return (Value < 0 ? -1.0 : 1.0) * past / (32767.0 - platform::PadDeadZone);
}

}  // namespace

void TFormView::PadEvent(const InputEvent& E) {
    if (E.kind == InputKind::PadStick) {
        if (E.key >= 0 && E.key < int32_t(PadStick::Count)) PadStickMoved(PadStick(E.key), E.x, E.y);
        return;
    }
    if (E.key < 0 || E.key >= int32_t(platform::PadButton::Count)) return;
    const bool down = E.kind == InputKind::PadDown;
    switch (padMap_.Buttons[size_t(E.key)]) {
    case TPadAction::LeftButton:
    case TPadAction::RightButton:
        PadMouse(down ? InputKind::MouseDown : InputKind::MouseUp,
                 padMap_.Buttons[size_t(E.key)] == TPadAction::LeftButton ? MouseButton::Left : MouseButton::Right);
        break;
    case TPadAction::WheelUp:
    case TPadAction::WheelDown:
        if (down) PadMouse(InputKind::Wheel, MouseButton::None, padMap_.Buttons[size_t(E.key)] == TPadAction::WheelUp ? 1 : -1);
        break;
    case TPadAction::Escape: {
        InputEvent key;
        key.kind = down ? InputKind::KeyDown : InputKind::KeyUp;
        key.key = KeyEscape;
        HandleEvent(key);
        break;
    }
    case TPadAction::FullScreen:
        if (down) ScreenSwitchClick();
        break;
    case TPadAction::Up: if (down) PadChoose(TPadDirection::Up); break;
    case TPadAction::Down: if (down) PadChoose(TPadDirection::Down); break;
    case TPadAction::Left: if (down) PadChoose(TPadDirection::Left); break;
    case TPadAction::Right: if (down) PadChoose(TPadDirection::Right); break;
    case TPadAction::None: break;
    }
}

void TFormView::PadStickMoved(PadStick Stick, int32_t X, int32_t Y) {
    TPadStickState& stick = padSticks_[size_t(Stick)];
    stick.X = X;
    stick.Y = Y;
    switch (padMap_.Sticks[size_t(Stick)]) {
    case TStickAction::Pointer: {
        const std::optional<TPadDirection> way = PushedWay(X, Y, stick.Pushed);
        if (!way) {
            stick.MovesPointer = false;
            stick.CarryX = stick.CarryY = 0;
        } else if (way != stick.Pushed && !stick.MovesPointer) {
            // With no press target on the screen the stick moves the pointer until it is let go.
            stick.MovesPointer = !PadChoose(*way);
        }
        stick.Pushed = way;
        break;
    }
    case TStickAction::Wheel: {
        // Up and down only: the wheel turns at once, then on while the stick is held.
        const std::optional<TPadDirection> before = stick.Pushed;
        std::optional<TPadDirection> way = PushedWay(0, Y, before);
        stick.Pushed = way;
        if (way && way != before) {
            PadMouse(InputKind::Wheel, MouseButton::None, way == TPadDirection::Up ? 1 : -1);
            stick.WheelWait = StickWheelRepeat;
        }
        break;
    }
    case TStickAction::None: break;
    }
}

void TFormView::PadTick(uint32_t Elapsed) {
    for (size_t i = 0; i < padSticks_.size(); ++i) {
        TPadStickState& stick = padSticks_[i];
        if (padMap_.Sticks[i] == TStickAction::Wheel && stick.Pushed) {
            for (stick.WheelWait -= int32_t(std::min<uint32_t>(Elapsed, 1000)); stick.WheelWait <= 0;
                 stick.WheelWait += StickWheelRepeat)
                PadMouse(InputKind::Wheel, MouseButton::None, stick.Pushed == TPadDirection::Up ? 1 : -1);
        } else if (padMap_.Sticks[i] == TStickAction::Pointer && stick.MovesPointer && Bases) {
            stick.CarryX += Beyond(stick.X) * StickPointerSpeed * Elapsed;
            stick.CarryY += Beyond(stick.Y) * StickPointerSpeed * Elapsed;
            const int32_t dx = int32_t(stick.CarryX), dy = int32_t(stick.CarryY);
            if (dx == 0 && dy == 0) continue;
            stick.CarryX -= dx;
            stick.CarryY -= dy;
            const InputEvent at = PadPointer();
            PadPointTo(std::clamp(at.x + dx, BasePanel.Left, BasePanel.Left + BasePanel.Width - 1),
                       std::clamp(at.y + dy, BasePanel.Top, BasePanel.Top + BasePanel.Height - 1));
        }
    }
}

bool TFormView::PadChoose(TPadDirection Direction) {
    if (!Bases) return false;
    const InputEvent at = PadPointer();
    TPressTargetChoice choice({at.x - PanelLeft, at.y - PanelTop}, Direction);
    TVelaBase* layer = Bases->GetBase(Bases->GetCurrentLayer());
    const TRect screen{0, 0, layer->GetWidth(), layer->GetHeight()};
    layer->ListPressTargets([&](const TRect& Area, TPoint At) {
        if (PointInRect(screen, At.X, At.Y)) choice.Offer(Area, At);
    });
    if (const std::optional<TPoint> to = choice.Chosen()) PadPointTo(PanelLeft + to->X, PanelTop + to->Y);
    return choice.Any();
}

// Where the pad put the pointer, until the mouse moves it: the window system may tell of a warp
// only later.
InputEvent TFormView::PadPointer() {
    InputEvent at;
    if (padAt_) {
        at.x = padAt_->X;
        at.y = padAt_->Y;
        return at;
    }
    Display.cursorPos(at.x, at.y);
    if (InPanel(at.x, at.y) && !OnDock(at.y)) return at;
    PadPointTo(BasePanel.Left + BasePanel.Width / 2, BasePanel.Top + BasePanel.Height / 2);
    return PadPointer();
}

void TFormView::PadPointTo(int32_t X, int32_t Y) {
    Display.setCursorPos(X, Y);
    InputEvent move;
    move.kind = InputKind::MouseMove;
    move.x = X;
    move.y = Y;
    move.warped = true;
    HandleEvent(move);
    padAt_ = TPoint{X, Y};
}

void TFormView::PadMouse(InputKind Kind, MouseButton Button, int32_t Wheel) {
    InputEvent e = PadPointer();
    e.kind = Kind;
    e.button = Button;
    e.wheel = Wheel;
    HandleEvent(e);
}
