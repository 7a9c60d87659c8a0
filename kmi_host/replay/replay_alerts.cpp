#include "kmi_host/replay/replay_alerts.h"

#include <algorithm>

#include "host/host_text.h"
#include "kmi_host/alerts/judging.h"
#include "kmi_host/alerts/rules_file.h"
#include "kmi_host/text/input_error.h"
#include "kmi_host/text/path_text.h"

namespace kmi::emu {
namespace {

std::vector<std::string> declared_names(const Host& host) {
    std::vector<std::string> names;
    names.reserve(host.study.outputs.size());
    for (const HostOutputSeries& output : host.study.outputs) names.push_back(text_chars(output.name));
    return names;
}

std::vector<const std::vector<float>*> series_of(const std::vector<std::vector<float>>& values) {
    std::vector<const std::vector<float>*> series;
    series.reserve(values.size());
    for (const std::vector<float>& one : values) series.push_back(&one);
    return series;
}

}  // namespace

std::vector<AlertRule> resolve_alert_rules(const std::vector<std::string>& alerts, const std::string& alerts_file,
                                           const Host& host) {
    const std::vector<std::string> declared = declared_names(host);
    std::vector<AlertRule> rules;
    for (const std::string& text : alerts) {
        try {
            rules.push_back(parse_alert_rule(text, declared));
        } catch (const InputError& error) {
            throw InputError(std::string("--alert: ") + error.what());
        }
    }
    if (!alerts_file.empty()) {
        std::vector<AlertRule> read = read_alert_rules(path_of(alerts_file), declared);
        rules.insert(rules.end(), read.begin(), read.end());
    }
    return rules;
}

void judge_after_call(ReplayAlerts& alerts, const Host& host, bool full, bool live,
                      const std::function<void(const FiredAlert&)>& tell) {
    if (alerts.rules.empty()) return;
    const std::vector<HostDateTime>& times = host.charts.at(host.study.chart_number).times;
    const std::vector<const std::vector<float>*> series = series_of(host.study.series);
    const auto bars = static_cast<std::int32_t>(times.size());
    // Bars judged before and judged again are not told again.
    const std::int32_t told_before = full ? std::min(alerts.judged, bars) : 0;
    if (full || alerts.judged > bars) {
        alerts.closed.clear();
        alerts.judged = 0;
    }
    const std::int32_t closed_bars = std::max(bars - 1, 0);
    if (closed_bars > alerts.judged) {
        for (FiredAlert& alert : judge_closed_bars(alerts.rules, times, series, alerts.judged, closed_bars)) {
            const bool told = alert.bar < told_before || alerts.told_forming.contains({alert.bar, alert.rule});
            if (!told && tell) tell(alert);
            alerts.closed.push_back(std::move(alert));
        }
        alerts.judged = closed_bars;
    }
    alerts.shown = alerts.closed;
    if (!live || bars == 0) return;
    for (FiredAlert& alert : judge_forming_bar(alerts.rules, times, series, bars - 1)) {
        if (alerts.told_forming.insert({alert.bar, alert.rule}).second && tell) tell(alert);
        alerts.shown.push_back(std::move(alert));
    }
}

std::vector<FiredAlert> final_alerts(const std::vector<AlertRule>& rules, const ChartPageData& page) {
    if (rules.empty()) return {};
    std::vector<const std::vector<float>*> series;
    series.reserve(page.series.size());
    for (const PageSeries& one : page.series) series.push_back(&one.values);
    return judge_closed_bars(rules, page.times, series, 0, static_cast<std::int32_t>(page.times.size()));
}

}  // namespace kmi::emu
