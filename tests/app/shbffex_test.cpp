// The folder-browse dialog: the folder it opens on, its title, the answer as a program path;
// the special folders' stand-ins and the option flags; and the dialog as SelectDirectory and
// ExtractFile show it, through zenity (the stand-in tests/tools/fake_zenity first on PATH).
#include "app/shbffex.h"

#include "platform/fs.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

class FolderBrowse : public testing::Test {
protected:
    void SetUp() override {
        home = FreshHostFolder();
        home.pop_back();
        homeVar.emplace("HOME", home.c_str());
    }
    std::string home;
    std::optional<ScopedEnvironment> homeVar;
    ScopedEnvironment config{"XDG_CONFIG_HOME", nullptr}, data{"XDG_DATA_HOME", nullptr};
    platform::HeadlessDisplay display;
};

TEST_F(FolderBrowse, SpecialFoldersStandInAsXdgFolders) {
    const struct {
        int index;
        int32_t id;
        std::string host;  // under the home folder when it starts with "~"
    } cases[] = {
        {sfDesktop, 0x00, "~/Desktop"},       {sfManual, 0x00, "~/Desktop"},
        {sfDrives, 0x11, "/"},                {sfDesktopDir, 0x10, "~/Desktop"},
        {sfFavorites, 0x06, ""},              {sfPrograms, 0x02, "~/.local/share/applications"},
        {sfRecent, 0x08, ""},                 {sfSendTo, 0x09, ""},
        {sfStartMenu, 0x0B, "~/.local/share/applications"},
        {sfStartup, 0x07, "~/.config/autostart"}, {sfTemplates, 0x15, "~/Templates"},
        {rtNetwork, 0x12, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SpecialFolderId(c.index), c.id) << c.index;
        const std::string expected = c.host.starts_with("~") ? home + c.host.substr(1) : c.host;
        EXPECT_EQ(SpecialFolderHostPath(c.id), expected) << c.index;
    }
    EXPECT_EQ(SpecialFolderId(12), -1);
}

TEST_F(FolderBrowse, OptionFlagsFoldInOptionOrderUpToTheShownPath) {
    const auto flags = [](std::initializer_list<TSHBrowseOption> Options, bool& ShowPath) {
        TSHBrowseOptions set = 0;
        for (TSHBrowseOption option : Options) set |= SHBrowseOption(option);
        return BrowseFlags(set, ShowPath);
    };
    bool showPath = true;
    EXPECT_EQ(flags({}, showPath), 0u);
    EXPECT_FALSE(showPath);
    EXPECT_EQ(flags({sboReturnOnlyFSDirs, sboDontGoBelowDomain, sboReturnFSAncestors}, showPath), 11u);
    EXPECT_EQ(flags({sboStatusText}, showPath), BIF_STATUSTEXT);
    EXPECT_FALSE(showPath);
    // The path is shown; what follows is not looked at.
    EXPECT_EQ(flags({sboDontGoBelowDomain, sboStatusTextAndShowPath, sboStatusText}, showPath), 6u);
    EXPECT_TRUE(showPath);
}

TEST_F(FolderBrowse, OpensOnTheSelectedFolderTitledWithTheCaption) {
    std::filesystem::create_directories(home + "/games/体験");
    TSHBrowseForFolderEx dialog(&display);
    dialog.Caption = "保存先";
    dialog.SelectFolder = sfManual;
    dialog.SelectFolderName = platform::fs::ToProgramPath(home + "/GAMES");  // found without regard to case
    display.fileAnswers = {home + U8(u8"/games/体験")};
    ASSERT_TRUE(dialog.Execute());
    EXPECT_EQ(dialog.FolderName, platform::fs::ToProgramPath(home + "/games/") + "体験");
    EXPECT_EQ(dialog.DisplayName, "体験");
    ASSERT_EQ(display.fileDialogs.size(), 1u);
    EXPECT_EQ(display.fileDialogs[0].kind, platform::FileDialogKind::Folder);
    EXPECT_EQ(display.fileDialogs[0].folder, home + "/games");
    EXPECT_EQ(display.fileDialogs[0].title, "保存先");

    // A manual name that is no folder opens on the desktop; the file system's root is the drive.
    std::ofstream(home + "/file.txt") << "x";
    dialog.SelectFolderName = platform::fs::ToProgramPath(home + "/file.txt");
    display.fileAnswers = {"/"};
    ASSERT_TRUE(dialog.Execute());
    EXPECT_EQ(display.fileDialogs[1].folder, home + "/Desktop");
    EXPECT_EQ(dialog.FolderName, "Z:\\");
    EXPECT_EQ(dialog.DisplayName, "Z:\\");
}

TEST_F(FolderBrowse, CancelledOrWithoutARootNothingIsChosen) {
    TSHBrowseForFolderEx dialog(&display);
    dialog.FolderName = dialog.DisplayName = "old";
    EXPECT_FALSE(dialog.Execute());  // no answer: cancelled
    EXPECT_EQ(dialog.FolderName, "");
    EXPECT_EQ(dialog.DisplayName, "");
    // The network has no stand-in: nothing is shown.
    dialog.RootFolder = rtNetwork;
    display.fileAnswers = {"/tmp"};
    EXPECT_FALSE(dialog.Execute());
    EXPECT_EQ(display.fileDialogs.size(), 1u);
    // A manual root that is no folder is the desktop.
    dialog.RootFolder = rfManual;
    dialog.RootFolderName = "Z:\\no\\such\\folder";
    EXPECT_TRUE(dialog.Execute());
    EXPECT_FALSE(TSHBrowseForFolderEx(nullptr).Execute());
}

// On a real window the desktop's dialog shows: zenity asked for a folder, titled, opening there.
TEST_F(FolderBrowse, ZenityShowsTheFolderDialog) {
    const std::string tools = FreshHostFolder();
    std::filesystem::create_symlink(VELA_TEST_TOOLS "/fake_zenity", tools + "zenity");
    const RealWindowEnvironment real;
    const std::unique_ptr<platform::Display> window = platform::CreateDisplay();
    ASSERT_FALSE(window->headless());
    // zenity is asked only where a display server is named.
    ScopedEnvironment path("PATH", tools.c_str()), x("DISPLAY", ":9"), log("FAKE_ZENITY_LOG", (tools + "args").c_str()),
        answer("FAKE_ZENITY_ANSWER", "/srv/data");
    TSHBrowseForFolderEx dialog(window.get());
    dialog.Caption = "フォルダの選択";
    dialog.SelectFolder = sfDesktopDir;
    ASSERT_TRUE(dialog.Execute());
    EXPECT_EQ(dialog.FolderName, "Z:\\srv\\data");
    EXPECT_EQ(dialog.DisplayName, "data");
    std::stringstream args;
    args << std::ifstream(tools + "args").rdbuf();
    EXPECT_EQ(args.str(), "--file-selection\n" + U8(u8"--title=フォルダの選択\n") + "--directory\n--filename=" + home +
                              "/Desktop/\n");
    EXPECT_EQ(BrowseForFolder(*window), "Z:\\srv\\data");
}

}  // namespace
