#include "metrics/output_values.h"

#include <optional>

#include "host/numeric.h"
#include "metrics/add_readings.h"
#include "metrics/relative_strength.h"
#include "metrics/tick_readings.h"
#include "metrics/volatility_readings.h"
#include "metrics/volume_readings.h"
#include "settings/input_indices.h"

namespace kmi {
namespace {

using OutputValues = std::array<std::optional<double>, output_series_count>;

std::optional<double> as_value(std::optional<std::int32_t> count) noexcept {
    if (!count) return std::nullopt;
    return static_cast<double>(*count);
}

OutputValues compute_output_values(const SourceSessions& sources, const ChartFlow& chart_flow) noexcept {
    const SourceSession& tick = sources[slot_tick];
    const SourceSession& add = sources[slot_add];
    OutputValues values{};
    values[0] = tick_value(tick);
    values[1] = tick_session_high(tick);
    values[2] = tick_session_low(tick);
    values[3] = as_value(tick_bars_at_or_above_upper(tick));
    values[4] = as_value(tick_bars_at_or_below_lower(tick));
    values[5] = tick_session_average(tick);
    values[6] = add_value(add);
    values[7] = change_since_open(add);
    if (slope_is_defined(add)) values[8] = slope_per_hour(add);
    values[9] = vold_value(sources[slot_vold]);
    values[10] = updown_ratio(sources[slot_updown_ratio]);
    const SourceSession& vix = sources[slot_vix];
    if (vix.has_data) values[11] = vix.last_value;
    if (const auto change = volatility_change(vix)) values[12] = change->percent;
    values[13] = front_back_ratio(sources[slot_front], sources[slot_back]);
    if (const auto strength = relative_strength(sources[slot_es], sources[slot_nq])) {
        values[14] = strength->es_percent;
        values[15] = strength->nq_percent;
        values[16] = strength->difference;
    }
    values[17] = cumulative_delta(chart_flow);
    values[18] = vwap(chart_flow);
    values[19] = close_minus_vwap(chart_flow);
    return values;
}

}  // namespace

void write_output_values(HostInterface& host, std::int32_t bar_index, const SourceSessions& sources,
                         const ChartFlow& chart_flow) noexcept {
    const OutputValues values = compute_output_values(sources, chart_flow);
    if (host.output_series == nullptr) return;
    for (int k = 0; k < output_series_count && k < host.output_series_count; ++k) {
        // The one place where a reading that is not available becomes 0.
        const double value = values[static_cast<std::size_t>(k)].value_or(0.0);
        set_series_value(host.output_series[k], bar_index, to_single(value));
    }
}

}  // namespace kmi
