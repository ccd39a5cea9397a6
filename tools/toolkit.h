#pragma once
// What the developer tools share: their own error class and usage signal, text for the terminal,
// command-line paths turned into program paths, and a main that reports what went wrong.
#include "core/header.h"
#include "core/sysutils.h"
#include "platform/encoding.h"
#include "platform/fs.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace toolkit {

// A failure found by the tool itself; its message is UTF-8 (the engine's errors carry Shift-JIS).
class EToolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Arguments that match no command: the usage text is shown.
struct EUsage {};

// Text for the terminal. Control characters show as \xNN, so that a name from a file cannot steer
// the terminal; line breaks stay when KeepLineBreaks.
inline std::string Escaped(std::string_view Utf8, bool KeepLineBreaks = false) {
    std::string shown;
    for (const char c : Utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 || byte == 0x7F) && !(KeepLineBreaks && c == '\n'))
            shown += Format("\\x%02X", byte);
        else
            shown += c;
    }
    return shown;
}

// A Shift-JIS text for the terminal.
inline std::string ForTerminal(std::string_view Text) { return Escaped(platform::Cp932ToUtf8(Text)); }

// A command-line path made absolute and normalised.
inline std::filesystem::path HostPathOf(const std::string& Arg) {
    return std::filesystem::absolute(Arg).lexically_normal();
}

// The Shift-JIS form of a host name or path. One that has no exact Shift-JIS form, or that holds
// a "\" (a separator inside the program), cannot be named by the player and is refused.
inline std::string ExactCp932(const std::string& Utf8) {
    std::string text = platform::Utf8ToCp932(Utf8);
    if (Utf8.find('\\') != std::string::npos || platform::Cp932ToUtf8(text) != Utf8)
        throw EToolError(Utf8 + ": the path has no Shift-JIS (CP932) form");
    return text;
}

// The program path of an absolute host path.
inline std::string ProgramPathOf(const std::filesystem::path& Host) {
    ExactCp932(Host.native());
    return platform::fs::ToProgramPath(Host.native());
}

// The tool's main: runs Body on the arguments after the program name. Exit status 0 when it
// returns, 2 with the usage text for arguments it does not take, 1 with "Name: message" on
// standard error for any failure.
template <class F>
int RunTool(const char* Name, const char* Usage, int argc, char** argv, F Body) {
    auto report = [Name](std::string_view Message) {
        std::fprintf(stderr, "%s: %s\n", Name, Escaped(Message, true).c_str());
    };
    try {
        Body(std::vector<std::string>(argv + 1, argv + argc));
        if (std::fflush(stdout) != 0) throw EToolError("cannot write the standard output");
        return 0;
    } catch (const EUsage&) {
        std::fputs(Usage, stderr);
        return 2;
    } catch (const EVelaError& e) {
        report(platform::Cp932ToUtf8(e.what()));
    } catch (const std::exception& e) {  // the tool's own failures and the host's
        report(e.what());
    }
    return 1;
}

}  // namespace toolkit
