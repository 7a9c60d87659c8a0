// The regular-session window: a window of the day, start inclusive and end exclusive,
// in seconds of the day, tested against a bar's start time.
#ifndef KMI_METRICS_SESSION_WINDOW_H
#define KMI_METRICS_SESSION_WINDOW_H

#include <cstdint>

#include "host/always_inline.h"
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

// A time's day number and second of the day, as day_number and second_of_day give them.
struct DayTime {
    std::int32_t day = 0;
    std::int32_t second = 0;
};

inline DayTime day_time(std::int64_t time_ms) noexcept { return DayTime{day_number(time_ms), second_of_day(time_ms)}; }

// The day a walk's last bar fell in, so that the bars after it, mostly of the same day,
// need a subtraction and one division instead of two divisions. It always holds a day
// from the host epoch on, where the quotient and remainder by a day are floor and
// modulo, starting with day 0; a time outside it goes the long way.
struct DayClock {
    std::int64_t day_start_ms = 0;
    std::int32_t day = 0;
};

KMI_ALWAYS_INLINE DayTime day_time(DayClock& clock, std::int64_t time_ms) noexcept {
    // One unsigned comparison: a time before the day's start wraps to a large value.
    const std::uint64_t into_day = static_cast<std::uint64_t>(time_ms) - static_cast<std::uint64_t>(clock.day_start_ms);
    if (into_day < static_cast<std::uint64_t>(milliseconds_per_day)) {
        return DayTime{clock.day, static_cast<std::int32_t>(into_day / 1000u)};
    }
    const DayTime result = day_time(time_ms);
    const std::int64_t whole_days = time_ms / milliseconds_per_day;
    if (time_ms >= 0 && whole_days <= INT32_MAX) {
        clock.day_start_ms = whole_days * milliseconds_per_day;
        clock.day = result.day;
    }
    return result;
}

// A time is in the session when start_second <= second_of_day < end_second.
KMI_ALWAYS_INLINE bool in_session(const SessionWindow& window, const DayTime& time) noexcept {
    return window.start_second <= time.second && time.second < window.end_second;
}

inline bool in_session(const SessionWindow& window, std::int64_t time_ms) noexcept {
    return in_session(window, day_time(time_ms));
}

// Hours from the window's start second to the time's second of the day: the x
// coordinate of the ADD slope.
KMI_ALWAYS_INLINE double hours_since_window_start(const SessionWindow& window, const DayTime& time) noexcept {
    // Both seconds lie within one day of 0, so the difference fits 32 bits.
    const auto seconds = static_cast<std::int32_t>(static_cast<std::int64_t>(time.second) -
                                                   static_cast<std::int64_t>(window.start_second));
    return static_cast<double>(seconds) / 3600.0;
}

inline double hours_since_window_start(const SessionWindow& window, std::int64_t time_ms) noexcept {
    return hours_since_window_start(window, day_time(time_ms));
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
