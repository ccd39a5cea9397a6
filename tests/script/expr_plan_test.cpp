#include "fuzz/expr_differential.h"

#include "tests/common/fixture.h"
#include "tests/script/params_funcs_fixture.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

// Planned runs agree with runs through the table on random expressions (the fuzz harness's
// check, from a fixed seed).
TEST(ExprPlan, AgreesWithRunsThroughTheTable) {
    uint32_t seed = 20261207;
    for (int n = 0; n < 3000; ++n) {
        uint8_t bytes[48];
        for (uint8_t& byte : bytes) {
            seed = seed * 1664525u + 1013904223u;
            byte = static_cast<uint8_t>(seed >> 24);
        }
        const std::string difference = exprdiff::Differential(bytes, sizeof bytes);
        ASSERT_EQ(difference, "") << "input " << n;
    }
}

class Plans : public ScriptEngineTest {
protected:
    TParamCollectionItem& Declare(const std::string& Name, uint8_t Type, int32_t Value) {
        TParamCollectionItem& item = exprdiff::Declare(Name, Type);
        item.SetAsInt(Value);
        return item;
    }
    static void Load(TVelaParser& Expression, const std::string& Text) { CompileExpression(Text, Expression); }
    // Runs Expression and gives x.
    std::string Run(TVelaParser& Expression) {
        Expression.Execute();
        return ParamMan->Find("x")->GetAsStr();
    }
};

// A name's cached variable is found again whenever the table changes under it.
TEST_F(Plans, BindingsFollowTheTable) {
    Declare("x", PT_INT, 0);
    Declare("y", PT_INT, 1);
    TVelaParser expression;
    Load(expression, "x = y * 2 + 1");
    EXPECT_EQ(Run(expression), "3");
    ParamMan->Find("y")->SetAsInt(4);
    EXPECT_EQ(Run(expression), "9");

    ParamMan->Delete(ParamMan->Find("y")->CachedIndex());
    Declare("Y", PT_INT, 10);  // recreated, in another case
    EXPECT_EQ(Run(expression), "21");

    ParamMan->Find("y")->SetName("q");  // renamed away: y is missing, x stays
    ParamMan->Find("q")->SetAsInt(50);
    EXPECT_EQ(Run(expression), "21");
    ParamMan->Find("q")->SetName("y");
    EXPECT_EQ(Run(expression), "101");

    // A local of a called page hides it; returning from the page shows it again.
    TParamCollectionItem& local = Declare("y", PT_INT, 100);
    local.SetOwnerId(1);
    local.SetLocal(true);
    ParamMan->SetCurrentScope(1);
    EXPECT_EQ(Run(expression), "201");
    ParamMan->SetCurrentScope(0);
    EXPECT_EQ(Run(expression), "101");
    ParamMan->DeleteScope(1);

    ParamMan->Find("y")->SetParamType(PT_FLOAT);  // retyped
    ParamMan->Find("y")->SetAsFloat(2.5L);
    EXPECT_EQ(Run(expression), "6");
    ParamMan->Find("y")->SetParamType(PT_INT);
    ParamMan->Find("y")->SetDims({2});  // made an array: its first element counts
    ParamMan->Find("y")->SetIntAt(0, 7);
    EXPECT_EQ(Run(expression), "15");
}

// A stored copy with an operand to spare still looks that operand up first, as it always did.
TEST_F(Plans, CopiesThatCannotRunStopTheRun) {
    Declare("x", PT_INT, 0);
    Declare("i", PT_INT, 3);
    TVelaParser written, stored, expression;
    Load(written, "x = i + 1");
    ASSERT_EQ(written.Count(), 2);
    TOpeData copy = written.Operation(1);
    copy.Args.push_back(std::make_unique<TParamVar>("nope"));
    stored.Add(written.Operation(0));
    stored.Add(copy);
    expression.Assign(stored);
    EXPECT_EQ(Run(expression), "0");
    Declare("nope", PT_INT, 0);
    EXPECT_EQ(Run(expression), "4");
}

// A temporary is found by its exact name, whether numbered within the operations or past them:
// "____01" is not "____1".
TEST_F(Plans, TemporariesAreFoundByTheirExactNames) {
    Declare("x", PT_INT, 0);
    for (const auto& [written, read, x] : {std::tuple{"____1", "____1", "5"}, {"____1", "____01", "0"},
                                            {"____7", "____7", "5"}, {"____7", "____07", "0"}}) {
        ParamMan->Find("x")->SetAsInt(0);
        TVelaParser stored, expression;
        TOpeData first, second;
        first.Code = ocTo;
        first.Dest = written;
        first.Args.push_back(OperandValue("5"));
        stored.Add(first);
        second.Code = ocTo;
        second.Dest = "x";
        second.Args.push_back(std::make_unique<TParamVar>(read));
        stored.Add(second);
        expression.Assign(stored);
        EXPECT_EQ(Run(expression), x) << written << " then " << read;
    }
}

// A temporary read before the run writes it (____1, written last) stops the run, even when the
// value object it shares with an earlier temporary (____0) holds that one's int.
TEST_F(Plans, TemporariesReadBeforeTheyAreWrittenStopTheRun) {
    Declare("x", PT_INT, 0);
    TVelaParser stored, expression;
    const auto add = [&stored](uint8_t Code, const char* Dest, std::unique_ptr<TCustomParam> A,
                               std::unique_ptr<TCustomParam> B) {
        TOpeData op;
        op.Code = Code;
        op.Dest = Dest;
        op.Args.push_back(std::move(A));
        if (B) op.Args.push_back(std::move(B));
        stored.Add(op);
    };
    add(ocPlus, "____0", OperandValue("1"), OperandValue("1"));
    add(ocPlus, "x", std::make_unique<TParamVar>("____0"), OperandValue("5"));
    add(ocTo, "x", std::make_unique<TParamVar>("____1"), nullptr);
    add(ocTo, "____1", OperandValue("3"), nullptr);
    expression.Assign(stored);
    EXPECT_EQ(Run(expression), "7");
}

// Only what can change a lookup renews the cached ones: not a scope change without locals, nor
// a variable of another name.
TEST_F(Plans, GenerationsMoveOnlyForWhatCanChangeALookup) {
    const int y = HashName("y");
    const uint64_t chain = ParamMan->ChainGeneration(y), scope = ParamMan->ScopeGeneration();
    ParamMan->SetCurrentScope(3);
    Declare("zzzz", PT_INT, 0).SetLocal(false);
    ASSERT_NE(HashName("zzzz"), y);
    EXPECT_EQ(ParamMan->ChainGeneration(y), chain);
    EXPECT_EQ(ParamMan->ScopeGeneration(), scope);
    Declare("y", PT_INT, 0).SetLocal(true);
    EXPECT_NE(ParamMan->ChainGeneration(y), chain);
    ParamMan->SetCurrentScope(0);
    EXPECT_NE(ParamMan->ScopeGeneration(), scope);
}

// A dispatcher stand-in whose function gives the value of the variable "____2".
class TPeekingParser : public TVelaParser {
protected:
    void CallFunction(TParamCollectionItem& Dest, uint8_t, TSysFuncArgs) override {
        const TParamCollectionItem* temporary = ParamMan->Find("____2");
        Dest.SetAsInt(temporary ? temporary->GetAsInt() : -1);
    }
};

// Where a script can see the temporaries, they are variables of the table as ever.
TEST_F(Plans, TemporariesStayVisibleWhereScriptsSeeThem) {
    Declare("x", PT_INT, 0);
    Declare("i", PT_INT, 3);
    TVelaParser viaTemp;
    Load(viaTemp, "x = (i + 1) * @Temp");
    ParamMan->SetTempVarName("i");
    EXPECT_EQ(Run(viaTemp), "12");
    ParamMan->SetTempVarName("____1");  // the temporary of i + 1
    EXPECT_EQ(Run(viaTemp), "16");
    ParamMan->SetTempVarName("i");

    TPeekingParser call;
    Load(call, "x = Max(i + 1, 0) * 2");  // the call sees i + 1 in ____2
    EXPECT_EQ(Run(call), "8");

    // A variable that has a temporary's name takes its writes and keeps them.
    Declare("____1", PT_INT, 100);
    EXPECT_EQ(Run(viaTemp), "12");
    EXPECT_EQ(ParamMan->Find("____1")->GetAsInt(), 4);
    EXPECT_EQ(ParamMan->Count(), SysVarCount + 3);
}

// So it does among many temporaries, whether the table holds fewer variables than the plan has
// temporaries or more, a name found without regard to case as the table finds it.
TEST_F(Plans, ManyTemporariesAreLookedUpInTheTableToo) {
    Declare("x", PT_INT, 0);
    std::string sum = "1";
    for (int i = 0; i < 100; ++i) sum += "+1";
    TVelaParser assigned, result;
    Load(assigned, "x = " + sum);  // temporaries ____0 to ____99
    Load(result, sum);             // and ____arg
    for (const bool moreVariables : {false, true}) {
        if (moreVariables)
            for (int i = 0; ParamMan->Count() <= 100; ++i) Declare("v" + std::to_string(i), PT_INT, 0);
        Declare("____50", PT_INT, 1000);
        EXPECT_EQ(Run(assigned), "101");
        EXPECT_EQ(ParamMan->Find("____50")->GetAsInt(), 52) << moreVariables;  // 1+1 in ____0
        Declare("____ARG", PT_INT, 0);
        result.Execute();
        EXPECT_EQ(ParamMan->Find("____arg")->GetAsInt(), 101) << moreVariables;
        ParamMan->Delete(ParamMan->Find("____50")->CachedIndex());
        ParamMan->Delete(ParamMan->Find("____arg")->CachedIndex());
    }
}

}  // namespace
