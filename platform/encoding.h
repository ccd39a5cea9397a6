#pragma once
// Text inside the player is Shift-JIS (code page 932) bytes; the host speaks UTF-8.
// These two conversions are the only place where one becomes the other.
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Undecodable bytes become U+FFFD; nothing is dropped.
std::string Cp932ToUtf8(std::string_view text);
// Each of the texts so, the converter opened once for them all.
std::vector<std::string> Cp932ToUtf8(const std::vector<std::string>& texts);

// Characters that code page 932 cannot hold, and malformed UTF-8, become "?".
std::string Utf8ToCp932(std::string_view text);

// EUC-JP to code page 932 through the host's own tables; a character the host cannot carry
// across becomes "?".
std::string EucJpToCp932(std::string_view text);

}  // namespace platform
