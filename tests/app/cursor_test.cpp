// The cursor host of the main window: content names read as cursor files and shown on the display.
#include "app/cursor.h"

#include "core/vrfiles_manager.h"
#include "platform/fs.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>

namespace {

class CursorHost : public ::testing::Test {
protected:
    void SetUp() override {
        CreateVrFileSystem();
        VrFileManager->SetCdRoots({});
        const std::string host = FreshHostFolder();
        std::filesystem::create_directories(host + "base");
        for (const std::string& line : Lines(PythonOutput("make_cursor_fixtures.py", {"make", host + "base"})))
            Expected[line.substr(0, line.find(' '))] = line.substr(line.find(' ') + 1);
        VrFileManager->SetBaseFolder(platform::fs::ToProgramPath(host + "base"));
        // An archive holding the animated cursor under a name of its own.
        std::filesystem::create_directories(host + "packed");
        std::filesystem::copy_file(host + "base/anim.ani", host + "packed/spin.ani");
        PythonOutput("vfarchive.py", {"pack", host + "game.dat", host + "packed"});
        VrFileManager->Add(platform::fs::ToProgramPath(host + "game.dat"));
    }
    void TearDown() override { FreeVrFileSystem(); }

    // What the display shows, as the fixture script prints a picture.
    std::string Shown() const {
        const auto& c = Display.cursor;
        std::ostringstream out;
        out << c.width << ' ' << c.height << ' ' << c.hotX << ' ' << c.hotY << ' ';
        for (uint32_t v : c.pixels) {
            char s[9];
            std::snprintf(s, sizeof s, "%08x", v);
            out << s;
        }
        return out.str();
    }

    platform::HeadlessDisplay Display;
    TDisplayCursorHost Host{Display};
    std::map<std::string, std::string> Expected;
};

}  // namespace

TEST_F(CursorHost, ShowsTheCursorFileOfAContentName) {
    Host.LoadCursor("cur8.cur");
    EXPECT_TRUE(Display.cursor.custom);
    EXPECT_EQ(Shown(), Expected["cur8.cur"]);
    Host.DefaultCursor();
    EXPECT_FALSE(Display.cursor.custom);
}

TEST_F(CursorHost, AnArchivedFileIsReadThroughAWorkFileThatIsReleased) {
    Host.LoadCursor("spin.ani");
    EXPECT_EQ(Shown(), Expected["anim.ani"]);
    EXPECT_EQ(VrFileManager->Locks().Count(), 0);
    EXPECT_EQ(VrFileManager->Locks().ReleasedCount(), 1);
}

TEST_F(CursorHost, ACursorThatCannotBeReadShowsTheDefaultQuietly) {
    for (const char* name : {"missing.cur", "png.cur"}) {
        Host.LoadCursor("cur8.cur");
        Host.LoadCursor(name);
        EXPECT_FALSE(Display.cursor.custom) << name;
    }
    EXPECT_TRUE(Display.messages.empty());
}
