// The 20 output series values of one chart bar.
#ifndef KMI_METRICS_OUTPUT_VALUES_H
#define KMI_METRICS_OUTPUT_VALUES_H

#include <array>
#include <cstdint>

#include "host/host_interface.h"
#include "metrics/chart_flow.h"
#include "metrics/source_session.h"
#include "settings/input_indices.h"
#include "settings/source_slots.h"

namespace kmi {

using SourceSessions = std::array<SourceSession, source_slot_count>;

// The 20 values of one bar as they are stored: single precision, 0 where a reading is not
// available.
using OutputValues = std::array<float, output_series_count>;

// Computes the 20 readings from the nine records and the chart flow.
OutputValues compute_output_values(const SourceSessions& sources, const ChartFlow& chart_flow) noexcept;

// Computes the 20 readings and stores all 20 at `bar_index`.
void write_output_values(HostInterface& host, std::int32_t bar_index, const SourceSessions& sources,
                         const ChartFlow& chart_flow) noexcept;

// The values of consecutive bars, gathered by the closed-bar loop and stored series by
// series: written one bar at a time, twenty values land in twenty far-apart places and
// on long charts every write waits for memory; a block of bars fills whole cache lines
// of each series in turn. Working data of one call; the stored values are the same.
struct OutputBlock {
    static constexpr int capacity = 64;
    std::int32_t first_bar = 0;
    int count = 0;
    std::array<OutputValues, capacity> bars;  // only the first `count` are set
};

// Adds bar `bar_index`'s values; a full block, or a bar that does not follow the block's
// last one, stores the block first.
void add_output_values(HostInterface& host, OutputBlock& block, std::int32_t bar_index, const SourceSessions& sources,
                       const ChartFlow& chart_flow) noexcept;

// Stores the values gathered in the block and empties it.
void store_output_block(HostInterface& host, OutputBlock& block) noexcept;

}  // namespace kmi

#endif
