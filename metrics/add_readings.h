// The ADD readings: the latest value, the change since the regular-session open and the
// least-squares slope per hour over the session's bars.
#ifndef KMI_METRICS_ADD_READINGS_H
#define KMI_METRICS_ADD_READINGS_H

#include <optional>

#include "host/always_inline.h"
#include "metrics/source_session.h"

namespace kmi {

// n * sum_xx - sum_x^2, and whether it passes the guard (NaN fails it).
KMI_ALWAYS_INLINE bool slope_denominator(const SourceSession& add, double& denominator) noexcept {
    if (add.session_bars < 2) return false;
    const auto n = static_cast<double>(add.session_bars);
    const double c = n * add.sum_xx;
    denominator = c - add.sum_x * add.sum_x;
    return denominator > (c + 1.0) * 1e-12;
}

KMI_ALWAYS_INLINE std::optional<double> add_value(const SourceSession& add) noexcept {
    if (!add.has_data) return std::nullopt;
    return add.last_value;
}

// The latest value against the open of the session's first bar.
KMI_ALWAYS_INLINE std::optional<double> change_since_open(const SourceSession& add) noexcept {
    if (add.session_bars <= 0) return std::nullopt;
    return add.last_value - add.session_open;
}

// Whether the slope is defined: at least two session bars and a denominator safely
// above rounding noise.
KMI_ALWAYS_INLINE bool slope_is_defined(const SourceSession& add) noexcept {
    double denominator = 0.0;
    return slope_denominator(add, denominator);
}

// The slope in ADD points per hour, or 0.0 when it is not defined.
KMI_ALWAYS_INLINE double slope_per_hour(const SourceSession& add) noexcept {
    double denominator = 0.0;
    if (!slope_denominator(add, denominator)) return 0.0;
    const auto n = static_cast<double>(add.session_bars);
    return (n * add.sum_xy - add.sum_x * add.sum_y) / denominator;
}

}  // namespace kmi

#endif
