#include "kmi_host/bar_files/time_zone.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <string_view>

#include "kmi_host/text/date_time_text.h"
#include "kmi_host/text/input_error.h"

#ifdef _WIN32
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#include <windows.h>

#include <array>
#include <map>
#include <mutex>
#include <string_view>
#else
#include <cctz/time_zone.h>

#include <cstdlib>
#include <filesystem>
#endif

namespace kmi::emu {
namespace {

constexpr std::int64_t unix_epoch_host_seconds = unix_epoch_host_day * 86400;

std::int64_t floor_seconds(HostDateTime value) {
    return value >= 0 ? value / us_per_second : -((-value + us_per_second - 1) / us_per_second);
}

[[noreturn]] void unknown_zone(const std::string& name) {
    throw InputError("unknown time zone \"" + name +
                     "\": give an IANA name such as America/New_York, America/Chicago, Europe/London or UTC");
}

}  // namespace

const TimeZone& default_chart_zone() {
    static const TimeZone zone = load_time_zone(default_time_zone);
    return zone;
}

TimeZone fixed_time_zone(std::int64_t offset_seconds) {
    TimeZone zone;
    zone.fixed_offset = offset_seconds;
    zone.name = "UTC";
    if (offset_seconds != 0) {
        const std::int64_t minutes = (offset_seconds < 0 ? -offset_seconds : offset_seconds) / 60;
        const auto two_digits = [](std::int64_t value) {
            return std::string(1, static_cast<char>('0' + value / 10)) + static_cast<char>('0' + value % 10);
        };
        zone.name += offset_seconds < 0 ? '-' : '+';
        zone.name += two_digits(minutes / 60 % 100);
        zone.name += ':';
        zone.name += two_digits(minutes % 60);
    }
    return zone;
}

bool is_zone_name(const std::string& name) {
    if (name.empty() || name.size() > 128) return false;
    std::size_t part_start = 0;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && name[i] != '/') {
            const char c = name[i];
            const bool allowed = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                                 c == '_' || c == '-' || c == '+';
            if (!allowed) return false;
            continue;
        }
        const std::string_view part = std::string_view(name).substr(part_start, i - part_start);
        if (part.empty() || part == "." || part == "..") return false;
        part_start = i + 1;
    }
    return true;
}

#ifndef _WIN32

struct ZoneRules {
    cctz::time_zone zone;
};

namespace {

// The file cctz would read for a name: under TZDIR, or the system's tz database.
bool is_zone_file(const std::string& name) {
    const char* dir = std::getenv("TZDIR");
    const std::filesystem::path folder = dir != nullptr && *dir != '\0' ? dir : "/usr/share/zoneinfo";
    std::error_code error;
    return std::filesystem::is_regular_file(folder / name, error);
}

}  // namespace

TimeZone load_time_zone(const std::string& name) {
    auto rules = std::make_shared<ZoneRules>();
    // cctz also reads "localtime", paths and fixed offsets, and would open whatever a name
    // leads to (a FIFO would hang it): only regular files of the tz database are taken here.
    // UTC is cctz's own and needs no file.
    if (!is_zone_name(name) || name == "localtime" || (name != "UTC" && !is_zone_file(name)) ||
        !cctz::load_time_zone(name, &rules->zone)) {
        unknown_zone(name);
    }
    return TimeZone{name, std::move(rules), std::nullopt};
}

OffsetSpan offset_span(const TimeZone& zone, HostDateTime utc) {
    if (zone.fixed_offset)
        return OffsetSpan{*zone.fixed_offset, std::numeric_limits<HostDateTime>::min(),
                          std::numeric_limits<HostDateTime>::max()};
    using Point = std::chrono::time_point<std::chrono::system_clock, cctz::seconds>;
    const cctz::time_zone& rules = zone.rules->zone;
    const std::int64_t seconds = floor_seconds(utc);
    const Point point{cctz::seconds(seconds - unix_epoch_host_seconds)};
    const auto host_us = [](const Point& at) {
        return (static_cast<std::int64_t>(at.time_since_epoch().count()) + unix_epoch_host_seconds) * us_per_second;
    };
    OffsetSpan span{rules.lookup(point).offset, std::numeric_limits<HostDateTime>::min(),
                    std::numeric_limits<HostDateTime>::max()};
    // The instant of a transition is that of the first wall-clock second after it.
    cctz::time_zone::civil_transition transition;
    if (rules.prev_transition(point + cctz::seconds(1), &transition))
        span.from = host_us(rules.lookup(transition.to).trans);
    if (rules.next_transition(point, &transition)) span.until = host_us(rules.lookup(transition.to).trans);
    if (span.from > utc || span.until <= utc)
        span = OffsetSpan{span.offset, seconds * us_per_second, (seconds + 1) * us_per_second};
    return span;
}

#else

namespace {

// IANA names and the Windows zones that keep the same rules (from the Unicode CLDR's
// windowsZones table), for the zones a trader's data is likely to be in.
constexpr std::array<std::pair<std::string_view, std::wstring_view>, 62> windows_zones = {{
    {"UTC", L"UTC"},
    {"Etc/UTC", L"UTC"},
    {"Etc/GMT", L"UTC"},
    {"GMT", L"UTC"},
    {"America/New_York", L"Eastern Standard Time"},
    {"America/Detroit", L"Eastern Standard Time"},
    {"America/Toronto", L"Eastern Standard Time"},
    {"US/Eastern", L"Eastern Standard Time"},
    {"EST5EDT", L"Eastern Standard Time"},
    {"America/Chicago", L"Central Standard Time"},
    {"US/Central", L"Central Standard Time"},
    {"CST6CDT", L"Central Standard Time"},
    {"America/Winnipeg", L"Central Standard Time"},
    {"America/Denver", L"Mountain Standard Time"},
    {"US/Mountain", L"Mountain Standard Time"},
    {"America/Edmonton", L"Mountain Standard Time"},
    {"America/Phoenix", L"US Mountain Standard Time"},
    {"America/Los_Angeles", L"Pacific Standard Time"},
    {"US/Pacific", L"Pacific Standard Time"},
    {"America/Vancouver", L"Pacific Standard Time"},
    {"America/Anchorage", L"Alaskan Standard Time"},
    {"Pacific/Honolulu", L"Hawaiian Standard Time"},
    {"America/Mexico_City", L"Central Standard Time (Mexico)"},
    {"America/Sao_Paulo", L"E. South America Standard Time"},
    {"America/Argentina/Buenos_Aires", L"Argentina Standard Time"},
    {"America/Santiago", L"Pacific SA Standard Time"},
    {"America/Bogota", L"SA Pacific Standard Time"},
    {"America/Halifax", L"Atlantic Standard Time"},
    {"Europe/London", L"GMT Standard Time"},
    {"Europe/Dublin", L"GMT Standard Time"},
    {"Europe/Lisbon", L"GMT Standard Time"},
    {"Europe/Berlin", L"W. Europe Standard Time"},
    {"Europe/Amsterdam", L"W. Europe Standard Time"},
    {"Europe/Zurich", L"W. Europe Standard Time"},
    {"Europe/Rome", L"W. Europe Standard Time"},
    {"Europe/Vienna", L"W. Europe Standard Time"},
    {"Europe/Stockholm", L"W. Europe Standard Time"},
    {"Europe/Oslo", L"W. Europe Standard Time"},
    {"Europe/Luxembourg", L"W. Europe Standard Time"},
    {"Europe/Paris", L"Romance Standard Time"},
    {"Europe/Brussels", L"Romance Standard Time"},
    {"Europe/Madrid", L"Romance Standard Time"},
    {"Europe/Copenhagen", L"Romance Standard Time"},
    {"Europe/Warsaw", L"Central European Standard Time"},
    {"Europe/Prague", L"Central Europe Standard Time"},
    {"Europe/Budapest", L"Central Europe Standard Time"},
    {"Europe/Athens", L"GTB Standard Time"},
    {"Europe/Bucharest", L"GTB Standard Time"},
    {"Europe/Helsinki", L"FLE Standard Time"},
    {"Europe/Moscow", L"Russian Standard Time"},
    {"Europe/Istanbul", L"Turkey Standard Time"},
    {"Asia/Jerusalem", L"Israel Standard Time"},
    {"Asia/Dubai", L"Arabian Standard Time"},
    {"Asia/Kolkata", L"India Standard Time"},
    {"Asia/Shanghai", L"China Standard Time"},
    {"Asia/Hong_Kong", L"China Standard Time"},
    {"Asia/Singapore", L"Singapore Standard Time"},
    {"Asia/Tokyo", L"Tokyo Standard Time"},
    {"Asia/Seoul", L"Korea Standard Time"},
    {"Australia/Sydney", L"AUS Eastern Standard Time"},
    {"Australia/Melbourne", L"AUS Eastern Standard Time"},
    {"Pacific/Auckland", L"New Zealand Standard Time"},
}};

SYSTEMTIME system_time_of(std::int64_t host_seconds) {
    const std::int64_t day = host_seconds >= 0 ? host_seconds / 86400 : -((-host_seconds + 86399) / 86400);
    const std::int64_t second = host_seconds - day * 86400;
    const CalendarDate date = calendar_date_of(day);
    SYSTEMTIME out{};
    out.wYear = static_cast<WORD>(date.year);
    out.wMonth = static_cast<WORD>(date.month);
    out.wDay = static_cast<WORD>(date.day);
    out.wHour = static_cast<WORD>(second / 3600);
    out.wMinute = static_cast<WORD>(second / 60 % 60);
    out.wSecond = static_cast<WORD>(second % 60);
    return out;
}

std::int64_t host_seconds_of(const SYSTEMTIME& time) {
    return host_day_of(time.wYear, time.wMonth, time.wDay) * 86400 + time.wHour * 3600 + time.wMinute * 60 +
           time.wSecond;
}

}  // namespace

struct ZoneRules {
    DYNAMIC_TIME_ZONE_INFORMATION zone{};
    // The zone's rules of each year asked for, from the API; kept, as asking reads the
    // registry.
    mutable std::mutex mutex;
    mutable std::map<int, TIME_ZONE_INFORMATION> years;

    bool year_rules(int year, TIME_ZONE_INFORMATION& out) const {
        const std::lock_guard<std::mutex> lock(mutex);
        const auto known = years.find(year);
        if (known != years.end()) {
            out = known->second;
            return true;
        }
        DYNAMIC_TIME_ZONE_INFORMATION query = zone;
        if (!GetTimeZoneInformationForYear(static_cast<USHORT>(year), &query, &out)) return false;
        years[year] = out;
        return true;
    }
};

TimeZone load_time_zone(const std::string& name) {
    if (!is_zone_name(name)) unknown_zone(name);
    const auto known = std::find_if(windows_zones.begin(), windows_zones.end(),
                                    [&name](const auto& entry) { return entry.first == name; });
    if (known == windows_zones.end()) unknown_zone(name);
    auto rules = std::make_shared<ZoneRules>();
    std::copy(known->second.begin(), known->second.end(), rules->zone.TimeZoneKeyName);
    TIME_ZONE_INFORMATION probe{};
    if (!rules->year_rules(2000, probe)) unknown_zone(name);
    return TimeZone{name, std::move(rules), std::nullopt};
}

namespace {

// The offset at one second of UTC, by the zone's rules of that year.
std::int64_t offset_at_second(const TimeZone& zone, std::int64_t seconds) {
    const SYSTEMTIME utc_time = system_time_of(seconds);
    int year = utc_time.wYear;
    for (int attempt = 0; attempt < 2; ++attempt) {
        TIME_ZONE_INFORMATION rules{};
        SYSTEMTIME local{};
        if (!zone.rules->year_rules(year, rules) || !SystemTimeToTzSpecificLocalTime(&rules, &utc_time, &local)) {
            return 0;
        }
        // Near New Year the local year may differ from UTC's: its own rules then apply.
        if (local.wYear == year || attempt == 1) return host_seconds_of(local) - seconds;
        year = local.wYear;
    }
    return 0;
}

}  // namespace

OffsetSpan offset_span(const TimeZone& zone, HostDateTime utc) {
    if (zone.fixed_offset)
        return OffsetSpan{*zone.fixed_offset, std::numeric_limits<HostDateTime>::min(),
                          std::numeric_limits<HostDateTime>::max()};
    const std::int64_t seconds = floor_seconds(utc);
    // The API tells the offset of one moment, not the span it holds for: the span is the second.
    return OffsetSpan{offset_at_second(zone, seconds), seconds * us_per_second, (seconds + 1) * us_per_second};
}

#endif

WallTimeInstants instants_of(ZoneOffsets& offsets, HostDateTime wall) {
    // The offsets a day before and a day after bound the offsets that can apply; an offset
    // applies when the instant it gives has that very offset.
    const std::int64_t before = utc_offset_seconds(offsets, wall - us_per_day);
    const std::int64_t after = utc_offset_seconds(offsets, wall + us_per_day);
    const auto applies = [&](std::int64_t offset) {
        return utc_offset_seconds(offsets, wall - offset * us_per_second) == offset;
    };
    const bool before_applies = applies(before);
    if (before == after) {
        if (before_applies)
            return {WallTimeInstants::Kind::unique, wall - before * us_per_second, wall - before * us_per_second};
    } else {
        const bool after_applies = applies(after);
        if (before_applies && after_applies) {
            const HostDateTime first = wall - std::max(before, after) * us_per_second;
            const HostDateTime second = wall - std::min(before, after) * us_per_second;
            return {WallTimeInstants::Kind::repeated, first, second};
        }
        if (before_applies || after_applies) {
            const HostDateTime only = wall - (before_applies ? before : after) * us_per_second;
            return {WallTimeInstants::Kind::unique, only, only};
        }
    }
    const HostDateTime moved = wall - before * us_per_second;
    return {WallTimeInstants::Kind::skipped, moved, moved};
}

}  // namespace kmi::emu
