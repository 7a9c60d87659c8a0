#include "kmi_host/replay/session_hours.h"

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

#include "kmi_host/text/date_time_text.h"

namespace kmi::emu {
namespace {

constexpr std::int64_t new_york_start = 9 * 3600 + 30 * 60;
constexpr std::int64_t new_york_end = 57600;  // 16:00
// The runs of other dates told, at most.
constexpr std::size_t runs_told = 4;

// The session's start and end as seconds of the chart's day.
using Window = std::pair<std::int64_t, std::int64_t>;

// A run of weekdays on which the session falls elsewhere than on most days.
struct OtherRun {
    std::int64_t first_day = 0;
    std::int64_t last_day = 0;
    Window window;
};

std::string clock(std::int64_t second) { return format_date_time(second * us_per_second).substr(11, 5); }

std::string window_text(const Window& window) { return clock(window.first) + " to " + clock(window.second); }

struct Sessions {
    std::vector<std::pair<std::int64_t, Window>> days;  // each New York weekday, and its window
    Window usual;
};

// The window of every weekday of the years from `first_year` to `last_year`.
Sessions sessions_of(const TimeZone& chart_zone, std::int32_t first_year, std::int32_t last_year) {
    ZoneOffsets chart{chart_zone, {}};
    ZoneOffsets new_york{default_chart_zone(), {}};
    Sessions sessions;
    std::map<Window, std::size_t> counts;
    const std::int64_t end_day = host_day_of(last_year + 1, 1, 1);
    for (std::int64_t day = host_day_of(first_year, 1, 1); day < end_day; ++day) {
        if (weekday(day) >= 5) continue;
        const auto chart_second = [&](std::int64_t second) {
            const HostDateTime instant = instants_of(new_york, day * us_per_day + second * us_per_second).earlier;
            return time_of_day_us(wall_time_of(chart, instant)) / us_per_second;
        };
        const Window window{chart_second(new_york_start), chart_second(new_york_end)};
        sessions.days.emplace_back(day, window);
        ++counts[window];
    }
    sessions.usual = std::max_element(counts.begin(), counts.end(), [](const auto& a, const auto& b) {
                         return a.second < b.second;
                     })->first;
    return sessions;
}

// The runs of weekdays from `from_day` to `to_day` whose window is not the usual one.
std::vector<OtherRun> other_runs(const Sessions& sessions, std::int64_t from_day, std::int64_t to_day) {
    std::vector<OtherRun> runs;
    bool in_run = false;
    for (const auto& [day, window] : sessions.days) {
        if (day < from_day || day > to_day) continue;
        if (window == sessions.usual) {
            in_run = false;
            continue;
        }
        if (in_run && runs.back().window == window) {
            runs.back().last_day = day;
        } else {
            runs.push_back(OtherRun{day, day, window});
        }
        in_run = true;
    }
    return runs;
}

std::string runs_text(const std::vector<OtherRun>& runs) {
    const std::size_t told = std::min(runs.size(), runs_told);
    std::string text;
    for (std::size_t i = 0; i < told; ++i) {
        if (i > 0) text += i + 1 == told && runs.size() == told ? " and " : ", ";
        // A window said once for the runs after it that share it.
        if (i == 0 || runs[i].window != runs[i - 1].window) text += window_text(runs[i].window) + " ";
        text += "from " + format_date(runs[i].first_day) + " to " + format_date(runs[i].last_day);
    }
    if (runs.size() > runs_told) text += ", and on " + std::to_string(runs.size() - runs_told) + " more runs of days";
    return text;
}

}  // namespace

std::optional<std::string> session_hours_note(const TimeZone& chart_zone, std::int64_t window_start,
                                              std::int64_t window_end, HostDateTime first_bar, HostDateTime last_bar) {
    const std::int64_t first_day = host_day(first_bar), last_day = host_day(last_bar);
    const Sessions sessions =
        sessions_of(chart_zone, calendar_date_of(first_day).year, calendar_date_of(last_day).year);
    const Window usual = sessions.usual;
    const Window inputs{window_start, window_end};
    const Window new_york{new_york_start, new_york_end};
    const std::string zone = "the chart's time zone is " + chart_zone.name;
    if (inputs == new_york && usual != new_york) {
        std::string note = zone + ", where New York's regular session (09:30 to 16:00 New York time) is " +
                           window_text(usual) + " on most days";
        if (usual.second <= usual.first) {
            return note +
                   ", across midnight, which the study's session window cannot hold: chart in New York time "
                   "(--time-zone America/New_York)";
        }
        note +=
            "; the session-window inputs, which the study reads in the chart's zone, are still 09:30 and "
            "16:00: set inputs 8 and 9 to " +
            clock(usual.first) + " and " + clock(usual.second) + " (an --inputs file of {\"8\": \"" +
            clock(usual.first) + "\", \"9\": \"" + clock(usual.second) + "\"})";
        const std::vector<OtherRun> runs =
            other_runs(sessions, sessions.days.front().first, sessions.days.back().first);
        if (!runs.empty()) {
            note += ". The two zones change their clocks on different dates: there the session is " + runs_text(runs) +
                    ", when that window is an hour off";
        }
        return note;
    }
    if (inputs == usual && usual != new_york) {
        const std::vector<OtherRun> runs = other_runs(sessions, first_day, last_day);
        if (runs.empty()) return std::nullopt;
        return zone + ", where New York's regular session is " + window_text(usual) +
               " on most days, as the session-window inputs say; but the two zones change their clocks on "
               "different dates: on the chart's days the session there is " +
               runs_text(runs) + ", when the window is an hour off";
    }
    return std::nullopt;
}

}  // namespace kmi::emu
