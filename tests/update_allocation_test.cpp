// Heap blocks per call: an ordinary update allocates a fixed set of blocks (the panel's
// texts and the host requests), the same whatever the length of the history and however
// many closed bars it folds in, and frees every one of them before it ends. Counted by
// the process heap layer, which the study and our host share in this program.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "host/process_heap.h"
#include "settings/source_slots.h"
#include "study_host.h"

namespace kmi::test {
namespace {

constexpr HostDateTime minute_us = 60000000;

// Blocks allocated and freed by one call.
struct Blocks {
    std::int64_t allocated = 0;
    std::int64_t freed = 0;
};

template <typename Call>
Blocks count_blocks(Call call) {
    const std::int64_t allocated = heap_allocation_count();
    const std::int64_t freed = heap_free_count();
    call();
    return Blocks{heap_allocation_count() - allocated, heap_free_count() - freed};
}

// The study on a 1-minute ES chart of `bars` bars whose last bar starts on Wednesday at
// 12:00, the eight other sources opened by their default symbols with bars at the same
// minutes, fully recalculated. Histories of any length end on the same minute, so the
// panel has the same lines to show; histories compared with each other both reach back
// into earlier sessions, since a known previous close adds the VIX change to its line.
struct MarketWithHistory {
    StudyHost study;
    std::int32_t bars;

    static HostDateTime first_bar(int history) { return at(2026, 12, 9, 12, 0) - (history - 1) * minute_us; }

    explicit MarketWithHistory(int history)
        : study(chart_with_bars(1, "ESZ26.CME", 60, first_bar(history), history)), bars(history) {
        for (int slot = 0; slot < source_slot_count; ++slot) {
            if (slot == slot_es) continue;
            const char* symbol = source_labels[static_cast<std::size_t>(slot)].default_symbol;
            study->symbol_library[symbol] = chart_with_bars(0, symbol, 60, first_bar(history), history);
        }
        study.defaults();
        set_clock_inside_last_bar();
        study.full();
    }

    void set_clock_inside_last_bar() { study->now = emu::study_chart(*study).times.back() + 20 * 1000000; }

    // One new bar on every chart: the forming bar closes.
    void append_bar_everywhere() {
        const HostDateTime time = emu::study_chart(*study).times.back() + minute_us;
        const auto price = static_cast<float>(100 + bars);
        const emu::Bar bar{time, price, price + 1.0f, price - 1.0f, price + 0.5f, 10.0f, 4.0f, 6.0f};
        for (auto& [number, chart] : study->charts) emu::append_bar(chart, bar);
        ++bars;
        set_clock_inside_last_bar();
    }

    // A new trade on the forming bar.
    Blocks trade_update() {
        emu::Chart& chart = emu::study_chart(*study);
        chart.close.back() += 0.25f;
        chart.volume.back() += 1.0f;
        return count_blocks([&] { study.update(bars - 1); });
    }

    // `count` new closed bars folded in by one update.
    Blocks closed_bars_update(int count) {
        const std::int32_t forming = bars - 1;
        for (int i = 0; i < count; ++i) append_bar_everywhere();
        return count_blocks([&] { study.update(forming); });
    }

    std::int32_t last_closed_bar() { return study.state()->last_closed_bar; }
};

TEST(UpdateAllocations, ATradeUpdateAllocatesTheSameBlocksWhateverTheHistoryLength) {
    MarketWithHistory short_history(2000);  // from Tuesday 02:41; the long one from a week earlier
    MarketWithHistory long_history(2000 + 7 * 1440);
    const Blocks short_blocks = short_history.trade_update();
    const Blocks long_blocks = long_history.trade_update();
    EXPECT_GT(short_blocks.allocated, 0) << "the panel's texts are heap blocks";
    EXPECT_EQ(long_blocks.allocated, short_blocks.allocated);
    EXPECT_EQ(long_blocks.freed, short_blocks.freed);
    EXPECT_EQ(long_history.last_closed_bar(), 2000 + 7 * 1440 - 2) << "the update stayed an ordinary update";
}

TEST(UpdateAllocations, ClosedBarsFoldedInAllocateNothingPerBar) {
    MarketWithHistory market(500);
    const Blocks one_bar = market.closed_bars_update(1);
    const Blocks many_bars = market.closed_bars_update(120);
    EXPECT_EQ(market.last_closed_bar(), 500 + 121 - 2) << "both updates folded their bars in without a rebuild";
    EXPECT_EQ(many_bars.allocated, one_bar.allocated);
    EXPECT_EQ(many_bars.freed, one_bar.freed);
}

TEST(UpdateAllocations, AnUpdateFreesEveryBlockItAllocatedBeforeItEnds) {
    MarketWithHistory market(300);
    const Blocks trade = market.trade_update();
    EXPECT_EQ(trade.freed, trade.allocated);
    const Blocks closed = market.closed_bars_update(3);
    EXPECT_EQ(closed.freed, closed.allocated);
}

TEST(UpdateAllocations, ARebuildAllocatesTheSameBlocksWhateverTheHistoryLength) {
    MarketWithHistory short_history(2000);
    MarketWithHistory long_history(2000 + 7 * 1440);
    const Blocks short_blocks = count_blocks([&] { short_history.study.full(); });
    const Blocks long_blocks = count_blocks([&] { long_history.study.full(); });
    EXPECT_EQ(long_blocks.allocated, short_blocks.allocated);
    EXPECT_EQ(long_blocks.freed, short_blocks.freed);
}

}  // namespace
}  // namespace kmi::test
