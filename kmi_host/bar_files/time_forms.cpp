#include "kmi_host/bar_files/time_forms.h"

#include <chrono>

#include "kmi_host/text/date_time_text.h"

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

std::size_t digit_run(std::string_view text, std::size_t at) {
    std::size_t end = at;
    while (end < text.size() && is_digit(text[end])) ++end;
    return end - at;
}

// A number of one or two digits at `at`; advances `at`.
int short_number(std::string_view text, std::size_t& at) {
    const std::size_t run = digit_run(text, at);
    if (run < 1 || run > 2) return -1;
    const int value = digits(text, at, run);
    at += run;
    return value;
}

std::optional<std::int64_t> host_day_of_date(int year, int month, int day) {
    if (year < 1) return std::nullopt;
    return checked_host_day_of(year, month, day);
}

// A date at the start of `text`; sets `used`.
std::optional<std::int64_t> leading_date(std::string_view text, DateOrder order, DateClues* clues, std::size_t& used) {
    const std::size_t run = digit_run(text, 0);
    if (run == 8) {  // YYYYMMDD
        used = 8;
        return host_day_of_date(digits(text, 0, 4), digits(text, 4, 2), digits(text, 6, 2));
    }
    if (run == 4 && text.size() > 4 && (text[4] == '-' || text[4] == '/' || text[4] == '.')) {  // year first
        const char separator = text[4];
        std::size_t at = 5;
        const int month = short_number(text, at);
        if (month < 0 || at >= text.size() || text[at] != separator) return std::nullopt;
        ++at;
        const int day = short_number(text, at);
        if (day < 0) return std::nullopt;
        used = at;
        return host_day_of_date(digits(text, 0, 4), month, day);
    }
    if (run < 1 || run > 2 || run >= text.size()) return std::nullopt;
    const char separator = text[run];  // year last
    if (separator != '/' && separator != '-' && separator != '.') return std::nullopt;
    std::size_t at = 0;
    const int first = short_number(text, at);
    ++at;
    const int second = short_number(text, at);
    if (second < 0 || at >= text.size() || text[at] != separator || digit_run(text, at + 1) != 4) return std::nullopt;
    const int year = digits(text, at + 1, 4);
    used = at + 5;
    if (separator == '.') return host_day_of_date(year, second, first);
    if (clues != nullptr) {
        clues->year_last = true;
        clues->first_above_12 = clues->first_above_12 || first > 12;
        clues->second_above_12 = clues->second_above_12 || second > 12;
        clues->ambiguous = clues->ambiguous || (first != second && first <= 12 && second <= 12);
    }
    return order == DateOrder::month_first ? host_day_of_date(year, first, second)
                                           : host_day_of_date(year, second, first);
}

// The date at the start of `text` through the cache: a date written as the one before it
// (with what follows it not a digit) is that day again, and tells nothing new of the order.
std::optional<std::int64_t> cached_date(std::string_view text, DateOrder order, DateClues* clues, DateCache* cache,
                                        std::size_t& used) {
    if (cache != nullptr && cache->size > 0 && cache->order == order && text.size() >= cache->size &&
        std::string_view(cache->text, cache->size) == text.substr(0, cache->size) &&
        (text.size() == cache->size || !is_digit(text[cache->size]))) {
        used = cache->size;
        return cache->day;
    }
    const auto day = leading_date(text, order, clues, used);
    if (day && cache != nullptr && used <= sizeof cache->text) {
        text.copy(cache->text, used);
        cache->size = used;
        cache->day = *day;
        cache->order = order;
    }
    return day;
}

// "AM" or "PM" (in any case) at `at`, after spaces or not: 0 for AM, 12 for PM, -1 for none.
int meridiem(std::string_view text, std::size_t& at) {
    std::size_t i = at;
    while (i < text.size() && text[i] == ' ') ++i;
    if (i + 2 > text.size()) return -1;
    const char first = static_cast<char>(text[i] | 0x20);
    const char second = static_cast<char>(text[i + 1] | 0x20);
    if ((first != 'a' && first != 'p') || second != 'm') return -1;
    if (i + 2 < text.size() && ((text[i + 2] | 0x20) >= 'a' && (text[i + 2] | 0x20) <= 'z')) return -1;
    at = i + 2;
    return first == 'a' ? 0 : 12;
}

// A time of day at the start of `text`: H:MM or HH:MM, optionally :SS and a fraction of up
// to nine digits; or HHMM or HHMMSS; optionally AM or PM. Microseconds since midnight;
// sets `used`.
std::optional<std::int64_t> leading_clock(std::string_view text, std::size_t& used) {
    std::size_t at = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    const std::size_t run = digit_run(text, 0);
    if ((run == 1 || run == 2) && run < text.size() && text[run] == ':') {
        hour = digits(text, 0, run);
        minute = digits(text, run + 1, 2);
        at = run + 3;
        if (minute < 0 || (at < text.size() && is_digit(text[at]))) return std::nullopt;
        if (at < text.size() && text[at] == ':') {
            second = digits(text, at + 1, 2);
            if (second < 0 || (at + 3 < text.size() && is_digit(text[at + 3]))) return std::nullopt;
            at += 3;
        }
    } else if (run == 4 || run == 6) {
        hour = digits(text, 0, 2);
        minute = digits(text, 2, 2);
        second = run == 6 ? digits(text, 4, 2) : 0;
        at = run;
    } else {
        return std::nullopt;
    }
    if (minute > 59 || second > 59) return std::nullopt;
    std::int64_t fraction_us = 0;
    if (at + 1 < text.size() && (text[at] == '.' || text[at] == ',') && is_digit(text[at + 1])) {
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
    const int half = meridiem(text, at);
    if (half >= 0) {
        if (hour < 1 || hour > 12) return std::nullopt;
        hour = hour % 12 + half;
    }
    if (hour > 23) return std::nullopt;
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
        const int year = digits(number, 0, 4);
        const auto day = host_day_of_date(year, digits(number, 4, 2), digits(number, 6, 2));
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
    for (const char c : number) magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - '0');
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

HostDateTime machine_clock() {
    const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
    return unix_epoch + std::chrono::duration_cast<std::chrono::microseconds>(since_epoch).count();
}

std::string likely_time_form(std::string_view text) {
    if (is_time_of_day(text) && text.find(':') != std::string_view::npos) {
        return "a time of day with no date: the date must be in a column of its own beside it (--columns "
               "date,time,...)";
    }
    const bool fraction = text.find('.') != std::string_view::npos;
    const std::string_view whole = text.substr(0, text.find('.'));
    if (whole.empty() || !is_whole_number(whole) || whole.front() == '-' || whole.size() > 19) return {};
    std::uint64_t value = 0;
    for (const char c : whole) value = value * 10 + static_cast<std::uint64_t>(c - '0');
    const std::string number(text);
    if (value >= 20000 && value < 80000 && whole.size() == 5) {
        const std::string date = format_date(static_cast<std::int64_t>(value));
        return "a spreadsheet's serial date (" + number + " is " + date +
               " as days since 1899-12-30): save the column as a date and time (YYYY-MM-DD HH:MM:SS)";
    }
    if (fraction) return {};
    const auto two = [&whole](std::size_t at) { return digits(whole, at, 2); };
    if (whole.size() == 6 && two(2) >= 1 && two(2) <= 12 && two(4) >= 1 && two(4) <= 31) {
        return "a date YYMMDD (" + number + " is 20" + number.substr(0, 2) + "-" + number.substr(2, 2) + "-" +
               number.substr(4, 2) +
               " so read): write the year whole (YYYYMMDD), or name the column date with "
               "--columns";
    }
    if ((whole.size() == 3 || whole.size() == 4) && value % 100 < 60 && value / 100 < 24) {
        return "a time of day HHMM with no date: the date must be in a column of its own beside it (--columns "
               "date,time,...)";
    }
    if (whole.size() == 6 && value / 10000 < 24 && value / 100 % 100 < 60 && value % 100 < 60) {
        return "a time of day HHMMSS with no date: the date must be in a column of its own beside it (--columns "
               "date,time,...)";
    }
    if (value < 86400000) {
        const HostDateTime clock = static_cast<HostDateTime>(value) * 1000;
        return "milliseconds after midnight (" + number + " is " + format_date_time(clock).substr(11) +
               ") with the date elsewhere (LEAN's minute and second files keep it in the file name)";
    }
    if (whole.size() == 10 && two(2) >= 1 && two(2) <= 12 && two(4) >= 1 && two(4) <= 31 && two(6) < 24 &&
        two(8) < 60) {
        return "a date and time YYMMDDHHMM (" + number + " is 20" + number.substr(0, 2) + "-" + number.substr(2, 2) +
               "-" + number.substr(4, 2) + " " + number.substr(6, 2) + ":" + number.substr(8, 2) +
               " so read): write the year whole";
    }
    return "a Unix time in another unit than its digits suggest (seconds have 10 digits, milliseconds 13, "
           "microseconds 16, nanoseconds 19)";
}

bool is_whole_number(std::string_view text) {
    if (!text.empty() && text.front() == '-') text.remove_prefix(1);
    return !text.empty() && digit_run(text, 0) == text.size();
}

std::optional<BarTimeText> parse_bar_time(std::string_view text, DateOrder order, DateClues* clues, DateCache* cache) {
    if (is_whole_number(text)) return whole_number(text);
    std::size_t date_used = 0;
    const auto day = cached_date(text, order, clues, cache, date_used);
    if (!day) return std::nullopt;
    std::size_t at = date_used;
    if (at == text.size()) return BarTimeText{*day * us_per_day, false};
    if (text[at] == 'T' || text[at] == 't') {
        ++at;
    } else {
        while (at < text.size() && text[at] == ' ') ++at;
        if (at == date_used) return std::nullopt;
    }
    std::size_t clock_used = 0;
    const auto clock = leading_clock(text.substr(at), clock_used);
    if (!clock) return std::nullopt;
    return with_offset(*day * us_per_day + *clock, text.substr(at + clock_used));
}

std::optional<BarTimeText> parse_bar_date_and_time(std::string_view date, std::string_view time, DateOrder order,
                                                   DateClues* clues, DateCache* cache) {
    std::size_t date_used = 0;
    const auto day = cached_date(date, order, clues, cache, date_used);
    if (!day || date_used != date.size()) return std::nullopt;
    std::size_t clock_used = 0;
    const auto clock = leading_clock(time, clock_used);
    if (!clock) return std::nullopt;
    return with_offset(*day * us_per_day + *clock, time.substr(clock_used));
}

bool is_time_of_day(std::string_view text) {
    std::size_t used = 0;
    return leading_clock(text, used) && used == text.size();
}

}  // namespace kmi::emu
