#include "metrics/tick_readings.h"

namespace kmi {
namespace {

bool has_session_bars(const SourceSession& tick) noexcept { return tick.session_bars > 0; }

}  // namespace

std::optional<double> tick_value(const SourceSession& tick) noexcept {
    if (!tick.has_data) return std::nullopt;
    return tick.last_value;
}

std::optional<double> tick_session_high(const SourceSession& tick) noexcept {
    if (!has_session_bars(tick)) return std::nullopt;
    return tick.session_high;
}

std::optional<double> tick_session_low(const SourceSession& tick) noexcept {
    if (!has_session_bars(tick)) return std::nullopt;
    return tick.session_low;
}

std::optional<std::int32_t> tick_bars_at_or_above_upper(const SourceSession& tick) noexcept {
    if (!has_session_bars(tick)) return std::nullopt;
    return tick.bars_at_or_above_upper;
}

std::optional<std::int32_t> tick_bars_at_or_below_lower(const SourceSession& tick) noexcept {
    if (!has_session_bars(tick)) return std::nullopt;
    return tick.bars_at_or_below_lower;
}

std::optional<double> tick_session_average(const SourceSession& tick) noexcept {
    if (!has_session_bars(tick)) return std::nullopt;
    return tick.sum_y / static_cast<double>(tick.session_bars);
}

}  // namespace kmi
