// The host's date-time: signed microseconds since 1899-12-30 00:00:00.
#ifndef KMI_HOST_HOST_DATETIME_H
#define KMI_HOST_HOST_DATETIME_H

#include <cstdint>

#include "host/host_interface.h"

namespace kmi {

inline constexpr std::int64_t microseconds_per_day = 86400000000LL;

struct DateTimeParts {
    std::int32_t year = 0;
    std::int32_t month = 0;
    std::int32_t day = 0;
    std::int32_t hour = 0;
    std::int32_t minute = 0;
    std::int32_t second = 0;
    std::int32_t millisecond = 0;
};

// Whole milliseconds: the value divided by 1000.0 and rounded half away from zero.
std::int64_t to_milliseconds(HostDateTime value) noexcept;

// The millisecond mode selector of to_date_time_parts: -1 rounds to the nearest second.
inline constexpr std::int32_t round_to_second = -1;
inline constexpr std::int32_t round_to_millisecond = 0;

// Calendar parts of a date-time. `millisecond_mode` selects the rounding; the result's
// millisecond field is the millisecond part of the rounded value.
DateTimeParts to_date_time_parts(HostDateTime value, std::int32_t millisecond_mode) noexcept;

}  // namespace kmi

#endif
