// The report in the host's message log: written on rebuilds only, one header, one line
// per slot, and the complaint about an empty session window.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "settings/input_indices.h"
#include "settings/source_slots.h"
#include "study_host.h"

namespace kmi::test {
namespace {

const HostDateTime today_0930 = at(2026, 12, 2, 9, 30);

struct ReportHost : StudyHost {
    ReportHost() : StudyHost(chart_with_bars(1, "CHART", 60, today_0930, 11)) {
        defaults();
        // Only the slots a test names are on.
        for (int slot = 0; slot < source_slot_count; ++slot) symbol(slot, "");
    }
    void symbol(int slot, const char* text) { emu::set_input_text_value(emu::input(*host, symbol_input(slot)), text); }
    std::vector<std::string> texts() const {
        std::vector<std::string> lines;
        for (const emu::LogLine& line : host->log) lines.push_back(line.text);
        return lines;
    }
};

TEST(DiagnosticsReport, HeaderSlotLinesInOrderAndNothingElse) {
    ReportHost h;
    h.full();
    const auto lines = h.texts();
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_TRUE(
        std::regex_match(lines[0], std::regex("Keelwick Market Internals BUILD [A-Z][a-z]{2} [ 0-9]\\d \\d{4} "
                                              "\\d\\d:\\d\\d:\\d\\d \\| chart bars 11 \\| context only, not a signal")))
        << lines[0];
    const char* names[] = {"TICK", "ADD ", "VOLD", "UDVR", "VIX ", "TS1 ", "TS2 ", "ES  ", "NQ  "};
    for (int slot = 0; slot < 9; ++slot) {
        EXPECT_EQ(lines[static_cast<std::size_t>(slot) + 1],
                  std::string("   ") + names[slot] + " off (no symbol, or the host could not open a chart for \"\")");
    }
    for (const emu::LogLine& line : h->log) EXPECT_EQ(line.show, 0);
}

TEST(DiagnosticsReport, AnInputWithoutTextIsNamedUnset) {
    ReportHost h;
    emu::set_input_text_value(emu::input(*h, symbol_input(slot_vix)), nullptr);
    h.full();
    EXPECT_EQ(h.texts().at(5), "   VIX  off (no symbol, or the host could not open a chart for \"Unset\")");
}

TEST(DiagnosticsReport, ASlotOnThisChartNamesItAndNeverWarnsOfTheTimeZone) {
    ReportHost h;
    h.symbol(slot_tick, "chart");
    h.full();
    EXPECT_EQ(h.texts().at(1),
              "   TICK chart #1 (this chart)  CHART  bars 11, bar seconds 60, last bar 2026-12-02 09:40");
}

TEST(DiagnosticsReport, AnEmptySourceInAnotherTimeZoneGetsTheNoBarsTextThenTheWarning) {
    ReportHost h;
    h.symbol(slot_add, "NISS-NYSE");
    emu::Chart add = emu::make_chart(0, "NISS-NYSE", 0);  // no fixed bar length
    add.time_zone = "Europe/London";
    h->symbol_library["NISS-NYSE"] = add;
    h.symbol(slot_vold, "NVOL-NYSE");
    emu::Chart vold = chart_with_bars(0, "NVOL-NYSE", 5, today_0930, 3);
    vold.time_zone = "AMERICA/NEW_YORK";  // differs in case only
    h->symbol_library["NVOL-NYSE"] = vold;
    h.full();
    EXPECT_EQ(
        h.texts().at(2),
        "   ADD  chart #2  NISS-NYSE  bars 0, bar seconds 0, no data yet (loading, or the feed does not carry this "
        "symbol)  WARNING: its time zone differs from this chart's");
    EXPECT_EQ(h.texts().at(3), "   VOLD chart #3  NVOL-NYSE  bars 3, bar seconds 5, last bar 2026-12-02 09:30");
}

TEST(DiagnosticsReport, AChartNumberThatNamesNoChartIsReportedAsAnEmptyChart) {
    ReportHost h;
    set_input_int32(emu::input(*h, chart_number_input(slot_nq)), 77);
    h.full();
    EXPECT_EQ(
        h.texts().at(9),
        "   NQ   chart #77    bars 0, bar seconds 0, no data yet (loading, or the feed does not carry this symbol)"
        "  WARNING: its time zone differs from this chart's")
        << "a chart without a time zone counts as an empty one";
}

TEST(DiagnosticsReport, AnEmptyWindowIsReportedWithFlagOneOnEveryRebuild) {
    ReportHost h;
    for (const int index : {input_rth_start, input_rth_end}) set_input_double(emu::input(*h, index), 34200.0 / 86400.0);
    for (int rebuild = 0; rebuild < 2; ++rebuild) {
        h->log.clear();
        h.full();
        ASSERT_EQ(h->log.size(), 11u);
        EXPECT_EQ(h->log.back().text,
                  "Keelwick Market Internals: RTH Start must be before RTH End (the cash session, chart time zone).");
        EXPECT_EQ(h->log.back().show, 1);
    }
}

TEST(DiagnosticsReport, AChartWithoutBarsStillGetsTheWholeReport) {
    ReportHost h;
    h.symbol(slot_tick, "chart");
    for (const int index : {input_rth_start, input_rth_end}) set_input_double(emu::input(*h, index), 34200.0 / 86400.0);
    emu::set_bars(emu::study_chart(*h), {});
    h.full();
    const auto lines = h.texts();
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_NE(lines[0].find(" | chart bars 0 | "), std::string::npos) << lines[0];
    EXPECT_EQ(
        lines[1],
        "   TICK chart #1 (this chart)  CHART  bars 0, bar seconds 60, no data yet (loading, or the feed does not "
        "carry this symbol)");
    EXPECT_EQ(lines[9], "   NQ   off (no symbol, or the host could not open a chart for \"\")");
    EXPECT_EQ(h->log.back().show, 1) << "the empty window";
}

TEST(DiagnosticsReport, IsWrittenOnRebuildsOnly) {
    ReportHost h;
    h.full();
    h->log.clear();
    h.update(10);
    emu::append_bar(emu::study_chart(*h), emu::Bar{today_0930 + 11 * 60000000LL, 1, 2, 0, 1, 1, 0, 0});
    h.update(10);
    EXPECT_TRUE(h->log.empty());
    h.update(3);
    EXPECT_EQ(h->log.size(), 10u) << "reaching back into walked bars rebuilds";
}

}  // namespace
}  // namespace kmi::test
