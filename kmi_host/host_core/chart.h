// A chart as our host keeps it: its identity, settings and bar arrays, and the bars set,
// appended or replaced as a charting host does while data arrive.
#ifndef KMI_HOST_HOST_CORE_CHART_H
#define KMI_HOST_HOST_CORE_CHART_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/host_interface.h"

namespace kmi::emu {

// One bar of a chart.
struct Bar {
    HostDateTime time = 0;
    float open = 0.0f;
    float high = 0.0f;
    float low = 0.0f;
    float close = 0.0f;
    float volume = 0.0f;
    float bid_volume = 0.0f;
    float ask_volume = 0.0f;

    friend bool operator==(const Bar&, const Bar&) = default;
};

// The time zone of a chart that names none: every chart's, the session inputs' and the output
// files' unless the replay is told another (--time-zone).
inline constexpr const char* default_time_zone = "America/New_York";

// A chart: its identity, settings and bar arrays (one vector per host array).
struct Chart {
    std::int32_t number = 0;
    std::string symbol;
    std::int32_t bar_seconds = 60;
    std::string time_zone = default_time_zone;
    std::int32_t price_format = 2;
    std::optional<HostSessionTimes> session_times;
    std::array<std::int32_t, 3> bar_period{2, 0, 60};  // kind, sub-kind, count
    std::vector<HostDateTime> times;
    std::vector<float> open, high, low, close, volume, bid_volume, ask_volume;
};

// A chart with `bar_seconds` and the bar period that goes with it.
Chart make_chart(std::int32_t number, std::string symbol, std::int32_t bar_seconds);
// The chart's bars take `bar_seconds` each, and its bar period says so.
void set_bar_seconds(Chart& chart, std::int32_t bar_seconds);
void append_bar(Chart& chart, const Bar& bar);
void replace_last_bar(Chart& chart, const Bar& bar);
// Room for `bars` bars in every array, so that appending them does not move the arrays.
void reserve_bars(Chart& chart, std::size_t bars);
void set_bars(Chart& chart, const std::vector<Bar>& bars);
// The chart's bars from `from` on.
std::vector<Bar> bars_of(const Chart& chart, std::size_t from = 0);
std::int32_t bar_count(const Chart& chart);

}  // namespace kmi::emu

#endif
