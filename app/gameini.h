#pragma once
// The player's own settings, "game.ini" beside the program. Everything else comes from the
// project file. The settings dialog writes its [Sound] keys back; whatever else the file holds
// stays as it was.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct TGameIni {
    bool DirectSound = true;  // [Sound] DirectSound
    int32_t DelayTime = 500;  // [Sound] DelayTime: the software mixer's buffer time (ms), 100..500 in steps of 100
    bool UseWMP = false;      // [Video] UseWMP
    bool DefaultOnly = false; // [Font] DefaultOnly: of the installed faces keep only the four standard ones
};

// The settings of the run, read by the main window at start-up.
extern TGameIni GameSettings;

// Every line of an ini text but its section lines, trimmed, with the name of the section it
// stands in ("" before the first section line) and its number (from 1); Visit answers false to
// stop. A last line without a line break counts too.
void ForEachIniLine(std::string_view Text,
                    const std::function<bool(std::string_view Section, std::string_view Line, size_t Number)>& Visit);

// The value of Key in Section of an ini text ("[Section]" lines, then "Key=Value" lines; names
// without regard to case, spaces around names and values ignored; the first match counts);
// false when there is none.
bool IniValue(std::string_view Text, std::string_view Section, std::string_view Key, std::string& Value);

// Integers and flags as ini files read them: the integer syntax of StrToIntDef ("0x" hexadecimal
// too), Default for a missing key or a value that is no integer; a flag is an integer not 0.
int32_t IniInteger(std::string_view Text, std::string_view Section, std::string_view Key, int32_t Default);
bool IniBool(std::string_view Text, std::string_view Section, std::string_view Key, bool Default);

// The settings of an ini text; missing keys keep their defaults.
TGameIni ParseGameIni(std::string_view Text);
// The longest game.ini read: a few sections of a few keys each, with room for a user's comments.
inline constexpr size_t MaxGameIniFile = 65536;
// The settings of the file (a program path); all defaults when it does not exist, and when it
// cannot be read or is longer than MaxGameIniFile, which Warnings then says.
TGameIni ReadGameIni(const std::string& FileName, std::vector<std::string>& Warnings);
// The program path of "game.ini" for the player in ProgramFolder: beside it when it runs where
// it was built and the folder takes files, else in the user's settings folder (GetSettingsFile).
// An installed player (its companion library under the prefix's lib folder) never writes
// beside itself, even where it could (run by root).
std::string GameIniFile(const std::string& ProgramFolder);

// Text with Key of Section set to Value: the first such key's line is rewritten (its name kept),
// else the key is added after the last key line of the first such section, else the section is
// added at the end. Every other line stays as it was; added lines end as the text's lines do
// ("\r\n" when it has none).
std::string IniWithValue(std::string_view Text, std::string_view Section, std::string_view Key, std::string_view Value);

// Writes [Sound] DirectSound ("1" or "0") and DelayTime into the file (a program path), keeping
// everything else it holds; a missing file is made with only these keys. The file is written
// to a temporary file beside it and renamed over the old one, so a failure leaves the old file
// whole. Throws EVelaError when the old file cannot be read (or is longer than MaxGameIniFile) or
// the new one cannot be written.
void WriteGameIniSound(const std::string& FileName, bool DirectSound, int32_t DelayTime);
