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

// The bar end rule for bar j starting at t of a view with n bars.
std::int64_t bar_end(const SourceView& view, std::int32_t j, std::int64_t t, std::int64_t period_ms,
                     std::int32_t n) noexcept {
    const bool last = static_cast<std::int64_t>(j) + 1 >= n;
    if (period_ms >= 1) {
        const std::int64_t full = saturating_add(t, period_ms);
        if (last) return full;
        const std::int64_t next = source_bar_start_ms(view, j + 1);
        return next < full ? next : full;
    }
    return last ? unbounded_ms : source_bar_start_ms(view, j + 1);
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
    const SessionWindow window = rules.window != nullptr ? *rules.window : SessionWindow{0, 0};
    count_bar(window, rules.upper_threshold, rules.lower_threshold, session, open, high, low, close, t);
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
    const std::int32_t n = view.bar_count;
    while (session.next_bar < n) {
        const std::int32_t j = session.next_bar;
        const std::int64_t t = source_bar_start_ms(view, j);
        const std::int64_t end = bar_end(view, j, t, period_ms, n);
        if (end > bound_ms) break;  // not ended yet: a later walk takes it
        take_bar(session, view, j, t, end, rules);
        session.next_bar = j + 1;
        session.consumed_bar_start_ms = t;
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
    const HostDateTime now = host.now_from_alternate_clock != 0 ? host.alternate_current_date_time
                                                                : host.current_date_time;
    if (now > 0) {
        const std::int64_t now_ms = to_milliseconds(now);
        if (now_ms < bound) bound = now_ms;
    }
    if (bound < start) bound = start;
    return bound;
}

}  // namespace kmi
