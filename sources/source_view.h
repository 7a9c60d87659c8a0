// A source chart's arrays as one call reads them, and the per-call facts of each slot.
#ifndef KMI_SOURCES_SOURCE_VIEW_H
#define KMI_SOURCES_SOURCE_VIEW_H

#include <array>
#include <cstdint>

#include "host/host_interface.h"
#include "settings/source_slots.h"

namespace kmi {

struct SourceView {
    HostFloatArray open{};
    HostFloatArray high{};
    HostFloatArray low{};
    HostFloatArray close{};
    HostDateTimeArray bar_times{};
    std::int32_t bar_count = 0;
};

// Working data of one call for the nine slots.
struct SourceViews {
    std::array<SourceView, source_slot_count> views{};
    std::array<std::int64_t, source_slot_count> source_bar_period_ms{};
    std::array<bool, source_slot_count> source_resolved{};
};

}  // namespace kmi

#endif
