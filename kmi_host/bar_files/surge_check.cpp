#include "kmi_host/bar_files/surge_check.h"

#include "kmi_host/bar_files/reader.h"

#include <map>

#include "kmi_host/bar_files/time_zone.h"
#include "kmi_host/text/date_time_text.h"

namespace kmi::emu {
namespace {

// Zones a trader's file is commonly in.
constexpr const char* common_zones[] = {
    "UTC",           "America/New_York", "America/Chicago", "America/Denver", "America/Los_Angeles", "Europe/London",
    "Europe/Berlin", "Europe/Athens",    "Asia/Hong_Kong",  "Asia/Tokyo",     "Australia/Sydney"};

// The bar of each day (of New York's calendar) where the volume jumps most from the bar
// before it (from nothing after a gap of more than an hour). `times` are the bars' New York
// wall-clock times.
std::vector<std::size_t> daily_surges(const std::vector<Bar>& bars, const std::vector<HostDateTime>& times) {
    std::vector<std::size_t> surges;
    std::int64_t day = 0;
    float best = 0.0f;
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const std::int64_t bar_day = host_day(times[i]);
        if (surges.empty() || bar_day != day) {
            surges.push_back(i);
            best = 0.0f;
            day = bar_day;
        }
        const bool follows = i > 0 && times[i] - times[i - 1] <= 3600 * us_per_second;
        const float jump = bars[i].volume - (follows ? bars[i - 1].volume : 0.0f);
        if (jump > best) {
            best = jump;
            surges.back() = i;
        }
    }
    return surges;
}

std::string clock_text(std::int64_t second) {
    const std::string text = format_date_time(second * us_per_second);
    return text.substr(11, 5);
}

}  // namespace

std::optional<std::string> surge_note(const std::vector<Bar>& bars, const std::string& file,
                                      const std::optional<TimeZone>& naive_zone, bool stamped_at_start,
                                      const TimeZone& chart_zone) {
    if (bars.size() < 2) return std::nullopt;
    // The regular session is New York's, the default chart zone.
    ZoneOffsets chart{chart_zone, {}};
    ZoneOffsets new_york{default_chart_zone(), {}};
    std::vector<HostDateTime> times;
    times.reserve(bars.size());
    for (const Bar& bar : bars) times.push_back(wall_time_of(new_york, instants_of(chart, bar.time).earlier));
    const std::vector<std::size_t> surges = daily_surges(bars, times);
    std::map<std::int64_t, std::size_t> days_by_second;
    for (const std::size_t bar : surges) {
        if (bars[bar].volume > 0.0f) ++days_by_second[time_of_day_us(times[bar]) / us_per_second];
    }
    std::int64_t second = 0;
    std::size_t days = 0;
    std::size_t all_days = 0;
    for (const auto& [at, count] : days_by_second) {
        all_days += count;
        if (count > days) {
            second = at;
            days = count;
        }
    }
    const std::int64_t away = second - new_york_open_second;
    if (days < 3 || days * 5 < all_days * 3 || away == 0) return std::nullopt;
    const std::string in_new_york = chart_zone.name == default_chart_zone().name ? "" : " New York time";
    const std::string open = " the session's open at " + clock_text(new_york_open_second) + in_new_york;
    const std::string surges_at = file + ": its volume surges at " + clock_text(second) + in_new_york + " on " +
                                  std::to_string(days) + " of its " + std::to_string(all_days) + " days, ";
    if (stamped_at_start && away == typical_bar_seconds(bars)) {
        return surges_at + "one bar after" + open + ": its bars are probably stamped at their end (--bar-stamps end)";
    }
    if (!naive_zone || away % 3600 != 0) return std::nullopt;

    // The zone that, reading the file's times, puts the surges at the open.
    ZoneOffsets naive{*naive_zone, {}};
    std::string fitting;
    for (const char* name : common_zones) {
        if (name == naive_zone->name) continue;
        ZoneOffsets candidate{load_time_zone(name), {}};
        std::size_t fits = 0;
        for (const std::size_t bar : surges) {
            if (bars[bar].volume <= 0.0f) continue;
            const HostDateTime written = wall_time_of(naive, instants_of(chart, bars[bar].time).earlier);
            const HostDateTime moved = wall_time_of(new_york, instants_of(candidate, written).earlier);
            if (time_of_day_us(moved) / us_per_second == new_york_open_second) ++fits;
        }
        if (fits * 5 >= all_days * 3) {
            fitting = name;
            break;
        }
    }
    const std::int64_t hours = (away < 0 ? -away : away) / 3600;
    return surges_at + std::to_string(hours) + (hours == 1 ? " hour " : " hours ") + (away > 0 ? "after" : "before") +
           open + ": its times are probably not " + naive_zone->name + " time" +
           (fitting.empty()
                ? std::string(" (--data-time-zone reads them in another zone)")
                : "; read as " + fitting + " time they surge at the open (--data-time-zone " + fitting + ")");
}

}  // namespace kmi::emu
