#pragma once
// The screen manager and the start and end of the media layer.
//
// The screen manager owns the list of full-screen display modes and the choice among them, the
// drawing surface both scene layers are drawn into, and the present step that copies the
// finished frame into the window. The display (the window, platform/display.h) is the device
// it draws for: with a display the surface follows the desktop's depth and full screen is
// possible; without one the surface is a 16-bit memory surface and there are no modes.
#include "core/header.h"
#include "graphics/dibx.h"
#include "platform/display.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// Where the base panel (the part of the window that shows the frame and receives mouse and
// keys) lies in the window's client area.
struct TBasePanel {
    int32_t Left = 0, Top = 0, Width = 0, Height = 0;
    void SetBounds(int32_t L, int32_t T, int32_t W, int32_t H) { Left = L, Top = T, Width = W, Height = H; }
};

struct TDisplayMode {
    uint32_t Width = 0, Height = 0, BitCount = 0, RefreshRate = 0;
};

class TScreenManager {
public:
    // Form may be nullptr (no display: memory surface, no modes). Ends windowed (ModeIndex -1).
    TScreenManager(platform::Display* Form, TBasePanel* Panel, int32_t Width, int32_t Height, int32_t FullWidth,
                   int32_t FullHeight);
    ~TScreenManager();
    TScreenManager(const TScreenManager&) = delete;
    TScreenManager& operator=(const TScreenManager&) = delete;

    int32_t GetModeCount() const { return static_cast<int32_t>(Modes.size()); }
    // Entry Index of the modes; the caller keeps Index within 0..GetModeCount()-1.
    TDisplayMode GetMode(int32_t Index) const { return Modes[Index]; }
    // -1 windowed, 0 or more full screen in that mode. A full-screen mode the display refuses
    // ends windowed (ModeIndex -1).
    void SetModeIndex(int32_t Index);
    // Drops the drawing surface and the device state before a switch (ModeIndex -2).
    void FreeDX();
    // Copies the drawn frame of the object root into the window at the panel's place: the
    // current layer's dirty rectangles, each scaled by the root's zoom when it is a multiple of
    // 100; the running transition's rectangle instead of them; the whole surface stretched for
    // any other zoom. Both layers' dirty lists are empty afterwards, whatever happened.
    void Present();

    TCustomDIBX* GetSurface() const { return Surface.get(); }

    std::vector<TDisplayMode> Modes;
    int32_t ModeIndex = -2;
    platform::Display* Form;
    int32_t Width, Height;
    TBasePanel* Panel;
    std::unique_ptr<TCustomDIBX> Surface;
    bool FullScreen = false;
    int32_t BitCount = 16;
    bool MemorySurface = false;
    int32_t DisplayBitCount = 0;
    int32_t BestMode = -1;
    int32_t FullWidth, FullHeight;
    double FrameRate = 0;
    int32_t FrameCount = 0;
    int32_t DesktopBitCount = 24;

private:
    // Takes a mode the display offers when it can hold the title's screen, and makes it the
    // best mode when it is the first, has the wanted size, or at that size has the desktop's
    // depth and the lowest refresh rate.
    void AddMode(const TDisplayMode& Mode);
    // Makes the surface for ModeIndex; false when there is no display or it refused the mode.
    bool SetUp();
    // Copies (source, destination) rectangles of the surface into the window at the panel's
    // place, then the frames of the visible windowed videos over them, and shows them.
    void CopyToWindow(const std::vector<std::pair<TRect, TRect>>& Copies);

    bool DisplayFullScreen = false;  // the display was set to a full-screen mode
};

// The media layer's globals, between MediaInit and MediaFinal.
extern TScreenManager* ScreenMan;
// The depth the scene's surfaces are made at: the screen manager's (15, 16 or 32), or 32 when
// there is none.
int32_t ScreenBitCount();
// The sound device the companion library plays through; velaInit receives its address, and
// the sound items fill it once the device is started.
extern void* SoundDeviceCell;

class TCustomSoundDevice;
// What the sound managers take from the player: the [Sound] settings of game.ini and the main
// window's DirectSound component (nullptr: none).
struct TMediaSoundSetup {
    bool DirectSound = true;
    int32_t DelayTime = 500;
    TCustomSoundDevice* Device = nullptr;
};
// Once between MediaInit and MediaFinal, for the first sound the library plays: starts the
// main window's DirectSound component (errors leave the library without a device: its sounds
// are silent) and puts its device in SoundDeviceCell.
void HandSoundDeviceToLibrary();

// Starts the media layer: binds the companion library's start (velaInit with the player's
// stream callbacks), the screen manager (only when Width and Height are above 0), then the
// video, Windows Media, Ogg, CD audio and MIDI managers, in that order. RegistryName is the
// project's, the key of the title's CD drive setting. Raises when the companion library is not
// bound.
void MediaInit(platform::Display* Form, TBasePanel* Panel, int32_t Width, int32_t Height, int32_t FullWidth,
               int32_t FullHeight, const TMediaSoundSetup& Sound = {}, const std::string& RegistryName = {});
// Frees the screen, video, Windows Media, Ogg, CD audio and MIDI managers in that order, then
// ends the companion library and lets go of the device it played on.
void MediaFinal();
// Suspend and resume the video library around a screen-mode switch.
void MediaSuspend();
void MediaResume();
