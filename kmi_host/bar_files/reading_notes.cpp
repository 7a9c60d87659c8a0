// What a bar file's reading tells of itself: its notes for the user and its plan.
#include "kmi_host/bar_files/reading.h"

#include "kmi_host/text/date_time_text.h"

namespace kmi::emu {
namespace {

std::string joined(const std::vector<std::string>& names, char separator) {
    std::string out;
    for (const std::string& name : names) {
        if (!out.empty()) out += separator == '\t' ? std::string(", ") : std::string(1, separator);
        out += name.empty() ? "skip" : name;
    }
    return out;
}

std::string seconds_text(std::int32_t seconds) {
    return seconds % 60 == 0 ? std::to_string(seconds / 60) + " min" : std::to_string(seconds) + " s";
}

struct Notes {
    const std::string& file;
    std::vector<std::string> lines;
    void add(const std::string& text) { lines.push_back(file + ": " + text); }
    void add(std::uint64_t line, const std::string& text) {
        lines.push_back(file + ":" + std::to_string(line) + ": " + text);
    }
};

void layout_notes(Notes& notes, const Reading& reading, const BarStamps stamps, const SettledTimes& settled) {
    const Layout& layout = reading.layout;
    if (layout.headerless) {
        std::string text = "no header row: read by position as " + joined(layout.names, layout.separator);
        if (!layout.shape.empty()) text += ", as " + layout.shape + " writes it";
        if (reading.zone_from == Reading::ZoneFrom::shape) text += ", times in " + reading.naive_zone.name;
        text += stamps == BarStamps::end ? ", each bar stamped at its end (moved back by " +
                                               seconds_text(settled.moved_back_seconds) + " to its start)"
                                         : ", each bar stamped at its start";
        notes.add(text + "; --columns, --data-time-zone and --bar-stamps read it otherwise");
    } else if (reading.header_replaced != 0) {
        notes.add(reading.header_replaced, "this header row is read as the names of --columns");
    }
    for (const auto& [line, text] : reading.banner_lines) {
        notes.add(line, "no header and no bar, \"" + text + "\": left out (a title above the header)");
    }
    if (!reading.header_text_left_out.empty()) {
        notes.add(layout.header_line, "text after the header's last name, \"" +
                                          reading.header_text_left_out.substr(0, 80) + "\", is left out");
    }
}

void time_notes(Notes& notes, const Reading& reading, const RowsRead& rows, const BarFileOptions& options,
                const SettledTimes& settled) {
    const bool naive_times = rows.instant_count < rows.bars.size();
    if (naive_times && reading.zone_from == Reading::ZoneFrom::chart) {
        notes.add("its times carry no zone: read as " + reading.naive_zone.name +
                  " time, the chart's zone (--data-time-zone ZONE, or SLOT=ZONE for one file, reads them in "
                  "another)");
    }
    if (naive_times && reading.zone_from == Reading::ZoneFrom::shape && !options.data_zone &&
        !reading.layout.headerless) {
        notes.add("its times are read as " + reading.naive_zone.name + " time, as " + reading.layout.shape +
                  " writes them (--data-time-zone reads them in another zone)");
    }
    if (naive_times && reading.zone_from == Reading::ZoneFrom::option && !reading.naive_zone.note.empty()) {
        notes.add(reading.naive_zone.note);
    }
    if (naive_times && reading.zone_from == Reading::ZoneFrom::column && !reading.layout.column_zone->note.empty()) {
        notes.add(reading.layout.column_zone->note);
    }
    if (naive_times && reading.zone_from == Reading::ZoneFrom::column && options.data_zone &&
        options.data_zone->name != reading.naive_zone.name) {
        notes.add("the time column's name gives its zone, " + reading.naive_zone.name + ", so --data-time-zone " +
                  options.data_zone->name + " does not apply to it");
    }
    if (reading.order == DateOrder::day_first) {
        notes.add("its dates are read day first (day/month/year): the date on line " +
                  std::to_string(reading.day_first_line) + " cannot be month first");
    } else if (rows.clues.ambiguous && !rows.clues.second_above_12) {
        notes.add(rows.ambiguous_date_line,
                  "dates such as " + rows.ambiguous_date +
                      " are read month first (MM/DD/YYYY), as US platforms write them: no date in the file has a "
                      "day above 12 to tell (a file written day first needs its dates written as YYYY-MM-DD)");
    }
    if (settled.newest_first) notes.add("the newest bar comes first: the bars are read in reverse order");
    if (settled.rewritten != 0) {
        notes.add(settled.first_rewritten_line,
                  (settled.rewritten == 1 ? std::string("1 row rewrites")
                                          : std::to_string(settled.rewritten) + " rows rewrite") +
                      " the bar before it at the same time (the first on this line), as a recorder rewrites its "
                      "forming bar: the last row of each time is read");
    }
    if (settled.moved_back_seconds != 0 && !reading.layout.headerless) {
        const std::string why = options.bar_stamps ? "(--bar-stamps end)"
                                : reading.layout.time_is_end
                                    ? "as the time column's name says (--bar-stamps start keeps them)"
                                : reading.layout.shape.empty()
                                    ? "(--bar-stamps start keeps them as written)"
                                    : "as " + reading.layout.shape + " stamps them (--bar-stamps start keeps them)";
        notes.add("bars stamped at their end: each moved back by its length, " +
                  seconds_text(settled.moved_back_seconds) + ", to its start " + why);
    }
    if (settled.skipped != 0) {
        notes.add(settled.first_skipped_line,
                  format_date_time(settled.first_skipped_written) + " does not exist in " + reading.naive_zone.name +
                      ": its clocks skip that hour when daylight saving time begins, so it is read an hour later" +
                      (settled.skipped > 1 ? " (and " + std::to_string(settled.skipped - 1) + " more such times)"
                                           : std::string()) +
                      "; such times are a sign that the file is in another zone (--data-time-zone)");
    }
    if (settled.repeated_once != 0) {
        notes.add(
            settled.first_repeated_once_line,
            "the hour from " + format_date_time(settled.once_written).substr(11, 5) + " on " +
                format_date_time(settled.once_written).substr(0, 10) + " comes twice in " + reading.naive_zone.name +
                " as its clocks go back, but the file writes it once: read as its first occurrence, so an hour "
                "with no bars follows" +
                (settled.repeated_once > 1 ? " (and " + std::to_string(settled.repeated_once - 1) + " more such days)"
                                           : std::string()) +
                "; a file whose times never repeat an hour is in another zone (--data-time-zone)");
    }
}

void value_notes(Notes& notes, const Reading& reading, const RowsRead& rows, bool tick_volumes) {
    const Layout& layout = reading.layout;
    const Instruments& instruments = rows.instruments;
    if (rows.time_split_line != 0) {
        notes.add(layout.header_line,
                  "the header names one column fewer than its rows have: \"" +
                      layout.written[static_cast<std::size_t>(layout.time)] +
                      "\" stands for the date and the time of day, the rows' first two fields (read so)");
    }
    if (rows.repeated_headers != 0) {
        notes.add(rows.first_repeated_header_line,
                  "the header again" +
                      (rows.repeated_headers == 1
                           ? std::string()
                           : " (" + std::to_string(rows.repeated_headers) + " times, the first on this line)") +
                      ": left out, as where two exports were joined");
    }
    if (!reading.instrument_column.empty()) {
        std::string rolls;
        for (std::size_t run = 1; run < instruments.runs.size() && run <= 12; ++run) {
            rolls += (run == 1 ? "" : ", ") + instruments.values[instruments.runs[run - 1].value] + " to " +
                     instruments.values[instruments.runs[run].value] + " on line " +
                     std::to_string(instruments.runs[run].line);
        }
        if (instruments.runs.size() > 13) rolls += ", ...";
        notes.add("column \"" + reading.instrument_column + "\" changes " +
                  std::to_string(instruments.runs.size() - 1) + (instruments.runs.size() == 2 ? " time" : " times") +
                  ", one instrument following another in time, read as one series (a roll from one contract to "
                  "the next): " +
                  rolls);
    }
    if (layout.open < 0 || layout.high < 0 || layout.low < 0) {
        notes.add("no open, high or low column: every bar takes its close for the missing ones");
    }
    if (rows.dashed_volumes != 0) {
        notes.add(rows.first_dashed_volume_line, std::to_string(rows.dashed_volumes) +
                                                     " volumes are written \"-\" (the first on this line): read as 0");
    }
    if (rows.short_volume_line != 0) {
        notes.add(rows.short_volume_line, "volumes are written short (\"" + rows.short_volume +
                                              "\"): K, M and B are read as thousands, millions and billions, as "
                                              "exact as written");
    }
    if (rows.outside_range != 0) {
        notes.add(rows.first_outside_line,
                  "the open or close of " +
                      (rows.outside_range == 1 ? std::string("1 bar lies outside its low and high")
                                               : std::to_string(rows.outside_range) +
                                                     " bars lie outside their low and high (the first on this line)") +
                      "; read as written");
    }
    if (tick_volumes) {
        const std::string volume =
            layout.volume >= 0
                ? "column \"" + layout.names[static_cast<std::size_t>(layout.volume)] + "\" is 0 throughout"
                : "no volume column";
        notes.add(volume + ": the volume is the tick volume of \"" +
                  layout.names[static_cast<std::size_t>(layout.tick_volume)] + "\" (the number of price changes)");
    }
    if (rows.price_divisor == 1e9) {
        notes.add("its prices are fixed-point integers in units of 1e-9, as " + layout.shape +
                  " writes them: divided by 10^9");
    }
    if (rows.price_divisor == 1e4) {
        notes.add(
            "its prices are whole numbers of ten-thousandths, as LEAN writes the prices of equities and "
            "options: divided by 10 000");
    }
    for (const auto& [line, text] : marks_notes(reading.marks, rows.marks, layout.written)) notes.add(line, text);
}

// How the file's times are written, with its first as an example.
std::string time_form_text(const Layout& layout, const RowsRead& rows) {
    const std::string example = " (\"" + rows.first_time_written + "\")";
    if (layout.time_of_day >= 0) return "a date and a time of day in two columns" + example;
    if (layout.file_day) {
        return "milliseconds after midnight" + example + " of " + format_date(*layout.file_day / us_per_day) +
               ", the date of the file's name, as LEAN writes its files of a day";
    }
    const std::string_view first = rows.first_time_written;
    if (is_whole_number(first) && !rows.instants.empty() && rows.instants.front()) {
        const std::size_t digits = first.size() - (first.front() == '-' ? 1 : 0);
        const char* unit = digits <= 11   ? "seconds"
                           : digits <= 14 ? "milliseconds"
                           : digits <= 17 ? "microseconds"
                                          : "nanoseconds";
        return std::string("a Unix time in ") + unit + example;
    }
    if (rows.instant_count == rows.bars.size()) return "a date and time with its UTC offset" + example;
    return "a date and time in one column" + example;
}

DecidedBy zone_decided_by(Reading::ZoneFrom from) {
    switch (from) {
        case Reading::ZoneFrom::column: return DecidedBy::column_name;
        case Reading::ZoneFrom::option: return DecidedBy::option;
        case Reading::ZoneFrom::shape: return DecidedBy::shape;
        case Reading::ZoneFrom::chart: break;
    }
    return DecidedBy::assumed;
}

std::string shape_text(const Reading& reading) {
    const Layout& layout = reading.layout;
    if (layout.named_by_option) {
        return reading.header_replaced != 0
                   ? "the names of --columns, for the header row on line " + std::to_string(reading.header_replaced)
                   : "no header row: the names of --columns";
    }
    if (layout.headerless) {
        return "no header row: read by position" + (layout.shape.empty() ? std::string() : ", as " + layout.shape);
    }
    return "a header row (line " + std::to_string(layout.header_line) + ")" +
           (layout.shape.empty() ? std::string() : ", as " + layout.shape + " writes it");
}

// The steps between bars longer than one bar, and the longest of them.
void count_gaps(ReadingPlan& plan, const std::vector<Bar>& bars, const RowsRead& rows) {
    const std::int64_t length = plan.length.seconds;
    for (std::size_t i = 1; i < bars.size(); ++i) {
        const std::int64_t step = (bars[i].time - bars[i - 1].time + us_per_second / 2) / us_per_second;
        if (step * 2 <= length * 3) continue;
        ++plan.gaps;
        if (step > plan.longest_gap_seconds) {
            plan.longest_gap_seconds = step;
            plan.longest_gap_line = rows.lines[i];
        }
    }
}

// Where each bar's volume comes from.
std::string volume_text(const Layout& layout, bool tick_volumes) {
    const auto name = [&layout](int column) { return "\"" + layout.written[static_cast<std::size_t>(column)] + "\""; };
    if (tick_volumes) return "the tick volume of " + name(layout.tick_volume) + " (the volume column is 0 throughout)";
    if (layout.volume >= 0) return "from " + name(layout.volume);
    if (layout.up_volume >= 0 || layout.down_volume >= 0) {
        return "up and down volume added, from " + name(layout.up_volume >= 0 ? layout.up_volume : layout.down_volume) +
               (layout.up_volume >= 0 && layout.down_volume >= 0 ? " and " + name(layout.down_volume) : "");
    }
    return "none: no column says volume, so every bar's volume is 0";
}

}  // namespace

std::vector<std::string> reading_notes(const std::string& file, const Reading& reading, const RowsRead& rows,
                                       const BarFileOptions& options, const SettledTimes& settled, BarStamps stamps,
                                       bool tick_volumes) {
    Notes notes{file, {}};
    layout_notes(notes, reading, stamps, settled);
    time_notes(notes, reading, rows, options, settled);
    value_notes(notes, reading, rows, tick_volumes);
    return std::move(notes.lines);
}

ReadingPlan plan_of(const Reading& reading, const RowsRead& rows, const SettledTimes& settled,
                    const BarFileOptions& options, const std::vector<Bar>& bars, bool tick_volumes) {
    const Layout& layout = reading.layout;
    ReadingPlan plan;
    plan.shape = shape_text(reading);
    plan.columns = layout_columns(layout);
    plan.time_form = time_form_text(layout, rows);
    if (rows.instant_count < rows.bars.size()) {
        plan.zone = reading.naive_zone.name;
        plan.zone_by = zone_decided_by(reading.zone_from);
    }
    plan.stamps = options.bar_stamps.value_or(layout.time_is_end ? BarStamps::end : layout.shape_stamps);
    plan.stamps_by = options.bar_stamps     ? DecidedBy::option
                     : layout.time_is_end   ? DecidedBy::column_name
                     : layout.shape.empty() ? DecidedBy::assumed
                                            : DecidedBy::shape;
    plan.length = file_bar_length(bars, reading.dates_only, options.bar_seconds);
    plan.dates_only = reading.dates_only;
    plan.dates_year_last = rows.clues.year_last;
    plan.order = reading.order;
    plan.order_by = reading.day_first_line != 0 || rows.clues.second_above_12 ? DecidedBy::data : DecidedBy::assumed;
    plan.numbers = numbers_text(reading.marks, rows.marks, reading.layout.written);
    if (rows.price_divisor == 1e4) {
        plan.price_scale = 1e-4;
        plan.price_scale_why =
            "divided by 10 000: whole numbers of ten-thousandths, as LEAN writes the prices of "
            "equities and options";
    }
    if (rows.price_divisor == 1e9) {
        plan.price_scale = 1e-9;
        plan.price_scale_why =
            "divided by 10^9: fixed-point integers in units of 1e-9, as " + layout.shape + " writes them";
    }
    plan.volume = volume_text(layout, tick_volumes);
    plan.rows = rows.data_rows;
    plan.bars = bars.size();
    count_gaps(plan, bars, rows);
    if (!bars.empty()) {
        plan.first_written = settled.newest_first ? rows.last_time_written : rows.first_time_written;
        plan.last_written = settled.newest_first ? rows.first_time_written : rows.last_time_written;
        plan.first_line = rows.lines.front();
        plan.last_line = rows.lines.back();
    }
    return plan;
}

}  // namespace kmi::emu
