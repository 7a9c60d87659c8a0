#include "metrics/volume_readings.h"

namespace kmi {

std::optional<double> vold_value(const SourceSession& vold) noexcept {
    if (!vold.has_data) return std::nullopt;
    return vold.last_value;
}

std::optional<double> updown_ratio(const SourceSession& ratio) noexcept {
    if (!ratio.has_data) return std::nullopt;
    return ratio.last_value;
}

}  // namespace kmi
