// Reading "game.ini".
#include "app/gameini.h"

#include "core/jstrm.h"
#include "core/sysutils.h"
#include "platform/fs.h"

#include <algorithm>

namespace {

std::string_view Trim(std::string_view S) {
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!S.empty() && space(S.front())) S.remove_prefix(1);
    while (!S.empty() && space(S.back())) S.remove_suffix(1);
    return S;
}

std::string ReadWholeFile(const std::string& FileName) {
    platform::fs::HostFile file;
    if (!platform::fs::FileExists(FileName) || !file.Open(FileName, platform::fs::HostFile::Mode::Read)) return {};
    std::string text;
    char buffer[4096];
    for (int64_t n; (n = file.Read(buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
    return text;
}

}  // namespace

bool IniValue(std::string_view Text, std::string_view Section, std::string_view Key, std::string& Value) {
    bool inSection = false;
    while (!Text.empty()) {
        const size_t end = std::min(Text.find('\n'), Text.size());
        const std::string_view line = Trim(Text.substr(0, end));
        Text.remove_prefix(std::min(end + 1, Text.size()));
        // The closing "]" must not be the second byte of a double-byte character.
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']' &&
            !JStrIsTrailByte(std::string(line), static_cast<int>(line.size()))) {
            inSection = AnsiSameText(Trim(line.substr(1, line.size() - 2)), Section);
            continue;
        }
        const size_t eq = line.find('=');
        if (!inSection || eq == std::string_view::npos) continue;
        if (AnsiSameText(Trim(line.substr(0, eq)), Key)) {
            Value = std::string(Trim(line.substr(eq + 1)));
            return true;
        }
    }
    return false;
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

TGameIni ReadGameIni(const std::string& FileName) { return ParseGameIni(ReadWholeFile(FileName)); }

std::string GameIniFile() { return ExtractFilePath(platform::fs::ProgramFile()) + "game.ini"; }
