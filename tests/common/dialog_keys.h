#pragma once
// A key of the headless display's dialog window or main window, pressed and let go.
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

// Key (its code and modifiers) pressed and let go in the main window: a key-down, then a key-up.
inline void PressKey(platform::HeadlessDisplay& Display, platform::InputEvent Key) {
    for (platform::InputKind kind : {platform::InputKind::KeyDown, platform::InputKind::KeyUp}) {
        Key.kind = kind;
        Display.inject(Key);
    }
}
