// A deterministic synthetic market for the benchmarks: a 1-minute chart carrying the
// study (ESZ26.CME, which the ES slot reads as this chart) and the eight other sources
// opened by their default symbols, all with 1-minute bars at the same times, every minute
// of every weekday. Prices are seeded random walks, so every run sees the same bars.
#ifndef KMI_BENCH_SYNTHETIC_MARKET_H
#define KMI_BENCH_SYNTHETIC_MARKET_H

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "kmi_host/host_core/host_core.h"
#include "settings/source_slots.h"
#include "study/study_state.h"

namespace kmi::bench {

// One source's random walk: a xorshift state and the current price.
struct PriceWalk {
    std::uint64_t state = 0;
    double price = 0.0;
    double base = 0.0;
    double scale = 0.0;
    bool oscillating = false;  // the TICK swings around its base instead of wandering off
};

struct SyntheticMarket {
    std::unique_ptr<emu::Host> host;
    // The chart behind each slot, inside host->charts (the ES slot is the study's chart).
    std::array<emu::Chart*, source_slot_count> sources{};
    std::array<PriceWalk, source_slot_count> walks{};
    std::int64_t next_bar = 0;  // index of the next bar the generator makes
    // 20 series of chart bars beside the study's own, written by the memory-floor pass.
    std::array<std::vector<float>, 20> floor_series;
};

// A market of `bars` bars with the study attached, its defaults call made and one full
// recalculation done (which opens the eight other charts). Room for `spare_bars` more bars
// is reserved in every host array, so appending bars later never moves them.
std::unique_ptr<SyntheticMarket> make_market(std::int32_t bars, std::int32_t spare_bars);

// The last call and the host's own values freed; the market is empty afterwards.
void close_market(SyntheticMarket& market);

std::int32_t chart_bars(const SyntheticMarket& market);

// Room left in the reserved arrays.
std::int32_t spare_bars(const SyntheticMarket& market);

// One new bar on every chart: the chart's forming bar closes and a new one begins, and
// every source gains its bar of the same minute. The host's clock moves into the new bar.
void append_market_bar(SyntheticMarket& market);

// A new trade on the chart's forming bar: its close, high, low and volumes change.
void trade_on_last_bar(SyntheticMarket& market);

// A point to come back to: the bar counts, the generator and the study's persistent
// block. The block is a plain record of values, so putting it back as it was, with the
// bars appended since removed, leaves the study exactly where it stood: the same update
// can then be measured again and again on a history of the same length.
struct MarketMark {
    std::int32_t bars = 0;
    std::int64_t next_bar = 0;
    std::array<PriceWalk, source_slot_count> walks{};
    StudyState state;
};

MarketMark mark_market(const SyntheticMarket& market);
void rewind_market(SyntheticMarket& market, const MarketMark& mark);

// The study's persistent block, or null before the first call.
StudyState* study_state(const SyntheticMarket& market);

// The calls as the host makes them.
void full_recalculation(SyntheticMarket& market);
// An ordinary update at the right edge, starting at `first_changed_bar`.
void ordinary_update(SyntheticMarket& market, std::int32_t first_changed_bar);

}  // namespace kmi::bench

#endif
