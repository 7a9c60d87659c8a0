// This chart's regular-session cumulative delta and VWAP sums.
#ifndef KMI_METRICS_CHART_FLOW_H
#define KMI_METRICS_CHART_FLOW_H

#include <cstdint>
#include <optional>

#include "host/host_interface.h"

namespace kmi {

struct SessionWindow;

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
void take_chart_bar(ChartFlow& flow, const SessionWindow& window, const HostInterface& host,
                    std::int32_t index) noexcept;

// The readings, once the flow has a session (the VWAP also needs volume).
std::optional<double> cumulative_delta(const ChartFlow& flow) noexcept;
std::optional<double> vwap(const ChartFlow& flow) noexcept;
std::optional<double> close_minus_vwap(const ChartFlow& flow) noexcept;

}  // namespace kmi

#endif
