// Message boxes of the desktop through zenity: a stand-in zenity on PATH records its arguments
// and answers with the exit code the test asks for.
#include "platform/dialogs.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <sstream>

namespace {

class DesktopDialogs : public testing::Test {
protected:
    void SetUp() override {
        folder = FreshHostFolder();
        std::ofstream(folder + "zenity") << "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > \"" << folder
                                         << "args\"\nexit $ZENITY_EXIT\n";
        chmod((folder + "zenity").c_str(), 0755);
    }
    std::string Args() const {
        std::ifstream file(folder + "args");
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
    std::string folder;
};

TEST_F(DesktopDialogs, AskAndMapTheExitCodeToTheButton) {
    ScopedEnvironment path("PATH", folder.c_str());
    ScopedEnvironment display("DISPLAY", ":9");
    {
        ScopedEnvironment code("ZENITY_EXIT", "0");
        EXPECT_EQ(platform::DesktopMessageBox(U8(u8"題"), U8(u8"終了しますか？"), {"Yes", "No"},
                                              platform::MessageIcon::Question),
                  0);
        EXPECT_EQ(Args(), U8(u8"--question\n--no-markup\n--title=題\n--text=終了しますか？\n--ok-label=Yes\n"
                             u8"--cancel-label=No\n"));
    }
    {
        // The second button, or a box closed without one.
        ScopedEnvironment code("ZENITY_EXIT", "1");
        EXPECT_EQ(platform::DesktopMessageBox("t", "x", {"OK", "Cancel"}, platform::MessageIcon::Question), 1);
        EXPECT_EQ(platform::DesktopMessageBox("t", "x", {"OK"}, platform::MessageIcon::Warning), 0);
        EXPECT_EQ(Args(), "--warning\n--no-markup\n--title=t\n--text=x\n--ok-label=OK\n");
    }
    {
        // zenity could not show a box: the caller shows its own.
        ScopedEnvironment code("ZENITY_EXIT", "255");
        EXPECT_EQ(platform::DesktopMessageBox("t", "x", {"OK"}, platform::MessageIcon::Error), std::nullopt);
    }
}

TEST_F(DesktopDialogs, NothingWithoutZenityOrADisplayServer) {
    ScopedEnvironment display("DISPLAY", ":9");
    {
        const std::string empty = FreshHostFolder();
        ScopedEnvironment path("PATH", empty.c_str());
        EXPECT_EQ(platform::DesktopMessageBox("t", "x", {"OK"}, platform::MessageIcon::None), std::nullopt);
    }
    // zenity that cannot open a display exits 1, which must not count as the second button.
    ScopedEnvironment path("PATH", folder.c_str());
    ScopedEnvironment code("ZENITY_EXIT", "1");
    ScopedEnvironment noX("DISPLAY", nullptr), noWayland("WAYLAND_DISPLAY", nullptr);
    EXPECT_EQ(platform::DesktopMessageBox("t", "x", {"OK", "Cancel"}, platform::MessageIcon::Question), std::nullopt);
}

}  // namespace
