#include "bench/synthetic_market.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "study/study_call.h"

namespace kmi::bench {
namespace {

constexpr std::int32_t study_chart_number = 1;
constexpr HostDateTime minute_us = 60000000;
constexpr HostDateTime day_us = 1440 * minute_us;
constexpr std::int64_t minutes_per_day = 1440;

void study_entry(HostInterface* record) { kmi::run_study_call(*record); }

// Monday 2024-01-01 00:00 as a host date-time.
HostDateTime first_day() {
    using namespace std::chrono;
    static const HostDateTime first = [] {
        const auto days = sys_days(year_month_day(year(2024), month(1), day(1))) -
                          sys_days(year_month_day(year(1899), month(12), day(30)));
        return static_cast<HostDateTime>(days.count()) * day_us;
    }();
    return first;
}

// Bar i starts at minute i of the weekdays from the first day on: five days of 1440
// minutes, then the weekend is skipped.
HostDateTime bar_time(std::int64_t i) {
    const std::int64_t weekday = i / minutes_per_day;
    const std::int64_t calendar_day = (weekday / 5) * 7 + weekday % 5;
    return first_day() + calendar_day * day_us + (i % minutes_per_day) * minute_us;
}

// A uniform value in [-1, 1) from a xorshift64* generator.
double next_unit(std::uint64_t& state) {
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    const std::uint64_t bits = state * 2685821657736338717ULL;
    return static_cast<double>(bits >> 11) * (2.0 / 9007199254740992.0) - 1.0;
}

emu::Bar next_bar(PriceWalk& walk, HostDateTime time) {
    const double open = walk.price;
    if (walk.oscillating) {
        walk.price = walk.base + next_unit(walk.state) * walk.scale;
    } else {
        // A random step, pulled gently back to the base so a long history stays in range.
        walk.price += next_unit(walk.state) * walk.scale + (walk.base - walk.price) * 0.002;
    }
    const double high = std::max(open, walk.price) + std::abs(next_unit(walk.state)) * walk.scale * 0.5;
    const double low = std::min(open, walk.price) - std::abs(next_unit(walk.state)) * walk.scale * 0.5;
    const auto volume = static_cast<float>(std::floor((next_unit(walk.state) + 1.0) * 250.0));
    const auto bid = static_cast<float>(std::floor(volume * (next_unit(walk.state) + 1.0) * 0.5));
    return emu::Bar{time,
                    static_cast<float>(open),
                    static_cast<float>(high),
                    static_cast<float>(low),
                    static_cast<float>(walk.price),
                    volume,
                    bid,
                    volume - bid};
}

// Every chart once: the study's chart serves the ES slot too.
template <typename Action>
void for_each_chart(SyntheticMarket& market, Action action) {
    for (int slot = 0; slot < source_slot_count; ++slot) action(slot, *market.sources[static_cast<std::size_t>(slot)]);
}

void set_clock_inside_last_bar(SyntheticMarket& market) {
    const emu::Chart& chart = emu::study_chart(*market.host);
    market.host->now = chart.times.empty() ? 0 : chart.times.back() + 30000000;  // 30 s into the forming bar
}

constexpr std::array<double, source_slot_count> walk_base{0, 200, 1e8, 1.2, 16, 17, 19, 6000, 21000};
constexpr std::array<double, source_slot_count> walk_scale{900, 60, 3e7, 0.1, 0.2, 0.2, 0.2, 1.5, 6};

}  // namespace

std::unique_ptr<SyntheticMarket> make_market(std::int32_t bars, std::int32_t spare) {
    auto market = std::make_unique<SyntheticMarket>();
    const auto capacity = static_cast<std::size_t>(bars) + static_cast<std::size_t>(spare);
    market->host = emu::make_host(study_entry, emu::make_chart(study_chart_number, "ESZ26.CME", 60));
    emu::Host& host = *market->host;
    // The other charts start empty in the host's library; the first full recalculation
    // opens them, then the bars are generated straight into the opened charts.
    for (int slot = 0; slot < source_slot_count; ++slot) {
        if (slot == slot_es) continue;
        const char* symbol = source_labels[static_cast<std::size_t>(slot)].default_symbol;
        host.symbol_library[symbol] = emu::make_chart(0, symbol, 60);
    }
    emu::call_study(host, emu::CallKind::defaults);
    emu::call_study(host, emu::CallKind::full);
    for (int slot = 0; slot < source_slot_count; ++slot) {
        const auto i = static_cast<std::size_t>(slot);
        const std::string symbol = source_labels[i].default_symbol;
        for (auto& [number, chart] : host.charts) {
            if (chart.symbol == symbol) market->sources[i] = &chart;
        }
        market->walks[i] =
            PriceWalk{0x9E3779B97F4A7C15ULL * (i + 1), walk_base[i], walk_base[i], walk_scale[i], slot == slot_tick};
    }
    for_each_chart(*market, [&](int, emu::Chart& chart) { reserve_bars(chart, capacity); });
    for (std::vector<float>& series : host.study.series) series.reserve(capacity);
    for (std::int32_t i = 0; i < bars; ++i) append_market_bar(*market);
    for (std::vector<float>& series : market->floor_series) series.assign(static_cast<std::size_t>(bars), 0.0F);
    full_recalculation(*market);
    return market;
}

void close_market(SyntheticMarket& market) {
    if (!market.host) return;
    emu::close_host(*market.host);
    market.host.reset();
    market.sources = {};
}

std::int32_t chart_bars(const SyntheticMarket& market) {
    return static_cast<std::int32_t>(market.sources[slot_es]->times.size());
}

std::int32_t spare_bars(const SyntheticMarket& market) {
    std::size_t spare = market.host->study.series[0].capacity() - market.host->study.series[0].size();
    for (const emu::Chart* chart : market.sources)
        spare = std::min(spare, chart->times.capacity() - chart->times.size());
    return static_cast<std::int32_t>(spare);
}

void append_market_bar(SyntheticMarket& market) {
    const HostDateTime time = bar_time(market.next_bar);
    for_each_chart(market, [&](int slot, emu::Chart& chart) {
        emu::append_bar(chart, next_bar(market.walks[static_cast<std::size_t>(slot)], time));
    });
    ++market.next_bar;
    set_clock_inside_last_bar(market);
}

void trade_on_last_bar(SyntheticMarket& market) {
    emu::Chart& chart = emu::study_chart(*market.host);
    if (chart.times.empty()) return;
    PriceWalk& walk = market.walks[slot_es];
    const std::size_t last = chart.times.size() - 1;
    const float price = static_cast<float>(walk.price + next_unit(walk.state) * walk.scale);
    chart.close[last] = price;
    chart.high[last] = std::max(chart.high[last], price);
    chart.low[last] = std::min(chart.low[last], price);
    chart.volume[last] += 1.0f;
    chart.ask_volume[last] += 1.0f;
}

StudyState* study_state(const SyntheticMarket& market) {
    const auto it = market.host->study.pointers.find(state_pointer_key);
    return it == market.host->study.pointers.end() ? nullptr : static_cast<StudyState*>(it->second);
}

MarketMark mark_market(const SyntheticMarket& market) {
    MarketMark mark;
    mark.bars = chart_bars(market);
    mark.next_bar = market.next_bar;
    mark.walks = market.walks;
    if (const StudyState* state = study_state(market)) mark.state = *state;
    return mark;
}

void rewind_market(SyntheticMarket& market, const MarketMark& mark) {
    const auto bars = static_cast<std::size_t>(mark.bars);
    for_each_chart(market, [&](int, emu::Chart& chart) {
        chart.times.resize(bars);
        for (auto* values : {&chart.open, &chart.high, &chart.low, &chart.close, &chart.volume, &chart.bid_volume,
                             &chart.ask_volume}) {
            values->resize(bars);
        }
    });
    market.next_bar = mark.next_bar;
    market.walks = mark.walks;
    if (StudyState* state = study_state(market)) *state = mark.state;
    set_clock_inside_last_bar(market);
}

void full_recalculation(SyntheticMarket& market) { emu::call_study(*market.host, emu::CallKind::full); }

void ordinary_update(SyntheticMarket& market, std::int32_t first_changed_bar) {
    emu::call_study(*market.host, emu::CallKind::update, first_changed_bar);
}

}  // namespace kmi::bench
