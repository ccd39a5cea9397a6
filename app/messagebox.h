#pragma once
// The message box the player draws itself where the desktop shows none (no zenity): the text,
// broken into lines no wider than the box allows, above a centred row of buttons. Enter presses
// the first button, Escape the cancel one, and a closed box answers as the cancel one. Texts are
// code page 932.
#include "app/widgets.h"
#include "platform/display.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class TMessageBoxForm : public TWidgetForm {
public:
    // Labels in order (at least one; "&" marks an accelerator), Labels[Cancel] the cancel button.
    TMessageBoxForm(const std::string& Caption, const std::string& Text, const std::vector<std::string>& Labels,
                    size_t Cancel);

    TLabel LabelText;
    std::vector<std::unique_ptr<TButton>> Buttons;

    // The index of the button a modal result stands for: the cancel button's for a closed box.
    size_t Chosen(int32_t Result) const;

    // The widest a line of the text is drawn before it breaks.
    static constexpr int32_t MaxTextWidth = 480;

private:
    size_t cancel_;
};

// Shows the box in Owner's dialog window until a button is pressed or the box is closed: the
// index of the button chosen; nothing when no dialog window can be opened.
std::optional<int> DrawnMessageBox(platform::Display& Owner, const std::string& Caption, const std::string& Text,
                                   const std::vector<std::string>& Labels, size_t Cancel);
