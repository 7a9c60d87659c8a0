// The 20 output series values of one chart bar.
#ifndef KMI_METRICS_OUTPUT_VALUES_H
#define KMI_METRICS_OUTPUT_VALUES_H

#include <array>
#include <cstdint>
#include <optional>

#include "host/host_interface.h"
#include "host/numeric.h"
#include "metrics/add_readings.h"
#include "metrics/chart_flow.h"
#include "metrics/relative_strength.h"
#include "metrics/source_session.h"
#include "metrics/tick_readings.h"
#include "metrics/volatility_readings.h"
#include "metrics/volume_readings.h"
#include "settings/input_indices.h"
#include "settings/source_slots.h"

namespace kmi {

using SourceSessions = std::array<SourceSession, source_slot_count>;

// The 20 values of one bar as they are stored: single precision, 0 where a reading is not
// available.
using OutputValues = std::array<float, output_series_count>;

// The one place where a reading that is not available becomes 0.
inline float stored(std::optional<double> value) noexcept { return to_single(value.value_or(0.0)); }

inline std::optional<double> count_as_value(std::optional<std::int32_t> count) noexcept {
    if (!count) return std::nullopt;
    return static_cast<double>(*count);
}

// The values each record gives. The closed-bar loop fills them source by source, so each
// is its own step; compute_output_values makes them all.

// Series 0 to 5 from the TICK.
inline void set_tick_values(OutputValues& values, const SourceSession& tick) noexcept {
    values[0] = stored(tick_value(tick));
    values[1] = stored(tick_session_high(tick));
    values[2] = stored(tick_session_low(tick));
    values[3] = stored(count_as_value(tick_bars_at_or_above_upper(tick)));
    values[4] = stored(count_as_value(tick_bars_at_or_below_lower(tick)));
    values[5] = stored(tick_session_average(tick));
}

// Series 6 to 8 from the ADD.
inline void set_add_values(OutputValues& values, const SourceSession& add) noexcept {
    values[6] = stored(add_value(add));
    values[7] = stored(change_since_open(add));
    values[8] = slope_is_defined(add) ? stored(slope_per_hour(add)) : 0.0F;
}

// Series 9 and 10 from the volume breadth sources.
inline void set_vold_value(OutputValues& values, const SourceSession& vold) noexcept {
    values[9] = stored(vold_value(vold));
}

inline void set_updown_value(OutputValues& values, const SourceSession& ratio) noexcept {
    values[10] = stored(updown_ratio(ratio));
}

// Series 11 and 12 from the VIX.
inline void set_vix_values(OutputValues& values, const SourceSession& vix) noexcept {
    values[11] = vix.has_data ? stored(vix.last_value) : 0.0F;
    const std::optional<VolatilityChange> change = volatility_change(vix);
    values[12] = change ? stored(change->percent) : 0.0F;
}

// Series 13 from the front and back of the term structure.
inline void set_term_structure_value(OutputValues& values, const SourceSession& front,
                                     const SourceSession& back) noexcept {
    values[13] = stored(front_back_ratio(front, back));
}

// Series 14 to 16 from ES against NQ.
inline void set_strength_values(OutputValues& values, const SourceSession& es, const SourceSession& nq) noexcept {
    const std::optional<RelativeStrength> strength = relative_strength(es, nq);
    values[14] = strength ? stored(strength->es_percent) : 0.0F;
    values[15] = strength ? stored(strength->nq_percent) : 0.0F;
    values[16] = strength ? stored(strength->difference) : 0.0F;
}

// Series 17 to 19 from this chart's flow.
inline void set_chart_flow_values(OutputValues& values, const ChartFlow& flow) noexcept {
    values[17] = stored(cumulative_delta(flow));
    values[18] = stored(vwap(flow));
    values[19] = stored(close_minus_vwap(flow));
}

// Computes the 20 readings from the nine records and the chart flow.
OutputValues compute_output_values(const SourceSessions& sources, const ChartFlow& chart_flow) noexcept;

// Computes the 20 readings and stores all 20 at `bar_index`.
void write_output_values(HostInterface& host, std::int32_t bar_index, const SourceSessions& sources,
                         const ChartFlow& chart_flow) noexcept;

// Stores the values of `count` consecutive bars from `first_bar` on, series by series:
// written one bar at a time, twenty values land in twenty far-apart places and on long
// charts every write waits for memory; a run of bars fills whole cache lines of each
// series in turn. The stored values are the same.
void store_output_rows(HostInterface& host, std::int32_t first_bar, const OutputValues* rows, int count) noexcept;

}  // namespace kmi

#endif
