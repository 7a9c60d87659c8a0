#include "kmi_host/alerts/alert_rules.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string_view>
#include <system_error>

#include "kmi_host/text/input_error.h"
#include "kmi_host/text/names.h"

namespace kmi::emu {
namespace {

// Short names traders type for the study's declared series. An alias resolves only when the
// study declares its name.
struct SeriesAlias {
    const char* alias;
    const char* declared;
};

constexpr SeriesAlias series_aliases[] = {
    {"TICK high", "TICK Session High"},
    {"TICK low", "TICK Session Low"},
    {"TICK bars above", "TICK Bars At/Above Upper"},
    {"TICK bars below", "TICK Bars At/Below Lower"},
    {"TICK average", "TICK Session Average"},
    {"ADD change", "ADD Change Since Open"},
    {"ADD slope", "ADD Slope Per Hour"},
    {"ratio", "Up/Down Volume Ratio"},
    {"up/down", "Up/Down Volume Ratio"},
    {"VIX change", "VIX Change %"},
    {"term", "Term Structure Front/Back"},
    {"ES%", "ES % Since Open"},
    {"NQ%", "NQ % Since Open"},
    {"ES-NQ", "ES minus NQ %"},
    {"ES vs NQ", "ES minus NQ %"},
    {"delta", "Cumulative Delta (RTH)"},
    {"VWAP", "VWAP (RTH)"},
    {"close-VWAP", "Close minus VWAP"},
};

constexpr const char* rule_form =
    "a rule is SERIES >= LEVEL, SERIES <= LEVEL, SERIES crosses above LEVEL, SERIES crosses below LEVEL or "
    "SERIES crosses LEVEL, such as \"TICK >= 1000\" or \"ADD crosses 0\"";

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && is_space(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_space(text.back())) text.remove_suffix(1);
    return text;
}

// A name as rules compare it: lower case, without the spaces around it, each run of spaces one.
std::string name_key(std::string_view name) {
    std::string key;
    for (char c : trimmed(name)) {
        if (!is_space(c)) {
            key += c;
        } else if (!key.empty() && key.back() != ' ') {
            key += ' ';
        }
    }
    return lower_ascii(std::move(key));
}

std::string quoted(std::string_view text) {
    std::string out(1, '"');
    out.append(text);
    out += '"';
    return out;
}

[[noreturn]] void refuse(const std::string& rule, const std::string& what) {
    throw InputError("alert rule " + quoted(rule) + ": " + what);
}

// Whether `word` stands in `text` at `at` as a word of its own: after the start or a space,
// before the end or a space.
bool word_at(std::string_view text, std::size_t at, std::string_view word) {
    return text.substr(at, word.size()) == word && (at == 0 || is_space(text[at - 1])) &&
           (at + word.size() == text.size() || is_space(text[at + word.size()]));
}

// The last occurrence of the word "crosses" (in lower case), or npos.
std::size_t last_crosses(std::string_view lower) {
    for (std::size_t at = lower.rfind("crosses"); at != std::string_view::npos;
         at = at == 0 ? std::string_view::npos : lower.rfind("crosses", at - 1)) {
        if (word_at(lower, at, "crosses")) return at;
    }
    return std::string_view::npos;
}

// A plain decimal: an optional sign, digits with an optional point (a digit on one side of it at
// least), an optional exponent with digits.
bool is_plain_decimal(std::string_view text) {
    std::size_t at = 0;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
    std::size_t digits = 0;
    for (; at < text.size() && is_digit(text[at]); ++at) ++digits;
    if (at < text.size() && text[at] == '.') {
        for (++at; at < text.size() && is_digit(text[at]); ++at) ++digits;
    }
    if (digits == 0) return false;
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        ++at;
        if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
        std::size_t exponent_digits = 0;
        for (; at < text.size() && is_digit(text[at]); ++at) ++exponent_digits;
        if (exponent_digits == 0) return false;
    }
    return at == text.size();
}

float level_of(const std::string& rule, std::string_view text, const char* comparison) {
    if (text.empty()) refuse(rule, std::string("no level after \"") + comparison + "\"; " + rule_form);
    if (!is_plain_decimal(text)) {
        refuse(rule, quoted(text) +
                         " is no level: a level is a plain decimal number such as 1000, -1000, 0.2 or 2.5e3 (no "
                         "thousands separators)");
    }
    if (text.front() == '+') text.remove_prefix(1);
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() ||
        std::fabs(value) > static_cast<double>(std::numeric_limits<float>::max())) {
        refuse(rule, quoted(text) + " is out of the range of a series' values (a 32-bit float)");
    }
    return static_cast<float>(value);
}

// The comparison that reads a rule: the last ">=", "<=" or word "crosses" in it.
struct FoundComparison {
    std::size_t at = std::string_view::npos;
    std::size_t length = 0;
    AlertComparison comparison = AlertComparison::at_or_above;
};

FoundComparison find_comparison(std::string_view text) {
    const std::string lower = lower_ascii(std::string(text));
    FoundComparison found;
    const auto take = [&](std::size_t at, std::size_t length, AlertComparison comparison) {
        if (at != std::string_view::npos && (found.at == std::string_view::npos || at > found.at))
            found = FoundComparison{at, length, comparison};
    };
    take(lower.rfind(">="), 2, AlertComparison::at_or_above);
    take(lower.rfind("<="), 2, AlertComparison::at_or_below);
    const std::size_t crosses = last_crosses(lower);
    take(crosses, 7, AlertComparison::crosses);
    if (found.at != crosses || crosses == std::string_view::npos) return found;
    // "crosses above" and "crosses below": the next word after "crosses".
    std::size_t next = crosses + 7;
    while (next < lower.size() && is_space(lower[next])) ++next;
    if (word_at(lower, next, "above"))
        found = FoundComparison{crosses, next + 5 - crosses, AlertComparison::crosses_above};
    if (word_at(lower, next, "below"))
        found = FoundComparison{crosses, next + 5 - crosses, AlertComparison::crosses_below};
    return found;
}

// The alias's declared series among `declared`, or -1.
std::int32_t declared_index(const std::vector<std::string>& declared, std::string_view name) {
    for (std::size_t k = 0; k < declared.size(); ++k) {
        if (!declared[k].empty() && declared[k] == name) return static_cast<std::int32_t>(k);
    }
    return -1;
}

}  // namespace

const char* comparison_text(AlertComparison comparison) {
    switch (comparison) {
        case AlertComparison::at_or_above: return ">=";
        case AlertComparison::at_or_below: return "<=";
        case AlertComparison::crosses_above: return "crosses above";
        case AlertComparison::crosses_below: return "crosses below";
        case AlertComparison::crosses: return "crosses";
    }
    return "?";
}

AlertRuleParts split_alert_rule(const std::string& text) {
    const std::string rule(trimmed(text));
    if (rule.empty()) refuse(rule, std::string("is empty; ") + rule_form);
    const FoundComparison found = find_comparison(rule);
    if (found.at == std::string_view::npos) {
        const std::size_t sign = rule.find_first_of("<>=!");
        if (sign == std::string::npos) refuse(rule, std::string("no comparison; ") + rule_form);
        const std::string written = rule.substr(sign, rule.find_first_not_of("<>=!", sign) - sign);
        refuse(rule, quoted(written) + " is no comparison; " + rule_form);
    }
    AlertRuleParts parts;
    parts.comparison = found.comparison;
    parts.series = std::string(trimmed(std::string_view(rule).substr(0, found.at)));
    if (parts.series.empty()) {
        refuse(rule, std::string("no series before \"") + comparison_text(found.comparison) + "\"; " + rule_form);
    }
    parts.level = level_of(rule, trimmed(std::string_view(rule).substr(found.at + found.length)),
                           comparison_text(found.comparison));
    return parts;
}

std::string alert_series_list(const std::vector<std::string>& declared) {
    std::string list;
    for (const std::string& name : declared) {
        if (name.empty()) continue;
        if (!list.empty()) list += ", ";
        list += quoted(name);
        for (const SeriesAlias& alias : series_aliases) {
            if (name == alias.declared) list += " or " + quoted(alias.alias);
        }
    }
    return list;
}

AlertRule parse_alert_rule(const std::string& text, const std::vector<std::string>& declared) {
    const std::string names = "; the series: " + alert_series_list(declared);
    AlertRuleParts parts;
    try {
        parts = split_alert_rule(text);
    } catch (const InputError& error) {
        throw InputError(error.what() + names);
    }
    AlertRule rule{std::string(trimmed(text)), -1, {}, parts.comparison, parts.level};
    const std::string key = name_key(parts.series);
    std::vector<std::string> keys;  // every name and alias a rule may use, for "did you mean"
    std::vector<std::string> shown;
    for (std::size_t k = 0; k < declared.size() && rule.series < 0; ++k) {
        if (declared[k].empty()) continue;
        if (name_key(declared[k]) == key) rule.series = static_cast<std::int32_t>(k);
        keys.push_back(name_key(declared[k]));
        shown.push_back(declared[k]);
    }
    for (const SeriesAlias& alias : series_aliases) {
        const std::int32_t k = declared_index(declared, alias.declared);
        if (k < 0 || rule.series >= 0) continue;
        if (name_key(alias.alias) == key) rule.series = k;
        keys.push_back(name_key(alias.alias));
        shown.push_back(alias.alias);
    }
    if (rule.series < 0) {
        // A word longer than every name by more than two letters is no name mistyped (and its edit
        // distances would take memory in proportion to its length).
        std::size_t longest = 0;
        for (const std::string& name : keys) longest = std::max(longest, name.size());
        const std::optional<std::string> nearest = key.size() <= longest + 2 ? nearest_name(key, keys) : std::nullopt;
        std::string what = quoted(parts.series) + " is no series";
        for (std::size_t i = 0; nearest && i < keys.size(); ++i) {
            if (keys[i] == *nearest) {
                what += " (did you mean " + quoted(shown[i]) + "?)";
                break;
            }
        }
        refuse(rule.text, what + names);
    }
    rule.series_name = declared[static_cast<std::size_t>(rule.series)];
    return rule;
}

}  // namespace kmi::emu
