// The variable functions run as compiled expressions over variables of the table, and the
// removal of a call frame under a running page.
#include "tests/script/page_fixture.h"
#include "tests/script/params_funcs_run.h"

namespace {

using VarFuncs = ExprFuncsTest;

TEST_F(VarFuncs, ArraysAreSizedFilledAndCopied) {
    Check({
        {{"SetArray(a, 3, 4)", "r = GetArraySize(a)"}, "12"},
        {{"SetArray(a, 3, 4)", "r = GetArraySize(a, 0)"}, "4"},
        {{"SetArray(a, 3, 4)", "r = GetArraySize(a, 1)"}, "3"},
        {{"SetArray(a, 3, 4)", "r = GetArraySize(a, 2)"}, "1"},
        {{"r = GetArraySize(5)"}, "!GetArraySize:変数が見つかりません"},
        {{"SetArray(a, 0)"}, "!配列の要素数[0]が不正です"},
        {{"SetArray(a, 2, 0)"}, "!配列の要素数[2,0]が不正です"},
        {{"SetArray(r, 3)", "FillMem(r, 5)"}, "5|5|5"},
        {{"FillMem(7, 5)"}, "!FillMem:変数が見つかりません"},
        {{"CopyMem(r, a)"}, "!CopyMem:変数の型があいません"},
        {{"StringToArray(\"1,2\", s, \",\")", "CopyMem(r, s)"}, "1|2"},
        {{"SetArray(a, 2)", "a[1] = 7", "s = CopyArray(r, a)", "r[0] = s"}, "TRUE|7"},
        {{"r = ArrayToString(f)"}, "0"},
        {{"StringToArray(\"x,y\", s, \",\")", "r = ArrayToString(s, \"\")"}, "xy"},
    });
}

TEST_F(VarFuncs, TextIsSplitAndSearched) {
    Check({
        {{"StringToArray(\"a,,b\", r, \",\")"}, "a||b"},
        {{"StringToArray(\"a,b,\", r, \",\")"}, "a|b"},
        {{"StringToArray(\"a;b,c\", r, \",;\")"}, "a|b|c"},
        {{"StringToArray(\"表,ソ\\\\\", r, \"\\\\\")"}, "表,ソ"},  // trail bytes 0x5C are no delimiter
        {{"StringToArray(\"\", r)"}, ""},
        {{"StringToArray(\"x\\ny\", r)"}, "x|y"},
        {{"StringToArray(\"B,a,b\", s, \",\")", "r = IndexOfStr(s, \"b\")"}, "2"},
        {{"StringToArray(\"B,a,b\", s, \",\")", "r = IndexOfStr(s, \"b\", FALSE)"}, "0"},
        {{"r = VarExists(\"s\") ++ VarExists(\"nothing\")"}, "TRUEFALSE"},
    });
}

TEST_F(VarFuncs, ArraysGrowShrinkAndSort) {
    const char* fill = "StringToArray(\"1,2,3\", r, \",\")";
    Check({
        {{"SetArray(a, 2, 2)", "r = AddArray(a, s)"}, "4"},
        {{fill, "StringToArray(\"8,9\", s, \",\")", "AddArray(r, s)"}, "1|2|3|8|9"},
        {{fill, "InsertArray(r, -5, \"x\")"}, "x|1|2|3"},
        {{fill, "InsertArray(r, 9, \"x\")"}, "1|2|3|x"},
        {{fill, "StringToArray(\"8,9\", s, \",\")", "InsertArray(r, 1, s)"}, "1|8|9|2|3"},
        {{fill, "DeleteArray(r, 9, 1)"}, "1|2"},
        {{fill, "DeleteArray(r, 1, 99)"}, "1"},
        {{fill, "DeleteArray(r, 0, 1)"}, "2|3"},
        {{fill, "DeleteArray(r, 0, 3)"}, "!配列の要素数[0]が不正です"},
        // A negative count moves nothing.
        {{fill, "DeleteArray(r, 2, -1)"}, "![3]:配列の添字が不正です"},
        {{fill, "DeleteArray(r, 0, -1)"}, "![-1]:配列の添字が不正です"},
        {{"StringToArray(\"10,9,100\", r, \",\")", "SortStr(r, FALSE, TRUE)"}, "9|10|100"},
        {{"StringToArray(\"10,9,100\", r, \",\")", "SortStr(r)"}, "10|100|9"},
        {{"StringToArray(\"b,B,a,co-op,coop\", r, \",\")", "SortStr(r)"}, "a|b|B|coop|co-op"},
        {{"StringToArray(\"b,B,a\", r, \",\")", "SortStr(r, TRUE)"}, "B|b|a"},
        {{"StringToArray(\"3,1,3,2,1\", r, \",\")", "s = UniqueArray(r)", "InsertArray(r, 0, s)"}, "3|3|1|2"},
        {{"SetArray(r, 2, 2)", "r[0, 0] = UniqueArray(r)"}, "4|||"},
        {{"StringToArray(\"x,,y\", r, \",\")", "TrimArray(r)"}, "x|y"},
        {{"StringToArray(\"x,,y\", r, \",\")", "TrimArray(r, \"y\")"}, "x|"},
    });
    // The array's elements stay where they were after the refused deletion.
    Run(fill);
    Run("DeleteArray(r, 1, -1)");
    EXPECT_EQ(Elements("r"), "1|2|3");
}

TEST_F(VarFuncs, ConversionsAndTemp) {
    Check({
        {{"r = AddDelimiter(\",\", \"\")"}, ""},
        {{"r = AddDelimiter(\",\", \"ab\")"}, "ab,"},
        {{"r = Fmin(2.5, 2.5) ++ Fmax(2.5, 2.5) ++ Fmin(1, 2) ++ Fmax(1, 2) ++ Min(-3, 4) ++ Max(-3, 4)"}, "2.52.512-34"},
        {{"r = Chr(321) ++ Ord(\"\") ++ Ord(\"表\")"}, "A0149"},
        {{"r = StrToIntDef(\"12x\", 5)"}, "5"},
        {{"r = StrToIntDef(\" -$1F\", 5)"}, "-31"},
        {{"r = StrToIntDef(\"2147483648\", 5)"}, "5"},
        {{"r = StrToFloatDef(\" 1.5e1 \", 0) ++ StrToFloatDef(\"1,5\", 2)"}, "152"},
        {{"r = GetVarType(\"abc\") ++ GetVarType(2.5) ++ GetVarType(b) ++ GetVarType(a)"}, "4231"},
        {{"r = HanToZen(\"A1ｶﾞ\")"}, "Ａ１ガ"},
        {{"r = Calc(\"a = 2 + 3\")", "r = r ++ a"}, "TRUE5"},
        {{"r = AssignTemp(\"s\")", "@Temp = \"via\"", "r = r ++ s"}, "TRUEvia"},
        {{"AssignTemp(\"s\")", "r = AssignTemp(\"nothing\")", "@Temp = \"x\"", "r = r ++ s"}, "FALSEx"},
        {{"a = 1", "PushVar(\"a\", \"nothing\")", "a = 2", "r = PopVar() ++ a"}, "TRUE1"},
    });
}

// Calc sets no result for a text that does not compile or holds nothing; a statement that runs
// itself through Calc ends instead of exhausting the stack.
TEST_F(VarFuncs, CalcStoresOnlyAfterARun) {
    uint8_t calc = 0;
    ASSERT_TRUE(FindSysFuncIndex("Calc", calc));
    TParamCollectionItem& dest = *ParamMan->Find("r");
    for (const char* text : {"a = (2", "a = 1 +", " \t "}) {
        SysFuncMan->CallFunction(dest, calc, std::vector<TCustomParam*>{S(text)});
        EXPECT_EQ(dest.GetAsStr(), "keep") << text;
    }
    EXPECT_EQ(ParamMan->Find("a")->GetAsInt(), 0);
    ParamMan->Find("s")->SetAsStr("r = Calc(s)");
    EXPECT_EQ(Run("r = Calc(s)"), "");
    EXPECT_EQ(Elements("r"), "TRUE");
}

class Frames : public pagetest::CommandTest {};

// m calls a, a calls b; b removes the frame that returns to m. The locals of a and b follow their
// frames down one depth, so b still reads its own, and a reads its own once b returns.
TEST_F(Frames, DeleteStackKeepsTheRunningPagesLocals) {
    Var("ok", PT_STR);
    AddPage("m.vsb", R"js([{"cmd": "VarNew", "name": "lm", "value": "1", "scope": "local"},
                         {"cmd": "Call", "page": "a.vsb"}])js");
    AddPage("a.vsb", R"js([{"cmd": "VarNew", "name": "la", "value": "2", "scope": "local"},
                         {"cmd": "Call", "page": "b.vsb"},
                         {"cmd": "Calc", "do": "t = t ++ \",\" ++ la ++ VarExists(\"lm\")"}])js");
    AddPage("b.vsb", R"js([{"cmd": "VarNew", "name": "lb", "value": "3", "scope": "local"},
                         {"cmd": "Calc", "do": "ok = DeleteStack(2) ++ DeleteStack(-1) ++ DeleteStack(0)"},
                         {"cmd": "Calc", "do": "t = lb ++ @StackCount ++ VarExists(\"la\")"}])js");
    runner.Start("m.vsb");
    Ticks(3);
    EXPECT_EQ(Value("ok"), "FALSEFALSETRUE");
    EXPECT_EQ(Value("t"), "31FALSE,2FALSE");
}

// A stack of frames whose depths each own an auto variable and a local "l": removing the bottom,
// a middle and the top frame leaves the other frames in their order and every other depth its own
// variables, renumbered with their frames, as lookups and a game save see them.
TEST_F(Frames, DeleteStackAtAnyDepthKeepsTheOtherDepthsVariables) {
    constexpr int kFrames = 12;
    uint8_t deleteStack = 0;
    ASSERT_TRUE(FindSysFuncIndex("DeleteStack", deleteStack));
    TParamCollectionItem& ok = Var("ok", PT_BOOL);
    Var("g", PT_INT).SetAsInt(-1);
    std::vector<int> made;  // of each depth left, the depth its variables were made at
    for (int depth = 0; depth <= kFrames; ++depth) {
        if (depth) runner.Stack.Push().PageName = std::to_string(depth - 1);  // the depth it returns to
        TParamCollectionItem& local = Var("l", PT_INT);
        local.SetOwnerId(depth);
        local.SetLocal(true);
        local.SetAsInt(depth);
        Var("a" + std::to_string(depth), PT_INT).SetOwnerId(depth);
        made.push_back(depth);
    }
    const auto expectDepths = [&](const char* Step) {
        ASSERT_EQ(runner.Stack.Count() + 1, static_cast<int>(made.size())) << Step;
        ASSERT_EQ(ParamMan->Count(), SysVarCount + 3 + 2 * static_cast<int>(made.size())) << Step;
        for (int i = 0; i < runner.Stack.Count(); ++i)
            EXPECT_EQ(runner.Stack.Items(i)->PageName, std::to_string(made[i])) << Step;
        for (int depth = 0; depth < static_cast<int>(made.size()); ++depth) {
            ParamMan->SetCurrentScope(depth);
            EXPECT_EQ(ParamMan->Find("l")->GetAsInt(), made[depth]) << Step;
            EXPECT_EQ(ParamMan->Find("a" + std::to_string(made[depth]))->OwnerId(), depth) << Step;
            EXPECT_EQ(ParamMan->Find("g")->GetAsInt(), -1) << Step;
        }
        ParamMan->SetCurrentScope(runner.Stack.Count());
    };
    for (const int index : {0, 5, kFrames - 3}) {
        TParamInt frame;
        frame.SetInt(index);
        SysFuncMan->CallFunction(ok, deleteStack, std::vector<TCustomParam*>{&frame});
        EXPECT_TRUE(ok.GetAsBool()) << index;
        made.erase(made.begin() + index);
        expectDepths(std::to_string(index).c_str());
    }
    TMemoryStream saved;
    ParamMan->SaveVariables(saved);
    saved.SetPosition(0);
    ParamMan->LoadVariables(saved, GameSaveVersion);
    expectDepths("loaded");
}

}  // namespace
