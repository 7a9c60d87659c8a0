// The per-source record: walk position, latest bar and the statistics of the source's
// current regular session. Nine of them live in the persistent state, one per slot;
// each call also keeps copies advanced to the live bar.
#ifndef KMI_METRICS_SOURCE_SESSION_H
#define KMI_METRICS_SOURCE_SESSION_H

#include <cstdint>

namespace kmi {

struct SourceSession {
    // Walk position (closed-bar walk only).
    std::int32_t next_bar = 0;
    std::int64_t consumed_bar_start_ms = 0;
    // Latest bar taken, inside the session window or not.
    bool has_data = false;
    std::int64_t bar_start_ms = 0;
    std::int64_t bar_end_ms = 0;
    double last_value = 0.0;
    // Current regular session.
    std::int32_t session_day = -1;
    double session_open = 0.0;
    double session_high = 0.0;
    double session_low = 0.0;
    std::int32_t bars_at_or_above_upper = 0;
    std::int32_t bars_at_or_below_lower = 0;
    std::int32_t session_bars = 0;
    double sum_x = 0.0;
    double sum_y = 0.0;
    double sum_xx = 0.0;
    double sum_xy = 0.0;
    double session_last_value = 0.0;
    std::int64_t session_last_bar_start_ms = 0;
    // The previous session's last close.
    bool has_prior_close = false;
    double prior_session_close = 0.0;
};

}  // namespace kmi

#endif
