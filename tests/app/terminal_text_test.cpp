// A title's text on the terminal. The built player, headless, shows a title's Alert on standard
// error: the controls in it (a clipboard-setting and a screen-clearing escape sequence, a bell, a
// tab, a stray Shift-JIS lead byte) come out escaped, and its line break starts an indented line,
// never one that passes for the player's own.
#include "tests/app/child_process.h"
#include "tests/app/played_title.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

// The Alert's text: "a", ESC "]52;c;ZXZpbA==" BEL (which would set the terminal's clipboard), a
// tab, "b", a byte no character of code page 932 is, a lead byte without its trail byte, ESC "[2J"
// (which would clear the screen), a line break, a line that would pass for the player's own, DEL.
const std::string AlertText =
    R"(\"a\" ++ Chr(27) ++ \"]52;c;ZXZpbA==\" ++ Chr(7) ++ Chr(9) ++ \"b\" ++ Chr(128) ++ Chr(155) ++ )"
    R"(Chr(27) ++ \"[2J\" ++ Chr(13) ++ Chr(10) ++ \"velaplay: done\" ++ Chr(127))";

bool IsControl(char C) { return (C >= 0 && C < 0x20 && C != '\n') || C == 0x7F; }

TEST(TitleTextOnTheTerminal, ATitlesAlertReachesStandardErrorEscaped) {
    const std::string title =
        MakeTitle({{"start", "[{\"cmd\": \"Calc\", \"do\": \"n = Alert(" + AlertText + ")\"}, {\"cmd\": \"Terminate\"}]"}});
    const std::string errors = title + "errors.txt";
    Child player(PlayerFolder + "velaplay", {title}, errors);
    ASSERT_TRUE(player.WaitEnd(20000));
    EXPECT_TRUE(player.ExitedWith(0));
    const std::string said = FileText(errors);
    EXPECT_EQ(said, U8(u8"情報: a\\x1b]52;c;ZXZpbA==\\x07\\x09b\uFFFD\uFFFD\\x1b[2J\n  velaplay: done\\x7f\n"));
    EXPECT_EQ(std::count_if(said.begin(), said.end(), IsControl), 0);
}

}  // namespace
