// Dialogs of the desktop through zenity: the stand-in tests/tools/fake_zenity, first on PATH,
// records its arguments and answers with the output and exit code the test asks for. The
// headless display answers its boxes and dialogs from the test's script.
#include "platform/dialogs.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

class DesktopDialogs : public testing::Test {
protected:
    void SetUp() override {
        folder = FreshHostFolder();
        std::filesystem::create_symlink(VELA_TEST_TOOLS "/fake_zenity", folder + "zenity");
    }
    std::string Args() const {
        std::ifstream file(folder + "args");
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
    // zenity answering Answer on standard output with exit code Code.
    void Answer(const char* Code, const char* Answer = "") {
        code.emplace("FAKE_ZENITY_EXIT", Code);
        answer.emplace("FAKE_ZENITY_ANSWER", Answer);
    }
    std::string folder;
    ScopedEnvironment display{"DISPLAY", ":9"};
    std::optional<ScopedEnvironment> path, log, code, answer;

    void UseFake() {
        path.emplace("PATH", folder.c_str());
        log.emplace("FAKE_ZENITY_LOG", (folder + "args").c_str());
    }
};

TEST_F(DesktopDialogs, AskAndMapTheExitCodeToTheButton) {
    UseFake();
    Answer("0");
    EXPECT_EQ(platform::DesktopMessageBox(U8(u8"題"), U8(u8"終了しますか？"), {"Yes", "No"}, 1,
                                          platform::MessageIcon::Question),
              0);
    EXPECT_EQ(Args(), U8(u8"--question\n--no-markup\n--title=題\n--text=終了しますか？\n--ok-label=Yes\n"
                         u8"--cancel-label=No\n"));
    // The second button, or a box closed without one.
    Answer("1");
    EXPECT_EQ(platform::DesktopMessageBox("t", "x", {"OK", "Cancel"}, 1, platform::MessageIcon::Question), 1);
    EXPECT_EQ(platform::DesktopMessageBox("t", "x", {"OK"}, 0, platform::MessageIcon::Warning), 0);
    EXPECT_EQ(Args(), "--warning\n--no-markup\n--title=t\n--text=x\n--ok-label=OK\n");
    // zenity could not show a box: the caller shows its own.
    Answer("255");
    EXPECT_EQ(platform::DesktopMessageBox("t", "x", {"OK"}, 0, platform::MessageIcon::Error), std::nullopt);
}

TEST_F(DesktopDialogs, ButtonsBeyondTwoAreExtraButtonsNamedByWhatZenityPrints) {
    UseFake();
    const std::vector<std::string> labels = {"Yes", "No", "Cancel", "No to all", "Yes to all"};
    Answer("1", "No to all");
    EXPECT_EQ(platform::DesktopMessageBox("t", "x", labels, 2, platform::MessageIcon::Question), 3);
    EXPECT_EQ(Args(), "--question\n--no-markup\n--title=t\n--text=x\n--ok-label=Yes\n--cancel-label=Cancel\n"
                      "--extra-button=No\n--extra-button=No to all\n--extra-button=Yes to all\n");
    Answer("1", "No");
    EXPECT_EQ(platform::DesktopMessageBox("t", "x", labels, 2, platform::MessageIcon::Question), 1);
    // The cancel button prints nothing; a box that timed out counts as closed.
    for (const char* exit : {"1", "5"}) {
        Answer(exit);
        EXPECT_EQ(platform::DesktopMessageBox("t", "x", labels, 2, platform::MessageIcon::Question), 2) << exit;
    }
    for (auto [in, out] : {std::pair{"はい(&Y)", "はい(Y)"}, {"A&&B", "A&B"}, {"&", ""}, {"ok", "ok"}})
        EXPECT_EQ(platform::DropAccelerators(in), out);
}

TEST_F(DesktopDialogs, FileSelectionAsksWithFiltersAndAnswersThePath) {
    UseFake();
    Answer("0", "/home/me/Desktop/a b.txt");
    platform::DesktopFileAnswer chosen =
        platform::DesktopFileDialog({platform::FileDialogKind::Save, "/home/me/Desktop", U8(u8"文書|*.txt;*.doc|All|*.*"), {}});
    EXPECT_EQ(chosen.outcome, platform::DialogOutcome::Chosen);
    EXPECT_EQ(chosen.path, "/home/me/Desktop/a b.txt");
    EXPECT_EQ(Args(), U8(u8"--file-selection\n--save\n--confirm-overwrite\n--filename=/home/me/Desktop/\n"
                         u8"--file-filter=文書 | *.txt *.doc\n--file-filter=All | *.*\n"));
    Answer("0", "/tmp");
    chosen = platform::DesktopFileDialog({platform::FileDialogKind::Folder, "", "ignored|*.x", {}});
    EXPECT_EQ(chosen.path, "/tmp");
    EXPECT_EQ(Args(), "--file-selection\n--directory\n");
    for (const char* exit : {"1", "5"}) {
        Answer(exit);
        EXPECT_EQ(platform::DesktopFileDialog({}).outcome, platform::DialogOutcome::Cancelled) << exit;
    }
}

// zenity shows UTF-8 text only in a UTF-8 locale: without one (or in another) it starts in
// C.UTF-8; a user's UTF-8 locale is kept.
TEST_F(DesktopDialogs, ZenityStartsInAUtf8LocaleWhereTheUserHasNone) {
    UseFake();
    Answer("0");
    const ScopedEnvironment locale("FAKE_ZENITY_LOCALE", (folder + "locale").c_str());
    const ScopedEnvironment ctype("LC_CTYPE", nullptr);
    auto startedIn = [&](const char* All, const char* Lang) {
        const ScopedEnvironment all("LC_ALL", All), lang("LANG", Lang);
        EXPECT_EQ(platform::DesktopMessageBox("t", "x", {"OK"}, 0, platform::MessageIcon::None), 0);
        std::ifstream file(folder + "locale");
        std::string line;
        std::getline(file, line);
        return line;
    };
    EXPECT_EQ(startedIn(nullptr, nullptr), "LC_ALL=C.UTF-8");
    EXPECT_EQ(startedIn("", "C"), "LC_ALL=C.UTF-8");
    EXPECT_EQ(startedIn("ja_JP.eucJP", "ja_JP.UTF-8"), "LC_ALL=C.UTF-8");
    EXPECT_EQ(startedIn(nullptr, "ja_JP.UTF-8"), "LC_ALL=");
    EXPECT_EQ(startedIn("en_US.utf8", nullptr), "LC_ALL=en_US.utf8");
}

TEST_F(DesktopDialogs, NothingWithoutZenityOrADisplayServer) {
    {
        const std::string empty = FreshHostFolder();
        ScopedEnvironment emptyPath("PATH", empty.c_str());
        EXPECT_EQ(platform::DesktopMessageBox("t", "x", {"OK"}, 0, platform::MessageIcon::None), std::nullopt);
        EXPECT_EQ(platform::DesktopFileDialog({}).outcome, platform::DialogOutcome::Unavailable);
    }
    // zenity that cannot open a display exits 1, which must not count as the second button.
    UseFake();
    Answer("1");
    ScopedEnvironment noX("DISPLAY", nullptr), noWayland("WAYLAND_DISPLAY", nullptr);
    EXPECT_EQ(platform::DesktopMessageBox("t", "x", {"OK", "Cancel"}, 1, platform::MessageIcon::Question), std::nullopt);
    EXPECT_EQ(platform::DesktopFileDialog({}).outcome, platform::DialogOutcome::Unavailable);
}

TEST(HeadlessDialogs, ScriptedAnswersElseCancelled) {
    platform::HeadlessDisplay display;
    const std::vector<std::string> labels = {"a", "b", "c", "d", "e"};
    display.choiceAnswers = {4, 2};
    EXPECT_EQ(display.choiceBox("cap", "text", labels, 2, platform::MessageIcon::Question), 4);
    EXPECT_EQ(display.choiceBox("cap", "text", labels, 2, platform::MessageIcon::Question), 2);
    // Nobody answers the next: the box's cancel button.
    EXPECT_EQ(display.choiceBox("cap", "text", labels, 2, platform::MessageIcon::Question), 2);
    ASSERT_EQ(display.choices.size(), 3u);
    EXPECT_EQ(display.choices[0].labels, labels);
    EXPECT_EQ(display.choices[0].cancel, 2u);

    display.fileAnswers = {"/x/y", std::nullopt};
    EXPECT_EQ(display.fileDialog({platform::FileDialogKind::Open, "/d", "f|*.a", {}}), "/x/y");
    EXPECT_EQ(display.fileDialog({}), std::nullopt);
    EXPECT_EQ(display.fileDialog({}), std::nullopt);
    ASSERT_EQ(display.fileDialogs.size(), 3u);
    EXPECT_EQ(display.fileDialogs[0].filter, "f|*.a");
}

}  // namespace
