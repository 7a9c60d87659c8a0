#include "sources/source_walk.h"

namespace kmi {

std::int64_t source_bar_end_ms(const SourceView& view, std::int32_t bar, std::int64_t period_ms) noexcept {
    return bar_end_and_next_start(bars_of(view), bar, source_bar_start_ms(view, bar), period_ms, view.bar_count).end;
}

void walk_closed_bars(SourceSession& session, const SourceView& view, std::int64_t period_ms, std::int64_t bound_ms,
                      const CountingRules& rules) noexcept {
    WalkMemo memo;
    SourceWalk walk = begin_walk(session, view, period_ms, rules, memo);
    walk_run(walk, &bound_ms, 1, [](int, const SourceSession&) {});
    end_walk(walk, session, memo);
}

SourceSession provisional_copy(SourceSession session, const SourceView& view, std::int64_t period_ms,
                               std::int64_t bound_ms, const CountingRules& rules) noexcept {
    walk_closed_bars(session, view, period_ms, bound_ms, rules);
    // The forming bars: started by the bound but not ended. The walk position stays, so
    // the copy could never be mistaken for a record of closed bars.
    const std::int32_t n = view.bar_count;
    const SessionWindow window = counting_window(rules);
    const SourceBars bars = bars_of(view);
    for (std::int32_t j = session.next_bar; j < n; ++j) {
        const std::int64_t t = source_bar_start_ms(view, j);
        if (t > bound_ms) break;
        take_bar(session, bars, j, t, bar_end_and_next_start(bars, j, t, period_ms, n).end, window,
                 rules.upper_threshold, rules.lower_threshold, day_time(t));
    }
    return session;
}

std::int64_t compute_live_bound(const HostInterface& host, std::int64_t chart_bar_period_ms) noexcept {
    if (host.bar_count < 1) return unbounded_ms;
    const std::int64_t start = to_milliseconds(host_at(host.bar_datetimes, host.bar_count - 1));
    std::int64_t bound = chart_bar_period_ms >= 1 ? saturating_add(start, chart_bar_period_ms) : unbounded_ms;
    // The host's present time cuts the bound; a date-time of 0 or less means none.
    const HostDateTime now =
        host.now_from_alternate_clock != 0 ? host.alternate_current_date_time : host.current_date_time;
    if (now > 0) {
        const std::int64_t now_ms = to_milliseconds(now);
        if (now_ms < bound) bound = now_ms;
    }
    if (bound < start) bound = start;
    return bound;
}

}  // namespace kmi
