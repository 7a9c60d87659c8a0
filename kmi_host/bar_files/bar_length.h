// The length of a file's bars, decided from the steps between their times: each step rounded
// to whole seconds (a time stamped with milliseconds, or a few seconds late, belongs to the bar
// it stamps), the length most steps keep, or else the longest common length of which most steps
// are whole multiples (bars missing where nothing traded). Daily and weekly bars are bars too.
#ifndef KMI_HOST_BAR_FILES_BAR_LENGTH_H
#define KMI_HOST_BAR_FILES_BAR_LENGTH_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kmi_host/host_core/chart.h"

namespace kmi::emu {

struct BarLength {
    std::int32_t seconds = 60;
    enum class From : std::uint8_t { steps, multiples, too_few_bars, given } from = From::too_few_bars;
    std::size_t steps = 0;           // the steps between bars that followed each other
    std::size_t agreeing = 0;        // of those, the steps of the length (from steps), or of whole multiples of it
    std::int32_t shortest_step = 0;  // of the steps, in whole seconds, for messages
    std::int32_t longest_step = 0;
};

// Fewer steps than this tell no bar length for certain: the length most of them keep is taken
// (the shorter on a tie), and none is refused.
inline constexpr std::size_t steps_to_judge_bar_length = 10;

// The length of `bars` (times in order); `fallback` with fewer than two bars.
BarLength decide_bar_length(const std::vector<Bar>& bars, std::int32_t fallback = 60);

// The length of a file's bars as its reading decides it: `given` (--bar-length) when set, else
// decided from the bars, and a day for times of dates alone unless enough steps say otherwise.
BarLength file_bar_length(const std::vector<Bar>& bars, bool dates_only, std::optional<std::int32_t> given);

// Whether the length holds for most steps (or there were too few to tell).
bool bar_length_holds(const BarLength& length);

// "60 s", "5 min", "1 h", "1 day", "1 week".
std::string bar_length_text(std::int32_t seconds);

// How it was decided: "388 of 389 steps", "assumed: too few bars to tell".
std::string bar_length_why(const BarLength& length);

// The length and how it was decided, for the reading plan: "1 min (388 of 389 steps)".
std::string bar_length_reason(const BarLength& length);

// Why a file whose length does not hold is refused, and the fix.
std::string bar_length_refusal(const BarLength& length);

// A length as --bar-length takes it: seconds, or a number with s, min, h, d or w after it
// ("90", "5min", "1d"). Nothing when it is none, or not above 0 and at most 31 days.
std::optional<std::int32_t> parse_bar_length(std::string_view text);

// The bar length in seconds of decide_bar_length.
std::int32_t typical_bar_seconds(const std::vector<Bar>& bars, std::int32_t fallback = 60);

}  // namespace kmi::emu

#endif
