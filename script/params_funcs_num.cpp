// The number functions: integers are 32-bit and wrap, reals are 80-bit extended. No domain
// checks: an argument outside a function's domain gives what the arithmetic gives (a
// non-number or an infinity).
#include "core/rands.h"
#include "script/params_funcs_families.h"

#include <cmath>
#include <utility>

namespace {

void FnNot(TParamCollectionItem& Dest, TSysFuncArgs Args) { Dest.SetAsBool(!Args[0]->AsBool()); }

void FnRandom(TParamCollectionItem& Dest, TSysFuncArgs Args) { Dest.SetAsInt(Random(Args[0]->AsInt())); }

void FnInt(TParamCollectionItem& Dest, TSysFuncArgs Args) { Dest.SetAsInt(FloatToInt(Args[0]->AsFloat())); }

// Abs(N) in 32-bit arithmetic: the smallest integer is its own absolute value.
void FnAbs(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    const int32_t n = Args[0]->AsInt();
    Dest.SetAsInt(n < 0 ? static_cast<int32_t>(0u - static_cast<uint32_t>(n)) : n);
}

// A finite argument the floating-point unit's sine and cosine cannot reduce gives 0.
bool BeyondReduction(long double X) { return std::isfinite(X) && std::fabs(X) >= 0x1p63L; }

long double Same(long double X) { return X; }
long double Sine(long double X) { return BeyondReduction(X) ? 0 : std::sin(X); }
long double Cosine(long double X) { return BeyondReduction(X) ? 0 : std::cos(X); }
long double Tangent(long double X) { return std::tan(X); }
long double ArcSine(long double X) { return std::atan2(X, std::sqrt(1 - X * X)); }
long double ArcCosine(long double X) { return std::atan2(std::sqrt(1 - X * X), X); }
long double ArcTangent(long double X) { return std::atan(X); }
long double Magnitude(long double X) { return std::fabs(X); }

// Hypot with the larger magnitude factored out, so that the squares do not overflow.
long double Hypotenuse(long double X, long double Y) {
    X = std::fabs(X);
    Y = std::fabs(Y);
    if (X > Y) std::swap(X, Y);
    if (X == 0) return Y;
    const long double ratio = X / Y;
    return Y * std::sqrt(1 + ratio * ratio);
}

long double ArcTangent2(long double Y, long double X) { return std::atan2(Y, X); }

template <long double (*F)(long double)>
void FnReal(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    Dest.SetAsFloat(F(Args[0]->AsFloat()));
}

template <long double (*F)(long double, long double)>
void FnReal2(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    Dest.SetAsFloat(F(Args[0]->AsFloat(), Args[1]->AsFloat()));
}

constexpr TSysFuncEntry kFuncs[] = {
    {"Not", FnNot},
    {"Random", FnRandom},
    {"Int", FnInt},
    {"Float", FnReal<Same>},
    {"Sin", FnReal<Sine>},
    {"Cos", FnReal<Cosine>},
    {"Tan", FnReal<Tangent>},
    {"ArcSin", FnReal<ArcSine>},
    {"ArcCos", FnReal<ArcCosine>},
    {"ArcTan", FnReal<ArcTangent>},
    {"ArcTan2", FnReal2<ArcTangent2>},
    {"Hypot", FnReal2<Hypotenuse>},
    {"Abs", FnAbs},
    {"Fabs", FnReal<Magnitude>},
};

}  // namespace

std::span<const TSysFuncEntry> NumSysFuncs() { return kFuncs; }
