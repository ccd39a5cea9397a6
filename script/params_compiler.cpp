// The expression compiler: textual rewriting of one expression into three-address operations.
#include "core/jstrm.h"
#include "core/sysutils.h"
#include "script/params_parser.h"

#include <algorithm>
#include <array>
#include <charconv>
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
std::string_view TrimmedView(std::string_view S) {
    size_t first = 0, last = S.size();
    while (first < last && IsBlank(S[first])) ++first;
    while (last > first && IsBlank(S[last - 1])) --last;
    return S.substr(first, last - first);
}
std::string Trimmed(std::string_view S) { return std::string(TrimmedView(S)); }

// A set of characters, each tested in one step.
class TCharSet {
public:
    constexpr explicit TCharSet(std::string_view Chars) {
        for (const char c : Chars) has_[static_cast<uint8_t>(c)] = true;
    }
    bool Has(char C) const { return has_[static_cast<uint8_t>(C)]; }

private:
    std::array<bool, 256> has_{};
};

// Whether S holds the byte C anywhere. For the ASCII characters the passes below look for, none
// found means none stands as a character either, and the pass has nothing to do.
bool HasByte(std::string_view S, char C) { return S.find(C) != std::string_view::npos; }

// Prefix followed by N in decimal.
std::string NumberedName(std::string_view Prefix, int32_t N) {
    char digits[16];
    const char* end = std::to_chars(digits, digits + sizeof digits, N).ptr;
    std::string name(Prefix);
    name.append(digits, static_cast<size_t>(end - digits));
    return name;
}

// The Close that matches the Open at Pos in S (a string_view, or a TBackRewrite below); npos
// when the text ends first.
template <class TText>
size_t MatchingClose(const TText& S, size_t Pos, char Open, char Close) {
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

// The text before a piece's opening bracket and the text between its brackets, both trimmed.
std::string PieceName(const TExprPiece& Piece) { return Trimmed(std::string_view(Piece.Text).substr(0, Piece.Open)); }
std::string PieceInner(const TExprPiece& Piece) {
    return Trimmed(std::string_view(Piece.Text).substr(Piece.Open + 1, Piece.Length - Piece.Open - 2));
}

// A text that pieces are cut out of, each replaced by a name, every cut beginning at or before
// where the one before it began: the text in front of the last cut is still the original, and
// only the rest is new. The rest is kept reversed, so that cutting off its head and putting a
// name in front cost only their lengths, and a whole rewrite takes time in proportion to the
// text and the names.
class TBackRewrite {
public:
    explicit TBackRewrite(const std::string& Text) : text_(Text), kept_(Text.size()) {}
    size_t size() const { return kept_ + rest_.size(); }
    char operator[](size_t I) const { return I < kept_ ? text_[I] : rest_[size() - 1 - I]; }
    // The piece from Start (at most where the last cut began) to the Close matching the Open at
    // Open, which Name then replaces; "構文エラー" when it is not closed.
    TExprPiece Cut(size_t Start, size_t Open, char OpenChar, char CloseChar, const std::string& Name);
    std::string Text() const { return text_.substr(0, kept_) + std::string(rest_.rbegin(), rest_.rend()); }

private:
    const std::string& text_;
    size_t kept_;       // the bytes of the original still in front
    std::string rest_;  // the text after them, reversed
};

// Bytes of the character at I of the rewritten text, as CharSize counts them in a string.
using ::CharSize;
size_t CharSize(const TBackRewrite& S, size_t I) {
    const char bytes[2] = {S[I], '\0'};
    return ::CharSize(std::string_view(bytes, I + 1 < S.size() ? 2 : 1), 0);
}

TExprPiece TBackRewrite::Cut(size_t Start, size_t Open, char OpenChar, char CloseChar, const std::string& Name) {
    const size_t close = MatchingClose(*this, Open, OpenChar, CloseChar);
    if (close == npos) SyntaxError();
    const size_t end = close + 1;
    std::string piece(end - Start, '\0');
    for (size_t i = Start; i < end; ++i) piece[i - Start] = (*this)[i];
    if (end <= kept_)  // the original between the piece and the rest joins the rest
        rest_.append(text_.rbegin() + static_cast<ptrdiff_t>(text_.size() - kept_),
                     text_.rbegin() + static_cast<ptrdiff_t>(text_.size() - end));
    else  // the piece runs into the rest
        rest_.resize(rest_.size() - (end - kept_));
    rest_.append(Name.rbegin(), Name.rend());
    kept_ = Start;
    return {Start, end - Start, std::move(piece), Open - Start};
}

// An opening parenthesis or bracket with where its piece begins (the name before it) and, for
// "[", whether an operator character stands before it (spaces skipped).
struct TOpening {
    size_t Open = 0;
    size_t Start = 0;
    bool OperatorBefore = false;
};

// Every "(" that is (AfterName) or is not preceded, spaces skipped, by a name character (ASCII
// letter, digit or "_"), first to last; after a name its piece begins at that run of name
// characters.
std::vector<TOpening> Parens(const std::string& Text, bool AfterName) {
    std::vector<TOpening> found;
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
        if (c == '(' && (runStart != npos) == AfterName) found.push_back({i, AfterName ? runStart : i});
        runStart = npos;
    }
    return found;
}

// Every "[", first to last; its piece begins at the name before it, back to the previous space
// or operator character, spaces before "[" skipped.
std::vector<TOpening> Brackets(const std::string& Text) {
    std::vector<TOpening> found;
    size_t wordStart = 0;        // start of the word the last non-space character belongs to
    bool inWord = false;         // the character just before belongs to a word
    bool afterOperator = false;  // the last non-space character is an operator character
    for (size_t i = 0; i < Text.size(); i += CharSize(Text, i)) {
        const char c = Text[i];
        if (c == ' ') {
            inWord = false;
        } else if (CharSize(Text, i) == 1 && IsExprOperatorChar(c)) {
            if (c == '[') found.push_back({i, wordStart, afterOperator});
            inWord = false;
            afterOperator = true;
        } else {
            if (!inWord) wordStart = i;
            inWord = true;
            afterOperator = false;
        }
    }
    return found;
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

// The index in kOperators of each one-character operator by its character, -1 for any other
// ASCII character. Their characters are those that split the flat text into tokens.
constexpr std::array<int8_t, 128> kCharOperators = [] {
    std::array<int8_t, 128> table{};
    table.fill(-1);
    for (size_t k = 0; k < std::size(kOperators); ++k)
        if (kOperators[k].Text.size() == 1) table[static_cast<size_t>(kOperators[k].Text[0])] = static_cast<int8_t>(k);
    return table;
}();

int8_t CharOperator(char C) {
    const auto c = static_cast<uint8_t>(C);
    return c < kCharOperators.size() ? kCharOperators[c] : -1;
}
bool IsTokenOperatorChar(char C) { return CharOperator(C) >= 0; }

// The operator at I of Text, which holds an operator character there (its index in
// kOperators): the two-character operator when the next byte makes one (its second character
// is an operator character too), else the one character's.
int8_t OperatorAt(std::string_view Text, size_t I) {
    if (I + 1 < Text.size() && IsTokenOperatorChar(Text[I + 1]))
        for (size_t k = 0; k < std::size(kOperators); ++k)
            if (kOperators[k].Text == Text.substr(I, 2)) return static_cast<int8_t>(k);
    return CharOperator(Text[I]);
}

// A token of the flat text: an operator, an operand as written, or the temporary that took an
// operand's place (by its number).
struct TToken {
    std::string_view Text;  // as written, for an operator or an operand
    int32_t Temp = -1;
    int8_t Op = -1;  // the operator's index in kOperators
    bool Deleted = false;

    static TToken Temporary(int32_t N) { return {{}, N}; }
    const TOperator* Operator() const { return Op >= 0 ? &kOperators[Op] : nullptr; }
    // Whether its first byte is one of Chars (a token never begins with a trail byte).
    bool BeginsWithAny(const TCharSet& Chars) const {
        return Temp >= 0 ? Chars.Has(ExprTempPrefix[0]) : !Text.empty() && Chars.Has(Text[0]);
    }
};

// The tokens of the flat Text, which they point into; operands trimmed, empty ones left out.
std::vector<TToken> Tokenize(std::string_view Text) {
    // Room for them all at once: every operator stands on an operator byte, with at most one
    // operand before it.
    const auto operatorBytes = static_cast<size_t>(std::count_if(Text.begin(), Text.end(), IsTokenOperatorChar));
    std::vector<TToken> tokens;
    tokens.reserve(2 * operatorBytes + 1);
    auto addOperand = [&](size_t From, size_t To) {
        const std::string_view operand = TrimmedView(Text.substr(From, To - From));
        if (!operand.empty()) tokens.push_back({operand});
    };
    size_t start = 0;
    for (size_t i = 0; i < Text.size();) {
        const size_t size = CharSize(Text, i);
        if (size == 2 || !IsTokenOperatorChar(Text[i])) {
            i += size;
            continue;
        }
        addOperand(start, i);
        const int8_t op = OperatorAt(Text, i);
        tokens.push_back({kOperators[op].Text, -1, op});
        i += kOperators[op].Text.size();
        start = i;
    }
    addOperand(start, Text.size());
    return tokens;
}

// What a sign stands after, and what no operand of a binary operator begins with.
constexpr TCharSet kBeforeSign("=+-*/%&^|[(,<>");
constexpr TCharSet kNoOperand("+-*/%|&^=[(<>");

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

std::string StripOuterParens(const std::string& Text) {
    std::string_view s = Text;
    while (s.size() >= 2 && s.front() == '(' && s.back() == ')' && MatchingClose(s, 0, '(', ')') == s.size() - 1)
        s = s.substr(1, s.size() - 2);
    return std::string(s);
}

// ---- TBuildVelaParser ----

TBuildVelaParser::TName TBuildVelaParser::Keep(std::string_view Text) {
    // Offsets fit 32 bits: no text the memory budget lets a title make comes near.
    if (names_.size() + Text.size() > UINT32_MAX) SyntaxError();
    const TName name{static_cast<uint32_t>(names_.size()), static_cast<uint32_t>(Text.size())};
    names_.append(Text);
    return name;
}

const std::string& TBuildVelaParser::Spelled(const TName& Name, std::string& Buffer) const {
    if (Name.Temp >= 0)
        Buffer = NumberedName(ExprTempPrefix, Name.Temp);
    else
        Buffer.assign(names_, Name.Offset, Name.Length);
    return Buffer;
}

bool TBuildVelaParser::IsValueTemp(const TName& Name) const {
    if (Name.Temp >= 0) return true;
    const std::string_view text = std::string_view(names_).substr(Name.Offset, Name.Length);
    return text.starts_with(ExprTempPrefix) && !text.starts_with(ExprElementPrefix) && text != ExprResultName;
}

bool TBuildVelaParser::IsTempCopy(const TOp& Op) const {
    return Op.Code == ocTo && Op.Count > 0 && IsValueTemp(Op.Dest) && IsValueTemp(operands_[Op.First]);
}

void TBuildVelaParser::AddOperation(uint8_t Code, TName Dest, std::span<const TName> Args) {
    ops_.push_back({Code, Dest, static_cast<uint32_t>(operands_.size()), static_cast<uint32_t>(Args.size())});
    operands_.insert(operands_.end(), Args.begin(), Args.end());
}

void TBuildVelaParser::ReserveOperations(size_t N) {
    const auto reserve = [](auto& List, size_t Needed) {
        if (Needed > List.capacity()) List.reserve(std::max(Needed, 2 * List.capacity()));
    };
    reserve(ops_, ops_.size() + N);
    reserve(operands_, operands_.size() + 2 * N);
}

TBuildOpeData TBuildVelaParser::GetOperation(int Index) const {
    if (Index < 0 || Index >= Count()) RaiseListIndexError(Index);
    const TOp& op = ops_[static_cast<size_t>(Index)];
    TBuildOpeData data;
    data.Code = op.Code;
    Spelled(op.Dest, data.Dest);
    for (uint32_t i = 0; i < op.Count; ++i) Spelled(operands_[op.First + i], data.Args.emplace_back());
    return data;
}

std::string TBuildVelaParser::NewTempName() { return NumberedName(ExprTempPrefix, tempCounter_++); }

std::string TBuildVelaParser::NewElementTempName() { return NumberedName(ExprElementPrefix, tempCounter_++); }

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
    // Left to right, into a new text; each search goes on after the literal replaced.
    if (!HasByte(Text, '"')) return;
    std::string replaced;
    size_t from = 0;
    for (TExprPiece literal = ExtractStringLiteral(Text); literal.Length > 0;
         literal = ExtractStringLiteral(Text, from)) {
        const std::string temp = NewTempName();
        AddOperation(ocTo, Keep(temp), {Keep(literal.Text)});
        replaced.append(Text, from, literal.Pos - from).append(temp);
        from = literal.Pos + literal.Length;
    }
    if (from > 0) Text = replaced.append(Text, from);
}

void TBuildVelaParser::ReplaceFunctionCalls(std::string& Text) {
    // The call whose "(" stands last among those after a name first, from its name to the
    // matching ")". A call's temporary followed by "(" (spaces between) makes that "(" the last
    // one after a name.
    if (!HasByte(Text, '(') && !HasByte(Text, ')')) return;
    CheckBalanced(Text, '(', ')');
    std::vector<TOpening> calls = Parens(Text, true);
    TBackRewrite text(Text);
    while (!calls.empty()) {
        const TOpening call = calls.back();
        calls.pop_back();
        const std::string temp = NewTempName();
        const TExprPiece piece = text.Cut(call.Start, call.Open, '(', ')', temp);
        size_t after = call.Start + temp.size();
        while (after < text.size() && text[after] == ' ') ++after;
        if (after < text.size() && text[after] == '(') calls.push_back({after, call.Start});
        std::vector<TName> operands{Keep(PieceName(piece))};
        const std::string args = PieceInner(piece);
        if (!args.empty())
            for (const std::string& arg : SplitArguments(args)) operands.push_back(Keep(PrepareOperand(arg)));
        AddOperation(ocFunc, Keep(temp), operands);
    }
    Text = text.Text();
}

void TBuildVelaParser::ReplaceArrayElements(std::string& Text) {
    // The element whose "[" stands last first, from its name to the matching "]"; an operator
    // character before that "[" is refused.
    if (!HasByte(Text, '[') && !HasByte(Text, ']')) return;
    CheckBalanced(Text, '[', ']');
    const std::vector<TOpening> elements = Brackets(Text);
    TBackRewrite text(Text);
    for (auto element = elements.rbegin(); element != elements.rend(); ++element) {
        if (element->OperatorBefore) SyntaxError();
        const std::string temp = NewElementTempName();
        const TExprPiece piece = text.Cut(element->Start, element->Open, '[', ']', temp);
        std::vector<TName> operands{Keep(PieceName(piece))};
        const std::string indices = PieceInner(piece);
        if (indices.empty()) throw EParamError("配列の添え字が不正です");
        for (const std::string& index : SplitArguments(indices)) operands.push_back(Keep(PrepareOperand(index)));
        AddOperation(ocDimTo, Keep(temp), operands);
    }
    Text = text.Text();
}

void TBuildVelaParser::ReplaceGroups(std::string& Text) {
    // The group whose "(" stands last among those not after a name first, to its matching ")".
    if (!HasByte(Text, '(')) return;
    const std::vector<TOpening> groups = Parens(Text, false);
    TBackRewrite text(Text);
    for (auto group = groups.rbegin(); group != groups.rend(); ++group) {
        const std::string temp = NewTempName();
        const TExprPiece piece = text.Cut(group->Open, group->Open, '(', ')', temp);
        CompileText(temp + " = " + PieceInner(piece));
    }
    Text = text.Text();
}

std::string TBuildVelaParser::PrepareOperand(const std::string& Text) {
    std::string operand = StripOuterParens(Text);
    if (!HasExprOperator(operand)) return operand;
    std::string temp = NewTempName();
    CompileText(temp + " = " + operand);
    return temp;
}

void TBuildVelaParser::CompileTokens(const std::string& Text) {
    std::vector<TToken> tokens = Tokenize(Text);
    if (tokens.empty()) {
        AddOperation(ocTo, Keep(ExprResultName), {Keep(Text)});
        return;
    }
    // The levels the operators stand for, and room for an operation per operator and the result.
    bool present[kLevels + 1] = {};
    size_t operators = 0;
    for (const TToken& token : tokens)
        if (const TOperator* op = token.Operator()) {
            present[op->Level] = true;
            ++operators;
        }
    ReserveOperations(operators + 1);

    // Signs: a "+" or "-" after an operator, from the second-to-last token down to the second.
    // The token after a sign is the next one not deleted. A level whose operators were all
    // signs stays marked present: its pass then finds nothing to reduce.
    const auto name = [this](const TToken& Token) { return Token.Temp >= 0 ? Temp(Token.Temp) : Keep(Token.Text); };
    const auto signOf = [](const TToken& Token) {
        const TOperator* op = Token.Operator();
        return op && (op->Code == ocPlus || op->Code == ocMinus) ? op : nullptr;
    };
    bool deleted = false;
    size_t next = tokens.size() - 1;
    for (size_t i = tokens.size() - 1; i-- > 1;) {
        const TOperator* sign = signOf(tokens[i]);
        if (sign && tokens[i - 1].BeginsWithAny(kBeforeSign)) {
            if (sign->Code == ocMinus) {
                const TToken temp = TToken::Temporary(tempCounter_++);
                AddOperation(ocMinus, Temp(temp.Temp), {Keep("0"), name(tokens[next])});
                tokens[next] = temp;
            }
            tokens[i].Deleted = deleted = true;
            continue;
        }
        next = i;
    }
    if (deleted) std::erase_if(tokens, [](const TToken& Token) { return Token.Deleted; });

    // Operators level by level, each level from left to right; a level none of the tokens
    // stands for is passed over (no operator token is ever made). Each level reduces the tokens
    // in place: those before kept are what the level left.
    bool assigned = false;
    for (int level = 1; level <= kLevels; ++level) {
        if (!present[level]) continue;
        size_t kept = 0;
        for (size_t i = 0; i < tokens.size();) {
            const TOperator* op = tokens[i].Operator();
            if (!op || op->Level != level) {
                tokens[kept++] = tokens[i++];
                continue;
            }
            if (i + 1 >= tokens.size()) SyntaxError();  // nothing after the operator
            const TToken after = tokens[i + 1];
            if (op->Code == ocTo) {
                if (kept == 0) SyntaxError();
                --kept;
                AddOperation(ocTo, name(tokens[kept]), {name(after)});
                assigned = true;
            } else if (kept == 0) {
                if (op->Code != ocPlus && op->Code != ocMinus) SyntaxError();
                const TToken temp = TToken::Temporary(tempCounter_++);
                AddOperation(op->Code, Temp(temp.Temp), {Keep("0"), name(after)});
                tokens[kept++] = temp;
            } else {
                TToken& before = tokens[kept - 1];
                if (before.BeginsWithAny(kNoOperand)) SyntaxError();
                const TToken temp = TToken::Temporary(tempCounter_++);
                AddOperation(op->Code, Temp(temp.Temp), {name(before), name(after)});
                before = temp;
            }
            i += 2;
        }
        tokens.resize(kept);
    }
    if (tokens.empty()) return;
    if (assigned || tokens.size() > 1) SyntaxError();
    AddOperation(ocTo, Keep(ExprResultName), {name(tokens[0])});
}

void TBuildVelaParser::RemoveCopies() {
    // Each removed copy renames its destination to its operand in every later operation; the
    // renames accumulate, applied in the order they were made. The kept operations close up in
    // the same pass.
    std::unordered_map<std::string, TName> renamed;
    std::string spelled, other;
    auto rename = [&](TName& Name) {
        if (renamed.empty()) return;
        for (auto found = renamed.find(Spelled(Name, spelled)); found != renamed.end();
             found = renamed.find(Spelled(Name, spelled)))
            Name = found->second;
    };
    size_t kept = 0;
    for (size_t i = 0; i < ops_.size(); ++i) {
        TOp& op = ops_[i];
        rename(op.Dest);
        for (uint32_t a = 0; a < op.Count; ++a) rename(operands_[op.First + a]);
        if (!IsTempCopy(op))
            ops_[kept++] = op;
        else if (Spelled(op.Dest, spelled) != Spelled(operands_[op.First], other))
            renamed[spelled] = operands_[op.First];
    }
    ops_.resize(kept);
}

uint8_t TBuildVelaParser::FunctionOf(const TOp& Op, std::string& Buffer) const {
    // The function name, whatever it looks like; a call without one names no function.
    const std::string name = Op.Count ? Spelled(operands_[Op.First], Buffer) : std::string();
    uint8_t index = 0;
    if (!FindSysFuncIndex(name, index)) throw EParamError(Format("\"%s\" 関数名がありません", name.c_str()));
    const int64_t count = int64_t(Op.Count) - 1;
    const int32_t least = SysFuncMinArgs[index], most = SysFuncMaxArgs[index];
    if ((least >= 0 && count < least) || (most >= 0 && count > most)) throw EParamError(name + " 引数の数が不正です");
    return index;
}

void TBuildVelaParser::SaveToStream(TStream& Stream) const {
    WriteStreamInt(Stream, Count());
    EachOperation(
        [&Stream](uint8_t Code, const std::string& Dest, size_t Count, uint8_t FuncIndex) {
            WriteOperationHead(Stream, Code, Dest, Count, FuncIndex);
        },
        [&Stream](const std::string& Text) { WriteOperandText(Stream, Text); });
}

// ---- Stored form and checking ----

void CompileExpression(const std::string& Text, TVelaParser& Expression) {
    TBuildVelaParser compiler;
    compiler.Build(Text);
    Expression.SetOperations(compiler);
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
