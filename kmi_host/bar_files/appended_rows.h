// The rows a recorder appends to a bar file after it was read: each line read as the file's
// first reading read its rows, with its columns, date order, pick, zones and bar stamps.
#ifndef KMI_HOST_BAR_FILES_APPENDED_ROWS_H
#define KMI_HOST_BAR_FILES_APPENDED_ROWS_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "kmi_host/bar_files/layout.h"
#include "kmi_host/bar_files/rows.h"
#include "kmi_host/bar_files/time_zone.h"
#include "kmi_host/host_core/host_core.h"

namespace kmi::emu {

struct AppendedRows {
    std::string file;  // as named in messages
    Layout layout;
    RowSettings settings;
    bool tick_volumes = false;  // the volume is the tick volume column's
    ZoneOffsets naive_zone;     // of the times that carry none
    ZoneOffsets chart_zone;
    HostDateTime moved_back = 0;  // bars stamped at their end are moved back by this
    // The instant of the last bar taken, as written: a wall-clock time of the hour repeated
    // when clocks go back is its second occurrence when the first is not after it.
    std::optional<HostDateTime> last_instant;
};

// One line read: a bar (its time the chart zone's, and `instant` the instant it was written
// for), nothing (a blank line, or a row of an instrument not picked), or a fault: what is
// wrong with it, naming the file and line.
struct AppendedRow {
    std::optional<Bar> bar;
    HostDateTime instant = 0;
    std::string fault;
};

// Reads line `line_number` of the file (without its line end). Of `rows` only the zones' spans
// of their last offsets change: the caller keeps `instant` as the last instant when it takes the
// bar.
AppendedRow read_appended_row(AppendedRows& rows, std::string_view line, std::uint64_t line_number);

}  // namespace kmi::emu

#endif
