#include "bench/recompute_peer.h"

#include <cstring>
#include <optional>

#include "host/host_datetime.h"
#include "metrics/add_readings.h"
#include "metrics/chart_flow.h"
#include "metrics/count_bar.h"
#include "metrics/relative_strength.h"
#include "metrics/source_session.h"
#include "metrics/tick_readings.h"
#include "metrics/volatility_readings.h"
#include "metrics/volume_readings.h"

namespace kmi::bench {
namespace {

using Sessions = std::array<SourceSession, source_slot_count>;
using Cursors = std::array<std::size_t, source_slot_count>;

std::int64_t start_ms(const emu::Chart& chart, std::size_t j) { return to_milliseconds(chart.times[j]); }

std::int64_t period_ms(const emu::Chart& chart) { return std::int64_t{chart.bar_seconds} * 1000; }

// A bar ends one bar length after its start, or at the next bar's start when that
// comes first.
std::int64_t end_ms(const emu::Chart& chart, std::size_t j, std::int64_t start) {
    const std::int64_t full = start + period_ms(chart);
    if (j + 1 >= chart.times.size()) return full;
    const std::int64_t next = start_ms(chart, j + 1);
    return next < full ? next : full;
}

void take(SourceSession& session, const emu::Chart& chart, std::size_t j, std::int64_t start, std::int64_t end,
          const PeerRules& rules) {
    const auto close = static_cast<double>(chart.close[j]);
    session.has_data = true;
    session.bar_end_ms = end;
    session.last_value = close;
    session.bar_start_ms = start;
    count_bar(rules.window, rules.upper_threshold, rules.lower_threshold, session, static_cast<double>(chart.open[j]),
              static_cast<double>(chart.high[j]), static_cast<double>(chart.low[j]), close, start);
}

// The source bars that have ended by `bound`, from the cursor on.
void take_ended(SourceSession& session, std::size_t& cursor, const emu::Chart& chart, std::int64_t bound,
                const PeerRules& rules) {
    for (; cursor < chart.times.size(); ++cursor) {
        const std::int64_t start = start_ms(chart, cursor);
        const std::int64_t end = end_ms(chart, cursor, start);
        if (end > bound) return;
        take(session, chart, cursor, start, end, rules);
    }
}

void store(PeerOutput& output, std::size_t bar, const Sessions& sources, const ChartFlow& flow) {
    std::array<std::optional<double>, peer_series_count> values{};
    const SourceSession& tick = sources[slot_tick];
    const SourceSession& add = sources[slot_add];
    values[0] = tick_value(tick);
    values[1] = tick_session_high(tick);
    values[2] = tick_session_low(tick);
    if (const auto count = tick_bars_at_or_above_upper(tick)) values[3] = static_cast<double>(*count);
    if (const auto count = tick_bars_at_or_below_lower(tick)) values[4] = static_cast<double>(*count);
    values[5] = tick_session_average(tick);
    values[6] = add_value(add);
    values[7] = change_since_open(add);
    if (slope_is_defined(add)) values[8] = slope_per_hour(add);
    values[9] = vold_value(sources[slot_vold]);
    values[10] = updown_ratio(sources[slot_updown_ratio]);
    if (sources[slot_vix].has_data) values[11] = sources[slot_vix].last_value;
    if (const auto change = volatility_change(sources[slot_vix])) values[12] = change->percent;
    values[13] = front_back_ratio(sources[slot_front], sources[slot_back]);
    if (const auto strength = relative_strength(sources[slot_es], sources[slot_nq])) {
        values[14] = strength->es_percent;
        values[15] = strength->nq_percent;
        values[16] = strength->difference;
    }
    values[17] = cumulative_delta(flow);
    values[18] = vwap(flow);
    values[19] = close_minus_vwap(flow);
    for (std::size_t k = 0; k < values.size(); ++k) output.series[k][bar] = static_cast<float>(values[k].value_or(0.0));
}

// The chart's arrays as take_chart_bar reads them.
HostInterface chart_record(const emu::Chart& chart) {
    HostInterface record{};
    emu::set_chart_arrays(record, chart);
    return record;
}

}  // namespace

void recompute_every_bar(const SyntheticMarket& market, const PeerRules& rules, PeerOutput& output) {
    const emu::Chart& chart = *market.sources[slot_es];
    const std::size_t bars = chart.times.size();
    for (std::vector<float>& series : output.series) series.resize(bars);
    const HostInterface record = chart_record(chart);
    Sessions sources{};
    Cursors cursors{};
    ChartFlow flow;
    // Closed bars: each source advanced to the chart bar's end, then the readings.
    for (std::size_t b = 0; b + 1 < bars; ++b) {
        const std::int64_t start = start_ms(chart, b);
        const std::int64_t next = start_ms(chart, b + 1);
        const std::int64_t full = start + period_ms(chart);
        const std::int64_t bound = next < full ? next : full;
        for (std::size_t slot = 0; slot < sources.size(); ++slot) {
            take_ended(sources[slot], cursors[slot], *market.sources[slot], bound, rules);
        }
        take_chart_bar(flow, rules.window, record, static_cast<std::int32_t>(b));
        store(output, b, sources, flow);
    }
    if (bars == 0) return;
    // The forming bar: up to the host's clock, with the sources' own forming bars.
    const std::size_t last = bars - 1;
    const std::int64_t last_start = start_ms(chart, last);
    std::int64_t bound = last_start + period_ms(chart);
    if (market.host->now > 0 && to_milliseconds(market.host->now) < bound) bound = to_milliseconds(market.host->now);
    if (bound < last_start) bound = last_start;
    for (std::size_t slot = 0; slot < sources.size(); ++slot) {
        const emu::Chart& source = *market.sources[slot];
        take_ended(sources[slot], cursors[slot], source, bound, rules);
        for (std::size_t j = cursors[slot]; j < source.times.size(); ++j) {
            const std::int64_t source_start = start_ms(source, j);
            if (source_start > bound) break;
            take(sources[slot], source, j, source_start, end_ms(source, j, source_start), rules);
        }
    }
    take_chart_bar(flow, rules.window, record, static_cast<std::int32_t>(last));
    store(output, last, sources, flow);
}

std::int64_t count_differences(const SyntheticMarket& market, const PeerOutput& output) {
    std::int64_t differences = 0;
    const auto& study_series = market.host->study.series;
    for (std::size_t k = 0; k < output.series.size(); ++k) {
        const std::vector<float>& peer = output.series[k];
        const std::vector<float>& study = study_series[k];
        if (peer.size() != study.size()) return -1;
        for (std::size_t b = 0; b < peer.size(); ++b) {
            differences += std::memcmp(&peer[b], &study[b], sizeof(float)) != 0 ? 1 : 0;
        }
    }
    return differences;
}

}  // namespace kmi::bench
