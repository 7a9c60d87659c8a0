// The per-bar session statistics that every source's record carries: high, low,
// threshold counts, the sums of the average and the slope, and the previous session's
// close.
#ifndef KMI_METRICS_COUNT_BAR_H
#define KMI_METRICS_COUNT_BAR_H

#include <cstdint>

#include "metrics/session_window.h"
#include "metrics/source_session.h"

namespace kmi {

// Applies one source bar to the session statistics of `session`. The walk has already
// set the latest-bar fields; a bar whose start is outside the window changes nothing
// here. The first session bar of a new day opens a new session with that bar.
void count_bar(const SessionWindow& window, double upper_threshold, double lower_threshold, SourceSession& session,
               double open, double high, double low, double close, std::int64_t start_ms) noexcept;

}  // namespace kmi

#endif
