// The drawn message box.
#include "app/messagebox.h"

#include <algorithm>

namespace {

constexpr int32_t Margin = 12, ButtonHeight = 23, ButtonGap = 8, MinButtonWidth = 75, MinWidth = 200;
// A button's modal result is this plus its index (mrOk and mrCancel stay for the closed box).
constexpr int32_t FirstButtonResult = 100;

}  // namespace

TMessageBoxForm::TMessageBoxForm(const std::string& Caption, const std::string& Text,
                                 const std::vector<std::string>& Labels, size_t Cancel)
    : cancel_(std::min(Cancel, Labels.size() - 1)) {
    SetCaption(Caption);
    int32_t buttonsWidth = -ButtonGap;
    for (size_t i = 0; i < Labels.size(); ++i) {
        auto& button = Buttons.emplace_back(std::make_unique<TButton>());
        button->SetCaption(Labels[i]);
        button->ModalResult = FirstButtonResult + int32_t(i);
        button->Default = i == 0;
        button->Cancel = i == cancel_;
        button->TabStop = true;
        button->SetBounds(0, 0, std::max(MinButtonWidth, TextWidth(button->Font(), Labels[i], true) + 16), ButtonHeight);
        buttonsWidth += button->Width() + ButtonGap;
    }
    // The text as wide as its widest line, up to the most a line may take, where it breaks (a
    // word longer than that is cut at the box's edge).
    LabelText.SetParent(this);
    LabelText.ShowAccelChar = false;
    LabelText.WordWrap = true;
    LabelText.SetCaption(Text);
    TDIBX measure;
    measure.SetSize(1, 1, 32);
    TWidgetCanvas canvas(measure);
    canvas.Font = LabelText.Font();
    TRect extent{0, 0, MaxTextWidth, 0};
    DrawText(canvas, Text, extent, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    const int32_t inner = std::max({MinWidth, std::min(extent.Right, MaxTextWidth), buttonsWidth});
    LabelText.SetBounds(Margin, Margin, inner, extent.Bottom);
    const int32_t buttonsTop = Margin + extent.Bottom + Margin;
    int32_t left = Margin + (inner - buttonsWidth) / 2;
    for (const auto& button : Buttons) {
        button->SetParent(this);
        button->SetBounds(left, buttonsTop, button->Width(), ButtonHeight);
        left += button->Width() + ButtonGap;
    }
    SetBounds(0, 0, inner + 2 * Margin, buttonsTop + ButtonHeight + Margin);
    SetActiveControl(Buttons.front().get());
}

size_t TMessageBoxForm::Chosen(int32_t Result) const {
    const int32_t index = Result - FirstButtonResult;
    return index >= 0 && size_t(index) < Buttons.size() ? size_t(index) : cancel_;
}

std::optional<int> DrawnMessageBox(platform::Display& Owner, const std::string& Caption, const std::string& Text,
                                   const std::vector<std::string>& Labels, size_t Cancel) {
    if (Labels.empty()) return std::nullopt;
    TMessageBoxForm form(Caption, Text, Labels, Cancel);
    const int32_t result = ShowModal(form, Owner);
    if (result == mrNone) return std::nullopt;
    return int(form.Chosen(result));
}
