// Runaway scripts under a 64 MiB limit: each ends the player with the title's memory message in
// place of taking the machine's memory, and what it took is given back when its variables,
// tables and frames go. Nothing is charged by hand: objects, rows, texts, temporaries and
// compiled code count themselves.
#include "tests/script/scene_fixture.h"

#include "tests/common/budget.h"

using namespace pagetest;

namespace {

class Budget : public TextSceneTest {
protected:
    void SetUp() override {
        TextSceneTest::SetUp();
        state.SetRunner(own_.get());
        limit_ = MemoryLimit();
        SetMemoryLimit(64 << 20);
    }
    void TearDown() override {
        SetMemoryLimit(limit_);
        TextSceneTest::TearDown();
    }
    // Runs the page of Commands (vpage.py's JSON) to its end; what it ended the player with.
    std::string Run(const std::string& Commands) {
        AddPage("p.vsb", Commands);
        before_ = MemoryCharged();
        own_->Start("p.vsb");
        for (int tick = 0; tick < 100 && !Terminating(); ++tick) own_->Run();
        return host->Warnings.empty() ? std::string() : host->Warnings.back();
    }
    // Frees the runner (with its pages and their temporaries), the variables (with their stack)
    // and the tables: the charge is then what it was.
    void ExpectGivenBack() {
        state.SetRunner(nullptr);
        own_.reset();
        FreeDBManager();
        FreeParamMan();
        EXPECT_NEAR(MemoryCharged(), before_, testbudget::Slack);
        CreateParamMan();
        CreateDBManager();
        ParamMan->SetState(&state);
    }
    // A loop of Count rounds of the Body commands (with indent 1).
    static std::string Loop(int Count, const std::string& Body) {
        return R"j({"cmd": "WhileInit", "do": "i = 0"}, {"cmd": "Label", "name": "top"},
            {"cmd": "While", "cond": "i < )j" + std::to_string(Count) + R"j(", "exit": "done"},)j" + Body +
               R"j({"cmd": "WhileLoop", "do": "i = i + 1", "head": "top", "indent": 1},
            {"cmd": "Label", "name": "done"})j";
    }

    std::unique_ptr<TCallMan> own_ = std::make_unique<TCallMan>();
    int64_t limit_ = 0, before_ = 0;
};

TEST_F(Budget, DoublingAStringEnds) {
    Var("i", PT_INT);
    EXPECT_EQ(Run(R"j([{"cmd": "WhileInit", "do": "t = \"x\""}, )j" +
                  Loop(28, R"j({"cmd": "Calc", "do": "t = t ++ t", "indent": 1},)j") + "]"),
              "p.vsb(5):タイトルのメモリを使い切りました");
    EXPECT_LT(Value("t").size(), size_t(64 << 20));
    ExpectGivenBack();
}

TEST_F(Budget, PushingABigArrayEnds) {
    Var("i", PT_INT), Var("a", PT_STR);
    EXPECT_EQ(Run("[{\"cmd\": \"Calc\", \"do\": \"SetArray(a, 1000000)\"}, " +
                  Loop(100, R"j({"cmd": "Calc", "do": "PushVar(\"a\")", "indent": 1},)j") + "]"),
              "p.vsb(5):タイトルのメモリを使い切りました");
    ExpectGivenBack();
}

TEST_F(Budget, AnArrayBeyondWhatIsLeftIsRefused) {
    Var("a", PT_STR);
    EXPECT_EQ(Run(R"j([{"cmd": "Calc", "do": "SetArray(a, 4000000)"}])j"), "p.vsb(1):タイトルのメモリを使い切りました");
    EXPECT_EQ(ParamMan->Find("a")->Count(), 1);  // the refused size left the array as it was
    ExpectGivenBack();
}

// A million separators under 40 MiB: the array fits, the list of its pieces made first does
// not, and is charged as it grows (and made in time in proportion to the text).
TEST_F(Budget, SplittingALongTextEnds) {
    SetMemoryLimit(40 << 20);
    Var("i", PT_INT), Var("a", PT_STR);
    EXPECT_EQ(Run(R"j([{"cmd": "WhileInit", "do": "t = \",\""}, )j" +
                  Loop(20, R"j({"cmd": "Calc", "do": "t = t ++ t", "indent": 1},)j") +
                  R"j(, {"cmd": "Calc", "do": "StringToArray(t, a, \",\")"}])j"),
              "p.vsb(8):タイトルのメモリを使い切りました");
    ExpectGivenBack();
}

// Rows of 64 KiB filling table after table.
TEST_F(Budget, TableRowsEnd) {
    Var("i", PT_INT);
    EXPECT_EQ(Run("[" +
                  Loop(4096, R"j({"cmd": "Calc", "do": "DBCreateTable(\"t\" ++ (i / 1024), TRUE)", "indent": 1},
                                {"cmd": "Calc", "do": "DBAddField(\"s\", 4, 65535)", "indent": 1},
                                {"cmd": "Calc", "do": "DBInsert()", "indent": 1},)j") +
                  "]"),
              "p.vsb(6):タイトルのメモリを使い切りました");
    ExpectGivenBack();
}

// Objects made in a loop, one per round, each with a name of its own (under a few MiB more than
// the test holds: a box takes little).
TEST_F(Budget, ObjectsMadeInALoopEnd) {
    SetMemoryLimit(MemoryCharged() + (4 << 20));
    Var("i", PT_INT);
    EXPECT_EQ(Run("[" + Loop(10000000, R"j({"cmd": "BoxNew", "indent": 1, "props": {"NAME": "\"b\" ++ i"}},)j") + "]"),
              "p.vsb(4):タイトルのメモリを使い切りました");
    EXPECT_LE(MemoryCharged(), MemoryLimit() + testbudget::Slack);
}

// Temporaries of a string function: the copies of its arguments.
TEST_F(Budget, StringTemporariesEnd) {
    Var("i", PT_INT);
    EXPECT_EQ(Run(R"j([{"cmd": "WhileInit", "do": "t = StringOfChar(\"x\", 1000000)"}, )j" +
                  Loop(30, R"j({"cmd": "Calc", "do": "Insert(t, t, 1)", "indent": 1},)j") + "]"),
              "p.vsb(5):タイトルのメモリを使い切りました");
}

// Code compiled at run time: a short text that makes a great many operations.
TEST_F(Budget, ACompiledCalculationEnds) {
    EXPECT_EQ(Run(R"j([{"cmd": "Calc", "do": "t = Calc(StringOfChar(\"1+\", 4000000) ++ \"1\")"}])j"),
              "p.vsb(1):タイトルのメモリを使い切りました");
}

}  // namespace
