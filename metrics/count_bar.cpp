#include "metrics/count_bar.h"

namespace kmi {
namespace {

void open_session(SourceSession& session, std::int32_t day, double open, double high, double low) noexcept {
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
void count_one(std::int32_t& count) noexcept {
    if (count < INT32_MAX) ++count;
}

}  // namespace

void count_bar(const SessionWindow& window, double upper_threshold, double lower_threshold, SourceSession& session,
               double open, double high, double low, double close, std::int64_t start_ms) noexcept {
    if (!in_session(window, start_ms)) return;
    const std::int32_t day = day_number(start_ms);
    if (day != session.session_day) {
        open_session(session, day, open, high, low);
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
    const double x = hours_since_window_start(window, start_ms);
    session.sum_x += x;
    session.sum_xx += x * x;
    session.sum_xy += x * close;
}

}  // namespace kmi
