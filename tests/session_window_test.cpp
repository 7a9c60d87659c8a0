// The regular-session window: day numbers, seconds of the day, membership by start time,
// the window taken from the inputs and the panel's current session day.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <limits>
#include <vector>

#include "host/host_interface.h"
#include "metrics/chart_flow.h"
#include "metrics/session_window.h"

namespace {

using kmi::day_number;
using kmi::in_session;
using kmi::second_of_day;
using kmi::SessionWindow;

constexpr std::int64_t day_ms = 86400000;
constexpr std::int64_t march_15_2024 = 45366;  // days since 1899-12-30, a Friday

constexpr std::int64_t at(std::int64_t day, int h, int m, int s, int ms = 0) {
    return day * day_ms + ((h * 60 + m) * 60 + s) * 1000LL + ms;
}

TEST(SessionWindow, DayNumbersCountWholeDaysTowardZero) {
    EXPECT_EQ(day_number(0), 0);
    EXPECT_EQ(day_number(day_ms - 1), 0);
    EXPECT_EQ(day_number(day_ms), 1);
    EXPECT_EQ(day_number(-1), 0);
    EXPECT_EQ(day_number(-day_ms + 1), 0);
    EXPECT_EQ(day_number(-day_ms), -1);
    EXPECT_EQ(day_number(at(march_15_2024, 15, 59, 59, 999)), march_15_2024);
    EXPECT_EQ(day_number(std::numeric_limits<std::int64_t>::max()), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(day_number(std::numeric_limits<std::int64_t>::min()), std::numeric_limits<std::int32_t>::min());
}

TEST(SessionWindow, DayZeroIsASaturdayAndEverySeventhDayToo) {
    using namespace std::chrono;
    const sys_days epoch{year{1899} / 12 / 30};
    EXPECT_EQ(weekday{epoch}, Saturday);
    for (std::int64_t d = 0; d < 120000; ++d) {  // to the 2220s
        const std::int32_t n = day_number(at(d, 12, 0, 0));
        const weekday w{epoch + days{d}};
        ASSERT_EQ(n % 7 == 0, w == Saturday) << d;
        ASSERT_EQ(n % 7 == 1, w == Sunday) << d;
    }
}

TEST(SessionWindow, SecondOfTheDayDropsMilliseconds) {
    EXPECT_EQ(second_of_day(at(march_15_2024, 9, 29, 59, 999)), 34199);
    EXPECT_EQ(second_of_day(at(march_15_2024, 9, 30, 0)), 34200);
    EXPECT_EQ(second_of_day(at(march_15_2024, 23, 59, 59, 999)), 86399);
    EXPECT_EQ(second_of_day(at(march_15_2024 + 1, 0, 0, 0)), 0);
    // Before the epoch the remainder keeps the sign of the time.
    EXPECT_EQ(second_of_day(-1), 0);
    EXPECT_EQ(second_of_day(-1000), -1);
    EXPECT_EQ(second_of_day(-(day_ms + day_ms / 4)), -21600);
    const std::int32_t extreme_max = second_of_day(std::numeric_limits<std::int64_t>::max());
    const std::int32_t extreme_min = second_of_day(std::numeric_limits<std::int64_t>::min());
    EXPECT_GE(extreme_max, 0);
    EXPECT_LT(extreme_max, 86400);
    EXPECT_LE(extreme_min, 0);
    EXPECT_GT(extreme_min, -86400);
}

TEST(SessionWindow, DefaultWindowHoldsStartsFromNineThirtyToBeforeFour) {
    const SessionWindow window{};
    EXPECT_EQ(window.start_second, 34200);
    EXPECT_EQ(window.end_second, 57600);
    for (const std::int64_t day : {std::int64_t{2}, march_15_2024, std::int64_t{73110}}) {
        EXPECT_FALSE(in_session(window, at(day, 9, 29, 59))) << day;
        EXPECT_FALSE(in_session(window, at(day, 9, 29, 59, 999))) << day;
        EXPECT_TRUE(in_session(window, at(day, 9, 30, 0))) << day;
        EXPECT_TRUE(in_session(window, at(day, 15, 59, 59))) << day;
        EXPECT_TRUE(in_session(window, at(day, 15, 59, 59, 999))) << day;
        EXPECT_FALSE(in_session(window, at(day, 16, 0, 0))) << day;
        EXPECT_FALSE(in_session(window, at(day, 9, 0, 0))) << day;  // a long bar starting before the open
        EXPECT_FALSE(in_session(window, at(day, 0, 0, 0))) << day;
    }
    // Times before the epoch have negative seconds of the day: never in this window,
    // even where the magnitude would be.
    EXPECT_FALSE(in_session(window, -at(0, 12, 0, 0)));
    EXPECT_FALSE(in_session(window, -at(3, 10, 0, 0)));
}

TEST(SessionWindow, AnEmptyWindowHoldsNothing) {
    for (const SessionWindow window : {SessionWindow{34200, 34200}, SessionWindow{57600, 34200}, SessionWindow{0, 0}}) {
        for (std::int64_t s = 0; s < 86400; s += 7) {
            ASSERT_FALSE(in_session(window, at(march_15_2024, 0, 0, 0) + s * 1000)) << s;
        }
    }
    // A window from midnight holds midnight.
    EXPECT_TRUE(in_session(SessionWindow{0, 3600}, at(march_15_2024, 0, 0, 0)));
    EXPECT_FALSE(in_session(SessionWindow{0, 3600}, at(march_15_2024, 1, 0, 0)));
}

TEST(SessionWindow, HoursSinceTheWindowStart) {
    const SessionWindow window{};
    EXPECT_DOUBLE_EQ(kmi::hours_since_window_start(window, at(march_15_2024, 9, 30, 0)), 0.0);
    EXPECT_DOUBLE_EQ(kmi::hours_since_window_start(window, at(march_15_2024, 10, 30, 0, 999)), 1.0);
    EXPECT_DOUBLE_EQ(kmi::hours_since_window_start(window, at(march_15_2024, 10, 45, 0)), 1.25);
    EXPECT_DOUBLE_EQ(kmi::hours_since_window_start(window, at(march_15_2024, 16, 0, 0)), 6.5);
    EXPECT_DOUBLE_EQ(kmi::hours_since_window_start(window, at(march_15_2024, 9, 0, 0)), -0.5);
    EXPECT_DOUBLE_EQ(kmi::hours_since_window_start(window, at(march_15_2024, 9, 30, 36)), 0.01);
}

// A host record whose inputs 8 and 9 hold the given values as time-of-day inputs.
struct TimeInputs {
    std::vector<HostInput> inputs = std::vector<HostInput>(21);
    HostInterface host{};
    TimeInputs(double start_days, double end_days, int type = kmi_input_time_of_day) {
        inputs[8].type = static_cast<std::uint8_t>(type);
        set_input_double(inputs[8], start_days);
        inputs[9].type = static_cast<std::uint8_t>(type);
        set_input_double(inputs[9], end_days);
        host.inputs = inputs.data();
        host.input_count = static_cast<std::int32_t>(inputs.size());
    }
};

TEST(SessionWindow, TheWindowComesFromTheTwoTimeInputs) {
    const SessionWindow defaults = kmi::window_from_inputs(TimeInputs(34200.0 / 86400.0, 57600.0 / 86400.0).host);
    EXPECT_EQ(defaults.start_second, 34200);
    EXPECT_EQ(defaults.end_second, 57600);

    const SessionWindow midnight = kmi::window_from_inputs(TimeInputs(0.0, 0.5).host);
    EXPECT_EQ(midnight.start_second, 0);
    EXPECT_EQ(midnight.end_second, 43200);

    // Fractional seconds are lost; a whole-day part is dropped; the sign is kept.
    const SessionWindow odd = kmi::window_from_inputs(TimeInputs(34200.7 / 86400.0, 1.5).host);
    EXPECT_EQ(odd.start_second, 34200);
    EXPECT_EQ(odd.end_second, 43200);
    const SessionWindow negative = kmi::window_from_inputs(TimeInputs(-0.25, 0.25).host);
    EXPECT_EQ(negative.start_second, -21600);
    EXPECT_EQ(negative.end_second, 21600);

    // Inputs of another kind, or no inputs at all, give 0 and an empty window.
    const SessionWindow wrong_kind = kmi::window_from_inputs(TimeInputs(0.4, 0.6, kmi_input_float).host);
    EXPECT_EQ(wrong_kind.start_second, 0);
    EXPECT_EQ(wrong_kind.end_second, 0);
    HostInterface no_inputs{};
    const SessionWindow none = kmi::window_from_inputs(no_inputs);
    EXPECT_EQ(none.start_second, 0);
    EXPECT_EQ(none.end_second, 0);
    EXPECT_FALSE(in_session(none, at(march_15_2024, 0, 0, 0)));
}

// A host record whose chart has bars starting at the given times (microseconds).
struct ChartBars {
    std::vector<HostDateTime> times;
    HostInterface host{};
    explicit ChartBars(std::vector<HostDateTime> t, std::int32_t bar_count = -1) : times(std::move(t)) {
        host.bar_datetimes.data = times.empty() ? nullptr : times.data();
        host.bar_datetimes.count = static_cast<std::int32_t>(times.size());
        host.bar_count = bar_count >= 0 ? bar_count : static_cast<std::int32_t>(times.size());
    }
};

constexpr HostDateTime us(std::int64_t ms) { return ms * 1000; }

TEST(SessionWindow, ThePanelsDayIsTheLastBarsDayWhenItStartsInTheWindow) {
    const SessionWindow window{};
    kmi::ChartFlow flow;
    flow.session_day = static_cast<std::int32_t>(march_15_2024 - 1);

    // Last bar inside the window: its day, whatever the flow holds.
    ChartBars inside({us(at(march_15_2024, 9, 29, 0)), us(at(march_15_2024, 9, 30, 0))});
    EXPECT_EQ(kmi::panel_reference_day(window, flow, inside.host), march_15_2024);
    // Last bar outside: the flow's session day.
    ChartBars before_open({us(at(march_15_2024, 9, 28, 0)), us(at(march_15_2024, 9, 29, 0))});
    EXPECT_EQ(kmi::panel_reference_day(window, flow, before_open.host), march_15_2024 - 1);
    ChartBars at_close({us(at(march_15_2024, 15, 59, 0)), us(at(march_15_2024, 16, 0, 0))});
    EXPECT_EQ(kmi::panel_reference_day(window, flow, at_close.host), march_15_2024 - 1);
    // A half-millisecond before the open rounds up to it.
    ChartBars rounding({us(at(march_15_2024, 9, 30, 0)) - 500});
    EXPECT_EQ(kmi::panel_reference_day(window, flow, rounding.host), march_15_2024);
    // No bars: the flow's day, -1 when it has none.
    ChartBars empty({});
    EXPECT_EQ(kmi::panel_reference_day(window, flow, empty.host), march_15_2024 - 1);
    EXPECT_EQ(kmi::panel_reference_day(window, kmi::ChartFlow{}, empty.host), -1);
    // A bar count beyond the array reads the array's last element.
    ChartBars short_array({us(at(march_15_2024, 11, 0, 0))}, 5);
    EXPECT_EQ(kmi::panel_reference_day(window, flow, short_array.host), march_15_2024);
    // An empty window never takes the bar's day.
    EXPECT_EQ(kmi::panel_reference_day(SessionWindow{57600, 34200}, kmi::ChartFlow{}, inside.host), -1);
}

}  // namespace
