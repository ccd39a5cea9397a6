#include "platform/dialogs.h"

#include "platform/endsignals.h"
#include "platform/launcher.h"

#include <signal.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace platform {

namespace {

// Whether the locale the environment names (LC_ALL, else LC_CTYPE, else LANG, the first set and
// not empty) has the UTF-8 character set.
bool Utf8Locale() {
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(name);
        if (!value || !*value) continue;
        std::string locale = value;
        for (char& c : locale) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return locale.find("utf-8") != std::string::npos || locale.find("utf8") != std::string::npos;
    }
    return false;
}

// The environment changes a dialog program starts with: the locale set to C.UTF-8 where the
// user's has another character set or none (zenity shows no text it cannot convert).
std::vector<std::string> DialogEnvironment() {
    if (Utf8Locale()) return {};
    return {"LC_ALL=C.UTF-8"};
}

struct RunResult {
    int code = 0;
    std::string output;  // standard output, whole
};

// zenity's exit codes: 0 confirmed, 1 cancelled (or an extra button), 5 timed out; anything
// else (127: not runnable) means it showed nothing.
constexpr int kConfirmed = 0, kCancelled = 1, kTimedOut = 5;

// Runs a program found on PATH with the arguments, reads its standard output and waits for it:
// its exit code and output, or nothing when it could not be started or did not exit normally.
// WhileOpen, when given, runs every few milliseconds until the program has closed its output.
// The program is a box the user answers: a SIGTERM or SIGINT that comes meanwhile ends it (with
// the process group it leads) and it counts as closed (cancelled); once one has come, none starts.
std::optional<RunResult> RunAndWait(const std::vector<std::string>& args, const std::function<void()>& whileOpen) {
    if (EndSignalCame()) return RunResult{kCancelled, {}};
    // A group of its own: the box ends whole, helpers included, and a terminal's Ctrl+C reaches
    // only the player, which ends the box itself.
    const Launched box = Launch({args, DialogEnvironment(), true, true});
    if (box.pid < 0) return std::nullopt;
    RunResult result;
    bool signalled = false;
    char buffer[4096];
    for (;;) {
        pollfd ready{box.output, POLLIN, 0};
        const int polled = poll(&ready, 1, 30);
        if (EndSignalCame()) {
            kill(-box.pid, SIGTERM);
            signalled = true;
            break;
        }
        if (polled <= 0) {
            if (polled == 0 && whileOpen) whileOpen();
            if (polled == 0 || errno == EINTR) continue;
            break;
        }
        const ssize_t n = read(box.output, buffer, sizeof buffer);
        if (n == 0) break;
        if (n > 0) result.output.append(buffer, static_cast<size_t>(n));
        else if (errno != EINTR) break;
    }
    close(box.output);
    const std::optional<int> status = WaitLaunched(box.pid, true);
    if (signalled) return RunResult{kCancelled, {}};
    if (!status || *status < 0 || !WIFEXITED(*status)) return std::nullopt;
    result.code = WEXITSTATUS(*status);
    return result;
}

// Without a display server zenity cannot open and exits as if cancelled.
bool DisplayServerNamed() { return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY"); }

FileDialogFallback fileDialogFallback = nullptr;
MessageBoxFallback messageBoxFallback = nullptr;

std::string FirstLine(const std::string& output) { return output.substr(0, output.find('\n')); }

const char* KindOf(size_t buttons, MessageIcon icon) {
    if (buttons > 1) return "--question";
    switch (icon) {
    case MessageIcon::Warning: return "--warning";
    case MessageIcon::Error: return "--error";
    default: return "--info";
    }
}

// zenity's filter form of "description|masks" pairs: "description | mask mask" (the masks of a
// pair are separated by ";"); a description without masks is left out.
std::vector<std::string> FilterArguments(std::string_view filter) {
    std::vector<std::string> parts;
    for (size_t from = 0;;) {
        const size_t bar = filter.find('|', from);
        parts.emplace_back(filter.substr(from, bar == std::string_view::npos ? bar : bar - from));
        if (bar == std::string_view::npos) break;
        from = bar + 1;
    }
    std::vector<std::string> args;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        std::string masks = parts[i + 1];
        for (char& c : masks)
            if (c == ';') c = ' ';
        args.push_back("--file-filter=" + parts[i] + " | " + masks);
    }
    return args;
}

}  // namespace

std::string DropAccelerators(std::string_view caption) {
    std::string out;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && ++i == caption.size()) break;
        out += caption[i];
    }
    return out;
}

std::optional<int> DesktopMessageBox(const std::string& title, const std::string& text,
                                     const std::vector<std::string>& labels, size_t cancel, MessageIcon icon,
                                     const std::function<void()>& whileOpen) {
    if (labels.empty() || cancel >= labels.size() || !DisplayServerNamed()) return std::nullopt;
    std::vector<std::string> args = {"zenity", KindOf(labels.size(), icon), "--no-markup", "--title=" + title,
                                     "--text=" + text, "--ok-label=" + labels[0]};
    if (labels.size() > 1) args.push_back("--cancel-label=" + labels[cancel]);
    for (size_t i = 1; i < labels.size(); ++i)
        if (i != cancel) args.push_back("--extra-button=" + labels[i]);
    const std::optional<RunResult> run = RunAndWait(args, whileOpen);
    if (!run) return std::nullopt;
    if (run->code == kConfirmed) return 0;
    if (run->code != kCancelled && run->code != kTimedOut) return std::nullopt;
    // An extra button prints its label; the cancel button, a closed box or a timeout print nothing.
    const std::string printed = FirstLine(run->output);
    for (size_t i = 1; i < labels.size(); ++i)
        if (i != cancel && labels[i] == printed) return static_cast<int>(i);
    return static_cast<int>(cancel);
}

DesktopFileAnswer DesktopFileDialog(const FileDialogRequest& request) {
    if (!DisplayServerNamed()) return {};
    std::vector<std::string> args = {"zenity", "--file-selection"};
    if (!request.title.empty()) args.push_back("--title=" + request.title);
    if (request.kind == FileDialogKind::Save) args.insert(args.end(), {"--save", "--confirm-overwrite"});
    if (request.kind == FileDialogKind::Folder) args.push_back("--directory");
    if (!request.folder.empty()) args.push_back("--filename=" + request.folder + "/");
    if (request.kind != FileDialogKind::Folder)
        for (std::string& filter : FilterArguments(request.filter)) args.push_back(std::move(filter));
    const std::optional<RunResult> run = RunAndWait(args, nullptr);
    if (!run || (run->code != kConfirmed && run->code != kCancelled && run->code != kTimedOut)) return {};
    const std::string path = FirstLine(run->output);
    if (run->code != kConfirmed || path.empty()) return {DialogOutcome::Cancelled, {}};
    return {DialogOutcome::Chosen, path};
}

void SetFileDialogFallback(FileDialogFallback fallback) { fileDialogFallback = fallback; }

FileDialogFallback GetFileDialogFallback() { return fileDialogFallback; }

void SetMessageBoxFallback(MessageBoxFallback fallback) { messageBoxFallback = fallback; }

MessageBoxFallback GetMessageBoxFallback() { return messageBoxFallback; }

}  // namespace platform
