#include "core/sysutils.h"

#include <cstdarg>
#include <cstdio>

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

int AnsiCompareStr(std::string_view a, std::string_view b) {
    int c = a.compare(b);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

int AnsiCompareText(std::string_view a, std::string_view b) { return AnsiCompareStr(AnsiLowerCase(a), AnsiLowerCase(b)); }

bool AnsiSameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && AnsiLowerCase(a) == AnsiLowerCase(b);
}
