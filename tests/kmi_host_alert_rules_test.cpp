// Alert rules: how a rule reads (or why it is refused), the bars each comparison fires on, the
// forming bar, and files of rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "kmi_host/alerts/judging.h"
#include "kmi_host/alerts/rules_file.h"
#include "kmi_host/text/date_time_text.h"
#include "kmi_host/text/input_error.h"
#include "kmi_host/text/path_text.h"
#include "kmi_host_support.h"

namespace kmi::emu {
namespace {

using Comparison = AlertComparison;
using test::host_program::write_text;

// The series the study declares, as the columns of series.csv.
std::vector<std::string> declared_series() {
    const std::string header =
        "TICK,TICK Session High,TICK Session Low,TICK Bars At/Above Upper,TICK Bars At/Below Lower,TICK Session "
        "Average,ADD,ADD Change Since Open,ADD Slope Per Hour,VOLD,Up/Down Volume Ratio,VIX,VIX Change %,Term "
        "Structure Front/Back,ES % Since Open,NQ % Since Open,ES minus NQ %,Cumulative Delta (RTH),VWAP (RTH),Close "
        "minus VWAP";
    std::vector<std::string> names;
    std::istringstream columns(header);
    for (std::string name; std::getline(columns, name, ',');) names.push_back(name);
    return names;
}

const std::vector<std::string> declared = declared_series();
const float nan = std::numeric_limits<float>::quiet_NaN();

// The message of the InputError `read` throws, or "" when it throws none.
template <typename Read>
std::string refusal(const Read& read) {
    try {
        read();
    } catch (const InputError& error) {
        return error.what();
    }
    return "";
}

TEST(AlertRules, ReadFromTheComparisonOutwardsOrRefusedWithTheNames) {
    struct Case {
        const char* text;
        std::int32_t series;  // -1: refused with `message`
        Comparison comparison;
        float level;
        const char* message;
    };
    const Case cases[] = {
        {"TICK >= 1000", 0, Comparison::at_or_above, 1000.0f, ""},
        {"  tick<=-1000 ", 0, Comparison::at_or_below, -1000.0f, ""},
        {"ADD crosses 0", 6, Comparison::crosses, 0.0f, ""},
        {"ratio >= 3", 10, Comparison::at_or_above, 3.0f, ""},
        {"UP/DOWN>=+3.", 10, Comparison::at_or_above, 3.0f, ""},
        {"ES minus NQ % crosses above 0.2", 16, Comparison::crosses_above, 0.2f, ""},
        {"es-nq CROSSES   BELOW -.5", 16, Comparison::crosses_below, -0.5f, ""},
        {" cumulative  delta (rth) crosses 2.5e3", 17, Comparison::crosses, 2500.0f, ""},
        {"VWAP >= 6000", 18, Comparison::at_or_above, 6000.0f, ""},
        {"TICK high >= 1E3", 1, Comparison::at_or_above, 1000.0f, ""},
        {"", -1, {}, 0, "alert rule \"\": is empty"},
        {"TICK > 1000", -1, {}, 0, "alert rule \"TICK > 1000\": \">\" is no comparison; a rule is SERIES >= LEVEL"},
        {"TICK above 1000", -1, {}, 0, "alert rule \"TICK above 1000\": no comparison; a rule is"},
        {"TICK >= 1,000", -1, {}, 0, "\"1,000\" is no level"},
        {"TICK >= 1e", -1, {}, 0, "\"1e\" is no level"},
        {"TICK <= nan", -1, {}, 0, "\"nan\" is no level"},
        {"TICK >= inf", -1, {}, 0, "\"inf\" is no level"},
        {"TICK >= 1e39", -1, {}, 0, "\"1e39\" is out of the range"},
        {"TICK crosses above", -1, {}, 0, "no level after \"crosses above\""},
        {"ADD crosses abov 0", -1, {}, 0, "\"abov 0\" is no level"},
        {" >= 1000", -1, {}, 0, "alert rule \">= 1000\": no series before \">=\""},
        {"TIKC >= 1000", -1, {}, 0, "\"TIKC\" is no series (did you mean \"TICK\"?)"},
        {"ratoi >= 3", -1, {}, 0, "\"ratoi\" is no series (did you mean \"ratio\"?)"},
        {"Close >= 1", -1, {}, 0, "alert rule \"Close >= 1\": \"Close\" is no series; the series: \"TICK\", "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        if (c.series < 0) {
            const std::string message = refusal([&] { parse_alert_rule(c.text, declared); });
            EXPECT_NE(message.find(c.message), std::string::npos) << message;
            EXPECT_NE(message.find("\"TICK Session High\" or \"TICK high\", "), std::string::npos) << message;
            EXPECT_NE(message.find("\"Up/Down Volume Ratio\" or \"ratio\" or \"up/down\""), std::string::npos);
            continue;
        }
        const AlertRule rule = parse_alert_rule(c.text, declared);
        EXPECT_EQ(rule.series, c.series);
        EXPECT_EQ(rule.series_name, declared[static_cast<std::size_t>(c.series)]);
        EXPECT_EQ(rule.comparison, c.comparison);
        EXPECT_EQ(rule.level, c.level);
    }
}

TEST(AlertRules, NamesAndAliasesComeFromTheSeriesTheStudyDeclares) {
    const std::vector<std::string> names = {"Close", "", "VWAP", "Cumulative Delta (RTH)"};
    EXPECT_EQ(parse_alert_rule("close >= 1", names).series, 0);
    EXPECT_EQ(parse_alert_rule("VWAP >= 1", names).series, 2);  // the declared name before the alias
    EXPECT_EQ(parse_alert_rule("delta >= 1", names).series, 3);
    EXPECT_EQ(alert_series_list(names), "\"Close\", \"VWAP\", \"Cumulative Delta (RTH)\" or \"delta\"");
    EXPECT_NE(refusal([&] { parse_alert_rule("ratio >= 3", names); }).find("\"ratio\" is no series"),
              std::string::npos);
}

struct Bars {
    std::vector<HostDateTime> times;
    std::vector<std::vector<float>> values;
    std::vector<const std::vector<float>*> series;
};

// `count` minute bars from 09:30 with the given series values.
Bars minute_bars(std::size_t count, std::vector<std::vector<float>> values) {
    Bars bars;
    const HostDateTime open = *parse_date_time("2025-07-07 09:30:00");
    for (std::size_t i = 0; i < count; ++i)
        bars.times.push_back(open + static_cast<HostDateTime>(i) * 60 * us_per_second);
    bars.values = std::move(values);
    for (const std::vector<float>& series : bars.values) bars.series.push_back(&series);
    return bars;
}

std::vector<std::int32_t> fired_bars(const std::vector<FiredAlert>& alerts) {
    std::vector<std::int32_t> out;
    for (const FiredAlert& alert : alerts) out.push_back(alert.bar);
    return out;
}

TEST(AlertJudging, FiresOnTheBarARuleBecomesTrueAndAgainOnlyAfterItWasFalse) {
    struct Case {
        const char* rule;
        std::vector<float> values;
        std::vector<std::int32_t> fired;
        std::size_t bars = 0;  // more bars than values: 0 past the series' end
    };
    const Case cases[] = {
        {"TICK >= 1000", {1000, 1200, 900, 1000, nan, 1000}, {0, 3, 5}},
        {"TICK <= -1000", {0, -1000, -1001, 0, -1000}, {1, 4}},
        {"TICK crosses above 0", {5, -1, 0, 3, -2, nan, 1}, {2}},
        {"TICK crosses below 0", {-5, 1, 0, -1, 2, -1}, {2, 5}},
        {"TICK crosses 0", {-5, 0, 0, 5, -5, nan, 5}, {1, 4}},
        {"TICK crosses below 0.2", {0.3f, 0.2f, 0.1f}, {1}},  // the level as a float, as the values
        {"TICK <= 0", {5, 3}, {2}, 4},
        {"TICK crosses below 1", {5}, {1}, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        const Bars bars = minute_bars(std::max(c.bars, c.values.size()), {c.values});
        const std::vector<AlertRule> rules = {parse_alert_rule(c.rule, declared)};
        const auto to = static_cast<std::int32_t>(bars.times.size());
        const std::vector<FiredAlert> whole = judge_closed_bars(rules, bars.times, bars.series, 0, to);
        EXPECT_EQ(fired_bars(whole), c.fired);
        // Judged a few bars at a time, as a chart followed live closes them, the same alerts.
        for (std::int32_t split = 0; split <= to; ++split) {
            std::vector<FiredAlert> pieces = judge_closed_bars(rules, bars.times, bars.series, -3, split);
            for (const FiredAlert& alert : judge_closed_bars(rules, bars.times, bars.series, split, to + 5))
                pieces.push_back(alert);
            EXPECT_EQ(fired_bars(pieces), c.fired) << "split at bar " << split;
        }
    }
}

TEST(AlertJudging, NamesTheBarTheSeriesAndItsValueInBarThenRuleOrder) {
    const Bars bars = minute_bars(3, {{0, 0, 1012}, {}, {}, {}, {}, {}, {}, {}, {}, {0, 63420000, 63420000}});
    const std::vector<AlertRule> rules = {parse_alert_rule("TICK >= 1000", declared),
                                          parse_alert_rule("VOLD >= 5e7", declared)};
    std::vector<std::string> lines;
    for (const FiredAlert& alert : judge_closed_bars(rules, bars.times, bars.series, 0, 3))
        lines.push_back(alert_line(alert));
    EXPECT_EQ(lines, (std::vector<std::string>{"alert 2025-07-07 09:31:00  VOLD >= 5e7  (VOLD 63420000)",
                                               "alert 2025-07-07 09:32:00  TICK >= 1000  (TICK 1012)"}));
}

TEST(AlertJudging, AFormingBarFiresEarlyWithoutChangingWhatItsCloseFires) {
    const std::vector<AlertRule> rules = {parse_alert_rule("TICK >= 1000", declared),
                                          parse_alert_rule("ADD crosses above 0", declared)};
    // Bar 1 forming: TICK reaches 1100 and ADD turns up through zero.
    Bars bars = minute_bars(2, {{900, 1100}, {}, {}, {}, {}, {}, {-50, 20}});
    const std::vector<FiredAlert> early = judge_forming_bar(rules, bars.times, bars.series, 1);
    ASSERT_EQ(early.size(), 2u);
    EXPECT_TRUE(early[0].forming && early[1].forming);
    EXPECT_EQ(alert_line(early[0]), "alert 2025-07-07 09:31:00  TICK >= 1000  (TICK 1100) (forming)");
    EXPECT_TRUE(judge_forming_bar(rules, bars.times, bars.series, 5).empty());
    // Bar 1 closes at 950 with ADD back under zero; bar 2 then closes at 1050 with ADD at 10.
    bars = minute_bars(3, {{900, 950, 1050}, {}, {}, {}, {}, {}, {-50, -5, 10}});
    const std::vector<FiredAlert> closed = judge_closed_bars(rules, bars.times, bars.series, 0, 3);
    EXPECT_EQ(fired_bars(closed), (std::vector<std::int32_t>{2, 2}));
}

TEST(AlertRulesFile, OneRulePerLineWithCommentsAndTheBadLineNamed) {
    const test::host_program::TempFolder folder;
    const std::filesystem::path file = folder.path / path_of("r\xC3\xA8gles \xE6\xA0\xAA.txt");
    write_text(file,
               "\xEF\xBB\xBF# extremes\r\n"
               "TICK >= 1000\r\n"
               "\r\n"
               "   # turns\n"
               "  ADD crosses 0  \n"
               "\t\n"
               "ratio >= 3");
    EXPECT_EQ(read_alert_rules_file(file), (std::vector<std::string>{"TICK >= 1000", "ADD crosses 0", "ratio >= 3"}));
    EXPECT_EQ(read_alert_rules(file, declared).at(1).series, 6);

    write_text(file, "# levels\nTICK >= 1000\n\nTICK > 800\n");
    EXPECT_EQ(refusal([&] { read_alert_rules_file(file); }).rfind(text_of(file) + ":4: alert rule \"TICK > 800\"", 0),
              0u);
    write_text(file, "TICK >= 1000\rTIKC <= -1000\r");
    EXPECT_TRUE(read_alert_rules_file(file).size() == 2);
    EXPECT_EQ(refusal([&] { read_alert_rules(file, declared); }).rfind(text_of(file) + ":2: alert rule \"TIKC", 0), 0u);
    write_text(file, std::string("T\0I\0C\0K\0", 8));
    EXPECT_NE(refusal([&] { read_alert_rules_file(file); }).find("holds NUL bytes"), std::string::npos);
}

}  // namespace
}  // namespace kmi::emu
