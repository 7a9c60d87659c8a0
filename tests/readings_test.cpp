// The readings built from the source records and this chart's flow: ADD change and
// slope, the volume breadth, the VIX change and term structure, ES against NQ, and the
// chart's delta and VWAP.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "host/host_datetime.h"
#include "metrics/add_readings.h"
#include "metrics/chart_flow.h"
#include "metrics/count_bar.h"
#include "metrics/relative_strength.h"
#include "metrics/volatility_readings.h"
#include "metrics/volume_readings.h"
#include "study_host.h"

namespace kmi::test {
namespace {

const SessionWindow rth{};  // 09:30 to 16:00

std::int64_t ms_at(int year, unsigned month, unsigned day, int hour, int minute, int second = 0) {
    return to_milliseconds(at(year, month, day, hour, minute, second));
}

// Takes one one-minute source bar the way the walks do: latest-bar fields, then the
// session statistics.
void take(SourceSession& session, std::int64_t start_ms, double open, double high, double low, double close) {
    session.has_data = true;
    session.bar_start_ms = start_ms;
    session.bar_end_ms = start_ms + 60000;
    session.last_value = close;
    count_bar(rth, 1000.0, -1000.0, session, open, high, low, close, start_ms);
}

void take_close(SourceSession& session, std::int64_t start_ms, double close) {
    take(session, start_ms, close, close, close, close);
}

TEST(AddSlope, IsTheLeastSquaresSlopePerHourWhateverTheOrigin) {
    SourceSession from_open;
    take_close(from_open, ms_at(2026, 12, 2, 9, 30), 100);
    take_close(from_open, ms_at(2026, 12, 2, 10, 0), 160);
    take_close(from_open, ms_at(2026, 12, 2, 10, 30), 220);
    ASSERT_TRUE(slope_is_defined(from_open));
    EXPECT_NEAR(slope_per_hour(from_open), 120.0, 1e-9);

    SourceSession later;
    take_close(later, ms_at(2026, 12, 2, 10, 0), 100);
    take_close(later, ms_at(2026, 12, 2, 10, 30), 160);
    take_close(later, ms_at(2026, 12, 2, 11, 0), 220);
    EXPECT_NEAR(slope_per_hour(later), 120.0, 1e-9);
}

TEST(AddSlope, IsUndefinedForOneBarBarsInTheSameSecondAndANewDay) {
    SourceSession add;
    take_close(add, ms_at(2026, 12, 2, 10, 0), 100);
    EXPECT_FALSE(slope_is_defined(add));
    EXPECT_EQ(slope_per_hour(add), 0.0);
    ASSERT_TRUE(change_since_open(add).has_value()) << "one bar has a change but no slope";

    SourceSession same_second;
    take_close(same_second, ms_at(2026, 12, 2, 10, 0), 100);
    take_close(same_second, ms_at(2026, 12, 2, 10, 0) + 400, 180);
    EXPECT_FALSE(slope_is_defined(same_second)) << "zero denominator";
    EXPECT_EQ(slope_per_hour(same_second), 0.0);

    take_close(add, ms_at(2026, 12, 2, 11, 0), 200);
    ASSERT_TRUE(slope_is_defined(add));
    take_close(add, ms_at(2026, 12, 3, 9, 30), 300);
    EXPECT_EQ(add.session_bars, 1);
    EXPECT_FALSE(slope_is_defined(add)) << "the new day's first bar starts over";
}

TEST(AddSlope, NaNSumsLeaveItUndefined) {
    SourceSession add;
    add.session_bars = 3;
    add.sum_xx = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(slope_is_defined(add));
    EXPECT_EQ(slope_per_hour(add), 0.0);
}

TEST(AddChange, IsTakenFromTheFirstSessionBarsOpenAlsoAfterTheClose) {
    SourceSession add;
    take(add, ms_at(2026, 12, 2, 9, 0), 400, 410, 390, 405);  // before the open: value only
    EXPECT_EQ(add_value(add), 405.0);
    EXPECT_FALSE(change_since_open(add).has_value());
    take(add, ms_at(2026, 12, 2, 9, 30), 500, 520, 480, 510);
    take(add, ms_at(2026, 12, 2, 16, 10), 360, 370, 340, 350);  // after the close
    EXPECT_EQ(change_since_open(add), -150.0);
    EXPECT_FALSE(add_value(SourceSession{}).has_value());
}

TEST(VolumeBreadth, FollowsTheLatestBarsAtAllHours) {
    SourceSession vold;
    SourceSession ratio;
    EXPECT_FALSE(vold_value(vold).has_value());
    EXPECT_FALSE(updown_ratio(ratio).has_value());
    take_close(vold, ms_at(2026, 12, 2, 20, 0), -2.5e8);
    take_close(ratio, ms_at(2026, 12, 5, 3, 0), 0.0);  // a Saturday night
    EXPECT_EQ(vold_value(vold), -2.5e8);
    EXPECT_EQ(updown_ratio(ratio), 0.0);
}

TEST(VixChange, DuringTheSessionIsAgainstThePreviousSessionsLastClose) {
    SourceSession vix;
    take_close(vix, ms_at(2026, 12, 1, 15, 59), 15.00);
    take_close(vix, ms_at(2026, 12, 2, 9, 45), 15.60);
    const auto change = volatility_change(vix);
    ASSERT_TRUE(change.has_value());
    EXPECT_NEAR(change->change, 0.60, 1e-12);
    EXPECT_NEAR(change->percent, 4.0, 1e-12);
}

TEST(VixChange, AfterTheCloseIsAgainstTheDaysOwnLastSessionClose) {
    SourceSession vix;
    take_close(vix, ms_at(2026, 12, 2, 9, 30), 15.10);  // history starts at today's open
    EXPECT_FALSE(volatility_change(vix).has_value()) << "no completed session yet";
    take_close(vix, ms_at(2026, 12, 2, 15, 59), 15.60);
    take_close(vix, ms_at(2026, 12, 2, 16, 5), 15.90);
    EXPECT_EQ(reference_close(vix), 15.60);
    const auto change = volatility_change(vix);
    ASSERT_TRUE(change.has_value());
    EXPECT_NEAR(change->change, 0.30, 1e-12);
}

TEST(VixChange, NeedsASessionAndANonZeroReference) {
    SourceSession before_any_session;
    take_close(before_any_session, ms_at(2026, 12, 2, 8, 0), 16.0);
    EXPECT_FALSE(reference_close(before_any_session).has_value());
    EXPECT_FALSE(volatility_change(before_any_session).has_value());

    SourceSession zero_reference;
    take_close(zero_reference, ms_at(2026, 12, 2, 15, 0), 0.0);
    take_close(zero_reference, ms_at(2026, 12, 2, 17, 0), 16.0);
    EXPECT_EQ(reference_close(zero_reference), 0.0);
    EXPECT_FALSE(volatility_change(zero_reference).has_value());
}

TEST(TermStructure, RatioAndCurveWord) {
    SourceSession front;
    SourceSession back;
    take_close(front, ms_at(2026, 12, 2, 10, 0), 18.0);
    take_close(back, ms_at(2026, 12, 2, 10, 0), 20.0);
    EXPECT_DOUBLE_EQ(*front_back_ratio(front, back), 0.9);
    EXPECT_STREQ(curve_word(0.9), "contango");
    EXPECT_STREQ(curve_word(1.1), "backwardation");
    EXPECT_STREQ(curve_word(1.0), "contango");
    take_close(back, ms_at(2026, 12, 2, 10, 1), 0.0);
    EXPECT_FALSE(front_back_ratio(front, back).has_value()) << "back at 0";
    EXPECT_FALSE(front_back_ratio(SourceSession{}, back).has_value());
}

TEST(VolatilityRow, FallsBackToTheFrontOnlyWhenTheVixHasNothing) {
    SourceSession with_data;
    take_close(with_data, ms_at(2026, 12, 2, 10, 0), 17.0);
    const SourceSession empty;
    EXPECT_EQ(volatility_slot(true, with_data, true, with_data), slot_vix);
    EXPECT_EQ(volatility_slot(false, with_data, true, with_data), slot_front);
    EXPECT_EQ(volatility_slot(true, empty, true, with_data), slot_front);
    EXPECT_EQ(volatility_slot(true, empty, false, with_data), slot_vix);
    EXPECT_EQ(volatility_slot(true, empty, true, empty), slot_vix);
}

TEST(RelativeStrength, ComparesPercentsSinceTheOpenOnTheSameSession) {
    SourceSession es;
    SourceSession nq;
    take(es, ms_at(2026, 12, 2, 9, 30), 5000, 5001, 4999, 5010);
    take(es, ms_at(2026, 12, 2, 10, 30), 5040, 5051, 5039, 5050);
    take(nq, ms_at(2026, 12, 2, 9, 31), 18000, 18010, 17990, 18020);
    take(nq, ms_at(2026, 12, 2, 10, 30), 18080, 18100, 18070, 18090);
    auto strength = relative_strength(es, nq);
    ASSERT_TRUE(strength.has_value());
    EXPECT_NEAR(strength->es_percent, 1.0, 1e-12);
    EXPECT_NEAR(strength->nq_percent, 0.5, 1e-12);
    EXPECT_NEAR(strength->difference, 0.5, 1e-12);

    // After the close ES keeps trading: the percentages stay at the last session bar.
    take(es, ms_at(2026, 12, 2, 16, 30), 5100, 5100, 5100, 5100);
    EXPECT_NEAR(relative_strength(es, nq)->es_percent, 1.0, 1e-12);

    // ES opens a new day while NQ is still on yesterday's session.
    take(es, ms_at(2026, 12, 3, 9, 30), 5100, 5101, 5099, 5100);
    EXPECT_FALSE(relative_strength(es, nq).has_value());
}

TEST(RelativeStrength, FailsInsteadOfDividingByABadOpen) {
    SourceSession es;
    SourceSession nq;
    take(es, ms_at(2026, 12, 2, 9, 30), 0.0, 1, 0, 1);
    take(nq, ms_at(2026, 12, 2, 9, 30), 18000, 18010, 17990, 18020);
    EXPECT_FALSE(same_session(es, nq));
    SourceSession negative = es;
    negative.session_open = -5.0;
    EXPECT_FALSE(same_session(negative, nq));
    SourceSession nan_open = es;
    nan_open.session_open = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(same_session(nan_open, nq));
}

// A chart of the given bars (start, high, low, close, volume, bid volume, ask volume).
struct FlowBar {
    HostDateTime start;
    float high, low, close, volume, bid, ask;
};

ChartFlow flow_over(const std::vector<FlowBar>& bars) {
    emu::Chart chart = emu::make_chart(1, "ESZ26.CME", 60);
    for (const FlowBar& b : bars)
        emu::append_bar(chart, emu::Bar{b.start, b.close, b.high, b.low, b.close, b.volume, b.bid, b.ask});
    HostInterface host{};
    emu::set_chart_arrays(host, chart);
    ChartFlow flow;
    for (std::int32_t i = 0; i < emu::bar_count(chart); ++i) take_chart_bar(flow, rth, host, i);
    return flow;
}

TEST(ChartFlow, VwapOfTypicalPricesAndTheCloseAgainstIt) {
    const ChartFlow flow = flow_over(
        {{at(2026, 12, 2, 9, 30), 101, 99, 100, 10, 0, 0}, {at(2026, 12, 2, 9, 31), 103, 100, 102, 30, 0, 0}});
    EXPECT_NEAR(*vwap(flow), 101.25, 1e-12);
    EXPECT_NEAR(*close_minus_vwap(flow), 0.75, 1e-12);
    EXPECT_EQ(cumulative_delta(flow), 0.0) << "no bid/ask split: delta 0, VWAP from volume";
}

TEST(ChartFlow, DeltaIsAskMinusBidVolumeOverTheSession) {
    const ChartFlow flow = flow_over({{at(2026, 12, 2, 9, 30), 101, 99, 100, 120, 50, 70},
                                      {at(2026, 12, 2, 9, 31), 101, 99, 100, 100, 60, 40},
                                      {at(2026, 12, 2, 9, 32), 101, 99, 100, 100, 40, 70}});
    EXPECT_EQ(cumulative_delta(flow), 30.0);
}

TEST(ChartFlow, TheWindowsEndSecondMovesTheCloseButNotTheSums) {
    const ChartFlow flow = flow_over(
        {{at(2026, 12, 2, 15, 59), 101, 99, 100, 10, 5, 5}, {at(2026, 12, 2, 16, 0), 200, 190, 195, 1000, 0, 900}});
    EXPECT_EQ(flow.last_close, 195.0);
    EXPECT_NEAR(*vwap(flow), 100.0, 1e-12);
    EXPECT_EQ(cumulative_delta(flow), 0.0);
}

TEST(ChartFlow, ANewDayDropsTheDeltaAndVwapAtOnce) {
    const ChartFlow flow = flow_over(
        {{at(2026, 12, 2, 10, 0), 101, 99, 100, 10, 0, 50}, {at(2026, 12, 3, 9, 30), 201, 199, 200, 10, 20, 10}});
    EXPECT_EQ(cumulative_delta(flow), -10.0);
    EXPECT_NEAR(*vwap(flow), 200.0, 1e-12);
}

TEST(ChartFlow, ZeroVolumeGivesTheDeltaButNoVwap) {
    const ChartFlow flow = flow_over({{at(2026, 12, 2, 10, 0), 101, 99, 100, 0, 0, 0}});
    EXPECT_EQ(cumulative_delta(flow), 0.0);
    EXPECT_FALSE(vwap(flow).has_value());
    EXPECT_FALSE(close_minus_vwap(flow).has_value());
    EXPECT_FALSE(cumulative_delta(flow_over({{at(2026, 12, 2, 8, 0), 1, 1, 1, 1, 0, 1}})).has_value());
}

TEST(ChartFlow, NonFinitePricesAndVolumesStayDefined) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const ChartFlow flow = flow_over(
        {{at(2026, 12, 2, 10, 0), inf, -inf, nan, nan, inf, inf}, {at(2026, 12, 2, 10, 1), 1, 1, 1, -5, 0, 0}});
    EXPECT_FALSE(vwap(flow).has_value()) << "a NaN volume sum is not above 0";
    EXPECT_TRUE(std::isnan(*cumulative_delta(flow)));
}

}  // namespace
}  // namespace kmi::test
