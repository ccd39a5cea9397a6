// Compiled expressions: their stored form and their run against the variable table.
#include "script/params_parser.h"

#include "core/sysutils.h"

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

std::unique_ptr<TCustomParam> ReadOperand(TStream& Stream) {
    switch (ReadStreamByte(Stream)) {
        case PT_INT: return IntValue(ReadStreamInt(Stream));
        case PT_FLOAT: return FloatValue(ReadStreamExtended(Stream));
        case PT_BOOL: return FlagValue(ReadStreamByte(Stream) != 0);
        case PT_STR: return StrValue(ReadStreamString(Stream));
        default: return std::make_unique<TParamVar>(ReadStreamString(Stream));
    }
}

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

// The type of a temporary that receives the operation's result.
TParamType TemporaryType(const TOpeData& Op) {
    auto type = [&Op](size_t I) { return Operand(Op, I).ParamType(); };
    switch (Op.Code) {
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
        case ocFunc: return FunctionResultType(Op);
        case ocEqual:
        case ocBig:
        case ocSmall:
        case ocEBig:
        case ocESmall:
        case ocNEqual: return PT_BOOL;
        case ocComboStr: return PT_STR;
        default: InvalidOperation(Op);
    }
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
int32_t IntResult(uint8_t Code, int32_t A, int32_t B) {
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
bool Comparison(const TOpeData& Op) {
    const TCustomParam& a = Operand(Op, 0);
    const TCustomParam& b = Operand(Op, 1);
    switch (a.ParamType()) {
        case PT_STR: return Compare(Op.Code, a.AsStr(), b.AsStr());
        case PT_FLOAT: return Compare(Op.Code, a.AsFloat(), b.AsFloat());
        case PT_BOOL: return Compare(Op.Code, a.AsBool(), b.AsBool());
        default: return Compare(Op.Code, a.AsInt(), b.AsInt());
    }
}

// Value written into Dest in Dest's own type; a destination of no type stays as it is.
void AssignTo(TParamCollectionItem& Dest, const TCustomParam& Value) {
    switch (Dest.GetParamType()) {
        case PT_INT: Dest.SetAsInt(Value.AsInt()); break;
        case PT_FLOAT: Dest.SetAsFloat(Value.AsFloat()); break;
        case PT_BOOL: Dest.SetAsBool(Value.AsBool()); break;
        case PT_STR: Dest.SetAsStr(Value.AsStr()); break;
        default: break;
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

std::unique_ptr<TCustomParam> OperandValue(const std::string& Text) {
    int32_t integer;
    long double real;
    if (TryStrToInt(Text, integer, TIntSyntax::Full)) return IntValue(integer);
    if (TryStrToFloat(Text, real)) return FloatValue(real);
    if (Text == "TRUE" || Text == "FALSE") return FlagValue(Text == "TRUE");
    if (Text.size() >= 2 && Text.front() == '"' && Text.back() == '"') return StrValue(Text.substr(1, Text.size() - 2));
    return std::make_unique<TParamVar>(Text);
}

// ---- TOpeData ----

void TOpeData::LoadFromStream(TStream& Stream) {
    TOpeData loaded;
    loaded.Code = ReadStreamByte(Stream);
    loaded.Dest = ReadStreamString(Stream);
    const int32_t count = ReadStreamInt(Stream);
    if (loaded.Code == ocFunc) loaded.FuncIndex = ReadStreamByte(Stream);
    CheckStreamCount(Stream, count, kMinOperand);
    for (int32_t i = 0; i < count; ++i) loaded.Args.push_back(ReadOperand(Stream));
    *this = std::move(loaded);
}

void TOpeData::SaveToStream(TStream& Stream) const {
    WriteStreamByte(Stream, Code);
    WriteStreamString(Stream, Dest);
    WriteStreamInt(Stream, static_cast<int32_t>(Args.size()));
    if (Code == ocFunc) WriteStreamByte(Stream, FuncIndex);
    for (const auto& arg : Args) WriteOperand(Stream, *arg);
}

void TOpeData::Assign(const TOpeData& Source) {
    if (&Source == this) return;
    std::vector<std::unique_ptr<TCustomParam>> args;
    for (const auto& arg : Source.Args) args.push_back(CopyOperand(*arg));
    Code = Source.Code;
    Dest = Source.Dest;
    FuncIndex = Source.FuncIndex;
    Args = std::move(args);
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

// ---- TVelaParser ----

void TVelaParser::LoadFromStream(TStream& Stream) {
    Clear();
    const int32_t count = ReadStreamCount(Stream, kMinOperation);
    try {
        for (int32_t i = 0; i < count; ++i) {
            auto op = std::make_unique<TOpeData>();
            op->LoadFromStream(Stream);
            Add(std::move(op));
        }
    } catch (...) {
        Clear();
        throw;
    }
}

void TVelaParser::SaveToStream(TStream& Stream) const {
    WriteStreamInt(Stream, Count());
    for (int i = 0; i < Count(); ++i) Items(i)->SaveToStream(Stream);
}

void TVelaParser::Assign(const TVelaParser& Source) {
    if (&Source == this) return;
    Clear();
    for (int i = 0; i < Source.Count(); ++i) {
        auto op = std::make_unique<TOpeData>();
        op->Assign(*Source.Items(i));
        Add(std::move(op));
    }
}

void TVelaParser::Execute() {
    result_.reset();
    TExprTemporaries temporaries;
    try {
        for (int i = 0; i < Count(); ++i) RunOperation(*Items(i), temporaries);
    } catch (const EVelaError&) {
        // The run ends at the failing operation; what it wrote so far stays.
    }
    if (Count() == 0 || Items(Count() - 1)->Code != ocTo || Items(Count() - 1)->Dest != ExprResultName || !ParamMan)
        return;
    try {
        result_ = ParamMan->CloneValue(ExprResultName);
    } catch (const EVelaError&) {
        // A result that holds no plain value (a reference without a target) gives none.
    }
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
    const uint8_t code = Operation.Code;
    switch (code) {
        case ocTo: AssignTo(*dest, Operand(Operation, 0)); break;
        case ocPlus:
        case ocMinus:
        case ocMul:
        case ocDiv:
            if (dest->GetParamType() == PT_FLOAT)
                dest->SetAsFloat(FloatResult(code, Operand(Operation, 0).AsFloat(), Operand(Operation, 1).AsFloat()));
            else
                dest->SetAsInt(IntResult(code, Operand(Operation, 0).AsInt(), Operand(Operation, 1).AsInt()));
            break;
        case ocMod:
        case ocOr:
        case ocAnd:
        case ocXor:
        case ocShiftL:
        case ocShiftR:
            dest->SetAsInt(IntResult(code, Operand(Operation, 0).AsInt(), Operand(Operation, 1).AsInt()));
            break;
        case ocEqual:
        case ocBig:
        case ocSmall:
        case ocEBig:
        case ocESmall:
        case ocNEqual: dest->SetAsBool(Comparison(Operation)); break;
        case ocComboStr: dest->SetAsStr(Operand(Operation, 0).AsStr() + Operand(Operation, 1).AsStr()); break;
        case ocFunc: {
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
            break;
        }
        default: break;  // ocNone, ocDimTo and codes without a meaning compute nothing
    }
}

void TVelaParser::CallFunction(TParamCollectionItem& Dest, uint8_t Index, TSysFuncArgs Args) {
    if (!SysFuncMan) throw EParamError("内部エラー");
    SysFuncMan->CallFunction(Dest, Index, Args);
}
