// The 20 output series values of one chart bar.
#ifndef KMI_METRICS_OUTPUT_VALUES_H
#define KMI_METRICS_OUTPUT_VALUES_H

#include <array>
#include <cstdint>

#include "host/host_interface.h"
#include "metrics/chart_flow.h"
#include "metrics/source_session.h"
#include "settings/source_slots.h"

namespace kmi {

using SourceSessions = std::array<SourceSession, source_slot_count>;

// Computes the 20 readings from the nine records and the chart flow and stores all 20
// at `bar_index` (0 where a reading is not available).
void write_output_values(HostInterface& host, std::int32_t bar_index, const SourceSessions& sources,
                         const ChartFlow& chart_flow) noexcept;

}  // namespace kmi

#endif
