// Bar files as traders have them: exported from a platform, downloaded from a data vendor or
// written by a data library, in any zone, oldest or newest bar first, with a header row
// naming the columns or without one. Every bar comes out as a time of the chart's zone, in
// time order, or the file is refused with a message naming the file and line and saying what
// would read it. Whatever the reader assumes (a zone, the columns of a file without a header,
// the bar-stamp convention, the order of day and month) it says in a note.
//
// Columns are found by name (kmi_host/bar_files/layout.h); a file without a header is read
// by position when its first line has a known shape, or by the names of --columns. Times
// (kmi_host/bar_files/time_forms.h):
// - with "Z", " UTC" or a UTC offset: that exact instant; a whole number: a Unix time;
// - otherwise a wall-clock time: of the zone the time column's name carries ("..._utc",
//   "Time (ET)"), else of --data-time-zone, else of the zone the file's shape is known to
//   write, else of the chart's zone (with a note);
// - a wall-clock time the zone skips (clocks going forward) does not exist: it is read with
//   the offset before the change, an hour later, with a note; one the zone repeats (clocks
//   going back) is its first occurrence, unless that is not after the bar before it.
// The file's order (oldest or newest first) is judged once the times are instants, by most of
// its rows. Bars stamped at their end are moved back by the file's typical bar length.
#ifndef KMI_HOST_BAR_FILES_READER_H
#define KMI_HOST_BAR_FILES_READER_H

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kmi_host/bar_files/bar_length.h"
#include "kmi_host/bar_files/layout.h"
#include "kmi_host/bar_files/number_marks.h"
#include "kmi_host/bar_files/reading_plan.h"
#include "kmi_host/bar_files/time_zone.h"
#include "kmi_host/host_core/host_core.h"

namespace kmi::emu {

// How one bar file is read.
struct BarFileOptions {
    TimeZone chart_zone = default_chart_zone();  // every bar time ends in it
    std::optional<TimeZone> data_zone;           // of times that carry none; empty: the file's own, or the chart's
    std::string pick;                         // a value of the file's symbol/contract/instrument_id column; empty: none
    std::optional<BarStamps> bar_stamps;      // empty: as the file's shape stamps them (at their start, as a rule)
    std::vector<std::string> columns;         // the names of the columns, for a file without a header row
    std::optional<std::int32_t> bar_seconds;  // the bars' length; empty: decided from the steps between them
    std::optional<HostDateTime> clock;        // this machine's clock (UTC), bars may not be long after; empty: read it
    std::optional<DecimalMark> decimal_mark;  // of every column; empty: decided by each column's numbers
};

struct AppendedRows;  // kmi_host/bar_files/appended_rows.h

// A bar file as read: its bars in time order, and notes for the user (one line each).
struct BarFile {
    std::vector<Bar> bars;
    std::vector<std::string> notes;
    std::optional<TimeZone> naive_zone;   // of the times that carried none; empty when every time carried its own
    BarStamps stamps = BarStamps::start;  // where in its period each bar's time fell, as the file was read
    // How rows appended to the file later are read: as this reading read its rows.
    std::shared_ptr<const AppendedRows> appended;
    ReadingPlan plan;  // how it was read
};

// The bars of a text in memory; `file_name` names the file in messages, which also give the
// line ("FILE:LINE: ..."). Throws InputError.
BarFile parse_bar_file(std::string_view text, const std::string& file_name, const BarFileOptions& options = {});

// Reads a bar file, streaming it. Throws InputError, also when memory runs out.
BarFile read_bar_file(const std::filesystem::path& file, const BarFileOptions& options = {});

}  // namespace kmi::emu

#endif
