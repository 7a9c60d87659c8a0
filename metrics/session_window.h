// The regular-session window: a window of the day, start inclusive and end exclusive,
// in seconds of the day, tested against a bar's start time.
#ifndef KMI_METRICS_SESSION_WINDOW_H
#define KMI_METRICS_SESSION_WINDOW_H

#include <cstdint>

#include "host/host_interface.h"
#include "host/numeric.h"

namespace kmi {

struct SessionWindow {
    std::int32_t start_second = 34200;  // 09:30
    std::int32_t end_second = 57600;    // 16:00
};

inline constexpr std::int64_t milliseconds_per_day = 86400000;

// These four run for every source bar a walk takes, so they are defined here, where
// every caller can inline them.

// Milliseconds divided by one day, truncated toward zero. Day 0 (the host epoch's day)
// is a Saturday.
inline std::int32_t day_number(std::int64_t time_ms) noexcept { return saturate_i32(time_ms / milliseconds_per_day); }

// The remainder of the milliseconds by one day (sign of the dividend), in whole seconds.
inline std::int32_t second_of_day(std::int64_t time_ms) noexcept {
    return static_cast<std::int32_t>((time_ms % milliseconds_per_day) / 1000);
}

// A time is in the session when start_second <= second_of_day < end_second.
inline bool in_session(const SessionWindow& window, std::int64_t time_ms) noexcept {
    const std::int32_t second = second_of_day(time_ms);
    return window.start_second <= second && second < window.end_second;
}

// Hours from the window's start second to the time's second of the day: the x
// coordinate of the ADD slope.
inline double hours_since_window_start(const SessionWindow& window, std::int64_t time_ms) noexcept {
    // Both seconds lie within one day of 0, so the difference fits 32 bits.
    const auto seconds = static_cast<std::int32_t>(static_cast<std::int64_t>(second_of_day(time_ms)) -
                                                   static_cast<std::int64_t>(window.start_second));
    return static_cast<double>(seconds) / 3600.0;
}

// The window as the inputs "RTH Start Time" and "RTH End Time" give it.
SessionWindow window_from_inputs(const HostInterface& host) noexcept;

struct ChartFlow;

// The current session day for the panel: the session day of the live chart flow, unless
// this chart's last bar starts inside the window, in which case that bar's day. -1: none.
std::int32_t panel_reference_day(const SessionWindow& window, const ChartFlow& live_chart_flow,
                                 const HostInterface& host) noexcept;

}  // namespace kmi

#endif
