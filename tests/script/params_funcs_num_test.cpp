// The number functions against Python: math for the reals, exact 80-bit values where the
// extended precision shows, and the shared random generator.
#include "core/rands.h"
#include "tests/common/fixture.h"
#include "tests/script/params_funcs_fixture.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <ctime>
#include <sstream>

namespace {

using NumFuncs = FuncsTest;

TEST_F(NumFuncs, IntegersWrapAndNeverTrap) {
    EXPECT_TRUE(Call("Not", {I(0)}).GetAsBool());
    EXPECT_FALSE(Call("Not", {I(2)}).GetAsBool());
    EXPECT_EQ(Call("Abs", {I(INT_MIN)}).GetAsInt(), INT_MIN);
    EXPECT_EQ(Call("Abs", {I(-5)}).GetAsInt(), 5);
    EXPECT_EQ(Call("Int", {F(2.9)}).GetAsInt(), 2);
    EXPECT_EQ(Call("Int", {F(-2.9)}).GetAsInt(), -2);
    EXPECT_EQ(Call("Int", {F(4294967301.25)}).GetAsInt(), 5);  // the low 32 bits
    EXPECT_NE(ErrorOf("Int", {F(0x1p63L)}), "");
    EXPECT_NE(ErrorOf("Int", {F(NAN)}), "");
}

TEST_F(NumFuncs, RealFunctionsAgreeWithPython) {
    for (const std::string& line : Lines(PythonOutput("funcs_ref.py", {"reals"}))) {
        std::istringstream in(line);
        std::string name, field, next;
        in >> name >> field;
        std::vector<TCustomParam*> args;
        for (; in >> next; field = next) args.push_back(F(std::strtod(field.c_str(), nullptr)));
        const double want = std::strtod(field.c_str(), nullptr);
        EXPECT_NEAR(static_cast<double>(Call(name.c_str(), args).GetAsFloat()), want, std::fabs(want) * 4e-16) << line;
    }
    // Beyond the unit's argument reduction sine and cosine give 0; a non-number stays one.
    EXPECT_EQ(Call("Sin", {F(0x1p63L)}).GetAsFloat(), 0);
    EXPECT_EQ(Call("Cos", {F(-1e300L)}).GetAsFloat(), 0);
    EXPECT_TRUE(std::isnan(Call("Sin", {F(INFINITY)}).GetAsFloat()));
    EXPECT_TRUE(std::isnan(Call("ArcSin", {I(2)}).GetAsFloat()));
}

TEST_F(NumFuncs, RealsKeepTheirExtendedPrecision) {
    const std::vector<std::string> want = Lines(PythonOutput("funcs_ref.py", {"ext", "0.1", "5e4000"}));
    ASSERT_EQ(want.size(), 2u);
    long double tenth = 0, big = 0;
    std::memcpy(&tenth, FromHex(want[0]).data(), 10);
    std::memcpy(&big, FromHex(want[1]).data(), 10);
    EXPECT_EQ(Call("Float", {S("0.1")}).GetAsFloat(), tenth);
    EXPECT_EQ(Call("Fabs", {S("-0.1")}).GetAsFloat(), tenth);
    // The squares of these overflow even an extended; the factored form does not.
    EXPECT_NEAR(static_cast<double>(Call("Hypot", {S("3e4000"), S("-4e4000")}).GetAsFloat() / big), 1.0, 1e-18);
}

TEST_F(NumFuncs, RandomDrawsFromTheSharedSeed) {
    const std::vector<int32_t> ranges{1, 100, -1, 0, INT_MAX, INT_MIN, 6, 1};
    for (uint32_t seed : {0u, 12345u, 0xFFFFFFFFu}) {
        std::vector<std::string> args{"random", std::to_string(seed)};
        for (int32_t r : ranges) args.push_back(std::to_string(r));
        std::istringstream want(PythonOutput("funcs_ref.py", args));
        RandSeed = seed;
        for (int32_t r : ranges) {
            int32_t expected = 0;
            want >> expected;
            EXPECT_EQ(Call("Random", {I(r)}).GetAsInt(), expected) << "seed " << seed << " range " << r;
        }
    }
    // Seeded from the time of day in UTC, in milliseconds.
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    Randomize();
    const int64_t dayMs = now.tv_sec % 86400 * 1000 + now.tv_nsec / 1000000;
    EXPECT_LT((static_cast<int64_t>(RandSeed) - dayMs + 86400000) % 86400000, 2000);
}

}  // namespace
