#include "metrics/session_window.h"

#include "host/host_datetime.h"
#include "host/numeric.h"
#include "metrics/chart_flow.h"
#include "settings/input_indices.h"
#include "settings/input_readers.h"

namespace kmi {

SessionWindow window_from_inputs(const HostInterface& host) noexcept {
    SessionWindow window;
    window.start_second = read_time_of_day(input_at(host, input_rth_start));
    window.end_second = read_time_of_day(input_at(host, input_rth_end));
    return window;
}

std::int32_t panel_reference_day(const SessionWindow& window, const ChartFlow& live_chart_flow,
                                 const HostInterface& host) noexcept {
    if (host.bar_count >= 1) {
        const std::int64_t last_start = to_milliseconds(host_at(host.bar_datetimes, host.bar_count - 1));
        if (in_session(window, last_start)) return day_number(last_start);
    }
    return live_chart_flow.session_day;
}

}  // namespace kmi
