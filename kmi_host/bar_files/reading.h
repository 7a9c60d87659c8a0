// A bar file's reading as the reader's files share it: what was decided besides the rows (the
// layout, the date order, the zone and where it came from), and what the reading tells of
// itself: its notes for the user and its plan.
#ifndef KMI_HOST_BAR_FILES_READING_H
#define KMI_HOST_BAR_FILES_READING_H

#include <cstdint>
#include <string>
#include <vector>

#include "kmi_host/bar_files/bar_times.h"
#include "kmi_host/bar_files/number_marks.h"
#include "kmi_host/bar_files/reader.h"
#include "kmi_host/bar_files/reading_plan.h"
#include "kmi_host/bar_files/rows.h"
#include "kmi_host/bar_files/time_zone.h"

namespace kmi::emu {

// What was read besides the rows, for the notes.
struct Reading {
    Layout layout;
    std::uint64_t header_replaced = 0;                                // the line of a header row --columns stands for
    std::vector<std::pair<std::uint64_t, std::string>> banner_lines;  // title lines skipped above the header
    std::string header_text_left_out;                                 // after the header's last quoted name
    DateOrder order = DateOrder::month_first;
    std::uint64_t day_first_line = 0;  // the line that showed the dates are day first
    TimeZone naive_zone;
    enum class ZoneFrom : std::uint8_t { column, option, shape, chart } zone_from = ZoneFrom::chart;
    std::string instrument_column;  // several instruments, one after another
    MarksDecided marks;             // the decimal mark of each column
    bool dates_only = false;        // its times are dates alone: one bar a day
};

// The notes for the user, one line each, naming the file (and the line where one is to blame).
std::vector<std::string> reading_notes(const std::string& file, const Reading& reading, const RowsRead& rows,
                                       const BarFileOptions& options, const SettledTimes& settled, BarStamps stamps,
                                       bool tick_volumes);

// The plan of the reading: how each decision was made, and the bars it gave.
ReadingPlan plan_of(const Reading& reading, const RowsRead& rows, const SettledTimes& settled,
                    const BarFileOptions& options, const std::vector<Bar>& bars, bool tick_volumes);

}  // namespace kmi::emu

#endif
