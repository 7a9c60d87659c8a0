#include "sources/source_walk.h"

#include <limits>

#include "host/host_datetime.h"
#include "metrics/count_bar.h"
#include "metrics/session_window.h"

namespace kmi {
namespace {

// t + p held at the int64 limits: hostile bar times or lengths must not overflow.
std::int64_t saturating_add(std::int64_t t, std::int64_t p) noexcept {
    if (p > 0 && t > std::numeric_limits<std::int64_t>::max() - p) return std::numeric_limits<std::int64_t>::max();
    if (p < 0 && t < std::numeric_limits<std::int64_t>::min() - p) return std::numeric_limits<std::int64_t>::min();
    return t + p;
}

// The window of the session statistics; without one no bar counts as a session bar.
SessionWindow counting_window(const CountingRules& rules) noexcept {
    return rules.window != nullptr ? *rules.window : SessionWindow{0, 0};
}

// Takes bar j into the record: latest-bar fields, then the session statistics.
void take_bar(SourceSession& session, const SourceView& view, std::int32_t j, std::int64_t t, std::int64_t end,
              const CountingRules& rules) noexcept {
    const auto open = static_cast<double>(host_at(view.open, j));
    const auto high = static_cast<double>(host_at(view.high, j));
    const auto low = static_cast<double>(host_at(view.low, j));
    const auto close = static_cast<double>(host_at(view.close, j));
    session.has_data = true;
    session.bar_end_ms = end;
    session.last_value = close;
    session.bar_start_ms = t;
    count_bar(counting_window(rules), rules.upper_threshold, rules.lower_threshold, session, open, high, low, close, t);
}

// The bar end rule for bar j starting at t of a view with n bars, which also yields the
// next bar's start when the rule reads it (every bar but the last).
struct BarEnd {
    std::int64_t end = 0;
    std::int64_t next_start = 0;
};

BarEnd bar_end_and_next_start(const SourceView& view, std::int32_t j, std::int64_t t, std::int64_t period_ms,
                              std::int32_t n) noexcept {
    const bool last = static_cast<std::int64_t>(j) + 1 >= n;
    if (last) return BarEnd{period_ms >= 1 ? saturating_add(t, period_ms) : unbounded_ms, 0};
    const std::int64_t next = source_bar_start_ms(view, j + 1);
    if (period_ms < 1) return BarEnd{next, next};
    const std::int64_t full = saturating_add(t, period_ms);
    return BarEnd{next < full ? next : full, next};
}

std::int64_t bar_end(const SourceView& view, std::int32_t j, std::int64_t t, std::int64_t period_ms,
                     std::int32_t n) noexcept {
    return bar_end_and_next_start(view, j, t, period_ms, n).end;
}

}  // namespace

std::int64_t source_bar_start_ms(const SourceView& view, std::int32_t bar) noexcept {
    return to_milliseconds(host_at(view.bar_times, bar));
}

std::int64_t source_bar_end_ms(const SourceView& view, std::int32_t bar, std::int64_t period_ms) noexcept {
    return bar_end(view, bar, source_bar_start_ms(view, bar), period_ms, view.bar_count);
}

void walk_closed_bars(SourceSession& session, const SourceView& view, std::int64_t period_ms, std::int64_t bound_ms,
                      const CountingRules& rules) noexcept {
    WalkMemo memo;
    walk_closed_bars(session, view, period_ms, bound_ms, rules, memo);
}

// Each bar's start is read and converted once: the end rule of bar j reads the start of
// bar j + 1, which is then bar j + 1's own start, and the bar the walk stops at is kept in
// the memo for the next walk of the same call.
void walk_closed_bars(SourceSession& session, const SourceView& view, std::int64_t period_ms, std::int64_t bound_ms,
                      const CountingRules& rules, WalkMemo& memo) noexcept {
    const std::int32_t n = view.bar_count;
    std::int32_t j = session.next_bar;
    if (j >= n) return;
    std::int64_t t = 0;
    BarEnd end;
    if (memo.pending_bar == j) {
        t = memo.pending_start_ms;
        end = BarEnd{memo.pending_end_ms, memo.pending_next_start_ms};
    } else {
        t = source_bar_start_ms(view, j);
        end = bar_end_and_next_start(view, j, t, period_ms, n);
    }
    const auto keep_pending = [&] {
        memo.pending_bar = j;
        memo.pending_start_ms = t;
        memo.pending_end_ms = end.end;
        memo.pending_next_start_ms = end.next_start;
    };
    if (end.end > bound_ms) {  // not ended yet: a later walk takes it
        keep_pending();
        return;
    }
    for (;;) {
        take_bar(session, view, j, t, end.end, rules);
        session.next_bar = j + 1;
        session.consumed_bar_start_ms = t;
        ++j;
        if (j >= n) {
            memo.pending_bar = -1;
            return;
        }
        t = end.next_start;  // bar j's start, read by the end rule of the bar just taken
        end = bar_end_and_next_start(view, j, t, period_ms, n);
        if (end.end > bound_ms) {
            keep_pending();
            return;
        }
    }
}

SourceSession provisional_copy(SourceSession session, const SourceView& view, std::int64_t period_ms,
                               std::int64_t bound_ms, const CountingRules& rules) noexcept {
    walk_closed_bars(session, view, period_ms, bound_ms, rules);
    // The forming bars: started by the bound but not ended. The walk position stays, so
    // the copy could never be mistaken for a record of closed bars.
    const std::int32_t n = view.bar_count;
    for (std::int32_t j = session.next_bar; j < n; ++j) {
        const std::int64_t t = source_bar_start_ms(view, j);
        if (t > bound_ms) break;
        take_bar(session, view, j, t, bar_end(view, j, t, period_ms, n), rules);
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
