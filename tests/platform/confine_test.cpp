// The kernel's wall on its own: a forked child confines itself with the folders of a title, in a
// throwaway home folder, and tries what a title must and must not reach; the test process stays
// unconfined. The launcher started before it runs the desktop's programs outside the wall, only
// those the player builds, and ends with the process that made it, closing its boxes.
#include "platform/confine.h"
#include "platform/fs.h"
#include "platform/launcher.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

int ThreadsOfThisProcess() {
    std::ifstream status("/proc/self/status");
    for (std::string field; status >> field;)
        if (field == "Threads:") {
            int count = 0;
            status >> count;
            return count;
        }
    return 0;
}

// Skips a test that needs the kernel's confinement where there is none, or where the test
// program runs threads already (ctest runs each test in a program of its own).
#define NEED_CONFINEMENT()                                                                              \
    do {                                                                                                \
        if (platform::KernelConfinement().abi == 0) GTEST_SKIP() << "this kernel has no Landlock";      \
        if (ThreadsOfThisProcess() != 1) GTEST_SKIP() << "threads run in this test program already";    \
    } while (0)

// Runs Body in a forked child, which ends with the number of checks that failed (each said on
// standard error); that number.
int FailuresInChild(const std::function<int()>& Body) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) _exit(std::min(Body(), 100));
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
}

// Counts one failed check, said on standard error.
int Check(bool Holds, const std::string& What) {
    if (!Holds) std::fprintf(stderr, "failed: %s (%s)\n", What.c_str(), std::strerror(errno));
    return Holds ? 0 : 1;
}

bool Writes(const std::string& Path) {
    const int fd = open(Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd >= 0) close(fd);
    return fd >= 0;
}

// Whether opening Path to read fails with EACCES, which is the wall's answer (not a missing file).
bool ReadRefused(const std::string& Path) {
    errno = 0;
    const int fd = open(Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) close(fd);
    return fd < 0 && errno == EACCES;
}

bool WriteRefused(const std::string& Path) {
    errno = 0;
    return !Writes(Path) && errno == EACCES;
}

// A folder of the system's temporary folder, removed at the end: outside the test program's own
// temporary folder, which a child confined with its folders may write.
struct OutsideFolder {
    std::string path = Made();
    ~OutsideFolder() { std::filesystem::remove_all(path); }
    static std::string Made() {
        char pattern[] = "/tmp/vela-wall-XXXXXX";
        return std::string(mkdtemp(pattern)) + "/";
    }
};

// A throwaway home folder (HOME set to it, the XDG folders beneath it) with a private key, an
// autostart folder, the title's and save folders and the player's own folder beside it.
struct ThrowawayHome {
    OutsideFolder outside;
    std::string base = outside.path, home = base + "home/";
    ScopedEnvironment homeVariable{"HOME", home.c_str()}, config{"XDG_CONFIG_HOME", nullptr},
        data{"XDG_DATA_HOME", nullptr}, cache{"XDG_CACHE_HOME", nullptr}, userDirs{"XDG_DESKTOP_DIR", nullptr};
    platform::ConfinedFolders folders{base + "title", false, base + "save", {base + "player"}};
    ThrowawayHome() {
        for (const char* folder : {"home/.ssh", "home/.config/autostart", "home/Documents", "title", "save", "player"})
            std::filesystem::create_directories(base + folder);
        std::ofstream(home + ".ssh/id_rsa") << "key";
        std::ofstream(base + "title/game.dat") << "title";
        std::ofstream(base + "player/velaplay") << "player";
    }
};

// Inside the wall a title's folders and the player's per-user folders are written, the system's
// folders and the player's own read; nothing else of the home folder is reached, nor is the
// player's own folder written.
TEST(Confinement, TheWallKeepsThePlayerToTheTitlesFoldersAndItsOwn) {
    NEED_CONFINEMENT();
    const ThrowawayHome h;
    const std::string temp = *platform::fs::ToHostPath(platform::fs::TempFolder());
    EXPECT_EQ(FailuresInChild([&] {
                  const platform::Confinement confined = platform::Confine(h.folders);
                  if (Check(confined.abi > 0, "confined: " + confined.why)) return 1;
                  return Check(Writes(h.base + "title/made"), "a write into the title's folder") +
                         Check(Writes(h.base + "save/save.dat"), "a write into the save folder") +
                         Check(Writes(temp + "work"), "a write into the temporary folder") +
                         Check(Writes(h.home + ".local/share/velaplay/x"), "a write into the data folder") +
                         Check(Writes(h.home + "Documents/x.txt"), "a write into the documents folder") +
                         Check(std::filesystem::exists("/usr/bin/env") && !ReadRefused("/usr/bin/env"), "a read of /usr") +
                         Check(!ReadRefused(h.base + "player/velaplay"), "a read of the player's files") +
                         Check(WriteRefused(h.base + "player/x"), "a write into the player's folder refused") +
                         Check(WriteRefused(h.home + ".config/autostart/x.desktop"), "a write into autostart refused") +
                         Check(WriteRefused(h.home + ".bashrc"), "a write into the home folder refused") +
                         Check(ReadRefused(h.home + ".ssh/id_rsa"), "a read of a private key refused");
              }),
              0);
    // The data folder was made for the player before the wall went up.
    EXPECT_TRUE(std::filesystem::is_directory(h.home + ".local/share/velaplay"));
}

// A title folder that is only read is read, never written.
TEST(Confinement, AReadOnlyTitleFolderIsReadNotWritten) {
    NEED_CONFINEMENT();
    ThrowawayHome h;
    h.folders.titleReadOnly = true;
    EXPECT_EQ(FailuresInChild([&] {
                  const platform::Confinement confined = platform::Confine(h.folders);
                  if (Check(confined.abi > 0, "confined: " + confined.why)) return 1;
                  return Check(!ReadRefused(h.base + "title/game.dat"), "a read of the title") +
                         Check(WriteRefused(h.base + "title/made"), "a write into the title's folder refused") +
                         Check(Writes(h.base + "save/save.dat"), "a write into the save folder");
              }),
              0);
}

// A thread running already would stay outside the wall: the process is then left as it was.
TEST(Confinement, AThreadRunningAlreadyLeavesTheProcessUnconfined) {
    NEED_CONFINEMENT();
    const ThrowawayHome h;
    EXPECT_EQ(FailuresInChild([&] {
                  std::thread sleeper([] { std::this_thread::sleep_for(std::chrono::milliseconds(300)); });
                  const platform::Confinement confined = platform::Confine(h.folders);
                  sleeper.join();
                  return Check(confined.abi == 0 && confined.why.find("2 threads run already") == 0, confined.why) +
                         Check(Writes(h.base + "player/x"), "nothing confined");
              }),
              0);
}

// A test build can take Landlock away: the kernel then offers nothing, and --version's line says why.
TEST(Confinement, WithoutLandlockNothingIsConfinedAndTheLineSaysWhy) {
    const ScopedEnvironment none("VELA_TEST_NO_LANDLOCK", "1");
    const platform::Confinement offered = platform::KernelConfinement();
    EXPECT_EQ(offered.abi, 0);
    EXPECT_EQ(platform::ConfinementLine(offered), "confinement: off (the kernel offers no Landlock: Function not implemented)");
    EXPECT_EQ(platform::Confine({}).why, offered.why);
    EXPECT_EQ(platform::ConfinementLine({7, ""}), "confinement: Landlock ABI 7");
}

// Of the home folder the rules name only the player's folders, the user's folders a title may
// write, and the fonts, caches and settings the libraries read; never the home folder itself.
TEST(Confinement, TheRulesNameOnlyTheListedPartsOfTheHomeFolder) {
    const ScopedEnvironment home("HOME", "/h"), config("XDG_CONFIG_HOME", nullptr), data("XDG_DATA_HOME", nullptr),
        cache("XDG_CACHE_HOME", nullptr), authority("XAUTHORITY", nullptr), runtime("XDG_RUNTIME_DIR", "/run/user/7");
    using platform::Reach;
    const std::vector<platform::ConfinementRule> expected = {
        {"/h/.config/velaplay", Reach::Write},       {"/h/.local/share/velaplay", Reach::Write},
        {"/h/Desktop", Reach::Write},                {"/h/Documents", Reach::Write},
        {"/h/.cache/fontconfig", Reach::Write},      {"/h/.cache/mesa_shader_cache", Reach::Write},
        {"/h/.cache/mesa_shader_cache_db", Reach::Write}, {"/h/.fonts", Reach::Read},
        {"/h/.local/share/fonts", Reach::Read},      {"/h/.config/fontconfig", Reach::Read},
        {"/h/.Xauthority", Reach::Read},             {"/h/.asoundrc", Reach::Read},
        {"/h/.config/pulse", Reach::Read}};
    for (const bool readOnly : {false, true}) {
        const std::vector<platform::ConfinementRule> rules =
            platform::ConfinementRules({"/games/t", readOnly, "/h/.local/share/velaplay/t-1", {"/opt/vela"}});
        std::vector<platform::ConfinementRule> inHome;
        std::copy_if(rules.begin(), rules.end(), std::back_inserter(inHome),
                     [](const platform::ConfinementRule& R) { return R.first.starts_with("/h/") || R.first == "/h"; });
        std::erase(inHome, platform::ConfinementRule{"/h/.local/share/velaplay/t-1", Reach::Write});
        EXPECT_EQ(inHome, expected);
        const auto reach = [&](const std::string& Path) {
            const auto rule = std::find_if(rules.begin(), rules.end(), [&](const auto& R) { return R.first == Path; });
            return rule == rules.end() ? std::optional<Reach>() : rule->second;
        };
        EXPECT_EQ(reach("/games/t"), readOnly ? Reach::Read : Reach::Write);
        EXPECT_EQ(reach("/opt/vela"), Reach::Read);
        EXPECT_EQ(reach("/run/user/7"), Reach::Write);
        EXPECT_EQ(reach("/usr"), Reach::Run);
        EXPECT_EQ(reach("/dev/dri"), Reach::Device);
        EXPECT_EQ(reach("/dev/tty"), std::nullopt) << "a terminal takes typed input";
    }
}

// ---- The launcher ----

// A folder on PATH holding the stand-in zenity, which logs its arguments, locale and id there.
struct StandInZenity {
    OutsideFolder outside;
    std::string folder = outside.path;
    ScopedEnvironment path{"PATH", folder.c_str()}, log{"FAKE_ZENITY_LOG", (folder + "args").c_str()},
        locale{"FAKE_ZENITY_LOCALE", (folder + "locale").c_str()}, boxes{"FAKE_ZENITY_BOXES", (folder + "boxes").c_str()};
    StandInZenity() { std::filesystem::create_symlink(VELA_TEST_TOOLS "/fake_zenity", folder + "zenity"); }
};

// The commands the player's own code builds, and nothing else.
TEST(Launcher, AllowsOnlyTheCommandsThePlayerBuilds) {
    const std::string folder = FreshHostFolder();
    const std::vector<std::pair<std::vector<std::string>, bool>> cases = {
        {{"zenity", "--info", "--text=x"}, true},
        {{"zenity", "--question"}, true},
        {{"zenity", "--file-selection", "--save"}, true},
        {{"zenity", "--forms"}, false},
        {{"zenity"}, false},
        {{"/usr/bin/zenity", "--info"}, false},
        {{"xdg-open", "https://example.com/a"}, true},
        {{"xdg-open", folder}, true},
        {{"xdg-open", folder + "missing"}, false},
        {{"xdg-open", "file:///etc/passwd"}, false},
        {{"xdg-open", "x.desktop"}, false},
        {{"xdg-open", "https://a", "https://b"}, false},
        {{"gsettings", "set", "org.gnome.desktop.background", "picture-uri", "file:///w.bmp"}, true},
        {{"gsettings", "set", "org.gnome.desktop.background", "picture-options", "stretched"}, true},
        {{"gsettings", "set", "org.gnome.desktop.background", "picture-options", "spanned"}, false},
        {{"gsettings", "set", "org.gnome.settings-daemon.plugins.media-keys", "custom-keybindings", "[]"}, false},
        {{"sh", "-c", "true"}, false},
        {{}, false}};
    for (const auto& [args, allowed] : cases)
        EXPECT_EQ(platform::LaunchAllowed({args, {}, false, false}), allowed) << (args.empty() ? "" : args[0] + " " + args.back());
    EXPECT_TRUE(platform::LaunchAllowed({{"zenity", "--info"}, {"LC_ALL=C.UTF-8"}, false, false}));
    EXPECT_FALSE(platform::LaunchAllowed({{"zenity", "--info"}, {"LD_PRELOAD=/tmp/x.so"}, false, false}));
}

// From a confined process, a box runs through the launcher outside the wall (it writes where
// the process cannot), in a group of its own with the locale asked for, and gives back its output
// and exit status; a program the player does not build is refused by the launcher itself.
TEST(Launcher, RunsTheDesktopsProgramsOutsideTheWallAndRefusesOthers) {
    NEED_CONFINEMENT();
    const ThrowawayHome h;
    const StandInZenity zenity;
    const ScopedEnvironment answer("FAKE_ZENITY_ANSWER", "/chosen"), exitCode("FAKE_ZENITY_EXIT", "0");
    EXPECT_EQ(FailuresInChild([&] {
                  if (Check(platform::StartLauncher("", ""), "the launcher started")) return 1;
                  if (Check(platform::Confine(h.folders).abi > 0, "confined")) return 1;
                  int failed = Check(WriteRefused(zenity.folder + "mine"), "the box's folder is outside the wall");
                  const platform::Launched box = platform::Launch({{"zenity", "--file-selection"}, {"LC_ALL=C.UTF-8"}, true, true});
                  if (Check(box.pid > 0 && box.output >= 0, "the box started")) return failed + 1;
                  std::string output;
                  char buffer[256];
                  for (ssize_t n; (n = read(box.output, buffer, sizeof buffer)) > 0;) output.append(buffer, size_t(n));
                  close(box.output);
                  const std::optional<int> status = platform::WaitLaunched(box.pid, true);
                  failed += Check(output == "/chosen\n", "its output: " + output);
                  failed += Check(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0, "its status");
                  failed += Check(getpgid(box.pid) == -1, "reaped");
                  failed += Check(platform::WaitLaunched(box.pid, true) == -1, "reaped once");
                  for (const std::vector<std::string>& refused :
                       {std::vector<std::string>{"sh", "-c", "touch " + zenity.folder + "ran"},
                        std::vector<std::string>{zenity.folder + "zenity", "--info"}})
                      failed += Check(platform::Launch({refused, {}, false, false}).pid == -1, refused[0] + " refused");
                  return failed;
              }),
              0);
    EXPECT_FALSE(std::filesystem::exists(zenity.folder + "ran"));
    // It wrote, outside the wall, its arguments, the locale it was given and its id.
    EXPECT_EQ(FileText(zenity.folder + "args"), "--file-selection\n");
    EXPECT_EQ(FileText(zenity.folder + "locale"), "LC_ALL=C.UTF-8\n");
    EXPECT_FALSE(FileText(zenity.folder + "boxes").empty());
}

// Whether process Pid is gone (or a zombie nobody waits for any more) within 5 s.
bool EndsSoon(pid_t Pid) {
    for (int waited = 0; waited < 5000; waited += 10) {
        std::ifstream status("/proc/" + std::to_string(Pid) + "/status");
        std::string field, state;
        while (status >> field && field != "State:") {
        }
        if (!(status >> state) || state == "Z") return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// The launcher ends with the process that made it, however that ends: it closes the box still
// open (a stand-in zenity that never closes) and removes the process's temporary folder.
TEST(Launcher, EndsWithThePlayerClosingItsBoxesAndRemovingItsTemporaryFolder) {
    const StandInZenity zenity;
    const ScopedEnvironment never("FAKE_ZENITY_EXIT", "never");
    for (const int signal : {0, SIGKILL}) {
        std::filesystem::remove(zenity.folder + "boxes");
        const std::string temp = zenity.folder + "temp/";
        std::filesystem::create_directories(temp + "work");
        EXPECT_EQ(FailuresInChild([&] {
                      if (Check(platform::StartLauncher(temp, ""), "the launcher started")) return 1;
                      const platform::Launched box = platform::Launch({{"zenity", "--info"}, {}, false, true});
                      for (int waited = 0; FileText(zenity.folder + "boxes").empty() && waited < 5000; waited += 10)
                          std::this_thread::sleep_for(std::chrono::milliseconds(10));
                      if (signal) raise(signal);
                      return Check(box.pid > 0, "the box started");
                  }),
                  signal ? 1000 + signal : 0);
        const std::string box = FileText(zenity.folder + "boxes");
        ASSERT_FALSE(box.empty());
        EXPECT_TRUE(EndsSoon(std::stoi(box))) << "the box is still open";
        for (int waited = 0; std::filesystem::exists(temp) && waited < 5000; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_FALSE(std::filesystem::exists(temp));
    }
}

}  // namespace
