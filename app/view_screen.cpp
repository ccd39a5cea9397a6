// The main window's screen mode, toolbar, activation, input latches and window events.
#include "app/view.h"

#include "app/dockhooks.h"
#include "core/sysutils.h"
#include "graphics/dxdibx.h"
#include "media/mediaman.h"
#include "media/midiplay.h"
#include "objects/vitemex_edit.h"
#include "objects/vitems.h"
#include "platform/clock.h"
#include "platform/system.h"
#include "platform/textout.h"
#include "script/project.h"
#include "script/services.h"

#include <algorithm>
#include <thread>

namespace {

using platform::InputKind;
using platform::MouseButton;

// The pause of a screen-mode switch, cleared however the switch ends.
class TPauseGuard {
public:
    explicit TPauseGuard(TLoopClock& Clock) : clock_(Clock) { clock_.Paused = true; }
    ~TPauseGuard() { clock_.Paused = false; }

private:
    TLoopClock& clock_;
};

// The MIDI sequencer across a screen-mode switch: closed before, opened again after it on the
// manager's device, reset, and played on from where it was.
class TMidiSwitch {
public:
    // Stops and closes an open sequencer, keeping whether and where it played.
    void Close() {
        player_ = MidiMan ? MidiMan->GetPlayer() : nullptr;
        if (!player_ || !player_->IsOpen()) {
            player_ = nullptr;
            return;
        }
        playing_ = player_->IsPlaying();
        if (playing_) {
            position_ = player_->GetPosition();
            player_->Stop();
        }
        player_->Close();
    }
    void Reopen() {
        if (!player_) return;
        player_->Open(MidiMan->GetDeviceIndex() - 1);
        player_->SendGMReset();
        if (playing_) player_->PlayFrom(0, position_, -1);
    }

private:
    TMidiPlayV* player_ = nullptr;
    bool playing_ = false;
    int32_t position_ = 0;
};

// The settle time of the display between the window's new bounds and the mode change (ms).
constexpr uint32_t SwitchSettleMs = 100;

// The keys that switch the screen: Alt+Enter, and F11.
constexpr int32_t KeyEnter = 13, KeyF11 = 122;
bool ScreenSwitchKey(const platform::InputEvent& E) {
    return E.kind == InputKind::KeyDown && ((E.key == KeyEnter && E.alt) || E.key == KeyF11);
}

// The key that copies the message shown to the clipboard: Ctrl+Shift+C.
constexpr int32_t KeyC = 'C';
bool CopyMessageKey(const platform::InputEvent& E) {
    return E.kind == InputKind::KeyDown && E.key == KeyC && E.ctrl && E.shift;
}

// Whether the user's language is Japanese (the quit question is asked in it).
bool JapaneseLocale() { return platform::MessageLocale().starts_with("ja"); }

}  // namespace

// ---- Layout ----

int32_t TFormView::DockShownHeight() const { return Strip ? Strip->ShownHeight() : 0; }

void TFormView::SetWindowClient(int32_t ShownWidth, int32_t ShownHeight) {
    const int32_t width = Bases ? Bases->GetWidth() : 0, height = (Bases ? Bases->GetHeight() : 0) + DockShownHeight();
    Display.setBounds(windowLeft_, windowTop_, width, height);
    Display.setUnscaledTop(DockShownHeight());
    if (ShownWidth != width || ShownHeight != height) Display.setWindowSize(ShownWidth, ShownHeight);
}

void TFormView::RestoreWindowClient() {
    RestoreWindow();
    const platform::WindowPlacement kept = Display.placement();
    windowLeft_ = kept.left;
    windowTop_ = kept.top;
    SetWindowClient(kept.clientWidth, kept.clientHeight);
}

void TFormView::PlacePanel() {
    // Centred in the screen below the dock: in a window the screen is the panel's size.
    const int32_t width = Bases->GetWidth(), height = Bases->GetHeight(), dock = DockShownHeight();
    PanelLeft = (Display.clientWidth() - width) / 2;
    PanelTop = dock + (Display.clientHeight() - dock - height) / 2;
    BasePanel.SetBounds(PanelLeft, PanelTop, width, height);
    SetTextFieldWindow(&Display, {PanelLeft, PanelTop});
    if (Strip) Strip->SetWidth(Display.clientWidth());
}

// ---- The toolbar ----

bool TFormView::OnDock(int32_t Y) const {
    return Y >= 0 && Y < DockShownHeight() && (!ScreenMan || !ScreenMan->FullScreen || dockOver_);
}

void TFormView::PaintDock() {
    const int32_t height = DockShownHeight();
    if (height == 0) return;
    const std::unique_ptr<TDxDIBX> surface = TDxDIBX::CreateFromSurface(Display.frame());
    Strip->Paint(*surface);
    Display.present({{0, 0, surface->GetWidth(), height}});
}

void TFormView::PaintDockChanges() {
    if (Strip && !RectIsEmpty(Strip->Form.InvalidRect())) PaintDock();
}

void TFormView::LeaveDock() {
    if (!Strip || Strip->Form.CaptureControl()) return;
    if (overDock_) Strip->Form.DispatchMouseLeave();
    overDock_ = false;
}

bool TFormView::DockEvent(const platform::InputEvent& E) {
    if (!Strip) return false;
    const bool captured = Strip->Form.CaptureControl() != nullptr;
    const bool on = OnDock(E.y) && E.x >= 0 && E.x < Display.clientWidth();
    if (!captured && !on) {
        LeaveDock();
        return false;
    }
    overDock_ = on;
    const TMouseButton button = E.button == MouseButton::Right    ? TMouseButton::mbRight
                                : E.button == MouseButton::Middle ? TMouseButton::mbMiddle
                                                                  : TMouseButton::mbLeft;
    switch (E.kind) {
    case InputKind::MouseDown:
        Strip->Form.DispatchMouseDown(button, E.x, E.y);
        break;
    case InputKind::MouseUp:
        Strip->Form.DispatchMouseUp(button, E.x, E.y);
        break;
    default:
        Strip->Form.DispatchMouseMove(E.x, E.y);
        break;
    }
    return true;
}

void TFormView::ClearBorder(int32_t Top, int32_t Bottom) {
    const std::unique_ptr<TDxDIBX> canvas = TDxDIBX::CreateFromSurface(Display.frame());
    const int32_t width = canvas->GetWidth(), black = canvas->ColorToPixel(0);
    const TRect panel = Bounds(BasePanel.Left, BasePanel.Top, BasePanel.Width, BasePanel.Height);
    canvas->FillRect({0, Top, width, std::min(Bottom, panel.Top)}, black);
    canvas->FillRect({0, std::max(Top, panel.Bottom), width, Bottom}, black);
    const int32_t top = std::max(Top, panel.Top), bottom = std::min(Bottom, panel.Bottom);
    canvas->FillRect({0, top, panel.Left, bottom}, black);
    canvas->FillRect({panel.Right, top, width, bottom}, black);
    Display.present({{0, Top, width, Bottom}});
}

// The dock is painted in the frame's rows above the mode's: the display lays them over the
// screen's top edge, or shows the scene they covered again.
void TFormView::ShowDock(bool Visible) {
    if (DockShownHeight() == 0 || dockOver_ == Visible) return;
    dockOver_ = Visible;
    Display.showUnscaledTop(Visible);
}

// ---- Screen mode ----

void TFormView::SetFullScreen(bool Full) {
    TPauseGuard pause(Clock);
    if (!ScreenMan || ScreenMan->FullScreen == Full) return;
    // Only a switch that runs closes the sequencer: one that goes nowhere leaves a song playing.
    TMidiSwitch midi;
    if (Full) {
        Trace("SetFullScreen.Full");
        if (ScreenMan->BestMode < 0 || ScreenMan->GetModeCount() == 0) return;
        midi.Close();
        Trace("SetFullScreen.Full.Bases.FreeDX");
        Bases->FreePrivateDIBs();
        Trace("SetFullScreen.Full.MediaSuspend");
        MediaSuspend();
        dockOver_ = false;
        Trace("SetFullScreen.Full.ScreenMan.FreeDX");
        ScreenMan->FreeDX();
        Trace("SetFullScreen.Full.StoreWindow");
        StoreWindow();
        std::this_thread::sleep_for(std::chrono::milliseconds(SwitchSettleMs));
        Trace("SetFullScreen.Full.SetScreenManIndex");
        ScreenMan->SetModeIndex(ScreenMan->BestMode);
        if (ScreenMan->ModeIndex != ScreenMan->BestMode) {
            Trace("SetFullScreen.Full.SetScreenManIndexFail");
            RestoreWindowClient();
        }
    } else {
        Trace("SetFullScreen.Normal");
        midi.Close();
        Trace("SetFullScreen.Normal.Bases.FreeDX");
        Bases->FreePrivateDIBs();
        Trace("SetFullScreen.Normal.MediaSuspend");
        MediaSuspend();
        Trace("SetFullScreen.Normal.ScreenMan.FreeDX");
        ScreenMan->FreeDX();
        Trace("SetFullScreen.Normal.RestoreWindow");
        RestoreWindowClient();
        std::this_thread::sleep_for(std::chrono::milliseconds(SwitchSettleMs));
        ScreenMan->SetModeIndex(-1);
    }
    AfterModeChange([&] { midi.Reopen(); });
}

void TFormView::ChangeDisplayMode() {
    if (!ScreenMan || !ScreenMan->FullScreen || ScreenMan->BestMode < 0 || ScreenMan->BestMode == ScreenMan->ModeIndex)
        return;
    TPauseGuard pause(Clock);
    Bases->FreePrivateDIBs();
    MediaSuspend();
    ScreenMan->SetModeIndex(ScreenMan->BestMode);
    if (ScreenMan->ModeIndex != ScreenMan->BestMode) {
        const platform::WindowPlacement kept = Display.placement();
        SetWindowClient(kept.clientWidth, kept.clientHeight);
    }
    AfterModeChange();
}

void TFormView::AfterModeChange(const std::function<void()>& Placed) {
    Trace("SetFullScreen.SetBounds");
    PlacePanel();
    if (Placed) Placed();
    Trace("SetFullScreen.Bases.Reload");
    Bases->MakePrivateDIBs();
    Trace("SetFullScreen.MediaResume");
    MediaResume();
    RepaintWindow();
}

void TFormView::RepaintWindow() {
    if (Bases) Bases->GetBase(Bases->GetCurrentLayer())->InvalidateAll();
    // The border around the panel is black; the scene follows with the next tick.
    ClearBorder(0, Display.clientHeight());
    PaintDock();
}

void TFormView::SetMouseX(int32_t X) {
    padAt_.reset();
    int32_t x = 0, y = 0;
    Display.cursorPos(x, y);
    Display.setCursorPos(PanelLeft + X, y);
}

void TFormView::SetMouseY(int32_t Y) {
    padAt_.reset();
    int32_t x = 0, y = 0;
    Display.cursorPos(x, y);
    Display.setCursorPos(x, PanelTop + Y);
}

// ---- The toolbar's buttons ----

void TFormView::ScreenSwitchClick() { SetFullScreen(!(ScreenMan && ScreenMan->FullScreen)); }

void TFormView::QuitClick() {
    const bool wasTerminating = Terminating();
    SetTerminating(true);
    const std::string title = Project ? Project->Title : std::string();
    const std::string text = Format(JapaneseLocale() ? "「%s」を終了しますか？" : "Do you want to exit %s?", title.c_str());
    if (Display.messageBox(title, text, platform::MessageButtons::YesNo, platform::MessageIcon::Question) ==
        platform::MessageResult::Yes)
        PostClose();
    else
        SetTerminating(wasTerminating);
}

// ---- Activation ----

void TFormView::ApplicationEventsDeactivate() {
    if (Project && Project->PauseInBackground == 0) return;
    if (LoopThread) LoopThread->Suspend();
    if (!Bases) return;
    Active = false;
    if (VideoMan) VideoMan->Suspend();
    for (TSoundManager* manager : SoundManagers())
        if (manager->Enabled) manager->Suspend();
    if (CddaMan) CddaMan->RestoreMixerVolume();
    Bases->ClearKeys();
}

void TFormView::ApplicationEventsActivate() {
    if (Project && Project->PauseInBackground == 0) {
        if (Bases) {
            Active = true;
            Clock.LastTickTime = platform::ClockMs();
        }
        return;
    }
    if (LoopThread) LoopThread->Resume();
    if (!Bases) return;
    Active = true;
    Clock.LastTickTime = platform::ClockMs();
    if (VideoMan) VideoMan->Resume();
    for (TSoundManager* manager : SoundManagers()) {
        if (manager == CddaMan) CddaMan->SaveMixerVolume();
        if (manager->Enabled) manager->Resume();
    }
}

// ---- Input ----

bool TFormView::InPanel(int32_t X, int32_t Y) const {
    return X >= BasePanel.Left && Y >= BasePanel.Top && X < BasePanel.Left + BasePanel.Width &&
           Y < BasePanel.Top + BasePanel.Height;
}

void TFormView::BasePanelMouseDown(MouseButton Button) {
    if (!Active || !Bases) return;
    const bool left = Button == MouseButton::Left, right = Button == MouseButton::Right;
    for (int i = 0; i < 2; ++i) {
        Bases->GetBase(i)->LeftHeld = left;
        Bases->GetBase(i)->RightHeld = right;
    }
    TVelaBase* active = Bases->GetBase(Bases->GetCurrentLayer());
    active->LeftLatch = left;
    active->RightLatch = right;
}

void TFormView::BasePanelMouseUp() {
    if (!Bases) return;
    for (int i = 0; i < 2; ++i) Bases->GetBase(i)->LeftHeld = Bases->GetBase(i)->RightHeld = false;
}

void TFormView::BasePanelMouseMove(int32_t X, int32_t Y) {
    if (!Bases) return;
    for (int i = 0; i < 2; ++i) Bases->GetBase(i)->SetMousePos({X - PanelLeft, Y - PanelTop});
}

void TFormView::FormMouseWheel(bool Up) {
    if (!Bases) return;
    TVelaBase* active = Bases->GetBase(Bases->GetCurrentLayer());
    (Up ? active->WheelUpLatch : active->WheelDownLatch) = true;
}

void TFormView::KeyDown(int32_t Key, bool Repeat) {
    // A key held down latches once: the repeats of its key-down are ignored.
    if (Repeat || !Active || Key < 0 || Key >= 256 || !Bases) return;
    Bases->SetKeyState(Key, true);
    Bases->SetKeyLatch(Key, true);
}

void TFormView::KeyUp(int32_t Key) {
    if (Key < 0 || Key >= 256 || !Bases) return;
    Bases->SetKeyState(Key, false);
}

void TFormView::HandleEvent(const platform::InputEvent& E) {
    if (ScreenSwitchKey(E)) {
        if (!E.repeat) ScreenSwitchClick();
        return;
    }
    if (CopyMessageKey(E)) {
        if (!E.repeat) Display.setClipboardText(platform::ShownTextOutMessage());
        return;
    }
    // A text field with the focus takes the keys and typed text, the field under the pointer a
    // press on the panel (and the drag that follows it).
    const bool pressOnPanel = !panelCapture_ && !OnDock(E.y) && InPanel(E.x, E.y);
    const bool offered = E.kind == InputKind::MouseDown                                   ? pressOnPanel
                         : E.kind == InputKind::KeyDown || E.kind == InputKind::Text ? Active
                                                                                       : true;
    if (offered && DispatchTextFieldInput(E)) return;
    switch (E.kind) {
    case InputKind::MouseDown:
        if (!panelCapture_ && DockEvent(E)) break;
        if (InPanel(E.x, E.y)) {
            panelCapture_ = true;
            // A press or release is where the pointer is, whether or not a move came first.
            BasePanelMouseMove(E.x, E.y);
            BasePanelMouseDown(E.button);
        }
        break;
    case InputKind::MouseUp:
        if (!panelCapture_ && DockEvent(E)) break;
        if (panelCapture_ || InPanel(E.x, E.y)) BasePanelMouseMove(E.x, E.y);
        panelCapture_ = false;
        BasePanelMouseUp();
        break;
    case InputKind::MouseMove:
        if (!E.warped) padAt_.reset();
        // A pointer on the shown dock is the dock's, unless a drag that started on the panel
        // passes over it.
        if (!panelCapture_ && DockEvent(E)) break;
        if (panelCapture_ || InPanel(E.x, E.y)) BasePanelMouseMove(E.x, E.y);
        // In full screen the dock comes while the pointer is on the screen's top row (the client's
        // first row below the dock's).
        if (ScreenMan && ScreenMan->FullScreen) ShowDock(E.y == DockShownHeight());
        break;
    case InputKind::Wheel:
        if (E.wheel != 0) FormMouseWheel(E.wheel > 0);
        break;
    case InputKind::KeyDown:
        KeyDown(E.key, E.repeat);
        break;
    case InputKind::KeyUp:
        KeyUp(E.key);
        break;
    case InputKind::Activate:
        SetApplicationActive(true);
        ApplicationEventsActivate();
        break;
    case InputKind::Deactivate:
        SetApplicationActive(false);
        ApplicationEventsDeactivate();
        break;
    case InputKind::Close:
        PostClose();
        break;
    case InputKind::Expose:
        // The window manager may have given the window another size than asked for.
        if (Bases) PlacePanel();
        RepaintWindow();
        break;
    case InputKind::MouseLeave:
        LeaveDock();
        break;
    case InputKind::Text:
        break;
    case InputKind::PadDown:
    case InputKind::PadUp:
    case InputKind::PadStick:
        PadEvent(E);
        break;
    }
    PaintDockChanges();
}
