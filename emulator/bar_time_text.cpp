#include "emulator/bar_time_text.h"

#include <cstdint>

#include "emulator/date_time_text.h"

namespace kmi::emu {
namespace {

constexpr HostDateTime unix_epoch = unix_epoch_host_day * us_per_day;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The value of `count` digits at `at`, or -1 when they are not all digits.
int digits(std::string_view text, std::size_t at, std::size_t count) {
    if (at + count > text.size()) return -1;
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (!is_digit(text[i])) return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

std::optional<std::int64_t> host_day_of_date(int year, int month, int day) {
    if (year < 1) return std::nullopt;
    return checked_host_day_of(year, month, day);
}

// A date at the start of `text`: YYYY-MM-DD, YYYY/MM/DD or YYYYMMDD; sets `used`.
std::optional<std::int64_t> leading_date(std::string_view text, std::size_t& used) {
    const int year = digits(text, 0, 4);
    if (year < 0 || text.size() < 8) return std::nullopt;
    if (text[4] == '-' || text[4] == '/') {
        const int month = digits(text, 5, 2);
        const int day = digits(text, 8, 2);
        if (text.size() < 10 || text[7] != text[4] || month < 0 || day < 0) return std::nullopt;
        used = 10;
        return host_day_of_date(year, month, day);
    }
    const int month = digits(text, 4, 2);
    const int day = digits(text, 6, 2);
    if (month < 0 || day < 0) return std::nullopt;
    used = 8;
    return host_day_of_date(year, month, day);
}

// A time of day at the start of `text`: H:MM or HH:MM, optionally :SS and a fraction of up
// to nine digits; or HHMM or HHMMSS. Microseconds since midnight; sets `used`.
std::optional<std::int64_t> leading_clock(std::string_view text, std::size_t& used) {
    std::size_t at = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    const std::size_t hour_digits = text.size() > 1 && is_digit(text[1]) ? 2 : 1;
    if (text.size() > hour_digits && text[hour_digits] == ':') {
        hour = digits(text, 0, hour_digits);
        minute = digits(text, hour_digits + 1, 2);
        at = hour_digits + 3;
        if (hour < 0 || minute < 0) return std::nullopt;
        if (at < text.size() && text[at] == ':') {
            second = digits(text, at + 1, 2);
            if (second < 0) return std::nullopt;
            at += 3;
        }
    } else {
        std::size_t run = 0;
        while (run < text.size() && is_digit(text[run])) ++run;
        if (run != 4 && run != 6) return std::nullopt;
        hour = digits(text, 0, 2);
        minute = digits(text, 2, 2);
        second = run == 6 ? digits(text, 4, 2) : 0;
        at = run;
    }
    if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
    std::int64_t fraction_us = 0;
    if (at < text.size() && (text[at] == '.' || text[at] == ',') && at + 1 < text.size() && is_digit(text[at + 1])) {
        ++at;
        std::int64_t scale = 100000;
        std::size_t count = 0;
        while (at < text.size() && is_digit(text[at])) {
            if (++count > 9) return std::nullopt;
            fraction_us += (text[at] - '0') * scale;
            scale /= 10;
            ++at;
        }
    }
    used = at;
    return ((hour * 60 + minute) * 60 + second) * us_per_second + fraction_us;
}

// What follows a time: nothing, or a UTC offset, after spaces or not. Returns false for
// anything else; `offset_seconds` is set when an offset was given.
bool trailing_offset(std::string_view text, std::optional<std::int64_t>& offset_seconds) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    if (text.empty()) return true;
    if (text == "Z" || text == "z" || text == "UTC" || text == "GMT") {
        offset_seconds = 0;
        return true;
    }
    if (text.front() != '+' && text.front() != '-') return false;
    const std::int64_t sign = text.front() == '-' ? -1 : 1;
    text.remove_prefix(1);
    const int hours = digits(text, 0, 2);
    int minutes = 0;
    if (hours < 0 || hours > 23) return false;
    if (text.size() == 5 && text[2] == ':') {
        minutes = digits(text, 3, 2);
    } else if (text.size() == 4) {
        minutes = digits(text, 2, 2);
    } else if (text.size() != 2) {
        return false;
    }
    if (minutes < 0 || minutes > 59) return false;
    offset_seconds = sign * (hours * 3600 + minutes * 60);
    return true;
}

std::optional<BarTimeText> with_offset(HostDateTime wall, std::string_view rest) {
    std::optional<std::int64_t> offset;
    if (!trailing_offset(rest, offset)) return std::nullopt;
    if (!offset) return BarTimeText{wall, false};
    return BarTimeText{wall - *offset * us_per_second, true};
}

// A whole number: YYYYMMDD, YYYYMMDDHHMM or YYYYMMDDHHMMSS when it reads as one, else a Unix
// time whose magnitude tells its unit.
std::optional<BarTimeText> whole_number(std::string_view text) {
    const bool negative = !text.empty() && text.front() == '-';
    const std::string_view number = negative ? text.substr(1) : text;
    if (number.empty() || number.size() > 19) return std::nullopt;
    if (!negative && (number.size() == 8 || number.size() == 12 || number.size() == 14)) {
        std::size_t used = 0;
        const auto day = leading_date(number, used);
        const int year = digits(number, 0, 4);
        if (day && year >= 1900 && year <= 2200) {
            const int hour = number.size() > 8 ? digits(number, 8, 2) : 0;
            const int minute = number.size() > 8 ? digits(number, 10, 2) : 0;
            const int second = number.size() > 12 ? digits(number, 12, 2) : 0;
            if (hour <= 23 && minute <= 59 && second <= 59) {
                return BarTimeText{*day * us_per_day + ((hour * 60 + minute) * 60 + second) * us_per_second, false};
            }
        }
    }
    std::uint64_t magnitude = 0;
    for (const char c : number) {
        if (!is_digit(c)) return std::nullopt;
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - '0');
    }
    std::int64_t unix_us = 0;
    if (magnitude < 100000000000ULL) {  // seconds up to the year 5138
        unix_us = static_cast<std::int64_t>(magnitude) * us_per_second;
    } else if (magnitude < 100000000000000ULL) {  // milliseconds
        unix_us = static_cast<std::int64_t>(magnitude) * 1000;
    } else if (magnitude < 100000000000000000ULL) {  // microseconds
        unix_us = static_cast<std::int64_t>(magnitude);
    } else {  // nanoseconds
        unix_us = static_cast<std::int64_t>(magnitude / 1000);
    }
    return BarTimeText{unix_epoch + (negative ? -unix_us : unix_us), true};
}

}  // namespace

std::optional<BarTimeText> parse_bar_time(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::size_t date_used = 0;
    const auto day = leading_date(text, date_used);
    if (!day || date_used == text.size() || date_used == 8) {
        // A date alone, or a number that is no date with separators.
        bool all_digits = text.size() > (text.front() == '-' ? 1U : 0U);
        for (std::size_t i = text.front() == '-' ? 1 : 0; i < text.size(); ++i) all_digits &= is_digit(text[i]);
        if (all_digits) return whole_number(text);
        if (!day) return std::nullopt;
        if (date_used == text.size()) return BarTimeText{*day * us_per_day, false};
    }
    std::size_t at = date_used;
    if (text[at] != ' ' && text[at] != 'T' && text[at] != 't') return std::nullopt;
    ++at;
    std::size_t clock_used = 0;
    const auto clock = leading_clock(text.substr(at), clock_used);
    if (!clock) return std::nullopt;
    return with_offset(*day * us_per_day + *clock, text.substr(at + clock_used));
}

std::optional<BarTimeText> parse_bar_date_and_time(std::string_view date, std::string_view time) {
    std::size_t date_used = 0;
    const auto day = leading_date(date, date_used);
    if (!day || date_used != date.size()) return std::nullopt;
    std::size_t clock_used = 0;
    const auto clock = leading_clock(time, clock_used);
    if (!clock) return std::nullopt;
    return with_offset(*day * us_per_day + *clock, time.substr(clock_used));
}

}  // namespace kmi::emu
