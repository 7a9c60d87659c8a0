#include "kmi_host/bar_files/bar_length.h"

#include <algorithm>
#include <cstdlib>
#include <map>

namespace kmi::emu {
namespace {

constexpr std::int64_t us_per_second = 1000000;
constexpr std::int64_t day_seconds = 86400;
// Steps longer than a month are gaps, not bars.
constexpr std::int64_t longest_bar_seconds = 31 * day_seconds;

// The lengths bars are commonly made of, which a file's steps are held against when no one
// step holds for most of them.
constexpr std::int32_t common_lengths[] = {1,     2,     3,     5,     10,    15,    20,    30,   60,
                                           120,   180,   300,   600,   900,   1200,  1800,  3600, 7200,
                                           10800, 14400, 21600, 28800, 43200, 86400, 604800};

// How far a step may be from a whole number of bars of `length` and still keep it: a few
// seconds of a minute (a bar stamped late), and at least a fifth of a second (one stamped with
// milliseconds).
std::int64_t tolerance_us(std::int64_t length) { return std::max<std::int64_t>(200000, length * us_per_second / 20); }

std::size_t multiples_of(const std::vector<std::int64_t>& steps_us, std::int64_t length) {
    const std::int64_t length_us = length * us_per_second;
    std::size_t agreeing = 0;
    for (const std::int64_t step : steps_us) {
        const std::int64_t bars = std::max<std::int64_t>(1, (step + length_us / 2) / length_us);
        if (std::llabs(step - bars * length_us) <= tolerance_us(length)) ++agreeing;
    }
    return agreeing;
}

}  // namespace

BarLength decide_bar_length(const std::vector<Bar>& bars, std::int32_t fallback) {
    BarLength length;
    length.seconds = fallback;
    std::map<std::int64_t, std::size_t> counts;  // the steps in whole seconds
    std::vector<std::int64_t> steps_us;
    for (std::size_t i = 1; i < bars.size(); ++i) {
        const std::int64_t step_us = bars[i].time - bars[i - 1].time;
        const std::int64_t step = (step_us + us_per_second / 2) / us_per_second;
        if (step <= 0 || step > longest_bar_seconds) continue;
        ++counts[step];
        steps_us.push_back(step_us);
    }
    length.steps = steps_us.size();
    if (counts.empty()) return length;
    length.shortest_step = static_cast<std::int32_t>(counts.begin()->first);
    length.longest_step = static_cast<std::int32_t>(counts.rbegin()->first);
    // The step most bars keep (the shorter on a tie).
    const auto most = std::max_element(counts.begin(), counts.end(),
                                       [](const auto& a, const auto& b) { return a.second < b.second; });
    length.seconds = static_cast<std::int32_t>(most->first);
    length.agreeing = most->second;
    length.from = length.steps < steps_to_judge_bar_length ? BarLength::From::too_few_bars : BarLength::From::steps;
    if (length.agreeing * 2 > length.steps || length.steps < steps_to_judge_bar_length) return length;
    // No one step holds for most: the longest common length of which most steps are whole
    // multiples.
    for (auto candidate = std::rbegin(common_lengths); candidate != std::rend(common_lengths); ++candidate) {
        const std::size_t agreeing = multiples_of(steps_us, *candidate);
        if (agreeing * 2 > length.steps) {
            length.seconds = *candidate;
            length.agreeing = agreeing;
            length.from = BarLength::From::multiples;
            return length;
        }
    }
    return length;
}

bool bar_length_holds(const BarLength& length) {
    return length.from != BarLength::From::steps || length.agreeing * 2 > length.steps;
}

std::string bar_length_text(std::int32_t seconds) {
    if (seconds >= 604800 && seconds % 604800 == 0) {
        return std::to_string(seconds / 604800) + (seconds == 604800 ? " week" : " weeks");
    }
    if (seconds >= day_seconds && seconds % day_seconds == 0) {
        return std::to_string(seconds / day_seconds) + (seconds == day_seconds ? " day" : " days");
    }
    if (seconds >= 3600 && seconds % 3600 == 0) return std::to_string(seconds / 3600) + " h";
    if (seconds >= 60 && seconds % 60 == 0) return std::to_string(seconds / 60) + " min";
    return std::to_string(seconds) + " s";
}

std::string bar_length_why(const BarLength& length) {
    const std::string of = " of " + std::to_string(length.steps) + (length.steps == 1 ? " step" : " steps");
    switch (length.from) {
        case BarLength::From::given: return "given with --bar-length";
        case BarLength::From::too_few_bars:
            return length.steps == 0 ? "assumed: too few bars to tell"
                                     : std::to_string(length.agreeing) + of + ", too few to be sure";
        case BarLength::From::steps: return std::to_string(length.agreeing) + of;
        case BarLength::From::multiples:
            return std::to_string(length.agreeing) + of + " are one or more bars of it, to within " +
                   std::to_string(tolerance_us(length.seconds) / 1000) + " ms";
    }
    return "";
}

std::string bar_length_reason(const BarLength& length) {
    return bar_length_text(length.seconds) + " (" + bar_length_why(length) + ")";
}

std::string bar_length_refusal(const BarLength& length) {
    return "no bar length holds for most of its " + std::to_string(length.steps) +
           " steps between bars (they run from " + bar_length_text(length.shortest_step) + " to " +
           bar_length_text(length.longest_step) + "; the commonest, " + bar_length_text(length.seconds) + ", is " +
           std::to_string(length.agreeing) +
           " of them): these are no bars of one length (trades, or bars of several files mixed); give bars of one "
           "length, or say it with --bar-length SECONDS";
}

std::optional<std::int32_t> parse_bar_length(std::string_view text) {
    std::int64_t number = 0;
    std::size_t at = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && number <= longest_bar_seconds) {
        number = number * 10 + (text[at++] - '0');
    }
    if (at == 0) return std::nullopt;
    const std::string_view unit = text.substr(at);
    std::int64_t scale = 0;
    if (unit.empty() || unit == "s") scale = 1;
    if (unit == "min" || unit == "m") scale = 60;
    if (unit == "h") scale = 3600;
    if (unit == "d") scale = day_seconds;
    if (unit == "w") scale = 7 * day_seconds;
    const std::int64_t seconds = number * scale;
    if (scale == 0 || seconds < 1 || seconds > longest_bar_seconds) return std::nullopt;
    return static_cast<std::int32_t>(seconds);
}

BarLength file_bar_length(const std::vector<Bar>& bars, bool dates_only, std::optional<std::int32_t> given) {
    BarLength length = decide_bar_length(bars);
    // Times of dates alone are days, unless their steps say weeks.
    if (dates_only && length.from == BarLength::From::too_few_bars && length.seconds < 7 * 86400) {
        length.seconds = 86400;
        length.steps = 0;
    }
    if (given) {
        length.seconds = *given;
        length.from = BarLength::From::given;
    }
    return length;
}

std::int32_t typical_bar_seconds(const std::vector<Bar>& bars, std::int32_t fallback) {
    return decide_bar_length(bars, fallback).seconds;
}

}  // namespace kmi::emu
