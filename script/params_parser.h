#pragma once
// Script expressions. The compiler turns one expression text into a flat list of three-address
// operations whose intermediate results go to named temporaries ("____0", element references
// "____d_0", the expression's own result "____arg"); the list is stored as a byte stream, which
// the runner loads once and executes any number of times against the variable table.
//
// Stream form (little-endian): uint32 operation count, then per operation: the code byte, the
// destination (int32 length and bytes), the uint32 operand count, the function index byte (only
// for ocFunc, whose function name is not an operand), then each operand as a kind byte and its
// value: 1 int32, 2 ten-byte extended, 3 one byte (1 true, 0 false), 4 string (int32 length and
// bytes), 0 (and any other kind on reading) a variable name as a string.
#include "core/header.h"
#include "script/params_funcs.h"
#include "script/params_vars.h"

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The names temporaries begin with, those of element references, and the expression's result.
inline constexpr char ExprTempPrefix[] = "____";
inline constexpr char ExprElementPrefix[] = "____d_";
inline constexpr char ExprResultName[] = "____arg";

// Integer division or remainder by zero, or float division by zero, in a running expression.
class EDivByZero : public EVelaError {
public:
    EDivByZero() : EVelaError("Division by zero") {}
};

// ---- Text helpers of the compiler ----
// All of them walk Shift-JIS characters: neither byte of a double-byte character is ever taken
// for a quote, backslash, bracket, operator or name character.

// A piece of text found by a helper: its byte offset and byte length in the searched text (on
// character boundaries) and its text. Length 0 when nothing was found.
struct TExprPiece {
    size_t Pos = 0;
    size_t Length = 0;
    std::string Text;
    // The offset within Text of the piece's opening parenthesis or bracket.
    size_t Open = 0;
};

// + - * / % | & ^ = [ ] ( ) , < >
bool IsExprOperatorChar(char C);
// Whether the text holds any operator character.
bool HasExprOperator(const std::string& Text);
// The first string literal at or after byte offset From (a character boundary): from a double
// quote to the next one not produced by an escape. Text is the literal with its two quotes,
// \" and \\ decoded and \n turned into CR LF (other backslash pairs stay). Nothing when there is
// no quote or the last literal is not closed.
TExprPiece ExtractStringLiteral(const std::string& Text, size_t From = 0);
// Text without the parentheses that enclose all of it, as often as they do.
std::string StripOuterParens(const std::string& Text);

// Parentheses, brackets and nested texts deeper than this are refused with "構文エラー".
inline constexpr int MaxExprNesting = 256;

// ---- The compiler ----

// One built operation: operand texts as written (names, numbers, TRUE or FALSE, string literals
// in their quotes); for ocFunc the first is the function name, for ocDimTo the array name.
struct TBuildOpeData {
    uint8_t Code = ocNone;
    std::string Dest;
    std::vector<std::string> Args;
};

// The value an operand text stands for: an int (32-bit decimal or hexadecimal), else a float,
// else a flag for exactly "TRUE" or "FALSE", else the string between the quotes of a literal,
// else a reference holding the text as a variable name.
std::unique_ptr<TCustomParam> OperandValue(const std::string& Text);
// The operand OperandValue makes of Text, written in the stream form without making it.
void WriteOperandText(TStream& Stream, const std::string& Text);
// The head of a stored operation: code, destination, operand count and, for ocFunc, FuncIndex.
void WriteOperationHead(TStream& Stream, uint8_t Code, const std::string& Dest, size_t Count, uint8_t FuncIndex);

class TBuildVelaParser {
public:
    // Compiles Text and appends its operations, then removes the copies from one value
    // temporary to another. EParamError "構文エラー" or "配列の添え字が不正です" on a syntax
    // error; what was appended before it stays.
    void Build(const std::string& Text);
    // The rewriting compiler: literals (first to last), then calls, array elements and groups
    // (each kind last to first, so inner ones first) are cut out of the text and replaced by
    // temporaries, then the flat rest is reduced by operator precedence. Each pass takes time in
    // proportion to its text.
    void CompileText(const std::string& Text);
    // uint32 count, then each operation with its operand texts classified as OperandValue does.
    // The first operand of ocFunc is the function name: EParamError "\"name\" 関数名がありません"
    // when no built-in function has it, "name 引数の数が不正です" when the call's argument count
    // is outside the function's bounds.
    void SaveToStream(TStream& Stream) const;
    // Each operation as SaveToStream writes it: Head(Code, Dest, operand count, FuncIndex), then
    // Operand(Text) for each operand; SaveToStream's errors.
    template <class THead, class TOperand>
    void EachOperation(THead Head, TOperand Operand) const {
        std::string dest, operand;
        for (const TOp& op : ops_) {
            const bool call = op.Code == ocFunc;
            const uint8_t funcIndex = call ? FunctionOf(op, operand) : 0;
            Head(op.Code, Spelled(op.Dest, dest), op.Count - call, funcIndex);
            for (uint32_t i = call; i < op.Count; ++i) Operand(Spelled(operands_[op.First + i], operand));
        }
    }

    int Count() const { return static_cast<int>(ops_.size()); }
    // Operation Index with its names and operand texts written out.
    TBuildOpeData GetOperation(int Index) const;

    // "____N" and "____d_N"; both take the next number of one counter that only grows.
    std::string NewTempName();
    std::string NewElementTempName();
    int32_t TempCounter() const { return tempCounter_; }

private:
    // A destination or operand text: the value temporary numbered Temp when that is not -1,
    // else Length bytes of names_ from Offset. Operations compare them by their text.
    struct TName {
        uint32_t Offset = 0;
        uint32_t Length = 0;
        int32_t Temp = -1;
    };
    // An operation; its operands are the Count names of operands_ from First. Operations hold
    // no memory of their own: a compile fills three arrays, whatever its size.
    struct TOp {
        uint8_t Code = ocNone;
        TName Dest;
        uint32_t First = 0;
        uint32_t Count = 0;
    };

    static TName Temp(int32_t N) { return {0, 0, N}; }
    // Text kept in names_.
    TName Keep(std::string_view Text);
    // The text of Name, written into Buffer.
    const std::string& Spelled(const TName& Name, std::string& Buffer) const;
    bool IsValueTemp(const TName& Name) const;
    // A copy from one value temporary to another, which RemoveCopies takes out.
    bool IsTempCopy(const TOp& Op) const;
    // The function an ocFunc operation calls, named by its first operand (spelled into Buffer);
    // SaveToStream's errors.
    uint8_t FunctionOf(const TOp& Op, std::string& Buffer) const;

    void AddOperation(uint8_t Code, TName Dest, std::span<const TName> Args);
    void AddOperation(uint8_t Code, TName Dest, std::initializer_list<TName> Args) {
        AddOperation(Code, Dest, std::span(Args.begin(), Args.size()));
    }
    // Room for N more operations of up to two operands at once (still growing geometrically
    // over many calls).
    void ReserveOperations(size_t N);
    void ReplaceStringLiterals(std::string& Text);
    void ReplaceFunctionCalls(std::string& Text);
    void ReplaceArrayElements(std::string& Text);
    void ReplaceGroups(std::string& Text);
    void CompileTokens(const std::string& Text);
    // A call argument or array index as an operand text; one holding an operator is compiled
    // into a new temporary first.
    std::string PrepareOperand(const std::string& Text);
    void RemoveCopies();

    std::vector<TOp> ops_;
    std::vector<TName> operands_;
    std::string names_;
    int32_t tempCounter_ = 0;
    int depth_ = 0;
};

// ---- The runner ----

// One operation as objects, as the unplanned run holds it. Operands are owned values: literals as
// plain values, variables as references (TParamVar) holding the name, bound to their variables
// only while the operation runs. FuncIndex is meaningful for ocFunc only.
class TOpeData {
public:
    uint8_t Code = ocNone;
    std::string Dest;
    uint8_t FuncIndex = 0;
    std::vector<std::unique_ptr<TCustomParam>> Args;

    void SaveToStream(TStream& Stream) const;
};

// The temporaries one run has created. Freeing the list deletes each of them that still exists
// from its variable table.
class TExprTemporaries {
public:
    TExprTemporaries() = default;
    TExprTemporaries(const TExprTemporaries&) = delete;
    TExprTemporaries& operator=(const TExprTemporaries&) = delete;
    ~TExprTemporaries();
    void Add(TParamCollectionItem& Item);

private:
    // A reference per temporary: it loses its target when the temporary is deleted meanwhile.
    std::vector<std::unique_ptr<TParamVar>> items_;
};

class TExprPlan;

// A compiled expression. Its operations are held in a few flat arrays, whatever their number;
// operand objects are made only for a run without the plan. When it is loaded it is also
// planned: each operand classified as a literal, a variable (its lookup cached) or a temporary,
// and the temporaries given value objects of their own that are reused from run to run instead
// of variables of the table. Expressions whose temporaries a script could see (those calling a
// function) always create them in the table, and so does a run while a variable of the table has
// a temporary's name or "@Temp" names one.
class TVelaParser {
public:
    TVelaParser();
    TVelaParser(const TVelaParser&) = delete;
    TVelaParser& operator=(const TVelaParser&) = delete;
    virtual ~TVelaParser();

    int Count() const { return static_cast<int>(ops_.size()); }
    // Replaces the operations by the stored ones; EReadError on short or absurd input, the
    // expression then empty.
    void LoadFromStream(TStream& Stream);
    void SaveToStream(TStream& Stream) const;
    void Assign(const TVelaParser& Source);
    // Replaces the operations by Compiler's, as their stored form loads them; its errors leave
    // the expression as it was.
    void SetOperations(const TBuildVelaParser& Compiler);
    // Appends Operation as its stored form loads it.
    void Add(const TOpeData& Operation);
    // Operation Index with new objects for its operands.
    TOpeData Operation(int Index) const;

    // Runs every operation in order. An error stops the run at the failing operation and goes
    // no further: what earlier operations wrote stays. Afterwards Result holds a copy of
    // "____arg" when the last operation assigns it and it exists; the run's temporaries are
    // deleted.
    void Execute();
    // Execute with every temporary created in the variable table, as planned runs must behave.
    void ExecuteUnplanned();
    // One step: binds the operands to their variables, creates the destination when it is a
    // missing temporary (typed by the operation), evaluates, and unbinds the operands.
    void RunOperation(TOpeData& Operation, TExprTemporaries& Temporaries);
    // Computes the operation into its existing destination variable.
    void EvalOperation(const TOpeData& Operation);

    // The value of the last run, nullptr when it had none.
    const TCustomParam* Result() const { return hasResult_ ? result_.get() : nullptr; }

protected:
    // Calls the built-in function Index; literal operands arrive as fresh copies, so a function
    // that writes into its argument never changes the compiled expression.
    virtual void CallFunction(TParamCollectionItem& Dest, uint8_t Index, TSysFuncArgs Args);

private:
    friend class TExprPlan;

    // Length bytes of text_ from Offset.
    struct TText {
        uint32_t Offset = 0;
        uint32_t Length = 0;
    };
    // A literal of Kind PT_INT, PT_FLOAT, PT_BOOL or PT_STR, or with PT_NONE a variable's name.
    // Int holds an int or a flag's 1 or 0; a float is floats_[Text.Offset]; a string's bytes
    // and a name are Text.
    struct TStoredOperand {
        TParamType Kind = PT_NONE;
        int32_t Int = 0;
        TText Text;
    };
    // An operation; its operands are the Count of operands_ from First.
    struct TStoredOp {
        uint8_t Code = ocNone;
        uint8_t FuncIndex = 0;
        TText Dest;
        uint32_t First = 0;
        uint32_t Count = 0;
    };

    std::string_view Text(TText Piece) const { return {text_.data() + Piece.Offset, Piece.Length}; }
    // Text appended to text_.
    TText Keep(std::string_view Text);
    // The operand a compiler's operand text stands for, as OperandValue classifies it.
    TStoredOperand OperandOf(const std::string& Text);
    // The operand as a new object: a plain value, or a reference holding the name.
    std::unique_ptr<TCustomParam> Value(const TStoredOperand& Operand) const;
    // The operation stored at the fields' position, appended.
    template <class TFields>
    void ReadOperation(TFields& Fields);
    // A stored expression's operations, appended.
    template <class TFields>
    void ReadOperations(TFields& Fields);
    // No operations, no plan.
    void Clear();
    void CreateTemporary(const TOpeData& Operation, TExprTemporaries& Temporaries);
    // The plan of the current operations (built again when their count changed); nullptr when
    // they cannot be planned.
    TExprPlan* Plan();
    // Result becomes a copy of Value, or none when Value is not a plain value.
    void TakeResult(const TCustomParam* Value);

    std::vector<TStoredOp> ops_;
    std::vector<TStoredOperand> operands_;
    std::vector<long double> floats_;
    std::string text_;
    // The operations as objects for runs without the plan, made at the first such run.
    std::vector<TOpeData> unplanned_;
    std::unique_ptr<TExprPlan> plan_;
    int plannedCount_ = -1;  // the operation count the plan was made for, -1 before planning
    std::unique_ptr<TCustomParam> result_;
    bool hasResult_ = false;
};

// What expression runs cost, for measuring: while Enabled, every Execute is counted and one in
// SampleEvery is timed (reading the clock for each run would cost as much as many runs).
struct TExprRunStats {
    static constexpr uint64_t SampleEvery = 16;
    bool Enabled = false;
    uint64_t Runs = 0;
    uint64_t Sampled = 0;
    uint64_t SampledNanoseconds = 0;
    // The estimated time of all runs.
    double Nanoseconds() const { return Sampled ? double(SampledNanoseconds) * double(Runs) / double(Sampled) : 0; }
};
extern TExprRunStats ExprRunStats;

// Compiles Text into Expression, its operands made as its stored form loads them (and so planned
// as a loaded one is); an error of the compiler or of SaveToStream raises and leaves Expression
// as it was.
void CompileExpression(const std::string& Text, TVelaParser& Expression);

// Whether Text (trimmed, not empty) compiles and stores; it is then run once, its errors
// discarded.
bool CheckExprSyntax(const std::string& Text);
