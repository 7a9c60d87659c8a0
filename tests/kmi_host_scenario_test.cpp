// Scenario files: what a scenario sets up, and the rejection of every malformed scenario
// with a message naming the file and the key (or line) at fault.
#include <gtest/gtest.h>

#include "kmi_host/scenarios/scenario.h"
#include "kmi_host/text/input_error.h"
#include "kmi_host_support.h"
#include "study_host.h"

namespace kmi::test::host_program {
namespace {

emu::Scenario parse(const std::string& text, const std::filesystem::path& base = ".") {
    return emu::parse_scenario(text, "s.json", base);
}

std::string rejection(const std::string& text, const std::filesystem::path& base = ".") {
    try {
        parse(text, base);
    } catch (const emu::InputError& error) {
        return error.what();
    }
    ADD_FAILURE() << "accepted: " << text;
    return {};
}

const char* const chart = R"("chart": {"number": 1, "symbol": "ES"})";

TEST(KmiHostScenario, SetsUpChartsSymbolsAndStepsWithTheirDefaults) {
    TempFolder folder;
    std::filesystem::create_directories(folder / "data");
    write_text(folder / "data" / "nq.csv", "datetime,open,high,low,close\n2026-12-02 09:30:00,1,2,0.5,1.5\n");
    const emu::Scenario s = parse(R"({
        "study_id": 7, "region": {"top_px": 10, "bottom_px": 40},
        "chart": {"number": 3, "symbol": "ESZ26.CME", "bar_seconds": 0, "price_format": 4,
                  "session_times": [0.25, 0.5, 1, 2, 3, 4, 5],
                  "bars": [["2026-12-02 09:30:00.25", 1, 2, 0.5, 1.5], [4005365460000000, 1, 2, "nan", "-inf", 9, 4, 5]]},
        "charts": [{"number": 2, "symbol": "TICK", "bar_period": [2, 0, 5], "bars": "data/nq.csv"}],
        "symbols": {"NQ": {"number": 99, "time_zone": "Europe/Berlin", "bars": "data/nq.csv"}},
        "data_dir": "data",
        "persistent_ints": {"10": 12, "-3": 4},
        "steps": [{"call": "defaults"},
                  {"call": "update", "update_start_index": 4, "now": "2026-12-02 09:31:00", "alternate_now": 5,
                   "use_alternate_clock": true},
                  {"call": "last", "now": null},
                  {"append": {"chart": 2, "bars": [["2026-12-02 09:31:00", 1, 1, 1, 1]]}},
                  {"update_last": {"chart": 2, "bar": ["2026-12-02 09:31:00", 2, 2, 2, 2]}},
                  {"set_bars": {"chart": 2, "bars": [], "symbol": "TICK2", "time_zone": "UTC"}},
                  {"set_inputs": {"11": 5, "30": null}},
                  {"set_region": {"top_px": 0, "bottom_px": 40}}]})",
                                  folder.path);
    EXPECT_EQ(s.study_id, 7);
    EXPECT_EQ(s.region_top_px, 10);
    EXPECT_EQ(s.region_bottom_px, 40);
    EXPECT_EQ(s.chart.number, 3);
    EXPECT_EQ(s.chart.bar_period, (std::array<std::int32_t, 3>{0, 0, 0})) << "no fixed bar length";
    EXPECT_EQ(s.chart.price_format, 4);
    ASSERT_TRUE(s.chart.session_times.has_value());
    const double second_time = s.chart.session_times->times[1];  // a copy: the record is packed
    const std::int32_t third_value = s.chart.session_times->values[2];
    EXPECT_EQ(second_time, 0.5);
    EXPECT_EQ(third_value, 5);
    ASSERT_EQ(s.chart.times.size(), 2u);
    EXPECT_EQ(s.chart.times[0], at(2026, 12, 2, 9, 30) + 250000);
    EXPECT_EQ(s.chart.times[1], at(2026, 12, 2, 9, 31)) << "an integer host date-time";
    EXPECT_TRUE(std::isnan(s.chart.low[1]));
    EXPECT_EQ(s.chart.close[1], -std::numeric_limits<float>::infinity());
    EXPECT_EQ(s.chart.ask_volume[1], 5.0f);
    ASSERT_EQ(s.charts.size(), 1u);
    EXPECT_EQ(s.charts[0].bar_period, (std::array<std::int32_t, 3>{2, 0, 5}));
    EXPECT_EQ(s.charts[0].close.front(), 1.5f) << "bars from a CSV file beside the scenario";
    EXPECT_EQ(s.symbols.at("NQ").symbol, "NQ") << "the key is the symbol";
    EXPECT_EQ(s.symbols.at("NQ").time_zone, "Europe/Berlin");
    EXPECT_EQ(s.symbols.at("NQ").bar_period, (std::array<std::int32_t, 3>{2, 0, 60}));
    EXPECT_EQ(s.data_dir, folder.path / "data");
    EXPECT_EQ(s.persistent_ints.at(10), 12);
    EXPECT_EQ(s.persistent_ints.at(-3), 4);
    ASSERT_EQ(s.steps.size(), 8u);
    const auto& update = std::get<emu::CallStep>(s.steps[1].action);
    EXPECT_EQ(update.update_start_index, 4);
    EXPECT_EQ(update.now, at(2026, 12, 2, 9, 31));
    EXPECT_EQ(update.alternate_now, 5);
    EXPECT_TRUE(update.use_alternate_clock);
    EXPECT_EQ(std::get<emu::CallStep>(s.steps[2].action).now, 0) << "null: a current time of 0";
    EXPECT_EQ(std::get<emu::BarsStep>(s.steps[5].action).symbol, "TICK2");
    EXPECT_EQ(s.steps[6].where, "s.json: steps[6]");
}

TEST(KmiHostScenario, RejectsEveryMalformedScenarioNamingTheKey) {
    const std::string c = chart;
    const std::pair<std::string, std::string> cases[] = {
        {"[]", "s.json: a scenario is a JSON object"},
        {R"({"steps": []})", "s.json: missing \"chart\""},
        {"{" + c + "}", "s.json: missing \"steps\""},
        {"{" + c + R"(, "steps": [], "extra": 1})", "s.json: extra: unknown key"},
        {R"({"chart": {"number": 0}, "steps": []})", "s.json: chart.number: a chart number is 1 or more"},
        {R"({"chart": {"symbol": "ES"}, "steps": []})", "s.json: chart: missing \"number\""},
        {R"({"chart": {"number": 1, "colour": 3}, "steps": []})", "s.json: chart.colour: unknown key"},
        {R"({"chart": {"number": 1, "bar_seconds": "60"}, "steps": []})",
         "s.json: chart.bar_seconds: expected an integer"},
        {R"({"chart": {"number": 1, "bar_seconds": 4294967296}, "steps": []})",
         "s.json: chart.bar_seconds: out of the 32-bit range"},
        {R"({"chart": {"number": 1, "session_times": [1, 2]}, "steps": []})",
         "s.json: chart.session_times: expected [d0, d1, d2, d3, i0, i1, i2]"},
        {R"({"chart": {"number": 1, "session_times": [1, 2, 3, "x", 1, 2, 3]}, "steps": []})",
         "s.json: chart.session_times[3]: expected a number"},
        {R"({"chart": {"number": 1, "bar_period": [2, 0]}, "steps": []})",
         "s.json: chart.bar_period: expected [kind, sub_kind, count]"},
        {R"({"chart": {"number": 1, "bars": [["2026-12-02 09:30:00", 1, 2, 3]]}, "steps": []})",
         "s.json: chart.bars[0]: expected [TIME, open, high, low, close, volume, bid_volume, ask_volume]"},
        {R"({"chart": {"number": 1, "bars": [["2026-12-02 09:30", 1, 2, 3, 4]]}, "steps": []})",
         "s.json: chart.bars[0][0]: expected \"YYYY-MM-DD HH:MM:SS[.ffffff]\" or an integer host date-time"},
        {R"({"chart": {"number": 1, "bars": [["2026-12-02 09:30:00", 1, "x", 3, 4]]}, "steps": []})",
         "s.json: chart.bars[0][2]: expected a number (or \"nan\", \"inf\", \"-inf\")"},
        {R"({"chart": {"number": 1, "bars": [["2026-12-02 09:30:00", 1, 1e39, 3, 4]]}, "steps": []})",
         "s.json: chart.bars[0][2]: out of the range of a 32-bit float"},
        {R"({"chart": {"number": 1, "bars": [[5, 1, 2, 3, 4], [5, 1, 2, 3, 4]]}, "steps": []})",
         "s.json: chart.bars[1]: bar time 1899-12-30 00:00:00.000005 is not after the previous bar's"},
        {R"({"chart": {"number": 1, "bars": 3}, "steps": []})",
         "s.json: chart.bars: expected a CSV file name or an array of bars"},
        {R"({"chart": {"number": 1, "bars": "missing.csv"}, "steps": []})", "./missing.csv: cannot be read"},
        {"{" + c + R"(, "charts": [{"number": 1}], "steps": []})", "s.json: charts[0].number: chart 1 is already open"},
        {"{" + c + R"(, "charts": {}, "steps": []})", "s.json: charts: expected an array of charts"},
        {"{" + c + R"(, "symbols": [], "steps": []})", "s.json: symbols: expected an object"},
        {"{" + c + R"(, "symbols": {"NQ": {"bars": [[1]]}}, "steps": []})",
         "s.json: symbols.NQ.bars[0]: expected [TIME"},
        {"{" + c + R"(, "data_dir": "no/such/folder", "steps": []})", "s.json: data_dir: no such folder"},
        {"{" + c + R"(, "persistent_ints": {"ten": 1}, "steps": []})",
         "s.json: persistent_ints.ten: a key is a 32-bit integer"},
        {"{" + c + R"(, "persistent_ints": {"10": 1.5}, "steps": []})",
         "s.json: persistent_ints.10: expected an integer"},
        {"{" + c + R"(, "region": {"top": 1}, "steps": []})", "s.json: region.top: unknown key"},
        {"{" + c + R"(, "study_id": "0", "steps": []})", "s.json: study_id: expected an integer"},
        {"{" + c + R"(, "steps": {}})", "s.json: steps: expected an array of steps"},
        {"{" + c + R"(, "steps": [1]})", "s.json: steps[0]: expected a step object"},
        {"{" + c + R"(, "steps": [{"call": "recalc"}]})",
         "s.json: steps[0].call: expected \"defaults\", \"full\", \"update\" or \"last\", not \"recalc\""},
        {"{" + c + R"(, "steps": [{"call": "full", "update_start_index": 3}]})",
         "s.json: steps[0].update_start_index: only an update takes a start index"},
        {"{" + c + R"(, "steps": [{"call": "full", "now": "today"}]})", "s.json: steps[0].now: expected \"YYYY-MM-DD"},
        {"{" + c + R"(, "steps": [{"call": "full", "use_alternate_clock": 1}]})",
         "s.json: steps[0].use_alternate_clock: expected true or false"},
        {"{" + c + R"(, "steps": [{"call": "full", "bars": []}]})", "s.json: steps[0].bars: unknown key"},
        {"{" + c + R"(, "steps": [{"append": {"chart": 1, "bars": []}, "set_region": {}}]})",
         "s.json: steps[0]: a step is {\"call\": ...} or has exactly one of"},
        {"{" + c + R"(, "steps": [{"rewind": {}}]})", "s.json: steps[0].rewind: unknown step"},
        {"{" + c + R"(, "steps": [{"append": {"bars": []}}]})", "s.json: steps[0].append: missing \"chart\""},
        {"{" + c + R"(, "steps": [{"append": {"chart": 1}}]})", "s.json: steps[0].append: missing \"bars\""},
        {"{" + c + R"(, "steps": [{"update_last": {"chart": 1, "bars": []}}]})",
         "s.json: steps[0].update_last.bars: unknown key"},
        {"{" + c + R"(, "steps": [{"update_last": {"chart": 1, "bar": [1]}}]})",
         "s.json: steps[0].update_last.bar: expected [TIME"},
        {"{" + c + R"(, "steps": [{"set_bars": {"chart": 1, "bars": [], "symbol": 3}}]})",
         "s.json: steps[0].set_bars.symbol: expected a string"},
        {"{" + c + R"(, "steps": [{"set_inputs": [1]}]})", "s.json: steps[0].set_inputs: expected an object"},
        {"{" + c + R"(, "steps": [{"set_region": {"top_px": 0}}]})",
         "s.json: steps[0].set_region: missing \"bottom_px\""},
    };
    for (const auto& [text, message] : cases) {
        const std::string error = rejection(text);
        EXPECT_EQ(error.rfind(message, 0), 0u) << "got: " << error << "\nexpected: " << message;
    }
}

TEST(KmiHostScenario, NamesTheLineOfAJsonSyntaxError) {
    const std::string error =
        rejection("{\n  \"chart\": {\"number\": 1},\n  \"steps\": [\n    {\"call\": \"full\",}\n  ]\n}");
    EXPECT_EQ(error.rfind("s.json:4: not valid JSON: ", 0), 0u) << error;
    EXPECT_EQ(rejection("").rfind("s.json:1: not valid JSON", 0), 0u);
    const std::string overflow = rejection("{\"chart\": {\"number\": 1},\n \"study_id\": 1e400, \"steps\": []}");
    EXPECT_EQ(overflow, "s.json:2: not valid JSON: [json.exception.out_of_range.406] number overflow parsing '1e400'")
        << "a number beyond the range of a double";
}

TEST(KmiHostScenario, NamesTheCsvFileAndLineOfABadBarFile) {
    TempFolder folder;
    write_text(folder / "bars.csv", "datetime,open,high,low,close\n2026-12-02 09:30:00,1,2,0.5,oops\n");
    const std::string error = rejection(R"({"chart": {"number": 1, "bars": "bars.csv"}, "steps": []})", folder.path);
    EXPECT_EQ(error, (folder / "bars.csv").string() +
                         ":2: column \"close\": not a finite number within the range of a 32-bit float: \"oops\"");
}

}  // namespace
}  // namespace kmi::test::host_program
