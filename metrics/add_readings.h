// The ADD readings: the latest value, the change since the regular-session open and the
// least-squares slope per hour over the session's bars.
#ifndef KMI_METRICS_ADD_READINGS_H
#define KMI_METRICS_ADD_READINGS_H

#include <optional>

#include "metrics/source_session.h"

namespace kmi {

std::optional<double> add_value(const SourceSession& add) noexcept;

// The latest value against the open of the session's first bar.
std::optional<double> change_since_open(const SourceSession& add) noexcept;

// Whether the slope is defined: at least two session bars and a denominator safely
// above rounding noise.
bool slope_is_defined(const SourceSession& add) noexcept;

// The slope in ADD points per hour, or 0.0 when it is not defined.
double slope_per_hour(const SourceSession& add) noexcept;

}  // namespace kmi

#endif
