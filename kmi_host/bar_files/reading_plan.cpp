#include "kmi_host/bar_files/reading_plan.h"

#include <algorithm>

#include "kmi_host/text/date_time_text.h"

namespace kmi::emu {
namespace {

std::string item(const char* name, const std::string& text) {
    std::string line = "  ";
    line += name;
    if (!text.empty()) line.append(std::max<std::size_t>(1, 12 - std::string(name).size()), ' ');
    return line + text + "\n";
}

std::string zone_text(const ReadingPlan& plan, const std::string& chart_zone) {
    if (plan.zone.empty()) return "carried by every time (an offset or a Unix time)";
    switch (plan.zone_by) {
        case DecidedBy::column_name: return plan.zone + ", as the time column's name says";
        case DecidedBy::option: return plan.zone + ", as given (--data-time-zone)";
        case DecidedBy::shape: return plan.zone + ", as the file's shape writes its times";
        case DecidedBy::data: return plan.zone;
        case DecidedBy::assumed: break;
    }
    return plan.zone + (plan.zone == chart_zone ? ", the chart's" : "") +
           " (assumed: its times carry no zone; --data-time-zone reads them in another)";
}

std::string stamps_text(const ReadingPlan& plan) {
    const std::string at = plan.stamps == BarStamps::end ? "each bar's end" : "each bar's start";
    switch (plan.stamps_by) {
        case DecidedBy::option: return at + ", as given (--bar-stamps)";
        case DecidedBy::shape: return at + ", as the file's shape stamps them";
        case DecidedBy::column_name: return at + ", as the time column's name says";
        case DecidedBy::data:
        case DecidedBy::assumed: break;
    }
    return at + " (assumed: the rule; --bar-stamps end reads bars stamped at their end)";
}

std::string order_text(const ReadingPlan& plan) {
    const std::string order =
        plan.order == DateOrder::day_first ? "day first (DD/MM/YYYY)" : "month first (MM/DD/YYYY)";
    return plan.order_by == DecidedBy::data ? order + ": a date could be read no other way"
                                            : order + " (assumed: no date has a day above 12 to tell)";
}

std::string gap_text(const ReadingPlan& plan) {
    if (plan.gaps == 0) return "none";
    const std::int64_t hours = plan.longest_gap_seconds / 3600;
    const std::int64_t minutes = plan.longest_gap_seconds % 3600 / 60;
    std::string longest = hours > 0 ? std::to_string(hours) + " h" : "";
    if (minutes > 0 || hours == 0) {
        if (!longest.empty()) longest += ' ';
        longest += std::to_string(minutes);
        longest += " min";
    }
    return std::to_string(plan.gaps) + (plan.gaps == 1 ? " step" : " steps") + " longer than a bar, the longest " +
           longest + " (before line " + std::to_string(plan.longest_gap_line) + ")";
}

std::string bar_text(std::uint64_t line, const std::string& written, HostDateTime time, const std::string& chart_zone) {
    return "line " + std::to_string(line) + ": " + written + " as written, " + format_date_time(time) + " " +
           chart_zone;
}

}  // namespace

std::string reading_plan_text(const std::string& file, const ReadingPlan& plan, const std::vector<Bar>& bars,
                              const std::vector<std::string>& notes, const std::string& chart_zone) {
    std::string out = file + ": " + std::to_string(bars.size()) + (bars.size() == 1 ? " bar" : " bars") + "\n";
    out += item("shape", plan.shape);
    out += item("columns", "");
    std::size_t widest = 0;
    for (const ColumnRead& column : plan.columns) widest = std::max(widest, column.name.size());
    for (const ColumnRead& column : plan.columns) {
        const std::string read = column.read_as.empty() ? "not read: " + column.why_not : column.read_as;
        out += "    " + column.name + std::string(widest + 2 - column.name.size(), ' ') + read + "\n";
    }
    out += item("times", plan.time_form);
    out += item("zone", zone_text(plan, chart_zone));
    out += item("bar stamps", stamps_text(plan));
    out += item("bar length", bar_length_reason(plan.length));
    if (plan.dates_year_last) out += item("dates", order_text(plan));
    out += item("volume", plan.volume);
    out += item("numbers", plan.numbers);
    out += item("prices", plan.price_scale == 1.0 ? "as written" : plan.price_scale_why);
    std::string rows = std::to_string(plan.rows) + " read, " + std::to_string(plan.bars);
    rows += plan.bars == 1 ? " bar" : " bars";
    out += item("rows", rows);
    out += item("gaps", gap_text(plan));
    if (!bars.empty()) {
        out += item("first bar", bar_text(plan.first_line, plan.first_written, bars.front().time, chart_zone));
        out += item("last bar", bar_text(plan.last_line, plan.last_written, bars.back().time, chart_zone));
    }
    out += item("notes", notes.empty() ? "none" : "");
    for (const std::string& note : notes) out += "    " + note + "\n";
    return out;
}

std::string reading_plan_summary(const std::string& file, const ReadingPlan& plan, const std::vector<Bar>& bars) {
    std::string out = file + ": " + std::to_string(bars.size()) + (bars.size() == 1 ? " bar" : " bars") + " of " +
                      bar_length_text(plan.length.seconds);
    if (plan.length.from != BarLength::From::steps) out += " (" + bar_length_why(plan.length) + ")";
    if (bars.size() == 1) out += ", at " + format_date_time(bars.front().time);
    if (bars.size() > 1)
        out += ", " + format_date_time(bars.front().time) + " to " + format_date_time(bars.back().time);
    return out;
}

}  // namespace kmi::emu
