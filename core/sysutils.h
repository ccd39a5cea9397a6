#pragma once
// Small string utilities the whole engine shares: formatting, integers as text, and the
// Japanese-locale case rules for Shift-JIS (code page 932) text. Beside them the system
// routines over the platform layer: where save data lies, the single-instance lock, screen
// metrics, the desktop, shell folders, installed fonts, file listings, escapes, font styles,
// colours and rectangles.
#include "core/header.h"
#include "platform/system.h"

#include <algorithm>
#include <bitset>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

// printf-style formatting of a fixed format; never pass script text as the format.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string IntToStr(int64_t value);

// ---- Numbers read from text and floats written as text ----

// The integer syntaxes TryStrToInt takes.
enum class TIntSyntax {
    // Leading spaces, an optional sign, then decimal digits, or hexadecimal digits after "$",
    // "x" or "0x" (either case of the x and of the digits). Decimal text must fit int32;
    // hexadecimal text up to FFFFFFFF gives those 32 bits ("$FFFFFFFF" is -1).
    Full,
    // An optional sign and decimal digits only; the value must fit int32.
    Decimal,
};
// Nothing may follow the digits. False (Value untouched) for any other text.
bool TryStrToInt(std::string_view S, int32_t& Value, TIntSyntax Syntax = TIntSyntax::Full);
int32_t StrToIntDef(std::string_view S, int32_t Default, TIntSyntax Syntax = TIntSyntax::Full);

// Decimal float text: leading and trailing spaces, an optional sign, digits with an optional
// "." and fraction (one digit at least), an optional exponent "e" or "E" with an optional sign
// and digits. Rounded to the nearest extended value. False (Value untouched) for any other text
// and for a value outside the range of normal extended values.
bool TryStrToFloat(std::string_view S, long double& Value);

// The general format with 15 significant digits: the value rounded to 15 digits (to nearest,
// ties to even), trailing zeros dropped. Fixed notation while the value has at most 15 digits
// before the point and is 0.0001 or more in magnitude ("2.5", "3", "0.333333333333333",
// "-0.0001"); otherwise scientific with the exponent written without "+" or leading zeros
// ("1E15", "1.5E-5", "-2.5E300"). Zero is "0"; NaN and the infinities are "NAN", "INF", "-INF".
std::string FloatToStr(long double Value);

// A lead byte of a double-byte character in code page 932 (0x81-0x9F, 0xE0-0xFC).
inline bool IsLeadByte(uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
inline bool IsLeadByte(char c) { return IsLeadByte(static_cast<uint8_t>(c)); }

// Case mapping under the Japanese locale: ASCII letters, and the full-width Latin, Greek and
// Cyrillic letters of the double-byte set. Half-width katakana and kanji have no case.
std::string AnsiLowerCase(std::string_view s);
std::string AnsiUpperCase(std::string_view s);

// Comparison without regard to case (-1, 0, 1), and its equality form.
int AnsiCompareText(std::string_view a, std::string_view b);
bool AnsiSameText(std::string_view a, std::string_view b);
// Byte Index of AnsiLowerCase(s) (0 past its end), without making the string.
uint8_t AnsiLowerCaseByte(std::string_view s, size_t Index);
// A hash of AnsiLowerCase(s), without making the string: names AnsiSameText takes as one
// hash alike.
size_t AnsiLowerCaseHash(std::string_view s);
// Maps and sets keyed by names without regard to case, looked up by any text without making a
// string.
struct TAnsiTextHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return AnsiLowerCaseHash(s); }
};
struct TAnsiTextEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return AnsiSameText(a, b); }
};
template <class TValue>
using TAnsiTextMap = std::unordered_map<std::string, TValue, TAnsiTextHash, TAnsiTextEqual>;
using TAnsiTextSet = std::unordered_set<std::string, TAnsiTextHash, TAnsiTextEqual>;
// Sorts Texts in the Japanese order that respects case (descending: the reverse): case breaks
// ties (a < A < b), punctuation counts last, kana sort by reading; texts the order holds equal go
// shorter first, then by their bytes (platform::CollationKeysCp932). Each text's key is made once.
// At most UINT32_MAX texts, each key under 4 GiB (an array of the script holds fewer).
void AnsiSortStr(std::vector<std::string>& Texts, bool Descending);

// ---- System routines ----
// Paths here are program paths (Shift-JIS, Windows form).

// Whether a title's folder is played read-only: it is, once resolved, a folder the desktop or
// the shell takes settings or programs from (platform::IsDesktopSettingsFolder). Nothing of the
// title's is written there; its saves go to its save folder.
bool IsReadOnlyTitleFolder(const std::string& Folder);

// Save data. The folder of the per-user data (XDG_DATA_HOME) for a title, ending in "\" and
// created with its parents; the characters \ / : , ; * ? " < > | of the title become "_".
// Empty for an empty title or when the folder cannot be made.
std::string GetSaveFolder(const std::string& Title);
// The save file of a game: "save.dat" in the folder of GamePath when a probe file can be
// created there (the host has no program-files folder, so the probe alone decides), else in
// GetSaveFolder(Title), where an older save of the game folder is carried over once. Raises
// EVelaError when neither place is writable.
std::string GetSaveDataFile(const std::string& GamePath, const std::string& Title);
// The save file of the title installed in Folder: "save.dat" there when a probe file can be
// created there, else in $XDG_DATA_HOME/velaplay/NAME-HASH/ (NAME the folder's name, HASH eight
// hexadecimal digits of its full path, however the folder was named), where an older save of the
// folder is carried over once.
// Raises EVelaError when neither place is writable.
std::string GetTitleSaveFile(const std::string& Folder);
// The folder of the lists of the files the player wrote for each title, ending in "\":
// $XDG_DATA_HOME/velaplay/written/, made when missing. It is the player's own, not beside a
// title's saves, where a title's own files could stand for a list. Empty when it cannot be made.
std::string GetWrittenListFolder();
// The player's settings file: "game.ini" in ProgramFolder when the player is not Installed
// (in a prefix's bin folder) and the folder takes files, else in $XDG_CONFIG_HOME/velaplay/
// (ProgramFolder's when that cannot be made).
std::string GetSettingsFile(const std::string& ProgramFolder, bool Installed);
// The text of a settings or list file the player keeps on the host (a program path), read only
// when it is no longer than Limit bytes: "" when there is no such file; nothing when it cannot
// be read or is longer, and Refusal then says why ("cannot be read", "is longer than N bytes"),
// to follow the file's name in the line that tells the user, who plays on with the defaults.
// The size is asked before anything is read, and at most Limit + 1 bytes are read, so neither a
// huge file nor one that grows while it is read (or a device that never ends) is taken whole.
std::optional<std::string> ReadSettingsFile(const std::string& FileName, size_t Limit, std::string& Refusal);
// The trace hook of the start-up steps; it records nothing.
inline void WriteLog(const std::string& /*Message*/) {}

// One running player per key: nothing when another process holds the key (or the lock cannot
// be made). The lock ends with ReleaseInstanceMutex, with the handle, or with the process.
using TInstanceMutex = std::unique_ptr<platform::InstanceLock>;
TInstanceMutex CreateInstanceMutex(const std::string& Name);
void ReleaseInstanceMutex(TInstanceMutex& Handle);

// The rectangle of all monitors together.
int32_t GetVirtualScreenLeft();
int32_t GetVirtualScreenTop();
int32_t GetVirtualScreenWidth();
int32_t GetVirtualScreenHeight();
// With one monitor the part of it panels and docks leave free, else the virtual screen.
TRect GetWorkAreaRect();

// The desktop background: Mode 0 centred, 1 tiled, any other stretched. False when the
// desktop cannot be told.
bool SetWallPaper(const std::string& FileName, int32_t Mode);

// Shell folders by their CSIDL numbers, as their XDG equivalents (desktop and documents from
// the user-dirs settings, local application data from XDG_DATA_HOME); empty for a folder the
// host has no equivalent of, such as the program-files folder.
inline constexpr int32_t CSIDL_DESKTOP = 0x00;
inline constexpr int32_t CSIDL_PERSONAL = 0x05;
inline constexpr int32_t CSIDL_DESKTOPDIRECTORY = 0x10;
inline constexpr int32_t CSIDL_TEMPLATES = 0x15;
inline constexpr int32_t CSIDL_LOCAL_APPDATA = 0x1C;
std::string GetSpecialFolder(int32_t CSIDL);

// ---- Fonts ----

inline constexpr uint8_t SHIFTJIS_CHARSET = 128;
inline constexpr uint8_t DEFAULT_PITCH = 0, FIXED_PITCH = 1, VARIABLE_PITCH = 2;

// What a font description needs of an installed face. Height 0 stands for the face's default
// size: outline faces have no size of their own.
struct TLogFont {
    std::string FaceName;
    int32_t Height = 0;
    int32_t Weight = 0;  // 100 (thin) to 900 (black), 400 regular
    bool Italic = false;
    uint8_t CharSet = 0;
    uint8_t Pitch = DEFAULT_PITCH;
    bool Underline = false;
    bool StrikeOut = false;
    bool operator==(const TLogFont&) const = default;
};

// Bits of TTextMetric::tmPitchAndFamily.
inline constexpr uint8_t TMPF_FIXED_PITCH = 1;  // set for a variable-pitch face (the name is historical)
inline constexpr uint8_t TMPF_VECTOR = 2, TMPF_TRUETYPE = 4;

// The text metrics of an installed face as listed. Sizes depend on a selection and stay 0 here:
// the outline metrics of a selected font carry them.
struct TTextMetric {
    int32_t tmHeight = 0, tmAscent = 0, tmDescent = 0, tmInternalLeading = 0, tmExternalLeading = 0,
            tmAveCharWidth = 0, tmMaxCharWidth = 0, tmWeight = 0, tmOverhang = 0, tmDigitizedAspectX = 0,
            tmDigitizedAspectY = 0;
    uint8_t tmFirstChar = 0, tmLastChar = 0, tmDefaultChar = 0, tmBreakChar = 0, tmItalic = 0, tmUnderlined = 0,
            tmStruckOut = 0, tmPitchAndFamily = 0, tmCharSet = 0;
    bool operator==(const TTextMetric&) const = default;
};

// Replaces Strings with the names of the installed outline faces that support Japanese, each
// once, in name order when Sorted, with "ＭＳ ゴシック", "ＭＳ Ｐゴシック", "ＭＳ 明朝" and "ＭＳ Ｐ明朝"
// when the IPA faces standing for them are installed. Vertical-writing "@" faces do not exist on
// this host, so IncludeVertical changes nothing.
void GetFontNames(TStringList& Strings, bool Sorted, bool IncludeVertical, bool FixedPitchOnly);
// The description and text metrics of the face of exactly that name (as GetFontNames gives it);
// all zero when there is none.
void GetFontLogFont(const std::string& FaceName, TLogFont& LogFont, TTextMetric& TextMetric);
// First index whose string equals S byte for byte; -1 when absent.
int IndexOfStr(const TStringList& Strings, const std::string& S);

// ---- Files ----

// File attribute bits. From the host: faDirectory for folders, faArchive for ordinary files,
// faHidden for names starting with ".", faReadOnly when the owner has no write permission.
inline constexpr uint32_t faReadOnly = 0x01;
inline constexpr uint32_t faHidden = 0x02;
inline constexpr uint32_t faSysFile = 0x04;
inline constexpr uint32_t faVolumeID = 0x08;
inline constexpr uint32_t faDirectory = 0x10;
inline constexpr uint32_t faArchive = 0x20;

// Adds to List the entries of Folder, in name order: a file when its attributes share a bit
// with AttrMask, or when IncludeNormal and it has none of the six bits; a folder when AttrMask
// has faDirectory (with a trailing "\" when FolderSlash). A non-empty Ext (".vft") keeps only
// files of that extension, compared without regard to case. Recurse descends into every
// folder, with FolderSlash on, never twice into one on the same path (a linked loop ends).
// ClearList empties List first. ClearAttr is accepted and ignored: listing never changes the
// attributes or permissions of the user's files.
void EnumFiles(const std::string& Folder, uint32_t AttrMask, bool IncludeNormal, const std::string& Ext,
               bool ClearAttr, bool FolderSlash, bool Recurse, TStringList& List, bool ClearList);

// Whether Name matches the file mask: "*" any run of characters, "?" one character (a
// double-byte one whole), single-byte letters without regard to case.
bool MatchesMask(std::string_view Name, std::string_view Mask);

// ---- Text and values ----

// \\ -> \, \" -> ", \n -> CR LF; other pairs and a final "\" stay; double-byte characters
// are never taken apart.
std::string DecodeEscapes(const std::string& S);

// A font style set, indexed by TFontStyle.
using TFontStyles = std::bitset<FS_STRIKEOUT + 1>;
// Bit 0 bold, 1 italic, 2 underline, 3 strike-out; the inverse reads the low four bits.
int32_t FontStylesToInt(const TFontStyles& Styles);
TFontStyles IntToFontStyles(int32_t Value);

// Each of red, green and blue becomes (byte * Factor) div 256 in 32-bit arithmetic, kept to
// its low 8 bits (no clamping); the top byte of the result is 0.
uint32_t ScaleColor(uint32_t Color, int32_t Factor);

// Overlapping (touching edges do not count).
inline bool RectsIntersect(const TRect& A, const TRect& B) {
    return A.Left < B.Right && A.Right > B.Left && A.Top < B.Bottom && A.Bottom > B.Top;
}
// Left <= X < Right and Top <= Y < Bottom.
bool PointInRect(const TRect& R, int32_t X, int32_t Y);
// The intersection of A and B, or (0, 0, 0, 0) when they do not intersect; and the same into R.
inline TRect IntersectRects(const TRect& A, const TRect& B) {
    if (!RectsIntersect(A, B)) return TRect{0, 0, 0, 0};
    return TRect{std::max(A.Left, B.Left), std::max(A.Top, B.Top), std::min(A.Right, B.Right),
                 std::min(A.Bottom, B.Bottom)};
}
void IntersectRects(const TRect& A, const TRect& B, TRect& R);
inline TPoint NxMakePoint(int32_t X, int32_t Y) { return MakePoint(X, Y); }
