#pragma once
// The SDL2 window backend of the display, known only to CreateDisplay.
#include "platform/display.h"

#include <memory>

namespace platform {

// A hidden window on SDL's video device; nullptr when SDL video cannot start.
std::unique_ptr<Display> CreateSdlDisplay();

}  // namespace platform
