#include "platform/dialogs.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>

extern char** environ;

namespace platform {

namespace {

// Runs a program found on PATH with the arguments and waits for it: its exit code, or nothing
// when it could not be started or did not exit normally.
std::optional<int> RunAndWait(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return std::nullopt;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return std::nullopt;
    if (!WIFEXITED(status)) return std::nullopt;
    return WEXITSTATUS(status);
}

const char* KindOf(size_t buttons, MessageIcon icon) {
    if (buttons > 1) return "--question";
    switch (icon) {
    case MessageIcon::Warning: return "--warning";
    case MessageIcon::Error: return "--error";
    default: return "--info";
    }
}

}  // namespace

std::optional<int> DesktopMessageBox(const std::string& title, const std::string& text,
                                     const std::vector<std::string>& labels, MessageIcon icon) {
    if (labels.empty() || labels.size() > 2) return std::nullopt;
    // Without a display server zenity cannot open and exits as if the second button was chosen.
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) return std::nullopt;
    std::vector<std::string> args = {"zenity", KindOf(labels.size(), icon), "--no-markup", "--title=" + title,
                                     "--text=" + text, "--ok-label=" + labels[0]};
    if (labels.size() == 2) args.push_back("--cancel-label=" + labels[1]);
    const std::optional<int> code = RunAndWait(args);
    // 0 is the first button; 1 the second or a closed box; anything else (127: the program
    // could not be run by the shell's rules) means zenity did not show a box.
    if (!code || *code > 1) return std::nullopt;
    return *code == 0 ? 0 : static_cast<int>(labels.size()) - 1;
}

}  // namespace platform
