#include "script/params_parser.h"

#include "core/sysutils.h"
#include "tests/common/fixture.h"
#include "tests/script/params_funcs_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

namespace {

// "ocFunc ____0 <- f, b, 2" per operation.
std::vector<std::string> Listing(const TBuildVelaParser& Compiler) {
    std::vector<std::string> lines;
    for (int i = 0; i < Compiler.Count(); ++i) {
        const TBuildOpeData& op = Compiler.GetOperation(i);
        std::string line = std::string(OpCodeNames[op.Code]) + " " + op.Dest + " <-";
        for (size_t a = 0; a < op.Args.size(); ++a) line += (a ? ", " : " ") + op.Args[a];
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> Compiled(const std::string& Text) {
    TBuildVelaParser compiler;
    compiler.Build(Text);
    return Listing(compiler);
}

std::string CompileError(const std::string& Text) {
    return ErrorOf([&] { TBuildVelaParser().Build(Text); });
}

// The stored form the compiler writes for Text.
std::string StoredBytes(const std::string& Text) {
    TBuildVelaParser compiler;
    compiler.Build(Text);
    TMemoryStream stream;
    compiler.SaveToStream(stream);
    return Bytes(stream);
}

void Load(TVelaParser& Expression, const std::string& Data) {
    TMemoryStream stream = StreamOf(Data);
    Expression.LoadFromStream(stream);
}

// "int 3", "float 3.5", "bool TRUE", "str 15" or "none".
std::string Describe(const TCustomParam* Value) {
    if (!Value) return "none";
    static const char* const names[] = {"ref", "int", "float", "bool", "str"};
    return std::string(names[Value->ParamType()]) + " " + Value->AsStr();
}

class Expressions : public ScriptEngineTest {
protected:

    TParamCollectionItem& Declare(const std::string& Name, uint8_t Type) {
        TParamCollectionItem& item = ParamMan->AddParam(Type);
        item.SetName(Name);
        return item;
    }
    TParamCollectionItem& Var(const std::string& Name) { return *ParamMan->Find(Name); }

    // Compiles, stores, reloads and runs Text; the result described.
    std::string Run(const std::string& Text) {
        TVelaParser expression;
        Load(expression, StoredBytes(Text));
        expression.Execute();
        return Describe(expression.Result());
    }
};

}  // namespace

// ---- Compiling ----

TEST(ExprCompiler, WorkedExamples) {
    EXPECT_EQ(Compiled("x = (a + 1) * f(b, 2)"),
              (std::vector<std::string>{"ocFunc ____0 <- f, b, 2", "ocPlus ____2 <- a, 1",
                                        "ocMul ____3 <- ____2, ____0", "ocTo x <- ____3"}));
    EXPECT_EQ(
        Compiled("a[i + 1, 2] = 5"),
        (std::vector<std::string>{"ocPlus ____2 <- i, 1", "ocDimTo ____d_0 <- a, ____2, 2", "ocTo ____d_0 <- 5"}));
    // Copies into element temporaries stay: they write through to the element.
    EXPECT_EQ(Compiled("a[1] = b[2]"), (std::vector<std::string>{"ocDimTo ____d_0 <- b, 2", "ocDimTo ____d_1 <- a, 1",
                                                                 "ocTo ____d_1 <- ____d_0"}));
}

TEST(ExprCompiler, StringLiterals) {
    EXPECT_EQ(Compiled("x = \"a\\\"b\""), (std::vector<std::string>{"ocTo ____0 <- \"a\"b\"", "ocTo x <- ____0"}));
    EXPECT_EQ(Compiled("\"a\\nb\\tc\\\\\"")[0], "ocTo ____0 <- \"a\r\nb\\tc\\\"");
    // Trail bytes 0x5C and 0x7C neither escape nor split: "表", and a name "ポ".
    EXPECT_EQ(Compiled("\"表\" ++ ポ")[0], "ocTo ____0 <- \"表\"");
    EXPECT_EQ(Compiled("ポ = ゼ[1]"), (std::vector<std::string>{"ocDimTo ____d_0 <- ゼ, 1", "ocTo ポ <- ____d_0"}));
    // A quote that is never closed stays in the text as ordinary characters.
    EXPECT_EQ(Compiled("x = \"ab"), (std::vector<std::string>{"ocTo x <- \"ab"}));
    // Operator characters inside a literal are its own.
    EXPECT_EQ(Compiled("f(\"(a, b]\")")[1], "ocFunc ____1 <- f, ____0");
}

TEST(ExprCompiler, CallsAndElements) {
    EXPECT_EQ(Compiled("f(g(1), h(2))"),
              (std::vector<std::string>{"ocFunc ____0 <- h, 2", "ocFunc ____1 <- g, 1",
                                        "ocFunc ____2 <- f, ____1, ____0", "ocTo ____arg <- ____2"}));
    EXPECT_EQ(Compiled("f()")[0], "ocFunc ____0 <- f");
    // An argument that is an element goes through a copy into a value temporary.
    EXPECT_EQ(Compiled("f (a[1, 2], (b))"),
              (std::vector<std::string>{"ocDimTo ____d_2 <- a, 1, 2", "ocTo ____1 <- ____d_2",
                                        "ocFunc ____0 <- f, ____1, b", "ocTo ____arg <- ____0"}));
    EXPECT_EQ(Compiled("f(a, )")[0], "ocFunc ____0 <- f, a, ");
    EXPECT_EQ(Compiled("a[1,2]")[0], "ocDimTo ____d_0 <- a, 1, 2");
    EXPECT_EQ(CompileError("a[1][2]"), "構文エラー");
    EXPECT_EQ(CompileError("x = [1]"), "構文エラー");
    EXPECT_EQ(CompileError("a[]"), "配列の添え字が不正です");
    EXPECT_EQ(CompileError("f(a[1)]"), "構文エラー");
    // Calls, elements and groups are cut out last first; a call's temporary before "(" names a
    // call, and a group's temporary joins the name after it.
    EXPECT_EQ(Compiled("f(1) (g(2))"), (std::vector<std::string>{"ocFunc ____0 <- g, 2", "ocFunc ____1 <- f, 1",
                                                                "ocFunc ____2 <- ____1, ____0", "ocTo ____arg <- ____2"}));
    EXPECT_EQ(Compiled("x = (1)(2) + a[b[1], (2)]"),
              (std::vector<std::string>{"ocDimTo ____d_0 <- b, 1", "ocDimTo ____d_1 <- a, ____d_0, 2", "ocTo ____2 <- 2",
                                        "ocTo ____3 <- 1", "ocPlus ____4 <- ____3____2, ____d_1", "ocTo x <- ____4"}));
}

TEST(ExprCompiler, SignsAndPrecedence) {
    const std::vector<std::string> negate{"ocMinus ____0 <- 0, 5", "ocTo x <- ____0"};
    EXPECT_EQ(Compiled("x = -5"), negate);
    EXPECT_EQ(Compiled("-5")[0], negate[0]);
    EXPECT_EQ(Compiled("x = +5"), (std::vector<std::string>{"ocTo x <- 5"}));
    EXPECT_EQ(Compiled("x = 2 * -3"),
              (std::vector<std::string>{"ocMinus ____0 <- 0, 3", "ocMul ____1 <- 2, ____0", "ocTo x <- ____1"}));
    EXPECT_EQ(Compiled("1 + 2 * 3")[0], "ocMul ____0 <- 2, 3");
    EXPECT_EQ(Compiled("8 - 3 - 2"), (std::vector<std::string>{"ocMinus ____0 <- 8, 3", "ocMinus ____1 <- ____0, 2",
                                                               "ocTo ____arg <- ____1"}));
    // All comparisons share a level; "++" binds looser than them and tighter than "&".
    EXPECT_EQ(Compiled("a < b == c")[1], "ocEqual ____1 <- ____0, c");
    EXPECT_EQ(Compiled("a & b ++ c < d"),
              (std::vector<std::string>{"ocSmall ____0 <- c, d", "ocComboStr ____1 <- b, ____0",
                                        "ocAnd ____2 <- a, ____1", "ocTo ____arg <- ____2"}));
    EXPECT_EQ(Compiled("a != b"), (std::vector<std::string>{"ocTo a ! <- b"}));
    for (const char* text : {"a = b = c", "a => b", "1 +", "* 2", "= 1", "(a", "a)", "a]", "a * * b"})
        EXPECT_EQ(CompileError(text), "構文エラー") << text;
    EXPECT_EQ(Compiled(""), (std::vector<std::string>{"ocTo ____arg <- "}));
    EXPECT_EQ(Compiled("  "), (std::vector<std::string>{"ocTo ____arg <-   "}));
}

TEST(ExprCompiler, NestingIsBounded) {
    const auto nested = [](int Depth) {
        return std::string(static_cast<size_t>(Depth), '(') + "1" + std::string(static_cast<size_t>(Depth), ')');
    };
    EXPECT_EQ(Compiled(nested(MaxExprNesting)), (std::vector<std::string>{"ocTo ____0 <- 1", "ocTo ____arg <- ____0"}));
    EXPECT_EQ(CompileError(nested(MaxExprNesting + 1)), "構文エラー");
    std::string calls = "1";
    for (int i = 0; i < MaxExprNesting + 1; ++i) calls = "f(" + calls + ")";
    EXPECT_EQ(CompileError(calls), "構文エラー");
}

// Long chains of signs, groups and calls are no nesting: each compiles in one pass and runs to
// its value.
TEST_F(Expressions, LongChainsCompileAndRun) {
    std::string minuses, groups = "0", calls = "0";
    for (int i = 0; i < 5001; ++i) minuses += "- ";
    for (int i = 0; i < 2000; ++i) {
        groups += "+(1)";
        calls += "+Max(1, 2)";
    }
    EXPECT_EQ(Run(minuses + "7"), "int -7");
    EXPECT_EQ(Run(groups), "int 2000");
    EXPECT_EQ(Run(calls), "int 4000");
}

// ---- The stored form ----

TEST(ExprStream, ExactBytes) {
    const auto hex = [](const std::string& Spaced) { return ToHex(FromHex(Spaced)); };
    const std::string result = ToHex("____arg");
    // count 1; code 1, destination "x", one operand: int 5.
    EXPECT_EQ(ToHex(StoredBytes("x = 5")), hex("01000000 01 01000000 78 01000000 01 05000000"));
    // An integer text beyond 32 bits is a float (3e9 as an 80-bit extended); "TRUE" a flag and
    // "true" a variable name.
    EXPECT_EQ(ToHex(StoredBytes("3000000000")),
              hex("01000000 01 07000000" + result + "01000000 02 00000000005ED0B2 1E40"));
    EXPECT_EQ(ToHex(StoredBytes("TRUE")), hex("01000000 01 07000000" + result + "01000000 03 01"));
    EXPECT_EQ(ToHex(StoredBytes("true")),
              hex("01000000 01 07000000" + result + "01000000 00 04000000" + ToHex("true")));
    // ocFunc: the function index after the operand count, the function name not an operand.
    EXPECT_EQ(ToHex(StoredBytes("x = Length(y)").substr(4, 21)),
              hex("0B 05000000" + ToHex("____0") + "01000000 05 00 01000000" + ToHex("y")));
}

// A stream the expression reads through its calls.
class TPlainStream : public TMemoryStream {};

TEST(ExprStream, RoundTripIsByteExact) {
    for (const char* text : {"x = (a + 1) * Max(b, 2)", "a[i + 1, 2] = 5", "s = \"表\\n\" ++ IntToStr(-3.25)",
                             "TRUE <> FALSE", "$FF | 0x10 ^ 3000000000", "", "Random(10) >= 2"}) {
        const std::string stored = StoredBytes(text);
        TVelaParser loaded, copy;
        Load(loaded, stored);
        TMemoryStream again, copied;
        loaded.SaveToStream(again);
        EXPECT_EQ(ToHex(Bytes(again)), ToHex(stored)) << text;
        copy.Assign(loaded);
        copy.SaveToStream(copied);
        EXPECT_EQ(ToHex(Bytes(copied)), ToHex(stored)) << text;
        // Read field by field through the stream, or from a memory stream's bytes: the same
        // operations, and the position just past them.
        for (const bool plain : {false, true}) {
            TMemoryStream memory;
            TPlainStream other;
            TMemoryStream& stream = plain ? other : memory;
            stream.WriteBuffer(stored.data(), int64_t(stored.size()));
            stream.WriteBuffer("\x7F", 1);
            stream.SetPosition(0);
            TVelaParser read;
            TMemoryStream saved;
            read.LoadFromStream(stream);
            EXPECT_EQ(stream.Position(), int64_t(stored.size())) << text << plain;
            read.SaveToStream(saved);
            EXPECT_EQ(ToHex(Bytes(saved)), ToHex(stored)) << text << plain;
        }
        // Compiled straight into an expression: the operations its stored form loads.
        TVelaParser compiled;
        TMemoryStream direct;
        CompileExpression(text, compiled);
        compiled.SaveToStream(direct);
        EXPECT_EQ(ToHex(Bytes(direct)), ToHex(stored)) << text;
    }
}

TEST(ExprStream, WriterRefusesUnknownFunctionsAndCounts) {
    EXPECT_EQ(ErrorOf([] { StoredBytes("f(1)"); }), "\"f\" 関数名がありません");
    EXPECT_EQ(ErrorOf([] { StoredBytes("Length(1, 2)"); }), "Length 引数の数が不正です");
    EXPECT_EQ(ErrorOf([] { StoredBytes("Length()"); }), "Length 引数の数が不正です");
    // A number in the place of a function name is a name all the same, not an operand.
    EXPECT_EQ(ErrorOf([] { StoredBytes("1(2)"); }), "\"1\" 関数名がありません");
    // Compiled straight into an expression, the same errors, and the expression stays as it was.
    TVelaParser expression;
    CompileExpression("x = 1", expression);
    EXPECT_EQ(ErrorOf([&] { CompileExpression("y = Length(1, 2)", expression); }), "Length 引数の数が不正です");
    ASSERT_EQ(expression.Count(), 1);
    EXPECT_EQ(expression.Operation(0).Dest, "x");
}

TEST(ExprStream, DamagedInputIsRefused) {
    const std::string stored = StoredBytes("x = IndexOfStr(a[1], \"s\", 2.5, TRUE)");
    for (size_t size = 0; size < stored.size(); ++size) {
        TVelaParser expression;
        EXPECT_THROW(Load(expression, stored.substr(0, size)), EReadError) << size;
        EXPECT_EQ(expression.Count(), 0);
        TPlainStream plain;
        plain.WriteBuffer(stored.data(), int64_t(size));
        plain.SetPosition(0);
        EXPECT_THROW(expression.LoadFromStream(plain), EReadError) << size;
    }
    TVelaParser expression;
    EXPECT_THROW(Load(expression, FromHex("FFFFFFFF")), EReadError);
    EXPECT_THROW(Load(expression, FromHex("01000000 02 00000000 FFFFFF7F 01")), EReadError);
    EXPECT_THROW(Load(expression, FromHex("01000000 02 FFFFFF7F")), EReadError);
    // An unknown kind reads as a variable name.
    Load(expression, FromHex("01000000 01 00000000 01000000 09 01000000 61"));
    ASSERT_EQ(expression.Count(), 1);
    EXPECT_EQ(dynamic_cast<TParamVar&>(*expression.Operation(0).Args[0]).TargetName(), "a");
}

// ---- Running ----

TEST_F(Expressions, ValuesAndTypes) {
    EXPECT_EQ(Run("7 / 2"), "int 3");
    EXPECT_EQ(Run("7.0 / 2"), "float 3.5");
    EXPECT_EQ(Run("-7 % 2"), "int -1");
    EXPECT_EQ(Run("1 << 33"), "int 2");
    EXPECT_EQ(Run("-8 >> 1"), "int 2147483644");
    EXPECT_EQ(Run("1 << -1"), "int -2147483648");
    EXPECT_EQ(Run("\"abc\" == \"abc\""), "bool TRUE");
    EXPECT_EQ(Run("\"abc\" < \"abd\""), "bool TRUE");
    EXPECT_EQ(Run("\"B\" < \"a\""), "bool TRUE");
    EXPECT_EQ(Run("\"ab\" < \"abc\""), "bool TRUE");
    EXPECT_EQ(Run("\"\x81\x40\" > \"z\""), "bool TRUE");  // bytes compare unsigned
    EXPECT_EQ(Run("\"10\" + \"5\""), "str 15");
    EXPECT_EQ(Run("\"10\" ++ \"5\""), "str 105");
    EXPECT_EQ(Run("3000000000"), "float 3000000000");
    EXPECT_EQ(Run("TRUE"), "bool TRUE");
    EXPECT_EQ(Run("TRUE > FALSE"), "bool TRUE");
    EXPECT_EQ(Run("true"), "none");           // a variable that does not exist
    EXPECT_EQ(Run("1 < 1.5"), "bool FALSE");  // compared as integers, the type of the left side
    Declare("s", PT_STR).SetAsStr("old");
    Declare("b", PT_BOOL);
    Run("s = 5");
    Run("b = 5");
    EXPECT_EQ(Var("s").GetAsStr(), "5");
    EXPECT_TRUE(Var("b").GetAsBool());
}

TEST_F(Expressions, ArithmeticNeverTraps) {
    for (const char* text : {"1 / 0", "1 % 0", "1.5 / 0", "1 / 0.0", "5 % 0.5"}) EXPECT_EQ(Run(text), "none") << text;
    EXPECT_EQ(Run("(-2147483647 - 1) / -1"), "int -2147483648");
    EXPECT_EQ(Run("(-2147483647 - 1) % -1"), "int 0");
    EXPECT_EQ(Run("2147483647 + 1"), "int -2147483648");
    EXPECT_EQ(Run("65536 * 65536"), "int 0");
    EXPECT_EQ(Run("1E300 * 1E300 | 0"), "none");  // no integer holds it

    Declare("x", PT_INT).SetAsInt(7);
    TOpeData divide;
    divide.Code = ocDiv;
    divide.Dest = "x";
    divide.Args.push_back(OperandValue("x"));
    divide.Args.push_back(OperandValue("0"));
    TVelaParser runner;
    TExprTemporaries temporaries;
    try {
        runner.RunOperation(divide, temporaries);
        ADD_FAILURE() << "no error";
    } catch (const EDivByZero& e) {
        EXPECT_STREQ(e.what(), "Division by zero");
    }
    EXPECT_EQ(Var("x").GetAsInt(), 7);
    EXPECT_EQ(dynamic_cast<TParamVar&>(*divide.Args[0]).Target(), nullptr);  // unbound again
}

TEST_F(Expressions, ElementsReadAndWriteThrough) {
    Declare("a", PT_INT).SetDims({3, 4});
    Declare("x", PT_INT);
    Run("a[2, 3] = 7");
    EXPECT_EQ(Var("a").GetIntAt(11), 7);
    Run("x = a[1 + 1, 3] * 2");
    EXPECT_EQ(Var("x").GetAsInt(), 14);
    const int count = ParamMan->Count();
    TVelaParser expression;
    Load(expression, StoredBytes("x = a[3, 0]"));
    EXPECT_EQ(ErrorOf([&] {
                  TExprTemporaries temporaries;
                  TOpeData operation = expression.Operation(0);
                  expression.RunOperation(operation, temporaries);
              }),
              "a[3,0]\r\n要素数を超えています");
    EXPECT_EQ(ParamMan->Count(), count);  // the temporary went with its list
    EXPECT_EQ(Run("a[1] = 1"), "none");
    EXPECT_EQ(Var("a").GetIntAt(1), 0);
}

TEST_F(Expressions, RunsKeepEarlierWritesAndRemoveTemporaries) {
    Declare("x", PT_INT);
    TVelaParser expression;
    // x = 5, then ____arg from a variable that does not exist (its name no format either).
    const std::string assignX = "01 01000000 78 01000000 01 05000000";
    const std::string fromMissing = "01 07000000" + ToHex("____arg") + "01000000 00 06000000" + ToHex("%s%n%d");
    Load(expression, FromHex("02000000" + assignX + fromMissing));
    const int count = ParamMan->Count();
    expression.Execute();
    EXPECT_EQ(Var("x").GetAsInt(), 5);
    EXPECT_EQ(expression.Result(), nullptr);
    EXPECT_EQ(ParamMan->Count(), count);

    TVelaParser empty;
    Load(empty, FromHex("00000000"));
    empty.Execute();
    EXPECT_EQ(empty.Result(), nullptr);

    // A temporary that already exists (a run inside a run) is used and left alone.
    Declare("____0", PT_STR).SetAsStr("outer");
    EXPECT_EQ(Run("1 + 2 * 3"), "int 7");
    EXPECT_EQ(Var("____0").GetAsStr(), "6");
    EXPECT_EQ(ParamMan->Count(), count + 1);
}

TEST_F(Expressions, GetPropTakesThePropertyType) {
    Declare("x", PT_STR).SetAsStr("keep");
    Run("x = GetProp(\"a\", 300)");  // property 44, an integer
    EXPECT_EQ(Var("x").GetAsStr(), "0");
    Run("x = GetProp(\"a\", 256)");  // property 0, the name
    EXPECT_EQ(Var("x").GetAsStr(), "");
    Var("x").SetAsStr("keep");
    TVelaParser expression;
    Load(expression, StoredBytes("x = GetProp(\"a\", 171)"));
    EXPECT_EQ(ErrorOf([&] {
                  TExprTemporaries temporaries;
                  for (int i = 0; i < expression.Count(); ++i) {
                      TOpeData operation = expression.Operation(i);
                      expression.RunOperation(operation, temporaries);
                  }
              }),
              "GetPropの引数が違います");
    EXPECT_EQ(Var("x").GetAsStr(), "keep");
}

TEST_F(Expressions, StoredOperationsThatCannotRun) {
    Declare("x", PT_INT).SetAsInt(1);
    const auto runOne = [](const std::string& Hex) {
        TVelaParser expression;
        Load(expression, FromHex("01000000" + Hex));
        return ErrorOf([&] {
            TExprTemporaries temporaries;
            TOpeData operation = expression.Operation(0);
            expression.RunOperation(operation, temporaries);
        });
    };
    const std::string temp = "05000000" + ToHex("____0");
    EXPECT_EQ(runOne("00" + temp + "01000000 01 05000000"), "不正な式\r\n\r\n代入先:____0演算タイプ:ocNone\r\n5");
    EXPECT_EQ(runOne("19" + temp + "00000000"), "不正な式\r\n\r\n代入先:____0演算タイプ:25");
    EXPECT_NE(runOne("02" + temp + "01000000 01 05000000"), "");  // ocPlus with one operand
    EXPECT_NE(runOne("0B" + temp + "00000000 C8"), "");           // function 200
    EXPECT_NE(runOne("0B 01000000 78 00000000 C8"), "");          // into a variable too
    EXPECT_EQ(runOne("0B" + temp + "00000000 05"), "Length 引数の数が不正です");
    EXPECT_EQ(Var("x").GetAsInt(), 1);
}

namespace {

// A dispatcher stand-in whose function gives the value its last argument arrived with and then
// writes 99 into every argument.
class TWritingParser : public TVelaParser {
protected:
    void CallFunction(TParamCollectionItem& Dest, uint8_t, TSysFuncArgs Args) override {
        Dest.SetAsInt(Args.back()->AsInt());
        for (TCustomParam* arg : Args) arg->SetInt(99);
    }
};

}  // namespace

TEST_F(Expressions, FunctionsNeverWriteIntoLiterals) {
    Declare("v", PT_INT).SetAsInt(1);
    Declare("x", PT_INT);
    TWritingParser expression;
    Load(expression, StoredBytes("x = Max(v, 5) + 5"));
    for (int run = 0; run < 2; ++run) {
        expression.Execute();
        EXPECT_EQ(Var("x").GetAsInt(), 10);  // the literal arrives as 5 in every run
        EXPECT_EQ(Var("v").GetAsInt(), 99);  // a variable argument is written through
    }
}

// Operations added after runs, planned or through the table, run in the next one.
TEST_F(Expressions, OperationsAddedAfterARunRun) {
    Declare("x", PT_INT);
    Declare("y", PT_INT);
    TVelaParser more;
    Load(more, StoredBytes("y = x * 10 + 1"));
    for (const char* text : {"x = 2", "x = Max(1, 2)"}) {
        Var("y").SetAsInt(0);
        TVelaParser expression;
        Load(expression, StoredBytes(text));
        expression.Execute();
        for (int i = 0; i < more.Count(); ++i) expression.Add(more.Operation(i));
        expression.Execute();
        EXPECT_EQ(Var("y").GetAsInt(), 21) << text;
    }
}

TEST_F(Expressions, CheckExprSyntax) {
    Declare("r", PT_STR);
    EXPECT_TRUE(CheckExprSyntax(" r = \"ok\" "));
    EXPECT_EQ(Var("r").GetAsStr(), "ok");
    EXPECT_TRUE(CheckExprSyntax("missing = 1"));  // run errors are not syntax errors
    for (const char* text : {"", "  ", "1 +", "f(1)", "Length(1, 2)"}) EXPECT_FALSE(CheckExprSyntax(text)) << text;
}

// Random expressions over numbers against the Python reference (c_int32 wrap-around, truncating
// division, exact fractions rounded to extended precision).
TEST_F(Expressions, AgreesWithReference) {
    const std::vector<std::string> cases = Lines(PythonOutput("expr_ref.py", {"400", "20240611"}));
    ASSERT_EQ(cases.size(), 400u);
    for (const std::string& line : cases) {
        const size_t tab = line.find('\t');
        const std::string text = line.substr(0, tab);
        std::istringstream expected(line.substr(tab + 1));
        std::string kind;
        expected >> kind;
        TVelaParser expression;
        Load(expression, StoredBytes(text));
        expression.Execute();
        const TCustomParam* result = expression.Result();
        if (kind == "none") {
            EXPECT_EQ(result, nullptr) << text;
            continue;
        }
        ASSERT_NE(result, nullptr) << text;
        if (kind == "float") {
            std::string sign;
            unsigned long long mantissa;
            int exponent;
            expected >> sign >> mantissa >> exponent;
            const long double value = std::ldexp(static_cast<long double>(mantissa), exponent) * (sign == "-" ? -1 : 1);
            EXPECT_EQ(result->ParamType(), PT_FLOAT) << text;
            EXPECT_EQ(result->AsFloat(), value) << text;
            continue;
        }
        int64_t value;
        expected >> value;
        EXPECT_EQ(result->ParamType(), kind == "int" ? PT_INT : PT_BOOL) << text;
        EXPECT_EQ(result->AsInt(), value) << text;
    }
}
