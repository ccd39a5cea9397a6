// The scene-object functions, run from compiled expressions over a small scene: boxes on both
// layers, one inside another, a box parked in a cabinet, a label holding menu lines, a timer and
// a stand-in preview menu.
#include "media/screenman.h"
#include "objects/vitems.h"
#include "script/params_parser.h"
#include "script/project.h"
#include "script/services.h"
#include "tests/script/params_funcs_fixture.h"
#include "text/histories.h"

#include <memory>
#include <utility>
#include <vector>

namespace {

// A preview menu of three entries whose answers show which entry a call reached: entry i is in
// group i, and only entry 2 is visible.
class TFakeMenu : public TVelaComponent {
public:
    using TVelaComponent::TVelaComponent;
    uint8_t GetCompoType() const override { return LT_PREVMENU; }
    std::string GetItemText(int32_t I) const override { return I >= 0 && I < 3 ? kItems[I] : ""; }
    int32_t IndexOfItemText(const std::string& S) const override {
        for (int32_t i = 0; i < 3; ++i)
            if (S == kItems[i]) return i;
        return -1;
    }
    bool GetPrevFlag2(int32_t I) const override { return I == 2; }
    int32_t GetPrevValue2(int32_t I) const override { return I; }

private:
    static constexpr const char* kItems[] = {"zero", "2", "two"};
};

using TCases = std::vector<std::pair<const char*, const char*>>;

class ObjectFuncs : public FuncsTest {
protected:
    void SetUp() override {
        FuncsTest::SetUp();
        CreateScriptServices();
        VelaInitialize();
        for (const char* line : {R"(CreateObject(2, "a"))", R"(SetProp("a", 3, 10))", R"(SetProp("a", 4, "20"))",
                                 R"(CreateObject(2, "b", "a"))", R"(CreateObject(27, "cab"))",
                                 R"(CreateObject(2, "parked", "cab"))", R"(CreateObject(15, "tm"))",
                                 R"(CreateObject(9, "menu"))"})
            Eval(line);
        Bases->FindObject("menu")->SetText("\r\n Yes\r\nno\rNO\n\n ");
        TVelaObject* back = Bases->CreateObject(LT_BOX);
        back->SetName("back");
        back->SetParent(Bases->GetBase(1));
        (new TFakeMenu(Bases, false))->SetName("pm");
    }
    void TearDown() override {
        VelaFinalize();
        FreeScriptServices();
        FuncsTest::TearDown();
    }

    // "int 3", "bool TRUE", "str x" or "none".
    static std::string Eval(const std::string& Text) {
        TVelaParser expression;
        CompileExpression(Text, expression);
        expression.Execute();
        const TCustomParam* value = expression.Result();
        if (!value) return "none";
        static const char* const names[] = {"ref", "int", "float", "bool", "str"};
        return std::string(names[value->ParamType()]) + " " + value->AsStr();
    }
    static void Check(const TCases& Cases) {
        for (const auto& [text, want] : Cases) EXPECT_EQ(Eval(text), want) << text;
    }
    static TCustomParam& Declare(const std::string& Name, TParamType Type) {
        TParamCollectionItem& item = ParamMan->AddParam(Type);
        item.SetName(Name);
        return item.Value();
    }
    static std::vector<std::string> Strings(const TCustomParam& A) {
        std::vector<std::string> out;
        for (int32_t i = 0; i < A.Count(); ++i) out.push_back(A.GetStrAt(i));
        return out;
    }
};

TEST_F(ObjectFuncs, LookupsAnswerTheSceneAndMissingNames) {
    Check({
        {R"(GetProp("a", 3))", "int 10"},
        {R"(GetProp("b", 1))", "str a"},
        {R"(GetProp("missing", 3))", "int 0"},  // the empty value of the property's type
        {R"(Exists("a"))", "bool TRUE"},
        {R"(Exists(""))", "bool FALSE"},  // the current layer for every other function
        {R"(Exists("missing"))", "bool FALSE"},
        {R"(GetCheck("a", 0))", "bool FALSE"},
        {R"(GetCheck("missing", 0))", "bool FALSE"},
        {R"(ToClientX("a", 15))", "int 5"},
        {R"(ToClientY("a", 25))", "int 5"},
        {R"(ToScreenX("a", 5))", "int 15"},
        {R"(ToClientX("missing", 15))", "int 15"},
        {R"(IndexOfMenu("menu", "yes"))", "int 0"},
        {R"(IndexOfMenu("menu", "NO"))", "int 1"},  // the first of two equal lines
        {R"(IndexOfMenu("menu", ""))", "int -1"},   // the blank lines around were trimmed
        {R"(InPrimary("a"))", "bool TRUE"},
        {R"(InPrimary("back"))", "bool FALSE"},
        {R"(InPrimary("parked"))", "bool FALSE"},
        {R"(InPrimary(""))", "bool FALSE"},
        {R"(InCabinet("parked"))", "bool TRUE"},
        {R"(InCabinet("a"))", "bool FALSE"},
        {R"(GetItem("a", 0))", "str "},
        {R"(GetImeOpened("a"))", "bool FALSE"},
        {R"(SetImeOpened("a", TRUE))", "bool FALSE"},  // no input method to open
        {R"(SetImeOpened("a", FALSE))", "bool TRUE"},
    });
    Eval(R"(SetProp("a", 3, "7"))");
    Eval(R"(SetProp("missing", 3, 7))");
    EXPECT_EQ(Eval(R"(GetProp("a", 3))"), "int 7");
}

TEST_F(ObjectFuncs, EntryStatesReadDefaultsOrTheMenuEntryANumberOrTextNames) {
    Check({
        {R"(GetEnabled("a", 0))", "bool TRUE"},
        {R"(GetVisible("a", 5))", "bool TRUE"},
        {R"(GetSelected("a", 0))", "bool FALSE"},
        {R"(GetGroupIndex("a", "2"))", "int 0"},
        {R"(GetVisible("pm", "2"))", "bool TRUE"},  // the number 2, not the entry whose text is "2"
        {R"(GetVisible("pm", "zero"))", "bool FALSE"},
        {R"(GetGroupIndex("pm", "two"))", "int 2"},
        {R"(GetGroupIndex("pm", 1))", "int 1"},
        {R"(GetGroupIndex("pm", "Two"))", "int -1"},  // texts match with their case
        {R"(GetGroupIndex("pm", "none"))", "int -1"},
    });
    // A missing object, and every setter, leave the destination as it was.
    using TCall = std::pair<const char*, std::vector<TCustomParam*>>;
    for (const auto& [name, args] :
         {TCall{"GetEnabled", {S("missing"), I(0)}}, TCall{"SetSelected", {S("a"), I(0), B(false)}},
          TCall{"SetEnabled", {S("pm"), S("two"), B(false)}}, TCall{"SetCheck", {S("a"), I(0), B(false)}}}) {
        uint8_t index = 0;
        ASSERT_TRUE(FindSysFuncIndex(name, index));
        TParamCollectionItem& dest = ParamMan->AddParam(PT_BOOL);
        dest.SetAsBool(true);
        SysFuncMan->CallFunction(dest, index, args);
        EXPECT_TRUE(dest.GetAsBool()) << name;
    }
}

TEST_F(ObjectFuncs, CheckMarksAndItemsOfASelectionMenu) {
    Eval(R"(CreateObject(12, "sel"))");
    Bases->FindObject("sel")->SetText("\r\nOne\r\ntwo\r\nTwo\r\n");
    Eval(R"(SetCheck("sel", 1, TRUE))");
    Eval(R"(SetCheck("sel", 3, TRUE))");  // beyond the items: nothing
    Check({
        {R"(GetCheck("sel", 1))", "bool TRUE"},
        {R"(GetCheck("sel", 0))", "bool FALSE"},
        {R"(GetCheck("sel", 3))", "bool FALSE"},
        {R"(GetCheck("sel", -1))", "bool FALSE"},
        {R"(GetItem("sel", 2))", "str Two"},
        {R"(GetItem("sel", 3))", "str "},
        {R"(IndexOfMenu("sel", "TWO"))", "int 1"},
        {R"(GetProp("sel", 45))", "int 3"},
    });
}

TEST_F(ObjectFuncs, ListCompoFiltersByTypeAndParentAndNeverLeavesAnEmptyArray) {
    TCustomParam& names = Declare("names", PT_STR);
    const int all = Bases->GetObjectCount();
    EXPECT_EQ(Eval("ListCompo(names)"), "int " + std::to_string(all));
    EXPECT_EQ(Eval("ListCompo(names, 300)"), "int " + std::to_string(all));  // low byte 44: every type
    EXPECT_EQ(Eval(R"(ListCompo(names, 2, "ALL"))"), "int 4");
    EXPECT_EQ(Strings(names), (std::vector<std::string>{"a", "b", "parked", "back"}));
    EXPECT_EQ(Eval(R"(ListCompo(names, 0, "a"))"), "int 1");
    EXPECT_EQ(Strings(names), std::vector<std::string>{"b"});
    EXPECT_EQ(Eval(R"(ListCompo(names, 2, "", TRUE))"), "int 3");  // the current layer and below
    EXPECT_EQ(Strings(names), (std::vector<std::string>{"a", "b", "parked"}));
    names.SetDims({3});
    EXPECT_EQ(Eval(R"(ListCompo(names, 0, "missing"))"), "int 0");
    EXPECT_EQ(Strings(names), std::vector<std::string>{""});
}

TEST_F(ObjectFuncs, SaveCaptionsOfListedSlots) {
    EXPECT_EQ(Eval("GetSaveCaption(7)"), "str ");  // no project
    std::unique_ptr<TProject> project = std::make_unique<TProject>();
    Project = project.get();
    project->SlotCaptions.AddObject("first", 3);
    project->SlotCaptions.AddObject("second", 7);
    Check({{"GetSaveCaption(7)", "str second"}, {"GetSaveCaption(4)", "str "}});
    Project = nullptr;
}

TEST_F(ObjectFuncs, CreateObjectMakesTheKindOfItsCode) {
    EXPECT_TRUE(Call("CreateObject", {I(2 + 128), S("panel")}).GetAsBool());
    TVelaObject* panel = Bases->FindObject("panel");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->GetCompoType(), LT_BOX);
    EXPECT_EQ(panel->GetParent(), Bases->GetBase(Bases->GetCurrentLayer()));
    EXPECT_TRUE(Call("CreateObject", {I(LT_BOX), S("inner"), S("panel")}).GetAsBool());
    EXPECT_EQ(Bases->FindObject("inner")->GetParent(), panel);
    EXPECT_TRUE(Call("CreateObject", {I(LT_HTTP), S("news")}).GetAsBool());
    EXPECT_EQ(Bases->FindObject("news")->GetCompoType(), LT_HTTP);
    // Codes that make nothing.
    const int count = Bases->GetObjectCount();
    EXPECT_FALSE(Call("CreateObject", {I(1), S("x")}).GetAsBool());
    EXPECT_FALSE(Call("CreateObject", {I(10), S("y")}).GetAsBool());
    EXPECT_EQ(Bases->GetObjectCount(), count);
}

TEST_F(ObjectFuncs, CreateAndDeleteByName) {
    TVelaObject* a = Bases->FindObject("a");
    Check({
        {R"(CreateObject(1, "x"))", "bool FALSE"},
        {R"(CreateObject(10, "x"))", "bool FALSE"},
        {R"(Exists("x"))", "bool FALSE"},
        {R"(CreateObject(2, "a", "nowhere"))", "bool TRUE"},
        {R"(DeleteObject(""))", "bool FALSE"},  // a layer
        {R"(DeleteObject("tm"))", "bool FALSE"},  // not a control
        {R"(DeleteObject("parked"))", "bool TRUE"},
        {R"(Exists("parked"))", "bool FALSE"},
        {R"(DeleteObject("parked"))", "bool FALSE"},
    });
    // The older holder of the name goes instead of being renamed, and the new one sits on the
    // current layer.
    EXPECT_TRUE(a->IsDeleted());
    EXPECT_EQ(Bases->FindObject("a")->GetParent(), Bases->GetBase(Bases->GetCurrentLayer()));
    EXPECT_EQ(Bases->FindObject("a_0"), nullptr);
    EXPECT_EQ(Bases->FindObject("a_1"), nullptr);
}

TEST_F(ObjectFuncs, HistoryLimitsAndDisplayModes) {
    TVelaNewHistory& history = TextHistoryFormats->FindFormat("")->History();
    history.Entries.Add("p.vsb", 1, 0, {0, 0});
    history.Entries.Add("q.vsb", 4, 0, {0, 0});
    Check({
        {R"(GetHistoryCount(""))", "int 2"},  // without a layout: the entries
        {R"(GetHistoryCount("none"))", "int -1"},
        {R"(SetHistoryMaxCount("none", 5))", "bool FALSE"},
        {R"(SetHistoryMaxCount("", -5))", "bool TRUE"},
        {R"(GetHistoryMaxCount(""))", "int -5"},
        {R"(SetHistoryMaxCount("", 0))", "bool TRUE"},
        {R"(GetHistoryMaxCount(""))", "int 0"},
    });
    TBasePanel panel;
    ScreenMan = new TScreenManager(nullptr, &panel, 64, 48, 0, 0);
    ScreenMan->Modes = {{640, 480, 32, 60}};
    for (const char* name : {"w", "h", "bits", "rate"}) Declare(name, PT_INT).SetInt(-1);
    EXPECT_EQ(Eval("GetDisplayMode(1, w, h, bits, rate)"), "bool FALSE");
    EXPECT_EQ(Eval("GetDisplayMode(-1, w, h, bits, rate)"), "bool FALSE");
    EXPECT_EQ(ParamMan->Find("w")->GetAsInt(), -1);
    EXPECT_EQ(Eval("GetDisplayMode(0, w, h, bits, rate)"), "bool TRUE");
    EXPECT_EQ(Eval("w ++ \"x\" ++ h ++ \"x\" ++ bits ++ \"@\" ++ rate"), "str 640x480x32@60");
    delete ScreenMan;
    ScreenMan = nullptr;
}

}  // namespace
