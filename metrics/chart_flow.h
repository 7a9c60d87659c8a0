// This chart's regular-session cumulative delta and VWAP sums.
#ifndef KMI_METRICS_CHART_FLOW_H
#define KMI_METRICS_CHART_FLOW_H

#include <cstdint>
#include <optional>

#include "host/always_inline.h"
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

// What the flow takes from a chart bar inside the window, besides its close.
struct ChartBarFlow {
    float high = 0.0F;
    float low = 0.0F;
    float volume = 0.0F;
    float ask_volume = 0.0F;
    float bid_volume = 0.0F;
};

// Takes a chart bar starting at `when` into the flow: the close always, the delta and
// VWAP sums only for a bar that starts inside the window (a new session day restarts
// them). read_flow() gives the rest of the bar, and is called only for a bar inside the
// window.
template <typename ReadFlow>
KMI_ALWAYS_INLINE void fold_chart_bar(ChartFlow& flow, const SessionWindow& window, const DayTime& when, double close,
                                      ReadFlow&& read_flow) noexcept {
    flow.last_close = close;
    flow.has_data = true;
    if (!in_session(window, when)) return;
    if (when.day != flow.session_day) {
        flow.session_day = when.day;
        flow.cum_delta = 0.0;
        flow.sum_price_volume = 0.0;
        flow.sum_volume = 0.0;
    }
    const ChartBarFlow bar = read_flow();
    const auto high = static_cast<double>(bar.high);
    const auto low = static_cast<double>(bar.low);
    const auto volume = static_cast<double>(bar.volume);
    flow.cum_delta += static_cast<double>(bar.ask_volume) - static_cast<double>(bar.bid_volume);
    const double typical_price = ((low + high) + close) / 3.0;
    flow.sum_price_volume += typical_price * volume;
    flow.sum_volume += volume;
}

// Takes chart bar `index` of this chart into the flow.
KMI_ALWAYS_INLINE void take_chart_bar(ChartFlow& flow, const SessionWindow& window, const HostInterface& host,
                                      std::int32_t index) noexcept {
    fold_chart_bar(flow, window, day_time(to_milliseconds(host_at(host.bar_datetimes, index))),
                   static_cast<double>(host_at(host.bar_close, index)), [&host, index] {
                       return ChartBarFlow{host_at(host.bar_high, index), host_at(host.bar_low, index),
                                           host_at(host.bar_volume, index), host_at(host.bar_ask_volume, index),
                                           host_at(host.bar_bid_volume, index)};
                   });
}

// The readings, once the flow has a session (the VWAP also needs volume).
KMI_ALWAYS_INLINE std::optional<double> cumulative_delta(const ChartFlow& flow) noexcept {
    if (flow.session_day < 0) return std::nullopt;
    return flow.cum_delta;
}

KMI_ALWAYS_INLINE std::optional<double> vwap(const ChartFlow& flow) noexcept {
    if (flow.session_day < 0 || !(flow.sum_volume > 0.0)) return std::nullopt;
    return flow.sum_price_volume / flow.sum_volume;
}

KMI_ALWAYS_INLINE std::optional<double> close_minus_vwap(const ChartFlow& flow) noexcept {
    const std::optional<double> average = vwap(flow);
    if (!average) return std::nullopt;
    return flow.last_close - *average;
}

}  // namespace kmi

#endif
