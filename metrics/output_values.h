// The 20 output series values of one chart bar.
#ifndef KMI_METRICS_OUTPUT_VALUES_H
#define KMI_METRICS_OUTPUT_VALUES_H

#include <array>
#include <cstdint>
#include <optional>

#include "host/always_inline.h"
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
KMI_ALWAYS_INLINE float stored(std::optional<double> value) noexcept { return to_single(value.value_or(0.0)); }

KMI_ALWAYS_INLINE std::optional<double> count_as_value(std::optional<std::int32_t> count) noexcept {
    if (!count) return std::nullopt;
    return static_cast<double>(*count);
}

// The values each record gives, set in a row: an OutputValues, or anything indexed the
// same way (the closed-bar loop keeps its rows in columns). The closed-bar loop fills
// them source by source, so each is its own step; compute_output_values makes them all.

// Series 0 to 5 from the TICK.
template <typename Row>
KMI_ALWAYS_INLINE void set_tick_values(Row& values, const SourceSession& tick) noexcept {
    values[0] = stored(tick_value(tick));
    values[1] = stored(tick_session_high(tick));
    values[2] = stored(tick_session_low(tick));
    values[3] = stored(count_as_value(tick_bars_at_or_above_upper(tick)));
    values[4] = stored(count_as_value(tick_bars_at_or_below_lower(tick)));
    values[5] = stored(tick_session_average(tick));
}

// Series 6 to 8 from the ADD.
template <typename Row>
KMI_ALWAYS_INLINE void set_add_values(Row& values, const SourceSession& add) noexcept {
    values[6] = stored(add_value(add));
    values[7] = stored(change_since_open(add));
    values[8] = slope_is_defined(add) ? stored(slope_per_hour(add)) : 0.0F;
}

// Series 9 and 10 from the volume breadth sources.
template <typename Row>
KMI_ALWAYS_INLINE void set_vold_value(Row& values, const SourceSession& vold) noexcept {
    values[9] = stored(vold_value(vold));
}

template <typename Row>
KMI_ALWAYS_INLINE void set_updown_value(Row& values, const SourceSession& ratio) noexcept {
    values[10] = stored(updown_ratio(ratio));
}

// Series 11 and 12 from the VIX.
template <typename Row>
KMI_ALWAYS_INLINE void set_vix_values(Row& values, const SourceSession& vix) noexcept {
    values[11] = vix.has_data ? stored(vix.last_value) : 0.0F;
    const std::optional<VolatilityChange> change = volatility_change(vix);
    values[12] = change ? stored(change->percent) : 0.0F;
}

// Series 13 from the front and back of the term structure.
template <typename Row, typename Front>
KMI_ALWAYS_INLINE void set_term_structure_value(Row& values, const Front& front, const SourceSession& back) noexcept {
    values[13] = stored(front_back_ratio(front, back));
}

// Series 14 to 16 from ES against NQ.
template <typename Row, typename Es>
KMI_ALWAYS_INLINE void set_strength_values(Row& values, const Es& es, const SourceSession& nq) noexcept {
    const std::optional<RelativeStrength> strength = relative_strength(es, nq);
    values[14] = strength ? stored(strength->es_percent) : 0.0F;
    values[15] = strength ? stored(strength->nq_percent) : 0.0F;
    values[16] = strength ? stored(strength->difference) : 0.0F;
}

// Series 17 to 19 from this chart's flow.
template <typename Row>
KMI_ALWAYS_INLINE void set_chart_flow_values(Row& values, const ChartFlow& flow) noexcept {
    values[17] = stored(cumulative_delta(flow));
    values[18] = stored(vwap(flow));
    values[19] = stored(close_minus_vwap(flow));
}

// The series the study writes: the host's, up to 20.
KMI_ALWAYS_INLINE int output_series_to_write(const HostInterface& host) noexcept {
    if (host.output_series == nullptr) return 0;
    return host.output_series_count < output_series_count ? host.output_series_count : output_series_count;
}

// Computes the 20 readings from the nine records and the chart flow.
OutputValues compute_output_values(const SourceSessions& sources, const ChartFlow& chart_flow) noexcept;

// Computes the 20 readings and stores all 20 at `bar_index`.
void write_output_values(HostInterface& host, std::int32_t bar_index, const SourceSessions& sources,
                         const ChartFlow& chart_flow) noexcept;

// The values of a run of consecutive bars, kept series by series: written one bar at a
// time, twenty values land in twenty far-apart places and on long charts every write
// waits for memory; a run of bars fills whole cache lines of each series in turn, and
// each series is stored in one sweep. The stored values are the same.
template <std::size_t Capacity>
struct OutputColumns {
    std::array<std::array<float, Capacity>, output_series_count> series;  // a bar's values are set before use
};

// Bar i of the columns, indexed like an OutputValues.
template <std::size_t Capacity>
struct OutputColumnsRow {
    OutputColumns<Capacity>* columns = nullptr;
    int bar = 0;
    float& operator[](std::size_t k) const noexcept { return columns->series[k][static_cast<std::size_t>(bar)]; }
};

// Stores bars 0 to count - 1 of the columns at first_bar onwards.
template <std::size_t Capacity>
void store_output_columns(HostInterface& host, std::int32_t first_bar, const OutputColumns<Capacity>& columns,
                          int count) noexcept {
    const int series_count = output_series_to_write(host);
    for (int k = 0; k < series_count; ++k) {
        const std::array<float, Capacity>& values = columns.series[static_cast<std::size_t>(k)];
        set_series_values(host.output_series[k], first_bar, count,
                          [&values](std::int32_t i) { return values[static_cast<std::size_t>(i)]; });
    }
}

}  // namespace kmi

#endif
