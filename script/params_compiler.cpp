// The expression compiler: textual rewriting of one expression into three-address operations.
#include "core/jstrm.h"
#include "core/sysutils.h"
#include "script/params_parser.h"

#include <string_view>
#include <unordered_map>
#include <utility>

namespace {

constexpr size_t npos = std::string::npos;

[[noreturn]] void SyntaxError() { throw EParamError("構文エラー"); }

bool IsNameChar(char C) {
    return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9') || C == '_';
}

bool IsBlank(char C) { return static_cast<uint8_t>(C) <= ' '; }

// Without the blanks (spaces and control characters) at both ends; no trail byte is one.
std::string Trimmed(std::string_view S) {
    size_t first = 0, last = S.size();
    while (first < last && IsBlank(S[first])) ++first;
    while (last > first && IsBlank(S[last - 1])) --last;
    return std::string(S.substr(first, last - first));
}

// Whether the first byte of Token is one of Chars (a token never begins with a trail byte).
bool BeginsWithAny(std::string_view Token, std::string_view Chars) {
    return !Token.empty() && Chars.find(Token[0]) != std::string_view::npos;
}

// The Close that matches the Open at Pos; npos when the text ends first.
size_t MatchingClose(std::string_view S, size_t Pos, char Open, char Close) {
    int depth = 0;
    for (size_t i = Pos; i < S.size(); i += CharSize(S, i)) {
        if (S[i] == Open)
            ++depth;
        else if (S[i] == Close && --depth == 0)
            return i;
    }
    return npos;
}

// "構文エラー" unless every Close has its Open before it, none stays open and no pair nests
// deeper than MaxExprNesting.
void CheckBalanced(std::string_view S, char Open, char Close) {
    int depth = 0;
    for (size_t i = 0; i < S.size(); i += CharSize(S, i)) {
        if (S[i] == Open && ++depth > MaxExprNesting) SyntaxError();
        if (S[i] == Close && --depth < 0) SyntaxError();
    }
    if (depth != 0) SyntaxError();
}

// The piece from Start to the Close matching the Open at Open; "構文エラー" when it is not closed.
TExprPiece PieceTo(const std::string& Text, size_t Start, size_t Open, char OpenChar, char CloseChar) {
    const size_t close = MatchingClose(Text, Open, OpenChar, CloseChar);
    if (close == npos) SyntaxError();
    return {Start, close + 1 - Start, Text.substr(Start, close + 1 - Start), Open - Start};
}

// The text before a piece's opening bracket and the text between its brackets, both trimmed.
std::string PieceName(const TExprPiece& Piece) { return Trimmed(std::string_view(Piece.Text).substr(0, Piece.Open)); }
std::string PieceInner(const TExprPiece& Piece) {
    return Trimmed(std::string_view(Piece.Text).substr(Piece.Open + 1, Piece.Length - Piece.Open - 2));
}

// The last "(" that is (AfterName) or is not preceded, spaces skipped, by a name character,
// with the start of that run of name characters. Nothing (Length 0) when there is none.
TExprPiece LastParen(const std::string& Text, bool AfterName) {
    size_t open = npos, start = npos;
    size_t runStart = npos;  // start of the name run the last non-space character ends
    bool inRun = false;      // the character just before is a name character
    for (size_t i = 0; i < Text.size(); i += CharSize(Text, i)) {
        const char c = Text[i];
        if (CharSize(Text, i) == 1 && IsNameChar(c)) {
            if (!inRun) runStart = i;
            inRun = true;
            continue;
        }
        inRun = false;
        if (c == ' ') continue;
        if (c == '(' && (runStart != npos) == AfterName) {
            open = i;
            start = AfterName ? runStart : i;
        }
        runStart = npos;
    }
    if (open == npos) return {};
    return PieceTo(Text, start, open, '(', ')');
}

// Splits at every "," outside square brackets; each piece trimmed. "構文エラー" for a "]" without
// its "[" or a "[" left open.
std::vector<std::string> SplitArguments(const std::string& Text) {
    std::vector<std::string> pieces;
    int depth = 0;
    size_t start = 0;
    for (size_t i = 0; i < Text.size(); i += CharSize(Text, i)) {
        if (Text[i] == '[') ++depth;
        if (Text[i] == ']' && --depth < 0) SyntaxError();
        if (Text[i] == ',' && depth == 0) {
            pieces.push_back(Trimmed(std::string_view(Text).substr(start, i - start)));
            start = i + 1;
        }
    }
    if (depth != 0) SyntaxError();
    pieces.push_back(Trimmed(std::string_view(Text).substr(start)));
    return pieces;
}

// ---- Tokens ----

// The characters that split the flat text into tokens.
bool IsTokenOperatorChar(char C) { return std::string_view("%&*+-/<=>^|").find(C) != std::string_view::npos; }

bool IsTwoCharOperator(std::string_view S) {
    for (const char* op : {"==", ">=", "<=", "++", "<>", "<<", ">>"})
        if (S == op) return true;
    return false;
}

std::vector<std::string> Tokenize(const std::string& Text) {
    std::vector<std::string> tokens;
    auto addOperand = [&](size_t From, size_t To) {
        std::string token = Trimmed(std::string_view(Text).substr(From, To - From));
        if (!token.empty()) tokens.push_back(std::move(token));
    };
    size_t start = 0;
    for (size_t i = 0; i < Text.size();) {
        if (CharSize(Text, i) == 2 || !IsTokenOperatorChar(Text[i])) {
            i += CharSize(Text, i);
            continue;
        }
        addOperand(start, i);
        const size_t length = IsTwoCharOperator(std::string_view(Text).substr(i, 2)) ? 2 : 1;
        tokens.push_back(Text.substr(i, length));
        i += length;
        start = i;
    }
    addOperand(start, Text.size());
    return tokens;
}

struct TOperator {
    std::string_view Text;
    TOpCode Code;
    int Level;  // reduced level by level, 1 first
};
constexpr TOperator kOperators[] = {
    {"*", ocMul, 1},     {"/", ocDiv, 1},     {"%", ocMod, 1},     {"+", ocPlus, 2},      {"-", ocMinus, 2},
    {"<<", ocShiftL, 3}, {">>", ocShiftR, 3}, {"==", ocEqual, 4},  {">=", ocEBig, 4},     {"<=", ocESmall, 4},
    {">", ocBig, 4},     {"<", ocSmall, 4},   {"<>", ocNEqual, 4}, {"++", ocComboStr, 5}, {"&", ocAnd, 6},
    {"^", ocXor, 7},     {"|", ocOr, 8},      {"=", ocTo, 9},
};
constexpr int kLevels = 9;

const TOperator* OperatorOf(std::string_view Token) {
    for (const TOperator& op : kOperators)
        if (op.Text == Token) return &op;
    return nullptr;
}

// A copy from one value temporary to another, which RemoveCopies takes out.
bool IsTempCopy(const TBuildOpeData& Op) {
    if (Op.Code != ocTo || Op.Args.empty()) return false;
    for (const std::string* name : {&Op.Dest, &Op.Args[0]})
        if (!name->starts_with(ExprTempPrefix) || name->starts_with(ExprElementPrefix) || *name == ExprResultName)
            return false;
    return true;
}

// Counts the nesting of CompileText; one level deeper than MaxExprNesting is refused with
// "構文エラー", so no text can exhaust the stack.
class TDepthGuard {
public:
    explicit TDepthGuard(int& Depth) : depth_(Depth) {
        if (++depth_ > MaxExprNesting) {
            --depth_;
            SyntaxError();
        }
    }
    ~TDepthGuard() { --depth_; }
    TDepthGuard(const TDepthGuard&) = delete;
    TDepthGuard& operator=(const TDepthGuard&) = delete;

private:
    int& depth_;
};

}  // namespace

// ---- Text helpers ----

bool IsExprOperatorChar(char C) { return std::string_view("+-*/%|&^=[](),<>").find(C) != std::string_view::npos; }

bool HasExprOperator(const std::string& Text) {
    for (size_t i = 0; i < Text.size(); i += CharSize(Text, i))
        if (CharSize(Text, i) == 1 && IsExprOperatorChar(Text[i])) return true;
    return false;
}

TExprPiece ExtractStringLiteral(const std::string& Text, size_t From) {
    size_t quote = From;
    while (quote < Text.size() && Text[quote] != '"') quote += CharSize(Text, quote);
    if (quote >= Text.size()) return {};
    std::string literal = "\"";
    for (size_t i = quote + 1; i < Text.size();) {
        const size_t size = CharSize(Text, i);
        if (size == 1 && Text[i] == '"') {
            literal += '"';
            return {quote, i + 1 - quote, std::move(literal), 0};
        }
        if (size == 1 && Text[i] == '\\' && i + 1 < Text.size()) {
            const size_t next = CharSize(Text, i + 1);
            const char c = next == 1 ? Text[i + 1] : '\0';
            if (c == '"' || c == '\\')
                literal += c;
            else if (c == 'n')
                literal += "\r\n";
            else
                literal.append(Text, i, 1 + next);
            i += 1 + next;
            continue;
        }
        literal.append(Text, i, size);
        i += size;
    }
    return {};
}

TExprPiece FindFunctionCall(const std::string& Text) {
    CheckBalanced(Text, '(', ')');
    return LastParen(Text, true);
}

TExprPiece FindGroupParen(const std::string& Text) { return LastParen(Text, false); }

TExprPiece FindArraySubscript(const std::string& Text) {
    CheckBalanced(Text, '[', ']');
    size_t open = npos, start = 0;
    bool operatorBefore = false;
    size_t wordStart = 0;        // start of the word the last non-space character belongs to
    bool inWord = false;         // the character just before belongs to a word
    bool afterOperator = false;  // the last non-space character is an operator character
    for (size_t i = 0; i < Text.size(); i += CharSize(Text, i)) {
        const char c = Text[i];
        if (c == ' ') {
            inWord = false;
        } else if (CharSize(Text, i) == 1 && IsExprOperatorChar(c)) {
            if (c == '[') {
                open = i;
                start = wordStart;
                operatorBefore = afterOperator;
            }
            inWord = false;
            afterOperator = true;
        } else {
            if (!inWord) wordStart = i;
            inWord = true;
            afterOperator = false;
        }
    }
    if (open == npos) return {};
    if (operatorBefore) SyntaxError();
    return PieceTo(Text, start, open, '[', ']');
}

std::string StripOuterParens(const std::string& Text) {
    std::string_view s = Text;
    while (s.size() >= 2 && s.front() == '(' && s.back() == ')' && MatchingClose(s, 0, '(', ')') == s.size() - 1)
        s = s.substr(1, s.size() - 2);
    return std::string(s);
}

// ---- TBuildVelaParser ----

TBuildOpeData& TBuildVelaParser::AddOperation() {
    auto op = std::make_unique<TBuildOpeData>();
    TBuildOpeData& added = *op;
    Add(std::move(op));
    return added;
}

void TBuildVelaParser::AddOperation(uint8_t Code, const std::string& Dest, std::vector<std::string> Args) {
    TBuildOpeData& op = AddOperation();
    op.Code = Code;
    op.Dest = Dest;
    op.Args = std::move(Args);
}

std::string TBuildVelaParser::NewTempName() { return Format("____%d", tempCounter_++); }

std::string TBuildVelaParser::NewElementTempName() { return Format("____d_%d", tempCounter_++); }

void TBuildVelaParser::Build(const std::string& Text) {
    CompileText(Text);
    RemoveCopies();
}

void TBuildVelaParser::CompileText(const std::string& Text) {
    TDepthGuard guard(depth_);
    std::string work = Text;
    ReplaceStringLiterals(work);
    ReplaceFunctionCalls(work);
    ReplaceArrayElements(work);
    ReplaceGroups(work);
    CompileTokens(work);
}

void TBuildVelaParser::ReplaceStringLiterals(std::string& Text) {
    // Text before a replaced literal holds no quote, so each search goes on after the last.
    for (TExprPiece literal = ExtractStringLiteral(Text); literal.Length > 0;) {
        const std::string temp = NewTempName();
        AddOperation(ocTo, temp, {literal.Text});
        Text.replace(literal.Pos, literal.Length, temp);
        literal = ExtractStringLiteral(Text, literal.Pos + temp.size());
    }
}

void TBuildVelaParser::ReplaceFunctionCalls(std::string& Text) {
    for (TExprPiece call = FindFunctionCall(Text); call.Length > 0; call = FindFunctionCall(Text)) {
        const std::string temp = NewTempName();
        Text.replace(call.Pos, call.Length, temp);
        std::vector<std::string> operands{PieceName(call)};
        const std::string args = PieceInner(call);
        if (!args.empty())
            for (const std::string& arg : SplitArguments(args)) operands.push_back(PrepareOperand(arg));
        AddOperation(ocFunc, temp, std::move(operands));
    }
}

void TBuildVelaParser::ReplaceArrayElements(std::string& Text) {
    for (TExprPiece element = FindArraySubscript(Text); element.Length > 0; element = FindArraySubscript(Text)) {
        const std::string temp = NewElementTempName();
        Text.replace(element.Pos, element.Length, temp);
        std::vector<std::string> operands{PieceName(element)};
        const std::string indices = PieceInner(element);
        if (indices.empty()) throw EParamError("配列の添え字が不正です");
        for (const std::string& index : SplitArguments(indices)) operands.push_back(PrepareOperand(index));
        AddOperation(ocDimTo, temp, std::move(operands));
    }
}

void TBuildVelaParser::ReplaceGroups(std::string& Text) {
    for (TExprPiece group = FindGroupParen(Text); group.Length > 0; group = FindGroupParen(Text)) {
        const std::string temp = NewTempName();
        Text.replace(group.Pos, group.Length, temp);
        CompileText(temp + " = " + PieceInner(group));
    }
}

std::string TBuildVelaParser::PrepareOperand(const std::string& Text) {
    std::string operand = StripOuterParens(Text);
    if (!HasExprOperator(operand)) return operand;
    std::string temp = NewTempName();
    CompileText(temp + " = " + operand);
    return temp;
}

void TBuildVelaParser::CompileTokens(const std::string& Text) {
    std::vector<std::string> tokens = Tokenize(Text);
    if (tokens.empty()) {
        AddOperation(ocTo, ExprResultName, {Text});
        return;
    }

    // Signs: a "+" or "-" after an operator, from the second-to-last token down to the second.
    // The token after a sign is the next one not deleted.
    std::vector<bool> deleted(tokens.size());
    size_t next = tokens.size() - 1;
    for (size_t i = tokens.size() - 1; i-- > 1;) {
        if ((tokens[i] == "+" || tokens[i] == "-") && BeginsWithAny(tokens[i - 1], "=+-*/%&^|[(,<>")) {
            if (tokens[i] == "-") {
                const std::string temp = NewTempName();
                AddOperation(ocMinus, temp, {"0", tokens[next]});
                tokens[next] = temp;
            }
            deleted[i] = true;
            continue;
        }
        next = i;
    }
    std::vector<std::string> remaining;
    for (size_t i = 0; i < tokens.size(); ++i)
        if (!deleted[i]) remaining.push_back(std::move(tokens[i]));
    tokens = std::move(remaining);

    // Operators level by level, each level from left to right.
    bool assigned = false;
    for (int level = 1; level <= kLevels; ++level) {
        std::vector<std::string> reduced;
        for (size_t i = 0; i < tokens.size();) {
            const TOperator* op = OperatorOf(tokens[i]);
            if (!op || op->Level != level) {
                reduced.push_back(std::move(tokens[i++]));
                continue;
            }
            if (i + 1 >= tokens.size()) SyntaxError();  // nothing after the operator
            const std::string& after = tokens[i + 1];
            if (op->Code == ocTo) {
                if (reduced.empty()) SyntaxError();
                AddOperation(ocTo, reduced.back(), {after});
                reduced.pop_back();
                assigned = true;
            } else if (reduced.empty()) {
                if (op->Code != ocPlus && op->Code != ocMinus) SyntaxError();
                const std::string temp = NewTempName();
                AddOperation(op->Code, temp, {"0", after});
                reduced.push_back(temp);
            } else {
                if (BeginsWithAny(reduced.back(), "+-*/%|&^=[(<>")) SyntaxError();
                const std::string temp = NewTempName();
                AddOperation(op->Code, temp, {reduced.back(), after});
                reduced.back() = temp;
            }
            i += 2;
        }
        tokens = std::move(reduced);
    }
    if (tokens.empty()) return;
    if (assigned || tokens.size() > 1) SyntaxError();
    AddOperation(ocTo, ExprResultName, {tokens[0]});
}

void TBuildVelaParser::RemoveCopies() {
    // Each removed copy renames its destination to its operand in every later operation; the
    // renames accumulate, applied in the order they were made.
    std::unordered_map<std::string, std::string> renamed;
    auto rename = [&renamed](std::string& Name) {
        for (auto found = renamed.find(Name); found != renamed.end(); found = renamed.find(Name)) Name = found->second;
    };
    for (int i = 0; i < Count();) {
        TBuildOpeData& op = GetOperation(i);
        rename(op.Dest);
        for (std::string& arg : op.Args) rename(arg);
        if (!IsTempCopy(op)) {
            ++i;
            continue;
        }
        if (op.Dest != op.Args[0]) renamed[op.Dest] = op.Args[0];
        Delete(i);
    }
}

void TBuildVelaParser::SaveToStream(TStream& Stream) const {
    WriteStreamInt(Stream, Count());
    for (int i = 0; i < Count(); ++i) GetOperation(i).SaveToStream(Stream);
}

// ---- Stored form and checking ----

void TBuildOpeData::SaveToStream(TStream& Stream) const {
    TOpeData op;
    op.Code = Code;
    op.Dest = Dest;
    auto operand = Args.begin();
    if (Code == ocFunc) {
        // The function name, whatever it looks like; a call without one names no function.
        const std::string name = Args.empty() ? std::string() : Args.front();
        if (!FindSysFuncIndex(name, op.FuncIndex)) throw EParamError(Format("\"%s\" 関数名がありません", name.c_str()));
        const auto count = static_cast<int64_t>(Args.size()) - 1;
        const int32_t least = SysFuncMinArgs[op.FuncIndex], most = SysFuncMaxArgs[op.FuncIndex];
        if ((least >= 0 && count < least) || (most >= 0 && count > most))
            throw EParamError(name + " 引数の数が不正です");
        ++operand;
    }
    for (; operand != Args.end(); ++operand) op.Args.push_back(OperandValue(*operand));
    op.SaveToStream(Stream);
}

void CompileExpression(const std::string& Text, TVelaParser& Expression) {
    TBuildVelaParser compiler;
    compiler.Build(Text);
    TMemoryStream stream;
    compiler.SaveToStream(stream);
    stream.SetPosition(0);
    Expression.LoadFromStream(stream);
}

bool CheckExprSyntax(const std::string& Text) {
    const std::string text = Trimmed(Text);
    if (text.empty()) return false;
    try {
        TVelaParser expression;
        CompileExpression(text, expression);
        expression.Execute();
    } catch (const EVelaError&) {
        return false;
    }
    return true;
}
