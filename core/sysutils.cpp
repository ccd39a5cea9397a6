#include "core/sysutils.h"

#include "core/jstrm.h"
#include "platform/collate.h"
#include "platform/fonts.h"
#include "platform/fs.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <optional>

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int length = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string out(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    if (length > 0) vsnprintf(out.data(), out.size() + 1, format, args);
    va_end(args);
    return out;
}

std::string IntToStr(int64_t value) { return std::to_string(value); }

// ---- Numbers as text ----

bool TryStrToInt(std::string_view S, int32_t& Value, TIntSyntax Syntax) {
    size_t i = 0;
    if (Syntax == TIntSyntax::Full)
        while (i < S.size() && S[i] == ' ') ++i;
    const bool negative = i < S.size() && S[i] == '-';
    if (i < S.size() && (S[i] == '-' || S[i] == '+')) ++i;
    uint64_t base = 10;
    if (Syntax == TIntSyntax::Full) {
        if (i < S.size() && (S[i] == '$' || S[i] == 'x' || S[i] == 'X')) {
            base = 16;
            ++i;
        } else if (i + 1 < S.size() && S[i] == '0' && (S[i + 1] == 'x' || S[i + 1] == 'X')) {
            base = 16;
            i += 2;
        }
    }
    if (i == S.size()) return false;
    // Hexadecimal text gives 32 bits; decimal text the magnitude of an int32 of that sign.
    const uint64_t limit = base == 16 ? 0xFFFFFFFFu : negative ? 0x80000000u : 0x7FFFFFFFu;
    uint64_t magnitude = 0;
    for (; i < S.size(); ++i) {
        const char c = S[i];
        const char lower = static_cast<char>(c | 0x20);
        const uint64_t digit = c >= '0' && c <= '9'           ? static_cast<uint64_t>(c - '0')
                               : lower >= 'a' && lower <= 'f' ? static_cast<uint64_t>(lower - 'a' + 10)
                                                              : base;
        if (digit >= base) return false;
        magnitude = magnitude * base + digit;
        if (magnitude > limit) return false;
    }
    const uint32_t bits = static_cast<uint32_t>(magnitude);
    Value = static_cast<int32_t>(negative ? 0u - bits : bits);
    return true;
}

int32_t StrToIntDef(std::string_view S, int32_t Default, TIntSyntax Syntax) {
    int32_t value;
    return TryStrToInt(S, value, Syntax) ? value : Default;
}

bool TryStrToFloat(std::string_view S, long double& Value) {
    const size_t first = S.find_first_not_of(' ');
    if (first == std::string_view::npos) return false;
    S = S.substr(first, S.find_last_not_of(' ') + 1 - first);
    const bool negative = S[0] == '-';
    if (S[0] == '-' || S[0] == '+') S.remove_prefix(1);
    // The converter below also takes "inf" and "nan"; only a digit or the point may begin.
    if (S.empty() || !(S[0] == '.' || (S[0] >= '0' && S[0] <= '9'))) return false;
    long double value;
    const auto [end, error] = std::from_chars(S.data(), S.data() + S.size(), value, std::chars_format::general);
    if (error != std::errc() || end != S.data() + S.size()) return false;
    Value = negative ? -value : value;
    return true;
}

std::string FloatToStr(long double Value) {
    if (std::isnan(Value)) return "NAN";
    if (std::isinf(Value)) return Value < 0 ? "-INF" : "INF";
    if (Value == 0) return "0";
    constexpr int kDigits = 15;
    // "d.dddddddddddddde-x": the 15 rounded digits and the decimal exponent of the first one.
    char text[64];
    const auto converted = std::to_chars(text, text + sizeof text, Value, std::chars_format::scientific, kDigits - 1);
    const std::string_view scientific(text, static_cast<size_t>(converted.ptr - text));
    const bool negative = scientific[0] == '-';
    const size_t lead = negative ? 1 : 0;
    std::string digits;
    digits += scientific[lead];
    const size_t mark = scientific.find('e');
    digits.append(scientific.substr(lead + 2, mark - lead - 2));
    digits.erase(digits.find_last_not_of('0') + 1);
    int exponent = 0;
    std::from_chars(scientific.data() + mark + 1 + (scientific[mark + 1] == '+'), scientific.data() + scientific.size(),
                    exponent);

    std::string out = negative ? "-" : "";
    if (exponent >= kDigits || exponent < -4) {
        out += digits[0];
        if (digits.size() > 1) out += "." + digits.substr(1);
        return out + "E" + std::to_string(exponent);
    }
    if (exponent < 0) return out + "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    const size_t whole = static_cast<size_t>(exponent) + 1;
    if (digits.size() <= whole) return out + digits + std::string(whole - digits.size(), '0');
    return out + digits.substr(0, whole) + "." + digits.substr(whole);
}

namespace {

// Double-byte letters with case: [upperFirst, upperLast] maps onto lowerFirst onwards, where a
// lower run may skip one code (0x7F is never a trail byte).
struct CaseRange {
    uint16_t upperFirst, upperLast, lowerFirst;
};
constexpr CaseRange kCaseRanges[] = {
    {0x8260, 0x8279, 0x8281},  // full-width A-Z
    {0x839F, 0x83B6, 0x83BF},  // Greek
    {0x8440, 0x8460, 0x8470},  // Cyrillic (the lower run skips 0x847F)
};

uint16_t LowerCode(uint16_t code) {
    for (const auto& r : kCaseRanges) {
        if (code < r.upperFirst || code > r.upperLast) continue;
        uint16_t lower = r.lowerFirst + (code - r.upperFirst);
        return (r.lowerFirst & 0xFF) < 0x7F && (lower & 0xFF) >= 0x7F ? lower + 1 : lower;
    }
    return code;
}

uint16_t UpperCode(uint16_t code) {
    for (const auto& r : kCaseRanges) {
        uint16_t span = r.upperLast - r.upperFirst;
        uint16_t lowerLast = r.lowerFirst + span;
        bool skips = (r.lowerFirst & 0xFF) < 0x7F && (lowerLast & 0xFF) >= 0x7F;
        if (skips) ++lowerLast;
        if (code < r.lowerFirst || code > lowerLast || (skips && (code & 0xFF) == 0x7F)) continue;
        uint16_t offset = code - r.lowerFirst;
        if (skips && (code & 0xFF) > 0x7F) --offset;
        return r.upperFirst + offset;
    }
    return code;
}

std::string MapCase(std::string_view s, bool lower) {
    std::string out(s);
    for (size_t i = 0; i < out.size(); ++i) {
        uint8_t b = static_cast<uint8_t>(out[i]);
        if (IsLeadByte(b) && i + 1 < out.size()) {
            uint16_t code = static_cast<uint16_t>(b << 8 | static_cast<uint8_t>(out[i + 1]));
            uint16_t mapped = lower ? LowerCode(code) : UpperCode(code);
            out[i] = static_cast<char>(mapped >> 8);
            out[i + 1] = static_cast<char>(mapped & 0xFF);
            ++i;
        } else if (lower && b >= 'A' && b <= 'Z') {
            out[i] = static_cast<char>(b + 32);
        } else if (!lower && b >= 'a' && b <= 'z') {
            out[i] = static_cast<char>(b - 32);
        }
    }
    return out;
}

}  // namespace

std::string AnsiLowerCase(std::string_view s) { return MapCase(s, true); }
std::string AnsiUpperCase(std::string_view s) { return MapCase(s, false); }

void AnsiSortStr(std::vector<std::string>& Texts, bool Descending) {
    // The texts are sorted by their places, each beside where its key lies.
    struct TPlace {
        const char* Key;
        uint32_t KeyBytes;
        uint32_t Index;
    };
    const platform::TCollationKeys keys = platform::CollationKeysCp932(Texts);
    std::vector<TPlace> places(Texts.size());
    for (size_t i = 0; i < Texts.size(); ++i) {
        const std::string_view key = keys.Key(i);
        places[i] = {key.data(), static_cast<uint32_t>(key.size()), static_cast<uint32_t>(i)};
    }
    const auto before = [&Texts](const TPlace& A, const TPlace& B) {
        if (const int order = std::string_view(A.Key, A.KeyBytes).compare(std::string_view(B.Key, B.KeyBytes)))
            return order < 0;
        const std::string &a = Texts[A.Index], &b = Texts[B.Index];
        if (a.size() != b.size()) return a.size() < b.size();
        return a < b;
    };
    if (Descending)
        std::sort(places.begin(), places.end(), [&](const TPlace& A, const TPlace& B) { return before(B, A); });
    else
        std::sort(places.begin(), places.end(), before);
    std::vector<std::string> sorted;
    sorted.reserve(Texts.size());
    for (const TPlace& place : places) sorted.push_back(std::move(Texts[place.Index]));
    Texts = std::move(sorted);
}

namespace {

// The bytes of AnsiLowerCase(s), one at a time, without making the string: names are compared
// this way in every variable look-up.
class TLowerBytes {
public:
    explicit TLowerBytes(std::string_view S) : s_(S) {}
    bool Done() const { return i_ >= s_.size() && !pending_; }
    uint8_t Next() {
        if (pending_) {
            pending_ = false;
            return trail_;
        }
        const uint8_t b = static_cast<uint8_t>(s_[i_++]);
        if (IsLeadByte(b) && i_ < s_.size()) {
            const uint16_t mapped = LowerCode(static_cast<uint16_t>(b << 8 | static_cast<uint8_t>(s_[i_++])));
            trail_ = static_cast<uint8_t>(mapped & 0xFF);
            pending_ = true;
            return static_cast<uint8_t>(mapped >> 8);
        }
        return b >= 'A' && b <= 'Z' ? static_cast<uint8_t>(b + 32) : b;
    }

private:
    std::string_view s_;
    size_t i_ = 0;
    uint8_t trail_ = 0;
    bool pending_ = false;
};

}  // namespace

int AnsiCompareText(std::string_view a, std::string_view b) {
    if (a == b) return 0;  // the usual case of a name looked up as it was given: one memcmp
    TLowerBytes x(a), y(b);
    while (!x.Done() && !y.Done()) {
        const uint8_t p = x.Next(), q = y.Next();
        if (p != q) return p < q ? -1 : 1;
    }
    return x.Done() == y.Done() ? 0 : x.Done() ? -1 : 1;
}

bool AnsiSameText(std::string_view a, std::string_view b) { return a.size() == b.size() && AnsiCompareText(a, b) == 0; }

uint8_t AnsiLowerCaseByte(std::string_view s, size_t Index) {
    TLowerBytes lower(s);
    for (size_t i = 0; i < Index && !lower.Done(); ++i) lower.Next();
    return lower.Done() ? 0 : lower.Next();
}

size_t AnsiLowerCaseHash(std::string_view s) {
    // FNV-1a over the lowered bytes.
    uint64_t h = 14695981039346656037ull;
    for (TLowerBytes lower(s); !lower.Done();) h = (h ^ lower.Next()) * 1099511628211ull;
    return static_cast<size_t>(h);
}

// ---- Save data ----

namespace {

// The title as a folder name: characters a Windows name may not hold become "_" (the bytes
// of double-byte characters are left alone), and "." or ".." cannot name another folder.
std::string TitleAsFolderName(const std::string& Title) {
    std::string name = Title;
    for (size_t i = 0; i < name.size(); ++i) {
        if (IsLeadByte(name[i]) && i + 1 < name.size())
            ++i;
        else if (name[i] != '\0' && strchr("\\/:,;*?\"<>|", name[i]))
            name[i] = '_';
    }
    if (name == "." || name == "..") name.assign(name.size(), '_');
    return name;
}

// The folder part of a path, up to and including its last "\" or ":"; empty when it has none.
std::string FolderOf(const std::string& Path) {
    size_t end = 0;
    for (size_t i = 0; i < Path.size(); ++i) {
        if (IsLeadByte(Path[i]) && i + 1 < Path.size())
            ++i;
        else if (Path[i] == '\\' || Path[i] == ':')
            end = i + 1;
    }
    return Path.substr(0, end);
}

// Copies OldFile to NewFile unless NewFile exists already. The copy is made under another name
// and renamed into place, so a failed copy never passes for a carried-over save.
void CarryOverSave(const std::string& OldFile, const std::string& NewFile) {
    // A save that is a link leads to another title's: it is not carried over.
    if (!platform::fs::FileExists(OldFile) || platform::fs::IsLink(OldFile) || platform::fs::FileExists(NewFile)) return;
    std::string part = NewFile + ".$$$";
    bool copied = false;
    try {
        TFileStream source(OldFile, fmOpenRead | fmShareDenyWrite);
        TFileStream dest(part, fmCreate);
        copied = CopyStreamData(dest, source, 0) == source.Size();
    } catch (const EVelaError&) {
        // The old save stays where it was; the game starts without it.
    }
    if (!copied || !platform::fs::RenameFile(part, NewFile)) platform::fs::DeleteFile(part);
}

}  // namespace

bool IsReadOnlyTitleFolder(const std::string& Folder) {
    const std::optional<std::string> full = platform::fs::FullHostPath(Folder);
    return full && platform::IsDesktopSettingsFolder(*full);
}

std::string GetSaveFolder(const std::string& Title) {
    if (Title.empty()) return {};
    std::string data = platform::UserFolderPath(platform::UserFolder::LocalData);
    if (data.empty()) return {};
    std::string folder = AppendBackslash(platform::fs::ToProgramPath(data)) + TitleAsFolderName(Title) + "\\";
    return platform::ForceDirectories(folder) ? folder : std::string();
}

namespace {

// Whether the title's folder takes its files: a new file can be made there, and it is no folder
// the desktop takes settings or programs from.
bool TitleFolderTakesFiles(const std::string& Folder) {
    return !Folder.empty() && !IsReadOnlyTitleFolder(Folder) && platform::fs::FolderTakesFiles(Folder);
}

// "save.dat" in GameFolder when it takes files, else in Elsewhere (made by the caller; empty when
// it could not be), where an older save of GameFolder is carried over once.
std::string SaveFileIn(const std::string& GameFolder, const std::string& Elsewhere) {
    if (TitleFolderTakesFiles(GameFolder)) return GameFolder + "save.dat";
    if (Elsewhere.empty()) throw EVelaError("データファイルを作成することができません");
    std::string saveFile = Elsewhere + "save.dat";
    if (!GameFolder.empty()) CarryOverSave(GameFolder + "save.dat", saveFile);
    return saveFile;
}

// A folder of the user's data folder for the player, made when missing; empty when it cannot be.
std::string PlayerDataFolder(platform::UserFolder Kind, const std::string& Name) {
    const std::string data = platform::UserFolderPath(Kind);
    if (data.empty()) return {};
    const std::string folder = AppendBackslash(platform::fs::ToProgramPath(data)) + "velaplay\\" + Name;
    return platform::ForceDirectories(folder) ? folder : std::string();
}

// Eight hexadecimal digits of FNV-1a over Text.
std::string ShortHash(const std::string& Text) {
    uint32_t hash = 2166136261u;
    for (const char c : Text) hash = (hash ^ static_cast<uint8_t>(c)) * 16777619u;
    return Format("%.8x", static_cast<unsigned>(hash));
}

}  // namespace

// The host has no program-files folder: whether the game folder takes a file decides alone.
std::string GetSaveDataFile(const std::string& GamePath, const std::string& Title) {
    const std::string gameFolder = FolderOf(GamePath);
    return SaveFileIn(gameFolder, TitleFolderTakesFiles(gameFolder) ? std::string() : GetSaveFolder(Title));
}

std::string GetTitleSaveFile(const std::string& Folder) {
    const std::string folder = AppendBackslash(Folder);
    if (TitleFolderTakesFiles(folder)) return folder + "save.dat";
    // Named and hashed by its full path: the folder named another way (relative, with "." in it,
    // a separator at its end or none) keeps its saves in the same place.
    const std::optional<std::string> full = platform::fs::FullHostPath(folder);
    const std::string key = full ? platform::fs::ToProgramPath(*full) : folder;
    // The folder's own name, whichever separators the path was given with.
    std::string_view path(key);
    while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.remove_suffix(1);
    const std::string name(path.substr(AfterLastDelimiter(path, "\\/:")));
    return SaveFileIn(folder, PlayerDataFolder(platform::UserFolder::LocalData,
                                               TitleAsFolderName(name) + "-" + ShortHash(key) + "\\"));
}

std::string GetWrittenListFolder() { return PlayerDataFolder(platform::UserFolder::LocalData, "written\\"); }

std::string GetSettingsFile(const std::string& ProgramFolder, bool Installed) {
    if (!Installed && platform::fs::FolderTakesFiles(ProgramFolder)) return ProgramFolder + "game.ini";
    const std::string folder = PlayerDataFolder(platform::UserFolder::Config, "");
    return (folder.empty() ? ProgramFolder : folder) + "game.ini";
}

std::optional<std::string> ReadSettingsFile(const std::string& FileName, size_t Limit, std::string& Refusal) {
    if (!platform::fs::FileExists(FileName)) return std::string();
    const auto refused = [&](bool Unreadable) -> std::optional<std::string> {
        Refusal = Unreadable ? std::string("cannot be read") : Format("is longer than %zu bytes", Limit);
        return std::nullopt;
    };
    platform::fs::HostFile file;
    const int64_t size = file.Open(FileName, platform::fs::HostFile::Mode::Read) ? file.Size() : -1;
    if (size < 0) return refused(true);
    if (static_cast<uint64_t>(size) > Limit) return refused(false);
    std::string text;
    text.reserve(static_cast<size_t>(size));
    char buffer[4096];
    int64_t n = 0;
    while (text.size() <= Limit &&
           (n = file.Read(buffer, static_cast<int64_t>(std::min(sizeof buffer, Limit + 1 - text.size())))) > 0)
        text.append(buffer, static_cast<size_t>(n));
    if (n < 0) return refused(true);
    if (text.size() > Limit) return refused(false);
    return text;
}

// ---- Single instance ----

TInstanceMutex CreateInstanceMutex(const std::string& Name) { return platform::InstanceLock::Acquire(Name); }

void ReleaseInstanceMutex(TInstanceMutex& Handle) { Handle.reset(); }

// ---- Screen ----

int32_t GetVirtualScreenLeft() { return platform::GetDisplayMetrics().virtualScreen.left; }
int32_t GetVirtualScreenTop() { return platform::GetDisplayMetrics().virtualScreen.top; }

int32_t GetVirtualScreenWidth() {
    auto screen = platform::GetDisplayMetrics().virtualScreen;
    return screen.right - screen.left;
}

int32_t GetVirtualScreenHeight() {
    auto screen = platform::GetDisplayMetrics().virtualScreen;
    return screen.bottom - screen.top;
}

TRect GetWorkAreaRect() {
    auto metrics = platform::GetDisplayMetrics();
    const auto& v = metrics.virtualScreen;
    bool oneMonitor = metrics.primaryWidth == v.right - v.left && metrics.primaryHeight == v.bottom - v.top;
    const auto& area = oneMonitor ? metrics.workArea : v;
    return TRect{area.left, area.top, area.right, area.bottom};
}

// ---- Desktop and shell folders ----

bool SetWallPaper(const std::string& FileName, int32_t Mode) {
    auto host = platform::fs::ToHostPath(FileName);
    if (!host) return false;
    using platform::WallpaperStyle;
    auto style = Mode == 0 ? WallpaperStyle::Centered : Mode == 1 ? WallpaperStyle::Tiled : WallpaperStyle::Stretched;
    return platform::SetDesktopWallpaper(*host, style);
}

std::string GetSpecialFolder(int32_t CSIDL) {
    using platform::UserFolder;
    UserFolder folder;
    switch (CSIDL) {
        case CSIDL_DESKTOP:
        case CSIDL_DESKTOPDIRECTORY: folder = UserFolder::Desktop; break;
        case CSIDL_PERSONAL: folder = UserFolder::Documents; break;
        case CSIDL_TEMPLATES: folder = UserFolder::Templates; break;
        case CSIDL_LOCAL_APPDATA: folder = UserFolder::LocalData; break;
        default: return {};
    }
    std::string path = platform::UserFolderPath(folder);
    return path.empty() ? std::string() : platform::fs::ToProgramPath(path);
}

// ---- Fonts ----

void GetFontNames(TStringList& Strings, bool Sorted, bool /*IncludeVertical*/, bool FixedPitchOnly) {
    std::vector<std::string> names;
    for (const auto& family : platform::InstalledFontFaces())
        if (!FixedPitchOnly || family.fixedPitch) names.push_back(family.name);
    if (Sorted)
        std::stable_sort(names.begin(), names.end(),
                         [](const std::string& a, const std::string& b) { return AnsiCompareText(a, b) < 0; });
    Strings.Clear();
    for (const auto& name : names) Strings.Add(name);
}

void GetFontLogFont(const std::string& FaceName, TLogFont& LogFont, TTextMetric& TextMetric) {
    LogFont = TLogFont{};
    TextMetric = TTextMetric{};
    for (const auto& family : platform::InstalledFontFaces()) {
        if (family.name != FaceName) continue;
        LogFont = TLogFont{family.name, 0, family.weight, family.italic, SHIFTJIS_CHARSET,
                           family.fixedPitch ? FIXED_PITCH : VARIABLE_PITCH};
        TextMetric.tmWeight = family.weight;
        TextMetric.tmItalic = family.italic ? 0xFF : 0;
        TextMetric.tmPitchAndFamily = (family.fixedPitch ? 0 : TMPF_FIXED_PITCH) | TMPF_VECTOR | TMPF_TRUETYPE;
        TextMetric.tmCharSet = SHIFTJIS_CHARSET;
        return;
    }
}

int IndexOfStr(const TStringList& Strings, const std::string& S) {
    for (int i = 0; i < Strings.Count(); ++i)
        if (Strings.Strings(i) == S) return i;
    return -1;
}

// ---- Files ----

namespace {

// The characters of a Shift-JIS text.
std::vector<std::string_view> Characters(std::string_view S) {
    std::vector<std::string_view> chars;
    for (size_t p = 0; p < S.size(); p += CharSize(S, p)) chars.push_back(S.substr(p, CharSize(S, p)));
    return chars;
}

bool SameCharacter(std::string_view A, std::string_view B) {
    const auto fold = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c; };
    return A.size() == B.size() && (A.size() == 2 ? A == B : fold(A[0]) == fold(B[0]));
}

constexpr uint32_t kBasicAttributes = faReadOnly | faHidden | faSysFile | faVolumeID | faDirectory | faArchive;

uint32_t AttributesOf(const platform::FolderEntry& Entry) {
    return (Entry.directory ? faDirectory : 0) | (Entry.regularFile ? faArchive : 0) | (Entry.hidden ? faHidden : 0) |
           (Entry.readOnly ? faReadOnly : 0);
}

// The extension of a file name: from its last "." on, empty without one.
std::string NameExtension(const std::string& Name) {
    size_t dot = Name.rfind('.');
    return dot == std::string::npos ? std::string() : Name.substr(dot);
}

struct TEnumFilter {
    uint32_t AttrMask;
    bool IncludeNormal;
    const std::string& Ext;
    bool Recurse;
};

// Lists one folder into List; Ancestors holds the folders of the current descent.
void EnumFolder(const std::string& Folder, const TEnumFilter& Filter, bool FolderSlash, TStringList& List,
                std::vector<platform::FolderId>& Ancestors) {
    std::string base = AppendBackslash(Folder);
    auto entries = platform::ListFolder(base);
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return AnsiCompareText(a.name, b.name) < 0;
    });
    for (const auto& entry : entries) {
        std::string path = base + entry.name;
        if (entry.directory) {
            if (FolderSlash) path += '\\';
            if (Filter.AttrMask & faDirectory) List.Add(path);
            if (!Filter.Recurse || std::find(Ancestors.begin(), Ancestors.end(), entry.id) != Ancestors.end())
                continue;
            Ancestors.push_back(entry.id);
            EnumFolder(path, Filter, true, List, Ancestors);
            Ancestors.pop_back();
            continue;
        }
        uint32_t attributes = AttributesOf(entry);
        bool wanted = (attributes & Filter.AttrMask) != 0 ||
                      (Filter.IncludeNormal && (attributes & kBasicAttributes) == 0);
        if (wanted && (Filter.Ext.empty() || AnsiSameText(NameExtension(entry.name), Filter.Ext))) List.Add(path);
    }
}

}  // namespace

bool MatchesMask(std::string_view Name, std::string_view Mask) {
    const std::vector<std::string_view> name = Characters(Name), mask = Characters(Mask);
    size_t n = 0, m = 0, starMask = std::string::npos, starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == "*") {
            starMask = m++;
            starName = n;
        } else if (m < mask.size() && (mask[m] == "?" || SameCharacter(mask[m], name[n]))) {
            ++m, ++n;
        } else if (starMask != std::string::npos) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == "*") ++m;
    return m == mask.size();
}

void EnumFiles(const std::string& Folder, uint32_t AttrMask, bool IncludeNormal, const std::string& Ext,
               bool /*ClearAttr*/, bool FolderSlash, bool Recurse, TStringList& List, bool ClearList) {
    if (ClearList) List.Clear();
    std::vector<platform::FolderId> ancestors;
    if (auto id = platform::GetFolderId(AppendBackslash(Folder))) ancestors.push_back(*id);
    EnumFolder(Folder, TEnumFilter{AttrMask, IncludeNormal, Ext, Recurse}, FolderSlash, List, ancestors);
}

// ---- Text and values ----

std::string DecodeEscapes(const std::string& S) {
    std::string out;
    out.reserve(S.size());
    for (size_t i = 0; i < S.size(); ++i) {
        char c = S[i];
        if (IsLeadByte(c) && i + 1 < S.size()) {
            out += c;
            out += S[++i];
            continue;
        }
        char next = i + 1 < S.size() ? S[i + 1] : '\0';
        if (c == '\\' && (next == '\\' || next == '"')) {
            out += next;
            ++i;
        } else if (c == '\\' && next == 'n') {
            out += "\r\n";
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

int32_t FontStylesToInt(const TFontStyles& Styles) { return static_cast<int32_t>(Styles.to_ulong()); }

TFontStyles IntToFontStyles(int32_t Value) { return TFontStyles(static_cast<unsigned long long>(Value & 0xF)); }

uint32_t ScaleColor(uint32_t Color, int32_t Factor) {
    uint32_t result = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        int32_t channel = static_cast<int32_t>((Color >> shift) & 0xFF);
        result |= static_cast<uint32_t>(channel * Factor / 256 & 0xFF) << shift;
    }
    return result;
}

bool PointInRect(const TRect& R, int32_t X, int32_t Y) {
    return R.Left <= X && X < R.Right && R.Top <= Y && Y < R.Bottom;
}

void IntersectRects(const TRect& A, const TRect& B, TRect& R) { R = IntersectRects(A, B); }
