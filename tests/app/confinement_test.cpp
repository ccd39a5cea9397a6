// The built player confines itself on a title of its own: every thread of it runs inside the
// kernel's wall, and --version says so; a kernel without Landlock (a test build can take it away)
// plays on, with one line on standard error. The desktop's programs still run, outside the wall,
// through the launcher.
#include "app/entry.h"
#include "platform/confine.h"
#include "platform/fs.h"
#include "tests/app/child_process.h"
#include "tests/app/played_title.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// Saves a game (the test's sign that the first tick has ended), after Before, then waits a minute.
Pages SavingThenWaiting(const std::string& Before = "") {
    return {{"start", "[" + Before + R"({"cmd": "GameSave", "slot": "0", "caption": "\"up\""}, {"cmd": "Wait", "time": "60000"}])"}};
}

// Waits for Title's save.dat while Player runs; whether it came.
bool SavedWhileRunning(Child& Player, const std::string& Title) {
    for (int waited = 0; !std::filesystem::exists(Title + "save.dat") && Player.Running() && waited < 20000; waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return std::filesystem::exists(Title + "save.dat") && Player.Running();
}

// The NoNewPrivs field of each thread of process Pid: the confinement sets it with the wall, and
// a thread started after inherits both.
std::vector<std::string> NoNewPrivsOfThreads(pid_t Pid) {
    std::vector<std::string> fields;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(Pid) + "/task")) {
        std::ifstream status(task.path() / "status");
        for (std::string line; std::getline(status, line);)
            if (line.starts_with("NoNewPrivs:")) fields.push_back(line);
    }
    return fields;
}

// The second line of "velaplay --version".
std::string VersionConfinementLine() {
    const std::string folder = FreshHostFolder();
    Child version(PlayerFolder + "velaplay", {"--version"}, folder + "errors", folder + "out");
    EXPECT_TRUE(version.WaitEnd(20000) && version.ExitedWith(0));
    const std::string out = FileText(folder + "out");
    return out.substr(out.find('\n') + 1);
}

TEST(ConfinedPlayer, ThePlayerPlaysWithEveryThreadInsideTheWall) {
    const platform::Confinement offered = platform::KernelConfinement();
    if (offered.abi == 0) GTEST_SKIP() << "this kernel has no Landlock";
    EXPECT_EQ(VersionConfinementLine(), "confinement: Landlock ABI " + std::to_string(offered.abi) + "\n");
    const std::string title = MakeTitle(SavingThenWaiting());
    Child player(PlayerFolder + "velaplay", {title}, title + "errors.txt");
    ASSERT_TRUE(SavedWhileRunning(player, title)) << FileText(title + "errors.txt");
    const std::vector<std::string> threads = NoNewPrivsOfThreads(player.Pid());
    EXPECT_GT(threads.size(), 1u) << "the loop thread runs";
    for (const std::string& field : threads) EXPECT_EQ(field, "NoNewPrivs:\t1");
    player.Signal(SIGTERM);
    EXPECT_TRUE(player.WaitEnd(10000) && player.ExitedWith(0));
    EXPECT_EQ(FileText(title + "errors.txt"), "");
}

TEST(ConfinedPlayer, WithoutLandlockThePlayerPlaysOnSayingSoOnce) {
    const ScopedEnvironment none("VELA_TEST_NO_LANDLOCK", "1");
    const std::string why = "the kernel offers no Landlock: Function not implemented";
    EXPECT_EQ(VersionConfinementLine(), "confinement: off (" + why + ")\n");
    const std::string title = MakeTitle({{"start", R"([{"cmd": "GameSave", "slot": "0", "caption": "\"up\""}, {"cmd": "Terminate"}])"}});
    Child player(PlayerFolder + "velaplay", {title}, title + "errors.txt");
    ASSERT_TRUE(player.WaitEnd(20000));
    EXPECT_TRUE(player.ExitedWith(0));
    EXPECT_TRUE(std::filesystem::exists(title + "save.dat"));
    EXPECT_EQ(FileText(title + "errors.txt"), "velaplay: the player is not confined: " + why + "\n");
}

// A box (a stand-in zenity) and OpenUrl's opener (a stand-in xdg-open writing where the player
// cannot, saying whether it runs confined) work from the confined player.
TEST(ConfinedPlayer, TheDesktopsBoxAndOpenerRunOutsideTheWall) {
    if (platform::KernelConfinement().abi == 0) GTEST_SKIP() << "this kernel has no Landlock";
    const std::string tools = FreshHostFolder(), marks = FreshHostFolder();
    const std::string title = MakeTitle(SavingThenWaiting(
        R"js({"cmd": "Calc", "do": "Alert(\"confined\")"}, {"cmd": "Calc", "do": "OpenUrl(\"https://example.com/wall\")"}, )js"));
    std::filesystem::create_symlink(VELA_TEST_TOOLS "/fake_zenity", tools + "zenity");
    std::ofstream(tools + "xdg-open") << "#!/bin/sh\n{ echo \"$1\"; /bin/grep NoNewPrivs /proc/$$/status; } > " << marks
                                      << "opened.part && /bin/mv " << marks << "opened.part " << marks << "opened\n";
    std::filesystem::permissions(tools + "xdg-open", std::filesystem::perms::owner_all);
    const ScopedEnvironment path("PATH", tools.c_str()), display("DISPLAY", ":9"),
        log("FAKE_ZENITY_LOG", (marks + "box").c_str());
    Child player(PlayerFolder + "velaplay", {title}, title + "errors.txt", "/dev/null", ChildWindow::Offscreen);
    ASSERT_TRUE(SavedWhileRunning(player, title)) << FileText(title + "errors.txt");
    for (int waited = 0; !std::filesystem::exists(marks + "opened") && waited < 10000; waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(FileText(marks + "opened"), "https://example.com/wall\nNoNewPrivs:\t0\n");
    EXPECT_EQ(FileText(marks + "box"), "--info\n--no-markup\n--title=\xE6\x83\x85\xE5\xA0\xB1\n--text=confined\n--ok-label=OK\n");
    for (const std::string& field : NoNewPrivsOfThreads(player.Pid())) EXPECT_EQ(field, "NoNewPrivs:\t1");
    player.Signal(SIGTERM);
    EXPECT_TRUE(player.WaitEnd(10000) && player.ExitedWith(0));
    EXPECT_EQ(FileText(title + "errors.txt"), "");
}

// The folders of a title named by its folder: it is written there and saves there, the program's
// and the companion library's folders are read; a title in a folder the desktop takes settings
// from is only read, its saves kept in the player's data folder.
TEST(ConfinedPlayer, TheTitlesFoldersAreItsOwnAndThePlayersAreRead) {
    const std::string home = FreshHostFolder(), title = home + "games/t/", hidden = home + ".config/t/";
    const ScopedEnvironment homeVariable("HOME", home.c_str()), config("XDG_CONFIG_HOME", nullptr),
        data("XDG_DATA_HOME", nullptr);
    for (const std::string& folder : {title, hidden}) std::filesystem::create_directories(folder);
    const std::string program = platform::fs::ToProgramPath(PlayerFolder + "velaplay");
    const platform::ConfinedFolders played = TitleConfinement({platform::fs::ToProgramPath(title)}, program);
    EXPECT_EQ(played.title, title);
    EXPECT_FALSE(played.titleReadOnly);
    EXPECT_EQ(played.save, title);
    ASSERT_GE(played.readOnly.size(), 2u);
    EXPECT_EQ(played.readOnly[0], PlayerFolder);
    const platform::ConfinedFolders settings = TitleConfinement({platform::fs::ToProgramPath(hidden)}, program);
    EXPECT_TRUE(settings.titleReadOnly);
    EXPECT_TRUE(settings.save.starts_with(home + ".local/share/velaplay/t-")) << settings.save;
}

// SIGTERM ends the confined player within a second while the launcher's box (a stand-in zenity
// that never closes) is up, and the box with it.
TEST(ConfinedPlayer, AnEndSignalClosesTheBoxTheLauncherStarted) {
    if (platform::KernelConfinement().abi == 0) GTEST_SKIP() << "this kernel has no Landlock";
    const std::string tools = FreshHostFolder(), boxes = tools + "boxes";
    const std::string title = MakeTitle(SavingThenWaiting(R"js({"cmd": "Calc", "do": "Alert(\"open\")"}, )js"));
    std::filesystem::create_symlink(VELA_TEST_TOOLS "/fake_zenity", tools + "zenity");
    const ScopedEnvironment path("PATH", tools.c_str()), display("DISPLAY", ":9"),
        log("FAKE_ZENITY_LOG", (tools + "args").c_str()), never("FAKE_ZENITY_EXIT", "never"),
        started("FAKE_ZENITY_BOXES", boxes.c_str()), quickEnd("ASAN_OPTIONS", "detect_leaks=0");
    Child player(PlayerFolder + "velaplay", {title}, title + "errors.txt", "/dev/null", ChildWindow::Offscreen);
    for (int waited = 0; FileText(boxes).empty() && player.Running() && waited < 20000; waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const std::string box = FileText(boxes);
    ASSERT_FALSE(box.empty()) << FileText(title + "errors.txt");
    player.Signal(SIGTERM);
    EXPECT_TRUE(player.WaitEnd(1000));
    EXPECT_TRUE(player.WaitEnd(10000) && player.ExitedWith(0)) << FileText(title + "errors.txt");
    EXPECT_EQ(kill(std::stoi(box), 0), -1) << "the box is still open";
    EXPECT_EQ(FileText(boxes), box) << "another box opened";
}

}  // namespace
