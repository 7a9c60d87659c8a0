// Alert rules as traders write them: a series named by its declared name or a short alias, a
// comparison and a level, "TICK >= 1000", "ADD crosses 0", "ES minus NQ % crosses above 0.2".
// Names and aliases are compared in any ASCII letter case, without the spaces around them and
// with each run of spaces as one. A rule is read from its comparison outwards, since names hold
// spaces, "%", "/" and parentheses: the series before it, the level after it.
#ifndef KMI_HOST_ALERTS_ALERT_RULES_H
#define KMI_HOST_ALERTS_ALERT_RULES_H

#include <cstdint>
#include <string>
#include <vector>

namespace kmi::emu {

enum class AlertComparison : std::uint8_t {
    at_or_above,    // >=
    at_or_below,    // <=
    crosses_above,  // crosses above: below the level on the bar before, at or above it now
    crosses_below,  // crosses below: above the level on the bar before, at or below it now
    crosses,        // crosses: either
};

// A rule resolved against the study's declared series.
struct AlertRule {
    std::string text;         // as written, without the spaces around it
    std::int32_t series = 0;  // the index of the declared series it names
    std::string series_name;  // that series' declared name
    AlertComparison comparison = AlertComparison::at_or_above;
    float level = 0.0f;  // rounded to a 32-bit float, as the series' values are
};

// A rule read before the declared names are known: the series as written, without the spaces
// around it.
struct AlertRuleParts {
    std::string series;
    AlertComparison comparison = AlertComparison::at_or_above;
    float level = 0.0f;
};

// The comparison as a rule writes it: ">=", "<=", "crosses above", "crosses below", "crosses".
const char* comparison_text(AlertComparison comparison);

// Reads a rule's series, comparison and level. Throws InputError `alert rule "TEXT": WHAT` when
// it has no comparison, nothing before it, or a level that is no plain decimal (an optional
// sign, digits with an optional point, an optional exponent: no "1,000", "1e", "nan", "inf")
// within a 32-bit float's range.
AlertRuleParts split_alert_rule(const std::string& text);

// Reads a rule and resolves its series among `declared` (the study's declared series names, in
// their order; an empty name declares nothing). Throws InputError as split_alert_rule does, or
// when it names no series, "did you mean" the nearest name; both messages end with the names
// and aliases a rule may use.
AlertRule parse_alert_rule(const std::string& text, const std::vector<std::string>& declared);

// The names a rule may use, each declared name with its aliases: `"TICK", "TICK Session High" or
// "TICK high", ...`. An alias stands for its declared name only when the study declares it.
std::string alert_series_list(const std::vector<std::string>& declared);

}  // namespace kmi::emu

#endif
