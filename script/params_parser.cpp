// Compiled expressions: their stored form and their run against the variable table.
#include "script/params_parser.h"

#include "core/diskbudget.h"
#include "core/sysutils.h"
#include "platform/clock.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>
#include <typeinfo>
#include <unordered_map>
#include <utility>

namespace {

// The least bytes of a stored operation (code, destination length, operand count) and of a
// stored operand (kind and a flag byte).
constexpr int64_t kMinOperation = 9;
constexpr int64_t kMinOperand = 2;

// The function whose temporary takes the type of the property it reads.
constexpr uint8_t kGetProp = 2;

TParamCollection& Vars() {
    if (!ParamMan) throw EParamError("内部エラー");
    return *ParamMan;
}

TParamVar* AsReference(const std::unique_ptr<TCustomParam>& Value) { return dynamic_cast<TParamVar*>(Value.get()); }

std::unique_ptr<TCustomParam> IntValue(int32_t V) {
    auto value = std::make_unique<TParamInt>();
    value->SetInt(V);
    return value;
}
std::unique_ptr<TCustomParam> FloatValue(long double V) {
    auto value = std::make_unique<TParamFloat>();
    value->SetFloat(V);
    return value;
}
std::unique_ptr<TCustomParam> FlagValue(bool V) {
    auto value = std::make_unique<TParamFlag>();
    value->SetBool(V);
    return value;
}
std::unique_ptr<TCustomParam> StrValue(const std::string& V) {
    auto value = std::make_unique<TParamStr>();
    value->SetStr(V);
    return value;
}

// A new value of Source's class holding a copy of its constant, or of its name for a reference.
std::unique_ptr<TCustomParam> CopyOperand(const TCustomParam& Source) {
    if (const auto* reference = dynamic_cast<const TParamVar*>(&Source))
        return std::make_unique<TParamVar>(reference->TargetName());
    std::unique_ptr<TCustomParam> copy = CreateParam(Source.ParamType());
    copy->CopyFrom(Source);
    return copy;
}

// The fields of the stored form read through a stream.
class TStreamFields {
public:
    explicit TStreamFields(TStream& Stream) : stream_(Stream) {}
    uint8_t Byte() { return ReadStreamByte(stream_); }
    int32_t Int() { return ReadStreamInt(stream_); }
    long double Extended() { return ReadStreamExtended(stream_); }
    std::string String() { return ReadStreamString(stream_); }
    int32_t Count(int32_t Count, int64_t MinElementSize) { return CheckStreamCount(stream_, Count, MinElementSize); }

private:
    TStream& stream_;
};

// The same fields read straight from the bytes of a memory stream, from its position; the
// position moves past what was read, the read failing or not.
class TMemoryFields {
public:
    explicit TMemoryFields(TMemoryStream& Stream)
        : stream_(Stream),
          start_(Stream.Memory() + std::clamp<int64_t>(Stream.Position(), 0, Stream.Size())),
          at_(start_),
          end_(Stream.Memory() + Stream.Size()) {}
    ~TMemoryFields() { stream_.SetPosition(stream_.Position() + (at_ - start_)); }
    TMemoryFields(const TMemoryFields&) = delete;
    TMemoryFields& operator=(const TMemoryFields&) = delete;

    uint8_t Byte() { return *Take(1); }
    int32_t Int() {
        int32_t value;
        std::memcpy(&value, Take(4), 4);
        return value;
    }
    long double Extended() {
        long double value = 0;
        std::memcpy(&value, Take(10), 10);
        return value;
    }
    std::string_view String() {
        const auto size = static_cast<size_t>(Count(Int(), 1));
        return {reinterpret_cast<const char*>(Take(size)), size};
    }
    int32_t Count(int32_t Count, int64_t MinElementSize) {
        if (Count < 0 || Count > (end_ - at_) / std::max<int64_t>(MinElementSize, 1)) throw EReadError();
        return Count;
    }

private:
    const uint8_t* Take(size_t Size) {
        if (static_cast<size_t>(end_ - at_) < Size) throw EReadError();
        const uint8_t* field = at_;
        at_ += Size;
        return field;
    }

    TMemoryStream& stream_;
    const uint8_t* const start_;
    const uint8_t* at_;
    const uint8_t* const end_;
};

void WriteOperand(TStream& Stream, const TCustomParam& Value) {
    const TParamType kind = StoredTypeCode(Value);
    WriteStreamByte(Stream, kind);
    switch (kind) {
        case PT_INT: WriteStreamInt(Stream, Value.AsInt()); break;
        case PT_FLOAT: WriteStreamExtended(Stream, Value.AsFloat()); break;
        case PT_BOOL: WriteStreamByte(Stream, Value.AsBool()); break;
        case PT_STR: WriteStreamString(Stream, Value.AsStr()); break;
        default: WriteStreamString(Stream, static_cast<const TParamVar&>(Value).TargetName()); break;
    }
}

// The error of an operation that cannot run: its destination, its code and each operand's value.
[[noreturn]] void InvalidOperation(const TOpeData& Op) {
    std::string message = "不正な式\r\n\r\n代入先:" + Op.Dest + "演算タイプ:" +
                          (Op.Code < OpCodeCount ? std::string(OpCodeNames[Op.Code]) : Format("%u", Op.Code));
    for (const auto& arg : Op.Args) message += "\r\n" + arg->AsStr();
    throw EParamError(message);
}

// Operand I; a stored operation that lacks it cannot run.
const TCustomParam& Operand(const TOpeData& Op, size_t I) {
    if (I >= Op.Args.size()) InvalidOperation(Op);
    return *Op.Args[I];
}

// ocFunc of a function number beyond the table cannot run.
void CheckFunction(const TOpeData& Op) {
    if (Op.FuncIndex >= SysFuncCount) InvalidOperation(Op);
}

TParamType FunctionResultType(const TOpeData& Op) {
    CheckFunction(Op);
    if (Op.FuncIndex != kGetProp) return SysFuncResultTypes[Op.FuncIndex];
    const int32_t id = Operand(Op, 1).AsInt() & 0xFF;
    if (id >= PropCount) throw EParamError("GetPropの引数が違います");
    return PropTypes[static_cast<size_t>(id)];
}

// The type of a temporary that receives the result of an operation of Code other than ocFunc,
// TypeOf(I) giving the type of operand I; PT_NONE for ocDimTo, nothing for a code with no result.
template <class TypeOf>
std::optional<TParamType> OperatorType(uint8_t Code, TypeOf type) {
    switch (Code) {
        case ocTo: return type(0);
        case ocPlus:
            if (type(0) == PT_STR) return PT_STR;
            [[fallthrough]];
        case ocMinus:
        case ocMul:
        case ocDiv: return type(0) == PT_FLOAT || type(1) == PT_FLOAT ? PT_FLOAT : PT_INT;
        case ocMod:
        case ocOr:
        case ocAnd:
        case ocXor:
        case ocShiftL:
        case ocShiftR: return PT_INT;
        case ocDimTo: return PT_NONE;
        case ocEqual:
        case ocBig:
        case ocSmall:
        case ocEBig:
        case ocESmall:
        case ocNEqual: return PT_BOOL;
        case ocComboStr: return PT_STR;
        default: return std::nullopt;
    }
}

// The type of a temporary that receives the operation's result.
TParamType TemporaryType(const TOpeData& Op) {
    if (Op.Code == ocFunc) return FunctionResultType(Op);
    const std::optional<TParamType> type = OperatorType(Op.Code, [&Op](size_t I) { return Operand(Op, I).ParamType(); });
    if (!type) InvalidOperation(Op);
    return *type;
}

// Binds an element temporary to the element of the array operand at the index operands.
void SetUpElement(TParamCollectionItem& Item, const TOpeData& Op) {
    std::string array;
    if (!Op.Args.empty()) {
        const TParamVar* reference = AsReference(Op.Args[0]);
        array = reference ? reference->TargetName() : Op.Args[0]->AsStr();
    }
    std::vector<int32_t> indices;
    for (size_t i = 1; i < Op.Args.size(); ++i) indices.push_back(Op.Args[i]->AsInt());
    Item.SetReference(array, indices);
}

// 32-bit arithmetic that wraps; division truncates toward zero, shifts take the count mod 32
// and shift right logically.
[[gnu::always_inline]] inline int32_t IntResult(uint8_t Code, int32_t A, int32_t B) {
    const auto a = static_cast<uint32_t>(A), b = static_cast<uint32_t>(B);
    switch (Code) {
        case ocPlus: return static_cast<int32_t>(a + b);
        case ocMinus: return static_cast<int32_t>(a - b);
        case ocMul: return static_cast<int32_t>(a * b);
        case ocDiv:
            if (B == 0) throw EDivByZero();
            return B == -1 ? static_cast<int32_t>(0u - a) : A / B;
        case ocMod:
            if (B == 0) throw EDivByZero();
            return B == -1 ? 0 : A % B;
        case ocOr: return static_cast<int32_t>(a | b);
        case ocAnd: return static_cast<int32_t>(a & b);
        case ocXor: return static_cast<int32_t>(a ^ b);
        case ocShiftL: return static_cast<int32_t>(a << (b & 31));
        default: return static_cast<int32_t>(a >> (b & 31));  // ocShiftR
    }
}

long double FloatResult(uint8_t Code, long double A, long double B) {
    switch (Code) {
        case ocPlus: return A + B;
        case ocMinus: return A - B;
        case ocMul: return A * B;
        default:  // ocDiv
            if (B == 0) throw EDivByZero();
            return A / B;
    }
}

template <class T>
bool Compare(uint8_t Code, const T& A, const T& B) {
    switch (Code) {
        case ocEqual: return A == B;
        case ocBig: return A > B;
        case ocSmall: return A < B;
        case ocEBig: return A >= B;
        case ocESmall: return A <= B;
        default: return A != B;  // ocNEqual
    }
}

// Compared in the type of operand 1: strings byte by byte, floats, flags (false below true), else
// 32-bit integers.
bool Comparison(uint8_t Code, const TCustomParam& A, const TCustomParam& B) {
    switch (A.ParamType()) {
        case PT_STR: return Compare(Code, A.AsStr(), B.AsStr());
        case PT_FLOAT: return Compare(Code, A.AsFloat(), B.AsFloat());
        case PT_BOOL: return Compare(Code, A.AsBool(), B.AsBool());
        default: return Compare(Code, A.AsInt(), B.AsInt());
    }
}

// Value written into Dest in Dest's own type; a destination of no type stays as it is.
void AssignTo(TCustomParam& Dest, const TCustomParam& Value) {
    switch (Dest.ParamType()) {
        case PT_INT: Dest.SetInt(Value.AsInt()); break;
        case PT_FLOAT: Dest.SetFloat(Value.AsFloat()); break;
        case PT_BOOL: Dest.SetBool(Value.AsBool()); break;
        case PT_STR: Dest.SetStr(Value.AsStr()); break;
        default: break;
    }
}

// Computes an operation other than ocFunc into the value of its destination, Arg(I) giving
// operand I.
template <class ArgOf>
void Compute(uint8_t Code, TCustomParam& Dest, ArgOf Arg) {
    switch (Code) {
        case ocTo: AssignTo(Dest, Arg(0)); break;
        case ocPlus:
        case ocMinus:
        case ocMul:
        case ocDiv:
            if (Dest.ParamType() == PT_FLOAT)
                Dest.SetFloat(FloatResult(Code, Arg(0).AsFloat(), Arg(1).AsFloat()));
            else
                Dest.SetInt(IntResult(Code, Arg(0).AsInt(), Arg(1).AsInt()));
            break;
        case ocMod:
        case ocOr:
        case ocAnd:
        case ocXor:
        case ocShiftL:
        case ocShiftR: Dest.SetInt(IntResult(Code, Arg(0).AsInt(), Arg(1).AsInt())); break;
        case ocEqual:
        case ocBig:
        case ocSmall:
        case ocEBig:
        case ocESmall:
        case ocNEqual: Dest.SetBool(Comparison(Code, Arg(0), Arg(1))); break;
        case ocComboStr: {
            const std::string a = Arg(0).AsStr(), b = Arg(1).AsStr();
            Dest.SetStr(a + b);
            break;
        }
        default: break;  // ocNone, ocDimTo and codes without a meaning compute nothing
    }
}

// Runs Op, ending it quietly at a script error; the title's disk budget running out passes on,
// to end the player (the memory budget's refusal is no script error).
template <class Op>
void Quietly(Op op) {
    try {
        op();
    } catch (const EDiskBudget&) {
        throw;
    } catch (const EVelaError&) {
    }
}

// Unbinds the reference operands of an operation on every way out of its run, so that the next
// run resolves the names afresh.
class TUnbindOperands {
public:
    explicit TUnbindOperands(TOpeData& Op) : op_(Op) {}
    ~TUnbindOperands() {
        for (const auto& arg : op_.Args)
            if (TParamVar* reference = AsReference(arg)) {
                reference->SetTarget(nullptr);
                reference->SetElementIndex(0);
            }
    }
    TUnbindOperands(const TUnbindOperands&) = delete;
    TUnbindOperands& operator=(const TUnbindOperands&) = delete;

private:
    TOpeData& op_;
};

}  // namespace

namespace {

// What an operand text stands for: its kind as stored (PT_NONE for a variable name) and its value;
// Int holds a flag's 1 or 0.
struct TOperandText {
    TParamType Kind = PT_NONE;
    int32_t Int = 0;
    long double Float = 0;
};

TOperandText ClassifyOperand(const std::string& Text) {
    TOperandText operand;
    if (TryStrToInt(Text, operand.Int, TIntSyntax::Full))
        operand.Kind = PT_INT;
    else if (TryStrToFloat(Text, operand.Float))
        operand.Kind = PT_FLOAT;
    else if (Text == "TRUE" || Text == "FALSE") {
        operand.Kind = PT_BOOL;
        operand.Int = Text == "TRUE";
    } else if (Text.size() >= 2 && Text.front() == '"' && Text.back() == '"')
        operand.Kind = PT_STR;
    return operand;
}

// A literal's text without its quotes.
std::string LiteralContent(const std::string& Text) { return Text.substr(1, Text.size() - 2); }

}  // namespace

std::unique_ptr<TCustomParam> OperandValue(const std::string& Text) {
    const TOperandText operand = ClassifyOperand(Text);
    switch (operand.Kind) {
        case PT_INT: return IntValue(operand.Int);
        case PT_FLOAT: return FloatValue(operand.Float);
        case PT_BOOL: return FlagValue(operand.Int != 0);
        case PT_STR: return StrValue(LiteralContent(Text));
        default: return std::make_unique<TParamVar>(Text);
    }
}

void WriteOperandText(TStream& Stream, const std::string& Text) {
    const TOperandText operand = ClassifyOperand(Text);
    WriteStreamByte(Stream, operand.Kind);
    switch (operand.Kind) {
        case PT_INT: WriteStreamInt(Stream, operand.Int); break;
        case PT_FLOAT: WriteStreamExtended(Stream, operand.Float); break;
        case PT_BOOL: WriteStreamByte(Stream, static_cast<uint8_t>(operand.Int)); break;
        case PT_STR: WriteStreamString(Stream, LiteralContent(Text)); break;
        default: WriteStreamString(Stream, Text); break;
    }
}

void WriteOperationHead(TStream& Stream, uint8_t Code, const std::string& Dest, size_t Count, uint8_t FuncIndex) {
    WriteStreamByte(Stream, Code);
    WriteStreamString(Stream, Dest);
    WriteStreamInt(Stream, static_cast<int32_t>(Count));
    if (Code == ocFunc) WriteStreamByte(Stream, FuncIndex);
}

// ---- TOpeData ----

void TOpeData::SaveToStream(TStream& Stream) const {
    WriteOperationHead(Stream, Code, Dest, Args.size(), FuncIndex);
    for (const auto& arg : Args) WriteOperand(Stream, *arg);
}

// ---- TExprTemporaries ----

void TExprTemporaries::Add(TParamCollectionItem& Item) {
    items_.push_back(std::make_unique<TParamVar>());
    items_.back()->SetTarget(&Item);
}

TExprTemporaries::~TExprTemporaries() {
    // Last made first: those stand at the end of the table.
    for (auto it = items_.rbegin(); it != items_.rend(); ++it)
        if (TParamCollectionItem* item = (*it)->Target()) item->Collection()->Delete(item->CachedIndex());
}

// ---- The run plan ----

namespace {

// An operand bound for one operation: reads element Index of a value, as a reference operand
// bound to that value's variable reads it.
class TOperandView final : public TCustomParam {
public:
    void Bind(TCustomParam& Value, int32_t Index) {
        value_ = &Value;
        index_ = Index;
    }
    TParamType ParamType() const override {
        return ForwardTo(value_, PT_NONE, [](TCustomParam& t) { return t.ParamType(); });
    }
    bool AsBool() const override {
        return ForwardTo(value_, false, [this](TCustomParam& t) { return t.GetBoolAt(index_); });
    }
    long double AsFloat() const override {
        return ForwardTo(value_, 0.0L, [this](TCustomParam& t) { return t.GetFloatAt(index_); });
    }
    int32_t AsInt() const override {
        return ForwardTo(value_, 0, [this](TCustomParam& t) { return t.GetIntAt(index_); });
    }
    std::string AsStr() const override {
        return ForwardTo(value_, std::string(), [this](TCustomParam& t) { return t.GetStrAt(index_); });
    }

private:
    TCustomParam* value_ = nullptr;
    int32_t index_ = 0;
};

bool IsIntOperator(uint8_t Code) {
    return (Code >= ocPlus && Code <= ocXor) || Code == ocShiftL || Code == ocShiftR;
}
bool IsComparison(uint8_t Code) {
    return (Code >= ocEqual && Code <= ocESmall) || Code == ocNEqual;
}
// The operands an operation of Code needs; -1 for a code that is never planned.
int PlannedOperandCount(uint8_t Code) {
    if (Code == ocTo) return 1;
    if (Code == ocDimTo) return 0;
    if (IsIntOperator(Code) || IsComparison(Code) || Code == ocComboStr) return 2;
    return -1;
}

// The slots of a plan's temporaries by name, lowered (the table finds names without regard to
// case). A name "____N", N written without leading zeros and below Limit, is found by N in an
// array, which the temporaries a compiled expression numbers in order from 0 fill; any other
// name in a hash map, whatever names a stored expression gives.
class TSlotNames {
public:
    explicit TSlotNames(size_t Limit) : numbered_(Limit, kNone) {}
    // The slot of Name, nullopt when it has none.
    std::optional<size_t> Find(std::string_view Name) const {
        if (const std::optional<size_t> number = NumberOf(Name))
            return numbered_[*number] == kNone ? std::nullopt : std::optional<size_t>(numbered_[*number]);
        const auto found = named_.find(AnsiLowerCase(Name));
        return found == named_.end() ? std::nullopt : std::optional(found->second);
    }
    // The slot of Name, which becomes Next when it has none; whether it did.
    std::pair<size_t, bool> Add(std::string_view Name, size_t Next) {
        if (const std::optional<size_t> number = NumberOf(Name)) {
            uint32_t& slot = numbered_[*number];
            const bool added = slot == kNone;
            if (added) slot = static_cast<uint32_t>(Next);
            return {slot, added};
        }
        const auto [found, added] = named_.try_emplace(AnsiLowerCase(Name), Next);
        return {found->second, added};
    }

private:
    static constexpr uint32_t kNone = UINT32_MAX;

    // N of a name "____N" found by N; nullopt for any other name (lowering keeps these names).
    std::optional<size_t> NumberOf(std::string_view Name) const {
        if (!Name.starts_with(ExprTempPrefix)) return std::nullopt;
        const std::string_view digits = Name.substr(sizeof ExprTempPrefix - 1);
        if (digits.empty() || (digits[0] == '0' && digits.size() > 1)) return std::nullopt;
        size_t number = 0;
        for (const char c : digits) {
            if (c < '0' || c > '9') return std::nullopt;
            number = number * 10 + static_cast<size_t>(c - '0');
            if (number >= numbered_.size()) return std::nullopt;
        }
        return number;
    }

    std::vector<uint32_t> numbered_;
    std::unordered_map<std::string, size_t> named_;
};

[[noreturn]] void RaiseMissing(std::string_view Name) {
    throw EParamError(Format("\"%s\" 変数がありません", std::string(Name).c_str()));
}

}  // namespace

// The temporaries of a planned expression live in slots of the plan; its variable names are
// cached lookups.
class TExprPlan {
public:
    // Up to this many slots, each keeps a cached lookup of its name in the table.
    static constexpr size_t kBoundSlots = 64;

    // nullptr when some operation is not planned (a call, a code without a meaning, missing
    // operands, an element of a temporary).
    static std::unique_ptr<TExprPlan> Build(const TVelaParser& Expression);

    // Whether this run may keep the temporaries out of the table.
    bool Usable(TParamCollection& Vars) {
        if (checkedTable_ == &Vars && checkedAt_ == TParamCollection::LastGeneration()) return usable_;
        return Check(Vars);
    }
    // Runs every operation (after Usable); an error ends the run at the failing one.
    void Run();
    // The value "____arg" holds after the run, nullptr when the expression gives none.
    const TCustomParam* ResultValue() const;

private:
    struct TOperand {
        enum TKind : uint8_t { Literal, Variable, Slot };
        TKind Kind = Literal;
        bool IsInt = false;  // an int literal, of value Int
        int32_t Int = 0;
        uint32_t Index = 0;  // of the literal's value, the binding or the slot
    };
    // A value object of the plan, which temporaries whose uses do not overlap hold in turn.
    struct TValue {
        std::unique_ptr<TCustomParam> Value;
        TParamType Type = PT_NONE;
    };
    struct TSlot {
        explicit TSlot(std::string_view Name) : Name(Name) {}
        // A variable of the table with this name would take the temporary's place.
        std::string_view Name;
        TValue* Held = nullptr;
        bool Live = false;  // created in this run
    };
    struct TOp {
        // Int: int arithmetic; Compare: a comparison; Copy: ocTo; each taken directly when the
        // operands (and for Int and Copy the destination) are plain int scalars.
        enum TKernel : uint8_t { General, Int, Compare, Copy };
        TKernel Kernel = General;
        // An Int operation into a temporary that only the next operation reads, copying it into
        // a variable: the two write the variable directly when it is a plain int scalar.
        bool FuseCopy = false;
        uint8_t Code = ocNone;
        uint32_t First = 0;  // of its operands in the plan's operand lists
        uint32_t Count = 0;
        uint32_t Array = 0;  // ocDimTo: binding of the array name
        TOperand Dest;
    };

    // The operands of Op, and operand I of the operation running as bound for its run (the
    // literal or its view).
    std::span<TOperand> Args(const TOp& Op) { return {operands_.data() + Op.First, Op.Count}; }
    const TCustomParam& Bound(size_t I) const { return *bound_[I]; }
    // The name of a variable or a temporary, as written.
    std::string_view NameOf(const TOperand& Operand) const {
        return Operand.Kind == TOperand::Slot ? slots_[Operand.Index].Name : bindings_[Operand.Index].Name();
    }

    void FuseCopies();
    // Gives each slot a value object at its first use, which goes back to be reused after its
    // last use (the result's is kept): a chain of temporaries each read once needs two.
    void ShareValues();
    // Looks every binding up again; whether the plan is usable in the table as it is now.
    bool Check(TParamCollection& Vars);
    // Whether a variable of the table has the name of a temporary: each slot's name looked up
    // (through its cached lookup when the slots are few), or, when the table holds fewer
    // variables than the plan slots, each variable's name among the slots'.
    bool SlotNamedInTable(TParamCollection& Vars);
    // Runs operation I; the number of operations after it that it ran too.
    size_t RunOp(size_t I);
    // RunOp's own path for int arithmetic and copies between plain int scalars, written straight
    // into an int destination: what RunOp gives, or -1 when it does not apply (nothing done).
    int RunIntOp(size_t I);
    // The int a plain int scalar operand holds, nullptr for any other operand or a temporary not
    // yet created in this run.
    const int32_t* LiveIntOf(const TOperand& Operand);
    // The element of a destination variable that is a plain int scalar, else nullptr.
    int32_t* IntOfVariable(uint32_t Binding) {
        TParamInt* value = bindings_[Binding].IntValue();
        return value ? value->ScalarElement() : nullptr;
    }
    // EParamError when the operand's variable or temporary does not exist.
    void Resolve(const TOperand& Operand);
    // What a resolved operand is read through: the literal's value, or View bound to it.
    const TCustomParam* Bind(const TOperand& Operand, TOperandView& View);
    // The int a resolved operand holds as a plain int scalar, nullptr when it holds something else.
    const int32_t* IntOf(const TOperand& Operand);
    // The element of the destination value Dest of the operation to write directly, when it is a
    // plain scalar of Type.
    template <class P>
    typename P::Element* ScalarOfDest(const TOp& Op, TCustomParam& Dest, TParamType Type);
    // The value of the destination, its temporary first created with Type when missing.
    TCustomParam& Destination(TOp& Op, TParamType Type);
    void CreateSlot(TSlot& Slot, TParamType Type);

    std::vector<TOp> ops_;
    // The operands of all the operations, each operation's together, as classified.
    std::vector<TOperand> operands_;
    std::vector<std::unique_ptr<TCustomParam>> literals_;  // the literal operands' values
    // The operands of the operation running, as many as the most an operation has: their views
    // and what each is read through.
    std::unique_ptr<TOperandView[]> views_;
    std::vector<const TCustomParam*> bound_;
    std::vector<TParamBinding> bindings_;
    std::vector<TSlot> slots_;
    std::vector<TValue> values_;
    std::vector<int32_t> subscripts_;  // of the element an ocDimTo binds
    // The slots by name; with few slots, the cached lookup of each slot's name in the table.
    TSlotNames slotNames_{0};
    std::vector<TParamBinding> slotBindings_;
    std::optional<size_t> result_;  // the slot of "____arg" when the last operation assigns it
    // The table and its last generation when every binding was last looked at, and whether the
    // plan was usable then: while they stay, runs skip all the checks.
    const TParamCollection* checkedTable_ = nullptr;
    uint64_t checkedAt_ = 0;
    bool usable_ = false;
};

std::unique_ptr<TExprPlan> TExprPlan::Build(const TVelaParser& Expression) {
    auto plan = std::make_unique<TExprPlan>();
    // The slot of each temporary, and the binding of each variable by its name as written.
    const size_t count = Expression.ops_.size();
    plan->slotNames_ = TSlotNames(count);
    TSlotNames& slots = plan->slotNames_;
    std::unordered_map<std::string, size_t> bindings;
    plan->ops_.reserve(count);
    // Every temporary's name begins with the temporaries' prefix, which lowering keeps and never
    // makes.
    const auto slotOf = [&slots](std::string_view Name) -> std::optional<size_t> {
        if (!Name.starts_with(ExprTempPrefix)) return std::nullopt;
        return slots.Find(Name);
    };
    const auto bindingOf = [&bindings, &plan](std::string Name) {
        const auto [found, added] = bindings.try_emplace(Name, plan->bindings_.size());
        if (added) plan->bindings_.emplace_back(std::move(Name));
        return found->second;
    };
    // The slot of each operation's destination, kNoSlot for a variable.
    constexpr uint32_t kNoSlot = UINT32_MAX;
    std::vector<uint32_t> destSlots(count, kNoSlot);
    plan->slots_.reserve(count);
    uint32_t most = 0;
    for (size_t i = 0; i < count; ++i) {
        const TVelaParser::TStoredOp& op = Expression.ops_[i];
        const int needed = PlannedOperandCount(op.Code);
        if (needed < 0 || op.Count < static_cast<uint32_t>(needed)) return nullptr;
        most = std::max(most, op.Count);
        const std::string_view dest = Expression.Text(op.Dest);
        if (!dest.starts_with(ExprTempPrefix)) continue;
        const auto [slot, added] = slots.Add(dest, plan->slots_.size());
        if (added) plan->slots_.emplace_back(dest);
        destSlots[i] = static_cast<uint32_t>(slot);
    }
    plan->operands_.reserve(Expression.operands_.size());
    plan->views_ = std::make_unique<TOperandView[]>(most);
    plan->bound_.resize(most);
    const auto classify = [&](std::string_view Name, std::optional<size_t> Slot) {
        TOperand operand;
        if (Slot) {
            operand.Kind = TOperand::Slot;
            operand.Index = static_cast<uint32_t>(*Slot);
        } else {
            operand.Kind = TOperand::Variable;
            operand.Index = static_cast<uint32_t>(bindingOf(std::string(Name)));
        }
        return operand;
    };
    for (size_t i = 0; i < count; ++i) {
        const TVelaParser::TStoredOp& source = Expression.ops_[i];
        TOp& op = plan->ops_.emplace_back();
        op.Code = source.Code;
        op.Kernel = IsIntOperator(op.Code) ? TOp::Int
                    : IsComparison(op.Code) ? TOp::Compare
                    : op.Code == ocTo       ? TOp::Copy
                                            : TOp::General;
        op.Dest = classify(Expression.Text(source.Dest),
                           destSlots[i] == kNoSlot ? std::nullopt : std::optional<size_t>(destSlots[i]));
        op.First = source.First;
        op.Count = source.Count;
        const std::span args(Expression.operands_.data() + source.First, source.Count);
        for (const TVelaParser::TStoredOperand& arg : args) {
            if (arg.Kind == PT_NONE) {
                const std::string_view name = Expression.Text(arg.Text);
                plan->operands_.push_back(classify(name, slotOf(name)));
                continue;
            }
            TOperand& literal = plan->operands_.emplace_back();
            literal.IsInt = arg.Kind == PT_INT;
            literal.Int = literal.IsInt ? arg.Int : 0;
            literal.Index = static_cast<uint32_t>(plan->literals_.size());
            plan->literals_.push_back(Expression.Value(arg));
        }
        if (op.Code == ocDimTo) {
            // The element of a temporary would have to reach into a slot: left to the table.
            const std::string array = args.empty()                ? std::string()
                                      : args[0].Kind == PT_NONE ? std::string(Expression.Text(args[0].Text))
                                                                : Expression.Value(args[0])->AsStr();
            if (slotOf(array)) return nullptr;
            op.Array = static_cast<uint32_t>(bindingOf(array));
        }
    }
    if (plan->slots_.size() <= kBoundSlots)
        for (const TSlot& slot : plan->slots_) plan->slotBindings_.emplace_back(std::string(slot.Name));
    if (count && Expression.ops_.back().Code == ocTo && Expression.Text(Expression.ops_.back().Dest) == ExprResultName)
        plan->result_ = slotOf(ExprResultName);
    plan->ShareValues();
    plan->FuseCopies();
    return plan;
}

void TExprPlan::ShareValues() {
    constexpr uint32_t kKept = UINT32_MAX;
    std::vector<uint32_t> last(slots_.size()), held(slots_.size(), kKept), free;
    const auto eachSlot = [this](const TOp& Op, auto Use) {
        if (Op.Dest.Kind == TOperand::Slot) Use(Op.Dest.Index);
        for (const TOperand& operand : Args(Op))
            if (operand.Kind == TOperand::Slot) Use(operand.Index);
    };
    for (size_t i = 0; i < ops_.size(); ++i) eachSlot(ops_[i], [&](size_t Slot) { last[Slot] = static_cast<uint32_t>(i); });
    if (result_) last[*result_] = kKept;
    uint32_t values = 0;
    for (size_t i = 0; i < ops_.size(); ++i) {
        // An operation's destination never takes the value of one of its own operands.
        eachSlot(ops_[i], [&](size_t Slot) {
            if (held[Slot] != kKept) return;
            if (free.empty()) free.push_back(values++);
            held[Slot] = free.back();
            free.pop_back();
        });
        eachSlot(ops_[i], [&](size_t Slot) {
            if (last[Slot] != i) return;
            free.push_back(held[Slot]);
            last[Slot] = kKept;
        });
    }
    values_.resize(values);
    for (size_t slot = 0; slot < slots_.size(); ++slot) slots_[slot].Held = &values_[held[slot]];
}

void TExprPlan::FuseCopies() {
    // How often each slot is written and read.
    std::vector<int> uses(slots_.size());
    for (const TOp& op : ops_)
        if (op.Dest.Kind == TOperand::Slot) ++uses[op.Dest.Index];
    for (const TOperand& operand : operands_)
        if (operand.Kind == TOperand::Slot) ++uses[operand.Index];
    for (size_t i = 0; i + 1 < ops_.size(); ++i) {
        TOp& op = ops_[i];
        const TOp& next = ops_[i + 1];
        op.FuseCopy = op.Kernel == TOp::Int && op.Dest.Kind == TOperand::Slot && uses[op.Dest.Index] == 2 &&
                       op.Dest.Index != result_ && next.Code == ocTo && next.Count == 1 &&
                       operands_[next.First].Kind == TOperand::Slot && operands_[next.First].Index == op.Dest.Index &&
                       next.Dest.Kind == TOperand::Variable;
    }
}

bool TExprPlan::Check(TParamCollection& Vars) {
    for (TParamBinding& binding : bindings_) binding.Get(Vars);
    // "@Temp" finds the variable it names at each access, a temporary of the table too.
    usable_ = !Vars.TempVarName().starts_with(ExprTempPrefix) && !SlotNamedInTable(Vars);
    checkedTable_ = &Vars;
    checkedAt_ = TParamCollection::LastGeneration();
    return usable_;
}

bool TExprPlan::SlotNamedInTable(TParamCollection& Vars) {
    if (slots_.size() <= kBoundSlots)
        return std::any_of(slotBindings_.begin(), slotBindings_.end(),
                           [&Vars](TParamBinding& binding) { return binding.Get(Vars) != nullptr; });
    if (slots_.size() <= static_cast<size_t>(Vars.Count()))
        return std::any_of(slots_.begin(), slots_.end(),
                           [&Vars](const TSlot& slot) { return Vars.Find(std::string(slot.Name)) != nullptr; });
    // Any variable of that name, whatever its scope: one a lookup would not find now only keeps
    // the temporaries in the table.
    for (int i = 0; i < Vars.Count(); ++i) {
        const std::string& name = Vars.Items(i).Name();
        if (name.starts_with(ExprTempPrefix) && slotNames_.Find(name)) return true;
    }
    return false;
}

[[gnu::always_inline]] inline void TExprPlan::Run() {
    for (TSlot& slot : slots_) slot.Live = false;
    for (size_t i = 0, count = ops_.size(); i < count; ++i) {
        const int ran = RunIntOp(i);
        i += ran >= 0 ? static_cast<size_t>(ran) : RunOp(i);
    }
}

const TCustomParam* TExprPlan::ResultValue() const {
    if (!result_ || !slots_[*result_].Live) return nullptr;
    return slots_[*result_].Held->Value.get();
}

void TExprPlan::Resolve(const TOperand& Operand) {
    if (Operand.Kind == TOperand::Variable) {
        if (!bindings_[Operand.Index].Item()) RaiseMissing(NameOf(Operand));
    } else if (Operand.Kind == TOperand::Slot && !slots_[Operand.Index].Live) {
        RaiseMissing(NameOf(Operand));
    }
}

const TCustomParam* TExprPlan::Bind(const TOperand& Operand, TOperandView& View) {
    if (Operand.Kind == TOperand::Literal) return literals_[Operand.Index].get();
    if (Operand.Kind == TOperand::Variable) {
        const TParamBinding& binding = bindings_[Operand.Index];
        const TParamVar* reference = binding.ReferenceValue();
        View.Bind(binding.Item()->Value(), reference ? reference->ElementIndex() : 0);
    } else {
        const TValue& held = *slots_[Operand.Index].Held;
        const int32_t index = held.Type == PT_NONE ? static_cast<const TParamVar&>(*held.Value).ElementIndex() : 0;
        View.Bind(*held.Value, index);
    }
    return &View;
}

[[gnu::always_inline]] inline const int32_t* TExprPlan::IntOf(const TOperand& Operand) {
    switch (Operand.Kind) {
        case TOperand::Literal: return Operand.IsInt ? &Operand.Int : nullptr;
        case TOperand::Variable: return IntOfVariable(Operand.Index);
        default: {
            const TValue& held = *slots_[Operand.Index].Held;
            return held.Type == PT_INT ? static_cast<TParamInt&>(*held.Value).ScalarElement() : nullptr;
        }
    }
}

[[gnu::always_inline]] inline const int32_t* TExprPlan::LiveIntOf(const TOperand& Operand) {
    return Operand.Kind == TOperand::Slot && !slots_[Operand.Index].Live ? nullptr : IntOf(Operand);
}

[[gnu::always_inline]] inline int TExprPlan::RunIntOp(size_t I) {
    const TOp& op = ops_[I];
    if (op.Kernel != TOp::Int && op.Kernel != TOp::Copy) return -1;
    // An operand to spare is still looked up, by RunOp.
    if (op.Count != (op.Kernel == TOp::Copy ? 1u : 2u)) return -1;
    const TOperand* args = operands_.data() + op.First;
    const int32_t* a = LiveIntOf(args[0]);
    const int32_t* b = op.Kernel == TOp::Copy ? a : LiveIntOf(args[1]);
    if (!a || !b) return -1;
    int32_t* dest;
    if (op.FuseCopy)
        dest = IntOfVariable(ops_[I + 1].Dest.Index);
    else if (op.Dest.Kind == TOperand::Variable)
        dest = IntOfVariable(op.Dest.Index);
    else if (op.Dest.Index != result_ && slots_[op.Dest.Index].Held->Type == PT_INT)
        // A temporary that already holds an int takes the value without being made afresh: it
        // cannot be seen if the computation fails.
        dest = static_cast<TParamInt&>(*slots_[op.Dest.Index].Held->Value).ScalarElement();
    else
        return -1;
    if (!dest) return -1;
    *dest = op.Kernel == TOp::Copy ? *a : IntResult(op.Code, *a, *b);
    if (op.FuseCopy) return 1;
    if (op.Dest.Kind == TOperand::Slot) slots_[op.Dest.Index].Live = true;
    return 0;
}

template <class P>
typename P::Element* TExprPlan::ScalarOfDest(const TOp& Op, TCustomParam& Dest, TParamType Type) {
    const bool typed = Op.Dest.Kind == TOperand::Slot ? slots_[Op.Dest.Index].Held->Type == Type
                                                      : Type == PT_INT && bindings_[Op.Dest.Index].IntValue();
    return typed ? static_cast<P&>(Dest).ScalarElement() : nullptr;
}

void TExprPlan::CreateSlot(TSlot& Slot, TParamType Type) {
    bool reset = false;
    TValue& held = *Slot.Held;
    if (held.Value && held.Type == Type) switch (Type) {
            case PT_INT: reset = static_cast<TParamInt&>(*held.Value).ResetScalar(); break;
            case PT_FLOAT: reset = static_cast<TParamFloat&>(*held.Value).ResetScalar(); break;
            case PT_BOOL: reset = static_cast<TParamFlag&>(*held.Value).ResetScalar(); break;
            case PT_STR: reset = static_cast<TParamStr&>(*held.Value).ResetScalar(); break;
            default: {
                auto& reference = static_cast<TParamVar&>(*held.Value);
                reference.SetTargetName(std::string());
                reference.SetTarget(nullptr);
                reference.SetElementIndex(0);
                reset = true;
            }
        }
    if (!reset) {
        held.Value = CreateParam(Type);
        held.Type = Type;
    }
    Slot.Live = true;
}

TCustomParam& TExprPlan::Destination(TOp& Op, TParamType Type) {
    if (Op.Dest.Kind == TOperand::Slot) {
        TSlot& slot = slots_[Op.Dest.Index];
        if (!slot.Live) {
            CreateSlot(slot, Type);
            if (Op.Code == ocDimTo) {
                subscripts_.clear();
                for (size_t i = 1; i < Op.Count; ++i) subscripts_.push_back(Bound(i).AsInt());
                static_cast<TParamVar&>(*slot.Held->Value)
                    .BindElement(bindings_[Op.Array].Name(), bindings_[Op.Array].Item(), subscripts_);
            }
        }
        return *slot.Held->Value;
    }
    TParamCollectionItem* item = bindings_[Op.Dest.Index].Item();
    if (!item) RaiseMissing(NameOf(Op.Dest));
    return item->Value();
}

[[gnu::flatten]] size_t TExprPlan::RunOp(size_t I) {
    TOp& Op = ops_[I];
    const std::span<TOperand> args = Args(Op);
    for (const TOperand& operand : args) Resolve(operand);
    const uint8_t code = Op.Code;
    TCustomParam* dest = nullptr;
    if (Op.Kernel != TOp::General) {
        const int32_t* a = IntOf(args[0]);
        const int32_t* b = a && Op.Kernel != TOp::Copy ? IntOf(args[1]) : a;
        if (b) {
            if (Op.Kernel == TOp::Compare) {
                dest = &Destination(Op, PT_BOOL);
                const bool result = Compare(code, *a, *b);
                if (uint8_t* d = ScalarOfDest<TParamFlag>(Op, *dest, PT_BOOL))
                    *d = result;
                else
                    dest->SetBool(result);
                return 0;
            }
            if (Op.FuseCopy) {
                // RunIntOp found the copy's variable missing or not a plain int: the copy runs
                // on its own.
                const int32_t result = IntResult(code, *a, *b);
                const TOp& next = ops_[I + 1];
                if (!bindings_[next.Dest.Index].Item()) RaiseMissing(NameOf(next.Dest));
                *static_cast<TParamInt&>(Destination(Op, PT_INT)).ScalarElement() = result;
                return 0;
            }
            dest = &Destination(Op, PT_INT);
            if (int32_t* d = ScalarOfDest<TParamInt>(Op, *dest, PT_INT)) {
                *d = Op.Kernel == TOp::Copy ? *a : IntResult(code, *a, *b);
                return 0;
            }
        }
    }
    for (size_t i = 0; i < Op.Count; ++i) bound_[i] = Bind(args[i], views_[i]);
    const auto arg = [this](size_t I) -> const TCustomParam& { return Bound(I); };
    if (!dest) {
        const bool missing = Op.Dest.Kind == TOperand::Slot && !slots_[Op.Dest.Index].Live;
        const TParamType type = missing ? *OperatorType(code, [&arg](size_t I) { return arg(I).ParamType(); }) : PT_NONE;
        dest = &Destination(Op, type);
    }
    Compute(code, *dest, arg);
    return 0;
}

// ---- TVelaParser ----

TExprRunStats ExprRunStats;

TVelaParser::TVelaParser() = default;
TVelaParser::~TVelaParser() = default;

TVelaParser::TText TVelaParser::Keep(std::string_view Text) {
    const TText kept{static_cast<uint32_t>(text_.size()), static_cast<uint32_t>(Text.size())};
    text_.append(Text);
    return kept;
}

std::unique_ptr<TCustomParam> TVelaParser::Value(const TStoredOperand& Operand) const {
    switch (Operand.Kind) {
        case PT_INT: return IntValue(Operand.Int);
        case PT_FLOAT: return FloatValue(floats_[Operand.Text.Offset]);
        case PT_BOOL: return FlagValue(Operand.Int != 0);
        case PT_STR: return StrValue(std::string(Text(Operand.Text)));
        default: return std::make_unique<TParamVar>(std::string(Text(Operand.Text)));
    }
}

template <class TFields>
void TVelaParser::ReadOperation(TFields& Fields) {
    TStoredOp op;
    op.Code = Fields.Byte();
    op.Dest = Keep(Fields.String());
    const int32_t count = Fields.Int();
    if (op.Code == ocFunc) op.FuncIndex = Fields.Byte();
    op.First = static_cast<uint32_t>(operands_.size());
    op.Count = static_cast<uint32_t>(Fields.Count(count, kMinOperand));
    for (uint32_t i = 0; i < op.Count; ++i) {
        TStoredOperand& operand = operands_.emplace_back();
        switch (Fields.Byte()) {
            case PT_INT:
                operand.Kind = PT_INT;
                operand.Int = Fields.Int();
                break;
            case PT_FLOAT:
                operand.Kind = PT_FLOAT;
                operand.Text.Offset = static_cast<uint32_t>(floats_.size());
                floats_.push_back(Fields.Extended());
                break;
            case PT_BOOL:
                operand.Kind = PT_BOOL;
                operand.Int = Fields.Byte() != 0;
                break;
            case PT_STR:
                operand.Kind = PT_STR;
                operand.Text = Keep(Fields.String());
                break;
            default: operand.Text = Keep(Fields.String()); break;
        }
    }
    ops_.push_back(op);
}

template <class TFields>
void TVelaParser::ReadOperations(TFields& Fields) {
    const int32_t count = Fields.Count(Fields.Int(), kMinOperation);
    ops_.reserve(static_cast<size_t>(count));
    // Most operations have two operands.
    operands_.reserve(2 * static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) ReadOperation(Fields);
}

void TVelaParser::Clear() {
    ops_.clear();
    operands_.clear();
    floats_.clear();
    text_.clear();
    unplanned_.clear();
    plan_.reset();
    plannedCount_ = -1;
}

void TVelaParser::LoadFromStream(TStream& Stream) {
    Clear();
    try {
        // A page's expressions are read from memory, field by field without the stream's calls.
        if (typeid(Stream) == typeid(TMemoryStream)) {
            TMemoryFields fields(static_cast<TMemoryStream&>(Stream));
            ReadOperations(fields);
        } else {
            TStreamFields fields(Stream);
            ReadOperations(fields);
        }
    } catch (...) {
        Clear();
        throw;
    }
    Plan();
}

void TVelaParser::SaveToStream(TStream& Stream) const {
    WriteStreamInt(Stream, Count());
    for (const TStoredOp& op : ops_) {
        WriteOperationHead(Stream, op.Code, std::string(Text(op.Dest)), op.Count, op.FuncIndex);
        for (uint32_t i = 0; i < op.Count; ++i) {
            const TStoredOperand& operand = operands_[op.First + i];
            WriteStreamByte(Stream, operand.Kind);
            switch (operand.Kind) {
                case PT_INT: WriteStreamInt(Stream, operand.Int); break;
                case PT_FLOAT: WriteStreamExtended(Stream, floats_[operand.Text.Offset]); break;
                case PT_BOOL: WriteStreamByte(Stream, static_cast<uint8_t>(operand.Int)); break;
                default: WriteStreamString(Stream, std::string(Text(operand.Text))); break;
            }
        }
    }
}

void TVelaParser::Assign(const TVelaParser& Source) {
    if (&Source == this) return;
    Clear();
    ops_ = Source.ops_;
    operands_ = Source.operands_;
    floats_ = Source.floats_;
    text_ = Source.text_;
    Plan();
}

TVelaParser::TStoredOperand TVelaParser::OperandOf(const std::string& Text) {
    const TOperandText classified = ClassifyOperand(Text);
    TStoredOperand operand;
    operand.Kind = classified.Kind;
    switch (classified.Kind) {
        case PT_INT:
        case PT_BOOL: operand.Int = classified.Int; break;
        case PT_FLOAT:
            operand.Text.Offset = static_cast<uint32_t>(floats_.size());
            floats_.push_back(classified.Float);
            break;
        case PT_STR: operand.Text = Keep(LiteralContent(Text)); break;
        default: operand.Text = Keep(Text); break;
    }
    return operand;
}

void TVelaParser::SetOperations(const TBuildVelaParser& Compiler) {
    TVelaParser compiled;
    compiled.ops_.reserve(static_cast<size_t>(Compiler.Count()));
    Compiler.EachOperation(
        [&compiled](uint8_t Code, const std::string& Dest, size_t Count, uint8_t FuncIndex) {
            const uint32_t first = static_cast<uint32_t>(compiled.operands_.size());
            compiled.ops_.push_back({Code, FuncIndex, compiled.Keep(Dest), first, static_cast<uint32_t>(Count)});
        },
        [&compiled](const std::string& Text) { compiled.operands_.push_back(compiled.OperandOf(Text)); });
    Clear();
    ops_ = std::move(compiled.ops_);
    operands_ = std::move(compiled.operands_);
    floats_ = std::move(compiled.floats_);
    text_ = std::move(compiled.text_);
    Plan();
}

void TVelaParser::Add(const TOpeData& Operation) {
    TMemoryStream stream;
    Operation.SaveToStream(stream);
    stream.SetPosition(0);
    TMemoryFields fields(stream);
    ReadOperation(fields);
    unplanned_.clear();
}

TOpeData TVelaParser::Operation(int Index) const {
    const TStoredOp& op = ops_[static_cast<size_t>(Index)];
    TOpeData operation;
    operation.Code = op.Code;
    operation.Dest = Text(op.Dest);
    operation.FuncIndex = op.FuncIndex;
    operation.Args.reserve(op.Count);
    for (uint32_t i = 0; i < op.Count; ++i) operation.Args.push_back(Value(operands_[op.First + i]));
    return operation;
}

TExprPlan* TVelaParser::Plan() {
    if (plannedCount_ != Count()) [[unlikely]] {
        plan_ = TExprPlan::Build(*this);
        plannedCount_ = Count();
    }
    return plan_.get();
}

[[gnu::always_inline]] inline void TVelaParser::TakeResult(const TCustomParam* Value) {
    hasResult_ = false;
    if (!Value) return;
    const TParamType type = Value->ParamType();
    if (type < PT_INT || type > PT_STR) return;  // a reference without a target gives none
    if (!result_ || result_->ParamType() != type) result_ = CreateParam(type);
    result_->CopyFrom(*Value);
    hasResult_ = true;
}

void TVelaParser::Execute() {
    const bool timed = ExprRunStats.Enabled && ExprRunStats.Runs++ % TExprRunStats::SampleEvery == 0;
    const uint64_t start = timed ? platform::ClockNs() : 0;
    TExprPlan* plan = plannedCount_ == Count() ? plan_.get() : Plan();
    if (plan && ParamMan && plan->Usable(*ParamMan)) {
        // The run ends at the failing operation; what it wrote so far stays.
        Quietly([plan] { plan->Run(); });
        // A result that holds no plain value (a reference without a target) gives none.
        Quietly([this, plan] { TakeResult(plan->ResultValue()); });
    } else {
        ExecuteUnplanned();
    }
    if (timed) {
        ++ExprRunStats.Sampled;
        ExprRunStats.SampledNanoseconds += platform::ClockNs() - start;
    }
}

void TVelaParser::ExecuteUnplanned() {
    hasResult_ = false;
    if (unplanned_.size() != ops_.size()) {
        unplanned_.clear();
        unplanned_.reserve(ops_.size());
        for (int i = 0; i < Count(); ++i) unplanned_.push_back(Operation(i));
    }
    TExprTemporaries temporaries;
    Quietly([this, &temporaries] {
        for (TOpeData& operation : unplanned_) RunOperation(operation, temporaries);
    });
    if (ops_.empty() || ops_.back().Code != ocTo || Text(ops_.back().Dest) != ExprResultName || !ParamMan) return;
    Quietly([this] { TakeResult(ParamMan->Find(ExprResultName) ? &ParamMan->Find(ExprResultName)->Value() : nullptr); });
}

void TVelaParser::RunOperation(TOpeData& Operation, TExprTemporaries& Temporaries) {
    TUnbindOperands unbind(Operation);
    for (const auto& arg : Operation.Args)
        if (TParamVar* reference = AsReference(arg)) reference->Resolve();
    if (Operation.Dest.starts_with(ExprTempPrefix) && !Vars().Find(Operation.Dest))
        CreateTemporary(Operation, Temporaries);
    EvalOperation(Operation);
}

void TVelaParser::CreateTemporary(const TOpeData& Operation, TExprTemporaries& Temporaries) {
    const TParamType type = TemporaryType(Operation);
    TParamCollectionItem& item = Vars().AddParam(type);
    Temporaries.Add(item);
    item.SetName(Operation.Dest);
    if (Operation.Code == ocDimTo) SetUpElement(item, Operation);
}

void TVelaParser::EvalOperation(const TOpeData& Operation) {
    TParamCollectionItem* dest = Vars().Find(Operation.Dest);
    if (!dest) throw EParamError(Format("\"%s\" 変数がありません", Operation.Dest.c_str()));
    if (Operation.Code != ocFunc) {
        Compute(Operation.Code, dest->Value(), [&](size_t I) -> const TCustomParam& { return Operand(Operation, I); });
        return;
    }
    CheckFunction(Operation);
    std::vector<std::unique_ptr<TCustomParam>> copies;
    std::vector<TCustomParam*> args;
    for (const auto& arg : Operation.Args) {
        if (AsReference(arg)) {
            args.push_back(arg.get());
            continue;
        }
        copies.push_back(CopyOperand(*arg));
        args.push_back(copies.back().get());
    }
    CallFunction(*dest, Operation.FuncIndex, args);
}

void TVelaParser::CallFunction(TParamCollectionItem& Dest, uint8_t Index, TSysFuncArgs Args) {
    if (!SysFuncMan) throw EParamError("内部エラー");
    SysFuncMan->CallFunction(Dest, Index, Args);
}
