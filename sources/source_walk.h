// Walking a source's bars in step with this chart's bars.
#ifndef KMI_SOURCES_SOURCE_WALK_H
#define KMI_SOURCES_SOURCE_WALK_H

#include <cstdint>

#include "host/host_interface.h"
#include "metrics/source_session.h"
#include "sources/source_view.h"

namespace kmi {

struct SessionWindow;

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
std::int64_t source_bar_start_ms(const SourceView& view, std::int32_t bar) noexcept;

// The bar end rule. With a fixed length p (1 ms or more) a bar ends p after its start, or
// at the next bar's start when that comes first; the last bar ends p after its start.
// Without one a bar ends at the next bar's start and the last bar never ends.
std::int64_t source_bar_end_ms(const SourceView& view, std::int32_t bar, std::int64_t period_ms) noexcept;

// Advances the record over the source bars that have ended by `bound_ms`, in bar order,
// each taken once: latest-bar fields, session statistics, walk position.
void walk_closed_bars(SourceSession& session, const SourceView& view, std::int64_t period_ms, std::int64_t bound_ms,
                      const CountingRules& rules) noexcept;

// What the walks of one slot have worked out within one call: the bar the last walk
// stopped at, with its start and end, and whether the price arrays can be read without
// clamping. The closed-bar loop walks each source once per chart bar; with this record
// the next walk starts from that bar without reading its time again. Working data of one
// call, valid only with the same view and bar length.
struct WalkMemo {
    std::int32_t pending_bar = -1;  // -1: no bar worked out yet
    std::int64_t pending_start_ms = 0;
    std::int64_t pending_end_ms = 0;
    std::int64_t pending_next_start_ms = 0;  // the next bar's start, when the end rule read it
};

// walk_closed_bars with the call's memo of the slot. The record ends exactly as with
// walk_closed_bars.
void walk_closed_bars(SourceSession& session, const SourceView& view, std::int64_t period_ms, std::int64_t bound_ms,
                      const CountingRules& rules, WalkMemo& memo) noexcept;

// A copy of the record advanced like walk_closed_bars, then over the bars not yet taken
// that have started by `bound_ms` (the walk position does not move for those). The
// record arrives by value, so the caller's is never touched.
SourceSession provisional_copy(SourceSession session, const SourceView& view, std::int64_t period_ms,
                               std::int64_t bound_ms, const CountingRules& rules) noexcept;

// The time up to which the live copies read: the end of this chart's last bar, cut to
// the host's present time, never before the last bar's start; unbounded_ms when the
// chart has no bar.
std::int64_t compute_live_bound(const HostInterface& host, std::int64_t chart_bar_period_ms) noexcept;

}  // namespace kmi

#endif
