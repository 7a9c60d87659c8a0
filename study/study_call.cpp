#include "study/study_call.h"

#include "host/host_datetime.h"
#include "metrics/output_values.h"
#include "panel/panel.h"
#include "settings/declare_defaults.h"
#include "sources/diagnostics_report.h"
#include "sources/resolve_sources.h"
#include "sources/source_views.h"
#include "sources/source_walk.h"
#include "study/study_state.h"

namespace kmi {
namespace {

// The call recalculates from the first bar when it starts there or reaches back into
// bars already walked.
bool starts_rebuild(const HostInterface& host, const StudyState& state) noexcept {
    return host.update_start_index == 0 || host.update_start_index <= state.last_closed_bar;
}

CountingRules counting_rules(const StudyState& state) noexcept {
    return CountingRules{&state.session_window, state.upper_threshold, state.lower_threshold};
}

// The bound of closed chart bar b from its start and the next bar's start.
std::int64_t bound_from_starts(std::int64_t start, std::int64_t next, std::int64_t bar_period_ms) noexcept {
    if (bar_period_ms >= 1 && next >= start + bar_period_ms) return start + bar_period_ms;
    return next;
}

// Every chart bar closed since the last call, in bar order, folded into the persistent
// records and written once. Each bar's start is converted once (it is the previous bar's
// next start), and each source's walk resumes from the bar it stopped at.
void walk_closed_chart_bars(HostInterface& host, StudyState& state, const SourceViews& views,
                            std::int64_t bar_period_ms) noexcept {
    const CountingRules rules = counting_rules(state);
    const std::int64_t last_closed = static_cast<std::int64_t>(host.bar_count) - 2;
    std::array<WalkMemo, source_slot_count> memos{};
    OutputBlock block;
    std::int32_t b = state.last_closed_bar + 1;
    if (b > last_closed) return;
    std::int64_t start = to_milliseconds(host_at(host.bar_datetimes, b));
    for (; b <= last_closed; ++b) {
        const std::int64_t next = to_milliseconds(host_at(host.bar_datetimes, b + 1));
        const std::int64_t bound = bound_from_starts(start, next, bar_period_ms);
        start = next;
        for (std::size_t slot = 0; slot < views.views.size(); ++slot) {
            if (!views.source_resolved[slot]) continue;
            walk_closed_bars(state.sources[slot], views.views[slot], views.source_bar_period_ms[slot], bound, rules,
                             memos[slot]);
        }
        take_chart_bar(state.chart_flow, state.session_window, host, b);
        add_output_values(host, block, b, state.sources, state.chart_flow);
        state.last_closed_bar = b;
    }
    store_output_block(host, block);
}

struct LiveCopies {
    SourceSessions sources{};
    ChartFlow chart_flow;
    std::int64_t bound_ms = unbounded_ms;
};

// The chart's last, forming bar, computed on copies: the persistent records are taken
// by const reference and never change here.
LiveCopies compute_live_bar(HostInterface& host, const StudyState& state, const SourceViews& views,
                            std::int64_t bar_period_ms) noexcept {
    LiveCopies live{state.sources, state.chart_flow, unbounded_ms};
    if (host.bar_count < 1) return live;
    const std::int32_t last = host.bar_count - 1;
    live.bound_ms = compute_live_bound(host, bar_period_ms);
    const CountingRules rules = counting_rules(state);
    for (std::size_t slot = 0; slot < views.views.size(); ++slot) {
        if (!views.source_resolved[slot]) continue;
        live.sources[slot] = provisional_copy(state.sources[slot], views.views[slot], views.source_bar_period_ms[slot],
                                              live.bound_ms, rules);
    }
    take_chart_bar(live.chart_flow, state.session_window, host, last);
    write_output_values(host, last, live.sources, live.chart_flow);
    return live;
}

void run_calculation_call(HostInterface& host, StudyState& state, std::int32_t line_base) noexcept {
    const std::int64_t bar_period_ms = chart_bar_period_ms(host);
    bool rebuild = starts_rebuild(host, state);
    if (rebuild) resolve_sources(host, state);
    const SourceViews views = prepare_source_views(host, state, rebuild);
    if (rebuild) reset_for_rebuild(state, host);
    walk_closed_chart_bars(host, state, views, bar_period_ms);
    const LiveCopies live = compute_live_bar(host, state, views, bar_period_ms);
    if (rebuild) write_diagnostics_report(host, state, views);
    update_panel(host, state, line_base, PanelReadings{&views, &live.sources, &live.chart_flow, live.bound_ms});
}

}  // namespace

bool host_layout_matches(const HostInterface& host) noexcept {
    return host.record_size == sizeof(HostInterface) && host.layout_version == KMI_HOST_LAYOUT_VERSION;
}

std::int64_t chart_bar_period_ms(const HostInterface& host) noexcept {
    return host.bar_seconds >= 1 ? static_cast<std::int64_t>(host.bar_seconds) * 1000 : 0;
}

void run_study_call(HostInterface& host) noexcept {
    if (host.is_defaults_call != 0) {
        declare_defaults(host);
        return;
    }
    StudyState* state = fetch_state(host);
    const std::int32_t line_base = panel_line_base(host.study_id);
    if (host.is_last_call != 0) {
        delete_panel_block(host, line_base);
        release_state(host, state);
        return;
    }
    state = acquire_state(host);
    if (state == nullptr) return;  // no memory: end quietly, the next call tries again
    run_calculation_call(host, *state, line_base);
}

}  // namespace kmi
