// Reading and writing "game.ini".
#include "app/gameini.h"

#include "core/jstrm.h"
#include "core/streams.h"
#include "core/sysutils.h"
#include "media/velabind.h"
#include "platform/fs.h"

#include <algorithm>
#include <cstdint>
#include <optional>

namespace {

std::string_view Trim(std::string_view S) {
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!S.empty() && space(S.front())) S.remove_prefix(1);
    while (!S.empty() && space(S.back())) S.remove_suffix(1);
    return S;
}

// One line of an ini text: where it starts and ends (without its line break), trimmed.
struct TIniLine {
    size_t Start, End;
    std::string_view Text;
};

// The lines of Text in order; a last line without a line break counts too.
template <typename Visit>
void ForEachLine(std::string_view Text, Visit&& Visit_) {
    for (size_t start = 0; start < Text.size();) {
        const size_t end = std::min(Text.find('\n', start), Text.size());
        size_t stop = end;
        if (stop > start && Text[stop - 1] == '\r') --stop;
        if (!Visit_(TIniLine{start, stop, Trim(Text.substr(start, end - start))})) return;
        start = end + 1;
    }
}

// The name of a section line ("[Name]"); nothing for another line. The closing "]" must not be
// the second byte of a double-byte character.
std::optional<std::string_view> SectionName(std::string_view Line) {
    if (Line.size() < 2 || Line.front() != '[' || Line.back() != ']' ||
        JStrIsTrailByte(std::string(Line), static_cast<int>(Line.size())))
        return std::nullopt;
    return Trim(Line.substr(1, Line.size() - 2));
}

}  // namespace

void ForEachIniLine(std::string_view Text,
                    const std::function<bool(std::string_view Section, std::string_view Line, size_t Number)>& Visit) {
    std::string_view section;
    size_t number = 0;
    ForEachLine(Text, [&](const TIniLine& Line) {
        ++number;
        if (const std::optional<std::string_view> name = SectionName(Line.Text)) {
            section = *name;
            return true;
        }
        return Visit(section, Line.Text, number);
    });
}

bool IniValue(std::string_view Text, std::string_view Section, std::string_view Key, std::string& Value) {
    bool found = false;
    ForEachIniLine(Text, [&](std::string_view Name, std::string_view Line, size_t) {
        const size_t eq = Line.find('=');
        if (!AnsiSameText(Name, Section) || eq == std::string_view::npos || !AnsiSameText(Trim(Line.substr(0, eq)), Key))
            return true;
        Value = std::string(Trim(Line.substr(eq + 1)));
        found = true;
        return false;
    });
    return found;
}

int32_t IniInteger(std::string_view Text, std::string_view Section, std::string_view Key, int32_t Default) {
    std::string value;
    return IniValue(Text, Section, Key, value) ? StrToIntDef(value, Default) : Default;
}

bool IniBool(std::string_view Text, std::string_view Section, std::string_view Key, bool Default) {
    return IniInteger(Text, Section, Key, Default ? 1 : 0) != 0;
}

TGameIni GameSettings;

TGameIni ParseGameIni(std::string_view Text) {
    TGameIni ini;
    ini.DirectSound = IniBool(Text, "Sound", "DirectSound", ini.DirectSound);
    const int32_t delay = IniInteger(Text, "Sound", "DelayTime", ini.DelayTime);
    ini.DelayTime = std::clamp(delay / 100 * 100, 100, 500);
    ini.UseWMP = IniBool(Text, "Video", "UseWMP", ini.UseWMP);
    ini.DefaultOnly = IniBool(Text, "Font", "DefaultOnly", ini.DefaultOnly);
    return ini;
}

TGameIni ReadGameIni(const std::string& FileName, std::vector<std::string>& Warnings) {
    std::string refusal;
    const std::optional<std::string> text = ReadSettingsFile(FileName, MaxGameIniFile, refusal);
    if (!text) {
        Warnings.push_back("game.ini " + refusal + ": the settings keep their defaults");
        return TGameIni();
    }
    return ParseGameIni(*text);
}

std::string GameIniFile(const std::string& ProgramFolder) {
    return GetSettingsFile(ProgramFolder, CompanionFolder(ProgramFolder) != ProgramFolder);
}

std::string IniWithValue(std::string_view Text, std::string_view Section, std::string_view Key, std::string_view Value) {
    const std::string_view lineBreak = Text.find('\n') == std::string_view::npos || Text.find("\r\n") != std::string_view::npos
                                           ? std::string_view("\r\n")
                                           : std::string_view("\n");
    // The first section of the name: where a new key goes (after its last key line, else after
    // its header), and the key's own line when it has one.
    bool inSection = false, seen = false;
    size_t insertAt = std::string_view::npos;
    std::optional<TIniLine> keyLine;
    ForEachLine(Text, [&](const TIniLine& Line) {
        if (const std::optional<std::string_view> name = SectionName(Line.Text)) {
            if (seen) return false;
            inSection = seen = AnsiSameText(*name, Section);
            if (inSection) insertAt = Line.End;
            return true;
        }
        if (!inSection) return true;
        const size_t eq = Line.Text.find('=');
        if (eq == std::string_view::npos) return true;
        insertAt = Line.End;
        if (!AnsiSameText(Trim(Line.Text.substr(0, eq)), Key)) return true;
        keyLine = Line;
        return false;
    });
    std::string text(Text);
    if (keyLine) {
        const std::string_view name = Trim(keyLine->Text.substr(0, keyLine->Text.find('=')));
        return text.replace(keyLine->Start, keyLine->End - keyLine->Start, std::string(name) + "=" + std::string(Value));
    }
    const std::string entry = std::string(Key) + "=" + std::string(Value);
    if (insertAt != std::string_view::npos) return text.insert(insertAt, std::string(lineBreak) + entry);
    if (!text.empty() && text.back() != '\n') text += lineBreak;
    return text + "[" + std::string(Section) + "]" + std::string(lineBreak) + entry + std::string(lineBreak);
}

void WriteGameIniSound(const std::string& FileName, bool DirectSound, int32_t DelayTime) {
    std::string refusal;
    const std::optional<std::string> old = ReadSettingsFile(FileName, MaxGameIniFile, refusal);
    // A file that is there but is not read is not replaced by one that lacks its keys.
    if (!old) throw EFOpenError(platform::fs::ShownPath(FileName) + " " + refusal + ": it is left as it is.");
    std::string text = IniWithValue(*old, "Sound", "DirectSound", DirectSound ? "1" : "0");
    text = IniWithValue(text, "Sound", "DelayTime", IntToStr(DelayTime));
    WriteFileReplacing(FileName, [&](TStream& Stream) { Stream.WriteBuffer(text.data(), static_cast<int64_t>(text.size())); });
}
