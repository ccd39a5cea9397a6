#include "platform/clock.h"

#include <time.h>

namespace platform {
namespace {

DateTime Fields(const tm& fields, int32_t millisecond) {
    return {fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, fields.tm_wday,
            fields.tm_hour,        fields.tm_min,     fields.tm_sec,  millisecond};
}

DateTime Now(bool utc) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm fields{};
    if (utc)
        gmtime_r(&now.tv_sec, &fields);
    else
        localtime_r(&now.tv_sec, &fields);
    return Fields(fields, static_cast<int32_t>(now.tv_nsec / 1000000));
}

}  // namespace

uint32_t ClockMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

uint64_t ClockNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

DateTime LocalNow() { return Now(false); }
DateTime UtcNow() { return Now(true); }

DateTime LocalToUtc(const DateTime& Local) {
    tm fields{};
    fields.tm_year = Local.year - 1900;
    fields.tm_mon = Local.month - 1;
    fields.tm_mday = Local.day;
    fields.tm_hour = Local.hour;
    fields.tm_min = Local.minute;
    fields.tm_sec = Local.second;
    fields.tm_isdst = -1;
    const time_t at = mktime(&fields);
    tm utc{};
    gmtime_r(&at, &utc);
    return Fields(utc, Local.millisecond);
}

}  // namespace platform
