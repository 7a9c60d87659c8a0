// The fast paths of the closed-bar loop must read and write exactly what the plain ones
// do: a walk over arrays that all hold every bar and one over short or missing arrays
// read what host_at reads, series written a run at a time ignore out-of-range indices as
// single writes do, and the day a walk keeps agrees with the day computed from scratch.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "metrics/session_window.h"
#include "source_test_builders.h"
#include "sources/source_walk.h"
#include "study_host.h"

namespace kmi::test {
namespace {

const SessionWindow regular_hours{34200, 57600};
const CountingRules rules{&regular_hours, 1000.0, -1000.0};

HostDateTime wed(int hour, int minute) { return at(2026, 12, 2, hour, minute, 0); }

// Five session bars, closes 10 to 14, highs and lows around them.
emu::Chart five_bars() {
    emu::Chart chart = emu::make_chart(9, "SRC", 60);
    for (int i = 0; i < 5; ++i) {
        const auto close = static_cast<float>(10 + i);
        add_bar(chart, wed(10, i), Prices{close, close + 0.5f, close - 0.5f, close});
    }
    return chart;
}

// What the walk must have taken, bar by bar, reading every price through host_at.
SourceSession expected_after_all(const SourceView& view) {
    SourceSession expected;
    for (std::int32_t j = 0; j < view.bar_count; ++j) {
        const std::int64_t t = source_bar_start_ms(view, j);
        expected.has_data = true;
        expected.last_value = static_cast<double>(host_at(view.close, j));
        expected.bar_start_ms = t;
        expected.bar_end_ms = source_bar_end_ms(view, j, 60000);
        count_bar(regular_hours, rules.upper_threshold, rules.lower_threshold, expected,
                  static_cast<double>(host_at(view.open, j)), static_cast<double>(host_at(view.high, j)),
                  static_cast<double>(host_at(view.low, j)), static_cast<double>(host_at(view.close, j)), t);
        expected.next_bar = j + 1;
        expected.consumed_bar_start_ms = t;
    }
    return expected;
}

void expect_same_record(const SourceSession& got, const SourceSession& want) {
    EXPECT_EQ(got.next_bar, want.next_bar);
    EXPECT_EQ(got.bar_start_ms, want.bar_start_ms);
    EXPECT_EQ(got.bar_end_ms, want.bar_end_ms);
    EXPECT_EQ(got.last_value, want.last_value);
    EXPECT_EQ(got.session_bars, want.session_bars);
    EXPECT_EQ(got.session_high, want.session_high);
    EXPECT_EQ(got.session_low, want.session_low);
    EXPECT_EQ(got.sum_x, want.sum_x);
    EXPECT_EQ(got.sum_y, want.sum_y);
    EXPECT_EQ(got.sum_xx, want.sum_xx);
    EXPECT_EQ(got.sum_xy, want.sum_xy);
}

TEST(WalkReadPaths, FullShortAndMissingArraysAllReadWhatTheAccessorReads) {
    const emu::Chart chart = five_bars();
    const SourceView full = view_of(chart);

    SourceSession walked;
    walk_closed_bars(walked, full, 60000, unbounded_ms, rules);
    expect_same_record(walked, expected_after_all(full));
    EXPECT_EQ(walked.last_value, 14.0);

    // The close and high arrays hold three bars only: the walk must clamp, so bars 3 and 4
    // read the third element, exactly as host_at does.
    SourceView short_arrays = full;
    short_arrays.close.count = 3;
    short_arrays.high.count = 3;
    SourceSession clamped;
    walk_closed_bars(clamped, short_arrays, 60000, unbounded_ms, rules);
    expect_same_record(clamped, expected_after_all(short_arrays));
    EXPECT_EQ(clamped.last_value, 12.0) << "the last close is the third bar's";
    EXPECT_EQ(clamped.session_high, 12.5);

    // A times array shorter than the bar count: the later bars start at the last time.
    SourceView short_times = full;
    short_times.bar_times.count = 2;
    SourceSession from_short_times;
    walk_closed_bars(from_short_times, short_times, 60000, unbounded_ms, rules);
    expect_same_record(from_short_times, expected_after_all(short_times));

    // A close array without memory: every close is the array's fallback element.
    SourceView no_closes = full;
    no_closes.close = HostFloatArray{nullptr, 5, 7.5f};
    SourceSession from_fallback;
    walk_closed_bars(from_fallback, no_closes, 60000, unbounded_ms, rules);
    expect_same_record(from_fallback, expected_after_all(no_closes));
    EXPECT_EQ(from_fallback.last_value, 7.5);

    // A close array with its memory but a negative count is empty: its fallback element again.
    SourceView negative_closes = full;
    negative_closes.close = HostFloatArray{full.close.data, -1, 7.5f};
    SourceSession from_negative;
    walk_closed_bars(from_negative, negative_closes, 60000, unbounded_ms, rules);
    EXPECT_EQ(from_negative.last_value, 7.5);
}

TEST(HostArrays, EveryIndexIsClampedIntoTheCountAndAnEmptyOrNegativeCountYieldsTheFallback) {
    // Three elements, then guards that a read past the count would return.
    const float floats[] = {1.0f, 2.0f, 3.0f, 99.0f, 99.0f, 99.0f};
    const HostDateTime times[] = {10, 20, 30, 99, 99, 99};
    constexpr std::int32_t int_max = std::numeric_limits<std::int32_t>::max();
    constexpr std::int32_t int_min = std::numeric_limits<std::int32_t>::min();
    struct Case {
        std::int32_t count;
        std::int32_t index;
        int expected;  // element 0 to 2, or -1 for the fallback
    };
    for (const Case c :
         {Case{3, 0, 0}, Case{3, 2, 2}, Case{3, 3, 2}, Case{3, 5, 2}, Case{3, -1, 0}, Case{3, int_min, 0},
          Case{3, int_max, 2}, Case{1, 4, 0}, Case{0, 0, -1}, Case{0, 4, -1}, Case{-1, 0, -1}, Case{-1, 4, -1},
          Case{-1, -1, -1}, Case{-4, 1, -1}, Case{int_min, 5, -1}, Case{int_min, int_max, -1}}) {
        const HostFloatArray float_array{floats, c.count, -7.0f};
        const HostDateTimeArray time_array{times, c.count, 0, -7};
        EXPECT_EQ(host_at(float_array, c.index), c.expected < 0 ? -7.0f : floats[c.expected])
            << "count " << c.count << ", index " << c.index;
        EXPECT_EQ(host_at(time_array, c.index), c.expected < 0 ? -7 : times[c.expected])
            << "count " << c.count << ", index " << c.index;
    }
    EXPECT_EQ(host_at(HostFloatArray{nullptr, 3, -7.0f}, 1), -7.0f) << "no memory: the fallback";
}

TEST(SeriesRuns, RunsPartlyOutsideTheSeriesWriteWhatSingleWritesWould) {
    for (const std::int32_t first : {-5, -1, 0, 3, 8, 9, 10, 50, std::numeric_limits<std::int32_t>::max() - 2,
                                     std::numeric_limits<std::int32_t>::min()}) {
        for (const std::int32_t count : {0, 1, 4, 12, -3}) {
            std::vector<float> by_run(10, -1.0f);
            std::vector<float> by_value(10, -1.0f);
            HostOutputSeries run_series{};
            run_series.values = HostSeriesValues{by_run.data(), 10, 0.0f};
            HostOutputSeries value_series{};
            value_series.values = HostSeriesValues{by_value.data(), 10, 0.0f};
            const auto value_at = [](std::int32_t i) { return static_cast<float>(i) + 0.25f; };
            set_series_values(run_series, first, count, value_at);
            for (std::int32_t i = 0; i < count; ++i) {
                const std::int64_t index = static_cast<std::int64_t>(first) + i;
                if (index > std::numeric_limits<std::int32_t>::max()) break;
                set_series_value(value_series, static_cast<std::int32_t>(index), value_at(i));
            }
            EXPECT_EQ(by_run, by_value) << "first " << first << ", count " << count;
        }
    }
    HostOutputSeries empty{};
    set_series_values(empty, 0, 5, [](std::int32_t) { return 1.0f; });  // no array: nothing happens
}

TEST(KeptDay, AgreesWithTheDayComputedFromScratchForAnySequenceOfTimes) {
    std::vector<std::int64_t> times{
        0,
        1,
        milliseconds_per_day - 1,
        milliseconds_per_day,
        -1,
        -milliseconds_per_day,
        -milliseconds_per_day - 1,
        std::numeric_limits<std::int64_t>::max(),
        std::numeric_limits<std::int64_t>::min(),
        static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) * milliseconds_per_day,
        (static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1) * milliseconds_per_day,
        ms(wed(9, 30)),
        ms(wed(16, 0)) - 1};
    std::uint64_t seed = 7;
    for (int i = 0; i < 20000; ++i) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        const auto step = static_cast<std::int64_t>((seed >> 33) % 7200000);
        // Mostly a walk forward by up to two hours, sometimes a jump anywhere.
        times.push_back((seed & 15) == 0 ? static_cast<std::int64_t>(seed) : times.back() / 2 + step);
    }
    DayClock clock;
    for (const std::int64_t t : times) {
        const DayTime kept = day_time(clock, t);
        const DayTime fresh = day_time(t);
        ASSERT_EQ(kept.day, fresh.day) << t;
        ASSERT_EQ(kept.second, fresh.second) << t;
    }
}

// The live copy in one pass is the closed-bar walk followed by every bar not yet taken
// that has started by the bound, for times in and out of order, with and without a bar
// length, from every position and up to bounds on, beside and between the bar starts.
TEST(LiveCopyPath, IsTheClosedWalkThenTheFormingBars) {
    emu::Chart chart = emu::make_chart(9, "SRC", 60);
    const int minutes[] = {0, 1, 2, 4, 4, 3, 7, 8, 30, 31, 29, 32};
    for (int i = 0; i < 12; ++i) {
        const auto close = static_cast<float>(100 + i * 7 % 5);
        add_bar(chart, wed(9, 29 + minutes[i]), Prices{close, close + 1.0f, close - 1.0f, close});
    }
    const SourceView view = view_of(chart);
    for (const std::int64_t period : {std::int64_t{60000}, std::int64_t{0}}) {
        for (std::int32_t from = 0; from <= view.bar_count; ++from) {
            // A record that stopped at `from`: the walk up to the end of bar from - 1.
            SourceSession at_from;
            if (from > 0) walk_closed_bars(at_from, view, period, source_bar_end_ms(view, from - 1, period), rules);
            for (int step = -1; step < 50; ++step) {
                const std::int64_t bound = ms(wed(9, 29)) + step * 30000 + (step % 3) - 1;
                SourceSession expected = at_from;
                walk_closed_bars(expected, view, period, bound, rules);
                const SessionWindow window = counting_window(rules);
                for (std::int32_t j = expected.next_bar; j < view.bar_count; ++j) {
                    const std::int64_t t = source_bar_start_ms(view, j);
                    if (t > bound) break;
                    take_bar(expected, bars_of(view), j, t, source_bar_end_ms(view, j, period), window,
                             rules.upper_threshold, rules.lower_threshold, day_time(t));
                }
                ASSERT_TRUE(same_bits(provisional_copy(at_from, view, period, bound, rules), expected))
                    << "period " << period << ", from " << from << ", bound step " << step;
            }
        }
    }
}

}  // namespace
}  // namespace kmi::test
