#include "study/study_call.h"

#include <utility>

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

// A run of consecutive closed chart bars, worked through source by source: each source
// is walked up to every bar's end in one go and the values it gives are set in the bar's
// row as the walk passes that end. Reading one source's arrays in long runs, rather than
// all nine a bar at a time, keeps long charts streaming from memory. About 50 KB of
// stack; nothing in it is read before it is set, so it is left uninitialised (clearing
// it would cost an ordinary update more than its walk).
struct ChartBarBlock {
    static constexpr int capacity = 512;
    std::int32_t first_bar = 0;
    int count = 0;
    std::array<std::int64_t, capacity> starts;  // each bar's start, in milliseconds
    std::array<std::int64_t, capacity> bounds;  // each bar's end, up to which the sources are walked
    OutputColumns<static_cast<std::size_t>(capacity)> values;
};

OutputColumnsRow<static_cast<std::size_t>(ChartBarBlock::capacity)> row_of(ChartBarBlock& block, int i) noexcept {
    return OutputColumnsRow<static_cast<std::size_t>(ChartBarBlock::capacity)>{&block.values, i};
}

// A walk of a slot's source; a slot without one keeps its record.
SourceWalk begin_slot_walk(const StudyState& state, const SourceViews& views, int slot, const WalkMemo& memo) noexcept {
    const auto s = static_cast<std::size_t>(slot);
    const SourceView none{};
    return begin_walk(state.sources[s], views.source_resolved[s] ? views.views[s] : none, views.source_bar_period_ms[s],
                      counting_rules(state), memo);
}

void end_slot_walk(const SourceWalk& walk, StudyState& state, int slot,
                   std::array<WalkMemo, source_slot_count>& memos) noexcept {
    const auto s = static_cast<std::size_t>(slot);
    end_walk(walk, state.sources[s], memos[s]);
}

// The slots whose values come from their own record alone.
template <typename SetValues>
void walk_one(StudyState& state, const SourceViews& views, int slot, ChartBarBlock& block,
              std::array<WalkMemo, source_slot_count>& memos, SetValues set_values) noexcept {
    SourceWalk walk = begin_slot_walk(state, views, slot, memos[static_cast<std::size_t>(slot)]);
    walk_run(walk, block.bounds.data(), block.count, [&block, set_values](int i, const SourceSession& session) {
        auto row = row_of(block, i);
        set_values(row, i, session);
    });
    end_slot_walk(walk, state, slot, memos);
}

// The pairs whose values compare two records as of the same bar end: the first source
// is walked alone, keeping per bar only the fields the reading takes from it
// (`keep(record)`), then the second, whose values are set with the kept fields of the
// same bar. Walking them one at a time keeps each walk's record in registers.
template <typename Keep, typename SetValues>
void walk_pair(StudyState& state, const SourceViews& views, int first_slot, int second_slot, ChartBarBlock& block,
               std::array<WalkMemo, source_slot_count>& memos, Keep keep, SetValues set_values) noexcept {
    using Kept = decltype(keep(std::declval<const SourceSession&>()));
    std::array<Kept, ChartBarBlock::capacity> kept;  // set for a bar before it is read
    SourceWalk first = begin_slot_walk(state, views, first_slot, memos[static_cast<std::size_t>(first_slot)]);
    walk_run(first, block.bounds.data(), block.count,
             [&kept, keep](int i, const SourceSession& record) { kept[static_cast<std::size_t>(i)] = keep(record); });
    end_slot_walk(first, state, first_slot, memos);
    walk_one(state, views, second_slot, block, memos, [&kept, set_values](auto& row, int i, const SourceSession& s) {
        set_values(row, kept[static_cast<std::size_t>(i)], s);
    });
}

// This chart's flow over the block, with the bar starts already converted. The array
// records are copied so that their pointers and counts stay in registers, and the loop is
// compiled once for arrays that all have their memory (host_at's test of the pointer is
// then known true) and once for the rest.
void fold_chart_flow(const HostInterface& host, StudyState& state, ChartBarBlock& block) noexcept {
    const HostFloatArray close = host.bar_close;
    const HostFloatArray high = host.bar_high;
    const HostFloatArray low = host.bar_low;
    const HostFloatArray volume = host.bar_volume;
    const HostFloatArray ask = host.bar_ask_volume;
    const HostFloatArray bid = host.bar_bid_volume;
    const auto loop = [&] {
        ChartFlow flow = state.chart_flow;
        DayClock clock;
        for (int i = 0; i < block.count; ++i) {
            const std::int32_t b = block.first_bar + i;
            const DayTime when = day_time(clock, block.starts[static_cast<std::size_t>(i)]);
            fold_chart_bar(flow, state.session_window, when, static_cast<double>(host_at(close, b)), [&] {
                return ChartBarFlow{host_at(high, b), host_at(low, b), host_at(volume, b), host_at(ask, b),
                                    host_at(bid, b)};
            });
            auto row = row_of(block, i);
            set_chart_flow_values(row, flow);
        }
        state.chart_flow = flow;
    };
    const bool all_present = close.data != nullptr && high.data != nullptr && low.data != nullptr &&
                             volume.data != nullptr && ask.data != nullptr && bid.data != nullptr;
    if (all_present) {  // NOLINT(bugprone-branch-clone): one loop, compiled twice
        loop();
    } else {
        loop();
    }
}

void walk_block(HostInterface& host, StudyState& state, const SourceViews& views, ChartBarBlock& block,
                std::array<WalkMemo, source_slot_count>& memos) noexcept {
    // Lambdas rather than function pointers, so that each walk's loop has its values inline.
    walk_one(state, views, slot_tick, block, memos,
             [](auto& row, int, const SourceSession& s) { set_tick_values(row, s); });
    walk_one(state, views, slot_add, block, memos,
             [](auto& row, int, const SourceSession& s) { set_add_values(row, s); });
    walk_one(state, views, slot_vold, block, memos,
             [](auto& row, int, const SourceSession& s) { set_vold_value(row, s); });
    walk_one(state, views, slot_updown_ratio, block, memos,
             [](auto& row, int, const SourceSession& s) { set_updown_value(row, s); });
    walk_one(state, views, slot_vix, block, memos,
             [](auto& row, int, const SourceSession& s) { set_vix_values(row, s); });
    walk_pair(
        state, views, slot_front, slot_back, block, memos,
        [](const SourceSession& front) { return latest_value_fields(front); },
        [](auto& row, const LatestValueFields& front, const SourceSession& back) {
            set_term_structure_value(row, front, back);
        });
    walk_pair(
        state, views, slot_es, slot_nq, block, memos, [](const SourceSession& es) { return session_open_fields(es); },
        [](auto& row, const SessionOpenFields& es, const SourceSession& nq) { set_strength_values(row, es, nq); });
    fold_chart_flow(host, state, block);
    store_output_columns(host, block.first_bar, block.values, block.count);
    state.last_closed_bar = block.first_bar + block.count - 1;
}

// Every chart bar closed since the last call, in bar order, folded into the persistent
// records and written once. Each bar's start is converted once (it is the previous bar's
// next start), and each source's walk resumes from the bar it stopped at.
void walk_closed_chart_bars(HostInterface& host, StudyState& state, const SourceViews& views,
                            std::int64_t bar_period_ms) noexcept {
    const std::int64_t last_closed = static_cast<std::int64_t>(host.bar_count) - 2;
    std::int32_t b = state.last_closed_bar + 1;
    if (b > last_closed) return;
    std::array<WalkMemo, source_slot_count> memos{};
    ChartBarBlock block;
    std::int64_t start = to_milliseconds(host_at(host.bar_datetimes, b));
    while (b <= last_closed) {
        block.first_bar = b;
        block.count = 0;
        for (; b <= last_closed && block.count < ChartBarBlock::capacity; ++b) {
            const std::int64_t next = to_milliseconds(host_at(host.bar_datetimes, b + 1));
            block.starts[static_cast<std::size_t>(block.count)] = start;
            block.bounds[static_cast<std::size_t>(block.count++)] = bound_from_starts(start, next, bar_period_ms);
            start = next;
        }
        walk_block(host, state, views, block, memos);
    }
}

struct LiveCopies {
    SourceSessions sources{};
    ChartFlow chart_flow;
    std::int64_t bound_ms = unbounded_ms;
};

// The chart's last, forming bar, computed on copies: the persistent records are taken
// by const reference and never change here. Each resolved slot's copy is advanced in
// place among the copies, as provisional_copy advances the copy it is given.
LiveCopies compute_live_bar(HostInterface& host, const StudyState& state, const SourceViews& views,
                            std::int64_t bar_period_ms) noexcept {
    LiveCopies live{state.sources, state.chart_flow, unbounded_ms};
    if (host.bar_count < 1) return live;
    const std::int32_t last = host.bar_count - 1;
    live.bound_ms = compute_live_bound(host, bar_period_ms);
    const CountingRules rules = counting_rules(state);
    for (std::size_t slot = 0; slot < views.views.size(); ++slot) {
        if (!views.source_resolved[slot]) continue;
        advance_provisionally(live.sources[slot], views.views[slot], views.source_bar_period_ms[slot], live.bound_ms,
                              rules);
    }
    take_chart_bar(live.chart_flow, state.session_window, host, last);
    write_output_values(host, last, live.sources, live.chart_flow);
    return live;
}

void run_calculation_call(HostInterface& host, StudyState& state, std::int32_t line_base) noexcept {
    const std::int64_t bar_period_ms = chart_bar_period_ms(host);
    bool rebuild = starts_rebuild(host, state);
    if (rebuild) resolve_sources(host, state.source_bindings);
    const SourceViews views = prepare_source_views(host, state.source_bindings, state.sources, rebuild);
    if (rebuild) reset_for_rebuild(state, host);
    walk_closed_chart_bars(host, state, views, bar_period_ms);
    const LiveCopies live = compute_live_bar(host, state, views, bar_period_ms);
    if (rebuild) write_diagnostics_report(host, state.source_bindings, state.session_window, views);
    update_panel(host, state.panel_line_count, line_base, state.session_window, state.upper_threshold,
                 state.lower_threshold, PanelReadings{&views, &live.sources, &live.chart_flow, live.bound_ms});
}

}  // namespace

bool host_layout_matches(const HostInterface& host) noexcept {
    return host.record_size == sizeof(HostInterface) && host.layout_version == KMI_HOST_LAYOUT_VERSION;
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
    state = acquire_state(host, state);
    if (state == nullptr) return;  // no memory: end quietly, the next call tries again
    run_calculation_call(host, *state, line_base);
}

}  // namespace kmi
