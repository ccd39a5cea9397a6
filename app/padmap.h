#pragma once
// The game controller's map: what each button and stick of a pad does, "controller.ini" beside
// the player's "game.ini" changing it; and the choice of the press target a press of the d-pad
// (or a push of the stick) moves the pointer to.
#include "core/header.h"
#include "platform/display.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What a pad's button does.
enum class TPadAction : uint8_t {
    None,
    LeftButton,   // the mouse's left button at the pointer
    RightButton,  // the right button at the pointer
    WheelUp,      // one turn of the wheel away from the user
    WheelDown,
    Escape,       // the Escape key
    FullScreen,   // window or full screen, as the toolbar's switch does
    Up,           // to the next press target that way
    Down,
    Left,
    Right,
};

// What a stick does.
enum class TStickAction : uint8_t {
    None,
    Pointer,  // to the next press target the way it is pushed; with none on the screen, the pointer
    Wheel,    // the wheel, up and down
};

struct TPadMap {
    std::array<TPadAction, size_t(platform::PadButton::Count)> Buttons{};
    std::array<TStickAction, size_t(platform::PadStick::Count)> Sticks{};
};

// A: the left button, B: the right button, the shoulder buttons the wheel (left up, right down),
// Start: Escape, Back: full screen, the d-pad and the left stick between the press targets, the
// right stick the wheel.
TPadMap DefaultPadMap();

// The longest controller.ini read, the longest line taken from it, and the most lines left out
// that its warnings name one by one.
inline constexpr size_t MaxPadMapFile = 16384, MaxPadMapLine = 200, MaxPadMapWarnings = 8;

// The map of a controller.ini text: the default map with the lines of its [Buttons] section
// ("a=leftbutton") and its [Sticks] section ("left=pointer") applied in order. Blank lines and
// those starting with ";" or "#" are passed over; each other line it cannot take (an unknown
// section, name or action, a line without "=", a line longer than MaxPadMapLine) is left out and
// one line of Warnings says which and why (past MaxPadMapWarnings, one line counts the rest).
TPadMap ParsePadMap(std::string_view Text, std::vector<std::string>& Warnings);
// The map of the file (a program path): the default one when there is no such file; a file that
// cannot be read or is longer than MaxPadMapFile is left unread, and Warnings says so.
TPadMap ReadPadMap(const std::string& FileName, std::vector<std::string>& Warnings);
// The program path of "controller.ini": in the folder of "game.ini" (GameIniFile).
std::string PadMapFile(const std::string& ProgramFolder);

// The names controller.ini uses: of the buttons in PadButton's order, of the sticks in
// PadStick's order, and of the actions in their order.
extern const std::array<const char*, size_t(platform::PadButton::Count)> PadButtonNames;
extern const std::array<const char*, size_t(platform::PadStick::Count)> PadStickNames;
extern const std::array<const char*, size_t(TPadAction::Right) + 1> PadActionNames;
extern const std::array<const char*, size_t(TStickAction::Wheel) + 1> StickActionNames;

enum class TPadDirection : uint8_t { Up, Down, Left, Right };

// The choice of a press target, offered every target of the screen once. With the pointer on
// none of them the press chooses the one nearest the pointer; on one, the nearest that lies the
// way pressed (its point past the pointer that way, a step across counting twice a step along),
// none when none does.
class TPressTargetChoice {
public:
    TPressTargetChoice(TPoint Pointer, TPadDirection Direction) : pointer_(Pointer), direction_(Direction) {}
    void Offer(const TRect& Area, TPoint At);
    // Where the pointer goes; nothing when it stays.
    std::optional<TPoint> Chosen() const;
    // Whether any target was offered.
    bool Any() const { return any_; }

private:
    TPoint pointer_;
    TPadDirection direction_;
    bool any_ = false, onTarget_ = false;
    std::optional<TPoint> nearest_, onward_;
    int64_t nearestDistance_ = 0, onwardScore_ = 0;
};
