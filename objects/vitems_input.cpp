// Input: the pointer and key state the window latches, turned into queued script events once
// per tick by the root's Update; the default handlers of objects and controls; the focus.
#include "objects/vitems.h"

#include "core/sysutils.h"
#include "script/params_vars.h"

#include <utility>

namespace {

// Hit-test masks (bit v stands for IgnoreMouse value v): what a left press, a right press and
// plain hovering may land on.
constexpr uint32_t LeftPressMask = 1u << IM_NONE | 1u << IM_RCLICK;
constexpr uint32_t RightPressMask = 1u << IM_NONE | 1u << IM_LCLICK;
constexpr uint32_t HoverMask = 1u << IM_NONE | 1u << IM_CLICK | 1u << IM_LCLICK | 1u << IM_RCLICK;

bool ValidKey(int Key) { return Key >= 0 && Key < 256; }

}  // namespace

// ---- Default handlers of objects ----

TVelaBase* TVelaObject::PointerLayer() {
    if (TVelaBase* layer = GetBase()) return layer;
    return Owner ? Owner->GetBase(Owner->GetCurrentLayer()) : nullptr;
}

void TVelaObject::RaiseEvent(const std::string& Handler, uint8_t Kind, bool WithPos) {
    if (Handler.empty() || !Owner) return;
    TArrayString args;
    if (WithPos) {
        const TPoint p = PointerLayer()->MousePos;
        args.Add(IntToStr(p.X - GetOriginX()));
        args.Add(IntToStr(p.Y - GetOriginY()));
    }
    Owner->GetEvents().Add(this, Handler, &args, Kind);
}

void TVelaObject::PressButton(bool Right) {
    TVelaBase* layer = PointerLayer();
    if (!layer || !Owner) return;
    const int32_t im = GetIgnoremouse();
    const bool takes = im == IM_NONE || im == (Right ? IM_LCLICK : IM_RCLICK);
    const bool isLayer = layer == this;
    const uint8_t kind = Right ? PR_ONRBTNDOWN : PR_ONLBTNDOWN;
    bool& pressed = Right ? layer->RightPressed : layer->LeftPressed;
    if (!takes || isLayer) return;  // the press stays visible to GetLeftClicked / GetRightClicked
    pressed = false;
    if (GetPaused() || IsSelecting() || Owner->GetEvents().IsQueued(this, kind)) return;
    RaiseEvent(Right ? GetOnrbtndown() : GetOnlbtndown(), kind, true);
    layer->Capture |= Right ? TVelaBase::CaptureRight : TVelaBase::CaptureLeft;
}

void TVelaObject::ReleaseButton(bool Right) {
    TVelaBase* layer = PointerLayer();
    if (!layer) return;
    if (!IsSelecting()) RaiseEvent(Right ? GetOnrbtnup() : GetOnlbtnup(), Right ? PR_ONRBTNUP : PR_ONLBTNUP, true);
    layer->Capture &= static_cast<uint8_t>(~(Right ? TVelaBase::CaptureRight : TVelaBase::CaptureLeft));
}

void TVelaObject::DoMouseMove() {
    if (!Owner || !PointerLayer() || IsSelecting() || Owner->GetEvents().IsQueued(this, PR_ONMOUSEMOVE)) return;
    RaiseEvent(GetOnmousemove(), PR_ONMOUSEMOVE, true);
}

// Entry and exit are queued each time they happen, so the script sees them in their order.
void TVelaObject::DoMouseIn() {
    if (!IsSelecting()) RaiseEvent(GetOnmousein(), PR_ONMOUSEIN, false);
}

void TVelaObject::DoMouseOut() {
    if (!IsSelecting()) RaiseEvent(GetOnmouseout(), PR_ONMOUSEOUT, false);
}

void TVelaBase::DoMouseIn() {
    if (!Owner->GetEvents().IsQueued(this, PR_ONMOUSEIN)) TVelaControl::DoMouseIn();
}

// ---- Key handlers of controls ----

namespace {

void RaiseKeys(TVelaControl& C, TVelaBaseList* Owner, const std::string& Handler, uint8_t Kind,
               const std::vector<int32_t>& Keys) {
    if (!Owner || Handler.empty() || C.GetPaused() || C.GetBase() == &C || C.IsSelecting() ||
        Owner->GetEvents().IsQueued(&C, Kind))
        return;
    TArrayString args;
    for (int32_t key : Keys) args.Add(IntToStr(key));
    Owner->GetEvents().Add(&C, Handler, &args, Kind);
}

}  // namespace

void TVelaControl::DoKeyDown() { RaiseKeys(*this, Owner, GetOnkeydown(), PR_ONKEYDOWN, Owner->Keys.DownKeys); }
void TVelaControl::DoKeyUp() { RaiseKeys(*this, Owner, GetOnkeyup(), PR_ONKEYUP, Owner->Keys.UpKeys); }
void TVelaControl::DoKeyPress() { RaiseKeys(*this, Owner, GetOnkeyrepeat(), PR_ONKEYREPEAT, Owner->Keys.RepeatKeys); }

// ---- The pointer step of a layer ----

void TVelaBase::UpdateMouse() {
    LeftPressed = std::exchange(LeftLatch, false);
    RightPressed = std::exchange(RightLatch, false);
    WheelDown = std::exchange(WheelDownLatch, false);
    WheelUp = std::exchange(WheelUpLatch, false);

    // A right press anywhere first offers itself to the registered selecting objects of this
    // layer; the first that takes it as a cancel consumes it.
    if (RightPressed) {
        TVelaList& selecting = Owner->GetVelaList();
        for (int i = 0; i < selecting.Count(); ++i) {
            TVelaObject* obj = selecting.Items(i);
            const int32_t im = obj->GetIgnoremouse();
            if (obj->GetRclickscrap() && obj->GetVisible() && obj->GetBase() == this && !obj->GetPaused() &&
                !obj->InCabinet() && (im == IM_NONE || im == IM_LCLICK) && obj->BeginSelect()) {
                RightPressed = false;
                break;
            }
        }
    }

    // A captured pointer belongs to the object that took the press until the button is up.
    if ((Capture & (CaptureLeft | CaptureRight)) && Owner->IsLive(MouseTarget)) {
        TVelaObject* held = MouseTarget.Object;
        if ((Capture & CaptureLeft) && !LeftHeld) {
            held->DoLBtnUp();
            Capture &= ~CaptureLeft;
        } else if ((Capture & CaptureRight) && !RightHeld) {
            held->DoRBtnUp();
            Capture &= ~CaptureRight;
        }
        if (Moved && Owner->IsLive(MouseTarget)) held->DoMouseMove();
        if (Owner->IsLive(MouseTarget)) held->DoMouseHold();
        Moved = false;
        return;
    }

    TVelaObject* previous = Owner->IsLive(MouseTarget) ? MouseTarget.Object : nullptr;
    TVelaObject* target = HitTest(MousePos, LeftPressed ? LeftPressMask : RightPressed ? RightPressMask : HoverMask);
    Capture = 0;
    // Layers and freed objects are not in the flat list: they never stay the target.
    const TObjectRef targetRef = target ? target->Ref() : TObjectRef{};
    auto keepListed = [&] {
        if (target && !Owner->IsListed(targetRef)) target = nullptr;
    };

    if (target) {
        UpdateCursor(*target);
        TTimerList& events = Owner->GetEvents();
        if (LeftPressed) {
            target->DoLBtnDown();
            keepListed();
            if (target && !target->GetPaused() && target->GetHandlekey())
                Owner->SetFocus(dynamic_cast<TVelaControl*>(target));
        } else if (RightPressed) {
            target->DoRBtnDown();
            keepListed();
        } else if (WheelDown || WheelUp) {
            const std::string handler = WheelDown ? target->GetOnwheeldown() : target->GetOnwheelup();
            const uint8_t kind = WheelDown ? PR_ONWHEELDOWN : PR_ONWHEELUP;
            if (!handler.empty() && !events.IsQueued(target, kind) && !target->IsSelecting())
                events.Add(target, handler, nullptr, kind);
        }
    }

    if (previous && previous != target && Owner->IsListed(MouseTarget)) {
        previous->DoMouseOut();
        keepListed();
    }

    if (target && (Moved || target != previous)) {
        if (target != previous) {
            target->DoMouseIn();
            keepListed();
        }
        if (target) target->DoMouseMove();
    }
    MouseTarget = target ? target->Ref() : TObjectRef{};
    Moved = false;
}

// A cursor file is loaded once for as long as its name stays and its cursor shows: the host
// remembers which layer's cursor it shows, since the panel is shared by both layers.
void TVelaBase::UpdateCursor(const TVelaObject& Target) {
    TCursorHost* host = Owner->GetCursorHost();
    if (!host) return;
    std::string name = Target.GetCurrentCursor();
    if (name.empty() && ParamMan) name = ParamMan->CursorName();
    if (name.empty()) {
        if (Owner->CursorLayer >= 0) host->DefaultCursor();
        Owner->CursorLayer = -1;
        return;
    }
    const int32_t self = Owner->GetBase(1) == this ? 1 : 0;
    if (Owner->CursorLayer == self && name == CursorName) return;
    host->LoadCursor(name);
    CursorName = name;
    Owner->CursorLayer = self;
}

// ---- The root: focus, keys and the tick's input step ----

bool TVelaBaseList::Exists(const TVelaObject* Obj) const {
    return Obj && (Obj == GetBase(0) || Obj == GetBase(1) || (Obj->Listed && Obj->GetOwner() == this));
}

void TVelaBaseList::SetFocus(TVelaControl* C) {
    if (C == Focused) return;
    TVelaControl* old = Focused;
    if (Exists(old) && !old->GetOnfocusout().empty() && !old->GetName().empty() && !old->IsSelecting())
        Events.Add(old, old->GetOnfocusout(), nullptr, PR_ONFOCUSOUT);
    Focused = C;
    if (Exists(C) && !C->GetOnfocusin().empty() && !C->IsSelecting())
        Events.Add(C, C->GetOnfocusin(), nullptr, PR_ONFOCUSIN);
    FocusUpdate = false;
    if (C) C->FocusNativeControl();
}

void TVelaBaseList::SetKeyState(int Key, bool Down) {
    if (!ValidKey(Key) || (Keys.Held[Key] != 0) == Down) return;
    Keys.Held[Key] = Down;
    Keys.RepeatNow[Key] = Down;
    if (Down) {
        Keys.RepeatCountdown[Key] = KeyRepeatFirst;
        Keys.AnyDown = Keys.AnyRepeat = true;
        Keys.DownKeys.push_back(Key);
        Keys.RepeatKeys.push_back(Key);
    } else {
        Keys.AnyUp = true;
        Keys.UpKeys.push_back(Key);
    }
}

void TVelaBaseList::SetKeyLatch(int Key, bool V) {
    if (ValidKey(Key)) Keys.DownLatch[Key] = V;
}

void TVelaBaseList::ClearKeys() {
    Keys.Held.fill(0);
    Keys.DownLatch.fill(0);
    Keys.RepeatNow.fill(0);
    Keys.RepeatCountdown.fill(0);
    Keys.AnyDown = Keys.AnyUp = Keys.AnyRepeat = false;
    Keys.DownKeys.clear();
    Keys.UpKeys.clear();
    Keys.RepeatKeys.clear();
}

bool TVelaBaseList::GetKeyDown(int Key) const { return ValidKey(Key) && Keys.Held[Key]; }
bool TVelaBaseList::GetKeyPressed(int Key) const { return ValidKey(Key) && Keys.Pressed[Key]; }
bool TVelaBaseList::GetKeyRepeat(int Key) const { return ValidKey(Key) && Keys.Repeated[Key]; }

void TVelaBaseList::DispatchKeys() {
    if (!Focused || !Focused->GetHandlekey()) return;
    if (Keys.AnyDown) Focused->DoKeyDown();
    if (Keys.AnyRepeat && Focused) Focused->DoKeyPress();
    if (Keys.AnyUp && Focused) Focused->DoKeyUp();
}

void TVelaBaseList::RunKeyRepeat(int32_t Elapsed) {
    for (int key = 0; key < 256; ++key) {
        if (!Keys.Held[key]) continue;
        int32_t& countdown = Keys.RepeatCountdown[key];
        countdown -= Elapsed;
        Keys.RepeatNow[key] = countdown < 1;
        if (!Keys.RepeatNow[key]) continue;
        countdown += KeyRepeatNext;
        Keys.AnyRepeat = true;
        Keys.RepeatKeys.push_back(key);
    }
}

void TVelaBaseList::SetCursorHost(std::unique_ptr<TCursorHost> Host) {
    CursorHost = std::move(Host);
    CursorLayer = -1;
}

void TVelaBaseList::Update(uint32_t LoopTime) {
    const int32_t elapsed = HaveLoopTime ? static_cast<int32_t>(LoopTime - LastLoopTime) : 0;
    LastLoopTime = LoopTime;
    HaveLoopTime = true;

    if (FocusUpdate) {
        SetFocus(GetBase(CurrentLayer)->GetFocusTarget());
        FocusUpdate = false;
    }
    Keys.Pressed = Keys.DownLatch;
    Keys.DownLatch.fill(0);
    Keys.Repeated = Keys.RepeatNow;
    GetBase(CurrentLayer)->UpdateMouse();
    DispatchKeys();
    Keys.AnyDown = Keys.AnyUp = Keys.AnyRepeat = false;
    Keys.DownKeys.clear();
    Keys.UpKeys.clear();
    Keys.RepeatKeys.clear();
    RunKeyRepeat(elapsed);
    MarkSeen();
}
