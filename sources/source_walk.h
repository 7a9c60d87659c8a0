// Walking a source's bars in step with this chart's bars.
#ifndef KMI_SOURCES_SOURCE_WALK_H
#define KMI_SOURCES_SOURCE_WALK_H

#include <cstdint>

#include "host/host_interface.h"
#include "metrics/source_session.h"
#include "sources/source_view.h"

namespace kmi {

struct SessionWindow;

// The thresholds and window that every source's session statistics use.
struct CountingRules {
    const SessionWindow* window = nullptr;
    double upper_threshold = 0.0;
    double lower_threshold = 0.0;
};

// A bound that no bar end reaches.
inline constexpr std::int64_t unbounded_ms = 4611686018427387903LL;

// Advances the record over the source bars that have ended by `bound_ms`.
void walk_closed_bars(SourceSession& session, const SourceView& view, std::int64_t period_ms, std::int64_t bound_ms,
                      const CountingRules& rules) noexcept;

// A copy of the record advanced like walk_closed_bars, then over the bars that have
// started by `bound_ms`. The record passed in is a copy, so the caller's is untouched.
SourceSession provisional_copy(SourceSession session, const SourceView& view, std::int64_t period_ms,
                               std::int64_t bound_ms, const CountingRules& rules) noexcept;

// The time up to which the live copies read.
std::int64_t compute_live_bound(const HostInterface& host, std::int64_t chart_bar_period_ms) noexcept;

}  // namespace kmi

#endif
