// Alert rules: how a rule reads, or why it is refused.
#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "kmi_host/alerts/alert_rules.h"
#include "kmi_host/text/input_error.h"

namespace kmi::emu {
namespace {

using Comparison = AlertComparison;

// The series the study declares, as the columns of series.csv.
std::vector<std::string> declared_series() {
    const std::string header =
        "TICK,TICK Session High,TICK Session Low,TICK Bars At/Above Upper,TICK "
        "Bars At/Below Lower,TICK Session "
        "Average,ADD,ADD Change Since Open,ADD Slope Per Hour,VOLD,Up/Down "
        "Volume Ratio,VIX,VIX Change %,Term "
        "Structure Front/Back,ES % Since Open,NQ % Since Open,ES minus NQ "
        "%,Cumulative Delta (RTH),VWAP (RTH),Close "
        "minus VWAP";
    std::vector<std::string> names;
    std::istringstream columns(header);
    for (std::string name; std::getline(columns, name, ',');) names.push_back(name);
    return names;
}

const std::vector<std::string> declared = declared_series();

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
        {"TICK > 1000",
         -1,
         {},
         0,
         "alert rule \"TICK > 1000\": \">\" is no comparison; a rule is SERIES "
         ">= LEVEL"},
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
        {"Close >= 1",
         -1,
         {},
         0,
         "alert rule \"Close >= 1\": \"Close\" is no series; the series: "
         "\"TICK\", "},
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
    EXPECT_EQ(parse_alert_rule("VWAP >= 1", names).series,
              2);  // the declared name before the alias
    EXPECT_EQ(parse_alert_rule("delta >= 1", names).series, 3);
    EXPECT_EQ(alert_series_list(names), "\"Close\", \"VWAP\", \"Cumulative Delta (RTH)\" or \"delta\"");
    EXPECT_NE(refusal([&] { parse_alert_rule("ratio >= 3", names); }).find("\"ratio\" is no series"),
              std::string::npos);
}

}  // namespace
}  // namespace kmi::emu
