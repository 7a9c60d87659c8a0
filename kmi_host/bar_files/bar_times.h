// Settling the times of the bars read: each wall-clock time to the instant it stands for in
// its zone, the file's order told by most of its rows (a newest-first file is turned), the
// order checked row by row, bars stamped at their end moved back by their length, and every
// time made the chart zone's wall-clock time.
#ifndef KMI_HOST_BAR_FILES_BAR_TIMES_H
#define KMI_HOST_BAR_FILES_BAR_TIMES_H

#include <cstdint>
#include <string>

#include "kmi_host/bar_files/layout.h"
#include "kmi_host/bar_files/rows.h"
#include "kmi_host/bar_files/time_zone.h"

namespace kmi::emu {

struct TimeSettings {
    ZoneOffsets naive_zone;  // of the times that carry none
    ZoneOffsets chart_zone;
    BarStamps stamps = BarStamps::start;
    std::optional<std::int32_t> bar_seconds;  // given: bars stamped at their end move back by it
    HostDateTime latest = 0;                  // the latest a bar's time can be (UTC)
    std::string instrument_column;            // when the file's instruments follow one another: its name
    bool dates_only = false;                  // the times are dates alone: one bar a day
    std::string unread_time_column;           // a column whose name says hour or time that is not read
};

// What settling did, for the notes.
struct SettledTimes {
    bool newest_first = false;
    std::int32_t moved_back_seconds = 0;  // bars stamped at their end: moved back by this
    HostDateTime last_instant = 0;        // of the last bar in time order, as written
    std::size_t rewritten = 0;            // rows that rewrote the bar before them (a forming bar)
    std::uint64_t first_rewritten_line = 0;
    std::size_t skipped = 0;  // wall-clock times the naive zone skips
    std::uint64_t first_skipped_line = 0;
    HostDateTime first_skipped_written = 0;
    std::size_t repeated_once = 0;  // hours the zone repeats (clocks going back) that the rows write once
    std::uint64_t first_repeated_once_line = 0;
    HostDateTime once_written = 0;  // the first time written in the first of them
};

// Whether `later`, a row at the time of the row before it, is that bar rewritten as it forms:
// a recorder writes its forming bar again and again, keeping its open while its high and low
// only widen.
bool rewrites_bar(const Bar& earlier, const Bar& later);

// Settles `rows` in place: their times become the chart zone's, in time order; in a file that
// runs oldest first, a row that rewrites the bar before it takes its place. Throws
// InputError naming the file and the line at fault.
SettledTimes settle_bar_times(RowsRead& rows, TimeSettings& settings, const std::string& file);

}  // namespace kmi::emu

#endif
