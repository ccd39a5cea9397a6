#pragma once
// Small string utilities the whole engine shares: formatting, integers as text, and the
// Japanese-locale case rules for Shift-JIS (code page 932) text.
#include <cstdint>
#include <string>
#include <string_view>

// printf-style formatting of a fixed format; never pass script text as the format.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string IntToStr(int64_t value);

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
// Byte-wise comparison (-1, 0, 1).
int AnsiCompareStr(std::string_view a, std::string_view b);
