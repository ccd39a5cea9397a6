#pragma once
// Built-in functions called from compiled expressions, as scripts call them: each case runs its
// statements in order on fresh variables and checks one variable's elements afterwards, or the
// error that stopped the last statement.
#include "script/params_parser.h"
#include "tests/script/params_funcs_fixture.h"

#include <string>
#include <vector>

// Want is r's elements joined by "|" after the statements or, after "!", the message of the
// error that ended the last one.
struct TExprCase {
    std::vector<std::string> Statements;
    const char* Want;
};

class ExprFuncsTest : public FuncsTest {
protected:
    // Fresh variables a (int), s (str), f (float), b (bool) and r (str, "keep" at first).
    void SetUp() override {
        FuncsTest::SetUp();
        for (auto [name, type] : {std::pair{"a", PT_INT}, {"s", PT_STR}, {"f", PT_FLOAT}, {"b", PT_BOOL}, {"r", PT_STR}})
            ParamMan->AddParam(type).SetName(name);
        ParamMan->Find("r")->SetAsStr("keep");
    }
    // Runs Text compiled; "" or "!" and the message of the error that stopped it (a script's
    // runner discards those, so the operations are run one by one here to see it).
    static std::string Run(const std::string& Text) {
        TVelaParser expression;
        CompileExpression(Text, expression);
        TExprTemporaries temporaries;
        try {
            for (int i = 0; i < expression.Count(); ++i) {
                TOpeData operation = expression.Operation(i);
                expression.RunOperation(operation, temporaries);
            }
        } catch (const EVelaError& e) {
            return std::string("!") + e.what();
        }
        return "";
    }
    static std::string Elements(const std::string& Name) {
        const TParamCollectionItem& item = *ParamMan->Find(Name);
        std::string out;
        for (int32_t i = 0; i < item.Count(); ++i) out += (i ? "|" : "") + item.GetStrAt(i);
        return out;
    }
    // Each case from a fresh start (TearDown and SetUp again).
    void Check(const std::vector<TExprCase>& Cases) {
        for (const TExprCase& c : Cases) {
            TearDown();
            SetUp();
            std::string error;
            for (const std::string& statement : c.Statements) error = Run(statement);
            EXPECT_EQ(error.empty() ? Elements("r") : error, c.Want) << c.Statements.back();
        }
    }
};
