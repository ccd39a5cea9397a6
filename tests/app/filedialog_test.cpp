// The drawn file and folder dialog, driven by keys and typed text in the headless display's
// dialog window; and the display falling back to it where zenity cannot be run.
#include "app/filedialog.h"

#include "app/entry.h"
#include "platform/dialogs.h"
#include "platform/fs.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using platform::FileDialogKind;
using platform::InputEvent;
using platform::InputKind;

class DrawnDialog : public testing::Test {
protected:
    void SetUp() override {
        root = FreshHostFolder();
        std::filesystem::create_directories(root + "sub/inner");
        for (const char* name : {"a.txt", "B.doc", "c.png", ".hidden.txt", "sub/deep.txt"}) std::ofstream(root + name) << "x";
    }
    void Key(int32_t Code, int Times = 1) {
        InputEvent e;
        e.key = Code;
        for (int i = 0; i < Times; ++i)
            for (InputKind kind : {InputKind::KeyDown, InputKind::KeyUp}) {
                e.kind = kind;
                display.dialogInput.push_back(e);
            }
    }
    void Type(const std::string& Text) {
        InputEvent e;
        e.kind = InputKind::Text;
        e.text = Text;
        display.dialogInput.push_back(e);
    }
    std::optional<std::string> Show(FileDialogKind Kind, const std::string& Filter = "") {
        return DrawnFileDialog(display, {Kind, root, Filter, {}});
    }
    std::string root;
    platform::HeadlessDisplay display;
};

TEST_F(DrawnDialog, ListsFoldersThenTheFilesTheFilterShows) {
    TFileDialogForm open(display, {FileDialogKind::Open, root, "文書|*.txt;*.DOC|画像|*.png", {}});
    EXPECT_EQ(open.Folder(), platform::fs::ToProgramPath(root));
    EXPECT_EQ(open.LabelFolder.Caption(), open.Folder());  // the Windows form on drive Z:
    EXPECT_EQ(open.ListEntries.Items, (std::vector<std::string>{"..", "sub\\", "a.txt", "B.doc"}));
    EXPECT_EQ(open.ListFilters.Items, (std::vector<std::string>{"文書", "画像"}));
    open.ListFilters.SetItemIndex(1);
    open.ListFilters.OnClick(&open.ListFilters);
    EXPECT_EQ(open.ListEntries.Items, (std::vector<std::string>{"..", "sub\\", "c.png"}));
    EXPECT_FALSE(open.EditName.Visible());
    // Folders only; the drive's root has no parent.
    TFileDialogForm folders(display, {FileDialogKind::Folder, "/", "", {}});
    EXPECT_EQ(folders.Folder(), "Z:\\");
    EXPECT_NE(folders.ListEntries.Items.at(0), "..");
    EXPECT_FALSE(folders.ListFilters.Visible());
    EXPECT_EQ(folders.Caption(), "フォルダの選択");
}

TEST_F(DrawnDialog, OpenEntersAFolderAndChoosesAFile) {
    Key(VK_DOWN, 2);  // "sub\"
    Key(VK_RETURN);
    Key(VK_DOWN, 3);  // "..", "inner\", "deep.txt"
    Key(VK_RETURN);
    EXPECT_EQ(Show(FileDialogKind::Open, "All|*.*"), root + "sub/deep.txt");
    ASSERT_EQ(display.dialogs.size(), 1u);
    EXPECT_EQ(display.dialogs[0].title, "開く");
}

TEST_F(DrawnDialog, SaveAsksBeforeReplacingAFile) {
    Type("a.txt");
    Key(VK_RETURN);  // "No": the dialog stays
    Key(VK_RETURN);  // "Yes"
    display.answers = {platform::MessageResult::No, platform::MessageResult::Yes};
    EXPECT_EQ(Show(FileDialogKind::Save), root + "a.txt");
    ASSERT_EQ(display.messages.size(), 2u);
    EXPECT_EQ(display.messages[0].text, "a.txt は既に存在します。\r\n上書きしますか？");
    EXPECT_EQ(display.messages[0].caption, "名前を付けて保存");

    // A new name is taken as it is; a folder's name enters it; a path is not followed.
    Type("sub");
    Key(VK_RETURN);
    Type("..\\x.txt");
    Key(VK_RETURN);
    Key(VK_BACK, 8);
    Type("新規.txt");
    Key(VK_RETURN);
    EXPECT_EQ(Show(FileDialogKind::Save), root + "sub/" + U8(u8"新規.txt"));
    EXPECT_EQ(display.messages.size(), 2u);
}

TEST_F(DrawnDialog, FolderChoosesTheSelectedOrTheListedFolder) {
    Key(VK_DOWN, 2);
    Key(VK_RETURN);
    EXPECT_EQ(Show(FileDialogKind::Folder), root + "sub");
    // Nothing selected: the folder listed.
    Key(VK_RETURN);
    EXPECT_EQ(Show(FileDialogKind::Folder), root);
}

TEST_F(DrawnDialog, CancelledByEscapeOrWhenNobodyAnswers) {
    Key(VK_DOWN, 3);
    Key(VK_ESCAPE);
    EXPECT_EQ(Show(FileDialogKind::Open), std::nullopt);
    EXPECT_EQ(Show(FileDialogKind::Save), std::nullopt);
    EXPECT_EQ(display.dialogs.size(), 2u);
}

// Without zenity a real window shows the shell's drawn dialog; without the shell it counts as
// cancelled.
TEST_F(DrawnDialog, TheDisplayFallsBackToTheDrawnDialogWithoutZenity) {
    const std::string empty = FreshHostFolder();
    const RealWindowEnvironment real;
    const std::unique_ptr<platform::Display> window = platform::CreateDisplay();
    ASSERT_FALSE(window->headless());
    ScopedEnvironment path("PATH", empty.c_str());
    EXPECT_EQ(window->fileDialog({FileDialogKind::Open, root, "", {}}), std::nullopt);
    static platform::FileDialogRequest asked;
    platform::SetFileDialogFallback([](platform::Display&, const platform::FileDialogRequest& Request) {
        asked = Request;
        return std::optional<std::string>("/chosen");
    });
    EXPECT_EQ(window->fileDialog({FileDialogKind::Save, root, "文書|*.txt", "題"}), "/chosen");
    EXPECT_EQ(asked.filter, "文書|*.txt");  // code page 932, as the program gives it
    EXPECT_EQ(asked.title, "題");
    platform::SetFileDialogFallback(nullptr);
    InitializeShell();
    EXPECT_EQ(platform::GetFileDialogFallback(), &DrawnFileDialog);
    FinalizeShell();
    EXPECT_EQ(platform::GetFileDialogFallback(), nullptr);
}

}  // namespace
