// Walking a source's bars in step with this chart's bars.
#ifndef KMI_SOURCES_SOURCE_WALK_H
#define KMI_SOURCES_SOURCE_WALK_H

#include <cstdint>
#include <limits>

#include "host/always_inline.h"
#include "host/host_datetime.h"
#include "host/host_interface.h"
#include "metrics/count_bar.h"
#include "metrics/session_window.h"
#include "metrics/source_session.h"
#include "sources/source_view.h"

namespace kmi {

// The thresholds and window that every source's session statistics use. Without a
// window no bar counts as a session bar.
struct CountingRules {
    const SessionWindow* window = nullptr;
    double upper_threshold = 0.0;
    double lower_threshold = 0.0;
};

// A bound that no bar end reaches.
inline constexpr std::int64_t unbounded_ms = 4611686018427387903LL;

// The start of source bar `bar` in milliseconds (index clamped by the host accessor).
inline std::int64_t source_bar_start_ms(const SourceView& view, std::int32_t bar) noexcept {
    return to_milliseconds(host_at(view.bar_times, bar));
}

// t + p held at the int64 limits: hostile bar times or lengths must not overflow.
KMI_ALWAYS_INLINE std::int64_t saturating_add(std::int64_t t, std::int64_t p) noexcept {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(t, p, &sum)) {
        return p > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
    }
    return sum;
}

// A source's bars as a walk reads them: copies of the view's array records, so that the
// compiler keeps their pointers and counts in registers and host_at's check of an index
// inside the array is one comparison.
struct SourceBars {
    HostDateTimeArray times{};
    HostFloatArray open{};
    HostFloatArray high{};
    HostFloatArray low{};
    HostFloatArray close{};
};

KMI_ALWAYS_INLINE SourceBars bars_of(const SourceView& view) noexcept {
    return SourceBars{view.bar_times, view.open, view.high, view.low, view.close};
}

// Whether every array has its memory; the walk loop is compiled once for that case, where
// host_at's test of the pointer is known true, and once for the rest.
KMI_ALWAYS_INLINE bool all_present(const SourceBars& bars) noexcept {
    return bars.times.data != nullptr && bars.open.data != nullptr && bars.high.data != nullptr &&
           bars.low.data != nullptr && bars.close.data != nullptr;
}

struct BarPrices {
    float open = 0.0F;
    float high = 0.0F;
    float low = 0.0F;
    float close = 0.0F;
};

KMI_ALWAYS_INLINE HostDateTime bar_time(const SourceBars& bars, std::int32_t j) noexcept {
    return host_at(bars.times, j);
}

KMI_ALWAYS_INLINE BarPrices bar_prices(const SourceBars& bars, std::int32_t j) noexcept {
    return BarPrices{host_at(bars.open, j), host_at(bars.high, j), host_at(bars.low, j), host_at(bars.close, j)};
}

// The bar end rule for bar j starting at t of a view with n bars, which also yields the
// next bar's start when the rule reads it (every bar but the last). With a fixed length p
// (1 ms or more) a bar ends p after its start, or at the next bar's start when that comes
// first; the last bar ends p after its start. Without one a bar ends at the next bar's
// start and the last bar never ends.
struct BarEnd {
    std::int64_t end = 0;
    std::int64_t next_start = 0;
};

KMI_ALWAYS_INLINE BarEnd bar_end_and_next_start(const SourceBars& bars, std::int32_t j, std::int64_t t,
                                                std::int64_t period_ms, std::int32_t n) noexcept {
    const bool last = static_cast<std::int64_t>(j) + 1 >= n;
    if (last) return BarEnd{period_ms >= 1 ? saturating_add(t, period_ms) : unbounded_ms, 0};
    const std::int64_t next = to_milliseconds(bar_time(bars, j + 1));
    if (period_ms < 1) return BarEnd{next, next};
    const std::int64_t full = saturating_add(t, period_ms);
    return BarEnd{next < full ? next : full, next};
}

// The bar end rule for bar `bar` of the view.
std::int64_t source_bar_end_ms(const SourceView& view, std::int32_t bar, std::int64_t period_ms) noexcept;

// The window of the session statistics; without one no bar counts as a session bar.
inline SessionWindow counting_window(const CountingRules& rules) noexcept {
    return rules.window != nullptr ? *rules.window : SessionWindow{0, 0};
}

// Takes bar j, starting at t and ending at `end`, into the record: latest-bar fields,
// then the session statistics.
KMI_ALWAYS_INLINE void take_bar(SourceSession& session, const SourceBars& bars, std::int32_t j, std::int64_t t,
                                std::int64_t end, const SessionWindow& window, double upper_threshold,
                                double lower_threshold, const DayTime& when) noexcept {
    const BarPrices prices = bar_prices(bars, j);
    const auto close = static_cast<double>(prices.close);
    session.has_data = true;
    session.bar_end_ms = end;
    session.last_value = close;
    session.bar_start_ms = t;
    count_bar(window, upper_threshold, lower_threshold, session, static_cast<double>(prices.open),
              static_cast<double>(prices.high), static_cast<double>(prices.low), close, t, when);
}

// What the walks of one slot have worked out within one call: the bar the last walk
// stopped at, with its start and end. The closed-bar loop walks each source up to every
// chart bar's end, a run of bars at a time; with this record the next run starts from
// that bar without reading its time again. Working data of one call, valid only with the
// same view and bar length.
struct WalkMemo {
    std::int32_t pending_bar = -1;  // -1: no bar worked out yet
    std::int64_t pending_start_ms = 0;
    std::int64_t pending_end_ms = 0;
    std::int64_t pending_next_start_ms = 0;  // the next bar's start, when the end rule read it
};

// Where a walk stands: the next bar to take, with its start and end, and the day of the
// last bar taken. The walk loop holds it in a local variable, so that it, and the record
// beside it, can stay in registers.
struct WalkPosition {
    std::int32_t bar = 0;
    bool more = false;  // bar < bar_count
    std::int64_t start_ms = 0;
    std::int64_t end_ms = 0;
    std::int64_t next_start_ms = 0;  // the next bar's start, when the end rule read it
    DayClock clock;
};

// A walk of one source in progress: the record as walked so far, the view and rules it
// reads, and the bar it stopped at. A walk takes the source bars in bar order, each once:
// latest-bar fields, session statistics, walk position. Each bar's start is read and
// converted once: the end rule of bar j reads the start of bar j + 1, which is then bar
// j + 1's own start.
struct SourceWalk {
    SourceSession session;
    SourceView view;
    SessionWindow window;
    double upper_threshold = 0.0;
    double lower_threshold = 0.0;
    std::int64_t period_ms = 0;
    std::int32_t bar_count = 0;
    WalkPosition position;
};

// Starts a walk from the record's position; the memo, when it holds that bar, saves
// reading its time again.
inline SourceWalk begin_walk(const SourceSession& record, const SourceView& view, std::int64_t period_ms,
                             const CountingRules& rules, const WalkMemo& memo) noexcept {
    SourceWalk walk{record,
                    view,
                    counting_window(rules),
                    rules.upper_threshold,
                    rules.lower_threshold,
                    period_ms,
                    view.bar_count,
                    WalkPosition{record.next_bar, record.next_bar < view.bar_count, 0, 0, 0, DayClock{}}};
    WalkPosition& at = walk.position;
    if (!at.more) return walk;
    if (memo.pending_bar == at.bar) {
        at.start_ms = memo.pending_start_ms;
        at.end_ms = memo.pending_end_ms;
        at.next_start_ms = memo.pending_next_start_ms;
    } else {
        at.start_ms = source_bar_start_ms(view, at.bar);
        const BarEnd end = bar_end_and_next_start(bars_of(view), at.bar, at.start_ms, period_ms, walk.bar_count);
        at.end_ms = end.end;
        at.next_start_ms = end.next_start;
    }
    return walk;
}

// Takes every bar of the walk not yet taken that has ended by `bound_ms` into `session`.
KMI_ALWAYS_INLINE void advance(SourceSession& session, WalkPosition& at, const SourceWalk& walk, const SourceBars& bars,
                               std::int64_t bound_ms) noexcept {
    while (at.more && at.end_ms <= bound_ms) {
        take_bar(session, bars, at.bar, at.start_ms, at.end_ms, walk.window, walk.upper_threshold, walk.lower_threshold,
                 day_time(at.clock, at.start_ms));
        session.next_bar = at.bar + 1;
        session.consumed_bar_start_ms = at.start_ms;
        ++at.bar;
        if (at.bar >= walk.bar_count) {
            at.more = false;
            return;
        }
        at.start_ms = at.next_start_ms;  // read by the end rule of the bar just taken
        const BarEnd end = bar_end_and_next_start(bars, at.bar, at.start_ms, walk.period_ms, walk.bar_count);
        at.end_ms = end.end;
        at.next_start_ms = end.next_start;
    }
}

// Walks up to each of bounds[0..count) in turn (the bounds do not decrease) and hands
// the record as of each to at_bound(i, record).
template <typename AtBound>
void walk_run(SourceWalk& walk, const std::int64_t* bounds, int count, AtBound&& at_bound) noexcept {
    const SourceBars bars = bars_of(walk.view);
    const auto loop = [&] {
        SourceSession session = walk.session;
        WalkPosition at = walk.position;
        for (int i = 0; i < count; ++i) {
            advance(session, at, walk, bars, bounds[i]);
            at_bound(i, static_cast<const SourceSession&>(session));
        }
        walk.session = session;
        walk.position = at;
    };
    if (all_present(bars)) {  // NOLINT(bugprone-branch-clone): one loop, compiled twice
        loop();
    } else {
        loop();
    }
}

// Hands the walked record back, and the bar the walk stopped at to the memo.
inline void end_walk(const SourceWalk& walk, SourceSession& record, WalkMemo& memo) noexcept {
    record = walk.session;
    const WalkPosition& at = walk.position;
    if (at.more) {
        memo = WalkMemo{at.bar, at.start_ms, at.end_ms, at.next_start_ms};
    } else {
        memo.pending_bar = -1;
    }
}

// Advances the record over the source bars that have ended by `bound_ms`, in bar order,
// each taken once: latest-bar fields, session statistics, walk position.
void walk_closed_bars(SourceSession& session, const SourceView& view, std::int64_t period_ms, std::int64_t bound_ms,
                      const CountingRules& rules) noexcept;

// Advances a copy of a record like walk_closed_bars, then over the bars not yet taken
// that have started by `bound_ms` (the walk position does not move for those).
void advance_provisionally(SourceSession& copy, const SourceView& view, std::int64_t period_ms, std::int64_t bound_ms,
                           const CountingRules& rules) noexcept;

// A copy of the record advanced provisionally. The record arrives by value, so the
// caller's is never touched.
inline SourceSession provisional_copy(SourceSession session, const SourceView& view, std::int64_t period_ms,
                                      std::int64_t bound_ms, const CountingRules& rules) noexcept {
    advance_provisionally(session, view, period_ms, bound_ms, rules);
    return session;
}

// The time up to which the live copies read: the end of this chart's last bar, cut to
// the host's present time, never before the last bar's start; unbounded_ms when the
// chart has no bar.
std::int64_t compute_live_bound(const HostInterface& host, std::int64_t chart_bar_period_ms) noexcept;

}  // namespace kmi

#endif
