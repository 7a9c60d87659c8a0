// Which host chart each of the nine source slots reads, as the last resolution left it.
#ifndef KMI_SOURCES_SOURCE_BINDINGS_H
#define KMI_SOURCES_SOURCE_BINDINGS_H

#include <array>
#include <cstdint>

#include "settings/source_slots.h"

namespace kmi {

// A plain record of values; it holds from one resolution to the next.
struct SourceBindings {
    std::array<std::int32_t, source_slot_count> chart_numbers{};  // 0 or less: the slot is off
    std::array<bool, source_slot_count> is_this_chart{};          // the slot reads this chart's own arrays
};

}  // namespace kmi

#endif
