// Host date-times as text: "YYYY-MM-DD HH:MM:SS" with an optional fraction of up to six
// digits, and calendar arithmetic on host days (day 0 is 1899-12-30, a Saturday).
#ifndef KMI_HOST_TEXT_DATE_TIME_TEXT_H
#define KMI_HOST_TEXT_DATE_TIME_TEXT_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/host_interface.h"

namespace kmi::emu {

inline constexpr std::int64_t us_per_second = 1000000;
inline constexpr std::int64_t us_per_day = 86400 * us_per_second;

// Host day 0 is 1899-12-30; Unix time counts from 1970-01-01, this many days later.
inline constexpr std::int64_t unix_epoch_host_day = 25569;

// The host day number of a calendar date (proleptic Gregorian).
std::int64_t host_day_of(std::int32_t year, std::int32_t month, std::int32_t day);

// The same for a date read from text: nothing when it is no date (a month of 1 to 12, a day
// of that month).
std::optional<std::int64_t> checked_host_day_of(std::int64_t year, std::int64_t month, std::int64_t day);

struct CalendarDate {
    std::int32_t year = 0;
    std::int32_t month = 0;
    std::int32_t day = 0;
};
CalendarDate calendar_date_of(std::int64_t host_day);

// The host day of a date-time (rounding toward the earlier day) and its time of day in
// microseconds.
std::int64_t host_day(HostDateTime value);
std::int64_t time_of_day_us(HostDateTime value);

// 0 Monday .. 6 Sunday.
std::int32_t weekday(std::int64_t host_day);

// "HH:MM" or "HH:MM:SS" with an optional fraction of one to six digits, as microseconds
// since midnight (hours 0 to 23).
std::optional<std::int64_t> parse_time_of_day(std::string_view text);

// "YYYY-MM-DD" (or with "/") as the date-time of its midnight.
std::optional<HostDateTime> parse_date(std::string_view text);

// A date and a time of day separated by one space or "T" (bar files take more forms:
// kmi_host/bar_files/time_forms.h).
std::optional<HostDateTime> parse_date_time(std::string_view text);

// "YYYY-MM-DD HH:MM:SS", with ".ffffff" when the microseconds are not zero.
std::string format_date_time(HostDateTime value);
// "YYYY-MM-DD".
std::string format_date(std::int64_t host_day);

// format_date_time for many times in a row: a time of the day before's date takes that date
// without working it out again. The text stays valid until the next call.
struct DateTimeWriter {
    std::int64_t day = 0;
    bool has_day = false;
    std::string out;

    std::string_view text(HostDateTime value);
};

}  // namespace kmi::emu

#endif
