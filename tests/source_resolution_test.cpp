// Binding the nine source slots: by chart number, by this chart's symbol, or by one
// open_chart request per slot, checked field by field as our host received it.
#include <gtest/gtest.h>

#include <cstdint>

#include "host/process_heap.h"
#include "settings/input_indices.h"
#include "source_test_builders.h"
#include "study_host.h"

namespace kmi::test {
namespace {

const HostDateTime wednesday_0930 = at(2026, 12, 2, 9, 30);

// The study on chart 1 with every source slot off; `symbol` is this chart's symbol.
struct ResolutionHost : StudyHost {
    explicit ResolutionHost(const char* symbol = "ESZ26.CME")
        : StudyHost(chart_with_bars(1, symbol, 60, wednesday_0930, 5)) {
        defaults();
        clear_source_inputs(**this);
    }
    void offer(const char* symbol) { host->symbol_library[symbol] = evenly_spaced(0, symbol, 60, wednesday_0930, 3); }
    std::int32_t remembered(int slot) { return host->study.ints[remembered_chart_key(slot)]; }
};

bool all_zero(const unsigned char* bytes, std::size_t size) {
    for (std::size_t k = 0; k < size; ++k) {
        if (bytes[k] != 0) return false;
    }
    return true;
}

TEST(SourceResolution, OpenRequestCarriesEveryFieldAtItsPlace) {
    ResolutionHost h;
    emu::study_chart(*h).session_times = HostSessionTimes{{0.25, 0.5, 0.75, 1.5}, {7, 8, 9}};
    emu::study_chart(*h).time_zone = "Europe/London";
    set_input_int32(emu::input(*h, input_opened_chart_bar_seconds), 30);
    h.offer("TICK-NYSE");
    set_source_symbol(*h, slot_tick, "TICK-NYSE");
    h.full();

    ASSERT_EQ(h->open_requests.size(), 1u);
    const emu::OpenChartRecord& got = h->open_requests[0];
    const ChartOpenRequest& r = got.request;
    EXPECT_EQ(r.request_code, 5);
    EXPECT_EQ(r.remembered_chart_number, 0);
    EXPECT_EQ(r.request_kind, 2);
    EXPECT_EQ(got.symbol, "TICK-NYSE");
    EXPECT_EQ(r.value_at_40, 0);
    EXPECT_EQ(r.bar_seconds, 30);
    EXPECT_EQ(r.session_times[0], 0.25);
    EXPECT_EQ(r.session_times[1], 0.5);
    EXPECT_EQ(r.session_times[2], 0.75);
    EXPECT_EQ(r.session_times[3], 1.5);
    EXPECT_TRUE(all_zero(r.zero_80, sizeof r.zero_80));
    EXPECT_EQ(r.value_at_96, 1);
    EXPECT_EQ(r.value_at_100, 0);
    EXPECT_EQ(r.value_at_104, 0);
    EXPECT_EQ(r.session_value_3, 9) << "the third 32-bit session value";
    EXPECT_EQ(r.value_at_112, 1);
    EXPECT_EQ(r.session_value_1, 7) << "the first 32-bit session value";
    EXPECT_EQ(r.hide_chart, 1) << "input 20 defaults to yes";
    EXPECT_EQ(r.value_at_124, 0);
    EXPECT_TRUE(all_zero(r.zero_126, sizeof r.zero_126));
    EXPECT_EQ(r.value_at_130, 0);
    EXPECT_EQ(got.time_zone, "Europe/London");
    EXPECT_EQ(r.value_at_160, 0);

    EXPECT_EQ(got.result, 2);
    EXPECT_EQ(h.state()->source_bindings.chart_numbers[slot_tick], 2);
    EXPECT_FALSE(h.state()->source_bindings.is_this_chart[slot_tick]);
    EXPECT_EQ(h.remembered(slot_tick), 2);
}

TEST(SourceResolution, OpenRequestWithoutSessionTimesCarriesZerosAndOnes) {
    ResolutionHost h;
    set_input_uint32(emu::input(*h, input_hide_opened_charts), 0);
    h.offer("NISS-NYSE");
    set_source_symbol(*h, slot_add, "NISS-NYSE");
    h.full();

    ASSERT_EQ(h->open_requests.size(), 1u);
    const ChartOpenRequest& r = h->open_requests[0].request;
    for (double t : r.session_times) EXPECT_EQ(t, 0.0);
    EXPECT_EQ(r.session_value_3, 1);
    EXPECT_EQ(r.session_value_1, 1);
    EXPECT_EQ(r.hide_chart, 0);
    EXPECT_EQ(r.bar_seconds, 60) << "input 10's default";
    EXPECT_EQ(h->open_requests[0].time_zone, "America/New_York");
}

TEST(SourceResolution, EachSlotRequestsOnceAndLaterRequestsRememberItsChart) {
    ResolutionHost h;
    h.offer("TICK-NYSE");
    h.offer("NQZ26.CME");
    set_source_symbol(*h, slot_tick, "TICK-NYSE");
    set_source_symbol(*h, slot_nq, "NQZ26.CME");
    h.full();
    ASSERT_EQ(h->open_requests.size(), 2u);
    EXPECT_EQ(h->open_requests[0].symbol, "TICK-NYSE");
    EXPECT_EQ(h->open_requests[1].symbol, "NQZ26.CME");
    EXPECT_EQ(h.remembered(slot_tick), 2);
    EXPECT_EQ(h.remembered(slot_nq), 3);

    h.full();
    ASSERT_EQ(h->open_requests.size(), 4u);
    EXPECT_EQ(h->open_requests[2].request.remembered_chart_number, 2);
    EXPECT_EQ(h->open_requests[3].request.remembered_chart_number, 3);
    EXPECT_EQ(h->charts.size(), 3u) << "the host found the remembered charts again";
    EXPECT_EQ(h.state()->source_bindings.chart_numbers[slot_tick], 2);
    EXPECT_EQ(h.state()->source_bindings.chart_numbers[slot_nq], 3);
}

TEST(SourceResolution, SymbolOfThisChartMatchesIgnoringAsciiCaseOnly) {
    ResolutionHost h("TICK-NYSE");
    h.offer("TICK-NYSE2");
    h.offer("TICK-NYS");
    set_source_symbol(*h, slot_tick, "tick-nyse");
    set_source_symbol(*h, slot_add, "TICK-NYSE2");  // this chart's symbol is a prefix
    set_source_symbol(*h, slot_vold, "TICK-NYS");   // a prefix of this chart's symbol
    h.full();

    EXPECT_EQ(h.state()->source_bindings.chart_numbers[slot_tick], 1);
    EXPECT_TRUE(h.state()->source_bindings.is_this_chart[slot_tick]);
    ASSERT_EQ(h->open_requests.size(), 2u) << "no request for the slot on this chart";
    EXPECT_EQ(h->open_requests[0].symbol, "TICK-NYSE2");
    EXPECT_EQ(h->open_requests[1].symbol, "TICK-NYS");
    EXPECT_FALSE(h.state()->source_bindings.is_this_chart[slot_add]);
    EXPECT_FALSE(h.state()->source_bindings.is_this_chart[slot_vold]);
}

TEST(SourceResolution, SymbolDifferingOnlyBeyondAsciiLettersIsAnotherSymbol) {
    ResolutionHost h("CAF\xc9");
    set_source_symbol(*h, slot_tick, "caf\xe9");  // only a to z are upper-cased
    h.full();
    ASSERT_EQ(h->open_requests.size(), 1u);
    EXPECT_EQ(h.state()->source_bindings.chart_numbers[slot_tick], 0);
}

TEST(SourceResolution, ShorterSymbolOnLongerChartSymbolIsRequested) {
    ResolutionHost h("TICK-NYSE2");
    h.offer("TICK-NYSE");
    set_source_symbol(*h, slot_tick, "TICK-NYSE");
    h.full();
    ASSERT_EQ(h->open_requests.size(), 1u);
    EXPECT_EQ(h.state()->source_bindings.chart_numbers[slot_tick], 2);
}

TEST(SourceResolution, ChartNumberInputWinsWithoutLookingAtTheSymbol) {
    ResolutionHost h("TICK-NYSE");
    h.offer("TICK-NYSE");
    h->study.ints[remembered_chart_key(slot_add)] = 4;
    set_source_chart(*h, slot_tick, 7);  // empty symbol
    set_source_symbol(*h, slot_add, "TICK-NYSE");
    set_source_chart(*h, slot_add, 7);
    set_source_symbol(*h, slot_vold, "anything");
    set_source_chart(*h, slot_vold, 1);  // this chart by number
    h.full();

    EXPECT_TRUE(h->open_requests.empty());
    EXPECT_EQ(h.state()->source_bindings.chart_numbers[slot_tick], 7);
    EXPECT_EQ(h.state()->source_bindings.chart_numbers[slot_add], 7);
    EXPECT_FALSE(h.state()->source_bindings.is_this_chart[slot_add]);
    EXPECT_EQ(h.remembered(slot_add), 4);
    EXPECT_EQ(h.state()->source_bindings.chart_numbers[slot_vold], 1);
    EXPECT_TRUE(h.state()->source_bindings.is_this_chart[slot_vold]);
}

TEST(SourceResolution, EmptySymbolIsOffWithoutRequestAndKeepsTheRememberedChart) {
    ResolutionHost h;
    h->study.ints[remembered_chart_key(slot_tick)] = 5;
    h.full();
    EXPECT_TRUE(h->open_requests.empty());
    for (int slot = 0; slot < source_slot_count; ++slot) {
        EXPECT_EQ(h.state()->source_bindings.chart_numbers[static_cast<std::size_t>(slot)], 0);
        EXPECT_FALSE(h.state()->source_bindings.is_this_chart[static_cast<std::size_t>(slot)]);
    }
    EXPECT_EQ(h.remembered(slot_tick), 5);
}

TEST(SourceResolution, FailedOpenLeavesTheSlotOffAndTheLastChartRemembered) {
    ResolutionHost h;
    for (std::int32_t n = 2; n <= 11; ++n) h->charts[n] = emu::make_chart(n, "OTHER", 60);
    h.offer("TICK-NYSE");
    set_source_symbol(*h, slot_tick, "TICK-NYSE");
    h.full();
    ASSERT_EQ(h.state()->source_bindings.chart_numbers[slot_tick], 12);

    h->symbol_library.clear();  // the host cannot serve the symbol any more
    h->charts.erase(12);
    h.full();
    ASSERT_EQ(h->open_requests.size(), 2u);
    EXPECT_EQ(h->open_requests[1].result, 0);
    EXPECT_EQ(h.state()->source_bindings.chart_numbers[slot_tick], 0);
    EXPECT_EQ(h.remembered(slot_tick), 12);

    h.full();
    ASSERT_EQ(h->open_requests.size(), 3u);
    EXPECT_EQ(h->open_requests[2].request.remembered_chart_number, 12);
}

TEST(SourceResolution, OnlyCallsThatRebuildResolve) {
    ResolutionHost h;
    h.offer("TICK-NYSE");
    set_source_symbol(*h, slot_tick, "TICK-NYSE");
    h.full();
    ASSERT_EQ(h->open_requests.size(), 1u);
    set_source_symbol(*h, slot_tick, "");  // inputs changed since: applied only by the next resolution

    h.update(4);  // an ordinary update at the right edge
    EXPECT_EQ(h->open_requests.size(), 1u);
    EXPECT_EQ(h.state()->source_bindings.chart_numbers[slot_tick], 2);

    h.update(2);  // reaches back into walked bars
    EXPECT_EQ(h.state()->source_bindings.chart_numbers[slot_tick], 0);
}

TEST(SourceResolution, HostWithoutOperationsLeavesSymbolSlotsOff) {
    ResolutionHost h;
    h.offer("TICK-NYSE");
    set_source_symbol(*h, slot_tick, "TICK-NYSE");
    set_source_chart(*h, slot_add, 3);
    h->study_function = [](HostInterface* record) {
        record->open_chart = nullptr;
        record->persistent_int = nullptr;
        record->get_session_times = nullptr;
        record->get_time_zone_text = nullptr;
        record->get_chart_base_data = nullptr;
        record->get_chart_bar_datetimes = nullptr;
        record->get_bar_period = nullptr;
        run_study_call(*record);
    };
    h.full();
    h->study_function = study_entry;
    EXPECT_EQ(h.state()->source_bindings.chart_numbers[slot_tick], 0);
    EXPECT_EQ(h.state()->source_bindings.chart_numbers[slot_add], 3);
    EXPECT_EQ(h.state()->sources[slot_add].next_bar, 0) << "a chart the host gives no arrays for has no bars";
}

TEST(SourceResolution, RequestTextsAndTheTimeZoneTextAreReleased) {
    ResolutionHost h;
    h.offer("TICK-NYSE");
    set_source_symbol(*h, slot_tick, "TICK-NYSE");
    set_source_symbol(*h, slot_vix, "NOT-OFFERED");
    h.full();
    const std::int64_t allocated = heap_allocation_count();
    const std::int64_t freed = heap_free_count();
    h.full();
    ASSERT_EQ(h->open_requests.size(), 4u);
    EXPECT_GT(heap_allocation_count(), allocated);
    EXPECT_EQ(heap_allocation_count() - allocated, heap_free_count() - freed);
}

}  // namespace
}  // namespace kmi::test
