#include "script/params_values.h"

#include "core/jstrm.h"
#include "core/sysutils.h"

#include <algorithm>
#include <cmath>
#include <type_traits>
#include <typeinfo>
#include <utility>

// ---- Shared conversions ----

std::string BoolToStr(bool Value) { return Value ? "TRUE" : "FALSE"; }

int32_t FloatToInt(long double Value) {
    const long double whole = std::trunc(Value);
    if (!(whole >= -0x1p63L && whole < 0x1p63L)) throw EParamError("Invalid floating point operation");
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(whole))));
}

bool StrToBool(const std::string& S) {
    if (S == "TRUE") return true;
    if (S == "FALSE") return false;
    return StrToIntDef(S, 0) != 0;
}

std::string IntListToStr(const std::vector<int32_t>& Values) {
    std::string list;
    for (size_t i = 0; i < Values.size(); ++i) list += (i ? "," : "") + IntToStr(Values[i]);
    return list;
}

// ---- TCustomParam ----

void TCustomParam::RaiseSizeError(const std::vector<int32_t>& Sizes) {
    throw EParamError(Format("配列の要素数[%s]が不正です", IntListToStr(Sizes).c_str()));
}

void TCustomParam::RaiseIndexError(int32_t I) { throw EParamError(Format("[%d]:配列の添字が不正です", I)); }

int32_t TCustomParam::DimCount() const { return dims_.empty() ? 1 : static_cast<int32_t>(dims_.size()); }

int32_t TCustomParam::Dim(int32_t I) const {
    return I >= 0 && static_cast<size_t>(I) < dims_.size() ? dims_[static_cast<size_t>(I)] : 1;
}

void TCustomParam::CopyFrom(const TCustomParam& Source) {
    if (&Source != this) dims_ = Source.dims_;
}

void TCustomParam::SetDims(const std::vector<int32_t>& Sizes) {
    int64_t product = 1;
    for (int32_t size : Sizes)
        if (size < 1 || (product *= size) > MaxParamElements) RaiseSizeError(Sizes);
    dims_ = Sizes;
    SetCount(static_cast<int32_t>(product));
}

void TCustomParam::Assign(const TCustomParam& Source) {
    std::vector<int32_t> dims;
    for (int32_t i = 0; i < Source.DimCount(); ++i) dims.push_back(Source.Dim(i));
    SetCount(Source.Count());
    dims_ = std::move(dims);
}

void TCustomParam::SaveToStream(TStream& Stream) const {
    WriteStreamInt(Stream, static_cast<int32_t>(dims_.size()));
    for (int32_t size : dims_) WriteStreamInt(Stream, size);
}

std::vector<int32_t> TCustomParam::ReadDims(TStream& Stream) {
    const int32_t count = ReadStreamCount(Stream, 4);
    std::vector<int32_t> dims(static_cast<size_t>(count));
    for (int32_t& size : dims) size = ReadStreamInt(Stream);
    return dims;
}

void TCustomParam::LoadFromStream(TStream& Stream) { dims_ = ReadDims(Stream); }

int32_t TCustomParam::IndexOfStr(const std::string& Value, bool CaseSensitive, bool Partial) const {
    const std::string wanted = Partial && !CaseSensitive ? AnsiLowerCase(Value) : Value;
    for (int32_t i = 0; i < Count(); ++i) {
        const std::string element = GetStrAt(i);
        const bool match = Partial          ? JStrPos(wanted, CaseSensitive ? element : AnsiLowerCase(element)) > 0
                           : CaseSensitive ? element == Value
                                           : AnsiSameText(element, Value);
        if (match) return i;
    }
    return -1;
}

// ---- Forwarding ----

namespace {
int forwardDepth = 0;  // forwarding steps now running (main thread only)
}  // namespace

TForwardStep::TForwardStep() {
    if (forwardDepth >= MaxForwardDepth) throw EParamError("変数の参照が循環しています");
    ++forwardDepth;
}

TForwardStep::~TForwardStep() { --forwardDepth; }

// ---- The plain values ----

namespace {

// How each element kind converts, is read from other values and is stored. To* read an
// element (ToBool as a scalar, ElementToBool as an element), From* convert a written value,
// Get reads element I of any value in this kind's type and Scalar any value's scalar.
template <class Kind>
struct TRules;

template <>
struct TRules<TIntKind> {
    static int32_t ToInt(int32_t V) { return V; }
    static long double ToFloat(int32_t V) { return V; }
    static bool ToBool(int32_t V) { return V != 0; }
    static bool ElementToBool(int32_t V) { return V != 0; }
    static std::string ToStr(int32_t V) { return IntToStr(V); }
    static int32_t FromInt(int32_t V) { return V; }
    static int32_t FromFloat(long double V) { return FloatToInt(V); }
    static int32_t FromBool(bool V) { return V ? 1 : 0; }
    static int32_t FromStr(const std::string& S) { return StrToIntDef(S, 0); }
    static int32_t Get(const TCustomParam& P, int32_t I) { return P.GetIntAt(I); }
    static int32_t Scalar(const TCustomParam& P) { return P.AsInt(); }
    static void Write(TStream& Stream, int32_t V) { WriteStreamInt(Stream, V); }
    static int32_t Read(TStream& Stream) { return ReadStreamInt(Stream); }
    static constexpr int64_t MinBytes = 4;
};

template <>
struct TRules<TFloatKind> {
    static int32_t ToInt(long double V) { return FloatToInt(V); }
    static long double ToFloat(long double V) { return V; }
    static bool ToBool(long double V) { return V != 0; }
    static bool ElementToBool(long double V) { return V != 0; }
    static std::string ToStr(long double V) { return FloatToStr(V); }
    static long double FromInt(int32_t V) { return V; }
    static long double FromFloat(long double V) { return V; }
    static long double FromBool(bool V) { return V ? 1 : 0; }
    static long double FromStr(const std::string& S) {
        long double value = 0;
        TryStrToFloat(S, value);
        return value;
    }
    static long double Get(const TCustomParam& P, int32_t I) { return P.GetFloatAt(I); }
    static long double Scalar(const TCustomParam& P) { return P.AsFloat(); }
    static void Write(TStream& Stream, long double V) { WriteStreamExtended(Stream, V); }
    static long double Read(TStream& Stream) { return ReadStreamExtended(Stream); }
    static constexpr int64_t MinBytes = 10;
};

template <>
struct TRules<TFlagKind> {
    static int32_t ToInt(uint8_t V) { return V; }
    static long double ToFloat(uint8_t V) { return V; }
    static bool ToBool(uint8_t V) { return V != 0; }
    static bool ElementToBool(uint8_t V) { return V != 0; }
    static std::string ToStr(uint8_t V) { return BoolToStr(V != 0); }
    static uint8_t FromInt(int32_t V) { return V != 0; }
    static uint8_t FromFloat(long double V) { return V != 0; }
    static uint8_t FromBool(bool V) { return V; }
    static uint8_t FromStr(const std::string& S) { return S == "TRUE"; }
    static uint8_t Get(const TCustomParam& P, int32_t I) { return P.GetBoolAt(I); }
    static uint8_t Scalar(const TCustomParam& P) { return P.AsBool(); }
    static void Write(TStream& Stream, uint8_t V) { WriteStreamByte(Stream, V); }
    static uint8_t Read(TStream& Stream) { return ReadStreamByte(Stream) != 0; }
    static constexpr int64_t MinBytes = 1;
};

template <>
struct TRules<TStrKind> {
    static int32_t ToInt(const std::string& V) { return StrToIntDef(V, 0); }
    static long double ToFloat(const std::string& V) { return TRules<TFloatKind>::FromStr(V); }
    static bool ToBool(const std::string& V) { return StrToBool(V); }
    static bool ElementToBool(const std::string& V) { return V == "TRUE"; }
    static std::string ToStr(const std::string& V) { return V; }
    static std::string FromInt(int32_t V) { return IntToStr(V); }
    static std::string FromFloat(long double V) { return FloatToStr(V); }
    static std::string FromBool(bool V) { return BoolToStr(V); }
    static std::string FromStr(const std::string& S) { return S; }
    static std::string Get(const TCustomParam& P, int32_t I) { return P.GetStrAt(I); }
    static std::string Scalar(const TCustomParam& P) { return P.AsStr(); }
    static void Write(TStream& Stream, const std::string& V) { WriteStreamString(Stream, V); }
    static std::string Read(TStream& Stream) { return ReadStreamString(Stream); }
    static constexpr int64_t MinBytes = 4;
};

}  // namespace



template <class Kind>
const typename TParamArray<Kind>::Element& TParamArray<Kind>::At(int32_t I) const {
    if (I < 0 || I >= Count()) RaiseIndexError(I);
    return values_[static_cast<size_t>(I)];
}

template <class Kind>
typename TParamArray<Kind>::Element& TParamArray<Kind>::At(int32_t I) {
    return const_cast<Element&>(std::as_const(*this).At(I));
}

template <class Kind>
void TParamArray<Kind>::SetCount(int32_t N) {
    if (N < 0 || N > MaxParamElements) RaiseSizeError({N});
    values_.resize(static_cast<size_t>(N));
    FitCapacity();
}


template <class Kind>
bool TParamArray<Kind>::AsBool() const {
    return TRules<Kind>::ToBool(At(0));
}
template <class Kind>
long double TParamArray<Kind>::AsFloat() const {
    return TRules<Kind>::ToFloat(At(0));
}
template <class Kind>
int32_t TParamArray<Kind>::AsInt() const {
    return TRules<Kind>::ToInt(At(0));
}
template <class Kind>
std::string TParamArray<Kind>::AsStr() const {
    return TRules<Kind>::ToStr(At(0));
}

template <class Kind>
void TParamArray<Kind>::SetScalar(Element Value) {
    ClearDims();
    At(0) = std::move(Value);
}
template <class Kind>
void TParamArray<Kind>::SetBool(bool Value) {
    SetScalar(TRules<Kind>::FromBool(Value));
}
template <class Kind>
void TParamArray<Kind>::SetFloat(long double Value) {
    SetScalar(TRules<Kind>::FromFloat(Value));
}
template <class Kind>
void TParamArray<Kind>::SetInt(int32_t Value) {
    SetScalar(TRules<Kind>::FromInt(Value));
}
template <class Kind>
void TParamArray<Kind>::SetStr(const std::string& Value) {
    SetScalar(TRules<Kind>::FromStr(Value));
}

template <class Kind>
int32_t TParamArray<Kind>::GetIntAt(int32_t I) const {
    return TRules<Kind>::ToInt(At(I));
}
template <class Kind>
void TParamArray<Kind>::SetIntAt(int32_t I, int32_t Value) {
    At(I) = TRules<Kind>::FromInt(Value);
}
template <class Kind>
long double TParamArray<Kind>::GetFloatAt(int32_t I) const {
    return TRules<Kind>::ToFloat(At(I));
}
template <class Kind>
void TParamArray<Kind>::SetFloatAt(int32_t I, long double Value) {
    At(I) = TRules<Kind>::FromFloat(Value);
}
template <class Kind>
bool TParamArray<Kind>::GetBoolAt(int32_t I) const {
    return TRules<Kind>::ElementToBool(At(I));
}
template <class Kind>
void TParamArray<Kind>::SetBoolAt(int32_t I, bool Value) {
    At(I) = TRules<Kind>::FromBool(Value);
}
template <class Kind>
std::string TParamArray<Kind>::GetStrAt(int32_t I) const {
    return TRules<Kind>::ToStr(At(I));
}
template <class Kind>
void TParamArray<Kind>::SetStrAt(int32_t I, const std::string& Value) {
    At(I) = TRules<Kind>::FromStr(Value);
}

template <class Kind>
void TParamArray<Kind>::CopyFrom(const TCustomParam& Source) {
    // A value of this very class (the four value classes are final) gives its elements as
    // they are; comparing type ids costs far less than a cast at every expression result.
    if (typeid(Source) == typeid(*this)) {
        if (&Source == this) return;
        CopyElements(static_cast<const TParamArray&>(Source));
        TCustomParam::CopyFrom(Source);
        return;
    }
    const auto count = static_cast<size_t>(std::max(Source.Count(), 0));
    std::vector<Element> values;
    values.reserve(count);
    for (size_t i = 0; i < count; ++i) values.push_back(TRules<Kind>::Get(Source, static_cast<int32_t>(i)));
    TCustomParam::CopyFrom(Source);
    values_ = std::move(values);
}


template <class Kind>
void TParamArray<Kind>::Fill(const Element& Value) {
    std::fill(values_.begin(), values_.end(), Value);
}
template <class Kind>
void TParamArray<Kind>::FillInt(int32_t Value) {
    if constexpr (std::is_same_v<Kind, TIntKind>) Fill(Value);
}
template <class Kind>
void TParamArray<Kind>::FillFloat(long double Value) {
    if constexpr (std::is_same_v<Kind, TFloatKind>) Fill(Value);
}
template <class Kind>
void TParamArray<Kind>::FillBool(bool Value) {
    if constexpr (std::is_same_v<Kind, TFlagKind>) Fill(Value);
}
template <class Kind>
void TParamArray<Kind>::FillStr(const std::string& Value) {
    if constexpr (std::is_same_v<Kind, TStrKind>) Fill(Value);
}

template <class Kind>
void TParamArray<Kind>::Assign(const TCustomParam& Source) {
    const auto* same = dynamic_cast<const TParamArray*>(&Source);
    if (!same) throw EParamError("CopyMem:変数の型があいません");
    if (same == this) return;
    CopyElements(*same);
    TCustomParam::Assign(Source);
}

template <class Kind>
void TParamArray<Kind>::SaveToStream(TStream& Stream) const {
    TCustomParam::SaveToStream(Stream);
    WriteStreamInt(Stream, Count());
    for (const Element& value : values_) TRules<Kind>::Write(Stream, value);
}

template <class Kind>
void TParamArray<Kind>::LoadFromStream(TStream& Stream) {
    std::vector<int32_t> dims = ReadDims(Stream);
    const int32_t count = ReadStreamCount(Stream, TRules<Kind>::MinBytes);
    if (count > MaxParamElements) throw EReadError();
    std::vector<Element> values;
    values.reserve(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) values.push_back(TRules<Kind>::Read(Stream));
    dims_ = std::move(dims);
    values_ = std::move(values);
}

template <class Kind>
void TParamArray<Kind>::ClearDims() {
    if (dims_.empty()) return;
    dims_.clear();
    SetCount(1);
}

template <class Kind>
void TParamArray<Kind>::Unique() {
    // The indices sorted by element, equal ones in index order: each after the first of its run
    // goes. NaN equals nothing, not even itself: every one stays.
    const size_t count = values_.size();
    std::vector<int32_t> order;
    order.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        bool unordered = false;
        if constexpr (std::is_floating_point_v<Element>) unordered = std::isnan(values_[i]);
        if (!unordered) order.push_back(static_cast<int32_t>(i));
    }
    std::stable_sort(order.begin(), order.end(), [this](int32_t A, int32_t B) { return values_[size_t(A)] < values_[size_t(B)]; });
    std::vector<uint8_t> dropped(count);
    for (size_t k = 1; k < order.size(); ++k)
        dropped[size_t(order[k])] = !(values_[size_t(order[k - 1])] < values_[size_t(order[k])]);
    size_t kept = 0;
    for (size_t i = 0; i < count; ++i) {
        if (dropped[i]) continue;
        if (kept != i) values_[kept] = std::move(values_[i]);
        ++kept;
    }
    values_.resize(kept);
    FitCapacity();
}

template <class Kind>
void TParamArray<Kind>::Trim(const TCustomParam* Value) {
    const Element dropped = Value ? TRules<Kind>::Scalar(*Value) : Element{};
    std::erase(values_, dropped);
    FitCapacity();
}

template class TParamArray<TIntKind>;
template class TParamArray<TFloatKind>;
template class TParamArray<TFlagKind>;
template class TParamArray<TStrKind>;

// ---- ConvertParam ----

void ConvertParam(TCustomParam& Dest, const TCustomParam& Source) {
    std::vector<int32_t> sizes;
    for (int32_t i = 0; i < Source.DimCount(); ++i) sizes.push_back(Source.Dim(i));
    Dest.SetDims(sizes);
    const int32_t count = Source.Count();
    switch (Dest.ParamType()) {
        case PT_INT:
            for (int32_t i = 0; i < count; ++i) Dest.SetIntAt(i, Source.GetIntAt(i));
            break;
        case PT_FLOAT:
            for (int32_t i = 0; i < count; ++i) Dest.SetFloatAt(i, Source.GetFloatAt(i));
            break;
        case PT_BOOL:
            for (int32_t i = 0; i < count; ++i) Dest.SetBoolAt(i, Source.GetBoolAt(i));
            break;
        case PT_STR:
            for (int32_t i = 0; i < count; ++i) Dest.SetStrAt(i, Source.GetStrAt(i));
            break;
        case PT_NONE:
            break;
    }
}
