// The 20 output series as a chart shows them: which bar carries which source bar, what
// is 0 before a session, and that the panel inputs change none of them.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "settings/input_indices.h"
#include "settings/source_slots.h"
#include "study_host.h"

namespace kmi::test {
namespace {

constexpr std::int64_t minute_us = 60000000;

// A source chart of one-minute bars with the given closes from `first` on.
emu::Chart source_chart(const char* symbol, HostDateTime first, const std::vector<float>& closes,
                        std::int32_t bar_seconds = 60) {
    emu::Chart chart = emu::make_chart(0, symbol, bar_seconds);
    for (std::size_t i = 0; i < closes.size(); ++i) {
        const float c = closes[i];
        emu::append_bar(
            chart, emu::Bar{first + static_cast<HostDateTime>(i) * bar_seconds * 1000000, c, c + 1, c - 1, c, 0, 0, 0});
    }
    return chart;
}

float value(const emu::Host& host, int series, int bar) {
    return host.study.series[static_cast<std::size_t>(series)][static_cast<std::size_t>(bar)];
}

// Every source off: no symbol, no chart number.
void all_sources_off(emu::Host& host) {
    for (int slot = 0; slot < source_slot_count; ++slot)
        emu::set_input_text_value(emu::input(host, symbol_input(slot)), "");
}

TEST(OutputSeries, ClosedBarsCarryTheSourceBarsThatEndedWithinThem) {
    const HostDateTime open = at(2026, 12, 2, 9, 30);
    StudyHost one_minute(chart_with_bars(1, "CHART", 60, open, 6));
    one_minute->symbol_library["TICK-NYSE"] = source_chart("TICK-NYSE", open, {10, 20, 30, 40, 50, 60});
    one_minute.defaults();
    one_minute.full();
    for (int b = 0; b < 5; ++b) EXPECT_EQ(value(*one_minute, 0, b), static_cast<float>(10 * (b + 1))) << b;

    // A five-minute chart takes the last one-minute bar ending within its five minutes.
    emu::Chart five = emu::make_chart(1, "CHART", 300);
    for (int i = 0; i < 3; ++i) emu::append_bar(five, emu::Bar{open + i * 5 * minute_us, 1, 2, 0, 1, 1, 0, 0});
    StudyHost five_minute(five);
    std::vector<float> closes;
    for (int i = 0; i < 15; ++i) closes.push_back(static_cast<float>(i));
    five_minute->symbol_library["TICK-NYSE"] = source_chart("TICK-NYSE", open, closes);
    five_minute.defaults();
    five_minute.full();
    EXPECT_EQ(value(*five_minute, 0, 0), 4.0f);
    EXPECT_EQ(value(*five_minute, 0, 1), 9.0f);
}

TEST(OutputSeries, BeforeTheFirstSessionBarOnlyTheLatestValuesFollowTheirSources) {
    const HostDateTime early = at(2026, 12, 2, 8, 0);  // the history starts before the window
    StudyHost h(chart_with_bars(1, "CHART", 60, early, 5));
    for (int slot = 0; slot < source_slot_count; ++slot) {
        const char* symbol = source_labels[static_cast<std::size_t>(slot)].default_symbol;
        h->symbol_library[symbol] = source_chart(symbol, early, {3, 4, 5, 6, 7});
    }
    h.defaults();
    h.full();
    for (int bar = 0; bar < 4; ++bar) {
        for (const int k : {0, 6, 9, 10, 11, 13}) EXPECT_NE(value(*h, k, bar), 0.0f) << "series " << k;
        for (const int k : {1, 2, 3, 4, 5, 7, 8, 12, 14, 15, 16, 17, 18, 19}) {
            EXPECT_EQ(value(*h, k, bar), 0.0f) << "series " << k;
        }
    }
}

TEST(OutputSeries, WithoutSourcesOnlyTheChartsOwnSeriesHaveValues) {
    StudyHost h(chart_with_bars(1, "CHART", 60, at(2026, 12, 2, 9, 30), 4));
    h.defaults();
    all_sources_off(*h);
    h.full();
    for (int bar = 0; bar < 4; ++bar) {
        for (int k = 0; k <= 16; ++k) EXPECT_EQ(value(*h, k, bar), 0.0f) << "series " << k;
        EXPECT_EQ(value(*h, 17, bar), 2.0f * static_cast<float>(bar + 1)) << "delta: ask 6 minus bid 4 per bar";
        EXPECT_NE(value(*h, 18, bar), 0.0f);
    }
}

TEST(OutputSeries, ASingleBarIsWrittenByTheLivePassAndNothingBeyondTheChart) {
    StudyHost h(chart_with_bars(1, "CHART", 60, at(2026, 12, 2, 9, 30), 1));
    h.defaults();
    all_sources_off(*h);
    h->now = at(2026, 12, 2, 9, 30, 30);
    h.full();
    EXPECT_EQ(h.state()->last_closed_bar, -1);
    EXPECT_NE(value(*h, 18, 0), 0.0f);
    EXPECT_EQ(h->study.series[18].size(), 1u);
}

TEST(OutputSeries, TheLastBarFollowsTheFormingSourceBarAndIsRewrittenWhenItCloses) {
    const HostDateTime open = at(2026, 12, 2, 9, 30);
    StudyHost h(chart_with_bars(1, "CHART", 60, open, 2));
    h->symbol_library["TICK-NYSE"] = source_chart("TICK-NYSE", open, {100, 200});
    h.defaults();
    h->now = open + minute_us + 30000000;
    h.full();
    EXPECT_EQ(value(*h, 0, 1), 200.0f) << "the forming TICK bar is in the live copy";
    EXPECT_EQ(h.state()->sources[slot_tick].last_value, 100.0) << "but not in the persistent record";

    // The TICK bar of 09:31 moves on; the chart gains its 09:32 bar.
    const std::int32_t tick_chart = h->open_requests.front().result;
    emu::replace_last_bar(h->charts.at(tick_chart), emu::Bar{open + minute_us, 200, 260, 150, 250, 0, 0, 0});
    emu::append_bar(emu::study_chart(*h), emu::Bar{open + 2 * minute_us, 1, 2, 0, 1, 1, 0, 0});
    h->now = open + 2 * minute_us + 1000000;
    h.update(1);
    EXPECT_EQ(value(*h, 0, 1), 250.0f) << "closed with the TICK bar's final close";
    EXPECT_EQ(value(*h, 1, 1), 260.0f) << "session high";
    EXPECT_EQ(value(*h, 3, 1), 0.0f) << "no bar reached the upper threshold";
}

TEST(OutputSeries, TheVixSeriesNeverFallBackToTheFrontContract) {
    const HostDateTime open = at(2026, 12, 2, 9, 30);
    StudyHost h(chart_with_bars(1, "CHART", 60, open, 3));
    h->symbol_library["VXV26-CFE"] = source_chart("VXV26-CFE", open, {18, 18, 18});
    h->symbol_library["VXX26-CFE"] = source_chart("VXX26-CFE", open, {20, 20, 20});
    h.defaults();
    h.full();
    EXPECT_EQ(value(*h, 11, 1), 0.0f);
    EXPECT_EQ(value(*h, 12, 1), 0.0f);
    EXPECT_EQ(value(*h, 13, 1), 0.9f) << "the ratio is rounded to single precision when stored";
}

TEST(OutputSeries, ThePanelInputsChangeNoSeries) {
    const HostDateTime open = at(2026, 12, 2, 9, 30);
    auto run = [&](bool panel_inputs_on) {
        StudyHost h(chart_with_bars(1, "CHART", 60, open, 6));
        for (int slot = 0; slot < source_slot_count; ++slot) {
            const char* symbol = source_labels[static_cast<std::size_t>(slot)].default_symbol;
            h->symbol_library[symbol] = source_chart(symbol, open, {5, 6, 7, 8, 9, 10});
        }
        h.defaults();
        for (const int index : {input_show_panel, input_show_chart_flow, input_show_es_vs_nq}) {
            set_input_uint32(emu::input(*h, index), panel_inputs_on ? 1u : 0u);
        }
        h->now = open + 5 * minute_us + 10000000;
        h.full();
        return h->study.series;
    };
    EXPECT_EQ(run(true), run(false));
}

}  // namespace
}  // namespace kmi::test
