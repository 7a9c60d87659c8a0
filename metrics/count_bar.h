// The per-bar session statistics that every source's record carries: high, low,
// threshold counts, the sums of the average and the slope, and the previous session's
// close.
#ifndef KMI_METRICS_COUNT_BAR_H
#define KMI_METRICS_COUNT_BAR_H

#include <cstdint>

#include "host/always_inline.h"
#include "metrics/session_window.h"
#include "metrics/source_session.h"

namespace kmi {

// Starts the session of `day` with its first bar: the finished session's last close
// becomes the reference of the new one (when that session had bars), and the statistics
// start again from this bar's open, high and low.
KMI_ALWAYS_INLINE void open_session(SourceSession& session, std::int32_t day, double open, double high,
                                    double low) noexcept {
    // The finished session's last close becomes the reference of the new one, but only
    // when that session had bars.
    if (session.session_day >= 0 && session.session_bars > 0) {
        session.prior_session_close = session.session_last_value;
        session.has_prior_close = true;
    }
    session.session_open = open;
    session.session_high = high;
    session.session_low = low;
    session.session_day = day;
    session.bars_at_or_above_upper = 0;
    session.bars_at_or_below_lower = 0;
    session.session_bars = 0;
    session.sum_x = 0.0;
    session.sum_y = 0.0;
    session.sum_xx = 0.0;
    session.sum_xy = 0.0;
}

// Counts stop at the int32 limit instead of wrapping (a session would need two billion
// bars to get there).
KMI_ALWAYS_INLINE void count_one(std::int32_t& count) noexcept {
    if (count < INT32_MAX) ++count;
}

// Applies one source bar, starting at `start_ms` (`when` in its day), to the session
// statistics of `session`. The walk has already set the latest-bar fields; a bar whose
// start is outside the window changes nothing here. The first session bar of a new day
// opens a new session with that bar.
// Defined here, with open_session, because every source bar a walk takes passes through
// it.
KMI_ALWAYS_INLINE void count_bar(const SessionWindow& window, double upper_threshold, double lower_threshold,
                                 SourceSession& session, double open, double high, double low, double close,
                                 std::int64_t start_ms, const DayTime& when) noexcept {
    if (!in_session(window, when)) return;
    if (when.day != session.session_day) {
        open_session(session, when.day, open, high, low);
    } else {
        if (high > session.session_high) session.session_high = high;
        if (low < session.session_low) session.session_low = low;
    }
    // The bar's high and low are tested, the first bar of a session too; one bar may
    // count on both sides.
    if (high >= upper_threshold) count_one(session.bars_at_or_above_upper);
    if (low <= lower_threshold) count_one(session.bars_at_or_below_lower);
    count_one(session.session_bars);
    session.session_last_bar_start_ms = start_ms;
    session.sum_y += close;
    session.session_last_value = close;
    const double x = hours_since_window_start(window, when);
    session.sum_x += x;
    session.sum_xx += x * x;
    session.sum_xy += x * close;
}

inline void count_bar(const SessionWindow& window, double upper_threshold, double lower_threshold,
                      SourceSession& session, double open, double high, double low, double close,
                      std::int64_t start_ms) noexcept {
    count_bar(window, upper_threshold, lower_threshold, session, open, high, low, close, start_ms, day_time(start_ms));
}

}  // namespace kmi

#endif
