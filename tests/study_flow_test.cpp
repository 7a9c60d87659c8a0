// The study function's dispatch, rebuild decision, persistent state lifecycle and panel
// line blocks, driven through our host.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "host/process_heap.h"
#include "panel/panel.h"
#include "settings/input_indices.h"
#include "study_host.h"

namespace kmi::test {
namespace {

const HostDateTime wednesday_0930 = at(2026, 12, 2, 9, 30);

std::vector<std::int32_t> deleted_lines(const emu::Host& host) {
    std::vector<std::int32_t> lines;
    for (const auto& [chart, line] : host.delete_requests) lines.push_back(line);
    return lines;
}

std::vector<std::int32_t> block_of(std::int32_t first, int count) {
    std::vector<std::int32_t> lines;
    for (int k = 0; k < count; ++k) lines.push_back(first + k);
    return lines;
}

void set_time_input(emu::Host& host, int index, double days) {
    HostInput& in = emu::input(host, index);
    in.type = kmi_input_time_of_day;
    set_input_double(in, days);
}

TEST(DefaultsCall, DeclaresOnlyAndNeverAsksForState) {
    StudyHost h(chart_with_bars(1, "ESZ26.CME", 60, wednesday_0930, 3));
    h.defaults();
    EXPECT_STREQ(h->study.study_name.data, "Keelwick Market Internals");
    EXPECT_EQ(h->persistent_pointer_requests, 0);
    EXPECT_FALSE(emu::state_is_set(*h));
    EXPECT_TRUE(h->delete_requests.empty());
    EXPECT_TRUE(h->log.empty());
}

TEST(OrdinaryCalls, AskTheHostForTheStateOnce) {
    StudyHost h(chart_with_bars(1, "ESZ26.CME", 60, wednesday_0930, 3));
    h.defaults();
    // A rebuild that makes the state, a rebuild and an update that find it, the last call.
    const std::function<void()> calls[] = {[&] { h.full(); }, [&] { h.full(); }, [&] { h.update(2); },
                                           [&] { h.last(); }};
    for (const auto& call : calls) {
        h->persistent_pointer_requests = 0;
        call();
        EXPECT_EQ(h->persistent_pointer_requests, 1);
    }
}

TEST(DefaultsCall, WinsOverTheLastCallFlag) {
    StudyHost h(chart_with_bars(1, "ESZ26.CME", 60, wednesday_0930, 3));
    h.full();
    ASSERT_NE(h.state(), nullptr);
    h->study_function = [](HostInterface* record) {
        record->is_last_call = 1;
        run_study_call(*record);
    };
    h.defaults();
    h->study_function = study_entry;
    EXPECT_STREQ(h->study.study_name.data, "Keelwick Market Internals");
    EXPECT_TRUE(h->delete_requests.empty());
    EXPECT_NE(h.state(), nullptr) << "a defaults call releases nothing";
}

TEST(LastCall, DeletesTheWholeLineBlockAndFreesTheState) {
    StudyHost h(chart_with_bars(1, "ESZ26.CME", 60, wednesday_0930, 3), 7);
    const std::int64_t allocations_before = heap_allocation_count() - heap_free_count();
    h.full();
    ASSERT_NE(h.state(), nullptr);
    h->delete_requests.clear();
    h.last();
    EXPECT_EQ(deleted_lines(*h), block_of((7 + 75200) * 1000, 16));
    for (const auto& [chart, line] : h->delete_requests) EXPECT_EQ(chart, 1);
    EXPECT_FALSE(emu::state_is_set(*h));
    EXPECT_EQ(heap_allocation_count() - heap_free_count(), allocations_before);
}

TEST(LastCall, WithoutAStateStillDeletesTheBlock) {
    StudyHost h(chart_with_bars(1, "ESZ26.CME", 60, wednesday_0930, 3));
    h.defaults();
    h.last();
    EXPECT_EQ(deleted_lines(*h), block_of(75200000, 16));
    EXPECT_FALSE(emu::state_is_set(*h));
}

TEST(LineBlock, StartsAtStudyIdPlus75200TimesAThousandAndWrapsInsteadOfOverflowing) {
    EXPECT_EQ(panel_line_base(0), 75200000);
    EXPECT_EQ(panel_line_base(7), 75207000);
    for (const std::int32_t id : {2147483647, -2147483647 - 1, 2147400000, -75200}) {
        const auto expected = static_cast<std::int32_t>((static_cast<std::uint32_t>(id) + 75200u) * 1000u);
        EXPECT_EQ(panel_line_base(id), expected) << id;
    }
    EXPECT_EQ(panel_line_number(2147483647, 1), -2147483647 - 1);
}

TEST(FirstCall, CreatesTheStateWithItsInitialValues) {
    StudyHost h(chart_with_bars(1, "ESZ26.CME", 60, wednesday_0930, 1));
    h.defaults();
    h.full();
    const StudyState* state = h.state();
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(state->session_window.start_second, 34200);
    EXPECT_EQ(state->session_window.end_second, 57600);
    EXPECT_EQ(state->upper_threshold, 1000.0);
    EXPECT_EQ(state->lower_threshold, -1000.0);
    EXPECT_EQ(state->last_closed_bar, -1) << "a single bar is the forming bar";
    EXPECT_EQ(state->panel_line_count, 8) << "title, four readings, ES vs NQ and the two chart lines";
    for (const SourceSession& source : state->sources) EXPECT_EQ(source.session_day, -1);
    EXPECT_EQ(state->chart_flow.session_day, -1);
}

TEST(FirstCall, ThatIsNotARebuildKeepsTheCreationWindowUntilTheNextRebuild) {
    StudyHost h(chart_with_bars(1, "ESZ26.CME", 60, wednesday_0930, 10));
    h.defaults();
    set_time_input(*h, input_rth_start, 10.0 / 24.0);
    h.update(5);
    const StudyState* state = h.state();
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(state->session_window.start_second, 34200);
    EXPECT_EQ(state->last_closed_bar, 8) << "every closed bar from 0 is walked";
    h.update(3);  // reaches back into walked bars: a rebuild
    EXPECT_EQ(h.state()->session_window.start_second, 36000);
}

TEST(Rebuild, ReadsTheWindowAndThresholdsFromTheInputs) {
    StudyHost h(chart_with_bars(1, "ESZ26.CME", 60, wednesday_0930, 10));
    h.defaults();
    set_time_input(*h, input_rth_start, 10.0 / 24.0);
    set_time_input(*h, input_rth_end, 15.0 / 24.0);
    set_input_float(emu::input(*h, input_tick_upper_threshold), 800.0f);
    set_input_float(emu::input(*h, input_tick_lower_threshold), -700.5f);
    h.full();
    const StudyState* state = h.state();
    EXPECT_EQ(state->session_window.start_second, 36000);
    EXPECT_EQ(state->session_window.end_second, 54000);
    EXPECT_EQ(state->upper_threshold, 800.0);
    EXPECT_EQ(state->lower_threshold, -700.5);
    EXPECT_EQ(state->last_closed_bar, 8);
}

TEST(Rebuild, OnlyStartsAtTheFirstBarOrAtABarAlreadyWalked) {
    StudyHost h(chart_with_bars(1, "ESZ26.CME", 60, wednesday_0930, 10));
    h.defaults();
    h.full();
    ASSERT_EQ(h.state()->last_closed_bar, 8);
    set_time_input(*h, input_rth_start, 11.0 / 24.0);

    // Updates at the right edge keep the stored window: a changed input waits.
    h.update(9);
    EXPECT_EQ(h.state()->session_window.start_second, 34200);
    emu::append_bar(emu::study_chart(*h), emu::Bar{wednesday_0930 + 10 * 60000000LL, 1, 2, 0, 1, 1, 0, 0});
    h.update(9);
    EXPECT_EQ(h.state()->session_window.start_second, 34200);
    EXPECT_EQ(h.state()->last_closed_bar, 9) << "the newly closed bar is walked";

    // Reaching back to the last walked bar rebuilds.
    h.update(9);
    EXPECT_EQ(h.state()->session_window.start_second, 39600);
    EXPECT_EQ(h.state()->last_closed_bar, 9);
}

TEST(Rebuild, EveryCallWithStartIndexZeroRebuilds) {
    StudyHost h(chart_with_bars(1, "ESZ26.CME", 60, wednesday_0930, 4));
    h.defaults();
    h.full();
    set_time_input(*h, input_rth_start, 12.0 / 24.0);
    h.full();
    EXPECT_EQ(h.state()->session_window.start_second, 43200);
    set_time_input(*h, input_rth_start, 13.0 / 24.0);
    h.full();
    EXPECT_EQ(h.state()->session_window.start_second, 46800);
}

TEST(StateMemory, ANoMemoryCallEndsQuietlyAndTheNextCallTriesAgain) {
    StudyHost h(chart_with_bars(1, "ESZ26.CME", 60, wednesday_0930, 3));
    h.defaults();
    heap_fail_next(1);
    h.full();
    heap_fail_next(0);
    EXPECT_FALSE(emu::state_is_set(*h));
    EXPECT_TRUE(h->log.empty());
    h.full();
    EXPECT_TRUE(emu::state_is_set(*h));
}

TEST(Panel, OffOrNoBarsDeletesThePreviousLinesOnce) {
    StudyHost h(chart_with_bars(1, "ESZ26.CME", 60, wednesday_0930, 3), 2);
    h.defaults();
    h.full();
    h.state()->panel_line_count = 3;
    set_input_uint32(emu::input(*h, input_show_panel), 0);
    h->delete_requests.clear();
    h.update(2);
    EXPECT_EQ(deleted_lines(*h), block_of(75202000, 3));
    EXPECT_EQ(h.state()->panel_line_count, 0);
    h.update(2);
    EXPECT_EQ(deleted_lines(*h).size(), 3u) << "nothing more to delete";

    set_input_uint32(emu::input(*h, input_show_panel), 1);
    h.state()->panel_line_count = 2;
    emu::set_bars(emu::study_chart(*h), {});
    h->delete_requests.clear();
    h.full();
    EXPECT_EQ(deleted_lines(*h), block_of(75202000, 2)) << "a chart without bars removes the panel";
    EXPECT_EQ(h.state()->panel_line_count, 0);
}

}  // namespace
}  // namespace kmi::test
