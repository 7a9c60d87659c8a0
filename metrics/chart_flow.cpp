#include "metrics/chart_flow.h"

#include "metrics/session_window.h"

namespace kmi {

void take_chart_bar(ChartFlow& flow, const SessionWindow& window, const HostInterface& host, std::int32_t index) noexcept {
    // The delta and VWAP accumulation arrives with the chart metrics.
    (void)flow;
    (void)window;
    (void)host;
    (void)index;
}

}  // namespace kmi
