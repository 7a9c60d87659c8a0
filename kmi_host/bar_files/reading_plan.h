// How a bar file was read, as `kmi-host inspect` shows it and a replay tells it: the shape it
// was recognised as, what each column became (or why it was not read), how its times were read
// (their form, zone and bar stamps, and where each came from), the bar length and how it was
// decided, the date order, decimal mark and price scale, and the bars it gave.
#ifndef KMI_HOST_BAR_FILES_READING_PLAN_H
#define KMI_HOST_BAR_FILES_READING_PLAN_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "kmi_host/bar_files/bar_length.h"
#include "kmi_host/bar_files/layout.h"
#include "kmi_host/bar_files/time_forms.h"

namespace kmi::emu {

// Where a decision of the reading came from.
enum class DecidedBy : std::uint8_t {
    data,         // the file's own values (an offset on every time, a day above 12, ...)
    column_name,  // the name of a column
    option,       // an option given (--data-time-zone, --bar-stamps, --columns, --bar-length)
    shape,        // what the file's shape is known for
    assumed,      // nothing said it: the rule, or the chart's zone
};

struct ColumnRead {
    std::string name;     // as the header writes it; "column N" in a file without one
    std::string read_as;  // what it became: "time", "date", "open", ...; empty: not read
    std::string why_not;  // why it was not read
};

struct ReadingPlan {
    std::string shape;  // "a header row (line 1)", "no header row: read by position as ..."
    std::vector<ColumnRead> columns;
    std::string time_form;  // how its times are written, for example "YYYY-MM-DD HH:MM:SS"
    std::string zone;       // of the times that carry none; empty: every time carries its own offset
    DecidedBy zone_by = DecidedBy::assumed;
    BarStamps stamps = BarStamps::start;
    DecidedBy stamps_by = DecidedBy::assumed;
    BarLength length;
    bool dates_only = false;       // its times are dates alone
    bool dates_year_last = false;  // whether the date order mattered (dates such as 07/08/2025)
    DateOrder order = DateOrder::month_first;
    DecidedBy order_by = DecidedBy::assumed;
    std::string volume;                       // where each bar's volume comes from
    std::string numbers = "a decimal point";  // the decimal mark, and how it was decided
    double price_scale = 1.0;                 // the prices as written were multiplied by this
    std::string price_scale_why;
    std::uint64_t rows = 0;  // the data rows read
    std::size_t bars = 0;
    std::size_t gaps = 0;  // steps longer than one bar
    std::int64_t longest_gap_seconds = 0;
    std::uint64_t longest_gap_line = 0;  // the line of the bar after it
    std::string first_written;           // the first bar's time as the file writes it
    std::string last_written;
    std::uint64_t first_line = 0;
    std::uint64_t last_line = 0;
};

// The whole plan, one item a line under a heading naming the file, its notes last: what
// `kmi-host inspect` prints. `bars` are in the chart's zone, `chart_zone`.
std::string reading_plan_text(const std::string& file, const ReadingPlan& plan, const std::vector<Bar>& bars,
                              const std::vector<std::string>& notes, const std::string& chart_zone);

// One line: the bars, their length (and how it was decided, when not by most steps) and their
// span in the chart's zone: what a replay says of each file before its notes.
std::string reading_plan_summary(const std::string& file, const ReadingPlan& plan, const std::vector<Bar>& bars);

}  // namespace kmi::emu

#endif
