#include "kmi_host/text/date_time_text.h"

#include <charconv>
#include <cstdio>

namespace kmi::emu {
namespace {

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

// Days since 1970-01-01 of a civil date (H. Hinnant's algorithm).
std::int64_t days_from_civil(std::int64_t y, std::int64_t m, std::int64_t d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = floor_div(y, 400);
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool is_leap(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

std::int32_t days_in_month(std::int64_t y, std::int64_t m) {
    static constexpr std::int32_t lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && is_leap(y) ? 29 : lengths[m - 1];
}

// Reads exactly `digits` decimal digits at `pos`.
bool read_digits(std::string_view text, std::size_t& pos, std::size_t digits, std::int64_t& value) {
    if (pos + digits > text.size()) return false;
    value = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const char c = text[pos + i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    pos += digits;
    return true;
}

std::optional<std::int64_t> read_date(std::string_view text, std::size_t& pos) {
    std::int64_t y = 0, m = 0, d = 0;
    if (!read_digits(text, pos, 4, y)) return std::nullopt;
    if (pos >= text.size() || (text[pos] != '-' && text[pos] != '/')) return std::nullopt;
    const char separator = text[pos++];
    if (!read_digits(text, pos, 2, m) || pos >= text.size() || text[pos++] != separator) return std::nullopt;
    if (!read_digits(text, pos, 2, d)) return std::nullopt;
    return checked_host_day_of(y, m, d);
}

std::optional<std::int64_t> read_time(std::string_view text, std::size_t& pos) {
    std::int64_t h = 0, mi = 0, s = 0;
    if (!read_digits(text, pos, 2, h) || pos >= text.size() || text[pos++] != ':') return std::nullopt;
    if (!read_digits(text, pos, 2, mi)) return std::nullopt;
    std::int64_t fraction_us = 0;
    if (pos < text.size() && text[pos] == ':') {
        ++pos;
        if (!read_digits(text, pos, 2, s)) return std::nullopt;
        if (pos < text.size() && text[pos] == '.') {
            ++pos;
            std::size_t digits = 0;
            std::int64_t scale = 100000;
            while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
                if (++digits > 6) return std::nullopt;
                fraction_us += (text[pos] - '0') * scale;
                scale /= 10;
                ++pos;
            }
            if (digits == 0) return std::nullopt;
        }
    }
    if (h > 23 || mi > 59 || s > 59) return std::nullopt;
    return (h * 3600 + mi * 60 + s) * us_per_second + fraction_us;
}

}  // namespace

std::int64_t host_day_of(std::int32_t year, std::int32_t month, std::int32_t day) {
    return days_from_civil(year, month, day) + unix_epoch_host_day;
}

std::optional<std::int64_t> checked_host_day_of(std::int64_t year, std::int64_t month, std::int64_t day) {
    if (month < 1 || month > 12 || day < 1 || day > days_in_month(year, month)) return std::nullopt;
    return days_from_civil(year, month, day) + unix_epoch_host_day;
}

CalendarDate calendar_date_of(std::int64_t host_day_number) {
    const std::int64_t z = host_day_number - unix_epoch_host_day + 719468;
    const std::int64_t era = floor_div(z, 146097);
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    return CalendarDate{static_cast<std::int32_t>(y), static_cast<std::int32_t>(m), static_cast<std::int32_t>(d)};
}

std::int64_t host_day(HostDateTime value) { return floor_div(value, us_per_day); }

std::int64_t time_of_day_us(HostDateTime value) { return value - host_day(value) * us_per_day; }

std::int32_t weekday(std::int64_t host_day_number) {
    // Host day 0 is a Saturday (5 when Monday is 0).
    return static_cast<std::int32_t>(((host_day_number + 5) % 7 + 7) % 7);
}

std::optional<std::int64_t> parse_time_of_day(std::string_view text) {
    std::size_t pos = 0;
    const auto time = read_time(text, pos);
    if (!time || pos != text.size()) return std::nullopt;
    return time;
}

std::optional<HostDateTime> parse_date(std::string_view text) {
    std::size_t pos = 0;
    const auto day = read_date(text, pos);
    if (!day || pos != text.size()) return std::nullopt;
    return *day * us_per_day;
}

std::optional<HostDateTime> parse_date_time(std::string_view text) {
    std::size_t pos = 0;
    const auto day = read_date(text, pos);
    if (!day || pos >= text.size() || (text[pos] != ' ' && text[pos] != 'T')) return std::nullopt;
    ++pos;
    const auto time = read_time(text, pos);
    if (!time) return std::nullopt;
    if (pos != text.size()) return std::nullopt;
    return *day * us_per_day + *time;
}

std::string format_date(std::int64_t host_day_number) {
    const CalendarDate date = calendar_date_of(host_day_number);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", date.year, date.month, date.day);
    return buffer;
}

std::string format_date_time(HostDateTime value) {
    const std::int64_t tod = time_of_day_us(value);
    const std::int64_t seconds = tod / us_per_second;
    const std::int64_t micros = tod % us_per_second;
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, " %02d:%02d:%02d", static_cast<int>(seconds / 3600),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    std::string text = format_date(host_day(value)) + buffer;
    if (micros != 0) {
        std::snprintf(buffer, sizeof buffer, ".%06d", static_cast<int>(micros));
        text += buffer;
    }
    return text;
}

std::string_view DateTimeWriter::text(HostDateTime value) {
    const std::int64_t value_day = host_day(value);
    if (!has_day || value_day != day) {
        const CalendarDate date = calendar_date_of(value_day);
        if (date.year < 0 || date.year > 9999) {  // beyond four digits: as format_date_time writes it
            out = format_date_time(value);
            has_day = false;
            return out;
        }
        out = format_date(value_day);
        out += ' ';
        day = value_day;
        has_day = true;
    }
    out.resize(11);
    const std::int64_t tod = time_of_day_us(value);
    const auto seconds = static_cast<int>(tod / us_per_second);
    const auto micros = static_cast<int>(tod % us_per_second);
    const auto two = [this](int number) {
        out += static_cast<char>('0' + number / 10);
        out += static_cast<char>('0' + number % 10);
    };
    two(seconds / 3600);
    out += ':';
    two(seconds / 60 % 60);
    out += ':';
    two(seconds % 60);
    if (micros != 0) {
        out += '.';
        for (int scale = 100000; scale > 0; scale /= 10) out += static_cast<char>('0' + micros / scale % 10);
    }
    return out;
}

}  // namespace kmi::emu
