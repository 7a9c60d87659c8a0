// This chart's regular-session cumulative delta and VWAP sums.
#ifndef KMI_METRICS_CHART_FLOW_H
#define KMI_METRICS_CHART_FLOW_H

#include <cstdint>
#include <optional>

#include "host/host_datetime.h"
#include "host/host_interface.h"
#include "metrics/session_window.h"

namespace kmi {

struct ChartFlow {
    std::int32_t session_day = -1;
    double cum_delta = 0.0;
    double sum_price_volume = 0.0;
    double sum_volume = 0.0;
    double last_close = 0.0;
    bool has_data = false;
};

// Takes chart bar `index` of this chart into the flow: the close always, the delta and
// VWAP sums only for a bar that starts inside the window (a new session day restarts
// them).
inline void take_chart_bar(ChartFlow& flow, const SessionWindow& window, const HostInterface& host,
                           std::int32_t index) noexcept {
    const auto close = static_cast<double>(host_at(host.bar_close, index));
    flow.last_close = close;
    flow.has_data = true;
    const std::int64_t start_ms = to_milliseconds(host_at(host.bar_datetimes, index));
    if (!in_session(window, start_ms)) return;
    const std::int32_t day = day_number(start_ms);
    if (day != flow.session_day) {
        flow.session_day = day;
        flow.cum_delta = 0.0;
        flow.sum_price_volume = 0.0;
        flow.sum_volume = 0.0;
    }
    const auto high = static_cast<double>(host_at(host.bar_high, index));
    const auto low = static_cast<double>(host_at(host.bar_low, index));
    const auto volume = static_cast<double>(host_at(host.bar_volume, index));
    flow.cum_delta += static_cast<double>(host_at(host.bar_ask_volume, index)) -
                      static_cast<double>(host_at(host.bar_bid_volume, index));
    const double typical_price = ((low + high) + close) / 3.0;
    flow.sum_price_volume += typical_price * volume;
    flow.sum_volume += volume;
}

// The readings, once the flow has a session (the VWAP also needs volume).
inline std::optional<double> cumulative_delta(const ChartFlow& flow) noexcept {
    if (flow.session_day < 0) return std::nullopt;
    return flow.cum_delta;
}

inline std::optional<double> vwap(const ChartFlow& flow) noexcept {
    if (flow.session_day < 0 || !(flow.sum_volume > 0.0)) return std::nullopt;
    return flow.sum_price_volume / flow.sum_volume;
}

inline std::optional<double> close_minus_vwap(const ChartFlow& flow) noexcept {
    const std::optional<double> average = vwap(flow);
    if (!average) return std::nullopt;
    return flow.last_close - *average;
}

}  // namespace kmi

#endif
