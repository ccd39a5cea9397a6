#pragma once
#include <cstdint>

namespace platform {

// Milliseconds since an arbitrary start, wrapping at 2^32 like the host's multimedia timer.
uint32_t ClockMs();
// Nanoseconds since an arbitrary start, for measuring short spans.
uint64_t ClockNs();

// A moment of the calendar.
struct DateTime {
    int32_t year, month, day;  // month 1..12, day 1..31
    int32_t weekDay;           // 0 Sunday .. 6 Saturday
    int32_t hour, minute, second, millisecond;
};
// The host's date and time now, in its time zone and in UTC.
DateTime LocalNow();
DateTime UtcNow();
// A local time of the host's time zone as UTC (the fields beyond the date and time are ignored).
DateTime LocalToUtc(const DateTime& Local);

}  // namespace platform
