// Message text and history commands on pages written by vpage.py, over the player's object root
// with message windows, the history formats and the read marks.
#include "objects/vitemex_mes.h"
#include "objects/vitemex_read.h"
#include "objects/vitems.h"
#include "script/savedata_scene.h"
#include "script/services_objects.h"
#include "tests/script/scene_fixture.h"
#include "text/fontpixels.h"
#include "text/histories.h"

using namespace pagetest;

namespace {

// Characters measure a 10-pixel cell, rows 12 apart: a window 24 high holds two rows a page.
constexpr char FivePages[] = "a<BR>b<BR>c<BR>d<BR>e<BR>f<BR>g<BR>h<BR>i<BR>j";

class TextCommands : public TextSceneTest {
protected:
    static TVelaMes& Window(const std::string& Name) {
        auto* window = static_cast<TVelaMes*>(Bases->CreateObject(LT_MES));
        window->SetParent(Bases->GetBase(0));
        window->SetName(Name);
        window->SetFontchangeabled(true);
        window->SetFontheight(10);
        window->SetWidth(100);
        window->SetHeight(24);
        window->SetTextdelay(256);
        return *window;
    }
    // Page Name of version Version holding Commands (a JSON list).
    void Page(const std::string& Name, const std::string& Commands, int Version = 117) {
        AddFile(Name, VPage(R"({"version": )" + std::to_string(Version) + R"(, "commands": )" + Commands + "}"));
    }
    void Start(const std::string& Name) {
        runner.Start(Name);
        Ticks(1);
    }
    static TVelaNewHistory& History(const std::string& Format = "") {
        return TextHistoryFormats->FindOrAddFormat(Format).History();
    }
};

TEST_F(TextCommands, TextInsLaysOutRecordsAndWaitsUntilTheWindowEmpties) {
    TVelaMes& m = Window("m");
    Window("b").SetVisible(true);
    Bases->CreateObject(LT_BOX)->SetName("box");
    Page("p.vsb", std::string(R"([
        {"cmd": "TextIns", "window": "\"\"", "text": "x", "wait": "TRUE"},
        {"cmd": "TextIns", "window": "\"box\"", "text": "x", "wait": "TRUE"},
        {"cmd": "TextIns", "window": "\"m\"", "text": null, "wait": "TRUE"},
        {"cmd": "TextIns", "window": "\"m\"", "text": ")") + FivePages + R"(", "read": "TRUE", "wait": "TRUE", "hold": "TRUE"},
        {"cmd": "Calc", "do": "t = \"on\""}])");
    Start("p.vsb");
    EXPECT_EQ(runner.PC, 3);  // the first three moved on at once
    EXPECT_EQ(m.GetCount(), 5);
    EXPECT_EQ(m.GetIndex(), 0);
    EXPECT_EQ(m.SourceMode, TVelaMes::smRecorded);
    EXPECT_EQ(m.PageFile, "p.vsb");
    EXPECT_EQ(m.CommandIndex, 3);
    EXPECT_EQ(m.BuildPosition, 0);
    EXPECT_TRUE(runner.CurrentPage->Commands.GetItem(3).IsEventPoint());
    EXPECT_TRUE(runner.CanInterrupt());

    m.SetIndex(4);
    Ticks(2);
    EXPECT_EQ(Value("t"), "");
    m.SetText("");
    Ticks(1);
    EXPECT_EQ(Value("t"), "on");

    // A window deleted while the command waits on it lets the command go on.
    ParamMan->Find("t")->SetAsStr("");
    Start("p.vsb");
    m.Delete();
    Bases->Step();
    Ticks(1);
    EXPECT_EQ(Value("t"), "on");
}

TEST_F(TextCommands, ClearingAndOlderPages) {
    TVelaMes& m = Window("m");
    // Version 106 stores no hold-events expression, 110 no format names.
    Page("old.vsb", R"([
        {"cmd": "TextIns", "window": "\"m\"", "text": "abc", "read": "TRUE", "wait": "FALSE"},
        {"cmd": "FormatHist", "object": "\"m\""},
        {"cmd": "CallHist", "window": "\"m\"", "first": "0"}])",
         106);
    Page("clear.vsb", R"([{"cmd": "TextClr", "window": "\"m\""}])", 110);
    Start("old.vsb");
    EXPECT_EQ(m.GetCount(), 1);
    EXPECT_EQ(TextHistoryFormats->FindFormat("")->Settings, (std::array<int32_t, 6>{10, 0, 0, 100, 24, 0}));
    Start("clear.vsb");
    EXPECT_EQ(m.GetCount(), 0);
    EXPECT_EQ(m.SourceMode, TVelaMes::smDirect);
}

TEST_F(TextCommands, CallHistShowsWhatTheHistoryHolds) {
    Page("t.vsb", R"([{"cmd": "TextIns", "window": "\"m\"", "text": "abc"}])");
    for (int i = 0; i < 6; ++i) History().Entries.Add("t.vsb", 0, -1, {100, 24});
    // (first, count, format) -> the entries shown, each case in a window of its own; nothing
    // shown leaves the window as it was.
    const struct {
        const char *first, *count, *format;
        int shown;
    } cases[] = {{"3", "5", "", 3}, {"6", "1", "", 0},     {"-2", "2", "", 2},
                 {"0", "", "", 1},  {"0", "1", "none", 0}, {"", "1", "", 0}};
    // An expression of the text, or none for the empty text.
    auto expr = [](const std::string& Text) { return Text.empty() ? std::string("null") : "\"" + Text + "\""; };
    std::string commands;
    for (size_t i = 0; i < std::size(cases); ++i) {
        const std::string name = "m" + std::to_string(i);
        Window(name);
        commands += std::string(i ? "," : "[") + R"({"cmd": "CallHist", "window": "\")" + name + R"(\"", "first": )" +
                    expr(cases[i].first) + R"(, "count": )" + expr(cases[i].count) +
                    R"(, "flag": "TRUE", "format": "\")" + cases[i].format + R"(\""})";
    }
    Page("c.vsb", commands + "]");
    Start("c.vsb");
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const TVelaMes& m = *dynamic_cast<TVelaMes*>(Bases->FindObject("m" + std::to_string(i)));
        EXPECT_EQ(m.MesData.Entries.Count(), cases[i].shown);
        EXPECT_EQ(m.SourceMode, cases[i].shown ? TVelaMes::smHistory : TVelaMes::smDirect);
        EXPECT_EQ(m.BuildFlag, cases[i].shown ? 1 : 0);
    }
}

TEST_F(TextCommands, FormatsHistoriesAndReadMarks) {
    TVelaMes& m = Window("m");
    m.SetFontborder(2);
    History().Entries.Add("t.vsb", 0, 0, {0, 0});
    TextRead->SetPending("m", "t.vsb", 0, 0);
    TextRead->CommitPending("m");
    Page("f.vsb", R"([
        {"cmd": "FormatHist", "object": "\"m\"", "format": "\"log\""},
        {"cmd": "FormatHist", "format": "\"\""},
        {"cmd": "ClrHist"},
        {"cmd": "ClrRead"}])");
    History().Entries.Add("t.vsb", 0, 0, {0, 0});
    TextHistoryFormats->FindOrAddFormat("").Settings = {1, 1, 1, 1, 1, 1};
    Start("f.vsb");
    EXPECT_EQ(TextHistoryFormats->FindFormat("log")->Settings, (std::array<int32_t, 6>{10, 2, 0, 100, 24, 0}));
    EXPECT_EQ(TextHistoryFormats->FindFormat("")->Settings, (std::array<int32_t, 6>{}));
    EXPECT_EQ(History().GetCount(), 0);
    EXPECT_EQ(TextRead->Count(), 0);
}

// The scene, the histories and the runner saved and loaded as a game save holds them.
class TextSaves : public TextCommands {
protected:
    std::string Save() {
        TMemoryStream s;
        sections.SaveObjects(s);
        sections.SaveHistory(s);
        runner.SaveToStream(s);
        return Bytes(s);
    }
    void Load(const std::string& Data) {
        TMemoryStream s = StreamOf(Data);
        Bases->Clear();
        sections.LoadObjects(s, GameSaveVersion);
        sections.LoadHistory(s, GameSaveVersion);
        runner.LoadFromStream(s, GameSaveVersion);
        sections.AfterLoad();
    }
    TSceneSaveSections sections;
};

TEST_F(TextSaves, AWaitingTextInsWaitsOnTheWindowAfterALoad) {
    Window("m");
    Page("p.vsb", std::string(R"([
        {"cmd": "TextIns", "window": "\"m\"", "text": ")") + FivePages + R"(", "wait": "TRUE", "hold": "TRUE"},
        {"cmd": "Calc", "do": "t = \"on\""}])");
    Start("p.vsb");
    Load(Save());
    auto* m = dynamic_cast<TVelaMes*>(Bases->FindObject("m"));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->GetCount(), 5);
    EXPECT_TRUE(runner.CanInterrupt());
    Ticks(2);
    EXPECT_EQ(Value("t"), "");
    m->SetText("");
    Ticks(1);
    EXPECT_EQ(Value("t"), "on");
}

TEST_F(TextSaves, TwoWindowsMidPageComeBackAsTheyWere) {
    Window("a");
    Window("b");
    Page("p.vsb", std::string(R"([
        {"cmd": "TextIns", "window": "\"a\"", "text": ")") + FivePages + R"(", "read": "TRUE"},
        {"cmd": "TextIns", "window": "\"b\"", "text": ")" + FivePages + R"(", "read": "TRUE"}])");
    Start("p.vsb");
    auto window = [](const char* Name) { return dynamic_cast<TVelaMes*>(Bases->FindObject(Name)); };
    window("a")->SetIndex(2);
    window("b")->SetIndex(1);
    window("b")->SetIndex(3);
    for (int i = 0; i < 3; ++i) Bases->Step();
    ASSERT_EQ(window("a")->GetPlayState(), 0);  // still revealing
    const int32_t history = History().GetCount();
    ASSERT_GT(history, 0);
    const std::string saved = Save();

    Load(saved);
    ASSERT_NE(window("a"), nullptr);
    EXPECT_EQ(window("a")->GetIndex(), 2);
    EXPECT_EQ(window("b")->GetIndex(), 3);
    EXPECT_EQ(History().GetCount(), history);
    // The reveal of every page is as it was: the saves are the same.
    EXPECT_EQ(ToHex(Save()), ToHex(saved));
}

}  // namespace
