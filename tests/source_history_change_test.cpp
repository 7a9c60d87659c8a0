// A source chart whose history changes under the walk turns the call into one rebuild,
// without resolving the sources again; bars appended at its end do not.
#include <gtest/gtest.h>

#include <cstdint>

#include "settings/input_indices.h"
#include "source_test_builders.h"
#include "study_host.h"

namespace kmi::test {
namespace {

HostDateTime wed(int hour, int minute, int second = 0) { return at(2026, 12, 2, hour, minute, second); }

// Chart 1: ten minute bars from 09:30. TICK opened by symbol: twelve minute bars.
struct ChangingSourceHost : StudyHost {
    int calls = 0;

    ChangingSourceHost() : StudyHost(evenly_spaced(1, "ESZ26.CME", 60, wed(9, 30), 10)) {
        defaults();
        clear_source_inputs(**this);
        host->symbol_library["TICK-NYSE"] = evenly_spaced(0, "TICK-NYSE", 60, wed(9, 30), 12);
        set_source_symbol(**this, slot_tick, "TICK-NYSE");
        full();
    }
    emu::Chart& source() { return host->charts.at(2); }
    const SourceSession& tick() { return state()->sources[slot_tick]; }

    // An update at the right edge; true when it rebuilt. Every call sets another window
    // start, which only a rebuild takes from the inputs.
    bool update_rebuilt() {
        ++calls;
        const std::int32_t start_second = 32400 + 60 * calls;
        set_time_input(**this, input_rth_start, start_second / 86400.0);
        update(emu::bar_count(emu::study_chart(**this)) - 1);
        return state()->session_window.start_second == start_second;
    }
};

TEST(SourceHistoryChange, AppendedBarsAreNoChange) {
    ChangingSourceHost h;
    ASSERT_EQ(h.tick().next_bar, 9);
    add_bar(h.source(), wed(9, 42), Prices{1, 1, 1, 1});
    emu::append_bar(emu::study_chart(*h), emu::Bar{wed(9, 40), 1, 1, 1, 1, 1, 0, 0});
    EXPECT_FALSE(h.update_rebuilt());
    EXPECT_EQ(h.tick().next_bar, 10);
    EXPECT_EQ(h.tick().session_bars, 10);
}

TEST(SourceHistoryChange, DifferentHistoryRebuildsOnceFromBarZero) {
    ChangingSourceHost h;
    emu::set_bars(h.source(), {});
    for (int i = 0; i < 12; ++i) add_bar(h.source(), wed(9, 30, 30) + i * 60 * one_second, Prices{5, 5, 5, 5});
    EXPECT_TRUE(h.update_rebuilt());
    EXPECT_EQ(h->open_requests.size(), 1u) << "no resolution on this rebuild";
    EXPECT_EQ(h.state()->source_bindings.chart_numbers[slot_tick], 2);
    EXPECT_EQ(h.tick().next_bar, 8) << "the bars of the new history that end by 09:39";
    EXPECT_EQ(h.tick().consumed_bar_start_ms, ms(wed(9, 37, 30)));
    EXPECT_EQ(h.tick().session_bars, 8);
    EXPECT_EQ(h.tick().last_value, 5.0);
    EXPECT_FALSE(h.update_rebuilt());
}

TEST(SourceHistoryChange, ReloadedSameHistoryIsNoChange) {
    ChangingSourceHost h;
    const emu::Chart same = h.source();
    h.source() = same;  // the host hands out new arrays with the same bars
    EXPECT_FALSE(h.update_rebuilt());
}

TEST(SourceHistoryChange, ShortenedChartRebuildsOnce) {
    ChangingSourceHost h;
    emu::Chart& source = h.source();
    for (auto* v : {&source.open, &source.high, &source.low, &source.close, &source.volume, &source.bid_volume,
                    &source.ask_volume}) {
        v->resize(5);
    }
    source.times.resize(5);
    EXPECT_TRUE(h.update_rebuilt());
    EXPECT_EQ(h.tick().next_bar, 5);
    EXPECT_EQ(h.state()->source_bindings.chart_numbers[slot_tick], 2);
    EXPECT_FALSE(h.update_rebuilt());
}

TEST(SourceHistoryChange, CloseArrayShorterThanTheTimesLimitsTheBars) {
    ChangingSourceHost h;
    h.source().close.resize(4);
    EXPECT_TRUE(h.update_rebuilt());
    EXPECT_EQ(h.tick().next_bar, 4);
}

TEST(SourceHistoryChange, EmptiedChartRebuildsOnceAndShowsNoDataUntilBarsReturn) {
    ChangingSourceHost h;
    emu::set_bars(h.source(), {});
    EXPECT_TRUE(h.update_rebuilt());
    EXPECT_EQ(h.state()->source_bindings.chart_numbers[slot_tick], 2);
    EXPECT_TRUE(same_bits(h.tick(), SourceSession{}));
    EXPECT_FALSE(h.update_rebuilt());
    EXPECT_FALSE(h.update_rebuilt());

    for (int i = 0; i < 12; ++i) add_bar(h.source(), wed(9, 30) + i * 60 * one_second, Prices{7, 7, 7, 7});
    emu::append_bar(emu::study_chart(*h), emu::Bar{wed(9, 40), 1, 1, 1, 1, 1, 0, 0});
    EXPECT_FALSE(h.update_rebuilt());
    EXPECT_EQ(h.tick().next_bar, 10) << "the next closed chart bar takes every bar ended by its end";
}

}  // namespace
}  // namespace kmi::test
