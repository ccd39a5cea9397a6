#include "script/params_values.h"

#include "core/sysutils.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <sstream>

namespace {

std::string Saved(const TCustomParam& Value) {
    TMemoryStream stream;
    Value.SaveToStream(stream);
    return std::string(reinterpret_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size()));
}

std::vector<int32_t> Ints(const TCustomParam& Value) {
    std::vector<int32_t> out;
    for (int32_t i = 0; i < Value.Count(); ++i) out.push_back(Value.GetIntAt(i));
    return out;
}

std::vector<std::string> Strs(const TCustomParam& Value) {
    std::vector<std::string> out;
    for (int32_t i = 0; i < Value.Count(); ++i) out.push_back(Value.GetStrAt(i));
    return out;
}

long double FromDoubleHex(const std::string& Hex) {
    const std::string bytes = FromHex(Hex);
    double value;
    std::memcpy(&value, bytes.data(), sizeof value);
    return value;
}

}  // namespace

TEST(ParamValues, NewValuesDimensionsAndScalarWrites) {
    TParamInt v;
    EXPECT_EQ(v.Count(), 1);
    EXPECT_EQ(v.DimCount(), 1);
    EXPECT_EQ(v.Dim(0), 1);
    EXPECT_EQ(v.AsStr(), "0");
    EXPECT_FALSE(v.AsBool());
    EXPECT_EQ(TParamFlag().AsStr(), "FALSE");
    v.SetDims({2, 3});
    EXPECT_EQ(v.Count(), 6);
    EXPECT_EQ(v.DimCount(), 2);
    EXPECT_EQ(Ints(v), std::vector<int32_t>(6, 0));
    v.SetIntAt(0, 4);
    v.SetInt(7);  // a scalar write drops the dimensions and keeps one element
    EXPECT_EQ(Ints(v), std::vector<int32_t>{7});
    EXPECT_EQ(v.DimCount(), 1);

    TParamStr s;
    s.SetDims({2, 2});
    s.SetStrAt(0, "first");
    s.SetDims({});
    EXPECT_EQ(Strs(s), std::vector<std::string>{"first"});

    // SetCount keeps values and dimensions; without dimensions a scalar write keeps the count.
    TParamInt c;
    c.SetDims({3});
    c.FillInt(5);
    c.SetCount(4);
    EXPECT_EQ(Ints(c), (std::vector<int32_t>{5, 5, 5, 0}));
    EXPECT_EQ(c.Dim(0), 3);
    c.ClearDims();
    c.SetCount(2);
    c.SetInt(8);
    EXPECT_EQ(Ints(c), (std::vector<int32_t>{8, 0}));
}

TEST(ParamValues, SizeAndIndexErrorsChangeNothing) {
    TParamInt v;
    v.SetDims({2, 3});
    v.SetIntAt(2, 11);
    EXPECT_EQ(ErrorOf([&] { v.SetDims({3, 0}); }), "配列の要素数[3,0]が不正です");
    EXPECT_EQ(ErrorOf([&] { v.SetDims({-1}); }), "配列の要素数[-1]が不正です");
    // Absurd arrays are refused before anything is allocated.
    EXPECT_EQ(ErrorOf([&] { v.SetDims({65536, 65536}); }), "配列の要素数[65536,65536]が不正です");
    EXPECT_NE(ErrorOf([&] { v.SetDims({2147483647, 2147483647, 2}); }), "");
    EXPECT_NE(ErrorOf([&] { v.SetDims({MaxParamElements + 1}); }), "");
    EXPECT_EQ(ErrorOf([&] { v.SetCount(-1); }), "配列の要素数[-1]が不正です");
    EXPECT_EQ(v.Count(), 6);
    EXPECT_EQ(v.DimCount(), 2);
    EXPECT_EQ(v.GetIntAt(2), 11);

    EXPECT_EQ(ErrorOf([&] { v.GetIntAt(-1); }), "[-1]:配列の添字が不正です");
    EXPECT_EQ(ErrorOf([&] { v.SetIntAt(6, 1); }), "[6]:配列の添字が不正です");
    EXPECT_EQ(ErrorOf([&] { TParamStr().GetBoolAt(1); }), "[1]:配列の添字が不正です");

    // An array emptied to no elements has no element 0 to read or write.
    TParamFloat empty;
    empty.SetCount(0);
    EXPECT_EQ(ErrorOf([&] { empty.AsFloat(); }), "[0]:配列の添字が不正です");
    EXPECT_EQ(ErrorOf([&] { empty.SetFloat(1); }), "[0]:配列の添字が不正です");
}

TEST(ParamValues, ConversionTable) {
    TParamInt i;
    i.SetFloat(-2.7L);
    EXPECT_EQ(i.AsInt(), -2);
    i.SetBool(true);
    EXPECT_EQ(i.AsStr(), "1");

    TParamFloat f;
    f.SetStr("abc");
    EXPECT_EQ(f.AsFloat(), 0.0L);
    f.SetStr("1.5e2");
    EXPECT_EQ(f.AsFloat(), 150.0L);
    f.SetStr("$10");  // not float text
    EXPECT_EQ(f.AsFloat(), 0.0L);

    TParamStr s;
    for (auto [text, scalar, element] : {std::tuple{"TRUE", true, true}, {"FALSE", false, false}, {"2", true, false},
                                         {"true", false, false}, {"$FF", true, false}}) {
        s.SetStr(text);
        EXPECT_EQ(s.AsBool(), scalar) << text;
        EXPECT_EQ(s.GetBoolAt(0), element) << text;
    }
    s.SetStr("1.5");
    EXPECT_EQ(s.AsInt(), 0);
    EXPECT_EQ(s.AsFloat(), 1.5L);
    s.SetBool(false);
    EXPECT_EQ(s.AsStr(), "FALSE");

    TParamFlag b;
    b.SetStr("true");
    EXPECT_FALSE(b.AsBool());
    b.SetStr("TRUE");
    EXPECT_EQ(b.AsStr(), "TRUE");
    EXPECT_EQ(b.AsFloat(), 1.0L);
    b.SetFloat(0.25L);
    EXPECT_TRUE(b.AsBool());
}

TEST(ParamValues, FloatToIntRefusesWhatHasNoIntegerValue) {
    EXPECT_EQ(FloatToInt(-1.9L), -1);
    EXPECT_EQ(FloatToInt(4294967301.5L), 5);  // low 32 bits of the 64-bit truncation
    EXPECT_EQ(FloatToInt(-0x1p63L), 0);
    EXPECT_EQ(FloatToInt(0x1p63L - 1), -1);
    const long double bad[] = {std::numeric_limits<long double>::quiet_NaN(),
                               std::numeric_limits<long double>::infinity(),
                               -std::numeric_limits<long double>::infinity(), 0x1p63L, -0x1p63L - 2, 1e30L};
    for (long double value : bad) EXPECT_THROW(FloatToInt(value), EParamError) << static_cast<double>(value);
    // The error reaches a script write as well, and the variable keeps its value.
    TParamInt i;
    i.SetInt(3);
    EXPECT_THROW(i.SetFloat(std::numeric_limits<long double>::quiet_NaN()), EParamError);
    EXPECT_EQ(i.AsInt(), 3);
    TParamFloat f;
    f.SetFloat(std::numeric_limits<long double>::infinity());
    EXPECT_THROW(f.AsInt(), EParamError);
    EXPECT_EQ(f.AsStr(), "INF");
}

// Doubles through the extended type against Python: the 10 stored bytes (ctypes.c_longdouble),
// the truncation (math.trunc, ctypes.c_int32) and the general format ('%.14e' digits).
TEST(ParamValues, FloatConversionsMatchReference) {
    const std::vector<std::string> lines = Lines(PythonOutput("params_ref.py", {"floats", "400", "7"}));
    ASSERT_EQ(lines.size(), 400u);
    for (const std::string& line : lines) {
        std::istringstream in(line);
        std::string doubleHex, extendedHex, truncated, text;
        in >> doubleHex >> extendedHex >> truncated >> text;
        TParamFloat f;
        f.SetFloat(FromDoubleHex(doubleHex));
        EXPECT_EQ(f.AsStr(), text) << line;
        if (truncated == "ERR")
            EXPECT_THROW(f.AsInt(), EParamError) << line;
        else
            EXPECT_EQ(f.AsInt(), std::stoi(truncated)) << line;
        EXPECT_EQ(ToHex(Saved(f)), "00000000" "01000000" + extendedHex) << line;
    }
    EXPECT_EQ(FloatToStr(1e4000L), "1E4000");
}

// Integer text (blanks, sign, "$" / "x" / "0x" hexadecimal, int32 range) and float text against
// Python's int() and float().
TEST(ParamValues, TextConversionsMatchReference) {
    for (const std::string& line : Lines(PythonOutput("params_ref.py", {"ints", "300", "11"}))) {
        std::istringstream in(line);
        std::string hex, expected;
        in >> hex >> expected;
        const std::string text = hex == "-" ? "" : FromHex(hex);
        int32_t value = 12345;
        EXPECT_EQ(TryStrToInt(text, value), expected != "FAIL") << '"' << text << '"';
        TParamStr s;
        s.SetStr(text);
        EXPECT_EQ(s.AsInt(), expected == "FAIL" ? 0 : std::stoi(expected)) << '"' << text << '"';
    }
    int32_t value = 0;
    EXPECT_FALSE(TryStrToInt(" 5", value, TIntSyntax::Decimal));
    EXPECT_FALSE(TryStrToInt("x5", value, TIntSyntax::Decimal));

    for (const std::string& line : Lines(PythonOutput("params_ref.py", {"texts", "200", "5"}))) {
        std::istringstream in(line);
        std::string text, expected;
        in >> text >> expected;
        TParamFloat f;
        f.SetStr("  " + text + " ");
        EXPECT_EQ(f.AsStr(), expected) << text;
    }
    long double parsed = 7;
    for (const char* bad : {"", ".", "e5", "1e", "inf", "nan", "0x10", "1,5", "--1", "1e99999"})
        EXPECT_FALSE(TryStrToFloat(bad, parsed)) << bad;
    EXPECT_EQ(parsed, 7);
}

TEST(ParamValues, UniqueAndTrim) {
    TParamInt i;
    i.SetDims({5});
    for (int32_t k = 0; int32_t v : {3, 1, 3, 2, 1}) i.SetIntAt(k++, v);
    i.Unique();
    EXPECT_EQ(Ints(i), (std::vector<int32_t>{3, 1, 2}));
    EXPECT_EQ(i.Dim(0), 5);  // the dimension list stays

    TParamFlag b;
    b.SetDims({4});
    for (int32_t k = 0; bool v : {true, false, true, true}) b.SetBoolAt(k++, v);
    TParamInt zero;
    b.Trim(&zero);
    EXPECT_EQ(Strs(b), (std::vector<std::string>{"TRUE", "TRUE", "TRUE"}));
    b.Unique();
    EXPECT_EQ(Strs(b), std::vector<std::string>{"TRUE"});

    TParamStr s;
    s.SetDims({5});
    for (int32_t k = 0; const char* v : {"a", "", "A", "a", ""}) s.SetStrAt(k++, v);
    s.Trim(nullptr);  // without a value: the empty string
    s.Unique();       // case-sensitive
    EXPECT_EQ(Strs(s), (std::vector<std::string>{"a", "A"}));

    TParamFloat f;
    f.SetDims({6});
    const long double nan = std::numeric_limits<long double>::quiet_NaN();
    for (int32_t k = 0; long double v : {1.5L, nan, -0.0L, 0.0L, 1.5L, nan}) f.SetFloatAt(k++, v);
    f.Unique();  // NaN equals nothing, -0 equals 0
    EXPECT_EQ(Strs(f), (std::vector<std::string>{"1.5", "NAN", "0", "NAN"}));
    TParamStr text;
    text.SetStr("1.5");
    f.Trim(&text);
    EXPECT_EQ(Strs(f), (std::vector<std::string>{"NAN", "0", "NAN"}));
}

TEST(ParamValues, IndexOfStr) {
    TParamStr s;
    s.SetDims({3});
    s.SetStrAt(0, "xab");
    s.SetStrAt(1, "AB");
    s.SetStrAt(2, "ｘＡＢ");
    EXPECT_EQ(s.IndexOfStr("AB", false, true), 0);
    EXPECT_EQ(s.IndexOfStr("AB", true, true), 1);
    EXPECT_EQ(s.IndexOfStr("ab", false, false), 1);
    EXPECT_EQ(s.IndexOfStr("ab", true, false), -1);
    EXPECT_EQ(s.IndexOfStr("ｘａｂ", false, false), 2);  // full-width letters have case too
    EXPECT_EQ(s.IndexOfStr("", true, true), -1);

    TParamStr dbcs;
    dbcs.SetStr("\x83\x41");  // a double-byte character whose trail byte is "A"
    EXPECT_EQ(dbcs.IndexOfStr("A", true, true), -1);

    TParamInt i;  // any type, read as strings
    i.SetDims({3});
    i.SetIntAt(2, -12);
    EXPECT_EQ(i.IndexOfStr("1", true, true), 2);
}

TEST(ParamValues, AssignCopyAndConvert) {
    TParamInt source;
    source.SetDims({2, 3});
    for (int32_t k = 0; k < 6; ++k) source.SetIntAt(k, k * 10);

    TParamInt target;
    target.Assign(source);
    EXPECT_EQ(Saved(target), Saved(source));

    TParamStr other;
    other.SetStr("keep");
    EXPECT_EQ(ErrorOf([&] { other.Assign(source); }), "CopyMem:変数の型があいません");
    EXPECT_EQ(other.AsStr(), "keep");

    // A scalar source gives the dimension list [1].
    TParamInt scalar;
    scalar.SetInt(4);
    target.Assign(scalar);
    EXPECT_EQ(target.Count(), 1);
    EXPECT_EQ(Saved(target), FromHex("01000000 01000000 01000000 04000000"));

    TParamFloat copied;
    copied.CopyFrom(source);  // another class: its elements converted
    EXPECT_EQ(copied.GetFloatAt(5), 50.0L);

    TParamStr converted;
    ConvertParam(converted, source);
    EXPECT_EQ(Strs(converted), (std::vector<std::string>{"0", "10", "20", "30", "40", "50"}));
    EXPECT_EQ(converted.Dim(1), 3);
    ConvertParam(converted, scalar);
    EXPECT_EQ(Saved(converted), FromHex("01000000 01000000 01000000 01000000 34"));

    TParamInt longer;  // more elements than its sizes' product
    longer.SetDims({2});
    longer.SetCount(3);
    EXPECT_EQ(ErrorOf([&] { ConvertParam(converted, longer); }), "[2]:配列の添字が不正です");

    TParamFlag flags;
    flags.FillBool(true);
    flags.FillInt(0);  // only the fill of the own type acts
    EXPECT_TRUE(flags.AsBool());
}

TEST(ParamValues, StreamForms) {
    TParamInt five;
    five.SetInt(5);
    EXPECT_EQ(ToHex(Saved(five)), "000000000100000005000000");

    TParamStr s;
    s.SetDims({2});
    s.SetStrAt(0, "ab");
    EXPECT_EQ(Saved(s), FromHex("01000000 02000000 02000000 02000000 6162 00000000"));
    TParamStr back;
    TMemoryStream stream = StreamOf(Saved(s));
    back.LoadFromStream(stream);
    EXPECT_EQ(Saved(back), Saved(s));

    // Short and absurd input raises EReadError and leaves the value as it was.
    const std::string good = Saved(s);
    for (size_t cut = 0; cut < good.size(); ++cut) {
        TMemoryStream shortStream = StreamOf(good.substr(0, cut));
        TParamStr v;
        v.SetStr("old");
        EXPECT_THROW(v.LoadFromStream(shortStream), EReadError) << cut;
        EXPECT_EQ(v.AsStr(), "old");
        EXPECT_EQ(v.DimCount(), 1);
    }
    for (const char* bad : {"FFFFFFFF 00000000", "FFFFFF7F", "00000000 FFFFFFFF", "00000000 FFFFFF7F 00000000",
                            "00000000 02000000 01000000"}) {
        TMemoryStream badStream = StreamOf(FromHex(bad));
        TParamInt v;
        EXPECT_THROW(v.LoadFromStream(badStream), EReadError) << bad;
        EXPECT_EQ(v.Count(), 1);
    }
}
