// The date and time functions. A date-time is a real: whole days since 30 December 1899, the
// fraction the time of day; it is taken at double precision. Inside, days are numbered from
// 1 January of year 1 (day 1) by the proleptic Gregorian calendar.
#include "script/params_funcs_families.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int64_t MSecsPerDay = 86400000;
// The day number of 30 December 1899, date-time 0.
constexpr int64_t DateDelta = 693594;

const char* const DateError = "日付に変換できない値が渡されました";
const char* const TimeError = "時刻に変換できない値が渡されました";

constexpr bool IsLeapYear(int32_t Year) { return Year % 4 == 0 && (Year % 100 != 0 || Year % 400 == 0); }

constexpr int32_t MonthDays[2][12] = {{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                                      {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};

// The day number of a valid date.
constexpr int64_t DayNumber(int32_t Year, int32_t Month, int32_t Day) {
    int64_t days = Day;
    for (int32_t m = 1; m < Month; ++m) days += MonthDays[IsLeapYear(Year)][m - 1];
    const int64_t y = Year - 1;
    return y * 365 + y / 4 - y / 100 + y / 400 + days;
}

// Decoded years are 16-bit; a later day number would give a wrong year.
constexpr int64_t LastDayNumber = DayNumber(65535, 12, 31);

// A date-time taken apart: the day number (signed) and the milliseconds of the time of day,
// both from the millisecond count rounded to the nearest (ties to even), the time of day taken
// from its magnitude. Error when the count does not fit 64 bits (also a non-number).
struct TTimeStamp {
    int64_t Date;
    int32_t Time;
};
TTimeStamp DateTimeToTimeStamp(long double Value, const char* Error) {
    const long double ms = std::nearbyint(static_cast<long double>(static_cast<double>(Value)) * MSecsPerDay);
    if (!(std::fabs(ms) < 0x1p63L)) throw EParamError(Error);
    const auto count = static_cast<int64_t>(ms);
    const uint64_t magnitude = count < 0 ? 0 - static_cast<uint64_t>(count) : static_cast<uint64_t>(count);
    const auto days = static_cast<int64_t>(magnitude / MSecsPerDay);
    return {(count < 0 ? -days : days) + DateDelta, static_cast<int32_t>(magnitude % MSecsPerDay)};
}

struct TDate {
    int32_t Year = 0, Month = 0, Day = 0;
};
// Year, month and day of a date-time; all 0 before year 1, an error after year 65535.
TDate DecodeDate(long double Value) {
    int64_t t = DateTimeToTimeStamp(Value, DateError).Date;
    if (t <= 0) return {};
    if (t > LastDayNumber) throw EParamError(DateError);
    constexpr int64_t D1 = 365, D4 = D1 * 4 + 1, D100 = D4 * 25 - 1, D400 = D100 * 4 + 1;
    --t;
    int64_t year = 1 + t / D400 * 400;
    t %= D400;
    const int64_t centuries = std::min<int64_t>(t / D100, 3);
    t -= centuries * D100;
    year += centuries * 100 + t / D4 * 4;
    t %= D4;
    const int64_t years = std::min<int64_t>(t / D1, 3);
    t -= years * D1;
    year += years;
    TDate date{static_cast<int32_t>(year), 1, 0};
    for (const int32_t length : MonthDays[IsLeapYear(date.Year)]) {
        if (t < length) break;
        t -= length;
        ++date.Month;
    }
    date.Day = static_cast<int32_t>(t) + 1;
    return date;
}

struct TTime {
    int32_t Hour, Min, Sec;
};
// Hour, minute and second of the time of day; milliseconds dropped.
TTime DecodeTime(long double Value) {
    const int32_t ms = DateTimeToTimeStamp(Value, TimeError).Time;
    return {ms / 3600000, ms / 60000 % 60, ms / 1000 % 60};
}

// Day of the week, 1 Sunday .. 7 Saturday; before year 1 outside that range.
int32_t DayOfWeek(long double Value) {
    return static_cast<int32_t>(DateTimeToTimeStamp(Value, DateError).Date % 7 + 1);
}

// Each part of a date or a time is taken as its low 16 bits, unsigned.
int32_t Part(const TCustomParam* Arg) { return static_cast<uint16_t>(Arg->AsInt()); }

void FnEncodeDate(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    const int32_t year = Part(Args[0]), month = Part(Args[1]), day = Part(Args[2]);
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > MonthDays[IsLeapYear(year)][month - 1])
        throw EParamError(DateError);
    Dest.SetAsFloat(static_cast<double>(DayNumber(year, month, day) - DateDelta));
}

// The fraction of the day as the floating-point unit divides it, stored as a double.
void FnEncodeTime(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    const int32_t hour = Part(Args[0]), min = Part(Args[1]), sec = Part(Args[2]);
    if (hour >= 24 || min >= 60 || sec >= 60) throw EParamError(TimeError);
    const int32_t ms = hour * 3600000 + min * 60000 + sec * 1000;
    Dest.SetAsFloat(static_cast<double>(static_cast<long double>(ms) / MSecsPerDay));
}

// DecodeDate(Date, var Year, var Month, var Day), no result.
void FnDecodeDate(TParamCollectionItem&, TSysFuncArgs Args) {
    const TDate date = DecodeDate(Args[0]->AsFloat());
    Args[1]->SetInt(date.Year);
    Args[2]->SetInt(date.Month);
    Args[3]->SetInt(date.Day);
}

// DecodeTime(Time, var Hour, var Min, var Sec), no result.
void FnDecodeTime(TParamCollectionItem&, TSysFuncArgs Args) {
    const TTime time = DecodeTime(Args[0]->AsFloat());
    Args[1]->SetInt(time.Hour);
    Args[2]->SetInt(time.Min);
    Args[3]->SetInt(time.Sec);
}

template <int32_t TDate::*Field>
void FnDatePart(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    Dest.SetAsInt(DecodeDate(Args[0]->AsFloat()).*Field);
}

template <int32_t TTime::*Field>
void FnTimePart(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    Dest.SetAsInt(DecodeTime(Args[0]->AsFloat()).*Field);
}

void FnGetWeek(TParamCollectionItem& Dest, TSysFuncArgs Args) { Dest.SetAsInt(DayOfWeek(Args[0]->AsFloat())); }

// The name of the day of the week from a table of seven, "" for a day outside it.
template <const char* const (&Names)[7]>
void FnWeekName(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    const int32_t day = DayOfWeek(Args[0]->AsFloat());
    Dest.SetAsStr(day >= 1 && day <= 7 ? Names[day - 1] : "");
}

constexpr const char* WeekNames[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
constexpr const char* WeekJNames[7] = {"日", "月", "火", "水", "木", "金", "土"};

constexpr TSysFuncEntry kFuncs[] = {
    {"EncodeDate", FnEncodeDate},
    {"EncodeTime", FnEncodeTime},
    {"DecodeDate", FnDecodeDate},
    {"DecodeTime", FnDecodeTime},
    {"GetYear", FnDatePart<&TDate::Year>},
    {"GetMonth", FnDatePart<&TDate::Month>},
    {"GetDay", FnDatePart<&TDate::Day>},
    {"GetHour", FnTimePart<&TTime::Hour>},
    {"GetMin", FnTimePart<&TTime::Min>},
    {"GetSec", FnTimePart<&TTime::Sec>},
    {"GetWeek", FnGetWeek},
    {"GetWeekStr", FnWeekName<WeekNames>},
    {"GetWeekJStr", FnWeekName<WeekJNames>},
};

}  // namespace

std::span<const TSysFuncEntry> DateSysFuncs() { return kFuncs; }
