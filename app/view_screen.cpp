// The main window's screen mode, toolbar, activation, input latches and window events.
#include "app/view.h"

#include "core/sysutils.h"
#include "media/mediaman.h"
#include "objects/vitems.h"
#include "platform/clock.h"
#include "script/project.h"
#include "script/services.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
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

// The settle time of the display between the window's new bounds and the mode change (ms).
constexpr uint32_t SwitchSettleMs = 100;

// Whether the user's language is Japanese (the quit question is asked in it).
bool JapaneseLocale() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) return std::strncmp(value, "ja", 2) == 0;
    }
    return false;
}

// Fills a rectangle of a 32-bit pixel buffer, clipped to it.
void FillPixels(const platform::PixelBuffer& B, int32_t L, int32_t T, int32_t R, int32_t Bottom, uint32_t Color) {
    if (!B.pixels || B.bitCount != 32) return;
    L = std::max(L, 0), T = std::max(T, 0), R = std::min(R, B.width), Bottom = std::min(Bottom, B.height);
    for (int32_t y = T; y < Bottom; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(B.pixels + static_cast<ptrdiff_t>(y) * B.pitch);
        for (int32_t x = L; x < R; ++x) row[x] = Color;
    }
}

}  // namespace

// ---- Layout ----

void TFormView::SetWindowClient() {
    const int32_t width = Bases ? Bases->GetWidth() : 0, height = Bases ? Bases->GetHeight() : 0;
    Display.setBounds(windowLeft_, windowTop_, width, height + DockShownHeight());
}

void TFormView::PlacePanel() {
    const int32_t width = Bases->GetWidth(), height = Bases->GetHeight();
    const bool full = ScreenMan && ScreenMan->FullScreen;
    PanelLeft = (Display.clientWidth() - width) / 2;
    PanelTop = full ? (Display.clientHeight() - height) / 2 : DockShownHeight();
    BasePanel.SetBounds(PanelLeft, PanelTop, width, height);
}

// ---- The toolbar ----

bool TFormView::OnDock(int32_t Y) const { return DockVisible && Y >= 0 && Y < DockHeight; }

int TFormView::DockButtonAt(int32_t X, int32_t Y) const {
    if (!DockVisible || Y < 2 || Y >= 2 + ButtonHeight || X < 2) return -1;
    const int index = (X - 2) / ButtonWidth;
    return index < 2 ? index : -1;
}

void TFormView::PaintDock() {
    if (!DockVisible) return;
    platform::PixelSurface& frame = Display.frame();
    const platform::PixelBuffer b = frame.lock();
    constexpr uint32_t Face = 0xD4D0C8, Light = 0xFFFFFF, Shadow = 0x808080;
    FillPixels(b, 0, 0, b.width, DockHeight, Face);
    FillPixels(b, 0, DockHeight - 1, b.width, DockHeight, Shadow);  // the dock's bottom line
    for (int i = 0; i < 2; ++i) {
        const int32_t l = 2 + i * ButtonWidth, t = 2, r = l + ButtonWidth, bottom = t + ButtonHeight;
        const bool down = pressedButton_ == i;
        FillPixels(b, l, t, r, t + 1, down ? Shadow : Light);
        FillPixels(b, l, t, l + 1, bottom, down ? Shadow : Light);
        FillPixels(b, l, bottom - 1, r, bottom, down ? Light : Shadow);
        FillPixels(b, r - 1, t, r, bottom, down ? Light : Shadow);
    }
    frame.unlock();
    Display.present({{0, 0, Display.clientWidth(), DockHeight}});
}

void TFormView::ShowDock(bool Visible) {
    if (DockVisible == Visible) return;
    DockVisible = Visible;
    if (Visible) {
        PaintDock();
        return;
    }
    // What the toolbar covered is the black border's and the scene's again: the border is
    // cleared now, the scene's part is drawn by the next tick.
    platform::PixelSurface& frame = Display.frame();
    const platform::PixelBuffer b = frame.lock();
    const int32_t panelRight = BasePanel.Left + BasePanel.Width;
    FillPixels(b, 0, 0, b.width, std::min(DockHeight, BasePanel.Top), 0);
    FillPixels(b, 0, BasePanel.Top, BasePanel.Left, DockHeight, 0);
    FillPixels(b, panelRight, BasePanel.Top, b.width, DockHeight, 0);
    frame.unlock();
    Display.present({{0, 0, Display.clientWidth(), DockHeight}});
    if (Bases)
        Bases->GetBase(Bases->GetCurrentLayer())->AddDirtyRect({0, 0, Bases->GetWidth(), DockHeight - PanelTop});
}

// ---- Screen mode ----

void TFormView::SetFullScreen(bool Full) {
    TPauseGuard pause(Clock);
    if (!ScreenMan || ScreenMan->FullScreen == Full) return;
    if (Full) {
        Trace("SetFullScreen.Full");
        if (ScreenMan->BestMode < 0 || ScreenMan->GetModeCount() == 0) return;
        Trace("SetFullScreen.Full.Bases.FreeDX");
        Bases->FreePrivateDIBs();
        Trace("SetFullScreen.Full.MediaSuspend");
        MediaSuspend();
        DockVisible = false;
        Trace("SetFullScreen.Full.ScreenMan.FreeDX");
        ScreenMan->FreeDX();
        Trace("SetFullScreen.Full.StoreWindow");
        std::this_thread::sleep_for(std::chrono::milliseconds(SwitchSettleMs));
        Trace("SetFullScreen.Full.SetScreenManIndex");
        ScreenMan->SetModeIndex(ScreenMan->BestMode);
        if (ScreenMan->ModeIndex != ScreenMan->BestMode) {
            Trace("SetFullScreen.Full.SetScreenManIndexFail");
            DockVisible = Project && Project->ToolbarVisible;
            SetWindowClient();
        }
    } else {
        Trace("SetFullScreen.Normal");
        Trace("SetFullScreen.Normal.Bases.FreeDX");
        Bases->FreePrivateDIBs();
        Trace("SetFullScreen.Normal.MediaSuspend");
        MediaSuspend();
        DockVisible = Project && Project->ToolbarVisible;
        Trace("SetFullScreen.Normal.ScreenMan.FreeDX");
        ScreenMan->FreeDX();
        Trace("SetFullScreen.Normal.RestoreWindow");
        SetWindowClient();
        std::this_thread::sleep_for(std::chrono::milliseconds(SwitchSettleMs));
        ScreenMan->SetModeIndex(-1);
    }
    AfterModeChange();
}

void TFormView::ChangeDisplayMode() {
    if (!ScreenMan || !ScreenMan->FullScreen || ScreenMan->BestMode < 0 || ScreenMan->BestMode == ScreenMan->ModeIndex)
        return;
    TPauseGuard pause(Clock);
    Bases->FreePrivateDIBs();
    MediaSuspend();
    ScreenMan->SetModeIndex(ScreenMan->BestMode);
    if (ScreenMan->ModeIndex != ScreenMan->BestMode) {
        DockVisible = Project && Project->ToolbarVisible;
        SetWindowClient();
    }
    AfterModeChange();
}

void TFormView::AfterModeChange() {
    Trace("SetFullScreen.SetBounds");
    PlacePanel();
    Trace("SetFullScreen.Bases.Reload");
    Bases->MakePrivateDIBs();
    Trace("SetFullScreen.MediaResume");
    MediaResume();
    RepaintWindow();
}

void TFormView::RepaintWindow() {
    if (Bases) Bases->GetBase(Bases->GetCurrentLayer())->InvalidateAll();
    // The border around the panel is black; the scene follows with the next tick.
    platform::PixelSurface& frame = Display.frame();
    const platform::PixelBuffer b = frame.lock();
    const int32_t right = BasePanel.Left + BasePanel.Width, bottom = BasePanel.Top + BasePanel.Height;
    FillPixels(b, 0, 0, b.width, BasePanel.Top, 0);
    FillPixels(b, 0, bottom, b.width, b.height, 0);
    FillPixels(b, 0, BasePanel.Top, BasePanel.Left, bottom, 0);
    FillPixels(b, right, BasePanel.Top, b.width, bottom, 0);
    frame.unlock();
    Display.present({{0, 0, b.width, b.height}});
    PaintDock();
}

void TFormView::SetMouseX(int32_t X) {
    int32_t x = 0, y = 0;
    Display.cursorPos(x, y);
    Display.setCursorPos(PanelLeft + X, y);
}

void TFormView::SetMouseY(int32_t Y) {
    int32_t x = 0, y = 0;
    Display.cursorPos(x, y);
    Display.setCursorPos(x, PanelTop + Y);
}

// ---- The quit button ----

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
    if (ScreenMan && ScreenMan->FullScreen && Display.clientHeight() == BasePanel.Height) ShowDock(Y == 0);
}

void TFormView::FormMouseMove(int32_t Y) {
    if (ScreenMan && ScreenMan->FullScreen && Display.clientHeight() > BasePanel.Height) ShowDock(Y == 0);
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
    switch (E.kind) {
    case InputKind::MouseDown:
        if (OnDock(E.y)) {
            pressedButton_ = DockButtonAt(E.x, E.y);
            if (pressedButton_ >= 0) PaintDock();
        } else if (InPanel(E.x, E.y)) {
            // A press or release is where the pointer is, whether or not a move came first.
            BasePanelMouseMove(E.x, E.y);
            BasePanelMouseDown(E.button);
        }
        break;
    case InputKind::MouseUp:
        if (pressedButton_ >= 0) {
            const int button = pressedButton_;
            pressedButton_ = -1;
            PaintDock();
            if (DockButtonAt(E.x, E.y) == button) {
                if (button == 0)
                    QuitClick();
                else
                    SetFullScreen(!(ScreenMan && ScreenMan->FullScreen));
            }
        } else {
            if (InPanel(E.x, E.y)) BasePanelMouseMove(E.x, E.y);
            BasePanelMouseUp();
        }
        break;
    case InputKind::MouseMove:
        // The shown toolbar lies over the panel or the border: a pointer on it is the toolbar's.
        if (OnDock(E.y)) break;
        if (InPanel(E.x, E.y))
            BasePanelMouseMove(E.x, E.y);
        else
            FormMouseMove(E.y);
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
        ApplicationEventsActivate();
        break;
    case InputKind::Deactivate:
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
    }
}
