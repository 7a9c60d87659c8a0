// The NYSE volume breadth readings: the up-minus-down volume and the up/down volume
// ratio, each the latest close of its own source.
#ifndef KMI_METRICS_VOLUME_READINGS_H
#define KMI_METRICS_VOLUME_READINGS_H

#include <optional>

#include "host/always_inline.h"
#include "metrics/source_session.h"

namespace kmi {

KMI_ALWAYS_INLINE std::optional<double> vold_value(const SourceSession& vold) noexcept {
    if (!vold.has_data) return std::nullopt;
    return vold.last_value;
}

KMI_ALWAYS_INLINE std::optional<double> updown_ratio(const SourceSession& ratio) noexcept {
    if (!ratio.has_data) return std::nullopt;
    return ratio.last_value;
}

}  // namespace kmi

#endif
