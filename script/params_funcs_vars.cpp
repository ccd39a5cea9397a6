// The variable functions: arrays sized, filled, copied, searched, sorted, joined, split and
// reshaped; variables tested, aliased, pushed and popped by name; call frames removed; numbers
// and characters converted; and statements given as text run once.
#include "core/hash.h"
#include "core/jstrm.h"
#include "core/stringlist.h"
#include "core/sysutils.h"
#include "script/callman.h"
#include "script/params_funcs_families.h"
#include "script/params_parser.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

const std::string kLineBreak = "\r\n";

// Argument I when it refers to an existing variable; else Func's own error: a literal or a
// reference to nothing has no variable to change.
TCustomParam& RequireVar(TSysFuncArgs Args, size_t I, const char* Func) {
    const auto* ref = dynamic_cast<const TParamVar*>(Args[I]);
    if (!ref || !ref->Target()) throw EParamError(std::string(Func) + ":変数が見つかりません");
    return *Args[I];
}

// Element From of Source into element To of Dest, read and written in Type (Dest's type), so a
// value of another type is converted. A type without elements moves nothing.
void CopyElement(TCustomParam& Dest, int32_t To, const TCustomParam& Source, int32_t From, TParamType Type) {
    switch (Type) {
        case PT_INT: Dest.SetIntAt(To, Source.GetIntAt(From)); break;
        case PT_FLOAT: Dest.SetFloatAt(To, Source.GetFloatAt(From)); break;
        case PT_BOOL: Dest.SetBoolAt(To, Source.GetBoolAt(From)); break;
        case PT_STR: Dest.SetStrAt(To, Source.GetStrAt(From)); break;
        default: break;
    }
}

// GetArraySize(var A [, K]): all elements, or the size of the K-th dimension counted from the
// last one given (1 outside the list).
void FnGetArraySize(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    const TCustomParam& a = RequireVar(Args, 0, "GetArraySize");
    if (Args.size() < 2) return Dest.SetAsInt(a.Count());
    const int64_t dim = int64_t(a.DimCount()) - 1 - Args[1]->AsInt();
    Dest.SetAsInt(dim >= 0 && dim < a.DimCount() ? a.Dim(int32_t(dim)) : 1);
}

// SetArray(var A, Size1 [, Size2, ...]): the sizes in the order written. No result.
void FnSetArray(TParamCollectionItem&, TSysFuncArgs Args) {
    TCustomParam& a = RequireVar(Args, 0, "SetArray");
    std::vector<int32_t> sizes;
    for (size_t i = 1; i < Args.size(); ++i) sizes.push_back(Args[i]->AsInt());
    a.SetDims(sizes);
}

// FillMem(var A, Value): every element, Value read in A's type. No result.
void FnFillMem(TParamCollectionItem&, TSysFuncArgs Args) {
    TCustomParam& a = RequireVar(Args, 0, "FillMem");
    const TCustomParam& value = *Args[1];
    switch (a.ParamType()) {
        case PT_INT: a.FillInt(value.AsInt()); break;
        case PT_FLOAT: a.FillFloat(value.AsFloat()); break;
        case PT_BOOL: a.FillBool(value.AsBool()); break;
        default: a.FillStr(value.AsStr()); break;
    }
}

// CopyMem(var Dest, var Source): a whole copy between variables of one type. No result.
void FnCopyMem(TParamCollectionItem&, TSysFuncArgs Args) {
    TCustomParam& dest = RequireVar(Args, 0, "CopyMem");
    const auto& source = static_cast<const TParamVar&>(RequireVar(Args, 1, "CopyMem"));
    dest.Assign(source.Target()->Value());
}

void FnArrayToString(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    const TCustomParam& a = *Args[0];
    const std::string separator = Args.size() > 1 ? Args[1]->AsStr() : kLineBreak;
    std::string out;
    for (int32_t i = 0; i < a.Count(); ++i) {
        const std::string element = a.GetStrAt(i);
        const std::string_view before = i ? std::string_view(separator) : std::string_view();
        out.append(before).append(element);
    }
    Dest.SetAsStr(out);
}

// StringToArray(Text, var A [, Separator]): lines for a line break (the default), else pieces
// between any of the separator's characters. No pieces leave A one empty string. No result.
void FnStringToArray(TParamCollectionItem&, TSysFuncArgs Args) {
    const std::string text = Args[0]->AsStr();
    TCustomParam& a = *Args[1];
    const std::string separator = Args.size() > 2 ? Args[2]->AsStr() : kLineBreak;
    std::vector<std::string_view> pieces;
    if (separator == kLineBreak) {
        pieces = SplitLines(std::string_view(text).substr(0, text.find('\0')));
    } else {
        const TDelimiterSet delimiters(separator);
        for (std::string_view rest = text; !rest.empty();) pieces.push_back(JStrSplitToken(rest, delimiters));
    }
    if (pieces.empty()) return a.SetStr("");
    a.SetDims({static_cast<int32_t>(std::min<size_t>(pieces.size(), INT32_MAX))});
    for (size_t i = 0; i < pieces.size(); ++i) a.SetStrAt(static_cast<int32_t>(i), std::string(pieces[i]));
}

void FnIndexOfStr(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    Dest.SetAsInt(Args[0]->IndexOfStr(Args[1]->AsStr(), OptionalBool(Args, 2, true), OptionalBool(Args, 3, false)));
}

// SortStr(var A [, Descending [, Numeric]]): by the texts in the order that respects case, or by
// the values as reals. No result.
void FnSortStr(TParamCollectionItem&, TSysFuncArgs Args) {
    TCustomParam& a = *Args[0];
    const bool descending = OptionalBool(Args, 1, false);
    if (OptionalBool(Args, 2, false)) {
        TExtendedList values;
        for (int32_t i = 0; i < a.Count(); ++i) values.Add(a.GetFloatAt(i));
        values.Sort(descending);
        for (int32_t i = 0; i < values.Count(); ++i) a.SetFloatAt(i, values.GetValue(i));
        return;
    }
    std::vector<std::string> texts;
    for (int32_t i = 0; i < a.Count(); ++i) texts.push_back(a.GetStrAt(i));
    AnsiSortStr(texts, descending);
    for (size_t i = 0; i < texts.size(); ++i) a.SetStrAt(static_cast<int32_t>(i), texts[i]);
}

void FnVarExists(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    Dest.SetAsBool(ParamMan->Find(Args[0]->AsStr()) != nullptr);
}

// AssignTemp(Name): "@Temp" stands for that variable from now on; false (and no change) when
// there is none.
void FnAssignTemp(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    const std::string name = Args[0]->AsStr();
    const bool found = !name.empty() && ParamMan->Find(name);
    if (found) ParamMan->SetTempVarName(name);
    Dest.SetAsBool(found);
}

// AddArray(var A, B): B's elements appended; the new count (the old one, unchanged, when either
// has more than one dimension).
void FnAddArray(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    TCustomParam& a = *Args[0];
    const TCustomParam& b = *Args[1];
    const int32_t n1 = a.Count(), n2 = b.Count();
    if (a.DimCount() > 1 || b.DimCount() > 1) return Dest.SetAsInt(n1);
    const TParamType type = a.ParamType();
    a.SetDims({n1 + n2});
    for (int32_t i = 0; i < n2; ++i) CopyElement(a, n1 + i, b, i, type);
    Dest.SetAsInt(n1 + n2);
}

// InsertArray(var A, Index, B): B's elements before element Index (clamped to the ends); the
// new count, as AddArray.
void FnInsertArray(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    TCustomParam& a = *Args[0];
    const TCustomParam& b = *Args[2];
    const int32_t n1 = a.Count(), n2 = b.Count();
    if (a.DimCount() > 1 || b.DimCount() > 1) return Dest.SetAsInt(n1);
    const int32_t index = std::clamp(Args[1]->AsInt(), 0, n1);
    const TParamType type = a.ParamType();
    a.SetDims({n1 + n2});
    for (int32_t i = n1 + n2 - 1; i >= index + n2; --i) CopyElement(a, i, a, i - n2, type);
    for (int32_t i = 0; i < n2; ++i) CopyElement(a, index + i, b, i, type);
    Dest.SetAsInt(n1 + n2);
}

// DeleteArray(var A, Index, Count): Count elements from Index (clamped into the array; Count cut
// to the rest) removed; the new count. A negative Count is refused with the index error of the
// first element its moves would miss, before anything moves. Removing every element raises the
// size error after the moves.
void FnDeleteArray(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    TCustomParam& a = *Args[0];
    const int32_t n = a.Count();
    if (a.DimCount() > 1) return Dest.SetAsInt(n);
    int32_t index = std::max(Args[1]->AsInt(), 0);
    if (index >= n) index = n - 1;
    int64_t count = Args[2]->AsInt();
    if (count < 0)
        throw EParamError(Format("[%lld]:配列の添字が不正です", static_cast<long long>(index + count < 0 ? index + count : n)));
    count = std::min<int64_t>(count, n - index);
    const TParamType type = a.ParamType();
    for (int64_t i = index; i < n - count; ++i) CopyElement(a, int32_t(i), a, int32_t(i + count), type);
    a.SetDims({int32_t(n - count)});
    Dest.SetAsInt(int32_t(n - count));
}

// CopyArray(var Dest, Source): Source's sizes, then each element converted to Dest's type.
void FnCopyArray(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    ConvertParam(*Args[0], *Args[1]);
    Dest.SetAsBool(true);
}

void FnHanToZen(TParamCollectionItem& Dest, TSysFuncArgs Args) { Dest.SetAsStr(JStrHanToZen(Args[0]->AsStr())); }
void FnZenToHan(TParamCollectionItem& Dest, TSysFuncArgs Args) { Dest.SetAsStr(JStrZenToHan(Args[0]->AsStr())); }

void FnMin(TParamCollectionItem& Dest, TSysFuncArgs Args) { Dest.SetAsInt(std::min(Args[0]->AsInt(), Args[1]->AsInt())); }
void FnMax(TParamCollectionItem& Dest, TSysFuncArgs Args) { Dest.SetAsInt(std::max(Args[0]->AsInt(), Args[1]->AsInt())); }

// Fmin and Fmax answer B on a tie.
void FnFmin(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    const long double a = Args[0]->AsFloat(), b = Args[1]->AsFloat();
    Dest.SetAsFloat(b <= a ? b : a);
}
void FnFmax(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    const long double a = Args[0]->AsFloat(), b = Args[1]->AsFloat();
    Dest.SetAsFloat(b >= a ? b : a);
}

void FnGetVarType(TParamCollectionItem& Dest, TSysFuncArgs Args) { Dest.SetAsInt(Args[0]->ParamType()); }

// AddDelimiter(Delimiter, Text): Text with Delimiter after it; nothing for an empty Text.
void FnAddDelimiter(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    const std::string text = Args[1]->AsStr();
    Dest.SetAsStr(text.empty() ? text : text + Args[0]->AsStr());
}

// Statements run by Calc that run Calc themselves; a text that calls itself ends at this depth,
// as a failed run, instead of exhausting the stack.
constexpr int MaxCalcDepth = 32;
int calcDepth = 0;

// Calc(Statement): compiled and run once; true when both succeed, else no result (changes made
// before a run error stay).
void FnCalc(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    if (calcDepth >= MaxCalcDepth) return;
    const std::string statement = Args[0]->AsStr();
    struct TDepth {
        TDepth() { ++calcDepth; }
        ~TDepth() { --calcDepth; }
    } depth;
    if (CheckExprSyntax(statement)) Dest.SetAsBool(true);
}

void FnStrToIntDef(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    Dest.SetAsInt(StrToIntDef(Args[0]->AsStr(), Args[1]->AsInt()));
}

void FnStrToFloatDef(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    long double value;
    Dest.SetAsFloat(TryStrToFloat(Args[0]->AsStr(), value) ? value : Args[1]->AsFloat());
}

// Chr(Code): the one byte of Code's low 8 bits, the zero byte included.
void FnChr(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    Dest.SetAsStr(std::string(1, static_cast<char>(Args[0]->AsInt())));
}

// Ord(Text): the first byte, 0 for an empty text.
void FnOrd(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    const std::string text = Args[0]->AsStr();
    Dest.SetAsInt(text.empty() ? 0 : static_cast<uint8_t>(text[0]));
}

void FnPushVar(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    std::vector<std::string> names;
    for (const TCustomParam* arg : Args) names.push_back(arg->AsStr());
    ParamMan->PushVariables(names);
    Dest.SetAsBool(true);
}

void FnPopVar(TParamCollectionItem& Dest, TSysFuncArgs) {
    ParamMan->PopVariables();
    Dest.SetAsBool(true);
}

// DeleteStack(Index): call frame Index (0 the first pushed) removed with the variables its depth
// owns; the variables of the deeper frames follow them down one depth, and the current scope
// becomes the new depth, so the running page still sees its own locals. False for an index
// outside the stack.
void FnDeleteStack(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    const int32_t index = Args[0]->AsInt();
    TStackList* stack = ParamMan->State().CallStack();
    if (!stack || index < 0 || index >= stack->Count()) return Dest.SetAsBool(false);
    ParamMan->RemoveScope(index);
    stack->Delete(index);
    ParamMan->SetCurrentScope(stack->Count());
    Dest.SetAsBool(true);
}

// UniqueArray(A) and TrimArray(A [, Value]) change only a one-dimensional value; the count after.
void FnUniqueArray(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    TCustomParam& a = *Args[0];
    if (a.DimCount() == 1) a.Unique();
    Dest.SetAsInt(a.Count());
}

void FnTrimArray(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    TCustomParam& a = *Args[0];
    if (a.DimCount() == 1) a.Trim(Args.size() > 1 ? Args[1] : nullptr);
    Dest.SetAsInt(a.Count());
}

constexpr TSysFuncEntry kFuncs[] = {
    {"GetArraySize", FnGetArraySize},   {"SetArray", FnSetArray},         {"FillMem", FnFillMem},
    {"CopyMem", FnCopyMem},             {"ArrayToString", FnArrayToString}, {"StringToArray", FnStringToArray},
    {"IndexOfStr", FnIndexOfStr},       {"SortStr", FnSortStr},           {"VarExists", FnVarExists},
    {"AssignTemp", FnAssignTemp},       {"AddArray", FnAddArray},         {"InsertArray", FnInsertArray},
    {"DeleteArray", FnDeleteArray},     {"CopyArray", FnCopyArray},       {"HanToZen", FnHanToZen},
    {"ZenToHan", FnZenToHan},           {"Min", FnMin},                   {"Max", FnMax},
    {"Fmin", FnFmin},                   {"Fmax", FnFmax},                 {"GetVarType", FnGetVarType},
    {"AddDelimiter", FnAddDelimiter},   {"Calc", FnCalc},                 {"StrToIntDef", FnStrToIntDef},
    {"StrToFloatDef", FnStrToFloatDef}, {"Chr", FnChr},                   {"Ord", FnOrd},
    {"PushVar", FnPushVar},             {"PopVar", FnPopVar},             {"DeleteStack", FnDeleteStack},
    {"UniqueArray", FnUniqueArray},     {"TrimArray", FnTrimArray},
};

}  // namespace

std::span<const TSysFuncEntry> VarSysFuncs() { return kFuncs; }
