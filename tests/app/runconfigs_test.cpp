// The settings dialog as "velaplay /config" shows it: run in the headless display's dialog
// window with scripted clicks and keys, and its handlers on their own for the edge values.
#include "app/runconfigs.h"

#include "app/gameini.h"
#include "platform/display.h"
#include "platform/fs.h"
#include "tests/common/dialog_keys.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

using platform::InputEvent;
using platform::InputKind;

class ConfigDialog : public testing::Test {
protected:
    void SetUp() override {
        folder = FreshHostFolder();
        ini = platform::fs::ToProgramPath(folder + "game.ini");
    }
    std::string Text() const {
        std::ifstream file(folder + "game.ini", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    void Write(const std::string& Text) const { std::ofstream(folder + "game.ini", std::ios::binary) << Text; }
    // A press and release of the left button at a point of the dialog, or at a control's middle.
    void Click(int32_t X, int32_t Y) {
        InputEvent e;
        e.x = X;
        e.y = Y;
        e.button = platform::MouseButton::Left;
        for (InputKind kind : {InputKind::MouseDown, InputKind::MouseUp}) {
            e.kind = kind;
            display.dialogInput.push_back(e);
        }
    }
    void Click(const TControl& Control) {
        Click(Control.Left() + Control.Width() / 2, Control.Top() + Control.Height() / 2);
    }
    void Key(int32_t Code) { PressDialogKey(display, Code); }
    std::string folder, ini;
    platform::HeadlessDisplay display;
    // Where the controls lie: a dialog of the same layout.
    TFormConfig layout{display, ""};
};

TEST_F(ConfigDialog, UncheckMoveTheTrackBarToThreeAndOk) {
    Click(layout.CheckSound);
    // The thumb takes the focus; two steps left from 5.
    const TRect thumb = layout.TrackBuff.ThumbRect();
    Click(layout.TrackBuff.Left() + (thumb.Left + thumb.Right) / 2, layout.TrackBuff.Top() + (thumb.Top + thumb.Bottom) / 2);
    Key(VK_LEFT);
    Key(VK_LEFT);
    Click(layout.btnOK);
    RunConfigDialog(display, ini);
    EXPECT_EQ(Text(), "[Sound]\r\nDirectSound=0\r\nDelayTime=300\r\n");
    ASSERT_EQ(display.dialogs.size(), 1u);
    EXPECT_EQ(display.dialogs[0].title, "動作設定");
    EXPECT_EQ(display.dialogs[0].bounds, platform::CentredDialogBounds(display.area, 270, 179));
    EXPECT_FALSE(display.dialogs[0].open);
    EXPECT_TRUE(display.messages.empty());
}

TEST_F(ConfigDialog, CancelLeavesTheFileAsItWasOrAbsent) {
    // The cancel button, Escape, and a dialog closed without an answer.
    for (int way = 0; way < 3; ++way) {
        std::filesystem::remove(folder + "game.ini");
        if (way == 0) Click(layout.btnCancel);
        if (way == 1) Key(VK_ESCAPE);
        RunConfigDialog(display, ini);
        EXPECT_FALSE(std::filesystem::exists(folder + "game.ini")) << way;
        Write("[Sound]\nDirectSound=1\nDelayTime=300\n[Mine]\nx=1\n");
        Click(layout.CheckSound);
        if (way == 0) Click(layout.btnCancel);
        if (way == 1) Key(VK_ESCAPE);
        RunConfigDialog(display, ini);
        EXPECT_EQ(Text(), "[Sound]\nDirectSound=1\nDelayTime=300\n[Mine]\nx=1\n") << way;
    }
}

TEST_F(ConfigDialog, DelaysShowAndWriteBackInSteps) {
    const struct {
        const char* stored;
        int32_t position;
        const char* shown;
        const char* written;
    } cases[] = {
        {"250", 2, "200ms", "200"}, {"900", 5, "500ms", "500"}, {"50", 1, "100ms", "100"}, {nullptr, 5, "500ms", "500"},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(folder + "game.ini");
        if (c.stored) Write(std::string("[Sound]\r\nDirectSound=0\r\nDelayTime=") + c.stored + "\r\n");
        TFormConfig form(display, ini);
        form.FormCreate();
        EXPECT_TRUE(form.Running);
        EXPECT_EQ(form.TrackBuff.Position(), c.position) << c.shown;
        EXPECT_EQ(form.LabelBuffInfo.Caption(), c.shown);
        // Without DirectSound the delay is what counts.
        EXPECT_EQ(form.CheckSound.Checked(), c.stored == nullptr);
        EXPECT_EQ(form.TrackBuff.Enabled(), c.stored != nullptr);
        EXPECT_EQ(form.LabelBuffInfo.Enabled(), c.stored != nullptr);
        form.btnOKClick();
        EXPECT_FALSE(form.Running);
        EXPECT_NE(Text().find(std::string("DelayTime=") + c.written + "\r\n"), std::string::npos) << Text();
    }
    // The file made by OK holds only the sound keys.
    EXPECT_EQ(Text(), "[Sound]\r\nDirectSound=1\r\nDelayTime=500\r\n");
}

TEST_F(ConfigDialog, AFileThatCannotBeWrittenIsKeptAndABoxSaysSo) {
    Write("[Sound]\nDirectSound=1\n");
    // The temporary file cannot be made in a read-only folder.
    {
        const ReadOnlyFolder readOnly(folder);
        if (!readOnly.Held()) GTEST_SKIP() << "the folder cannot be made read-only here";
        Click(layout.CheckSound);
        Click(layout.btnOK);
        RunConfigDialog(display, ini);
    }
    EXPECT_EQ(Text(), "[Sound]\nDirectSound=1\n");
    ASSERT_EQ(display.messages.size(), 1u);
    EXPECT_EQ(display.messages[0].caption, "動作設定");
    EXPECT_FALSE(display.dialogs.back().open);
}

// The program on the headless display: nobody answers, so the dialog closes and the player ends.
TEST(ConfigProgram, EndsWhenTheDialogCloses) {
    const ScopedEnvironment headless("VELA_HEADLESS", "1");
    const ProgramRun run = RunProgram(VELA_PLAYER_FOLDER "/velaplay", {"/CONFIG"});
    EXPECT_EQ(run.status, 0) << run.err;
}

}  // namespace
