// The drawn message box, answered by keys in the headless display's dialog window; the real
// window falling back to it where zenity cannot be run; and the player without zenity and
// without a title, which says in it how to name one.
#include "app/messagebox.h"

#include "app/entry.h"
#include "platform/dialogs.h"
#include "platform/fonts.h"
#include "text/fontpixels.h"
#include "tests/app/child_process.h"
#include "tests/common/dialog_keys.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using platform::InputEvent;
using platform::InputKind;

// Glyphs of the fake font service: at height 12 each character advances 8 pixels.
class DrawnBox : public testing::Test {
protected:
    DrawnBox() { FontPixelManager = new TFontPixelManager(platform::CreateFakeFontService); }
    ~DrawnBox() override {
        delete FontPixelManager;
        FontPixelManager = nullptr;
    }
    void Key(int32_t Code) { PressDialogKey(display, Code); }
    platform::HeadlessDisplay display;
};

// A line longer than the box may be wide breaks: every line and button lies inside the box, the
// buttons side by side below the text.
TEST_F(DrawnBox, ALongTextBreaksAboveTheButtons) {
    std::string line;
    for (int i = 0; i < 10; ++i) line += "xxxxxxxxx 日本語の文字";
    const TMessageBoxForm form("velaplay", line + "\r\n二行目", {"はい(&Y)", "いいえ(&N)"}, 1);
    EXPECT_LE(form.Width(), TMessageBoxForm::MaxTextWidth + 24);
    EXPECT_EQ(form.LabelText.Height(), 4 * 12);  // 1,220 pixels in three lines, then the second line
    const TButton &yes = *form.Buttons[0], &no = *form.Buttons[1];
    EXPECT_GE(yes.Top(), form.LabelText.Top() + form.LabelText.Height());
    EXPECT_EQ(yes.Top(), no.Top());
    EXPECT_LE(yes.Left() + yes.Width(), no.Left());
    EXPECT_GE(yes.Left(), 0);
    EXPECT_LE(no.Left() + no.Width(), form.Width());
    EXPECT_LE(no.Top() + no.Height(), form.Height());
    // A short text keeps the box at its least width.
    EXPECT_EQ(TMessageBoxForm("t", "x", {"OK"}, 0).Width(), 200 + 24);
}

// Enter presses the first button, Escape the cancel one, an accelerator its own; a box closed
// without one answers as the cancel button. Without a dialog window nothing is shown.
TEST_F(DrawnBox, KeysChooseAButtonAndAClosedBoxIsCancelled) {
    const std::vector<std::string> labels = {"はい(&Y)", "いいえ(&N)", "中止(&A)"};
    Key(VK_RETURN);
    EXPECT_EQ(DrawnMessageBox(display, "題", "続けますか？", labels, 1), 0);
    Key(VK_ESCAPE);
    EXPECT_EQ(DrawnMessageBox(display, "題", "続けますか？", labels, 1), 1);
    InputEvent typed;
    typed.kind = InputKind::Text;
    typed.text = "a";
    display.dialogInput.push_back(typed);
    EXPECT_EQ(DrawnMessageBox(display, "題", "続けますか？", labels, 1), 2);
    EXPECT_EQ(DrawnMessageBox(display, "題", "続けますか？", labels, 2), 2);
    ASSERT_EQ(display.dialogs.size(), 4u);
    EXPECT_EQ(display.dialogs[0].title, "題");
    EXPECT_FALSE(display.dialogs[0].frames.empty());
    const auto open = display.openDialog("another", 10, 10);
    EXPECT_EQ(DrawnMessageBox(display, "題", "x", {"OK"}, 0), std::nullopt);
}

// Without zenity a real window shows its boxes in the shell's drawn box, in code page 932.
TEST(DrawnBoxFallback, TheRealWindowShowsTheShellsBoxWithoutZenity) {
    const std::string empty = FreshHostFolder();
    const RealWindowEnvironment real;
    const std::unique_ptr<platform::Display> window = platform::CreateDisplay();
    ASSERT_FALSE(window->headless());
    const ScopedEnvironment path("PATH", empty.c_str()), server("DISPLAY", ":9");
    static std::vector<std::string> asked;
    platform::SetMessageBoxFallback([](platform::Display&, const std::string& Title, const std::string& Text,
                                       const std::vector<std::string>& Labels, size_t Cancel) {
        asked = {Title, Text, Labels.front(), Labels.back(), std::to_string(Cancel)};
        return std::optional<int>(0);
    });
    EXPECT_EQ(window->messageBox("題", "終了しますか？", platform::MessageButtons::YesNo, platform::MessageIcon::Question),
              platform::MessageResult::Yes);
    EXPECT_EQ(asked, (std::vector<std::string>{"題", "終了しますか？", "Yes", "No", "1"}));
    platform::SetMessageBoxFallback(nullptr);
    InitializeShell();
    EXPECT_EQ(platform::GetMessageBoxFallback(), &DrawnMessageBox);
    FinalizeShell();
    EXPECT_EQ(platform::GetMessageBoxFallback(), nullptr);
}

// A box nobody can see (no zenity, no drawn box, no window system's box) is one line on standard
// error: the title's own box and the player's report of an error alike, in the real window and
// in the headless one.
TEST(DrawnBoxFallback, ABoxNobodySeesIsOneLineOnStandardError) {
    const std::string empty = FreshHostFolder();
    const RealWindowEnvironment real;
    const std::unique_ptr<platform::Display> window = platform::CreateDisplay();
    ASSERT_FALSE(window->headless());
    platform::HeadlessDisplay headless;
    const ScopedEnvironment path("PATH", empty.c_str()), server("DISPLAY", ":9");
    for (platform::Display* display : {window.get(), static_cast<platform::Display*>(&headless)}) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(display->messageBox("題", "終了しますか？", platform::MessageButtons::Ok, platform::MessageIcon::None),
                  platform::MessageResult::Ok);
        ReportError(*display, "ファイルがありません");
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  U8(u8"題: 終了しますか？\nエラー: ファイルがありません\n"));
    }
}

// Without zenity and without a title the player waits on its drawn box, which says how to name a
// title, and writes that once to standard error; closed (here by SIGTERM) it ends with status 2.
TEST(DrawnBoxFallback, APlayerWithoutZenityAndATitleSaysHowToNameOneInItsBox) {
    const std::string empty = FreshHostFolder(), errors = empty + "errors.txt";
    const ScopedEnvironment path("PATH", empty.c_str()), server("DISPLAY", ":9");
    Child player(VELA_PLAYER_FOLDER "/velaplay", {}, errors, "/dev/null", ChildWindow::Offscreen);
    ASSERT_FALSE(player.WaitEnd(3000)) << FileText(errors);
    player.Signal(SIGTERM);
    ASSERT_TRUE(player.WaitEnd(10000));
    EXPECT_TRUE(player.ExitedWith(2));
    EXPECT_EQ(FileText(errors),
              U8(u8"velaplay: 再生するタイトルを指定してください。タイトルの game.dat を Vela プレイヤーで開くか、"
                 u8"そのフォルダを指定して起動します: velaplay フォルダ\n"));
}

}  // namespace
