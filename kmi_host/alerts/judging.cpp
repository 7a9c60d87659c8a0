#include "kmi_host/alerts/judging.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <system_error>

#include "kmi_host/text/date_time_text.h"

namespace kmi::emu {
namespace {

using SeriesValues = std::vector<const std::vector<float>*>;

float series_value(const SeriesValues& series, std::int32_t k, std::int32_t bar) {
    if (k < 0 || static_cast<std::size_t>(k) >= series.size() || series[static_cast<std::size_t>(k)] == nullptr)
        return 0.0f;
    const std::vector<float>& values = *series[static_cast<std::size_t>(k)];
    return bar >= 0 && static_cast<std::size_t>(bar) < values.size() ? values[static_cast<std::size_t>(bar)] : 0.0f;
}

// Whether the rule fires on a bar of value `now`, the bar before having `before` (none on bar 0).
bool fires(const AlertRule& rule, const float* before, float now) {
    const float level = rule.level;
    switch (rule.comparison) {
        case AlertComparison::at_or_above: return now >= level && !(before != nullptr && *before >= level);
        case AlertComparison::at_or_below: return now <= level && !(before != nullptr && *before <= level);
        case AlertComparison::crosses_above: return before != nullptr && *before < level && now >= level;
        case AlertComparison::crosses_below: return before != nullptr && *before > level && now <= level;
        case AlertComparison::crosses:
            return before != nullptr && ((*before < level && now >= level) || (*before > level && now <= level));
    }
    return false;
}

void judge_bar(const std::vector<AlertRule>& rules, const std::vector<HostDateTime>& times, const SeriesValues& series,
               std::int32_t bar, bool forming, std::vector<FiredAlert>& out) {
    for (const AlertRule& rule : rules) {
        const float now = series_value(series, rule.series, bar);
        const float before = series_value(series, rule.series, bar - 1);
        if (!fires(rule, bar > 0 ? &before : nullptr, now)) continue;
        out.push_back(FiredAlert{bar, times[static_cast<std::size_t>(bar)], rule.text, rule.series_name, now, forming});
    }
}

std::int32_t bar_count(const std::vector<HostDateTime>& times) {
    return static_cast<std::int32_t>(std::min<std::size_t>(times.size(), std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

std::vector<FiredAlert> judge_closed_bars(const std::vector<AlertRule>& rules, const std::vector<HostDateTime>& times,
                                          const SeriesValues& series, std::int32_t from_bar, std::int32_t to_bar) {
    std::vector<FiredAlert> alerts;
    const std::int32_t end = std::min(to_bar, bar_count(times));
    for (std::int32_t bar = std::max(from_bar, 0); bar < end; ++bar)
        judge_bar(rules, times, series, bar, false, alerts);
    return alerts;
}

std::vector<FiredAlert> judge_forming_bar(const std::vector<AlertRule>& rules, const std::vector<HostDateTime>& times,
                                          const SeriesValues& series, std::int32_t bar) {
    std::vector<FiredAlert> alerts;
    if (bar >= 0 && bar < bar_count(times)) judge_bar(rules, times, series, bar, true, alerts);
    return alerts;
}

std::string alert_line(const FiredAlert& alert) {
    char value[64];  // any float in plain decimals takes at most 48 characters
    const auto written = std::to_chars(value, value + sizeof value, alert.value, std::chars_format::fixed);
    std::string line = "alert " + format_date_time(alert.time) + "  " + alert.rule + "  (" + alert.series + " ";
    if (written.ec == std::errc()) line.append(value, written.ptr);
    line += ")";
    if (alert.forming) line += " (forming)";
    return line;
}

}  // namespace kmi::emu
