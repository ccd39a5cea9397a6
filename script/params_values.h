#pragma once
// Script values. A value is always an array: a dimension list and a flat row-major list of
// elements of one type (int32, 80-bit extended float, flag or string); a scalar has no
// dimensions and one element. Any value reads and writes as any of the four element types
// through fixed conversions.
#include "core/header.h"
#include "core/membudget.h"

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

// An error raised by the script engine's values and variables.
class EParamError : public EVelaError {
public:
    using EVelaError::EVelaError;
};

// The most elements one value may hold; a larger array is refused with the size error.
inline constexpr int32_t MaxParamElements = 16 * 1024 * 1024;

// ---- The conversions every value shares ----

// "TRUE" or "FALSE".
std::string BoolToStr(bool Value);
// Truncated toward zero; the low 32 bits of the 64-bit truncated integer. EParamError for NaN,
// an infinity or a value whose truncation lies outside the 64-bit range.
int32_t FloatToInt(long double Value);
// A string read as a scalar flag: "TRUE" true, "FALSE" false, other text its integer value <> 0.
bool StrToBool(const std::string& S);
// Sizes or subscripts in decimal joined by "," ("3,0"), as the error messages show them.
std::string IntListToStr(const std::vector<int32_t>& Values);

// The base of every value. Its own behaviours are those of a value with nothing to hold: reads
// give 0, 0.0, false or "", writes do nothing, Count is 1.
class TCustomParam {
public:
    TCustomParam() = default;
    TCustomParam(const TCustomParam&) = delete;
    TCustomParam& operator=(const TCustomParam&) = delete;
    virtual ~TCustomParam() = default;

    virtual int32_t Count() const { return 1; }
    // A plain value's element array gets N elements: existing ones keep their values, new ones
    // are empty; the dimension list stays. The size error for N below 0 or above
    // MaxParamElements.
    virtual void SetCount(int32_t) {}
    // The type code: PT_INT..PT_STR, or PT_NONE for a reference.
    virtual TParamType ParamType() const { return PT_INT; }

    // Scalar reads take element 0; scalar writes first drop the dimension list (ClearDims).
    virtual bool AsBool() const { return false; }
    virtual long double AsFloat() const { return 0; }
    virtual int32_t AsInt() const { return 0; }
    virtual std::string AsStr() const { return {}; }
    virtual void SetBool(bool) {}
    virtual void SetFloat(long double) {}
    virtual void SetInt(int32_t) {}
    virtual void SetStr(const std::string&) {}

    // Element access by flat index I, 0 <= I < Count; otherwise EParamError
    // "[I]:配列の添字が不正です" and nothing changes.
    virtual int32_t GetIntAt(int32_t) const { return 0; }
    virtual void SetIntAt(int32_t, int32_t) {}
    virtual long double GetFloatAt(int32_t) const { return 0; }
    virtual void SetFloatAt(int32_t, long double) {}
    virtual bool GetBoolAt(int32_t) const { return false; }
    virtual void SetBoolAt(int32_t, bool) {}
    virtual std::string GetStrAt(int32_t) const { return {}; }
    virtual void SetStrAt(int32_t, const std::string&) {}

    // The length of the dimension list, 1 when it is empty.
    virtual int32_t DimCount() const;
    // Size I of the dimension list, 1 when I lies outside it.
    virtual int32_t Dim(int32_t I) const;
    // Copies the dimension list of Source.
    virtual void CopyFrom(const TCustomParam& Source);
    // The dimension list becomes Sizes and the count their product (1 for an empty list). A
    // size below 1, or a product above MaxParamElements, raises EParamError
    // "配列の要素数[3,0]が不正です" (the sizes joined by ",") and changes nothing.
    virtual void SetDims(const std::vector<int32_t>& Sizes);

    // Each stores V into every element; only the value of that element type does anything.
    virtual void FillInt(int32_t) {}
    virtual void FillFloat(long double) {}
    virtual void FillBool(bool) {}
    virtual void FillStr(const std::string&) {}

    // Takes the count and the dimension list of Source (DimCount entries, each Dim(i)).
    virtual void Assign(const TCustomParam& Source);
    // The dimension list: int32 count, then each size.
    virtual void SaveToStream(TStream& Stream) const;
    // Replaces the dimension list by the stored one; EReadError on a count the stream cannot
    // hold, the value then unchanged.
    virtual void LoadFromStream(TStream& Stream);
    // Drops the dimension list and cuts the elements to one, keeping element 0; nothing
    // without a dimension list.
    virtual void ClearDims() {}
    // Keeps the first occurrence of each distinct element, in order.
    virtual void Unique() {}
    // Drops every element equal to Value's scalar read in the element type (without a Value:
    // 0, 0.0, false or "").
    virtual void Trim(const TCustomParam*) {}
    // The first index whose element, read as a string, matches Value; -1 when none does.
    // Partial: Value occurs in the element (double-byte aware). CaseSensitive false: compared
    // under the Japanese-locale case rules.
    virtual int32_t IndexOfStr(const std::string& Value, bool CaseSensitive, bool Partial) const;

protected:
    // The size error for the given sizes.
    [[noreturn]] static void RaiseSizeError(const std::vector<int32_t>& Sizes);
    // The index error for index I.
    [[noreturn]] static void RaiseIndexError(int32_t I);
    // A stored dimension list (the base part of the stream form); EReadError on a count the
    // stream cannot hold.
    static std::vector<int32_t> ReadDims(TStream& Stream);

    std::vector<int32_t> dims_;  // empty for a scalar
};

// A value that stands for another (a reference for its variable, a system variable for the
// variable it names) passes each operation on. Such chains are short; a chain that comes back
// to where it began would never end, so each step is counted while it runs and one deeper than
// MaxForwardDepth raises EParamError.
inline constexpr int MaxForwardDepth = 64;
class TForwardStep {
public:
    TForwardStep();
    ~TForwardStep();
    TForwardStep(const TForwardStep&) = delete;
    TForwardStep& operator=(const TForwardStep&) = delete;
};

// Op(*Target) as one forwarding step; None when there is no Target.
template <class R, class Op>
R ForwardTo(TCustomParam* Target, R None, Op op) {
    if (!Target) return None;
    TForwardStep step;
    return op(*Target);
}
template <class Op>
void ForwardTo(TCustomParam* Target, Op op) {
    if (!Target) return;
    TForwardStep step;
    op(*Target);
}

// ---- The four plain values ----

// The element kinds. A flag is stored as one byte, 0 or 1.
struct TIntKind {
    using Element = int32_t;
    static constexpr TParamType Type = PT_INT;
};
struct TFloatKind {
    using Element = long double;
    static constexpr TParamType Type = PT_FLOAT;
};
struct TFlagKind {
    using Element = uint8_t;
    static constexpr TParamType Type = PT_BOOL;
};
struct TStrKind {
    using Element = std::string;
    static constexpr TParamType Type = PT_STR;
};

// A plain value: the dimension list and the element array of one kind. New, it is a scalar of
// one empty element (0, 0.0, false or "").
//
// Stream form after the dimension list: int32 element count N, then N elements: int32; the
// 10 bytes of an extended; one byte 0 or 1; or a string (int32 length and its bytes).
template <class Kind>
class TParamArray : public TCustomParam {
public:
    using Element = typename Kind::Element;

    TParamArray() : values_(1) {}

    int32_t Count() const override { return static_cast<int32_t>(values_.size()); }
    void SetCount(int32_t N) override;
    TParamType ParamType() const override { return Kind::Type; }

    bool AsBool() const override;
    long double AsFloat() const override;
    int32_t AsInt() const override;
    std::string AsStr() const override;
    void SetBool(bool Value) override;
    void SetFloat(long double Value) override;
    void SetInt(int32_t Value) override;
    void SetStr(const std::string& Value) override;

    int32_t GetIntAt(int32_t I) const override;
    void SetIntAt(int32_t I, int32_t Value) override;
    long double GetFloatAt(int32_t I) const override;
    void SetFloatAt(int32_t I, long double Value) override;
    // A string element reads as true only when it is "TRUE".
    bool GetBoolAt(int32_t I) const override;
    void SetBoolAt(int32_t I, bool Value) override;
    std::string GetStrAt(int32_t I) const override;
    void SetStrAt(int32_t I, const std::string& Value) override;

    // The dimension list and a copy of the elements of Source; a Source of another class gives
    // its elements converted.
    void CopyFrom(const TCustomParam& Source) override;
    void FillInt(int32_t Value) override;
    void FillFloat(long double Value) override;
    void FillBool(bool Value) override;
    void FillStr(const std::string& Value) override;
    // Source must be of the same class: else EParamError "CopyMem:変数の型があいません" and
    // nothing changes.
    void Assign(const TCustomParam& Source) override;
    void SaveToStream(TStream& Stream) const override;
    // EReadError on a count or length the stream cannot hold (or above MaxParamElements); the
    // value is then unchanged.
    void LoadFromStream(TStream& Stream) override;
    void ClearDims() override;
    void Unique() override;
    void Trim(const TCustomParam* Value) override;

    // The one element of a plain scalar of numbers or flags (no dimension list, one element),
    // else nullptr: a fast reader checks this at every access, since dimensions change without
    // notice.
    Element* ScalarElement()
        requires(!std::is_same_v<Element, std::string>)
    {
        return IsPlainScalar() ? values_.data() : nullptr;
    }
    // A plain scalar's element becomes empty (true); any other value is left as it is (false).
    bool ResetScalar() {
        if (!IsPlainScalar()) return false;
        values_[0] = Element();
        return true;
    }

private:
    bool IsPlainScalar() const { return dims_.empty() && values_.size() == 1; }
    // The element array gives back what it no longer needs once it holds far fewer elements
    // than it has room for.
    void FitCapacity() {
        if (values_.capacity() > 2 * values_.size() + 16) values_.shrink_to_fit();
    }
    // Scalar write: the converted value, then the dimension list dropped, then element 0.
    void SetScalar(Element Value);
    void Fill(const Element& Value);
    // The elements of Source, a value of this class.
    void CopyElements(const TParamArray& Source) { values_ = Source.values_; }
    const Element& At(int32_t I) const;
    Element& At(int32_t I);

    std::vector<Element> values_;
};

extern template class TParamArray<TIntKind>;
extern template class TParamArray<TFloatKind>;
extern template class TParamArray<TFlagKind>;
extern template class TParamArray<TStrKind>;

class TParamInt final : public TParamArray<TIntKind> {};
class TParamFloat final : public TParamArray<TFloatKind> {};
class TParamFlag final : public TParamArray<TFlagKind> {};
class TParamStr final : public TParamArray<TStrKind> {};

// Element-wise converting copy: Dest takes Source's dimension list (DimCount entries, each
// Dim(i): a scalar gives [1]), then element I of Source converted to Dest's type, for each I
// below Source.Count. A Source with more elements than its sizes' product makes the copy stop
// with the index error. Nothing is copied into a value of type PT_NONE.
void ConvertParam(TCustomParam& Dest, const TCustomParam& Source);
