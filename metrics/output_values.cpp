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

std::optional<double> as_value(std::optional<std::int32_t> count) noexcept {
    if (!count) return std::nullopt;
    return static_cast<double>(*count);
}

// Stores each reading as soon as it is computed: the one place where a reading that is
// not available becomes 0.
struct SeriesWriter {
    HostInterface& host;
    std::int32_t bar_index;
    int series_count;

    void put(int k, std::optional<double> value) const noexcept {
        if (k < series_count) set_series_value(host.output_series[k], bar_index, to_single(value.value_or(0.0)));
    }
};

}  // namespace

void write_output_values(HostInterface& host, std::int32_t bar_index, const SourceSessions& sources,
                         const ChartFlow& chart_flow) noexcept {
    if (host.output_series == nullptr) return;
    const SeriesWriter out{host, bar_index,
                           host.output_series_count < output_series_count ? host.output_series_count
                                                                          : output_series_count};
    const SourceSession& tick = sources[slot_tick];
    const SourceSession& add = sources[slot_add];
    out.put(0, tick_value(tick));
    out.put(1, tick_session_high(tick));
    out.put(2, tick_session_low(tick));
    out.put(3, as_value(tick_bars_at_or_above_upper(tick)));
    out.put(4, as_value(tick_bars_at_or_below_lower(tick)));
    out.put(5, tick_session_average(tick));
    out.put(6, add_value(add));
    out.put(7, change_since_open(add));
    out.put(8, slope_is_defined(add) ? std::optional<double>(slope_per_hour(add)) : std::nullopt);
    out.put(9, vold_value(sources[slot_vold]));
    out.put(10, updown_ratio(sources[slot_updown_ratio]));
    const SourceSession& vix = sources[slot_vix];
    out.put(11, vix.has_data ? std::optional<double>(vix.last_value) : std::nullopt);
    const std::optional<VolatilityChange> change = volatility_change(vix);
    out.put(12, change ? std::optional<double>(change->percent) : std::nullopt);
    out.put(13, front_back_ratio(sources[slot_front], sources[slot_back]));
    const std::optional<RelativeStrength> strength = relative_strength(sources[slot_es], sources[slot_nq]);
    out.put(14, strength ? std::optional<double>(strength->es_percent) : std::nullopt);
    out.put(15, strength ? std::optional<double>(strength->nq_percent) : std::nullopt);
    out.put(16, strength ? std::optional<double>(strength->difference) : std::nullopt);
    out.put(17, cumulative_delta(chart_flow));
    out.put(18, vwap(chart_flow));
    out.put(19, close_minus_vwap(chart_flow));
}

}  // namespace kmi
