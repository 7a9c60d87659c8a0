// The NYSE volume breadth readings: the up-minus-down volume and the up/down volume
// ratio, each the latest close of its own source.
#ifndef KMI_METRICS_VOLUME_READINGS_H
#define KMI_METRICS_VOLUME_READINGS_H

#include <optional>

#include "metrics/source_session.h"

namespace kmi {

std::optional<double> vold_value(const SourceSession& vold) noexcept;
std::optional<double> updown_ratio(const SourceSession& ratio) noexcept;

}  // namespace kmi

#endif
