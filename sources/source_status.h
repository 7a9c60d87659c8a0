// The status the panel shows beside each source: off, no data, an earlier session's
// date, stale, or nothing (current).
#ifndef KMI_SOURCES_SOURCE_STATUS_H
#define KMI_SOURCES_SOURCE_STATUS_H

#include <cstdint>

#include "host/host_interface.h"
#include "host/text_builder.h"
#include "metrics/session_window.h"
#include "metrics/source_session.h"

namespace kmi {

enum class SourceStatus { off, no_data, previous_session, stale, current };

// Input "Flag a Symbol as Stale After Minutes Without Data (RTH)" in milliseconds.
std::int64_t stale_threshold_ms(const HostInterface& host) noexcept;

// The status of one slot from its live record, first match wins: not resolved, no bar
// taken, on another session than the panel's reference day, stale, current. A source
// can only be stale inside the window on a weekday (by `live_bound_ms`, the present of
// the call), when more than `threshold_ms` have passed since its latest bar ended.
SourceStatus source_status(const SourceSession& live, bool resolved, std::int32_t panel_reference_day,
                           std::int64_t live_bound_ms, const SessionWindow& window, std::int64_t threshold_ms) noexcept;

// Appends the suffix text of a status to a panel line, leading blanks included: "  off",
// "  no data", "  [as of MM-DD]" with the month and day of `session_day`, "  [stale]",
// or nothing for a current source.
void append_status_suffix(TextBuilder& text, SourceStatus status, std::int32_t session_day) noexcept;

}  // namespace kmi

#endif
