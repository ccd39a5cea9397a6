// The date and time functions against Python's datetime: serial numbers are days since
// 30 December 1899 with the time of day as the fraction.
#include "tests/common/fixture.h"
#include "tests/script/params_funcs_fixture.h"

#include <sstream>

namespace {

using DateFuncs = FuncsTest;

const char* const kDateError = "日付に変換できない値が渡されました";
const char* const kTimeError = "時刻に変換できない値が渡されました";

TEST_F(DateFuncs, EncodeDateAndTimeAgreeWithPythonAndRefuseInvalidParts) {
    std::istringstream in(PythonOutput("funcs_ref.py", {"encodes", "300", "3"}));
    double serial;
    std::string time;
    for (int32_t y, m, d, h, mi, s; in >> y >> m >> d >> serial >> h >> mi >> s >> time;) {
        EXPECT_EQ(Call("EncodeDate", {I(y), I(m), I(d)}).GetAsFloat(), serial) << y << "-" << m << "-" << d;
        EXPECT_EQ(Call("EncodeTime", {I(h), I(mi), I(s)}).GetAsFloat(), std::strtod(time.c_str(), nullptr))
            << h << ":" << mi << ":" << s;
    }
    EXPECT_EQ(Call("EncodeDate", {I(1899), I(12), I(30)}).GetAsFloat(), 0);
    EXPECT_EQ(Call("EncodeDate", {I(2000), I(2), I(29)}).GetAsFloat(), 36585);
    EXPECT_EQ(Call("EncodeDate", {I(65536 + 2000), I(1), S("1")}).GetAsFloat(), 36526);  // low 16 bits
    EXPECT_EQ(Call("EncodeTime", {I(12), I(0), I(0)}).GetAsFloat(), 0.5);
    for (auto date : {std::vector{2001, 2, 29}, {1900, 2, 29}, {0, 1, 1}, {10000, 1, 1}, {2000, 13, 1}, {2000, 4, 31},
                      {2000, 1, 0}, {-1, 1, 1}})
        EXPECT_EQ(ErrorOf("EncodeDate", {I(date[0]), I(date[1]), I(date[2])}), kDateError) << date[0];
    for (auto time : {std::vector{24, 0, 0}, {0, 60, 0}, {0, 0, 60}, {-1, 0, 0}})
        EXPECT_EQ(ErrorOf("EncodeTime", {I(time[0]), I(time[1]), I(time[2])}), kTimeError);
}

TEST_F(DateFuncs, TakingApartAgreesWithPython) {
    TCustomParam* parts[3] = {Var("y", PT_INT), Var("m", PT_STR), Var("d", PT_FLOAT)};
    for (const std::string& line : Lines(PythonOutput("funcs_ref.py", {"dates", "400", "5"}))) {
        std::istringstream in(line);
        std::string serialText, first;
        in >> serialText >> first;
        TCustomParam* serial = F(std::strtod(serialText.c_str(), nullptr));
        if (first == "ERR") {
            EXPECT_EQ(ErrorOf("GetDay", {serial}), kDateError) << line;
            EXPECT_EQ(ErrorOf("GetSec", {serial}), kTimeError) << line;
            continue;
        }
        int32_t want[7] = {std::stoi(first)};
        for (int i = 1; i < 7; ++i) in >> want[i];
        const char* names[] = {"GetYear", "GetMonth", "GetDay", "GetHour", "GetMin", "GetSec", "GetWeek"};
        for (int i = 0; i < 7; ++i) EXPECT_EQ(Call(names[i], {serial}).GetAsInt(), want[i]) << names[i] << " " << line;
        // The decoders store into their arguments and no result.
        EXPECT_EQ(Call("DecodeDate", {serial, parts[0], parts[1], parts[2]}).GetAsInt(), 0);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(parts[i]->AsInt(), want[i]) << line;
        EXPECT_EQ(Call("DecodeTime", {serial, parts[0], parts[1], parts[2]}).GetAsInt(), 0);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(parts[i]->AsInt(), want[i + 3]) << line;
    }
    EXPECT_EQ(Call("GetHour", {F(-1.25)}).GetAsInt(), 6);
}

TEST_F(DateFuncs, WeekNamesAndTheEndsOfTheRange) {
    EXPECT_EQ(Call("GetWeek", {I(0)}).GetAsInt(), 7);
    EXPECT_EQ(Call("GetWeekStr", {I(0)}).GetAsStr(), "Saturday");
    EXPECT_EQ(Call("GetWeekJStr", {I(0)}).GetAsStr(), "土");
    EXPECT_EQ(Call("GetWeekStr", {I(1)}).GetAsStr(), "Sunday");
    EXPECT_EQ(Call("GetWeekJStr", {I(-2)}).GetAsStr(), "木");
    // Before year 1 the day of the week leaves 1..7: no name.
    EXPECT_EQ(Call("GetWeek", {I(-693595)}).GetAsInt(), 0);
    EXPECT_EQ(Call("GetWeekStr", {I(-693595)}).GetAsStr(), "");
    EXPECT_EQ(Call("GetWeekJStr", {I(-693595)}).GetAsStr(), "");
    // Years are decoded up to 65535; the time of day of a later value still is.
    EXPECT_EQ(Call("GetYear", {I(23242572)}).GetAsInt(), 65535);
    EXPECT_EQ(Call("GetDay", {I(23242572)}).GetAsInt(), 31);
    EXPECT_EQ(ErrorOf("GetMonth", {I(23242573)}), kDateError);
    EXPECT_EQ(Call("GetHour", {F(23242573.5)}).GetAsInt(), 12);
    EXPECT_EQ(ErrorOf("GetWeekStr", {F(1e300)}), kDateError);
    EXPECT_EQ(ErrorOf("DecodeTime", {F(-1e300), I(0), I(0), I(0)}), kTimeError);
}

}  // namespace
