#pragma once
// Dialogs of the desktop: zenity, when it is installed, shows message boxes with the desktop's
// fonts (Japanese included).
#include "platform/display.h"

#include <optional>
#include <string>
#include <vector>

namespace platform {

// A message box of two buttons at most (Labels in order: the first is the affirmative one) shown
// by zenity, found on PATH; Title and Text are UTF-8. The index of the button chosen (closing the
// box counts as the last button); nothing when zenity cannot be run.
std::optional<int> DesktopMessageBox(const std::string& title, const std::string& text,
                                     const std::vector<std::string>& labels, MessageIcon icon);

}  // namespace platform
