// The data rows of a bar file, read into bars before their times are settled: fields by
// the layout, prices and volumes checked, instruments counted, and what the notes will tell.
#ifndef KMI_HOST_BAR_FILES_ROWS_H
#define KMI_HOST_BAR_FILES_ROWS_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kmi_host/bar_files/instruments.h"
#include "kmi_host/bar_files/layout.h"
#include "kmi_host/bar_files/number_marks.h"
#include "kmi_host/bar_files/text_lines.h"
#include "kmi_host/bar_files/time_forms.h"
#include "kmi_host/host_core/host_core.h"

namespace kmi::emu {

struct RowsRead {
    std::vector<Bar> bars;             // each time as written: an instant (UTC) or a wall-clock time
    std::vector<std::uint32_t> lines;  // the line of each bar
    std::vector<bool> instants;        // whether each bar's time is an instant
    std::size_t instant_count = 0;
    Instruments instruments;
    std::vector<float> tick_volumes;  // the tick volumes, kept while every volume read is 0
    bool volumes_all_zero = true;
    std::size_t outside_range = 0;  // bars whose open or close lies outside their low and high
    std::uint64_t first_outside_line = 0;
    double price_divisor = 0;        // the prices were whole numbers in units of its inverse; 0: as written
    std::vector<ColumnMarks> marks;  // by column: what the marks of its numbers said
    std::size_t dashed_volumes = 0;  // volumes written "-": none, read as 0
    std::uint64_t first_dashed_volume_line = 0;
    std::uint64_t short_volume_line = 0;  // the first volume written short ("2.41B")
    std::string short_volume;
    DateClues clues;
    std::uint64_t ambiguous_date_line = 0;  // the first date that reads as two days, month or day first
    std::string ambiguous_date;
    std::uint64_t data_rows = 0;        // every data row read, kept or not
    std::uint64_t time_split_line = 0;  // the first row, whose time the header names once for two fields
    std::size_t repeated_headers = 0;   // rows that were the header again (files joined), left out
    std::uint64_t first_repeated_header_line = 0;
    std::string first_time_written;  // the times of the first and the last row kept, as written
    std::string last_time_written;
};

// What a reading must know beyond the layout.
struct RowSettings {
    DateOrder order = DateOrder::month_first;
    bool order_assumed = true;  // month first by assumption: a date that cannot be restarts day first
    std::string pick;
    std::uint64_t rows_bound = 0;       // at least the rows to come: the bars are sized once
    std::optional<HostDateTime> clock;  // this machine's clock (UTC); empty: read it
    std::vector<DecimalMark> marks;     // by column, once decided; none: as each number's marks say
};

// A date that cannot be month first in a file read month first by assumption.
struct DayFirstDates {
    std::uint64_t line = 0;
};

// Reads the rows after the layout's header (and `first`, a line already cut that is data,
// when given) to the end of the lines. Throws InputError naming the file and line, or
// DayFirstDates.
RowsRead read_rows(LineReader& lines, Layout& layout, std::optional<std::string_view> first,
                   const RowSettings& settings);

}  // namespace kmi::emu

#endif
