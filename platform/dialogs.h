#pragma once
// Dialogs of the desktop: zenity, when it is installed, shows message boxes with the desktop's
// fonts (Japanese included) and the file and folder choosers (SDL has none of its own). zenity
// starts in the locale C.UTF-8 when the user's names no UTF-8 one (or none): the texts are UTF-8.
// A SIGTERM or SIGINT closes an open box or chooser at once (zenity is ended), and none opens
// after one: each answers as closed.
#include "platform/display.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// A button caption without its accelerator marks: a lone "&" goes, "&&" becomes "&" (neither
// zenity nor SDL underlines a key). UTF-8 or code page 932 alike ("&" is never a trail byte).
std::string DropAccelerators(std::string_view caption);

// A message box shown by zenity, found on PATH; Title, Text and Labels are UTF-8. Labels are the
// buttons in order: the first is the affirmative one, Labels[Cancel] the one a closed box
// answers, every other an extra button. The index of the button chosen; nothing when zenity
// cannot be run or shows no box. WhileOpen, when given, runs every few milliseconds while the box
// is up (the owner window keeps showing itself meanwhile).
std::optional<int> DesktopMessageBox(const std::string& title, const std::string& text,
                                     const std::vector<std::string>& labels, size_t cancel, MessageIcon icon,
                                     const std::function<void()>& whileOpen = nullptr);

enum class DialogOutcome : uint8_t { Chosen, Cancelled, Unavailable };

struct DesktopFileAnswer {
    DialogOutcome outcome = DialogOutcome::Unavailable;
    std::string path;  // the host path chosen
};

// A file or folder chooser shown by zenity --file-selection; the request's texts in UTF-8.
// Unavailable when zenity cannot be run or no display server is named.
DesktopFileAnswer DesktopFileDialog(const FileDialogRequest& request);

// The file and folder dialog a window shows where zenity is unavailable: the host path chosen,
// nothing when cancelled; the request's texts in code page 932. The shell sets its own drawn
// dialog at start-up; while none is set such a dialog counts as cancelled.
using FileDialogFallback = std::optional<std::string> (*)(Display& owner, const FileDialogRequest& request);
void SetFileDialogFallback(FileDialogFallback fallback);
FileDialogFallback GetFileDialogFallback();

// The message box a window shows where zenity is unavailable: the index of the button chosen
// (labels[cancel] for a closed box), nothing when it cannot be shown; the texts in code page 932.
// The shell sets its own drawn box at start-up; while none is set (or it cannot be shown) SDL's
// box shows the message.
using MessageBoxFallback = std::optional<int> (*)(Display& owner, const std::string& title, const std::string& text,
                                                  const std::vector<std::string>& labels, size_t cancel);
void SetMessageBoxFallback(MessageBoxFallback fallback);
MessageBoxFallback GetMessageBoxFallback();

}  // namespace platform
