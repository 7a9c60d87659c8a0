// The defaults call's declarations: the study's name and description, the host settings,
// the 20 output series and the inputs 0 to 20 and 30 to 47.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host/host_interface.h"
#include "host/host_text.h"
#include "host/process_heap.h"
#include "kmi_host/host_core/host_core.h"
#include "settings/declare_defaults.h"
#include "settings/input_readers.h"
#include "study/study_call.h"

namespace {

namespace emu = kmi::emu;

constexpr char expected_description[] =
    "Context dashboard: NYSE $TICK, $ADD, $VOLD, VIX and its term structure, ES against NQ, and optionally this "
    "chart's cumulative delta and VWAP. Every symbol is an input. Context only: internals agreement was screened "
    "and showed no tradable edge after costs. Places no orders.";

constexpr const char* expected_series_names[20] = {"TICK",
                                                   "TICK Session High",
                                                   "TICK Session Low",
                                                   "TICK Bars At/Above Upper",
                                                   "TICK Bars At/Below Lower",
                                                   "TICK Session Average",
                                                   "ADD",
                                                   "ADD Change Since Open",
                                                   "ADD Slope Per Hour",
                                                   "VOLD",
                                                   "Up/Down Volume Ratio",
                                                   "VIX",
                                                   "VIX Change %",
                                                   "Term Structure Front/Back",
                                                   "ES % Since Open",
                                                   "NQ % Since Open",
                                                   "ES minus NQ %",
                                                   "Cumulative Delta (RTH)",
                                                   "VWAP (RTH)",
                                                   "Close minus VWAP"};

struct SourceRow {
    const char* label;
    const char* symbol;
};
constexpr SourceRow expected_sources[9] = {
    {"NYSE $TICK", "TICK-NYSE"},
    {"NYSE $ADD (net advancing issues)", "NISS-NYSE"},
    {"NYSE $VOLD (up minus down volume)", "NVOL-NYSE"},
    {"NYSE Up/Down Volume Ratio", "UDVR-NYSE"},
    {"VIX", "VIX_CGI"},
    {"Term Structure Front (VIX or VX1)", "VXV26-CFE"},
    {"Term Structure Back (VIX3M or VX2)", "VXX26-CFE"},
    {"ES", "ESZ26.CME"},
    {"NQ", "NQZ26.CME"},
};

constexpr std::int32_t untouched_int = 0x5A5A5A5A;

std::string chars(const HostText& t) { return kmi::text_chars(t); }

void run_study(HostInterface* record) { kmi::run_study_call(*record); }

// A host with one chart carrying the study; every input's limits hold a marker before
// the defaults call so that limits the study must not set can be seen untouched.
class DeclareDefaultsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        kmi::heap_fail_next(0);
        allocations_at_start_ = kmi::heap_allocation_count();
        frees_at_start_ = kmi::heap_free_count();
        host_ = emu::make_host(run_study, emu::make_chart(1, "ESZ26.CME", 60));
        for (int i = 0; i < emu::host_input_count; ++i)
            set_input_int_limits(emu::input(*host_, i), untouched_int, untouched_int);
    }
    void TearDown() override {
        kmi::heap_fail_next(0);
        if (host_) emu::destroy_host_values(*host_);
        EXPECT_EQ(kmi::heap_allocation_count() - allocations_at_start_, kmi::heap_free_count() - frees_at_start_)
            << "heap blocks leaked or freed twice";
    }
    void call_defaults() { ASSERT_TRUE(emu::call_study(*host_, emu::CallKind::defaults)); }
    HostInput& input(int i) { return emu::input(*host_, i); }

    std::unique_ptr<emu::Host> host_;
    std::int64_t allocations_at_start_ = 0;
    std::int64_t frees_at_start_ = 0;
};

TEST_F(DeclareDefaultsTest, NameDescriptionAndHostSettings) {
    call_defaults();
    EXPECT_EQ(chars(host_->study.study_name), "Keelwick Market Internals");
    EXPECT_EQ(chars(host_->study.study_name), kmi::study_display_name);
    EXPECT_EQ(chars(host_->study.study_description), expected_description);
    EXPECT_EQ(chars(host_->study.study_description).size(), 273u);
    EXPECT_EQ(host_->study.study_region, 0);
    EXPECT_EQ(host_->study.host_settings[0], 1);
    EXPECT_EQ(host_->study.host_settings[1], 2);
    EXPECT_EQ(host_->study.host_settings[2], 2);
    EXPECT_EQ(host_->study.host_settings[3], 0);
}

TEST_F(DeclareDefaultsTest, TwentyOutputSeriesWithOnePresentation) {
    call_defaults();
    ASSERT_EQ(host_->study.outputs.size(), 20u);
    for (int i = 0; i < 20; ++i) {
        const HostOutputSeries& s = host_->study.outputs[static_cast<std::size_t>(i)];
        EXPECT_EQ(chars(s.name), expected_series_names[i]) << i;
        EXPECT_EQ(s.colour, 15116800u) << i;
        EXPECT_EQ(s.colour, 0x00E6AA00u) << i;  // R 0, G 170, B 230
        EXPECT_EQ(s.presentation_code, 5) << i;
        EXPECT_EQ(s.presentation_value, 1) << i;
        EXPECT_EQ(s.presentation_flag, 1) << i;
    }
}

TEST_F(DeclareDefaultsTest, InputsZeroToTwenty) {
    call_defaults();
    struct Expected {
        int index;
        const char* name;
        int type;
    };
    const Expected table[] = {
        {0, "Show Panel", 5},
        {1, "Panel Position", 22},
        {2, "Panel Font Size", 11},
        {3, "Panel Background Color", 14},
        {4, "Positive Reading Color", 14},
        {5, "Neutral Reading Color", 14},
        {6, "Negative Reading Color", 14},
        {7, "Stale / No Data Color", 14},
        {8, "RTH Start Time (chart time zone)", 9},
        {9, "RTH End Time (a bar starting at this time is not RTH)", 9},
        {10, "Bar Seconds for Charts the Study Opens", 11},
        {11, "Flag a Symbol as Stale After Minutes Without Data (RTH)", 11},
        {12, "TICK Upper Threshold", 2},
        {13, "TICK Lower Threshold", 2},
        {14, "TICK Colour: Session Average Beyond +/-", 2},
        {15, "ADD Colour: Value Beyond +/-", 2},
        {16, "VOLD Colour: Up/Down Ratio At or Beyond (and 1/x)", 2},
        {17, "VIX Colour: % Change Beyond +/-", 2},
        {18, "Show This Chart's Cumulative Delta and VWAP", 5},
        {19, "Show ES vs NQ Relative Strength", 5},
        {20, "Hide the Charts the Study Opens", 5},
    };
    for (const Expected& e : table) {
        EXPECT_EQ(chars(input(e.index).name), e.name) << e.index;
        EXPECT_EQ(input(e.index).type, e.type) << e.index;
    }

    for (const int i : {0, 18, 19, 20}) {
        EXPECT_EQ(input_int32(input(i)), 1) << i;
        EXPECT_TRUE(kmi::read_yes_no(input(i))) << i;
    }
    EXPECT_EQ(input_int32(input(1)), 1);  // Top right
    EXPECT_EQ(kmi::read_int(input(1)), 1);
    EXPECT_EQ(host_->study.list_items[1], "Top left;Top right;Bottom left;Bottom right");

    EXPECT_EQ(kmi::read_int(input(2)), 9);
    EXPECT_EQ(kmi::read_colour(input(3)), 2104348u);
    EXPECT_EQ(kmi::read_colour(input(3)), (32u << 16) | (28u << 8) | 28u);
    EXPECT_EQ(kmi::read_colour(input(4)), 7260230u);
    EXPECT_EQ(kmi::read_colour(input(4)), (110u << 16) | (200u << 8) | 70u);
    EXPECT_EQ(kmi::read_colour(input(5)), 13816530u);
    EXPECT_EQ(kmi::read_colour(input(6)), 5921515u);
    EXPECT_EQ(kmi::read_colour(input(6)), (90u << 16) | (90u << 8) | 235u);
    EXPECT_EQ(kmi::read_colour(input(7)), 7895160u);

    EXPECT_EQ(input_double(input(8)), 34200.0 / 86400.0);
    EXPECT_EQ(input_double(input(9)), 57600.0 / 86400.0);
    EXPECT_EQ(kmi::read_time_of_day(input(8)), 34200);
    EXPECT_EQ(kmi::read_time_of_day(input(9)), 57600);

    EXPECT_EQ(kmi::read_int(input(10)), 60);
    EXPECT_EQ(kmi::read_int(input(11)), 5);
    EXPECT_EQ(input_float(input(12)), 1000.0f);
    EXPECT_EQ(input_float(input(13)), -1000.0f);
    EXPECT_EQ(input_float(input(14)), 100.0f);
    EXPECT_EQ(input_float(input(15)), 500.0f);
    EXPECT_EQ(input_float(input(16)), 1.5f);
    EXPECT_EQ(input_float(input(17)), 3.0f);
}

TEST_F(DeclareDefaultsTest, OnlyTheGivenLimitsAreSet) {
    call_defaults();
    EXPECT_EQ(input_minimum_int(input(2)), 5);
    EXPECT_EQ(input_maximum_int(input(2)), 30);
    EXPECT_EQ(input_minimum_int(input(10)), 1);
    EXPECT_EQ(input_maximum_int(input(10)), 3600);
    EXPECT_EQ(input_minimum_int(input(11)), 1);
    EXPECT_EQ(input_maximum_int(input(11)), 1440);
    EXPECT_EQ(input_minimum_float(input(14)), 0.0f);
    EXPECT_EQ(input_maximum_float(input(14)), 5000.0f);
    EXPECT_EQ(input_minimum_float(input(15)), 0.0f);
    EXPECT_EQ(input_maximum_float(input(15)), 100000.0f);
    EXPECT_EQ(input_minimum_float(input(16)), 1.01f);
    EXPECT_EQ(input_maximum_float(input(16)), 100.0f);
    EXPECT_EQ(input_minimum_float(input(17)), 0.0f);
    EXPECT_EQ(input_maximum_float(input(17)), 100.0f);
    // The thresholds, yes/no, list, colour and time inputs keep the host's limits.
    for (const int i : {0, 1, 3, 4, 5, 6, 7, 8, 9, 12, 13, 18, 19, 20}) {
        EXPECT_EQ(input_minimum_int(input(i)), untouched_int) << i;
        EXPECT_EQ(input_maximum_int(input(i)), untouched_int) << i;
    }
}

TEST_F(DeclareDefaultsTest, SourceInputsPerSlot) {
    call_defaults();
    for (int slot = 0; slot < 9; ++slot) {
        const SourceRow& row = expected_sources[slot];
        const HostInput& symbol = input(30 + 2 * slot);
        EXPECT_EQ(chars(symbol.name), std::string(row.label) + " Symbol (empty = off)") << slot;
        EXPECT_EQ(symbol.type, 26) << slot;
        EXPECT_EQ(input_text_owned(symbol), 1) << slot;
        EXPECT_STREQ(kmi::read_text(symbol), row.symbol) << slot;

        const HostInput& chart = input(31 + 2 * slot);
        EXPECT_EQ(chars(chart.name), std::string(row.label) + ": Read From Chart Number (0 = open by symbol)") << slot;
        EXPECT_EQ(chart.type, 11) << slot;
        EXPECT_EQ(kmi::read_int(chart), 0) << slot;
        EXPECT_EQ(input_minimum_int(chart), 0) << slot;
        EXPECT_EQ(input_maximum_int(chart), 10000) << slot;
    }
    EXPECT_EQ(chars(input(30).name), "NYSE $TICK Symbol (empty = off)");
    EXPECT_EQ(chars(input(31).name), "NYSE $TICK: Read From Chart Number (0 = open by symbol)");
    EXPECT_EQ(chars(input(44).name), "ES Symbol (empty = off)");
}

TEST_F(DeclareDefaultsTest, InputsOutsideTheTablesAreLeftAlone) {
    for (int i = 21; i < emu::host_input_count; ++i) {
        if (i >= 30 && i <= 47) continue;
        set_input_int32(input(i), 1234);
        input(i).type = 3;
    }
    call_defaults();
    for (int i = 21; i < emu::host_input_count; ++i) {
        if (i >= 30 && i <= 47) continue;
        EXPECT_EQ(input(i).type, 3) << i;
        EXPECT_EQ(input_int32(input(i)), 1234) << i;
        EXPECT_EQ(input(i).name.data, input(i).name.empty_text) << i;
        EXPECT_EQ(input(i).name.changed, 0) << i;
        EXPECT_EQ(input_minimum_int(input(i)), untouched_int) << i;
        EXPECT_TRUE(host_->study.list_items[static_cast<std::size_t>(i)].empty()) << i;
    }
}

TEST_F(DeclareDefaultsTest, SymbolTextsComeFromTheProcessHeapAndReplaceOwnedTexts) {
    // Slot 0 holds an owned text of code 27, slot 1 one of code 28, slot 2 a borrowed
    // text, slot 3 an integer whose bytes look like an owned text.
    auto heap_copy = [](const char* s) {
        auto* block = static_cast<char*>(kmi::heap_alloc(std::strlen(s) + 1));
        std::memcpy(block, s, std::strlen(s));
        return block;
    };
    char borrowed[] = "borrowed";
    char* not_a_text = heap_copy("int");
    input(30).type = 27;
    set_input_text(input(30), heap_copy("OLD1"), 1);
    input(32).type = 28;
    set_input_text(input(32), heap_copy("OLD2"), 1);
    input(34).type = 26;
    set_input_text(input(34), borrowed, 0);
    input(36).type = 11;
    set_input_text(input(36), not_a_text, 1);

    const std::int64_t frees_before = kmi::heap_free_count();
    const std::int64_t allocations_before = kmi::heap_allocation_count();
    call_defaults();
    EXPECT_EQ(kmi::heap_free_count() - frees_before, 2);  // the two owned texts, nothing else
    // 2 study texts, 20 series names, 21 input names, 18 source input names, 9 symbols.
    EXPECT_EQ(kmi::heap_allocation_count() - allocations_before, 70);
    EXPECT_STREQ(borrowed, "borrowed");
    for (int slot = 0; slot < 4; ++slot) {
        EXPECT_STREQ(kmi::read_text(input(30 + 2 * slot)), expected_sources[slot].symbol) << slot;
        EXPECT_NE(input_text(input(30 + 2 * slot)), borrowed) << slot;
    }
    kmi::heap_free(not_a_text);
}

TEST_F(DeclareDefaultsTest, ANumberDeclaredOverAnOwnedTextReleasesTheText) {
    // The host left owned texts in inputs that the study declares as numbers: overwriting
    // the pointer would lose the blocks.
    for (const int index : {0, 8, 12, 31}) {
        auto* block = static_cast<char*>(kmi::heap_alloc(4));
        std::memcpy(block, "abc", 4);
        input(index).type = 26;
        set_input_text(input(index), block, 1);
    }
    const std::int64_t frees_before = kmi::heap_free_count();
    call_defaults();
    EXPECT_EQ(kmi::heap_free_count() - frees_before, 4);
    EXPECT_EQ(input(0).type, kmi_input_yes_no);
    EXPECT_EQ(input_int32(input(0)), 1);
    EXPECT_EQ(kmi::read_time_of_day(input(8)), 34200);
    EXPECT_EQ(input_float(input(12)), 1000.0f);
    EXPECT_EQ(input(31).type, kmi_input_integer);
    EXPECT_EQ(input_int32(input(31)), 0);
}

TEST_F(DeclareDefaultsTest, ASecondDefaultsCallReplacesWhatTheFirstLeft) {
    call_defaults();
    const std::int64_t frees_before = kmi::heap_free_count();
    call_defaults();
    EXPECT_EQ(kmi::heap_free_count() - frees_before, 70);  // every name and symbol of the first call
    EXPECT_STREQ(kmi::read_text(input(46)), "NQZ26.CME");
    EXPECT_EQ(chars(input(0).name), "Show Panel");
}

TEST_F(DeclareDefaultsTest, WithoutHeapTheDeclarationsStillComplete) {
    kmi::heap_fail_next(1000);
    call_defaults();
    kmi::heap_fail_next(0);
    EXPECT_EQ(chars(host_->study.study_name), "");
    EXPECT_EQ(host_->study.study_name.changed, 1);
    for (int slot = 0; slot < 9; ++slot) {
        EXPECT_EQ(input(30 + 2 * slot).type, 26) << slot;
        EXPECT_STREQ(kmi::read_text(input(30 + 2 * slot)), "Unset") << slot;
        EXPECT_EQ(input(31 + 2 * slot).type, 11) << slot;
    }
    EXPECT_EQ(kmi::read_time_of_day(input(8)), 34200);
    EXPECT_EQ(host_->study.outputs[19].presentation_code, 5);
}

// A host record with its own list-items operation and fewer inputs and series than the
// study declares.
struct ListItemsProbe {
    HostInput* input = nullptr;
    int calls = 0;
    int type_at_call = -1;
    std::int32_t value_at_call = 0;
    std::string items;
};

void probe_list_items(void* context, const char* items) {
    auto* probe = static_cast<ListItemsProbe*>(context);
    ++probe->calls;
    probe->type_at_call = probe->input->type;
    probe->value_at_call = input_int32(*probe->input);
    probe->items = items;
}

TEST(DeclareDefaults, ListItemsAreSetBeforeTypeAndValue) {
    std::vector<HostInput> inputs(48);
    for (HostInput& in : inputs) in.name = kmi::make_text();
    ListItemsProbe probe;
    probe.input = &inputs[1];
    inputs[1].set_list_items = probe_list_items;
    inputs[1].list_items_context = &probe;
    set_input_int32(inputs[1], 3);
    HostInterface host{};
    host.study_name = kmi::make_text();
    host.study_description = kmi::make_text();
    host.inputs = inputs.data();
    host.input_count = 48;

    kmi::declare_defaults(host);
    EXPECT_EQ(probe.calls, 1);
    EXPECT_EQ(probe.type_at_call, 0);
    EXPECT_EQ(probe.value_at_call, 3);
    EXPECT_EQ(probe.items, "Top left;Top right;Bottom left;Bottom right");
    EXPECT_EQ(inputs[1].type, 22);
    EXPECT_EQ(input_int32(inputs[1]), 1);

    for (HostInput& in : inputs) {
        kmi::release(in.name);
        if (in.type == 26 && input_text_owned(in) != 0) kmi::heap_free(input_text(in));
    }
    kmi::release(host.study_name);
    kmi::release(host.study_description);
}

TEST(DeclareDefaults, ARecordWithFewerInputsAndSeriesGetsOnlyThose) {
    const std::int64_t allocations_before = kmi::heap_allocation_count();
    const std::int64_t frees_before = kmi::heap_free_count();
    std::vector<HostInput> inputs(10);  // no list operation: it is skipped
    for (HostInput& in : inputs) in.name = kmi::make_text();
    std::vector<HostOutputSeries> series(3);
    for (HostOutputSeries& s : series) s.name = kmi::make_text();
    HostInterface host{};
    host.study_name = kmi::make_text();
    host.study_description = kmi::make_text();
    host.inputs = inputs.data();
    host.input_count = 10;
    host.output_series = series.data();
    host.output_series_count = 3;

    kmi::declare_defaults(host);
    EXPECT_EQ(chars(series[2].name), "TICK Session Low");
    EXPECT_EQ(chars(inputs[9].name), "RTH End Time (a bar starting at this time is not RTH)");
    EXPECT_EQ(inputs[1].type, 22);

    HostInterface bare{};
    bare.study_name = kmi::make_text();
    bare.study_description = kmi::make_text();
    kmi::declare_defaults(bare);  // no inputs and no series at all
    EXPECT_EQ(chars(bare.study_name), "Keelwick Market Internals");

    for (HostInput& in : inputs) kmi::release(in.name);
    for (HostOutputSeries& s : series) kmi::release(s.name);
    for (HostInterface* h : {&host, &bare}) {
        kmi::release(h->study_name);
        kmi::release(h->study_description);
    }
    EXPECT_EQ(kmi::heap_allocation_count() - allocations_before, kmi::heap_free_count() - frees_before);
}

}  // namespace
