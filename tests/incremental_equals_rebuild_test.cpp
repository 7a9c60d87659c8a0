// Feeding bars one call at a time, in time order and each source bar final before the
// chart bar it ends in closes, leaves the persistent records exactly as one full
// recalculation over the same data would; and the live pass never changes them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "settings/input_indices.h"
#include "source_test_builders.h"
#include "study_host.h"

namespace kmi::test {
namespace {

constexpr int source_count = 4;

// The final history: this chart and four source charts (numbers 2 to 5).
struct History {
    emu::Chart chart;
    std::vector<emu::Chart> sources;
    std::array<std::int32_t, source_slot_count> slot_charts{};  // chart-number input per slot; -1: this chart by symbol
    std::int32_t window_start = 34200;
    std::int32_t window_end = 57600;
    float upper = 1000.0f;
    float lower = -1000.0f;
};

Prices random_prices(std::mt19937_64& random) {
    std::uniform_real_distribution<float> price(-1500.0f, 1500.0f);
    const float a = price(random);
    const float b = price(random);
    return Prices{a, std::max(a, b) + 50.0f, std::min(a, b) - 50.0f, b};
}

// Bars from `first`, `count` of them or until `until`: mostly one length apart,
// sometimes closer (the next bar cuts the previous one short), sometimes after a gap,
// and with `overnight` now and then into the next morning. Without a fixed length the
// spacing is irregular.
void fill_bars(emu::Chart& chart, std::mt19937_64& random, HostDateTime first, HostDateTime until, std::size_t count,
               bool overnight) {
    std::uniform_int_distribution<int> pick(0, 99);
    const std::int64_t length = chart.bar_seconds >= 1 ? chart.bar_seconds * one_second : 0;
    HostDateTime t = first;
    while (t < until && chart.times.size() < count) {
        add_bar(chart, t, random_prices(random));
        const int p = pick(random);
        HostDateTime step = length > 0 ? length : (1 + pick(random)) * one_second + pick(random) * 1000;
        if (p < 10 && length >= 2000000)
            step = length / 2;
        else if (p < 20)
            step *= 1 + pick(random) % 5;
        else if (p < 22 && overnight)
            step = 17 * 3600 * one_second + step;
        t += step;
    }
}

// The stretches of this chart without a gap of an hour or more.
std::vector<std::pair<HostDateTime, HostDateTime>> stretches_of(const emu::Chart& chart) {
    std::vector<std::pair<HostDateTime, HostDateTime>> stretches{{chart.times.front(), chart.times.front()}};
    for (const HostDateTime t : chart.times) {
        if (t - stretches.back().second >= 3600 * one_second) stretches.push_back({t, t});
        stretches.back().second = t;
    }
    return stretches;
}

History random_history(std::uint64_t seed) {
    std::mt19937_64 random(seed);
    std::uniform_int_distribution<int> pick(0, 999);
    History h;
    const std::int32_t chart_lengths[] = {5, 60, 300, 0};
    h.chart = emu::make_chart(1, "ESZ26.CME", chart_lengths[pick(random) % 4]);
    const HostDateTime first = at(2026, 12, 2, 9, 0) + pick(random) % 400 * 60 * one_second;  // Wednesday
    fill_bars(h.chart, random, first, INT64_MAX, static_cast<std::size_t>(100 + pick(random) % 150), true);
    const std::int32_t source_lengths[] = {2, 5, 60, 300, 0};
    for (int s = 0; s < source_count; ++s) {
        emu::Chart source = emu::make_chart(2 + s, "SRC", source_lengths[pick(random) % 5]);
        if (source.bar_seconds == 0) source.bar_period = {1, 0, 0};  // a bar kind without fixed time
        // Sources trade while the chart does, starting a little earlier, ending a little later.
        for (const auto& [from, to] : stretches_of(h.chart)) {
            fill_bars(source, random, from - (pick(random) % 600) * one_second, to + 600 * one_second, SIZE_MAX, false);
        }
        h.sources.push_back(std::move(source));
    }
    // TICK, ADD, VOLD and UDVR each on a source, VIX on this chart, the front on TICK's
    // chart again; the rest off.
    h.slot_charts = {2, 3, 4, 5, -1, 2, 0, 0, 0};
    if (pick(random) % 2 == 0) {
        h.window_start = 36000 + pick(random) % 3600;
        h.window_end = h.window_start + 1800 + pick(random) * 20;
    }
    h.upper = static_cast<float>(200 + pick(random));
    h.lower = -static_cast<float>(200 + pick(random));
    return h;
}

void configure(StudyHost& h, const History& history) {
    h.defaults();
    clear_source_inputs(*h);
    for (int slot = 0; slot < source_slot_count; ++slot) {
        const std::int32_t chart = history.slot_charts[static_cast<std::size_t>(slot)];
        if (chart > 0) set_source_chart(*h, slot, chart);
        if (chart < 0) set_source_symbol(*h, slot, "esz26.cme");
    }
    set_time_input(*h, input_rth_start, history.window_start / 86400.0);
    set_time_input(*h, input_rth_end, history.window_end / 86400.0);
    set_input_float(emu::input(*h, input_tick_upper_threshold), history.upper);
    set_input_float(emu::input(*h, input_tick_lower_threshold), history.lower);
}

::testing::AssertionResult same_records(const StudyState& a, const StudyState& b) {
    for (std::size_t i = 0; i < a.sources.size(); ++i) {
        if (auto same = same_bits(a.sources[i], b.sources[i]); !same) return same << " (slot " << i << ")";
    }
    if (auto same = same_bits(a.chart_flow, b.chart_flow); !same) return same;
    if (a.last_closed_bar != b.last_closed_bar) {
        return ::testing::AssertionFailure() << "last_closed_bar " << a.last_closed_bar << " vs " << b.last_closed_bar;
    }
    return ::testing::AssertionSuccess();
}

// The end of bar j of the final history, by the bar end rule.
HostDateTime final_end(const emu::Chart& chart, std::size_t j) {
    const HostDateTime length = chart.bar_period[0] == 2 ? chart.bar_period[2] * one_second : 0;
    if (j + 1 < chart.times.size()) {
        const HostDateTime next = chart.times[j + 1];
        return length > 0 ? std::min(next, chart.times[j] + length) : next;
    }
    return length > 0 ? chart.times[j] + length : INT64_MAX;
}

emu::Bar final_bar(const emu::Chart& chart, std::size_t j) {
    return emu::Bar{chart.times[j], chart.open[j], chart.high[j], chart.low[j], chart.close[j], 10.0f, 4.0f, 6.0f};
}

// The same bar while it forms: other prices than its final ones.
emu::Bar forming_bar(const emu::Chart& chart, std::size_t j) {
    emu::Bar bar = final_bar(chart, j);
    bar.close = bar.open;
    bar.high = bar.open + 1.0f;
    bar.low = bar.open - 1.0f;
    return bar;
}

// What happens at one time, in this order at equal times: a source bar receives its
// final values, a source bar starts, this chart's next bar starts.
struct Event {
    HostDateTime time;
    int order;  // 0 finalize a source bar, 1 start a source bar, 2 start a chart bar
    int chart;  // source index, or -1 for this chart
    std::size_t bar;
};

std::vector<Event> events_of(const History& h) {
    std::vector<Event> events;
    for (std::size_t j = 1; j < h.chart.times.size(); ++j) events.push_back({h.chart.times[j], 2, -1, j});
    for (int s = 0; s < source_count; ++s) {
        const emu::Chart& source = h.sources[static_cast<std::size_t>(s)];
        for (std::size_t j = 0; j < source.times.size(); ++j) {
            if (source.times[j] <= h.chart.times[0]) continue;  // present from the start
            events.push_back({source.times[j], 1, s, j});
            const HostDateTime end = final_end(source, j);
            if (end != INT64_MAX) events.push_back({end, 0, s, j});  // a bar without an end stays forming
        }
    }
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
        return a.time != b.time ? a.time < b.time : a.order < b.order;
    });
    return events;
}

// A fresh host, one full recalculation over what `incremental` holds now.
void expect_full_recalculation_agrees(StudyHost& incremental, const History& history) {
    StudyHost full(emu::study_chart(*incremental));
    for (int s = 0; s < source_count; ++s) full->charts[2 + s] = incremental->charts.at(2 + s);
    configure(full, history);
    full.full();
    EXPECT_TRUE(same_records(*incremental.state(), *full.state()));
}

void run_history(std::uint64_t seed) {
    const History history = random_history(seed);
    std::mt19937_64 random(seed ^ 0x9e3779b97f4a7c15ULL);
    std::uniform_int_distribution<int> pick(0, 99);

    // The starting point: the chart's first bar forming, the source bars that started by then.
    emu::Chart chart = emu::make_chart(1, history.chart.symbol, history.chart.bar_seconds);
    emu::append_bar(chart, forming_bar(history.chart, 0));
    StudyHost incremental(chart);
    for (int s = 0; s < source_count; ++s) {
        const emu::Chart& source = history.sources[static_cast<std::size_t>(s)];
        emu::Chart present = emu::make_chart(2 + s, source.symbol, source.bar_seconds);
        present.bar_period = source.bar_period;
        for (std::size_t j = 0; j < source.times.size() && source.times[j] <= history.chart.times[0]; ++j) {
            emu::append_bar(present, final_end(source, j) <= history.chart.times[0] ? final_bar(source, j)
                                                                                    : forming_bar(source, j));
        }
        incremental->charts[2 + s] = present;
    }
    configure(incremental, history);
    incremental.full();
    const std::size_t report_lines = incremental->log.size();  // the report comes with every rebuild
    ASSERT_GT(report_lines, 0u);

    int chart_bars_closed = 0;
    for (const Event& e : events_of(history)) {
        incremental->now = pick(random) < 10 ? 0 : e.time + pick(random) * 500000;
        if (e.chart >= 0) {
            emu::Chart& source = incremental->charts.at(2 + e.chart);
            const emu::Chart& final_source = history.sources[static_cast<std::size_t>(e.chart)];
            if (e.order == 1) {
                ASSERT_EQ(source.times.size(), e.bar);
                emu::append_bar(source, forming_bar(final_source, e.bar));
            } else if (e.bar < source.times.size()) {
                const std::size_t from_end = source.times.size() - e.bar;
                source.close[source.close.size() - from_end] = final_source.close[e.bar];
                source.high[source.high.size() - from_end] = final_source.high[e.bar];
                source.low[source.low.size() - from_end] = final_source.low[e.bar];
            }
            if (pick(random) >= 5) continue;  // most source ticks reach the study with the next chart call
        } else {
            emu::Chart& live = emu::study_chart(*incremental);
            emu::replace_last_bar(live, final_bar(history.chart, e.bar - 1));
            emu::append_bar(live, forming_bar(history.chart, e.bar));
            ++chart_bars_closed;
        }
        const std::int32_t last = emu::bar_count(emu::study_chart(*incremental)) - 1;
        if (last == 0) continue;  // an update from bar 0 would be a full recalculation
        incremental.update(last);

        if (pick(random) < 30) {
            // The live pass alone, at another present time: the records stay as they are.
            const StudyState before = *incremental.state();
            incremental->now += 7 * one_second;
            incremental.update(last);
            ASSERT_TRUE(same_records(before, *incremental.state())) << "live pass at event time " << e.time;
        }
        if (e.chart < 0 && chart_bars_closed % 40 == 0) expect_full_recalculation_agrees(incremental, history);
    }
    ASSERT_EQ(incremental->log.size(), report_lines) << "no call turned into a rebuild";
    ASSERT_EQ(incremental.state()->last_closed_bar, emu::bar_count(emu::study_chart(*incremental)) - 2);
    expect_full_recalculation_agrees(incremental, history);
    for (int slot = 0; slot <= slot_front; ++slot) {
        EXPECT_GT(incremental.state()->sources[static_cast<std::size_t>(slot)].next_bar, 0) << "slot " << slot;
    }
}

TEST(IncrementalEqualsRebuild, PersistentRecordsBitForBitOverRandomHistories) {
    for (std::uint64_t seed = 1; seed <= 20; ++seed) {
        SCOPED_TRACE(seed);
        run_history(seed);
        if (HasFatalFailure()) return;
    }
}

}  // namespace
}  // namespace kmi::test
