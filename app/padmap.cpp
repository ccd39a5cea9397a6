// The game controller's map and the choice of press targets.
#include "app/padmap.h"

#include "app/gameini.h"
#include "core/sysutils.h"

#include <algorithm>
#include <cstdlib>

using platform::PadButton;
using platform::PadStick;

const std::array<const char*, size_t(PadButton::Count)> PadButtonNames = {
    "a",          "b",         "x",            "y",             "back",   "guide",  "start", "leftstick",
    "rightstick", "leftshoulder", "rightshoulder", "dpup", "dpdown", "dpleft", "dpright"};
const std::array<const char*, size_t(PadStick::Count)> PadStickNames = {"left", "right"};
const std::array<const char*, size_t(TPadAction::Right) + 1> PadActionNames = {
    "none", "leftbutton", "rightbutton", "wheelup", "wheeldown", "escape", "fullscreen", "up", "down", "left", "right"};
const std::array<const char*, size_t(TStickAction::Wheel) + 1> StickActionNames = {"none", "pointer", "wheel"};

namespace {

// The place of Name (without regard to case) among Names; nothing when it is none of them.
template <size_t N>
std::optional<size_t> NameIndex(const std::array<const char*, N>& Names, std::string_view Name) {
    for (size_t i = 0; i < N; ++i)
        if (AnsiSameText(Names[i], Name)) return i;
    return std::nullopt;
}

std::string_view Trimmed(std::string_view S) {
    while (!S.empty() && (S.front() == ' ' || S.front() == '\t')) S.remove_prefix(1);
    while (!S.empty() && (S.back() == ' ' || S.back() == '\t')) S.remove_suffix(1);
    return S;
}

}  // namespace

TPadMap DefaultPadMap() {
    TPadMap map;
    auto set = [&](PadButton Button, TPadAction Action) { map.Buttons[size_t(Button)] = Action; };
    set(PadButton::A, TPadAction::LeftButton);
    set(PadButton::B, TPadAction::RightButton);
    set(PadButton::LeftShoulder, TPadAction::WheelUp);
    set(PadButton::RightShoulder, TPadAction::WheelDown);
    set(PadButton::Start, TPadAction::Escape);
    set(PadButton::Back, TPadAction::FullScreen);
    set(PadButton::DpadUp, TPadAction::Up);
    set(PadButton::DpadDown, TPadAction::Down);
    set(PadButton::DpadLeft, TPadAction::Left);
    set(PadButton::DpadRight, TPadAction::Right);
    map.Sticks[size_t(PadStick::Left)] = TStickAction::Pointer;
    map.Sticks[size_t(PadStick::Right)] = TStickAction::Wheel;
    return map;
}

TPadMap ParsePadMap(std::string_view Text, std::vector<std::string>& Warnings) {
    TPadMap map = DefaultPadMap();
    size_t leftOut = 0;
    std::optional<std::string_view> unknownSection;  // named once, not at each of its lines
    ForEachIniLine(Text, [&](std::string_view Section, std::string_view Line, size_t Number) {
        if (Line.empty() || Line.front() == ';' || Line.front() == '#') return true;
        auto warn = [&](const std::string& Why) {
            if (++leftOut <= MaxPadMapWarnings)
                Warnings.push_back(
                    Format("controller.ini line %u: %s; the line is left out", unsigned(Number), Why.c_str()));
        };
        if (Line.size() > MaxPadMapLine) {
            warn(Format("longer than %u characters", unsigned(MaxPadMapLine)));
            return true;
        }
        const bool buttons = AnsiSameText(Section, "Buttons"), sticks = AnsiSameText(Section, "Sticks");
        if (!buttons && !sticks) {
            if (unknownSection != Section) warn("it stands in no section [Buttons] or [Sticks]");
            else ++leftOut;
            unknownSection = Section;
            return true;
        }
        const size_t eq = Line.find('=');
        if (eq == std::string_view::npos) {
            warn("it is not name=action");
            return true;
        }
        const std::string name(Trimmed(Line.substr(0, eq))), action(Trimmed(Line.substr(eq + 1)));
        if (buttons) {
            const std::optional<size_t> button = NameIndex(PadButtonNames, name);
            const std::optional<size_t> does = NameIndex(PadActionNames, action);
            if (!button) warn(Format("\"%s\" is no button's name", name.c_str()));
            else if (!does) warn(Format("\"%s\" is no button's action", action.c_str()));
            else map.Buttons[*button] = TPadAction(*does);
        } else {
            const std::optional<size_t> stick = NameIndex(PadStickNames, name);
            const std::optional<size_t> does = NameIndex(StickActionNames, action);
            if (!stick) warn(Format("\"%s\" is no stick's name", name.c_str()));
            else if (!does) warn(Format("\"%s\" is no stick's action", action.c_str()));
            else map.Sticks[*stick] = TStickAction(*does);
        }
        return true;
    });
    if (leftOut > MaxPadMapWarnings)
        Warnings.push_back(Format("controller.ini: %u more lines are left out", unsigned(leftOut - MaxPadMapWarnings)));
    return map;
}

TPadMap ReadPadMap(const std::string& FileName, std::vector<std::string>& Warnings) {
    std::string refusal;
    const std::optional<std::string> text = ReadSettingsFile(FileName, MaxPadMapFile, refusal);
    if (!text) {
        Warnings.push_back("controller.ini " + refusal + ": the game controller keeps its own map");
        return DefaultPadMap();
    }
    return ParsePadMap(*text, Warnings);
}

std::string PadMapFile(const std::string& ProgramFolder) {
    return ExtractFilePath(GameIniFile(ProgramFolder)) + "controller.ini";
}

// ---- The choice of a press target ----

void TPressTargetChoice::Offer(const TRect& Area, TPoint At) {
    any_ = true;
    const int64_t dx = int64_t(At.X) - pointer_.X, dy = int64_t(At.Y) - pointer_.Y;
    const int64_t distance = dx * dx + dy * dy;
    if (!nearest_ || distance < nearestDistance_) {
        nearest_ = At;
        nearestDistance_ = distance;
    }
    // A target under the pointer is where the pointer is: the press goes on from it.
    if (PointInRect(Area, pointer_.X, pointer_.Y)) {
        onTarget_ = true;
        return;
    }
    const bool vertical = direction_ == TPadDirection::Up || direction_ == TPadDirection::Down;
    const int64_t along = direction_ == TPadDirection::Up     ? -dy
                          : direction_ == TPadDirection::Down ? dy
                          : direction_ == TPadDirection::Left ? -dx
                                                              : dx;
    if (along <= 0) return;
    const int64_t score = along + 2 * std::abs(vertical ? dx : dy);
    if (!onward_ || score < onwardScore_) {
        onward_ = At;
        onwardScore_ = score;
    }
}

std::optional<TPoint> TPressTargetChoice::Chosen() const { return onTarget_ ? onward_ : nearest_; }
