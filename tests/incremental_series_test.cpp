// The study's central promise: feeding the bars one call at a time, each source bar
// present with its final values before the chart bar it ends in closes, gives output
// series identical, bit for bit, to one full recalculation, on every closed bar.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "host/host_datetime.h"
#include "settings/source_slots.h"
#include "study_host.h"

namespace kmi::test {
namespace {

constexpr std::int64_t minute_us = 60000000;

// A source's bar length in seconds; 0 for a source without a fixed bar length, whose
// bars come at irregular times.
constexpr std::array<std::int32_t, source_slot_count> source_bar_seconds{60, 30, 300, 60, 15, 0, 120, 60, 5};

struct History {
    emu::Chart chart;                                   // the chart carrying the study ("ESZ26.CME")
    std::array<emu::Chart, source_slot_count> sources;  // the ES slot reads the chart itself
};

// A random walk of bars over the given days, between `from_minute` and `to_minute` of
// each day, with gaps. An oscillating series (the TICK) swings around its start price
// instead of wandering off.
std::vector<emu::Bar> random_bars(std::mt19937_64& random, const std::vector<HostDateTime>& days,
                                  std::int32_t bar_seconds, int from_minute, int to_minute, double start_price,
                                  double scale, bool oscillating = false) {
    std::vector<emu::Bar> bars;
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::normal_distribution<double> step(0.0, scale);
    double price = start_price;
    for (const HostDateTime day : days) {
        HostDateTime t = day + from_minute * minute_us;
        const HostDateTime end = day + to_minute * minute_us;
        while (t < end) {
            const HostDateTime length = bar_seconds > 0
                                            ? bar_seconds * 1000000LL
                                            : static_cast<HostDateTime>(1 + unit(random) * 119) * 1000000LL +
                                                  static_cast<HostDateTime>(unit(random) * 999) * 1000;
            if (unit(random) > 0.05) {  // a missing bar now and then
                const double open = price;
                price = oscillating ? start_price + step(random) : price + step(random);
                const double high = std::max(open, price) + std::abs(step(random)) * 0.5;
                const double low = std::min(open, price) - std::abs(step(random)) * 0.5;
                const auto volume = static_cast<float>(std::floor(unit(random) * 500));
                const auto bid = static_cast<float>(std::floor(volume * unit(random)));
                bars.push_back(emu::Bar{t, static_cast<float>(open), static_cast<float>(high), static_cast<float>(low),
                                        static_cast<float>(price), volume, bid, volume - bid});
            }
            t += length;
        }
    }
    return bars;
}

History random_history(std::uint64_t seed) {
    std::mt19937_64 random(seed);
    const std::vector<HostDateTime> days{at(2026, 12, 3), at(2026, 12, 4), at(2026, 12, 7)};
    History history;
    history.chart = emu::make_chart(1, "ESZ26.CME", 60);
    // Thursday and Friday, a few Sunday evening bars after the weekend, then Monday.
    std::vector<emu::Bar> chart_bars = random_bars(random, {days[0], days[1]}, 60, 8 * 60, 17 * 60, 6000, 1.5);
    for (const std::vector<HostDateTime>& segment :
         {std::vector<HostDateTime>{at(2026, 12, 6)}, std::vector<HostDateTime>{days[2]}}) {
        const bool sunday = segment[0] == at(2026, 12, 6);
        const auto more =
            random_bars(random, segment, 60, sunday ? 18 * 60 : 8 * 60, sunday ? 18 * 60 + 20 : 17 * 60, 6000, 1.5);
        chart_bars.insert(chart_bars.end(), more.begin(), more.end());
    }
    emu::set_bars(history.chart, chart_bars);
    const double base[source_slot_count] = {0, 200, 1e8, 1.2, 16, 17, 19, 6000, 21000};
    const double scale[source_slot_count] = {600, 60, 3e7, 0.1, 0.2, 0.2, 0.2, 1.5, 6};
    for (int slot = 0; slot < source_slot_count; ++slot) {
        const auto i = static_cast<std::size_t>(slot);
        emu::Chart& source = history.sources[i];
        source = emu::make_chart(0, source_labels[i].default_symbol, source_bar_seconds[i]);
        // The NQ source has 5-second bars: fewer hours keep the test quick.
        const int to_minute = slot == slot_nq ? 11 * 60 : 17 * 60 + 30;
        emu::set_bars(source, random_bars(random, days, source_bar_seconds[i], 7 * 60 + 30, to_minute, base[i],
                                          scale[i], slot == slot_tick));
    }
    return history;
}

std::int64_t start_ms(const emu::Chart& chart, std::size_t i) { return to_milliseconds(chart.times[i]); }

// The end of closed chart bar b, as the closed-bar pass bounds it.
std::int64_t closed_bound_ms(const emu::Chart& chart, std::size_t b) {
    const std::int64_t start = start_ms(chart, b);
    const std::int64_t next = start_ms(chart, b + 1);
    return std::min<std::int64_t>(next, start + chart.bar_seconds * std::int64_t{1000});
}

emu::Bar bar_of(const emu::Chart& chart, std::size_t i) {
    return emu::Bar{chart.times[i], chart.open[i],   chart.high[i],       chart.low[i],
                    chart.close[i], chart.volume[i], chart.bid_volume[i], chart.ask_volume[i]};
}

// A forming version of a bar, with other values than its final ones.
emu::Bar forming(emu::Bar bar) {
    bar.close = bar.open;
    bar.high = bar.open + 0.25f;
    bar.volume = bar.volume / 2;
    return bar;
}

std::int32_t opened_chart(const emu::Host& host, const std::string& symbol) {
    for (const auto& [number, chart] : host.charts) {
        if (chart.symbol == symbol && number != host.study.chart_number) return number;
    }
    return 0;
}

std::vector<std::vector<float>> series_by_bar(const emu::Host& host, std::size_t bars) {
    std::vector<std::vector<float>> rows(bars, std::vector<float>(host.study.series.size()));
    for (std::size_t k = 0; k < host.study.series.size(); ++k) {
        for (std::size_t b = 0; b < bars; ++b) rows[b][k] = host.study.series[k][b];
    }
    return rows;
}

void expect_bitwise_equal(const std::vector<std::vector<float>>& incremental,
                          const std::vector<std::vector<float>>& full, const emu::Chart& chart) {
    int differences = 0;
    for (std::size_t b = 0; b < full.size(); ++b) {
        for (std::size_t k = 0; k < full[b].size(); ++k) {
            if (std::memcmp(&incremental[b][k], &full[b][k], sizeof(float)) != 0 && ++differences <= 10) {
                const DateTimeParts t = to_date_time_parts(chart.times[b], round_to_millisecond);
                ADD_FAILURE() << "bar " << b << " (" << t.month << "-" << t.day << " " << t.hour << ":" << t.minute
                              << ") series " << k << ": incremental " << incremental[b][k] << ", full " << full[b][k];
            }
        }
    }
    EXPECT_EQ(differences, 0);
}

void feed_source_bars_up_to(emu::Chart& opened, const emu::Chart& source, std::int64_t bound_ms) {
    std::size_t present = opened.times.size();
    while (present < source.times.size() && start_ms(source, present) <= bound_ms) {
        emu::append_bar(opened, bar_of(source, present));
        ++present;
    }
}

void run_differential(std::uint64_t seed) {
    const History history = random_history(seed);
    const emu::Chart& chart = history.chart;
    const std::size_t bars = chart.times.size();
    ASSERT_GT(bars, 100u);

    // One call at a time.
    emu::Chart first = emu::make_chart(1, "ESZ26.CME", 60);
    emu::append_bar(first, forming(bar_of(chart, 0)));
    StudyHost incremental(first);
    for (const emu::Chart& source : history.sources) {
        emu::Chart empty = emu::make_chart(0, source.symbol, source.bar_seconds);
        incremental->symbol_library[source.symbol] = empty;
    }
    incremental.defaults();
    incremental.full();
    std::array<std::int32_t, source_slot_count> numbers{};
    for (int slot = 0; slot < source_slot_count; ++slot) {
        if (slot == slot_es) continue;
        numbers[static_cast<std::size_t>(slot)] =
            opened_chart(*incremental, history.sources[static_cast<std::size_t>(slot)].symbol);
        ASSERT_GT(numbers[static_cast<std::size_t>(slot)], 0) << slot;
    }
    std::mt19937_64 random(seed * 7 + 1);
    for (std::size_t b = 0; b + 1 < bars; ++b) {
        const std::int64_t bound = closed_bound_ms(chart, b);
        for (int slot = 0; slot < source_slot_count; ++slot) {
            if (slot == slot_es) continue;
            const auto i = static_cast<std::size_t>(slot);
            feed_source_bars_up_to(incremental->charts.at(numbers[i]), history.sources[i], bound);
        }
        emu::Chart& live = emu::study_chart(*incremental);
        emu::replace_last_bar(live, bar_of(chart, b));
        emu::append_bar(live, forming(bar_of(chart, b + 1)));
        incremental->now = chart.times[b + 1] + 20000000;
        incremental.update(static_cast<std::int32_t>(b));
        if (random() % 5 == 0) {  // another trade on the forming bar: an update at the right edge
            emu::replace_last_bar(live, bar_of(chart, b + 1));
            incremental->now += 10000000;
            incremental.update(static_cast<std::int32_t>(b + 1));
        }
    }
    ASSERT_EQ(incremental.state()->last_closed_bar, static_cast<std::int32_t>(bars) - 2)
        << "no call may have turned into a rebuild";

    // One full recalculation over the final data.
    StudyHost full(chart);
    for (const emu::Chart& source : history.sources) full->symbol_library[source.symbol] = source;
    full.defaults();
    full->now = incremental->now;
    full.full();

    expect_bitwise_equal(series_by_bar(*incremental, bars - 1), series_by_bar(*full, bars - 1), chart);

    // The histories exercise what they should: sessions and every source's readings.
    const auto rows = series_by_bar(*full, bars - 1);
    int with_values[20] = {};
    for (const auto& row : rows) {
        for (std::size_t k = 0; k < row.size(); ++k) with_values[k] += row[k] != 0.0f ? 1 : 0;
    }
    for (int k = 0; k < 20; ++k) EXPECT_GT(with_values[k], 0) << "series " << k << " never has a value";
}

TEST(IncrementalEqualsFullRecalculation, OnEveryClosedBarBitForBit) {
    for (const std::uint64_t seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        run_differential(seed);
    }
}

}  // namespace
}  // namespace kmi::test
