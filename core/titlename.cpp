#include "core/titlename.h"

#include "core/sysutils.h"

#include <cstdint>

namespace {

constexpr size_t kLongestName = 260;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The bytes of the character at Pos: two for a lead byte with its trail, else one.
size_t CharSize(std::string_view Name, size_t Pos) {
    return IsLeadByte(Name[Pos]) && Pos + 1 < Name.size() && static_cast<uint8_t>(Name[Pos + 1]) >= 0x40 ? 2 : 1;
}

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Whether a component may stand in a title's name.
bool IsPlainPart(std::string_view Part) {
    if (Part.front() == '.') return false;
    for (size_t i = 0; i < Part.size(); i += CharSize(Part, i)) {
        const auto c = static_cast<uint8_t>(Part[i]);
        if (CharSize(Part, i) == 1 && (c < 0x20 || c == 0x7F || c == ':')) return false;
    }
    return true;
}

}  // namespace

std::optional<TTitleName> ReadTitleName(std::string_view Name) {
    if (Name.size() > kLongestName) return std::nullopt;
    TTitleName read;
    size_t pos = 0;
    if (Name.size() >= 2 && IsDriveLetter(Name[0]) && Name[1] == ':') {
        read.Drive = Name.substr(0, 2);
        pos = 2;
    }
    read.Rooted = pos < Name.size() && IsSeparator(Name[pos]);
    while (pos < Name.size()) {
        size_t end = pos;
        while (end < Name.size() && !IsSeparator(Name[end])) end += CharSize(Name, end);
        if (end > pos) {
            const std::string_view part = Name.substr(pos, end - pos);
            if (!IsPlainPart(part)) return std::nullopt;
            read.Parts.emplace_back(part);
        }
        pos = end + 1;
    }
    return read;
}

bool IsPlainRelativePath(std::string_view Name) {
    const std::optional<TTitleName> read = ReadTitleName(Name);
    return read && read->Relative();
}
