#pragma once
// The SDL2 window backend of the display, known only to CreateDisplay.
#include "platform/display.h"

#include <memory>

struct SDL_Window;

namespace platform {

// Whether a window manager looks after the window's desktop: on X11 one that names itself on the
// root window; on other window systems always.
bool WindowManagerRuns(SDL_Window* window);

// A hidden window on SDL's video device; nullptr when SDL video cannot start.
std::unique_ptr<Display> CreateSdlDisplay();

}  // namespace platform
