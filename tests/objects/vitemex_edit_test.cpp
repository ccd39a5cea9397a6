// The edit and memo objects with input injected as the window reports it, on the fake font
// service (12-pixel cells, glyphs advancing 8) and the headless display's clipboard: key-down
// notification, Enter, the shown test at the centre, the disabled field, the input-method state,
// Shift-JIS paste, and the records against tests/tools/edit_records.py.
#include "objects/vitemex_edit.h"

#include "objects/vitems_kinds.h"
#include "platform/display.h"
#include "tests/common/fixture.h"
#include "text/fontpixels.h"

#include <gtest/gtest.h>

namespace {

using platform::InputEvent;
using platform::InputKind;

class TextFields : public ::testing::Test {
protected:
    void SetUp() override {
        CreateScriptServices();
        VelaInitialize();
        Bases->SetWidth(120);
        Bases->SetHeight(80);
        FontPixelManager = new TFontPixelManager(platform::CreateFakeFontService);
        SetTextFieldWindow(&display, {0, 0});
    }
    void TearDown() override {
        SetTextFieldWindow(nullptr, {0, 0});
        delete FontPixelManager;
        FontPixelManager = nullptr;
        VelaFinalize();
        FreeScriptServices();
    }
    // A shown field at (10, 10), 80 x 40, on the current layer, with the focus.
    template <class T>
    T* Field(const std::string& Name) {
        auto* field = new T(Bases, false);
        field->SetName(Name);
        field->SetParent(Bases->GetBase(0));
        field->SetBounds(10, 10, 80, 40);
        field->SetFontheight(12);
        field->SetOnnotify("notify.vsb");
        field->UpdateNative();
        return field;
    }
    static bool Send(InputKind Kind, int32_t Key = 0, const std::string& Text = "", int32_t X = 0, int32_t Y = 0) {
        InputEvent e;
        e.kind = Kind;
        e.key = Key;
        e.text = Text;
        e.x = X;
        e.y = Y;
        e.button = platform::MouseButton::Left;
        return DispatchTextFieldInput(e);
    }
    // The arguments of the pending PR_ONNOTIFY events, in order.
    static std::vector<std::vector<std::string>> Notified() {
        std::vector<std::vector<std::string>> out;
        TTimerList& events = Bases->GetEvents();
        for (int i = 0; i < events.Count(); ++i) {
            const TTimerData* e = events.Items(i);
            if (e->Kind != PR_ONNOTIFY) continue;
            std::vector<std::string>& args = out.emplace_back();
            for (int a = 0; a < e->Args.Count(); ++a) args.push_back(e->Args.Strings(a));
        }
        return out;
    }
    platform::HeadlessDisplay display;
};

TEST_F(TextFields, KeysNotifyWithTheWholeTextAndEnterEndsOnlyTheMemosLine) {
    TVelaEdit* edit = Field<TVelaEdit>("name");
    ASSERT_EQ(TextFieldFocus(), edit);
    EXPECT_EQ(Bases->GetFocus(), edit);
    EXPECT_TRUE(display.textInput);
    edit->SetText("ab");  // selected whole: typing replaces it
    EXPECT_TRUE(Send(InputKind::KeyDown, 'A'));
    EXPECT_TRUE(Send(InputKind::Text, 0, "x"));
    EXPECT_TRUE(Send(InputKind::KeyUp, 'A'));
    EXPECT_TRUE(Send(InputKind::KeyDown, 13));
    EXPECT_EQ(edit->GetText(), "x");
    EXPECT_EQ(Notified(), (std::vector<std::vector<std::string>>{{"65", "ab"}, {"13", "x"}}));
    // The text input follows the caret: 8 pixels a character past the field's left and margin.
    EXPECT_EQ(display.textInputCaret, (platform::PixelRect{10 + 1 + 8, 10, 10 + 1 + 8 + 1, 10 + 12}));

    TVelaMemo* memo = Field<TVelaMemo>("note");
    EXPECT_EQ(TextFieldFocus(), memo);  // a memo takes the focus from another field
    Send(InputKind::Text, 0, "a");
    Send(InputKind::KeyDown, 13);
    Send(InputKind::Text, 0, "b");
    EXPECT_EQ(memo->GetText(), "a\r\nb");
    EXPECT_EQ(memo->GetField().Lines().size(), 2u);
    // A press on the bare scene gives the keys back to the scene.
    EXPECT_FALSE(Send(InputKind::MouseDown, 0, "", 110, 70));
    EXPECT_EQ(TextFieldFocus(), nullptr);
    EXPECT_FALSE(display.textInput);
    EXPECT_FALSE(Send(InputKind::KeyDown, 'C'));
}

TEST_F(TextFields, AnObjectOverTheCentreHidesTheFieldUntilItMoves) {
    TVelaEdit* edit = Field<TVelaEdit>("name");
    edit->SetColor(0x00FF00);
    TCustomDIBX& screen = *Bases->GetSurface();
    auto drawn = [&] {
        Bases->GetBase(0)->InvalidateAll();
        Bases->Prepare();
        return screen.GetPixel(12, 45);
    };
    const uint32_t green = uint32_t(screen.ColorToPixel(0x00FF00));
    EXPECT_EQ(drawn(), green);
    auto* box = new TVelaBox(Bases, false);
    box->SetName("cover");
    box->SetParent(Bases->GetBase(0));
    box->SetPriority(1);
    box->SetBounds(45, 25, 10, 10);  // above the field, over its centre (50, 30)
    edit->Step();
    EXPECT_FALSE(edit->NativeVisible());
    EXPECT_EQ(TextFieldFocus(), nullptr);
    EXPECT_NE(drawn(), green);
    box->SetLeft(70);
    edit->Step();
    EXPECT_TRUE(edit->NativeVisible());
    EXPECT_EQ(drawn(), green);
    // A press on the shown field puts the caret where it lands.
    edit->SetText("abc");
    EXPECT_TRUE(Send(InputKind::MouseDown, 0, "", 10 + 1 + 8 + 3, 20));
    EXPECT_TRUE(Send(InputKind::MouseUp, 0, "", 10 + 1 + 8 + 3, 20));
    EXPECT_EQ(edit->GetField().CaretPos(), 1u);
}

TEST_F(TextFields, APausedFieldIsDisabledAndTheImeStateIsTheEditsOwn) {
    TVelaEdit* edit = Field<TVelaEdit>("name");
    edit->SetPaused(true);
    EXPECT_TRUE(edit->GetPaused());
    EXPECT_EQ(TextFieldFocus(), nullptr);
    EXPECT_FALSE(Send(InputKind::MouseDown, 0, "", 20, 20));
    edit->UpdateNative();
    EXPECT_EQ(TextFieldFocus(), nullptr);
    edit->SetPaused(false);
    edit->FocusNativeControl();
    EXPECT_EQ(TextFieldFocus(), edit);

    TVelaMemo* memo = Field<TVelaMemo>("note");
    edit->SetEditValue(true);
    memo->SetEditValue(true);
    EXPECT_TRUE(edit->GetEditValue());
    EXPECT_FALSE(memo->GetEditValue());
    memo->SetImemode(IM_HIRA);
    EXPECT_EQ(memo->GetImemode(), IM_HIRA);
    EXPECT_EQ(edit->GetImemode(), IM_DONTCARE);
}

TEST_F(TextFields, PasteAndCutKeepShiftJisCharactersWhole) {
    TVelaEdit* edit = Field<TVelaEdit>("name");
    display.clipboard = "表示";  // 95 5C 8E A6: a trail byte 0x5C
    Send(InputKind::KeyDown, 0x11);
    Send(InputKind::KeyDown, 'V');
    Send(InputKind::KeyUp, 0x11);
    EXPECT_EQ(edit->GetText(), "表示");
    Send(InputKind::KeyDown, 0x25);  // left over 示
    Send(InputKind::KeyDown, 0x08);  // back over 表, both bytes
    EXPECT_EQ(edit->GetText(), "示");
    Send(InputKind::KeyDown, 0x10);
    Send(InputKind::KeyDown, 0x23);  // Shift+End selects 示
    Send(InputKind::KeyDown, 0x2E);  // Shift+Delete cuts
    EXPECT_EQ(edit->GetText(), "");
    EXPECT_EQ(display.clipboard, "示");
    // A field of one line pastes up to the first line break; a memo takes them as CR LF.
    display.clipboard = "a\nb";
    Send(InputKind::KeyUp, 0x10);
    Send(InputKind::KeyDown, 0x2D);
    EXPECT_TRUE(edit->GetText().empty());  // Insert alone pastes nothing
    Send(InputKind::KeyDown, 0x10);
    Send(InputKind::KeyDown, 0x2D);
    EXPECT_EQ(edit->GetText(), "a");
    TVelaMemo* memo = Field<TVelaMemo>("note");
    Send(InputKind::KeyDown, 0x2D);
    EXPECT_EQ(memo->GetText(), "a\r\nb");
}

TEST_F(TextFields, RecordsMatchTheReferenceAtTheImeModeGate) {
    for (const char* kind : {"edit", "memo"}) {
        const std::vector<ReferenceRecord> records = ReferenceRecords("edit_records.py", {kind});
        ASSERT_EQ(records.size(), 4u);
        for (const ReferenceRecord& r : records) {
            SCOPED_TRACE(std::string(kind) + " " + std::to_string(r.version));
            std::unique_ptr<TVelaTextField> field;
            if (kind == std::string("edit")) field = std::make_unique<TVelaEdit>(Bases, false);
            else field = std::make_unique<TVelaMemo>(Bases, false);
            field->SetParent(Bases->GetBase(0));
            ExpectReadsAsReferenced(*field, r);
            EXPECT_TRUE(field->GetPaused());
            EXPECT_EQ(field->GetFontheight(), 16);
            EXPECT_EQ(field->GetImemode(), r.version >= 142 ? IM_HIRA : IM_DONTCARE);
            EXPECT_FALSE(field->NativeVisible());  // the control is hidden
        }
    }
}

}  // namespace
