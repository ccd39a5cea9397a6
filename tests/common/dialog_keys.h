#pragma once
// A key of the dialog window of the headless display, pressed and let go.
#include "platform/display.h"

#include <cstdint>

inline void PressDialogKey(platform::HeadlessDisplay& Display, int32_t Code) {
    platform::InputEvent e;
    e.key = Code;
    for (platform::InputKind kind : {platform::InputKind::KeyDown, platform::InputKind::KeyUp}) {
        e.kind = kind;
        Display.dialogInput.push_back(e);
    }
}
