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

void advance_provisionally(SourceSession& copy, const SourceView& view, std::int64_t period_ms, std::int64_t bound_ms,
                           const CountingRules& rules) noexcept {
    // One pass from the record's position, each bar's start read once: first the bars
    // that have ended by the bound, taken as walk_closed_bars takes them (the walk
    // position moves past each); from the first that has not on, the forming bars, every
    // bar that has started by the bound. For those the position stays, so the copy could
    // never be mistaken for a record of closed bars.
    const std::int32_t n = view.bar_count;
    std::int32_t j = copy.next_bar;
    if (j >= n) return;
    const SessionWindow window = counting_window(rules);
    const SourceBars bars = bars_of(view);
    DayClock clock;
    bool closed = true;
    std::int64_t t = source_bar_start_ms(view, j);
    for (;;) {
        const BarEnd end = bar_end_and_next_start(bars, j, t, period_ms, n);
        if (closed && end.end > bound_ms) closed = false;
        if (!closed && t > bound_ms) break;
        take_bar(copy, bars, j, t, end.end, window, rules.upper_threshold, rules.lower_threshold, day_time(clock, t));
        if (closed) {
            copy.next_bar = j + 1;
            copy.consumed_bar_start_ms = t;
        }
        if (++j >= n) break;
        t = end.next_start;  // read by the end rule of the bar just taken
    }
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
