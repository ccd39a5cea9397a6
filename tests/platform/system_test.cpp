// Host services: the single-instance lock across processes, per-user folders from the XDG
// settings, and the desktop programs run without a shell.
#include "platform/system.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using platform::InstanceLock;

namespace {

// Runs Body in a child process and returns its exit status (or 128 + the signal).
template <typename Body>
int InChild(Body body) {
    pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class InstanceLocks : public testing::Test {
protected:
    std::string runtime_ = FreshHostFolder();
    ScopedEnvironment env_{"XDG_RUNTIME_DIR", runtime_.c_str()};
};

TEST_F(InstanceLocks, OneHolderPerKeyUntilReleased) {
    const std::string key = "Z:-home-me-game-";
    auto first = InstanceLock::Acquire(key);
    ASSERT_TRUE(first);
    EXPECT_FALSE(InstanceLock::Acquire(key));  // a second open of the lock file
    EXPECT_EQ(InChild([&] { return InstanceLock::Acquire(key) ? 1 : 0; }), 0);
    // Keys differing only in letter case, and awkward keys, are keys of their own.
    EXPECT_TRUE(InstanceLock::Acquire("Z:-HOME-me-game-"));
    EXPECT_TRUE(InstanceLock::Acquire("../..//表\\" + std::string(300, 'k')));

    first.reset();
    EXPECT_TRUE(InstanceLock::Acquire(key));
    EXPECT_EQ(InChild([&] { return InstanceLock::Acquire(key) ? 0 : 1; }), 0);
}

// The lock file lies in the runtime folder while the lock is held and goes with the lock, so
// that ended players leave no files behind.
TEST_F(InstanceLocks, TheLockFileGoesWithTheLock) {
    auto files = [this] {
        return std::distance(std::filesystem::directory_iterator(runtime_), std::filesystem::directory_iterator());
    };
    auto lock = InstanceLock::Acquire("Z:-home-me-game-");
    ASSERT_TRUE(lock);
    EXPECT_EQ(files(), 1);
    EXPECT_FALSE(InstanceLock::Acquire("Z:-home-me-game-"));  // a refused holder leaves the file alone
    EXPECT_EQ(files(), 1);
    lock.reset();
    EXPECT_EQ(files(), 0);
    EXPECT_TRUE(InstanceLock::Acquire("Z:-home-me-game-"));
    EXPECT_EQ(files(), 0);
}

TEST_F(InstanceLocks, ALockEndsWithItsProcess) {
    const std::string key = "Z:-crashed-";
    EXPECT_EQ(InChild([&] {
                  auto lock = InstanceLock::Acquire(key);
                  if (lock) raise(SIGKILL);
                  return 1;
              }),
              128 + SIGKILL);
    EXPECT_TRUE(InstanceLock::Acquire(key));
}

// ---- Per-user folders ----

TEST(UserFolders, FromTheUserDirsFileOrTheirDefaults) {
    std::string home = FreshHostFolder() + "home";
    std::string config = home + "/config";
    mkdir(home.c_str(), 0777);
    mkdir(config.c_str(), 0777);
    ScopedEnvironment homeVar("HOME", home.c_str());
    ScopedEnvironment configVar("XDG_CONFIG_HOME", config.c_str());
    ScopedEnvironment dataVar("XDG_DATA_HOME", "relative/ignored");
    std::ofstream(config + "/user-dirs.dirs") << "# written by xdg-user-dirs-update\n"
                                              << U8(u8"XDG_DESKTOP_DIR=\"$HOME/デスクトップ/\"\n")
                                              << "XDG_DOCUMENTS_DIR=\"/srv/My \\\"Docs\\\"\"\n"
                                              << "XDG_TEMPLATES_DIR=\"relative\"\n";
    using platform::UserFolder;
    EXPECT_EQ(platform::UserFolderPath(UserFolder::Desktop), home + U8(u8"/デスクトップ"));
    EXPECT_EQ(platform::UserFolderPath(UserFolder::Documents), "/srv/My \"Docs\"");
    EXPECT_EQ(platform::UserFolderPath(UserFolder::Templates), home + "/Templates");
    EXPECT_EQ(platform::UserFolderPath(UserFolder::LocalData), home + "/.local/share");
    // A folder turned off ("$HOME/") or missing from the file is never the home folder.
    std::ofstream(config + "/user-dirs.dirs") << "XDG_DESKTOP_DIR=\"$HOME/\"\n";
    EXPECT_EQ(platform::UserFolderPath(UserFolder::Desktop), home + "/Desktop");
    EXPECT_EQ(platform::UserFolderPath(UserFolder::Documents), home + "/Documents");
    // Nor is one that leads there or above it by "." or a link; where the default does too, none.
    std::ofstream(config + "/user-dirs.dirs") << "XDG_DESKTOP_DIR=\"$HOME/.\"\nXDG_DOCUMENTS_DIR=\"" << home
                                              << "/../\"\nXDG_TEMPLATES_DIR=\"$HOME/up\"\n";
    symlink("..", (home + "/up").c_str());
    symlink(home.c_str(), (home + "/Documents").c_str());
    EXPECT_EQ(platform::UserFolderPath(UserFolder::Desktop), home + "/Desktop");
    EXPECT_EQ(platform::UserFolderPath(UserFolder::Documents), "");
    EXPECT_EQ(platform::UserFolderPath(UserFolder::Templates), home + "/Templates");
    std::ofstream(config + "/user-dirs.dirs") << "XDG_DOCUMENTS_DIR=\"/\"\n";
    EXPECT_EQ(platform::UserFolderPath(UserFolder::Documents), "");
}

// The folders where the desktop or the shell takes settings or programs, however they are named:
// a title played there writes nothing into them.
TEST(UserFolders, TheDesktopsSettingsAndProgramFoldersAreKnownWhereverTheyLie) {
    const std::string home = FreshHostFolder() + "home", elsewhere = FreshHostFolder();
    ScopedEnvironment homeVar("HOME", home.c_str());
    ScopedEnvironment configVar("XDG_CONFIG_HOME", (elsewhere + "conf").c_str());
    for (const char* folder : {"/.config/autostart", "/.local/share/applications", "/.local/share/Games/t", "/bin",
                               "/Games/t", "/.ssh"})
        std::filesystem::create_directories(home + folder);
    std::filesystem::create_directories(elsewhere + "conf/autostart");
    std::filesystem::create_directory_symlink(home, elsewhere + "to-home");
    std::filesystem::create_directory_symlink(elsewhere + "conf", home + "/Games/conf");
    for (const std::string& folder : {home, home + "/", home + "/.config", home + "/.config/autostart", home + "/.ssh",
                                     home + "/.local", home + "/.local/bin", home + "/.local/share/applications",
                                     home + "/bin", elsewhere + "conf/autostart", elsewhere + "to-home",
                                     home + "/Games/conf", home + "/Games/../.ssh"})
        EXPECT_TRUE(platform::IsDesktopSettingsFolder(folder)) << folder;
    for (const std::string& folder : {home + "/Games/t", home + "/.local/share", home + "/.local/share/Games/t",
                                     home + "/Documents", elsewhere, std::string("/usr/share")})
        EXPECT_FALSE(platform::IsDesktopSettingsFolder(folder)) << folder;
}

// ---- Desktop programs ----

class DesktopPrograms : public testing::Test {
protected:
    // A program of that name on PATH that appends its arguments, one per line, to the log and
    // exits with 1 when they include FailOn.
    void FakeProgram(const std::string& name, const std::string& failOn = "-") {
        std::string path = bin_ + name;
        std::ofstream(path) << "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\" >> '" << log_ << "'; done\n"
                            << "for a in \"$@\"; do [ \"$a\" = '" << failOn << "' ] && exit 1; done\nexit 0\n";
        chmod(path.c_str(), 0755);
    }
    std::string Log() {
        std::stringstream s;
        s << std::ifstream(log_).rdbuf();
        return s.str();
    }
    std::string bin_ = FreshHostFolder();
    std::string log_ = FreshHostFolder() + "log";
    ScopedEnvironment path_{"PATH", bin_.c_str()};
};

TEST_F(DesktopPrograms, WallpaperThroughGsettings) {
    using platform::WallpaperStyle;
    EXPECT_FALSE(platform::SetDesktopWallpaper("/tmp/w.bmp", WallpaperStyle::Centered));  // not on PATH

    FakeProgram("gsettings");
    EXPECT_TRUE(platform::SetDesktopWallpaper(U8(u8"/tmp/my wall/壁.bmp"), WallpaperStyle::Tiled));
    const std::string uri = "file:///tmp/my%20wall/%E5%A3%81.bmp";
    const std::string schema = "org.gnome.desktop.background";
    EXPECT_EQ(Log(), "set\n" + schema + "\npicture-uri\n" + uri + "\nset\n" + schema + "\npicture-uri-dark\n" +
                         uri + "\nset\n" + schema + "\npicture-options\nwallpaper\n");

    FakeProgram("gsettings", "picture-uri-dark");  // an older desktop without the dark key
    EXPECT_TRUE(platform::SetDesktopWallpaper("/w.bmp", WallpaperStyle::Stretched));
    EXPECT_NE(Log().find("picture-options\nstretched\n"), std::string::npos);
    FakeProgram("gsettings", "picture-options");
    EXPECT_FALSE(platform::SetDesktopWallpaper("/w.bmp", WallpaperStyle::Centered));
}

TEST_F(DesktopPrograms, OpeningHandsTheTargetToXdgOpenAsOneArgument) {
    EXPECT_FALSE(platform::OpenWithDesktop("http://example.com/"));

    FakeProgram("xdg-open");
    const std::string target = "http://example.com/a;$(touch${IFS}x)&|";
    ASSERT_TRUE(platform::OpenWithDesktop(target));
    for (int i = 0; i < 500 && Log().empty(); ++i) usleep(10000);
    EXPECT_EQ(Log(), target + "\n");
    // Only what the player's opener hands over is started: an address with a blank is none.
    EXPECT_FALSE(platform::OpenWithDesktop("http://example.com/a b"));
}

}  // namespace
