// The per-bar session statistics and the TICK readings built from them.
#include <gtest/gtest.h>

#include <cstdint>

#include "metrics/count_bar.h"
#include "metrics/tick_readings.h"
#include "settings/input_indices.h"
#include "source_test_builders.h"
#include "sources/source_walk.h"
#include "study_host.h"

namespace kmi::test {
namespace {

const SessionWindow regular_hours{34200, 57600};

std::int64_t wed_ms(int hour, int minute, int second = 0) { return ms(at(2026, 12, 2, hour, minute, second)); }
std::int64_t thu_ms(int hour, int minute) { return ms(at(2026, 12, 3, hour, minute)); }

// One bar through count_bar with the default thresholds.
void count(SourceSession& s, double open, double high, double low, double close, std::int64_t start_ms) {
    count_bar(regular_hours, 1000.0, -1000.0, s, open, high, low, close, start_ms);
}

TEST(CountBar, OneBarSession) {
    SourceSession s;
    count(s, 950, 1200, 900, 1000, wed_ms(9, 30));
    EXPECT_EQ(tick_session_high(s), 1200.0);
    EXPECT_EQ(tick_session_low(s), 900.0);
    EXPECT_EQ(tick_bars_at_or_above_upper(s), 1);
    EXPECT_EQ(tick_bars_at_or_below_lower(s), 0);
    EXPECT_EQ(tick_session_average(s), 1000.0);
    EXPECT_EQ(s.session_open, 950.0);
    EXPECT_EQ(s.session_day, day_number(wed_ms(9, 30)));
    EXPECT_EQ(s.session_last_bar_start_ms, wed_ms(9, 30));
    EXPECT_FALSE(s.has_prior_close);
}

TEST(CountBar, ThresholdsCountAtEqualityAndOneBarMayCountOnBothSides) {
    SourceSession s;
    count(s, 0, 1000, 0, 0, wed_ms(10, 0));        // high on the upper threshold
    count(s, 0, 0, -1000, 0, wed_ms(10, 1));       // low on the lower threshold
    count(s, 0, 1100, -1050, 0, wed_ms(10, 2));    // both
    count(s, 0, 999.5, -999.5, 0, wed_ms(10, 3));  // neither
    EXPECT_EQ(s.bars_at_or_above_upper, 2);
    EXPECT_EQ(s.bars_at_or_below_lower, 2);
    EXPECT_EQ(s.session_bars, 4);
    EXPECT_EQ(s.session_high, 1100.0);
    EXPECT_EQ(s.session_low, -1050.0);
}

TEST(CountBar, AverageIsThePlainMeanOfClosesAndTheSlopeSumsUseHours) {
    SourceSession s;
    count(s, 0, 10, -10, 100, wed_ms(9, 30));
    count(s, 0, 10, -10, 200, wed_ms(10, 30));
    count(s, 0, 10, -10, 600, wed_ms(11, 30));
    EXPECT_EQ(tick_session_average(s), 300.0);
    EXPECT_EQ(s.sum_x, 3.0);
    EXPECT_EQ(s.sum_xx, 5.0);
    EXPECT_EQ(s.sum_xy, 200.0 + 1200.0);
    EXPECT_EQ(s.session_last_value, 600.0);
}

TEST(CountBar, BarsOutsideTheWindowAreNotCounted) {
    SourceSession s;
    count(s, 0, 5000, -5000, 1, wed_ms(9, 29, 59));
    count(s, 0, 5000, -5000, 1, wed_ms(16, 0));
    EXPECT_EQ(s.session_day, -1);
    EXPECT_EQ(s.session_bars, 0);
    EXPECT_EQ(s.bars_at_or_above_upper, 0);
    count(s, 0, 1, -1, 7, wed_ms(15, 59, 59));
    EXPECT_EQ(s.session_bars, 1);
    SourceSession empty_window;
    count_bar(SessionWindow{34200, 34200}, 1000.0, -1000.0, empty_window, 0, 5000, -5000, 1, wed_ms(9, 30));
    EXPECT_EQ(empty_window.session_day, -1);
}

TEST(CountBar, FirstSessionBarOfANewDayReplacesTheSessionAndKeepsTheCloseBefore) {
    SourceSession s;
    count(s, 0, 1500, -1500, 40, wed_ms(10, 0));
    count(s, 0, 1500, -1500, 50, wed_ms(15, 59));
    count(s, 0, 0, 0, 99, wed_ms(17, 0));  // after the close: no effect on the session
    count(s, 3, 20, -20, 10, thu_ms(9, 30));
    EXPECT_EQ(s.session_day, day_number(thu_ms(9, 30)));
    EXPECT_EQ(s.session_open, 3.0);
    EXPECT_EQ(s.session_high, 20.0);
    EXPECT_EQ(s.session_low, -20.0);
    EXPECT_EQ(s.bars_at_or_above_upper, 0);
    EXPECT_EQ(s.bars_at_or_below_lower, 0);
    EXPECT_EQ(s.session_bars, 1);
    EXPECT_EQ(tick_session_average(s), 10.0);
    EXPECT_EQ(s.sum_x, 0.0);
    EXPECT_TRUE(s.has_prior_close);
    EXPECT_EQ(s.prior_session_close, 50.0);
}

TEST(CountBar, BarAtTheWindowsEndIsNotCountedButBecomesTheValue) {
    emu::Chart tick = emu::make_chart(2, "TICK-NYSE", 60);
    add_bar(tick, at(2026, 12, 2, 15, 59), Prices{0, 300, -200, 100});
    add_bar(tick, at(2026, 12, 2, 16, 0), Prices{0, 1800, -1800, -700});
    const CountingRules rules{&regular_hours, 1000.0, -1000.0};
    SourceSession s;
    walk_closed_bars(s, view_of(tick), 60000, unbounded_ms, rules);
    EXPECT_EQ(tick_value(s), -700.0);
    EXPECT_EQ(tick_session_high(s), 300.0);
    EXPECT_EQ(tick_bars_at_or_above_upper(s), 0);
    EXPECT_EQ(tick_session_average(s), 100.0);
}

TEST(TickReadings, UnavailableWithoutDataOrWithoutSessionBars) {
    SourceSession s;
    EXPECT_FALSE(tick_value(s));
    EXPECT_FALSE(tick_session_high(s));
    EXPECT_FALSE(tick_session_average(s));
    s.has_data = true;
    s.last_value = -250.0;
    EXPECT_EQ(tick_value(s), -250.0);
    EXPECT_FALSE(tick_session_low(s)) << "data from before the session only";
    EXPECT_FALSE(tick_bars_at_or_above_upper(s));
    EXPECT_FALSE(tick_bars_at_or_below_lower(s));
    EXPECT_FALSE(tick_session_average(s));
}

TEST(TickStatistics, ThresholdsComeFromTheInputsOnlyAtARebuild) {
    emu::Chart chart = evenly_spaced(1, "ESZ26.CME", 60, at(2026, 12, 2, 9, 30), 4);
    StudyHost h(std::move(chart));
    h.defaults();
    clear_source_inputs(*h);
    emu::Chart tick = emu::make_chart(2, "TICK-NYSE", 60);
    for (int i = 0; i < 4; ++i) add_bar(tick, at(2026, 12, 2, 9, 30 + i), Prices{0, 850, -850, 0});
    h->charts[2] = tick;
    set_source_chart(*h, slot_tick, 2);
    set_input_float(emu::input(*h, input_tick_upper_threshold), 800.0f);
    h.full();
    EXPECT_EQ(h.state()->upper_threshold, 800.0);
    EXPECT_EQ(h.state()->sources[slot_tick].bars_at_or_above_upper, 3);

    set_input_float(emu::input(*h, input_tick_upper_threshold), 900.0f);
    emu::append_bar(emu::study_chart(*h), emu::Bar{at(2026, 12, 2, 9, 34), 1, 1, 1, 1, 1, 0, 0});
    h.update(3);
    EXPECT_EQ(h.state()->upper_threshold, 800.0) << "no rebuild, the stored threshold stays";
    EXPECT_EQ(h.state()->sources[slot_tick].bars_at_or_above_upper, 4);
}

}  // namespace
}  // namespace kmi::test
