// The preview menu on menu files written by tools/vprevmenu.py: the entries and the pictures
// held for them, the image and preview of each state, radio and toggle groups, settle
// animations, keys, the script functions that reach the entries, and the record.
#include "core/vrfiles_manager.h"
#include "objects/vitemex_prevmenu.h"
#include "script/params_parser.h"
#include "tests/objects/image_kinds_fixture.h"
#include "tests/objects/prevmenu_fixture.h"

#include <functional>
#include <map>

namespace {

// Entry a is a plain button with every image and preview; b and c form radio group 1, d is a
// toggle of group -1.
constexpr const char* MenuJson = R"({"Version": 200, "Width": 64, "Height": 32, "Button": [
  {"Name": "a", "Left": 0, "Path": "a.mra", "InImagePath": "a_in.mra", "OutImagePath": "a_out.mra",
   "SettleImagePath": "a_set.mra", "InPrevPath": "pa_in.mra", "OutPrevPath": "pa_out.mra",
   "SettlePrevPath": "pa_set.mra", "DisImagePath": "a_dis.mra", "DisInImagePath": "a_disin.mra",
   "DisOutImagePath": "a_disout.mra", "DisInPrevPath": "pa_disin.mra", "DisOutPrevPath": "pa_disout.mra",
   "CursorPath": "a.cur", "PrevLeft": 40, "PrevTop": 20},
  {"Name": "b", "Left": 10, "Group": 1, "Path": "b.mra", "DownImagePath": "b_down.mra",
   "DownInImagePath": "b_downin.mra", "DownOutImagePath": "b_downout.mra", "InImagePath": "b_in.mra",
   "DownInPrevPath": "pb_downin.mra", "DownOutPrevPath": "pb_downout.mra", "DownOnPrevPath": "pb_on.mra",
   "DownOnPrevRepeat": true, "DownOffPrevPath": "pb_off.mra", "DownOffPrevRepeat": true},
  {"Name": "c", "Left": 20, "Group": 1, "Path": "c.mra", "DownImagePath": "c_down.mra", "InImagePath": "c_in.mra",
   "DownOffPrevPath": "pc_off.mra", "DownOffPrevRepeat": true, "OutPrevPath": "pc_out.mra"},
  {"Name": "d", "Left": 30, "Group": -1, "Path": "d.mra", "DownImagePath": "d_down.mra"}]})";

constexpr const char* Pictures[] = {
    "a.mra", "a_in.mra", "a_out.mra", "a_set.mra", "pa_in.mra", "pa_out.mra", "pa_set.mra", "a_dis.mra",
    "a_disin.mra", "a_disout.mra", "pa_disin.mra", "pa_disout.mra", "b.mra", "b_down.mra", "b_downin.mra",
    "b_downout.mra", "b_in.mra", "pb_downin.mra", "pb_downout.mra", "pb_on.mra", "pb_off.mra", "c.mra",
    "c_down.mra", "c_in.mra", "pc_off.mra", "pc_out.mra", "d.mra", "d_down.mra"};

// A film whose image tracks name pictures and films (itself among them); counts its opens.
class TTrackFilm : public TVelaFilm {
public:
    std::vector<std::string> ImageTrackFiles(const std::string& FileName) override {
        ++Opens;
        if (AnsiSameText(FileName, "loop.vmt")) return {"loop.vmt", "other.vmt", "t1.mra"};
        return {"loop.vmt", "t2.mra", "t1.mra"};
    }
    static inline int Opens = 0;
};

class PrevMenu : public ImageKindsTest {
protected:
    void SetUp() override {
        ImageKindsTest::SetUp();
        CreateVrFileSystem();
        VrFileManager->SetCdRoots({});
        VrFileManager->Add("");
        for (const char* name : Pictures) Cache->Source->Files[name] = {{8, 4, 100, false}};
        Layer = Bases->GetBase(0);
    }
    void TearDown() override {
        Bases->Clear();
        FreeVrFileSystem();
        ImageKindsTest::TearDown();
    }
    void AddFile(const std::string& Name, const std::string& Bytes) {
        VrFileManager->GetCollection(0).AddStream(Name).DataSource->WriteBuffer(Bytes.data(),
                                                                              static_cast<int64_t>(Bytes.size()));
    }
    TVelaPrevMenu* Open(const std::string& Json = MenuJson) {
        AddFile("menu.xml", PrevMenuFile("xml", Json));
        Menu = Make<TVelaPrevMenu>("pm");
        Menu->SetSource("menu.xml");
        return Menu;
    }
    // The pointer moved to (X, Y) and the input step run.
    void MoveTo(int32_t X, int32_t Y) {
        Layer->SetMousePos({X, Y});
        Bases->Update(Host->Clock);
    }
    // A left click (press in one tick, release in the next) at the pointer.
    void Click() {
        Layer->LeftHeld = Layer->LeftLatch = true;
        Bases->Update(Host->Clock);
        Layer->LeftHeld = false;
        Bases->Update(Host->Clock);
    }
    void ClickEntry(int32_t I) {
        MoveTo(Menu->GetEntry(I)->GetLeft() + 1, 1);
        Click();
    }
    void Keys(std::vector<int32_t> Codes) {
        Bases->Keys.RepeatKeys = std::move(Codes);
        Menu->DoKeyPress();
    }
    std::string Image(int32_t I) const { return Menu->GetEntry(I)->GetSource(); }
    std::string Preview(int32_t I) const {
        const TVelaPrevImages* p = Menu->GetPreview(I);
        return p ? p->GetSource() : "-";
    }
    static std::string Eval(const std::string& Text) {
        TVelaParser expression;
        CompileExpression(Text, expression);
        expression.Execute();
        const TCustomParam* value = expression.Result();
        return value ? value->AsStr() : "none";
    }

    TVelaBase* Layer = nullptr;
    TVelaPrevMenu* Menu = nullptr;
};

TEST_F(PrevMenu, LoadsEntriesAsSystemChildrenAndHoldsEachPictureOnce) {
    Open();
    EXPECT_EQ(Menu->GetWidth(), 64);
    EXPECT_EQ(Menu->GetHeight(), 32);
    EXPECT_EQ(Menu->GetCount(), 4);
    EXPECT_EQ(Menu->GetText(), "a\r\nb\r\nc\r\nd");
    EXPECT_EQ(Menu->GetCompoType(), 25);
    ASSERT_NE(Menu->GetEntry(3), nullptr);
    EXPECT_TRUE(IsSystemName(Menu->GetEntry(3)->GetName()));
    EXPECT_EQ(Menu->GetEntry(3)->GetParent(), Menu);
    EXPECT_EQ(Menu->GetEntry(3)->GetLeft(), 30);
    EXPECT_EQ(Menu->GetEntry(3)->GetSubPriority(), 3);
    EXPECT_TRUE(Menu->GetEntry(0)->GetRepeat());
    // Every picture named (cursor and disabled in/out images aside) is in the cache, each once,
    // with the previews shown at load (the down-on and down-off previews of the radio group).
    EXPECT_EQ(MiraMan->Count(), 26);
    // An entry freed by someone else leaves its place empty: hover, keys and cursor go on.
    delete Menu->GetEntry(1);
    EXPECT_EQ(Menu->GetEntry(1), nullptr);
    MoveTo(11, 1);
    EXPECT_EQ(Menu->GetHoverIndex(), -1);
    Keys({39, 39});
    EXPECT_EQ(Menu->GetHoverIndex(), 1);
    EXPECT_EQ(Menu->GetCurrentCursor(), "");
    const int decodes = Cache->Source->Decodes;
    Menu->SetSource("");
    EXPECT_EQ(Menu->GetCount(), 0);
    EXPECT_EQ(Menu->GetWidth(), 0);
    EXPECT_EQ(MiraMan->Count(), 0);  // all handed back
    EXPECT_EQ(Cache->Source->Decodes, decodes);
    Menu->SetSource("missing.xml");
    EXPECT_EQ(Menu->GetCount(), 0);
    EXPECT_EQ(Menu->GetHeight(), 0);
}

TEST_F(PrevMenu, FilmsArePreloadedThroughTheirImageTracksOncePerLoad) {
    SetFilmFactory([]() -> std::unique_ptr<TVelaFilm> { return std::make_unique<TTrackFilm>(); });
    TTrackFilm::Opens = 0;
    Open(R"({"Version": 200, "Button": [{"Name": "f", "Path": "loop.vmt", "InImagePath": "other.VMT"}]})");
    EXPECT_EQ(TTrackFilm::Opens, 2);  // loop.vmt and other.vmt, each once
    EXPECT_EQ(MiraMan->Count(), 2);   // t1 and t2
}

TEST_F(PrevMenu, ImageAndPreviewOfEachState) {
    Open();
    struct Row {
        const char* Step;
        std::function<void()> Action;
        int32_t Entry;
        const char* Image;
        const char* Preview;
    };
    const std::vector<Row> rows = {
        {"at rest", [] {}, 0, "a.mra", "-"},
        {"radio group: first member down", [] {}, 1, "b_down.mra", "pb_on.mra"},
        {"radio group: other member", [] {}, 2, "c.mra", "pc_off.mra"},
        {"hover in", [&] { MoveTo(1, 1); }, 0, "a_in.mra", "pa_in.mra"},
        {"hover out", [&] { MoveTo(60, 30); }, 0, "a_out.mra", "pa_out.mra"},
        {"out animation ended", [&] { Tick(150); }, 0, "a.mra", "-"},
        {"disabled", [&] { Menu->SetPrevFlag1(0, false); }, 0, "a_dis.mra", "-"},
        {"disabled hover in", [&] { MoveTo(1, 1); }, 0, "a_disin.mra", "pa_disin.mra"},
        {"disabled hover out", [&] { MoveTo(60, 30); }, 0, "a_disout.mra", "pa_disout.mra"},
        {"down member hover in", [&] { MoveTo(11, 1); }, 1, "b_downin.mra", "pb_downin.mra"},
        {"grouped member hover in", [&] { MoveTo(21, 1); }, 2, "c_in.mra", "pc_off.mra"},
        {"down member hover out", [] {}, 1, "b_downout.mra", "pb_downout.mra"},
        {"down member at rest", [&] { Tick(150); }, 1, "b_down.mra", "-"},
    };
    for (const Row& row : rows) {
        row.Action();
        EXPECT_EQ(Image(row.Entry), row.Image) << row.Step;
        EXPECT_EQ(Preview(row.Entry), row.Preview) << row.Step;
    }
    EXPECT_EQ(Menu->GetPreview(2)->GetLeft(), 0);  // c's previews stand at its (0, 0)
    MoveTo(1, 1);
    EXPECT_EQ(Menu->GetCurrentCursor(), "a.cur");
    MoveTo(60, 30);
    EXPECT_EQ(Menu->GetCurrentCursor(), "");
}

TEST_F(PrevMenu, RadioGroupsMoveTheirDownStateAndToggleGroupsFlip) {
    Open();
    Menu->SetOnselect("chosen");
    EXPECT_TRUE(Menu->GetPrevValue1(1));  // nothing down: the first visible member reads as down
    EXPECT_FALSE(Menu->GetPrevValue1(2));
    ClickEntry(2);
    EXPECT_TRUE(Menu->GetPrevValue1(2));
    EXPECT_FALSE(Menu->GetPrevValue1(1));
    EXPECT_EQ(Image(1), "b.mra");
    EXPECT_EQ(Preview(1), "pb_downout.mra");
    EXPECT_EQ(Image(2), "c_down.mra");
    EXPECT_EQ(ParamMan->SelStr(), "c");
    EXPECT_EQ(ParamMan->SelIndex(), 2);
    const int at = Bases->GetEvents().IndexOf(Menu, PR_ONSELECT);
    ASSERT_GE(at, 0);
    EXPECT_EQ(Bases->GetEvents().Items(at)->Args.Count(), 2);
    Bases->GetEvents().Clear();

    // The down member of a radio group: nothing at all.
    ParamMan->SetSelStr("before");
    ClickEntry(2);
    EXPECT_EQ(ParamMan->SelStr(), "before");
    EXPECT_LT(Bases->GetEvents().IndexOf(Menu, PR_ONSELECT), 0);
    EXPECT_EQ(Image(2), "c_down.mra");  // unchanged by the click

    ClickEntry(3);
    EXPECT_TRUE(Menu->GetPrevValue1(3));
    ClickEntry(3);
    EXPECT_FALSE(Menu->GetPrevValue1(3));
    EXPECT_EQ(ParamMan->SelStr(), "d");

    // Hiding the down member hands the down reading to the next visible one.
    Menu->SetPrevFlag2(2, false);
    EXPECT_FALSE(Menu->GetEntry(2)->GetVisible());
    EXPECT_EQ(Image(2), "");
    EXPECT_FALSE(Menu->GetPrevValue1(2));
    EXPECT_TRUE(Menu->GetPrevValue1(1));
    EXPECT_EQ(Image(1), "b_down.mra");
}

TEST_F(PrevMenu, SettleAnimationsHoldTheMenuUntilTheyEnd) {
    Open();
    Menu->SetOnplayend("ended");
    ClickEntry(0);
    EXPECT_EQ(Menu->GetPendingCount(), 2);
    EXPECT_EQ(Image(0), "a_set.mra");
    EXPECT_EQ(Preview(0), "pa_set.mra");
    EXPECT_EQ(ParamMan->SelStr(), "a");
    MoveTo(21, 1);  // no hover change while settling
    EXPECT_EQ(Menu->GetHoverIndex(), 0);
    MoveTo(1, 1);
    Tick(150);
    EXPECT_EQ(Menu->GetPendingCount(), 0);
    EXPECT_EQ(Preview(0), "-");
    EXPECT_EQ(Image(0), "a_in.mra");  // steady, hovered
    EXPECT_GE(Bases->GetEvents().IndexOf(Menu, PR_ONPLAYEND), 0);

    // A press on another entry cuts the settling short; its release then chooses that entry.
    ClickEntry(0);
    ClickEntry(3);
    EXPECT_EQ(Menu->GetPendingCount(), 0);
    EXPECT_TRUE(Menu->GetPrevValue1(3));

    // With AutoScrap presses do not cut it, releases do not choose, and the menu goes when the
    // last settle animation ends.
    Menu->SetAutoscrap(true);
    ClickEntry(0);
    ClickEntry(3);
    EXPECT_TRUE(Menu->GetPrevValue1(3));
    EXPECT_EQ(Menu->GetPendingCount(), 2);
    Tick(150);
    EXPECT_EQ(Bases->FindObject("pm"), nullptr);
}

// The player's tick runs the input step after the clock has advanced: a settle animation chosen
// there (in a tick of 90 ms, the release waiting behind it) is first drawn at the end of that
// tick and shows its first frame for its own 120 ms from then on, not for what the tick left.
TEST_F(PrevMenu, TheSettleAnimationsFirstFrameLastsItsOwnTime) {
    Cache->Source->Files["a_set.mra"] = {{8, 4, 120, false}, {8, 4, 120, false}};
    Open();
    MoveTo(1, 1);
    Layer->LeftHeld = Layer->LeftLatch = true;
    Bases->Update(Host->Clock);
    Layer->LeftHeld = false;
    Host->Clock += 90;
    Host->Tick = 90;
    Bases->Update(Host->Clock);
    Bases->Step();
    ASSERT_EQ(Image(0), "a_set.mra");
    int ticks = 0;
    while (Menu->GetEntry(0)->GetIndex() == 0 && ticks < 20) {
        Tick(16);
        ++ticks;
    }
    EXPECT_EQ(ticks, 8);  // 7 x 16 ms fall short of 120
}

TEST_F(PrevMenu, RightClicksAnywhereCancelTheMenu) {
    Open();
    Menu->SetRclickscrap(true);
    Menu->SetIgnoremouse(IM_CLICK);  // not offered the press
    ParamMan->SetSelStr("x");
    Layer->SetMousePos({200, 100});
    Layer->RightHeld = Layer->RightLatch = true;
    Bases->Update(Host->Clock);
    EXPECT_NE(Bases->FindObject("pm"), nullptr);
    Menu->SetIgnoremouse(IM_LCLICK);
    Layer->RightLatch = true;
    Bases->Update(Host->Clock);
    EXPECT_EQ(Bases->FindObject("pm"), nullptr);
    EXPECT_EQ(ParamMan->SelStr(), "");
    EXPECT_EQ(ParamMan->SelIndex(), -1);
    EXPECT_EQ(Bases->GetVelaList().Count(), 1);  // listed until it is freed
    Tick(15);
    EXPECT_EQ(Bases->GetVelaList().Count(), 0);
}

TEST_F(PrevMenu, KeysRingThroughTheVisibleEntries) {
    Open();
    Keys({38});  // Up from no hover: the last visible entry
    EXPECT_EQ(Menu->GetHoverIndex(), 3);
    Keys({40});  // Down from the last wraps
    EXPECT_EQ(Menu->GetHoverIndex(), 0);
    Menu->SetPrevFlag2(1, false);
    Keys({39});  // b is hidden: skipped
    EXPECT_EQ(Menu->GetHoverIndex(), 2);
    Keys({37, 37});
    EXPECT_EQ(Menu->GetHoverIndex(), 3);
    Keys({13});
    EXPECT_EQ(ParamMan->SelStr(), "d");
    for (int32_t i = 0; i < 4; ++i) Menu->SetPrevFlag2(i, false);
    Keys({38});
    EXPECT_EQ(Menu->GetHoverIndex(), 3);  // no visible entry: keys do nothing
}

TEST_F(PrevMenu, ScriptFunctionsReachTheEntries) {
    Open();
    // A setter (nullptr) stores no result.
    const std::vector<std::pair<const char*, const char*>> cases = {
        {R"(GetItem("pm", 2))", "c"},
        {R"(GetItem("pm", 4))", ""},
        {R"(GetGroupIndex("pm", "d"))", "-1"},
        {R"(GetGroupIndex("pm", 9))", "0"},
        {R"(GetEnabled("pm", "b"))", "TRUE"},
        {R"(SetEnabled("pm", "b", 0))", nullptr},
        {R"(GetEnabled("pm", 1))", "FALSE"},
        {R"(GetVisible("pm", "zz"))", "FALSE"},
        {R"(GetSelected("pm", "b"))", "TRUE"},
        {R"(SetSelected("pm", "c", 1))", nullptr},
        {R"(GetSelected("pm", "b"))", "FALSE"},
        {R"(GetSelected("pm", "2"))", "TRUE"},
        {R"(SetSelected("pm", "a", 1))", nullptr},
        {R"(GetSelected("pm", "a"))", "FALSE"},
        {R"(SetVisible("pm", 3, 0))", nullptr},
        {R"(GetVisible("pm", 3))", "FALSE"},
    };
    for (const auto& [text, want] : cases) {
        const std::string result = Eval(text);
        if (want) {
            EXPECT_EQ(result, want) << text;
        }
    }
    EXPECT_EQ(Image(1), "b.mra");  // disabled without a disabled image: its picture
    EXPECT_EQ(Menu->IndexOfItemText("C"), -1);
}

// Through any run of hides, shows and presses, each entry's down reading follows from the flags
// the record stores: a down entry reads as down while shown and first of its group's down ones;
// an up one while shown, first shown of a positive group, and no shown member down.
TEST_F(PrevMenu, DownReadingsFollowTheStoredFlagsThroughAnyChanges) {
    const std::vector<int32_t> groups{1, 2, 1, -1, 1, 2, -1, 0, 1, -1};
    const int32_t n = static_cast<int32_t>(groups.size());
    std::string json = R"({"Version": 200, "Width": 64, "Height": 32, "Button": [)";
    for (int32_t i = 0; i < n; ++i)
        json += (i ? "," : "") + std::string(R"({"Name": "e)") + std::to_string(i) + R"(", "Left": )" +
                std::to_string(i * 4) + R"(, "Group": )" + std::to_string(groups[size_t(i)]) + R"(, "Path": "b.mra"})";
    Open(json + "]}");
    uint32_t seed = 7;
    for (int step = 0; step < 300; ++step) {
        seed = seed * 1103515245u + 12345u;
        const int32_t entry = int32_t(seed >> 16) % n;
        (Menu->*((seed >> 4 & 3) == 0 ? &TVelaPrevMenu::SetPrevFlag2 : &TVelaPrevMenu::SetPrevValue1))(entry, seed >> 9 & 1);
        TMemoryStream record;
        Menu->SaveToStream(record);
        const auto* down = static_cast<const uint8_t*>(record.Memory()) + record.Size() - n;
        const uint8_t* visible = down - 4 - n;
        for (int32_t i = 0; i < n; ++i) {
            const int32_t group = groups[size_t(i)];
            bool reads = visible[i] && group != 0 && (down[i] || group > 0);
            for (int32_t j = 0; j < n; ++j)
                if (groups[size_t(j)] == group && j != i && (down[i] ? j < i && down[j] : visible[j] && (down[j] || j < i)))
                    reads = false;
            EXPECT_EQ(Menu->GetPrevValue1(i), reads) << "step " << step << ", entry " << i;
        }
    }
}

TEST_F(PrevMenu, RecordsAtEachFlagGateAndSavedAgainUnchanged) {
    Open();
    Menu->SetRclickscrap(true);
    Menu->SetOnmapin("in");
    Menu->SetOnmapout("out");
    Menu->SetOnidle("idle");
    Menu->SetOnselect("sel");
    Menu->SetOnplayend("end");
    Menu->SetPrevFlag1(1, false);
    Menu->SetPrevFlag2(3, false);
    Menu->SetPrevValue1(2, true);
    Menu->SetPrevValue1(3, true);
    TMemoryStream saved;
    Menu->SaveToStream(saved);
    delete Menu;

    struct Expect {
        std::vector<bool> Enabled, Visible, Down;  // Down: the down reading (false when hidden)
    };
    const Expect before127{{1, 1, 1, 1}, {1, 1, 1, 1}, {0, 1, 0, 0}};
    const std::map<int32_t, Expect> expected = {
        {126, before127},
        {127, {{1, 0, 1, 1}, {1, 1, 1, 1}, {0, 1, 0, 0}}},
        {131, {{1, 0, 1, 1}, {1, 1, 1, 1}, {0, 1, 0, 0}}},
        {132, {{1, 0, 1, 1}, {1, 1, 1, 0}, {0, 1, 0, 0}}},
        {135, {{1, 0, 1, 1}, {1, 1, 1, 0}, {0, 1, 0, 0}}},
        {136, {{1, 0, 1, 1}, {1, 1, 1, 0}, {0, 0, 1, 0}}},
        {GameSaveVersion, {{1, 0, 1, 1}, {1, 1, 1, 0}, {0, 0, 1, 0}}}};
    int versions = 0;
    for (const std::string& line : Lines(PythonOutput("prevmenu_records.py"))) {
        const int32_t version = std::stoi(line.substr(0, 3));
        const std::string record = FromHex(line.substr(4));
        SCOPED_TRACE(version);
        if (version == GameSaveVersion) {
            EXPECT_EQ(ToHex(Bytes(saved)), ToHex(record));
        }
        TMemoryStream stream = StreamOf(record);
        auto* loaded = new TVelaPrevMenu(Bases);
        loaded->SetParent(Layer);
        loaded->LoadFromStream(stream, version);
        EXPECT_EQ(stream.Remaining(), 0);
        EXPECT_EQ(loaded->GetCount(), 4);
        const Expect& want = expected.at(version);
        for (int32_t i = 0; i < 4; ++i) {
            EXPECT_EQ(loaded->GetPrevFlag1(i), want.Enabled[i]) << i;
            EXPECT_EQ(loaded->GetPrevFlag2(i), want.Visible[i]) << i;
            EXPECT_EQ(loaded->GetPrevValue1(i), want.Down[i]) << i;
        }
        EXPECT_TRUE(loaded->GetRclickscrap());
        EXPECT_EQ(loaded->GetOnplayend(), "end");
        if (version == GameSaveVersion) {
            TMemoryStream again;
            loaded->SaveToStream(again);
            EXPECT_EQ(ToHex(Bytes(again)), ToHex(record));
        }
        delete loaded;
        ++versions;
    }
    EXPECT_EQ(versions, 7);
}

}  // namespace
