#pragma once
// A program of the build as a child process, for the tests that run the built player.
#include "tests/common/fixture.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

// Where a player shows its window: on the headless display, in a window of SDL's offscreen
// driver, or on the display server the environment names (DISPLAY), SDL's sound device silent.
enum class ChildWindow { Headless, Offscreen, Desktop };

// The player (or another program of the build) as a child, its standard error in a file, its
// standard output in one or dropped; stopped when the test ends first.
// The built player's folder, ending in "/".
inline const std::string PlayerFolder = VELA_PLAYER_FOLDER "/";

class Child {
public:
    Child(const std::string& Program, const std::vector<std::string>& Args, const std::string& ErrorFile,
          const std::string& OutputFile = "/dev/null", ChildWindow Window = ChildWindow::Headless) {
        std::vector<std::string> argv{Program};
        argv.insert(argv.end(), Args.begin(), Args.end());
        std::vector<char*> pointers;
        for (std::string& a : argv) pointers.push_back(a.data());
        pointers.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, OutputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, ErrorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const ScopedEnvironment headless("VELA_HEADLESS", Window == ChildWindow::Headless ? "1" : nullptr);
        const std::unique_ptr<RealWindowEnvironment> offscreen =
            Window == ChildWindow::Offscreen ? std::make_unique<RealWindowEnvironment>() : nullptr;
        const std::unique_ptr<ScopedEnvironment> silent =
            Window == ChildWindow::Desktop ? std::make_unique<ScopedEnvironment>("SDL_AUDIODRIVER", "dummy") : nullptr;
        if (posix_spawn(&pid_, Program.c_str(), &actions, nullptr, pointers.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Child() {
        if (Running()) Stop();
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    bool Running() {
        if (!Started() || ended_) return false;
        if (waitpid(pid_, &status_, WNOHANG) == pid_) ended_ = true;
        return !ended_;
    }
    // Waits up to Ms for the end; whether it ended.
    bool WaitEnd(int Ms) {
        for (int waited = 0; Running() && waited < Ms; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return !Running();
    }
    bool ExitedWith(int Code) const { return ended_ && WIFEXITED(status_) && WEXITSTATUS(status_) == Code; }
    // Sends Number once the child catches it (SIGKILL at once): a player still starting on a busy
    // machine would die of a signal it does not catch yet, not answer it.
    void Signal(int Number) {
        for (int waited = 0; Number != SIGKILL && Running() && !Catches(Number) && waited < 30000; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (Running()) kill(pid_, Number);
    }
    // Whether the child has a handler of its own for the signal Number (its caught-signals mask).
    bool Catches(int Number) const {
        std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.starts_with("SigCgt:")) return std::stoull(line.substr(7), nullptr, 16) >> (Number - 1) & 1;
        return false;
    }
    // Ends a child the test is done with: SIGTERM at once (a peer such as Weston takes it through a
    // signal descriptor, no handler), and SIGKILL when that has not ended it within 10 s.
    void Stop() {
        if (!Running()) return;
        kill(pid_, SIGTERM);
        if (!WaitEnd(10000)) {
            kill(pid_, SIGKILL);
            WaitEnd(10000);
        }
    }
    // Whether it holds a file lock: the player's only one is the lock of its game folder.
    bool HoldsLock() const {
        std::ifstream locks("/proc/locks");
        for (std::string line; std::getline(locks, line);) {
            std::istringstream fields(line);
            std::string number, kind, mode, access;
            pid_t owner = 0;
            if (fields >> number >> kind >> mode >> access >> owner && kind == "FLOCK" && owner == pid_) return true;
        }
        return false;
    }
    // Waits up to Ms for the lock while the player runs.
    bool WaitLock(int Ms) {
        for (int waited = 0; Running() && !HoldsLock() && waited < Ms; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return Running() && HoldsLock();
    }

private:
    pid_t pid_ = -1;
    int status_ = 0;
    bool ended_ = false;
};

// An X server of the test's own (Xvfb) on a free display number, its screen Width x Height,
// stopped when the test ends.
class VirtualScreen {
public:
    explicit VirtualScreen(int Width = 800, int Height = 600)
        : folder_(FreshHostFolder()),
          server_("/usr/bin/Xvfb",
                  {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0",
                   std::to_string(Width) + "x" + std::to_string(Height) + "x24"},
                  folder_ + "errors.txt", folder_ + "number.txt") {
        for (int waited = 0; Name().empty() && server_.Running() && waited < 10000; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // ":N" once the server takes clients, else "".
    std::string Name() const {
        std::ifstream file(folder_ + "number.txt");
        const std::string number(std::istreambuf_iterator<char>(file), {});
        return number.ends_with('\n') ? ":" + number.substr(0, number.size() - 1) : std::string();
    }
    Child& Server() { return server_; }

private:
    std::string folder_;
    Child server_;
};

// A Wayland compositor of the test's own: Weston with its output (Width x Height, each of its
// points Scale x Scale pixels) in a window of its X11 back end filling a VirtualScreen, its socket
// in a private runtime folder. For its life SDL's Wayland driver opens the windows of the program
// and its children there. Stopped when the test ends.
class NestedCompositor {
public:
    static bool Installed() { return std::filesystem::exists("/usr/bin/weston"); }

    explicit NestedCompositor(int Width = 1024, int Height = 768, int Scale = 1)
        : screen_(Width * Scale, Height * Scale), runtime_(FreshHostFolder()) {
        std::filesystem::permissions(runtime_, std::filesystem::perms::owner_all);
        const ScopedEnvironment display("DISPLAY", screen_.Name().c_str());
        server_ = std::make_unique<Child>(
            "/usr/bin/weston",
            std::vector<std::string>{"--backend=x11-backend.so", "--socket=wayland-test", "--no-config", "--idle-time=0",
                                     "--width=" + std::to_string(Width), "--height=" + std::to_string(Height),
                                     "--scale=" + std::to_string(Scale)},
            runtime_ + "weston.txt");
        for (int waited = 0; !Ready() && server_->Running() && waited < 10000; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // Whether it takes clients.
    bool Ready() const { return std::filesystem::exists(runtime_ + "wayland-test"); }
    VirtualScreen& Screen() { return screen_; }
    Child& Server() { return *server_; }
    // Presses keys (xdotool's names, "alt+Return") on the compositor's window, which hands them to
    // the window it has active.
    void Press(const std::string& Keys) {
        const ScopedEnvironment display("DISPLAY", screen_.Name().c_str());
        const std::string errors = runtime_ + "xdotool.txt";
        Child press("/usr/bin/xdotool", {"search", "--classname", "weston-1", "windowfocus", "key", Keys}, errors);
        EXPECT_TRUE(press.WaitEnd(5000) && press.ExitedWith(0)) << Keys;
    }
    // What its Weston wrote.
    std::string Log() const {
        std::ifstream file(runtime_ + "weston.txt");
        return std::string(std::istreambuf_iterator<char>(file), {});
    }

private:
    VirtualScreen screen_;
    std::string runtime_;
    const ScopedEnvironment runtimeFolder_{"XDG_RUNTIME_DIR", runtime_.c_str()};
    const ScopedEnvironment video_{"SDL_VIDEODRIVER", "wayland"}, socket_{"WAYLAND_DISPLAY", "wayland-test"};
    // The window decorations' plugin that SDL's Wayland driver has libdecor load, and Mesa's
    // driver behind the renderer, keep what they took for the life of the process and are
    // unloaded at its end: LeakSanitizer could name no library to pass over them by.
    const ScopedEnvironment leaks_{"ASAN_OPTIONS", "detect_leaks=0"};
    std::unique_ptr<Child> server_;
};
