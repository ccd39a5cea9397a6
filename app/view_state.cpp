#include "app/view_state.h"

#include "core/stringlist.h"
#include "media/mediaman.h"
#include "media/screenman.h"
#include "objects/vitems.h"
#include "script/project.h"
#include "text/fontpixels.h"
#include "text/histories.h"

// ---- The current layer's pointer ----

TVelaBase* TFormPlayerState::Layer() { return Bases ? Bases->GetBase(Bases->GetCurrentLayer()) : nullptr; }

bool TFormPlayerState::ClickLatch(bool Right) {
    const TVelaBase* layer = Layer();
    return layer && (Right ? layer->RightPressed : layer->LeftPressed);
}

void TFormPlayerState::SetClickLatch(bool Right, bool Value) {
    if (TVelaBase* layer = Layer()) (Right ? layer->RightPressed : layer->LeftPressed) = Value;
}

bool TFormPlayerState::ButtonPushed(bool Right) {
    const TVelaBase* layer = Layer();
    return layer && (Right ? layer->GetRightClicked() : layer->GetLeftClicked());
}

int32_t TFormPlayerState::MouseX() {
    const TVelaBase* layer = Layer();
    return layer ? layer->MousePos.X : 0;
}

int32_t TFormPlayerState::MouseY() {
    const TVelaBase* layer = Layer();
    return layer ? layer->MousePos.Y : 0;
}

void TFormPlayerState::SetMouseX(int32_t X) {
    if (Hooks.SetMouseX) Hooks.SetMouseX(X);
}

void TFormPlayerState::SetMouseY(int32_t Y) {
    if (Hooks.SetMouseY) Hooks.SetMouseY(Y);
}

bool TFormPlayerState::WheelLatch(bool Up) {
    const TVelaBase* layer = Layer();
    return layer && (Up ? layer->WheelUp : layer->WheelDown);
}

// ---- Keys and focus ----

bool TFormPlayerState::KeyState(TKeyArray Which, int32_t Key) {
    if (!Bases) return false;
    switch (Which) {
        case kaDown: return Bases->GetKeyDown(Key);
        case kaPressed: return Bases->GetKeyPressed(Key);
        case kaRepeat: return Bases->GetKeyRepeat(Key);
    }
    return false;
}

std::string TFormPlayerState::FocusName() {
    const TVelaControl* focus = Bases ? Bases->GetFocus() : nullptr;
    return focus ? focus->GetName() : std::string();
}

void TFormPlayerState::SetFocusName(const std::string& Name) {
    if (!Bases) return;
    TVelaControl* control = Bases->FindControl(Name);
    if (control && !control->GetPaused() && control->GetVisible() && control->GetHandlekey()) Bases->SetFocus(control);
}

bool TFormPlayerState::SoundOn() { return !Bases || Bases->GetSoundEnabled(); }

void TFormPlayerState::SetSoundOn(bool Value) {
    if (Bases) Bases->SetSoundEnabled(Value);
}

bool TFormPlayerState::ImageMode() { return Bases && Bases->GetImageMode(); }

void TFormPlayerState::SetImageMode(bool Value) {
    if (Bases) Bases->SetImageMode(Value);
}

// ---- Screen ----

bool TFormPlayerState::FullScreen() { return ScreenMan && ScreenMan->FullScreen; }

void TFormPlayerState::SetFullScreen(bool Full) {
    if (Hooks.SetFullScreen) Hooks.SetFullScreen(Full);
}

int32_t TFormPlayerState::DisplayModeCount() { return ScreenMan ? ScreenMan->GetModeCount() : 0; }

int32_t TFormPlayerState::DisplayModeIndex() { return ScreenMan ? ScreenMan->BestMode : 0; }

void TFormPlayerState::SetDisplayModeIndex(int32_t Index) {
    if (!ScreenMan) return;
    ScreenMan->BestMode = Index;
    if (Hooks.ChangeDisplayMode) Hooks.ChangeDisplayMode();
}

// ---- Project ----

int32_t TFormPlayerState::ScreenWidth() { return Project ? Project->Width : 0; }

int32_t TFormPlayerState::ScreenHeight() { return Project ? Project->Height : 0; }

std::string TFormPlayerState::Title() { return Project ? Project->Title : std::string(); }

// ---- Fonts ----

namespace {
// The unnamed history format, which the system variables and the variable loader use.
TVelaHistoryFormat* DefaultFormat() { return TextHistoryFormats ? TextHistoryFormats->FindFormat({}) : nullptr; }
}  // namespace

int32_t TFormPlayerState::HistoryCount() {
    TVelaHistoryFormat* format = DefaultFormat();
    return format ? format->History().GetCount() : 0;
}

int32_t TFormPlayerState::HistoryMaxCount() {
    TVelaHistoryFormat* format = DefaultFormat();
    return format ? format->History().Capacity : 0;
}

void TFormPlayerState::SetHistoryMaxCount(int32_t Count) {
    if (TVelaHistoryFormat* format = DefaultFormat()) format->History().Capacity = Count;
}

void TFormPlayerState::LoadHistorySettings(const std::array<int32_t, 6>& Settings) {
    if (TVelaHistoryFormat* format = DefaultFormat()) format->Settings = Settings;
}

std::vector<std::string> TFormPlayerState::FontNames(bool FixedOnly) {
    TStringList list;
    if (FontPixelManager) FontPixelManager->GetFontNames(list, FixedOnly);
    std::vector<std::string> names;
    for (int i = 0; i < list.Count(); ++i) names.push_back(list.Strings(i));
    return names;
}

// ---- MIDI devices ----

std::string TFormPlayerState::MidiPort() { return MidiMan ? MidiMan->GetCurrentDeviceName() : std::string(); }

void TFormPlayerState::SetMidiPort(const std::string& Name) {
    if (MidiMan) MidiMan->SetDeviceName(Name);
}

int32_t TFormPlayerState::MidiPortCount() { return MidiMan ? MidiMan->GetDeviceCount() : 0; }

std::string TFormPlayerState::MidiPortName(int32_t Index) {
    return MidiMan ? MidiMan->GetDeviceName(Index) : std::string();
}
