// The bar end rule, the closed-bar walk, the live copies and the live bound, and how
// source bars line up with chart bars of other lengths.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "metrics/session_window.h"
#include "settings/input_indices.h"
#include "source_test_builders.h"
#include "sources/source_walk.h"
#include "study_host.h"

namespace kmi::test {
namespace {

HostDateTime wed(int hour, int minute, int second = 0) { return at(2026, 12, 2, hour, minute, second); }

const SessionWindow regular_hours{34200, 57600};
const CountingRules rules{&regular_hours, 1000.0, -1000.0};

// Bars at the given starts (seconds after 09:30), closes 1, 2, 3...
emu::Chart bars_at(std::initializer_list<int> seconds_after_open, std::int32_t bar_seconds = 60) {
    emu::Chart chart = emu::make_chart(9, "SRC", bar_seconds);
    float close = 1.0f;
    for (int s : seconds_after_open) {
        add_bar(chart, wed(9, 30) + s * one_second, Prices{close, close, close, close});
        close += 1.0f;
    }
    return chart;
}

TEST(BarEndRule, FixedLengthBarEndsAtItsLengthOrAtTheNextStart) {
    const emu::Chart chart = bars_at({0, 60, 90, 300});
    const SourceView view = view_of(chart);
    const std::int64_t open = ms(wed(9, 30));
    EXPECT_EQ(source_bar_end_ms(view, 0, 60000), open + 60000) << "next bar starts exactly at the end";
    EXPECT_EQ(source_bar_end_ms(view, 1, 60000), open + 90000) << "the next bar starts early";
    EXPECT_EQ(source_bar_end_ms(view, 2, 60000), open + 150000) << "a gap follows";
    EXPECT_EQ(source_bar_end_ms(view, 3, 60000), open + 360000) << "the last bar runs its full length";
}

TEST(BarEndRule, BarWithoutFixedLengthEndsAtTheNextStartAndTheLastNever) {
    const emu::Chart chart = bars_at({0, 7, 31});
    const SourceView view = view_of(chart);
    EXPECT_EQ(source_bar_end_ms(view, 0, 0), ms(wed(9, 30, 7)));
    EXPECT_EQ(source_bar_end_ms(view, 1, 0), ms(wed(9, 30, 31)));
    EXPECT_EQ(source_bar_end_ms(view, 2, 0), unbounded_ms);
    EXPECT_EQ(source_bar_end_ms(view, 2, -5), unbounded_ms) << "a negative length counts as none";
}

TEST(BarEndRule, HostileTimesAndLengthsSaturate) {
    emu::Chart chart = emu::make_chart(9, "SRC", 60);
    add_bar(chart, std::numeric_limits<HostDateTime>::max(), Prices{});
    const SourceView view = view_of(chart);
    EXPECT_EQ(source_bar_end_ms(view, 0, std::numeric_limits<std::int64_t>::max()),
              std::numeric_limits<std::int64_t>::max());
    SourceSession session;
    walk_closed_bars(session, view, std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::max(),
                     rules);
    EXPECT_EQ(session.next_bar, 1);
    EXPECT_EQ(session.bar_end_ms, std::numeric_limits<std::int64_t>::max());
}

TEST(ClosedBarWalk, TakesEachBarThatEndedByTheBoundOnceInOrder) {
    const emu::Chart chart = bars_at({0, 60, 120, 180});
    const SourceView view = view_of(chart);
    SourceSession session;
    walk_closed_bars(session, view, 60000, ms(wed(9, 32)), rules);  // bar 1 ends exactly on the bound
    EXPECT_EQ(session.next_bar, 2);
    EXPECT_EQ(session.consumed_bar_start_ms, ms(wed(9, 31)));
    EXPECT_EQ(session.bar_start_ms, ms(wed(9, 31)));
    EXPECT_EQ(session.bar_end_ms, ms(wed(9, 32)));
    EXPECT_EQ(session.last_value, 2.0);
    EXPECT_EQ(session.session_bars, 2);

    walk_closed_bars(session, view, 60000, ms(wed(9, 32)) + 59999, rules);  // bar 2 not ended yet
    EXPECT_EQ(session.next_bar, 2);
    EXPECT_EQ(session.session_bars, 2);

    walk_closed_bars(session, view, 60000, unbounded_ms, rules);
    EXPECT_EQ(session.next_bar, 4);
    EXPECT_EQ(session.session_bars, 4);
    EXPECT_EQ(session.last_value, 4.0);
}

TEST(ClosedBarWalk, BarsOutsideTheWindowMoveOnlyTheLatestValues) {
    emu::Chart chart = emu::make_chart(9, "SRC", 60);
    add_bar(chart, wed(9, 28), Prices{5, 6, 4, 5});
    add_bar(chart, wed(9, 29), Prices{7, 8, 6, 7});
    SourceSession session;
    walk_closed_bars(session, view_of(chart), 60000, unbounded_ms, rules);
    EXPECT_EQ(session.next_bar, 2);
    EXPECT_TRUE(session.has_data);
    EXPECT_EQ(session.last_value, 7.0);
    EXPECT_EQ(session.session_day, -1);
    EXPECT_EQ(session.session_bars, 0);
}

TEST(ProvisionalCopy, AddsTheFormingBarWithoutMovingTheWalkPosition) {
    const emu::Chart chart = bars_at({0, 60, 120});
    const SourceView view = view_of(chart);
    SourceSession persistent;
    walk_closed_bars(persistent, view, 60000, ms(wed(9, 31)), rules);
    ASSERT_EQ(persistent.next_bar, 1);
    const SourceSession before = persistent;

    // Bound 09:31:30: bar 1 has started but not ended, bar 2 has not started.
    const SourceSession live = provisional_copy(persistent, view, 60000, ms(wed(9, 31, 30)), rules);
    EXPECT_EQ(live.next_bar, 1);
    EXPECT_EQ(live.consumed_bar_start_ms, ms(wed(9, 30)));
    EXPECT_EQ(live.last_value, 2.0);
    EXPECT_EQ(live.bar_start_ms, ms(wed(9, 31)));
    EXPECT_EQ(live.bar_end_ms, ms(wed(9, 32)));
    EXPECT_EQ(live.session_bars, 2);
    EXPECT_TRUE(same_bits(persistent, before));

    // Bound 09:32: bar 1 has ended (walked on the copy), bar 2 starts on the bound.
    const SourceSession later = provisional_copy(persistent, view, 60000, ms(wed(9, 32)), rules);
    EXPECT_EQ(later.next_bar, 2);
    EXPECT_EQ(later.last_value, 3.0);
    EXPECT_EQ(later.session_bars, 3);
}

TEST(ProvisionalCopy, SourceWithoutFixedLengthShowsItsLastBarOnlyLive) {
    emu::Chart chart = bars_at({0, 60, 120});
    chart.bar_period = {1, 0, 0};  // not a fixed-time period
    const SourceView view = view_of(chart);
    SourceSession persistent;
    walk_closed_bars(persistent, view, 0, unbounded_ms - 1, rules);
    EXPECT_EQ(persistent.next_bar, 2) << "the last bar has no end";
    const SourceSession live = provisional_copy(persistent, view, 0, ms(wed(9, 33)), rules);
    EXPECT_EQ(live.last_value, 3.0);
    EXPECT_EQ(live.bar_end_ms, unbounded_ms);
}

TEST(LiveBound, EndOfTheLastChartBarCutToThePresentNeverBeforeItsStart) {
    StudyHost h(chart_with_bars(1, "ESZ26.CME", 60, wed(9, 30), 3));  // last bar 09:32
    HostInterface& r = h->record;
    r.bar_count = 3;
    r.bar_datetimes = HostDateTimeArray{emu::study_chart(*h).times.data(), 3, 0, 0};
    const std::int64_t start = ms(wed(9, 32));

    r.current_date_time = 0;
    EXPECT_EQ(compute_live_bound(r, 60000), start + 60000) << "no present time";
    EXPECT_EQ(compute_live_bound(r, 0), unbounded_ms) << "no bar length and no present time";
    r.current_date_time = wed(9, 32, 20);
    EXPECT_EQ(compute_live_bound(r, 60000), start + 20000);
    EXPECT_EQ(compute_live_bound(r, 0), start + 20000);
    r.current_date_time = wed(9, 40);
    EXPECT_EQ(compute_live_bound(r, 60000), start + 60000) << "the present only cuts";
    r.current_date_time = wed(9, 31);
    EXPECT_EQ(compute_live_bound(r, 60000), start) << "raised to the bar's start";
    r.current_date_time = -5;
    EXPECT_EQ(compute_live_bound(r, 60000), start + 60000) << "a negative present time is none";

    r.current_date_time = wed(9, 32, 20);
    r.alternate_current_date_time = wed(9, 32, 45);
    r.now_from_alternate_clock = 1;
    EXPECT_EQ(compute_live_bound(r, 60000), start + 45000);

    r.bar_count = 0;
    EXPECT_EQ(compute_live_bound(r, 60000), unbounded_ms);
}

// The study on a chart of `chart_seconds` bars with TICK read from chart 2.
struct AlignedHost : StudyHost {
    AlignedHost(emu::Chart chart, emu::Chart source) : StudyHost(std::move(chart)) {
        defaults();
        clear_source_inputs(**this);
        source.number = 2;
        host->charts[2] = std::move(source);
        set_source_chart(**this, slot_tick, 2);
    }
    const SourceSession& tick() { return state()->sources[slot_tick]; }
    SourceView tick_view() { return view_of(host->charts.at(2)); }
};

TEST(SourceAlignment, MinuteSourceOnMinuteChartTakesTheSameMinute) {
    // Chart 09:30 to 09:41 (09:41 forming), source 09:30 to 09:45.
    AlignedHost h(evenly_spaced(1, "ESZ26.CME", 60, wed(9, 30), 12), evenly_spaced(2, "TICK", 60, wed(9, 30), 16));
    h.full();
    EXPECT_EQ(h.tick().bar_start_ms, ms(wed(9, 40)));
    EXPECT_EQ(h.tick().bar_end_ms, ms(wed(9, 41)));
    EXPECT_EQ(h.tick().next_bar, 11);
    EXPECT_EQ(h.tick().last_value, 110.0);
}

TEST(SourceAlignment, FiveSecondSourceGivesTwelveBarsToEachMinute) {
    emu::Chart chart = evenly_spaced(1, "ESZ26.CME", 60, wed(9, 30), 1);
    emu::Chart source = evenly_spaced(2, "TICK", 5, wed(9, 30), 12 * 6);  // 09:30:00 to 09:35:55
    AlignedHost h(std::move(chart), std::move(source));
    h.full();
    for (int minute = 1; minute <= 5; ++minute) {
        emu::append_bar(emu::study_chart(*h), emu::Bar{wed(9, 30 + minute), 1, 1, 1, 1, 1, 0, 0});
        h.update(minute);
        EXPECT_EQ(h.tick().next_bar, 12 * minute) << "after chart bar " << minute - 1 << " closed";
        // The twelfth bar ends exactly on the chart bar's end and is taken.
        EXPECT_EQ(h.tick().bar_end_ms, ms(wed(9, 30 + minute)));
    }
}

TEST(SourceAlignment, MinuteSourceOnFiveSecondChartWaitsForTheMinuteToEnd) {
    // Chart 09:40:00 to 09:40:55 (the last forming), source 09:39, 09:40, 09:41.
    AlignedHost h(evenly_spaced(1, "ESZ26.CME", 5, wed(9, 40), 12), evenly_spaced(2, "TICK", 60, wed(9, 39), 3));
    h->now = wed(9, 40, 57);
    h.full();
    EXPECT_EQ(h.tick().next_bar, 1);
    EXPECT_EQ(h.tick().bar_start_ms, ms(wed(9, 39)));
    const SourceSession live = provisional_copy(h.tick(), h.tick_view(), 60000, ms(wed(9, 40, 57)), rules);
    EXPECT_EQ(live.bar_start_ms, ms(wed(9, 40))) << "the forming 09:40 bar is live only";
    EXPECT_EQ(live.last_value, 101.0);

    emu::append_bar(emu::study_chart(*h), emu::Bar{wed(9, 41), 1, 1, 1, 1, 1, 0, 0});
    h->now = wed(9, 41, 2);
    h.update(11);
    EXPECT_EQ(h.tick().next_bar, 2) << "the bound reached 09:41";
    EXPECT_EQ(h.tick().bar_start_ms, ms(wed(9, 40)));
}

TEST(SourceAlignment, SourceWithoutFixedLengthTakesABarWhenTheNextOneHasStarted) {
    emu::Chart source = evenly_spaced(2, "TICK", 0, wed(9, 30), 5, 50);  // bars every 50 s
    ASSERT_EQ(source.bar_period[0], 0);
    AlignedHost h(evenly_spaced(1, "ESZ26.CME", 60, wed(9, 30), 5), std::move(source));
    h.full();
    // Closed chart bars end at 09:31 ... 09:34; source bars start 0, 50, 100, 150, 200 s.
    EXPECT_EQ(h.tick().next_bar, 4) << "bar 3 ends at 200 s (09:33:20), bar 4 never ends";
    EXPECT_EQ(h.tick().bar_end_ms, ms(wed(9, 33, 20)));
}

TEST(SourceAlignment, ChartWithoutFixedLengthEndsEachClosedBarAtTheNextStart) {
    // Chart bars start 0, 40, 120 and 150 s after 09:30 (the last forming), so the closed
    // bars end at 40, 120 and 150 s. Source bar j runs from 20j to 20j + 20 s with close
    // 100 + j: the last ended by each end is bar 1 (ends on 40 s), bar 5 and bar 6. The
    // live bar reads up to the clock, 170 s, where bar 8 has started.
    AlignedHost h(bars_at({0, 40, 120, 150}, 0), evenly_spaced(2, "TICK", 20, wed(9, 30), 10));
    h->now = wed(9, 32, 50);
    h.full();
    EXPECT_EQ(h->study.series[0], (std::vector<float>{101, 105, 106, 108}));
}

TEST(SourceAlignment, SlotOnThisChartReadsTheChartsOwnBars) {
    AlignedHost h(evenly_spaced(1, "ESZ26.CME", 60, wed(9, 30), 6), evenly_spaced(2, "TICK", 60, wed(9, 30), 1));
    set_source_chart(*h, slot_tick, 0);
    set_source_symbol(*h, slot_tick, "eSz26.cMe");
    h.full();
    EXPECT_TRUE(h.state()->source_bindings.is_this_chart[slot_tick]);
    EXPECT_EQ(h.tick().next_bar, 5);
    EXPECT_EQ(h.tick().last_value, 104.0);
}

}  // namespace
}  // namespace kmi::test
