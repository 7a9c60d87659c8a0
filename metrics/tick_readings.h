// The TICK readings of a source record: the latest value and the statistics of the
// current regular session. Each is empty when it is not available.
#ifndef KMI_METRICS_TICK_READINGS_H
#define KMI_METRICS_TICK_READINGS_H

#include <cstdint>
#include <optional>

#include "host/always_inline.h"
#include "metrics/source_session.h"

namespace kmi {

KMI_ALWAYS_INLINE bool has_session_bars(const SourceSession& tick) noexcept { return tick.session_bars > 0; }

// The latest bar's close, once any bar was taken.
KMI_ALWAYS_INLINE std::optional<double> tick_value(const SourceSession& tick) noexcept {
    if (!tick.has_data) return std::nullopt;
    return tick.last_value;
}

// The session statistics, once the current session has a bar.
KMI_ALWAYS_INLINE std::optional<double> tick_session_high(const SourceSession& tick) noexcept {
    if (!has_session_bars(tick)) return std::nullopt;
    return tick.session_high;
}

KMI_ALWAYS_INLINE std::optional<double> tick_session_low(const SourceSession& tick) noexcept {
    if (!has_session_bars(tick)) return std::nullopt;
    return tick.session_low;
}

KMI_ALWAYS_INLINE std::optional<std::int32_t> tick_bars_at_or_above_upper(const SourceSession& tick) noexcept {
    if (!has_session_bars(tick)) return std::nullopt;
    return tick.bars_at_or_above_upper;
}

KMI_ALWAYS_INLINE std::optional<std::int32_t> tick_bars_at_or_below_lower(const SourceSession& tick) noexcept {
    if (!has_session_bars(tick)) return std::nullopt;
    return tick.bars_at_or_below_lower;
}

// The plain mean of the session bars' closes.
KMI_ALWAYS_INLINE std::optional<double> tick_session_average(const SourceSession& tick) noexcept {
    if (!has_session_bars(tick)) return std::nullopt;
    return tick.sum_y / static_cast<double>(tick.session_bars);
}

}  // namespace kmi

#endif
