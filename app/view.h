#pragma once
// The main window: the player's one window. Creating it reads game.ini, attaches the content
// archives, makes the base panel, the variable table and the function dispatcher, then starts
// the object layer, the project, the media layer, the colour tables and the loop thread;
// closing it undoes this in reverse. Between the two it runs the ticks the loop thread hands
// over and turns window events into latched input, screen-mode switches and the toolbar's two
// buttons. No script or scene work happens inside a window event: it only sets state that the
// next tick reads.
#include "app/formbase.h"
#include "app/padmap.h"
#include "app/view_loop.h"
#include "app/view_state.h"
#include "app/view_toolbar.h"
#include "media/dsound.h"
#include "media/screenman.h"
#include "platform/display.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class TFormView : public TMainFormBase {
public:
    // Display is the window; ProgramFile the program's own file and Args the command-line
    // arguments (program paths and code page 932).
    TFormView(platform::Display& Display, std::string ProgramFile, std::vector<std::string> Args);
    TFormView(const TFormView&) = delete;
    TFormView& operator=(const TFormView&) = delete;
    // Closes the window when that has not happened.
    ~TFormView();

    // ---- Start-up and shut-down ----
    // Start-up. An error of the layers' start is shown in a warning box and closes the window.
    void FormCreate();
    // Runs ticks and window events until the window has closed.
    void Run();
    // Asks the window to close; Run ends and closes it.
    void PostClose();
    bool ClosePosted() const { return closePosted_; }
    // Asked while the main thread is kept busy (a script that never waits), at most once every
    // ClosePollPeriod ms: a close of the window waiting among its events (a SIGTERM or SIGINT
    // comes as one) is taken and handled as the message loop handles it, the other events left
    // for the loop. Whether the window is to close.
    bool CloseWhileBusy();
    static constexpr uint32_t ClosePollPeriod = 50;
    // The close: the terminating flag is set and the layers are shut down. Once only.
    void FormClose();
    // An error that ends the player: the terminating flag is set, Text is shown in a warning box
    // (and written to standard error) and the window asked to close.
    void EndWithError(const std::string& Text);
    // Whether the player ends for an error: the title could not be opened, or EndWithError.
    bool Failed() const { return failed_; }

    // ---- The tick ----
    // One tick, as the loop thread hands it over. An error that leaves it is shown (once for
    // each text: one that comes back every tick is not shown again) and the next tick goes on.
    void DoLoop();

    // ---- Screen mode, activation, input ----
    // Switches between the window and full screen in the requested display mode.
    void SetFullScreen(bool Full);
    // Applies a changed request of the full-screen display mode.
    void ChangeDisplayMode();
    // Moves the mouse cursor to a coordinate of the base panel, keeping the other one.
    void SetMouseX(int32_t X);
    void SetMouseY(int32_t Y);
    // The toolbar's quit button: asks, and closes on Yes.
    void QuitClick();
    // The toolbar's screen button (and Alt+Enter or F11): full screen from the window, the window
    // from full screen.
    void ScreenSwitchClick();
    void ApplicationEventsActivate();
    void ApplicationEventsDeactivate();
    // A window event: mouse over the base panel, the toolbar or the rest of the window, keys (Alt+
    // Enter and F11 switch the screen, Ctrl+Shift+C copies the message shown to the clipboard;
    // these go no further), activation, the close box.
    void HandleEvent(const platform::InputEvent& Event);

    // ---- State ----
    platform::Display& Display;
    TLoopClock Clock;
    bool Active = true;
    int32_t HoldDraw = 0;
    std::unique_ptr<TLoopThread> LoopThread;
    TBasePanel BasePanel;
    int32_t PanelLeft = 0, PanelTop = 0;
    // The toolbar strip along the top of the client area. The dock is shown by the project's
    // toolbar flag; in full screen it lies over the screen's top edge, at its own size, while the
    // pointer is there.
    std::unique_ptr<TViewToolbar> Strip;
    // The window opens this many times the scene's size (the toolbar at its own), or at the largest
    // whole scale that fits the desktop's work area (at least 1); set before FormCreate.
    int32_t WindowScale = 1;
    // Tests drive the ticks themselves: no loop thread is started when false.
    bool UseLoopThread = true;
    // The window as message filters see it: its events pass through Window to HandleEvent.
    TWindowControl Window;
    // The DirectSound component, started with the layers when [Sound] DirectSound is on.
    TSoundDevice SoundDevice{&Window};
    // The program's sound device, held from start-up to shut-down. A headless one has no
    // clock of its own: each tick plays the tick's length of it.
    std::shared_ptr<platform::SoundDevice> SoundOut;
    // Receives the labels of the start-up, shut-down and screen-switch steps; nothing by
    // default.
    std::function<void(const char*)> OnTrace;

private:
    void Trace(const char* Label) const;
    void InitSystem();
    // The component's start: the primary buffer plays 44100 Hz, 16-bit stereo.
    void SoundDeviceInitialize();
    // The sound managers fill their buffers again.
    void SoundDeviceRestore();
    void FinalizeSystem();
    // The dock's height when it is shown, else 0: the client area's rows above the scene's (in
    // full screen above the mode's).
    int32_t DockShownHeight() const;
    // The frame sized for the root and the toolbar, the toolbar's rows unscaled, and the window's
    // client area of the shown size (the frame scaled below the toolbar when that is another).
    void SetWindowClient(int32_t ShownWidth, int32_t ShownHeight);
    // The window back at the place kept before full screen, sized as SetWindowClient sizes it.
    void RestoreWindowClient();
    // The base panel's place in the client area.
    void PlacePanel();
    // Draws the dock into the window's frame and shows it.
    void PaintDock();
    // Paints the dock again when a control of it changed its looks.
    void PaintDockChanges();
    // Whether a client row is on the shown dock.
    bool OnDock(int32_t Y) const;
    // A mouse event for the dock's form: on the dock, or while a control of it holds the mouse.
    bool DockEvent(const platform::InputEvent& Event);
    // The pointer is no longer over the dock (nothing happens while a control of it holds the
    // mouse): the control under it loses its hover.
    void LeaveDock();
    // Shows or hides the dock over the top edge of the full screen.
    void ShowDock(bool Visible);
    // Blacks out the window's rows Top..Bottom outside the base panel and shows them.
    void ClearBorder(int32_t Top, int32_t Bottom);
    // The end of every screen-mode switch: the panel placed (then Placed run), the private
    // pictures made again, the media resumed and the whole window shown again.
    void AfterModeChange(const std::function<void()>& Placed = nullptr);
    // Shows the whole window again: the border around the panel, the toolbar, and the scene
    // at the next tick.
    void RepaintWindow();
    void Present();
    // Every FrameRatePeriod ms: the screen manager's frames presented per second since Start.
    static constexpr uint32_t FrameRatePeriod = 2000;
    void MeasureFrameRate(uint32_t& Start);

    void BasePanelMouseDown(platform::MouseButton Button);
    void BasePanelMouseUp();
    void BasePanelMouseMove(int32_t X, int32_t Y);
    void FormMouseWheel(bool Up);
    void KeyDown(int32_t Key, bool Repeat);
    void KeyUp(int32_t Key);
    bool InPanel(int32_t X, int32_t Y) const;

    // ---- The game controller (view_pad.cpp) ----
    // A pad's button or stick, as the map says.
    void PadEvent(const platform::InputEvent& Event);
    // A stick's move, as the map says.
    void PadStickMoved(platform::PadStick Stick, int32_t X, int32_t Y);
    // Each tick: a stick held moves the pointer (with no press target on the screen) or turns the
    // wheel on.
    void PadTick(uint32_t Elapsed);
    // The pointer to the press target the way pressed (see TPressTargetChoice); whether the
    // screen has any.
    bool PadChoose(TPadDirection Direction);
    // Where the pad's pointer is (client coordinates): on the panel, at its centre when the
    // pointer was elsewhere.
    platform::InputEvent PadPointer();
    // The pointer to a client point, moved there as the mouse moves it.
    void PadPointTo(int32_t X, int32_t Y);
    // A mouse event of the kind at the pointer, as the mouse's own.
    void PadMouse(platform::InputKind Kind, platform::MouseButton Button, int32_t Wheel = 0);

    std::string programFile_;
    std::vector<std::string> args_;
    TLoopNow now_{Clock};
    TPlayerTickSteps steps_;
    std::unique_ptr<TFormPlayerState> state_;
    bool closePosted_ = false, closed_ = false, created_ = false, failed_ = false;
    uint32_t lastClosePoll_ = 0;  // the millisecond clock at CloseWhileBusy's last look at the window
    std::set<std::string> shownErrors_;  // the errors of ticks shown so far
    // The window's place on the desktop: centred at start-up, then where full screen found it.
    int32_t windowLeft_ = 0, windowTop_ = 0;
    // The pointer is over the dock's form.
    bool overDock_ = false;
    // In full screen: the dock lies over the screen's top edge.
    bool dockOver_ = false;
    // A button went down on the panel and is not up yet: the panel keeps the pointer, wherever
    // it moves in the meantime.
    bool panelCapture_ = false;
    // The game controller's map (controller.ini) and its sticks: where each stands, the way it
    // was last pushed (counted once per push), whether it moves the pointer (pushed with no press
    // target on the screen) and the fraction of a pixel the pointer still has to go, and the time
    // until a wheel stick held turns the wheel again.
    TPadMap padMap_ = DefaultPadMap();
    struct TPadStickState {
        int32_t X = 0, Y = 0;
        std::optional<TPadDirection> Pushed;
        bool MovesPointer = false;
        double CarryX = 0, CarryY = 0;
        int32_t WheelWait = 0;
    };
    std::array<TPadStickState, size_t(platform::PadStick::Count)> padSticks_;
    // Where the pad put the pointer (client coordinates), until the mouse moves.
    std::optional<TPoint> padAt_;
};

// The main window of the run, while it exists.
extern TFormView* FormView;
