#include "sources/source_views.h"

#include "host/host_text.h"
#include "sources/source_walk.h"

namespace kmi {
namespace {

// This chart's own arrays: no host request.
SourceView this_chart_view(const HostInterface& host) noexcept {
    SourceView view;
    view.open = host.bar_open;
    view.high = host.bar_high;
    view.low = host.bar_low;
    view.close = host.bar_close;
    view.bar_times = host.bar_datetimes;
    view.bar_count = host.bar_count > 0 ? host.bar_count : 0;
    return view;
}

// Another chart's arrays as the host hands them out for this call.
SourceView other_chart_view(HostInterface& host, std::int32_t chart) noexcept {
    HostChartArrays set{};
    HostDateTimeArray times{};
    if (host.get_chart_base_data != nullptr) host.get_chart_base_data(&host, chart, &set);
    if (host.get_chart_bar_datetimes != nullptr) host.get_chart_bar_datetimes(&host, chart, &times);
    SourceView view;
    view.open = set.arrays[0];
    view.high = set.arrays[1];
    view.low = set.arrays[2];
    view.close = set.arrays[3];
    view.bar_times = times;
    const std::int32_t time_count = host_count(times);
    const std::int32_t close_count = host_count(view.close);
    view.bar_count = time_count < close_count ? time_count : close_count;
    if (view.bar_count < 0) view.bar_count = 0;
    return view;
}

// The source chart's bar length in ms: count seconds for a fixed-time period (kind 2,
// sub-kind 0, count 1 or more), else 0. The record's text is released right away.
std::int64_t other_chart_period_ms(HostInterface& host, std::int32_t chart) noexcept {
    HostBarPeriod period{};
    period.extra[3] = 1;  // the pre-set record: 0, 0, 0, 0, 0, 0, 1, 0
    period.text = make_text();
    if (host.get_bar_period != nullptr) host.get_bar_period(&host, chart, &period);
    const bool fixed_time = period.kind == 2 && period.sub_kind == 0 && period.count >= 1;
    const std::int64_t period_ms = fixed_time ? static_cast<std::int64_t>(period.count) * 1000 : 0;
    release(period.text);
    return period_ms;
}

// A record that has walked part of the source no longer matches the chart when the
// chart has fewer bars than it walked, or when its last walked bar now starts at another
// time. Bars appended at the end are no change.
bool history_changed(const SourceSession& session, const SourceView& view) noexcept {
    if (session.next_bar == 0) return false;
    if (session.next_bar > view.bar_count) return true;
    // next_bar is never negative in a walked record; a negative one reads bar 0.
    const std::int32_t last_walked = session.next_bar > 0 ? session.next_bar - 1 : 0;
    return source_bar_start_ms(view, last_walked) != session.consumed_bar_start_ms;
}

}  // namespace

std::int64_t chart_bar_period_ms(const HostInterface& host) noexcept {
    return host.bar_seconds >= 1 ? static_cast<std::int64_t>(host.bar_seconds) * 1000 : 0;
}

SourceViews prepare_source_views(HostInterface& host, const SourceBindings& bindings,
                                 const std::array<SourceSession, source_slot_count>& sessions, bool& rebuild) noexcept {
    SourceViews views;
    const std::int64_t this_chart_period_ms = chart_bar_period_ms(host);
    for (std::size_t i = 0; i < views.views.size(); ++i) {
        const std::int32_t chart = bindings.chart_numbers[i];
        if (chart <= 0) continue;
        views.source_resolved[i] = true;
        if (bindings.is_this_chart[i]) {
            views.views[i] = this_chart_view(host);
            views.source_bar_period_ms[i] = this_chart_period_ms;
        } else {
            views.views[i] = other_chart_view(host, chart);
            views.source_bar_period_ms[i] = other_chart_period_ms(host, chart);
        }
        if (!rebuild && history_changed(sessions[i], views.views[i])) rebuild = true;
    }
    return views;
}

}  // namespace kmi
