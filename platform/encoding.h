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

// Text for the terminal: code page 932 made UTF-8 as Cp932ToUtf8 does, with the controls shown
// as TerminalEscaped shows them. Every line the player writes to standard error or standard
// output that can hold a title's text (its boxes, names, messages) goes through here.
std::string TerminalText(std::string_view text);
// UTF-8 text that no control character in it can steer the terminal, nor start a line a reader
// would take for one of the player's own. A line break ("\r\n" or "\n") starts a continuation
// line indented by two spaces; every other C0 control (tab and a lone carriage return too) and
// DEL is shown as "\x" and two lower-case hexadecimal digits ("\x1b"), and a C1 control
// (U+0080 to U+009F) as "\u" and four ("\u009b"), the character it is rather than its UTF-8
// bytes. Everything else stays as it is, "\" too.
std::string TerminalEscaped(std::string_view utf8);

// Characters that code page 932 cannot hold, and malformed UTF-8, become "?".
std::string Utf8ToCp932(std::string_view text);

// EUC-JP to code page 932 through the host's own tables; a character the host cannot carry
// across becomes "?".
std::string EucJpToCp932(std::string_view text);

}  // namespace platform
