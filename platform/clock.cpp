#include "platform/clock.h"

#include <time.h>

namespace platform {
namespace {

DateTime Now(bool utc) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm fields{};
    if (utc)
        gmtime_r(&now.tv_sec, &fields);
    else
        localtime_r(&now.tv_sec, &fields);
    return {fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, fields.tm_wday,
            fields.tm_hour,        fields.tm_min,     fields.tm_sec,  static_cast<int32_t>(now.tv_nsec / 1000000)};
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

}  // namespace platform
