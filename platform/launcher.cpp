// The launcher: a fork of the player made before it confines itself, talking to it over a stream
// socket in frames (a 32-bit length, then the bytes). A request is a launch ('L': flags, the
// arguments, the environment changes) or a wait ('W': the program's id, whether to block); a
// launch is answered with the program's id, its output's pipe passed along with it, a wait with
// whether it ended and its status.
#include "platform/launcher.h"

#include "platform/system.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <utility>

extern char** environ;

namespace platform {

namespace {

bool OneOf(std::string_view Text, std::initializer_list<std::string_view> Choices) {
    return std::find(Choices.begin(), Choices.end(), Text) != Choices.end();
}

bool IsFolder(const std::string& Path) {
    struct stat st;
    return Path.starts_with('/') && stat(Path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CommandAllowed(const std::vector<std::string>& Args) {
    if (Args.size() < 2) return false;
    if (Args[0] == "zenity") return OneOf(Args[1], {"--info", "--warning", "--error", "--question", "--file-selection"});
    if (Args[0] == "xdg-open") return Args.size() == 2 && (IsWebAddress(Args[1]) || IsFolder(Args[1]));
    if (Args[0] != "gsettings" || Args.size() != 5 || Args[1] != "set" || Args[2] != "org.gnome.desktop.background")
        return false;
    if (Args[3] == "picture-options") return OneOf(Args[4], {"centered", "wallpaper", "stretched"});
    return OneOf(Args[3], {"picture-uri", "picture-uri-dark"}) && Args[4].starts_with("file://");
}

}  // namespace

bool LaunchAllowed(const LaunchRequest& Request) {
    return CommandAllowed(Request.args) &&
           std::all_of(Request.environment.begin(), Request.environment.end(),
                       [](const std::string& Variable) { return Variable.starts_with("LC_ALL="); });
}

namespace {

// ---- Starting and waiting in this process ----

// The process's environment with the changes ("NAME=VALUE") over it.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& Changes) {
    std::vector<std::string> variables;
    const auto name = [](std::string_view Variable) { return Variable.substr(0, Variable.find('=') + 1); };
    for (char** variable = environ; *variable; ++variable) {
        const std::string_view current = *variable;
        if (std::none_of(Changes.begin(), Changes.end(), [&](const std::string& C) { return name(C) == name(current); }))
            variables.emplace_back(current);
    }
    variables.insert(variables.end(), Changes.begin(), Changes.end());
    return variables;
}

std::vector<char*> Pointers(const std::vector<std::string>& Strings) {
    std::vector<char*> pointers;
    for (const std::string& s : Strings) pointers.push_back(const_cast<char*>(s.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

Launched LaunchHere(const LaunchRequest& Request) {
    if (!LaunchAllowed(Request)) return {};
    int pipeFds[2] = {-1, -1};
    if (Request.output && pipe2(pipeFds, O_CLOEXEC) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (Request.output) posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    // The signals a program of the user's takes at their defaults, whatever the player or the
    // launcher does with them; in a group of its own a box ends whole, helpers included.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults, none;
    sigemptyset(&defaults);
    for (const int number : {SIGTERM, SIGINT, SIGHUP, SIGPIPE}) sigaddset(&defaults, number);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    if (Request.ownGroup) flags |= POSIX_SPAWN_SETPGROUP;
    posix_spawnattr_setflags(&attributes, flags);
    posix_spawnattr_setpgroup(&attributes, 0);
    const std::vector<std::string> environment = EnvironmentWith(Request.environment);
    std::vector<char*> argv = Pointers(Request.args), envp = Pointers(environment);
    pid_t pid = -1;
    const bool spawned = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), envp.data()) == 0;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (Request.output) close(pipeFds[1]);
    if (spawned) return {pid, pipeFds[0]};
    if (Request.output) close(pipeFds[0]);
    return {};
}

// Set in the launcher by the signal that ends it (the player's death).
volatile sig_atomic_t launcherEnding = 0;

std::optional<int> WaitHere(int Pid, bool Block) {
    int status = 0;
    for (;;) {
        const pid_t reaped = waitpid(Pid, &status, Block ? 0 : WNOHANG);
        if (reaped == Pid) return status;
        if (reaped == 0) return std::nullopt;
        if (errno != EINTR || launcherEnding) return -1;
    }
}

// ---- Frames ----

struct Writer {
    std::string bytes;
    Writer& Number(uint32_t Value) {
        bytes.append(reinterpret_cast<const char*>(&Value), sizeof Value);
        return *this;
    }
    Writer& Texts(const std::vector<std::string>& Values) {
        Number(uint32_t(Values.size()));
        for (const std::string& value : Values) Number(uint32_t(value.size())).bytes += value;
        return *this;
    }
};

// Reads what a Writer wrote; a frame too short for what is read leaves Ok false.
struct Reader {
    std::string_view bytes;
    bool Ok = true;
    uint32_t Number() {
        uint32_t value = 0;
        if (bytes.size() < sizeof value) {
            Ok = false;
            return 0;
        }
        std::memcpy(&value, bytes.data(), sizeof value);
        bytes.remove_prefix(sizeof value);
        return value;
    }
    std::vector<std::string> Texts() {
        std::vector<std::string> values;
        for (uint32_t count = Number(); Ok && count > 0; --count) {
            const uint32_t size = Number();
            if (!Ok || size > bytes.size()) {
                Ok = false;
                break;
            }
            values.emplace_back(bytes.substr(0, size));
            bytes.remove_prefix(size);
        }
        return values;
    }
};

// A request larger than this is no request of the player's.
constexpr uint32_t MaxFrame = 16 << 20;

// Sends one frame, Passed (when not -1) along with its first byte.
bool SendFrame(int Socket, const std::string& Body, int Passed = -1) {
    const uint32_t size = uint32_t(Body.size());
    iovec parts[2] = {{const_cast<uint32_t*>(&size), sizeof size}, {const_cast<char*>(Body.data()), Body.size()}};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = 2;
    if (Passed >= 0) {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(header), &Passed, sizeof(int));
    }
    size_t total = sizeof size + Body.size(), sent = 0;
    while (sent < total) {
        const ssize_t n = sendmsg(Socket, &message, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR && !launcherEnding) continue;
            return false;
        }
        sent += size_t(n);
        message.msg_control = nullptr;
        message.msg_controllen = 0;
        // What is left of the parts.
        for (size_t skip = size_t(n); message.msg_iovlen > 0 && skip > 0;) {
            const size_t taken = std::min(skip, message.msg_iov->iov_len);
            message.msg_iov->iov_base = static_cast<char*>(message.msg_iov->iov_base) + taken;
            message.msg_iov->iov_len -= taken;
            skip -= taken;
            if (message.msg_iov->iov_len == 0) {
                ++message.msg_iov;
                --message.msg_iovlen;
            }
        }
    }
    return true;
}

// Reads Size bytes into Into; a descriptor passed along lands in Passed (when given).
bool ReceiveBytes(int Socket, char* Into, size_t Size, int* Passed) {
    for (size_t got = 0; got < Size;) {
        iovec part{Into + got, Size - got};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t n = recvmsg(Socket, &message, MSG_CMSG_CLOEXEC);
        if (n <= 0) {
            if (n < 0 && errno == EINTR && !launcherEnding) continue;
            return false;
        }
        for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
            if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS) continue;
            int fd;
            std::memcpy(&fd, CMSG_DATA(header), sizeof fd);
            if (Passed && *Passed < 0)
                *Passed = fd;
            else
                close(fd);
        }
        got += size_t(n);
    }
    return true;
}

std::optional<std::string> ReceiveFrame(int Socket, int* Passed = nullptr) {
    uint32_t size = 0;
    if (!ReceiveBytes(Socket, reinterpret_cast<char*>(&size), sizeof size, Passed) || size > MaxFrame)
        return std::nullopt;
    std::string body(size, '\0');
    if (!ReceiveBytes(Socket, body.data(), size, Passed)) return std::nullopt;
    return body;
}

// ---- The launcher's side ----

constexpr uint32_t Output = 1, OwnGroup = 2;
constexpr uint32_t LaunchKind = 'L', WaitKind = 'W', EndKind = 'E';
// A wait's answers.
constexpr uint32_t StillRunning = 0, Ended = 1, NoProgram = 2;

void EndLauncher(int) { launcherEnding = 1; }

// Answers the player's requests until its end, then ends the boxes still open, removes Folder
// (and LockFile when the player asked for the end) and exits.
[[noreturn]] void RunLauncher(int Socket, const std::string& Folder, const std::string& LockFile) {
    std::vector<int> boxes;  // programs of their own group not yet reaped
    bool asked = false;      // the player asked for the end, and waits for it
    while (!launcherEnding && !asked) {
        const std::optional<std::string> frame = ReceiveFrame(Socket);
        if (!frame) break;
        Reader in{*frame};
        const uint32_t kind = in.Number();
        Writer answer;
        if (kind == LaunchKind) {
            const uint32_t flags = in.Number();
            LaunchRequest request{in.Texts(), in.Texts(), (flags & Output) != 0, (flags & OwnGroup) != 0};
            if (!in.Ok) break;
            const Launched launched = LaunchHere(request);
            if (launched.pid > 0 && request.ownGroup) boxes.push_back(launched.pid);
            const bool sent = SendFrame(Socket, answer.Number(uint32_t(launched.pid)).bytes, launched.output);
            if (launched.output >= 0) close(launched.output);
            if (!sent) break;
        } else if (kind == WaitKind) {
            const int pid = int(in.Number());
            const bool block = in.Number() != 0;
            if (!in.Ok) break;
            const std::optional<int> status = WaitHere(pid, block);
            if (status) std::erase(boxes, pid);
            answer.Number(!status ? StillRunning : *status == -1 ? NoProgram : Ended).Number(uint32_t(status.value_or(0)));
            if (!SendFrame(Socket, answer.bytes)) break;
        } else {
            asked = kind == EndKind;
            if (!asked) break;
        }
    }
    for (const int box : boxes)
        if (box > 1) kill(-box, SIGTERM);
    std::error_code ec;
    if (!Folder.empty()) std::filesystem::remove_all(Folder, ec);
    if (asked && !LockFile.empty()) unlink(LockFile.c_str());
    if (asked) SendFrame(Socket, std::string());
    _exit(0);
}

// ---- The player's side ----

std::mutex launcherMutex;
int launcherSocket = -1;  // the player's end; -1 without a launcher
pid_t launcherPid = -1;

// One request and its answer, the launcher's socket held meanwhile; nothing when the launcher
// is gone.
std::optional<std::string> Ask(const std::string& Request, int* Passed = nullptr) {
    if (!SendFrame(launcherSocket, Request)) return std::nullopt;
    return ReceiveFrame(launcherSocket, Passed);
}

}  // namespace

Launched Launch(const LaunchRequest& Request) {
    std::lock_guard lock(launcherMutex);
    if (launcherSocket < 0) return LaunchHere(Request);
    Writer request;
    request.Number(LaunchKind).Number((Request.output ? Output : 0) | (Request.ownGroup ? OwnGroup : 0));
    request.Texts(Request.args).Texts(Request.environment);
    Launched launched;
    const std::string answer = Ask(request.bytes, &launched.output).value_or(std::string());
    Reader in{answer};
    launched.pid = int(in.Number());
    if (in.Ok && launched.pid > 0 && (launched.output >= 0 || !Request.output)) return launched;
    if (launched.output >= 0) close(launched.output);
    return {};
}

std::optional<int> WaitLaunched(int Pid, bool Block) {
    std::lock_guard lock(launcherMutex);
    if (launcherSocket < 0) return WaitHere(Pid, Block);
    const std::string answer =
        Ask(Writer().Number(WaitKind).Number(uint32_t(Pid)).Number(Block).bytes).value_or(std::string());
    Reader in{answer};
    const uint32_t state = in.Number(), status = in.Number();
    if (!in.Ok || state == NoProgram) return -1;
    if (state == StillRunning) return std::nullopt;
    return int(status);
}

bool StartLauncher(const std::string& Folder, const std::string& LockFile) {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return false;
    const pid_t player = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        const int saved = errno;
        close(ends[0]);
        close(ends[1]);
        errno = saved;
        return false;
    }
    if (pid == 0) {
        close(ends[0]);
        // The player's death ends it; a player dead already is not waited for. A terminal's
        // Ctrl+C or hang-up is the player's to act on: the launcher answers it still.
        struct sigaction ending {};
        ending.sa_handler = EndLauncher;
        sigemptyset(&ending.sa_mask);
        sigaction(SIGTERM, &ending, nullptr);
        for (const int number : {SIGINT, SIGHUP, SIGPIPE}) signal(number, SIG_IGN);
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != player) _exit(0);
        RunLauncher(ends[1], Folder, LockFile);
    }
    close(ends[1]);
    std::lock_guard lock(launcherMutex);
    launcherSocket = ends[0];
    launcherPid = pid;
    return true;
}

void StopLauncher() {
    std::lock_guard lock(launcherMutex);
    if (launcherSocket < 0) return;
    Ask(Writer().Number(EndKind).bytes);
    close(std::exchange(launcherSocket, -1));
    while (waitpid(std::exchange(launcherPid, -1), nullptr, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace platform
