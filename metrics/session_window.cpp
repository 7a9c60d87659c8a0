#include "metrics/session_window.h"

#include "host/host_datetime.h"
#include "host/numeric.h"
#include "metrics/chart_flow.h"
#include "settings/input_indices.h"
#include "settings/input_readers.h"

namespace kmi {

std::int32_t day_number(std::int64_t time_ms) noexcept { return saturate_i32(time_ms / milliseconds_per_day); }

std::int32_t second_of_day(std::int64_t time_ms) noexcept {
    return static_cast<std::int32_t>((time_ms % milliseconds_per_day) / 1000);
}

bool in_session(const SessionWindow& window, std::int64_t time_ms) noexcept {
    const std::int32_t second = second_of_day(time_ms);
    return window.start_second <= second && second < window.end_second;
}

double hours_since_window_start(const SessionWindow& window, std::int64_t time_ms) noexcept {
    // Both seconds lie within one day of 0, so the difference fits 32 bits.
    const auto seconds = static_cast<std::int32_t>(static_cast<std::int64_t>(second_of_day(time_ms)) -
                                                   static_cast<std::int64_t>(window.start_second));
    return static_cast<double>(seconds) / 3600.0;
}

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
