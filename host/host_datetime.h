// The host's date-time: signed microseconds since 1899-12-30 00:00:00.
#ifndef KMI_HOST_HOST_DATETIME_H
#define KMI_HOST_HOST_DATETIME_H

#include <cstdint>

#include "host/always_inline.h"
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

// to_milliseconds for any value: the division and rounding in double precision.
std::int64_t to_milliseconds_wide(HostDateTime value) noexcept;

// Whole milliseconds: the value divided by 1000.0 and rounded half away from zero.
// Every bar time a walk reads passes through here, so it is inline. Up to 2^53 in
// magnitude the value converts to double exactly, the quotient's ulp stays below 2^-9,
// well under the 0.001 between a remainder of 499 or 501 microseconds and the half, and
// adding 0.5 is exact: the double result is then the integer one, (|v| + 500) / 1000.
// Bar times from the host epoch on take the first, unsigned, branch.
KMI_ALWAYS_INLINE std::int64_t to_milliseconds(HostDateTime value) noexcept {
    constexpr std::int64_t exact_limit = std::int64_t{1} << 53;
    if (static_cast<std::uint64_t>(value) <= static_cast<std::uint64_t>(exact_limit)) {
        return static_cast<std::int64_t>((static_cast<std::uint64_t>(value) + 500u) / 1000u);
    }
    if (value < 0 && value >= -exact_limit) return (value - 500) / 1000;
    return to_milliseconds_wide(value);
}

// The millisecond mode selector of to_date_time_parts: -1 rounds to the nearest second.
inline constexpr std::int32_t round_to_second = -1;
inline constexpr std::int32_t round_to_millisecond = 0;

// Calendar parts of a date-time. `millisecond_mode` selects the rounding; the result's
// millisecond field is the millisecond part of the rounded value.
DateTimeParts to_date_time_parts(HostDateTime value, std::int32_t millisecond_mode) noexcept;

}  // namespace kmi

#endif
