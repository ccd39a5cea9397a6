#pragma once
// The player's state as the system variables see it: the pointer and keys of the object root,
// the focus, the screen, the project, the loop clock and the fonts. Writes that act on
// the window (moving the mouse cursor, switching the screen mode) go through hooks the main
// window fills in; without a hook they do nothing.
#include "app/view_loop.h"
#include "script/callman.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TVelaBase;

// What the main window does for the system variables.
struct TFormHooks {
    // Moves the mouse cursor to that client coordinate of the base panel, keeping the other one.
    std::function<void(int32_t)> SetMouseX, SetMouseY;
    // Switches between the window and full screen.
    std::function<void(bool)> SetFullScreen;
    // Applies a changed full-screen display mode (the screen manager's BestMode).
    std::function<void()> ChangeDisplayMode;
};

// The call stack answers come from TScriptPlayerState; the MIDI devices are the MIDI
// manager's (none without one). The history is that of the unnamed history format (0
// and nothing written without the format manager).
//
// Pointer state is that of the object root's current layer as the tick's input step left it:
// that step moves the window's latches into the "pressed this tick" bytes before the script
// runs, so "@LClick" and "@RClick" read and write those bytes, and the wheel variables read the
// tick's wheel bytes (the latches themselves are always clear while a script runs).
//
// The sound switch is the object root's (on without a root, where a write goes nowhere).
class TFormPlayerState : public TScriptPlayerState {
public:
    TFormPlayerState(const TLoopClock& Clock, TLoopNow& Now, TCallMan* Runner = nullptr)
        : TScriptPlayerState(Runner), clock_(Clock), now_(Now) {}

    TFormHooks Hooks;

    bool ClickLatch(bool Right) override;
    void SetClickLatch(bool Right, bool Value) override;
    bool ButtonPushed(bool Right) override;
    int32_t MouseX() override;
    int32_t MouseY() override;
    void SetMouseX(int32_t X) override;
    void SetMouseY(int32_t Y) override;
    bool WheelLatch(bool Up) override;

    bool KeyState(TKeyArray Which, int32_t Key) override;
    std::string FocusName() override;
    // Moves the focus to the named control when it exists, is not paused, is visible and takes
    // keys; otherwise nothing changes.
    void SetFocusName(const std::string& Name) override;
    bool SoundOn() override;
    void SetSoundOn(bool Value) override;
    // The image mode is the object root's (off without a root, where a write goes nowhere).
    bool ImageMode() override;
    void SetImageMode(bool Value) override;

    // Without a screen manager: windowed, no modes, index 0, and a mode index written is dropped.
    bool FullScreen() override;
    void SetFullScreen(bool Full) override;
    int32_t DisplayModeCount() override;
    int32_t DisplayModeIndex() override;
    void SetDisplayModeIndex(int32_t Index) override;

    // 0 and "" without a project.
    int32_t ScreenWidth() override;
    int32_t ScreenHeight() override;
    std::string Title() override;

    uint32_t LoopTime() override { return clock_.LoopTime; }
    uint32_t FrameCounter() override { return clock_.FrameCounter; }
    TClockSample LoopNow() override { return now_.Get(); }

    int32_t HistoryCount() override;
    int32_t HistoryMaxCount() override;
    void SetHistoryMaxCount(int32_t Count) override;
    void LoadHistorySettings(const std::array<int32_t, 6>& Settings) override;

    // The installed faces of the glyph rasteriser (only fixed-pitch ones when FixedOnly), then the
    // faces of the listed pixel fonts; none without the rasteriser.
    std::vector<std::string> FontNames(bool FixedOnly) override;

    // The MIDI manager's devices: the current one's name (a name not in the list chooses the
    // MIDI Mapper), the count and each name.
    std::string MidiPort() override;
    void SetMidiPort(const std::string& Name) override;
    int32_t MidiPortCount() override;
    std::string MidiPortName(int32_t Index) override;

private:
    // The object root's current layer; nullptr without a root.
    static TVelaBase* Layer();

    const TLoopClock& clock_;
    TLoopNow& now_;
};
