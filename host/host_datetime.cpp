#include "host/host_datetime.h"

#include <limits>

#include "host/numeric.h"

namespace kmi {
namespace {

// Days before months 1 to 12 of a 365-day year, and the length of the year.
constexpr std::int32_t month_start[13] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};

constexpr std::int64_t day_of_epoch = 693959;  // day number of 1899-12-30

// v shifted by `shift` away from zero, held at the int64 limits.
std::int64_t round_away(std::int64_t v, std::int64_t shift) noexcept {
    if (v >= 0) {
        return v > std::numeric_limits<std::int64_t>::max() - shift ? std::numeric_limits<std::int64_t>::max()
                                                                    : v + shift;
    }
    return v < std::numeric_limits<std::int64_t>::min() + shift ? std::numeric_limits<std::int64_t>::min() : v - shift;
}

// |v| as an unsigned value, defined for the most negative value too.
std::uint64_t magnitude(std::int64_t v) noexcept {
    return v >= 0 ? static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(-(v + 1)) + 1u;
}

void set_calendar_date(std::int64_t day_number, DateTimeParts& parts) noexcept {
    const std::int64_t q400 = day_number / 146097;
    std::int64_t e = day_number - q400 * 146097;
    const std::int64_t c = (e - 1) / 36524;
    std::int64_t q4 = 0;
    bool leap_block = false;
    if (c == 0) {
        q4 = e / 1461;
        e = e - q4 * 1461;
        leap_block = true;
    } else {
        e = (e - 1) - c * 36524;
        q4 = (e + 1) / 1461;
        if (q4 != 0) {
            e = (e + 1) - q4 * 1461;
            leap_block = true;
        }
    }
    std::int64_t y = 0;
    if (leap_block) {
        y = (e - 1) / 365;
        if (y != 0) {
            e = (e - 1) - y * 365;
            leap_block = false;
        }
    } else {
        y = e / 365;
        e = e - y * 365;
    }
    parts.year = saturate_i32(((q400 * 4 + c) * 25 + q4) * 4 + y);
    if (leap_block) {
        if (e == 59) {
            parts.month = 2;
            parts.day = 29;
            return;
        }
        if (e >= 60) e = e - 1;
    }
    e = e + 1;
    // Days far before the calendar's start give a negative e; the month search stays
    // inside the table whatever e is.
    std::int64_t month = (e >> 5) + 1;
    if (month < 1) month = 1;
    if (month > 12) month = 12;
    while (month < 12 && e > month_start[month]) ++month;
    parts.month = static_cast<std::int32_t>(month);
    parts.day = saturate_i32(e - month_start[month - 1]);
}

}  // namespace

std::int64_t to_milliseconds_wide(HostDateTime value) noexcept {
    return round_half_away_i64(static_cast<double>(value) / 1000.0);
}

DateTimeParts to_date_time_parts(HostDateTime value, std::int32_t millisecond_mode) noexcept {
    DateTimeParts parts;
    std::int64_t v = value;
    if (v != 0) v = round_away(v, millisecond_mode == round_to_second ? 500000 : 500);
    parts.millisecond = 0;
    const std::int64_t day_number = day_of_epoch + v / microseconds_per_day;
    std::uint64_t r = magnitude(v) % static_cast<std::uint64_t>(microseconds_per_day);
    set_calendar_date(day_number, parts);
    if (r != 0) {
        parts.hour = static_cast<std::int32_t>(r / 3600000000u);
        r -= static_cast<std::uint64_t>(parts.hour) * 3600000000u;
        parts.minute = static_cast<std::int32_t>(r / 60000000u);
        r -= static_cast<std::uint64_t>(parts.minute) * 60000000u;
        parts.second = static_cast<std::int32_t>(r / 1000000u);
        r -= static_cast<std::uint64_t>(parts.second) * 1000000u;
        parts.millisecond = static_cast<std::int32_t>(r / 1000u);
    }
    return parts;
}

}  // namespace kmi
