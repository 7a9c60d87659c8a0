// Scenario runs and their transcripts: the events of each call in the order the study made
// its host calls, every field of the requests by byte offset, the declarations, the series
// values a call changed, and the steps that change the host between calls.
#include <gtest/gtest.h>

#include <set>

#include "kmi_host/scenarios/scenario.h"
#include "kmi_host/scenarios/transcript.h"
#include "kmi_host/text/input_error.h"
#include "kmi_host_support.h"
#include "study_host.h"

namespace kmi::test::host_program {
namespace {

std::vector<Json> run(const std::string& text, const std::filesystem::path& base = ".") {
    const int live_before = live_fake_states;
    const std::string transcript = emu::run_scenario(emu::parse_scenario(text, "s.json", base), fake_study);
    EXPECT_EQ(live_fake_states, live_before) << "the study's state is released at the end";
    EXPECT_EQ(transcript.back(), '\n');
    return json_lines(transcript);
}

std::string rejection(const std::string& text) {
    const int live_before = live_fake_states;
    try {
        emu::run_scenario(emu::parse_scenario(text, "s.json", "."), fake_study);
    } catch (const emu::InputError& error) {
        EXPECT_EQ(live_fake_states, live_before) << "the study's state is released after a failed step";
        return error.what();
    }
    ADD_FAILURE() << "no InputError";
    return {};
}

std::vector<Json> events_named(const std::vector<Json>& events, const std::string& name) {
    std::vector<Json> out;
    for (const Json& event : events) {
        if (event.at("event") == name) out.push_back(event);
    }
    return out;
}

std::set<std::string> keys_of(const Json& object) {
    std::set<std::string> keys;
    for (const auto& [key, value] : object.items()) keys.insert(key);
    return keys;
}

const std::string two_bars = R"("chart": {"number": 1, "symbol": "ESZ26.CME", "time_zone": "America/Chicago",
    "session_times": [0.25, 0.5, 0.75, 1.5, 7, 8, 9],
    "bars": [["2026-12-02 09:30:00", 10, 12, 9, 11.5, 100, 40, 60], ["2026-12-02 09:31:00", 11.5, 12, 11, 11.25]]},
    "symbols": {"TICK-NYSE": {"bars": [["2026-12-02 09:30:00", 100, 900, -300, 250]]}})";

TEST(KmiHostTranscript, ShowsEachHostCallOfACallInTheOrderTheStudyMadeIt) {
    const auto events = run("{" + two_bars + R"(, "persistent_ints": {"10": 12},
        "steps": [{"call": "defaults"}, {"call": "full", "now": "2026-12-02 09:31:30"}, {"call": "last"}]})");
    EXPECT_EQ(event_names(events),
              (std::vector<std::string>{"call", "declared", "end", "call", "open_chart", "log", "drawing",
                                        "delete_drawing", "series", "series", "end", "call", "delete_drawing",
                                        "delete_drawing", "end", "final"}));
    EXPECT_EQ(emu::dump_compact(events[3]),
              R"({"event":"call","n":2,"kind":"full","bar_count":2,"update_start_index":0})");
    EXPECT_EQ(emu::dump_compact(events[5]), "{\"event\":\"log\",\"text\":\"call 1 bars 2 start 0 now " +
                                                std::to_string(at(2026, 12, 2, 9, 31, 30)) +
                                                " region 0-600\",\"show\":0}");
    EXPECT_EQ(emu::dump_compact(events[7]), R"({"event":"delete_drawing","chart":1,"line_number":101})");
    EXPECT_EQ(emu::dump_compact(events[8]),
              R"({"event":"series","bar":0,"values":[11.5,0,"nan",0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0]})");
    EXPECT_EQ(emu::dump_compact(events[9]),
              R"({"event":"series","bar":1,"values":[11.25,1,"inf",0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0]})");
    EXPECT_EQ(emu::dump_compact(events[10]), R"({"event":"end","n":2,"state":"set","drawings":[[100,"bars 2"]]})");
    EXPECT_EQ(emu::dump_compact(events[2]), R"({"event":"end","n":1,"state":"null","drawings":[]})");
    EXPECT_EQ(emu::dump_compact(events[14]), R"({"event":"end","n":3,"state":"null","drawings":[]})");
    EXPECT_EQ(emu::dump_compact(events[15]),
              R"({"event":"final","series":[[11.5,0,"nan",0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0],)"
              R"([11.25,1,"inf",0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0]],"persistent_ints":{"10":2}})");
}

TEST(KmiHostTranscript, ShowsEveryFieldOfTheRequestsByByteOffset) {
    const auto events = run("{" + two_bars + R"(, "persistent_ints": {"10": 12},
        "steps": [{"call": "defaults"}, {"call": "full"}]})");
    const Json open = events_named(events, "open_chart").at(0);
    EXPECT_EQ(keys_of(open.at("request")),
              (std::set<std::string>{"0",   "4",   "8",   "16",  "40",  "44",  "48",  "80",  "96",  "100",
                                     "104", "108", "112", "116", "120", "124", "126", "130", "136", "160"}))
        << "the bytes at 12 and 132 are not written";
    EXPECT_EQ(
        emu::dump_compact(open),
        R"({"event":"open_chart","request":{"0":5,"4":12,"8":2,"16":"TICK-NYSE","40":0,"44":60,)"
        R"("48":[0.25,0.5,0.75,1.5],"80":[0,0,0,7,0,0,0,0,0,0,0,0,0,0,0,0],"96":1,"100":0,"104":0,"108":9,)"
        R"("112":1,"116":7,"120":1,"124":-2,"126":[0,9,0,0],"130":3,"136":"America/Chicago","160":4},"result":2})");
    const Json drawing = events_named(events, "drawing").at(0);
    EXPECT_EQ(emu::dump_compact(drawing),
              R"({"event":"drawing","request":{"4":1,"12":100,"32":97.5,"40":0,"44":65408,"56":9,)"
              R"("192":12873600000000,"208":"bars 2","232":6,"240":3,"252":2104348,"256":"Consolas","288":2,)"
              R"("292":1,"752":-1,"824":0,"840":0,"892":0}})");
}

TEST(KmiHostTranscript, DeclaredShowsEverythingTheDefaultsCallWrote) {
    const auto events = run("{" + two_bars + R"(, "steps": [{"call": "defaults"}]})");
    const Json declared = events_named(events, "declared").at(0);
    EXPECT_EQ(declared.at("name"), "Fake Study");
    EXPECT_EQ(declared.at("description"), "for host tests");
    EXPECT_EQ(emu::dump_compact(declared.at("settings")),
              R"({"study_region":0,"host_setting_1":1,"host_setting_2":2,"host_setting_3":2,"host_setting_4":0})");
    ASSERT_EQ(declared.at("outputs").size(), 20u);
    EXPECT_EQ(
        emu::dump_compact(declared.at("outputs")[1]),
        R"({"index":1,"name":"Index, plain","colour":255,"presentation_code":5,"presentation_value":1,"presentation_flag":1})");
    EXPECT_EQ(
        emu::dump_compact(declared.at("outputs")[19]),
        R"({"index":19,"name":"","colour":0,"presentation_code":0,"presentation_value":0,"presentation_flag":0})");
    const Json& inputs = declared.at("inputs");
    ASSERT_EQ(inputs.size(), 7u) << "only the declared inputs";
    const char* const expected[] = {
        R"({"index":0,"name":"Show","type":5,"value":1,"minimum":0,"maximum":0,"list_items":[]})",
        R"({"index":1,"name":"Corner","type":22,"value":1,"minimum":0,"maximum":0,"list_items":["Left","Right"]})",
        R"({"index":2,"name":"Size","type":11,"value":9,"minimum":5,"maximum":30,"list_items":[]})",
        R"({"index":3,"name":"Ratio","type":2,"value":1.5,"minimum":1.01,"maximum":100,"list_items":[]})",
        R"({"index":4,"name":"Start","type":9,"value":0.3958333333333333,"minimum":0,"maximum":0,"list_items":[]})",
        R"({"index":5,"name":"Symbol","type":26,"value":"TICK-NYSE","minimum":0,"maximum":0,"list_items":[]})",
        R"({"index":6,"name":"Colour","type":14,"value":65408,"minimum":0,"maximum":0,"list_items":[]})"};
    for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(emu::dump_compact(inputs[i]), expected[i]);
}

TEST(KmiHostTranscript, AnUpdateStartsAtTheBarThatWasFormingWhenBarsWereAppended) {
    const auto events = run("{" + two_bars + R"(, "steps": [
        {"call": "defaults"}, {"call": "update"}, {"call": "update"},
        {"append": {"chart": 1, "bars": [["2026-12-02 09:32:00", 1, 1, 1, 1], ["2026-12-02 09:33:00", 2, 2, 2, 2]]}},
        {"call": "update"}, {"call": "update"}, {"call": "update", "update_start_index": 0}, {"call": "full"}]})");
    std::vector<std::pair<int, int>> calls;
    for (const Json& call : events_named(events, "call"))
        calls.emplace_back(call.at("bar_count"), call.at("update_start_index"));
    EXPECT_EQ(calls, (std::vector<std::pair<int, int>>{{2, 0}, {2, 1}, {2, 1}, {4, 1}, {4, 3}, {4, 0}, {4, 0}}));
}

TEST(KmiHostTranscript, ListsOnlyTheBarsWhoseValuesTheCallChanged) {
    const auto events = run("{" + two_bars + R"(, "steps": [
        {"call": "defaults"}, {"call": "full"},
        {"append": {"chart": 1, "bars": [["2026-12-02 09:32:00", 1, 1, 1, 1]]}},
        {"call": "update"},
        {"update_last": {"chart": 1, "bar": ["2026-12-02 09:32:00", 1, 3, 1, 2.5]}},
        {"call": "update"}, {"call": "update"}]})");
    std::vector<std::vector<int>> changed(1);
    for (const Json& event : events) {
        if (event.at("event") == "series") changed.back().push_back(event.at("bar"));
        if (event.at("event") == "end") changed.emplace_back();
    }
    EXPECT_EQ(changed, (std::vector<std::vector<int>>{{}, {0, 1}, {2}, {2}, {}, {}}))
        << "the update after an append rewrites bars 1 and 2 but only bar 2 changes";
    const auto series = events_named(events, "series");
    EXPECT_EQ(series.back().at("values")[0], 2.5);
    EXPECT_EQ(events.back().at("series").size(), 3u);
}

TEST(KmiHostTranscript, StepsChangeTheClockRegionInputsAndCharts) {
    const auto events = run("{" + two_bars + R"(, "steps": [
        {"call": "defaults"},
        {"call": "full", "now": 17, "alternate_now": 99},
        {"call": "update", "now": 17, "alternate_now": 99, "use_alternate_clock": true},
        {"set_region": {"top_px": 5, "bottom_px": 40}},
        {"call": "update"},
        {"set_inputs": {"5": "nq", "6": 255}},
        {"set_bars": {"chart": 1, "bars": [["2026-12-03 09:30:00", 1, 1, 1, 1]], "time_zone": "UTC", "symbol": "X"}},
        {"call": "full"}]})");
    const auto logs = events_named(events, "log");
    ASSERT_EQ(logs.size(), 4u);
    EXPECT_EQ(logs[0].at("text"), "call 1 bars 2 start 0 now 17 region 0-600");
    EXPECT_EQ(logs[1].at("text"), "call 2 bars 2 start 1 now 99 region 0-600");
    EXPECT_EQ(logs[2].at("text"), "call 3 bars 2 start 1 now 0 region 5-40") << "no now: a current time of 0";
    EXPECT_EQ(logs[3].at("text"), "call 4 bars 1 start 0 now 0 region 5-40");
    const auto opens = events_named(events, "open_chart");
    ASSERT_EQ(opens.size(), 2u);
    EXPECT_EQ(opens[1].at("request").at("16"), "nq");
    EXPECT_EQ(opens[1].at("request").at("136"), "UTC");
    EXPECT_EQ(opens[1].at("result"), 0) << "nq is not in the library";
    EXPECT_EQ(events_named(events, "drawing").back().at("request").at("44"), 255);
    EXPECT_EQ(events.back().at("series").size(), 1u);
}

TEST(KmiHostTranscript, OpensSymbolsFromTheDataFolderThatTextInputsName) {
    TempFolder folder;
    std::filesystem::create_directories(folder / "data");
    write_text(folder / "data" / "TICK-NYSE.csv", "datetime,open,high,low,close\n2026-12-02 09:30:00,1,2,0.5,1.5\n");
    const auto events = run(R"({"chart": {"number": 1, "symbol": "ES"}, "data_dir": "data",
        "steps": [{"call": "defaults"}, {"call": "full"}, {"call": "full"},
                  {"set_inputs": {"5": "../data/TICK-NYSE"}}, {"call": "full"},
                  {"set_inputs": {"5": "VIX"}}, {"call": "full"}]})",
                            folder.path);
    std::vector<int> results;
    for (const Json& open : events_named(events, "open_chart")) results.push_back(open.at("result"));
    EXPECT_EQ(results, (std::vector<int>{2, 2, 0, 0})) << "opened, found again, not a plain file name, no file";
}

TEST(KmiHostTranscript, AStepThatCannotBeCarriedOutIsRejectedByItsKey) {
    const std::string steps = "{" + two_bars + R"(, "steps": [{"call": "defaults"}, {"call": "full"}, )";
    const std::pair<std::string, std::string> cases[] = {
        {steps + R"({"append": {"chart": 5, "bars": []}}]})", "s.json: steps[2].append.chart: chart 5 is not open"},
        {steps + R"({"append": {"chart": 1, "bars": [["2026-12-02 09:31:00", 1, 1, 1, 1]]}}]})",
         "s.json: steps[2].append.bars[0]: bar time 2026-12-02 09:31:00 is not after the chart's last bar 2026-12-02 "
         "09:31:00"},
        {steps + R"({"update_last": {"chart": 1, "bar": ["2026-12-02 09:30:00", 1, 1, 1, 1]}}]})",
         "s.json: steps[2].update_last.bar: bar time 2026-12-02 09:30:00 is not after the bar before the last"},
        {steps + R"({"set_bars": {"chart": 3, "bars": []}}]})", "s.json: steps[2].set_bars.chart: chart 3 is not open"},
        {steps + R"({"set_inputs": {"2": "big"}}]})",
         "s.json: steps[2].set_inputs: input 2 \"Size\": takes an integer, not \"big\""},
        {"{" + two_bars + R"(, "steps": [{"set_inputs": {"2": 1}}]})",
         "s.json: steps[0].set_inputs: input 2: is not declared (it has no type yet)"},
    };
    for (const auto& [text, message] : cases) {
        const std::string error = rejection(text);
        EXPECT_EQ(error.rfind(message, 0), 0u) << "got: " << error << "\nexpected: " << message;
    }
}

}  // namespace
}  // namespace kmi::test::host_program
