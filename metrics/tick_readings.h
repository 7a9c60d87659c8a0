// The TICK readings of a source record: the latest value and the statistics of the
// current regular session. Each is empty when it is not available.
#ifndef KMI_METRICS_TICK_READINGS_H
#define KMI_METRICS_TICK_READINGS_H

#include <cstdint>
#include <optional>

#include "metrics/source_session.h"

namespace kmi {

// The latest bar's close, once any bar was taken.
std::optional<double> tick_value(const SourceSession& tick) noexcept;

// The session statistics, once the current session has a bar.
std::optional<double> tick_session_high(const SourceSession& tick) noexcept;
std::optional<double> tick_session_low(const SourceSession& tick) noexcept;
std::optional<std::int32_t> tick_bars_at_or_above_upper(const SourceSession& tick) noexcept;
std::optional<std::int32_t> tick_bars_at_or_below_lower(const SourceSession& tick) noexcept;

// The plain mean of the session bars' closes.
std::optional<double> tick_session_average(const SourceSession& tick) noexcept;

}  // namespace kmi

#endif
