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

// The one place where a reading that is not available becomes 0.
float stored(std::optional<double> value) noexcept { return to_single(value.value_or(0.0)); }

int series_to_write(const HostInterface& host) noexcept {
    if (host.output_series == nullptr) return 0;
    return host.output_series_count < output_series_count ? host.output_series_count : output_series_count;
}

}  // namespace

OutputValues compute_output_values(const SourceSessions& sources, const ChartFlow& chart_flow) noexcept {
    OutputValues values{};
    const SourceSession& tick = sources[slot_tick];
    const SourceSession& add = sources[slot_add];
    values[0] = stored(tick_value(tick));
    values[1] = stored(tick_session_high(tick));
    values[2] = stored(tick_session_low(tick));
    values[3] = stored(as_value(tick_bars_at_or_above_upper(tick)));
    values[4] = stored(as_value(tick_bars_at_or_below_lower(tick)));
    values[5] = stored(tick_session_average(tick));
    values[6] = stored(add_value(add));
    values[7] = stored(change_since_open(add));
    if (slope_is_defined(add)) values[8] = stored(slope_per_hour(add));
    values[9] = stored(vold_value(sources[slot_vold]));
    values[10] = stored(updown_ratio(sources[slot_updown_ratio]));
    const SourceSession& vix = sources[slot_vix];
    if (vix.has_data) values[11] = stored(vix.last_value);
    if (const auto change = volatility_change(vix)) values[12] = stored(change->percent);
    values[13] = stored(front_back_ratio(sources[slot_front], sources[slot_back]));
    if (const auto strength = relative_strength(sources[slot_es], sources[slot_nq])) {
        values[14] = stored(strength->es_percent);
        values[15] = stored(strength->nq_percent);
        values[16] = stored(strength->difference);
    }
    values[17] = stored(cumulative_delta(chart_flow));
    values[18] = stored(vwap(chart_flow));
    values[19] = stored(close_minus_vwap(chart_flow));
    return values;
}

void write_output_values(HostInterface& host, std::int32_t bar_index, const SourceSessions& sources,
                         const ChartFlow& chart_flow) noexcept {
    const OutputValues values = compute_output_values(sources, chart_flow);
    const int count = series_to_write(host);
    for (int k = 0; k < count; ++k) {
        set_series_value(host.output_series[k], bar_index, values[static_cast<std::size_t>(k)]);
    }
}

void add_output_values(HostInterface& host, OutputBlock& block, std::int32_t bar_index, const SourceSessions& sources,
                       const ChartFlow& chart_flow) noexcept {
    const bool follows = block.count > 0 && static_cast<std::int64_t>(bar_index) ==
                                                static_cast<std::int64_t>(block.first_bar) + block.count;
    if (block.count == OutputBlock::capacity || (block.count > 0 && !follows)) store_output_block(host, block);
    if (block.count == 0) block.first_bar = bar_index;
    block.bars[static_cast<std::size_t>(block.count)] = compute_output_values(sources, chart_flow);
    ++block.count;
}

void store_output_block(HostInterface& host, OutputBlock& block) noexcept {
    const int count = series_to_write(host);
    for (int k = 0; k < count; ++k) {
        HostOutputSeries& series = host.output_series[k];
        for (int i = 0; i < block.count; ++i) {
            set_series_value(series, block.first_bar + i,
                             block.bars[static_cast<std::size_t>(i)][static_cast<std::size_t>(k)]);
        }
    }
    block.count = 0;
}

}  // namespace kmi
