// Control-flow commands on pages written by vpage.py, run by the runner.
#include "tests/script/page_fixture.h"

#include "tests/common/budget.h"

using namespace pagetest;

namespace {

using Flow = CommandTest;

TEST_F(Flow, IfElseifElseChains) {
    AddPage("if.vsb", R"([
        {"cmd": "If", "cond": "x == 1"},
        {"cmd": "WhileInit", "do": "t = t ++ \"a\"", "indent": 1},
        {"cmd": "If", "cond": "y == 1", "indent": 1},
        {"cmd": "WhileInit", "do": "t = t ++ \"y\"", "indent": 2},
        {"cmd": "Elseif", "cond": "x == 2"},
        {"cmd": "WhileInit", "do": "t = t ++ \"b\"", "indent": 1},
        {"cmd": "Elseif", "cond": "x == 3"},
        {"cmd": "WhileInit", "do": "t = t ++ \"c\"", "indent": 1},
        {"cmd": "Else"},
        {"cmd": "WhileInit", "do": "t = t ++ \"d\"", "indent": 1},
        {"cmd": "If", "cond": "x == 1"},
        {"cmd": "WhileInit", "do": "t = t ++ \"e\"", "indent": 1},
        {"cmd": "If", "cond": null},
        {"cmd": "WhileInit", "do": "t = t ++ \"n\"", "indent": 1},
        {"cmd": "WhileInit", "do": "t = t ++ \".\""}])");
    Var("x", PT_INT), Var("y", PT_INT);
    const std::pair<int, int> cases[] = {{1, 1}, {1, 0}, {2, 0}, {3, 0}, {4, 0}};
    const char* const want[] = {"aye.", "ae.", "b.", "c.", "d."};
    for (int i = 0; i < 5; ++i) {
        ParamMan->Find("x")->SetAsInt(cases[i].first);
        ParamMan->Find("y")->SetAsInt(cases[i].second);
        ParamMan->Find("t")->SetAsStr("");
        runner.Start("if.vsb");
        Ticks(1);
        EXPECT_EQ(Value("t"), want[i]) << "x=" << cases[i].first << " y=" << cases[i].second;
    }
}

TEST_F(Flow, NestedLoopsWithBreakAndContinue) {
    AddPage("loop.vsb", R"([
        {"cmd": "WhileInit", "do": "i = 0"},
        {"cmd": "Label", "name": "outer"},
        {"cmd": "While", "cond": "i < 3", "exit": "done"},
        {"cmd": "WhileInit", "do": "j = 0", "indent": 1},
        {"cmd": "Label", "name": "inner", "indent": 1},
        {"cmd": "While", "cond": "j < 5", "exit": "inner_done", "indent": 1},
        {"cmd": "Continue", "cond": "j == 1", "target": "step", "indent": 2},
        {"cmd": "Break", "cond": "j == i + 2", "target": "inner_done", "indent": 2},
        {"cmd": "WhileInit", "do": "t = t ++ j", "indent": 2},
        {"cmd": "Label", "name": "step", "indent": 2},
        {"cmd": "WhileLoop", "do": "j = j + 1", "head": "inner", "indent": 1},
        {"cmd": "Label", "name": "inner_done", "indent": 1},
        {"cmd": "WhileInit", "do": "t = t ++ \"/\"", "indent": 1},
        {"cmd": "WhileLoop", "do": "i = i + 1", "head": "outer"},
        {"cmd": "Label", "name": "done"},
        {"cmd": "Comment", "text": "never runs", "continue": true, "disabled": false},
        {"cmd": "WhileInit", "do": "t = t ++ \"!\""}])");
    Var("i", PT_INT), Var("j", PT_INT);
    runner.Start("loop.vsb");
    Ticks(1);
    EXPECT_EQ(Value("t"), "0/02/023/!");
}

TEST_F(Flow, ALongLoopRunsInOneTick) {
    AddPage("long.vsb", R"([
        {"cmd": "WhileInit", "do": "i = 0"},
        {"cmd": "Label", "name": "top"},
        {"cmd": "While", "cond": "i < 40000", "exit": "done"},
        {"cmd": "WhileLoop", "do": "i = i + 1", "head": "top", "indent": 1},
        {"cmd": "Label", "name": "done"},
        {"cmd": "WhileInit", "do": "t = \"end\""}])");
    Var("i", PT_INT);
    runner.Start("long.vsb");
    Ticks(1);
    EXPECT_EQ(Value("i") + Value("t"), "40000end");
    EXPECT_FALSE(Terminating());
}

// A Continue that ends the page has moved PC on first: the page's next visit starts after it.
TEST_F(Flow, ContinueEndingAPageLeavesItBehind) {
    AddPage("c.vsb", R"([
        {"cmd": "WhileInit", "do": "t = t ++ \"a\""},
        {"cmd": "Continue", "cond": "TRUE", "target": -1},
        {"cmd": "WhileInit", "do": "t = t ++ \"b\""}])");
    runner.Start("c.vsb");
    Ticks(2);
    EXPECT_EQ(Value("t"), "ab");
}

TEST_F(Flow, CallReturnsItsResultAndMissingPagesAreSkipped) {
    AddPage("m.vsb", R"([
        {"cmd": "Call", "page": "s.vsb", "args": ["x * 2", null, "\"b\""], "result": "r"},
        {"cmd": "Call", "page": "s.vsb", "cond": "FALSE"},
        {"cmd": "Call", "page": "nowhere.vsb"},
        {"cmd": "Jump", "page": "nowhere.vsb"},
        {"cmd": "WhileInit", "do": "t = t ++ \"m\" ++ @StackCount"},
        {"cmd": "Call", "page": "s.vsb", "result": "r2"},
        {"cmd": "Jump", "page": "j.vsb", "pc": 1},
        {"cmd": "WhileInit", "do": "t = t ++ \"never\""}])");
    AddPage("s.vsb", R"([
        {"cmd": "WhileInit", "do": "t = t ++ \"s\" ++ @StackCount"},
        {"cmd": "WhileInit", "do": "@Result = @ParamCount"},
        {"cmd": "WhileInit", "do": "@Result = @Result ++ @ParamStr[0] ++ @ParamStr[1]"},
        {"cmd": "Continue", "cond": "@ParamCount == 0", "target": -1},
        {"cmd": "Break", "target": -1},
        {"cmd": "WhileInit", "do": "t = t ++ \"never\""}])",
            "str");
    AddPage("j.vsb", R"([
        {"cmd": "WhileInit", "do": "t = t ++ \"skipped\""},
        {"cmd": "WhileInit", "do": "t = t ++ \"j\""}])");
    Var("x", PT_INT).SetAsInt(4);
    // A missing page is named on standard error once, with the command that asked for it.
    testing::internal::CaptureStderr();
    runner.Start("m.vsb");
    Ticks(1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "velaplay: m.vsb line 3: Call of the page \"nowhere.vsb\", which does not exist; the script goes on "
              "with the next command\n");
    EXPECT_EQ(Value("t"), "s1m0s1j");
    EXPECT_EQ(Value("r"), "28b");  // the argument without a value is left out
    EXPECT_EQ(Value("r2"), "0");
    EXPECT_EQ(runner.StackCount(), 0);
    EXPECT_FALSE(Terminating());
}

// A page that calls itself from its first command ends at the deepest call, within one tick (a
// call moves the runner though page and position stay), with an error naming the page and line;
// the frames' charge goes with them.
TEST_F(Flow, CallsNestAtMostMaxCallDepth) {
    AddPage("r.vsb", R"([{"cmd": "Call", "page": "r.vsb", "args": ["\"arg\""]}])");
    runner.Start("r.vsb");
    const int64_t before = MemoryCharged();
    runner.Run();
    EXPECT_EQ(host->Warnings, std::vector<std::string>{"r.vsb(1):呼び出しの入れ子が深すぎます（10000段まで）"});
    EXPECT_EQ(runner.StackCount(), MaxCallDepth);
    EXPECT_GT(MemoryCharged(), before);
    runner.Stack.Clear();
    runner.Args.Clear();  // the running page's own
    EXPECT_NEAR(MemoryCharged(), before, testbudget::Slack);
}

}  // namespace
