#include "kmi_host/bar_files/reader.h"

#include <algorithm>
#include <new>
#include <stdexcept>

#include "kmi_host/bar_files/appended_rows.h"
#include "kmi_host/bar_files/bar_times.h"
#include "kmi_host/bar_files/compressed_files.h"
#include "kmi_host/bar_files/fields.h"
#include "kmi_host/bar_files/lean_files.h"
#include "kmi_host/bar_files/reading.h"
#include "kmi_host/bar_files/reading_plan.h"
#include "kmi_host/bar_files/rows.h"
#include "kmi_host/bar_files/rows_bound.h"
#include "kmi_host/bar_files/text_lines.h"
#include "kmi_host/text/date_time_text.h"
#include "kmi_host/text/input_error.h"
#include "kmi_host/text/path_text.h"

namespace kmi::emu {
namespace {

// A bar file to read: a file, or a text already in memory.
struct BarSource {
    const std::filesystem::path* file = nullptr;
    std::string_view text;
};

LineReader open_source(const BarSource& source, const std::string& name) {
    return source.file != nullptr ? open_lines(*source.file, name) : text_lines(source.text, name);
}

std::uint64_t rows_bound(const BarSource& source, const Layout& layout) {
    return source.file != nullptr ? row_count_bound(*source.file, layout) : row_count_bound(source.text, layout);
}

bool all_numbers(const std::vector<std::string_view>& fields) {
    return std::all_of(fields.begin(), fields.end(), [](std::string_view field) {
        if (!field.empty() && (field.front() == '-' || field.front() == '+')) field.remove_prefix(1);
        return !field.empty() && field.find_first_not_of("0123456789.,") == std::string_view::npos;
    });
}

// A line before the header that is no header and no row: a data site's title ("https://...",
// "Bitstamp BTC/USD 1h"), one field alone.
bool is_banner(const FieldSplitter& probe) {
    const auto filled =
        std::count_if(probe.fields.begin(), probe.fields.end(), [](std::string_view field) { return !field.empty(); });
    return filled == 1 && !probe.fields.empty() && !probe.fields.front().empty() &&
           !is_whole_number(probe.fields.front()) && !parse_bar_time(probe.fields.front()).has_value();
}

// Text after the last quoted name of a header, `"Date","Time",..."Volume"  ### comment`: the
// text, which the header leaves out; empty when there is none.
std::string_view text_after_quotes(std::string_view line, char separator) {
    const std::size_t quote = line.rfind('"');
    if (quote == std::string_view::npos || line.front() != '"') return {};
    std::string_view after = line.substr(quote + 1);
    while (!after.empty() && (after.front() == ' ' || after.front() == '\t')) after.remove_prefix(1);
    if (after.empty() || after.front() == separator) return {};
    return after;
}

// The layout, from the first line that holds anything: a header, the names of --columns, or a
// known shape of a first line of data (which `first_data` then holds). Title lines above a
// header are skipped, and text after a quoted header's last name left out; the reading says so.
Layout find_layout(LineReader& lines, const BarFileOptions& options, std::optional<std::string_view>& first_data,
                   Reading& reading) {
    std::string_view line;
    while (next_line(lines, line)) {
        FieldSplitter probe;
        probe.separator = separator_of(line);
        const std::string_view after = text_after_quotes(line, probe.separator);
        if (!after.empty()) {
            reading.header_text_left_out = std::string(after);
            line = line.substr(0, line.rfind('"') + 1);
        }
        split_fields(probe, line, lines.name, lines.line_number);
        if (fields_empty(probe)) continue;
        if (is_banner(probe) && reading.banner_lines.size() < 3) {
            reading.banner_lines.emplace_back(lines.line_number, std::string(probe.fields.front().substr(0, 80)));
            continue;
        }
        const bool data = looks_like_data(probe.fields);
        if (!options.columns.empty()) {
            Layout layout = layout_of_names(options.columns, probe.separator);
            const std::size_t fields =
                probe.fields.size() > 1 && probe.fields.back().empty() ? probe.fields.size() - 1 : probe.fields.size();
            // A line of numbers alone is data, whatever its time: its time is then read (and told
            // when it is none), never taken for a header. A header may have fewer names than --columns.
            const bool row = holds_time(layout, probe.fields) || all_numbers(probe.fields);
            if (row && fields != layout.field_count) {
                throw InputError("--columns names " + std::to_string(layout.field_count) + " columns, but " +
                                 lines.name + ":" + std::to_string(lines.line_number) + " has " +
                                 std::to_string(fields) + " fields");
            }
            if (row) {
                first_data = line;
            } else {
                reading.header_replaced = lines.line_number;
            }
            return layout;
        }
        if (data) {
            first_data = line;
            return layout_by_position(probe.fields, line, probe.separator, lines.name, lines.line_number);
        }
        if (is_lean_day_row(probe.fields)) {
            first_data = line;
            return lean_day_layout(probe.fields, probe.separator, lines.name, lines.bytes.entry, lines.line_number);
        }
        if (all_numbers(probe.fields)) {
            const std::string likely = likely_time_form(probe.fields.front());
            throw InputError(lines.name + ":" + std::to_string(lines.line_number) +
                             ": the first line is numbers alone, no header, and its first field, \"" +
                             std::string(probe.fields.front().substr(0, 40)) + "\", is no time kmi-host reads" +
                             (likely.empty() ? std::string() : " (it looks like " + likely + ")") +
                             ": write the file's times as dates and times, or name its columns with --columns");
        }
        return layout_of_header(probe.fields, probe.separator, lines.name, lines.line_number);
    }
    throw InputError(lines.name + ":1: no header row and no bars: the file is empty");
}

// A column whose name says hour, minute or time that no role reads, for a message.
std::string unread_time_column(const Layout& layout) {
    for (std::size_t i = 0; i < layout.names.size(); ++i) {
        const std::string& name = layout.names[i];
        const bool timeish = name.find("hour") != std::string::npos || name.find("minute") != std::string::npos ||
                             name.find("time") != std::string::npos;
        if (timeish && static_cast<int>(i) != layout.time && static_cast<int>(i) != layout.time_of_day) {
            return layout.written[i];
        }
    }
    return {};
}

// A pick names an instrument; without one, several instruments must follow one another.
void check_instruments(const RowsRead& rows, Reading& reading, const BarFileOptions& options, const std::string& file) {
    const Instruments& instruments = rows.instruments;
    if (!options.pick.empty()) {
        if (!rows.bars.empty()) return;
        throw InputError(file + ": no row has " + reading.layout.instrument_name + " \"" + options.pick +
                         "\"; its values: " + instrument_counts(instruments));
    }
    if (instruments.values.size() < 2) return;
    if (instruments.mixed_line != 0) {
        throw InputError(
            mixed_instruments_message(instruments, reading.layout.instrument_name, file, instruments.mixed_line));
    }
    reading.instrument_column = reading.layout.instrument_name;
}

// The zone of the times that carry none: the one the time column's name carries, else the
// option's, else the one the file's shape writes, else the chart's.
void choose_naive_zone(Reading& reading, const BarFileOptions& options) {
    const Layout& layout = reading.layout;
    if (layout.column_zone) {
        const ColumnZone& named = *layout.column_zone;
        if (named.zone.empty()) {
            reading.naive_zone = fixed_time_zone(static_cast<std::int64_t>(named.fixed_offset_minutes) * 60);
            if (reading.naive_zone.name != named.word) reading.naive_zone.name += " (" + named.word + ")";
        } else {
            reading.naive_zone = load_time_zone(named.zone);
        }
        reading.zone_from = Reading::ZoneFrom::column;
    } else if (options.data_zone) {
        reading.naive_zone = *options.data_zone;
        reading.zone_from = Reading::ZoneFrom::option;
    } else if (!layout.shape_zone.empty()) {
        reading.naive_zone = load_time_zone(layout.shape_zone);
        reading.zone_from = Reading::ZoneFrom::shape;
    } else {
        reading.naive_zone = options.chart_zone;
        reading.zone_from = Reading::ZoneFrom::chart;
    }
}

// A file whose volume column is 0 throughout and which has tick volumes takes those.
bool take_tick_volumes(RowsRead& rows, const Layout& layout) {
    if (layout.tick_volume < 0 || !rows.volumes_all_zero || rows.bars.empty()) return false;
    for (std::size_t i = 0; i < rows.bars.size(); ++i) rows.bars[i].volume = rows.tick_volumes[i];
    std::vector<float>().swap(rows.tick_volumes);
    return true;
}

// What a reading learnt that has the file read again: its dates are day first, or a number
// was read with another decimal mark than its column's.
struct ReadAgain {
    DateOrder order = DateOrder::month_first;
    std::uint64_t day_first_line = 0;
    std::optional<MarksDecided> marks;
};

struct OtherMarks {
    MarksDecided decided;
};

// Each column's decimal mark: given by the option, else decided by a reading before, else by
// the numbers of this one (which throws OtherMarks when one was read with another mark).
MarksDecided marks_of(const RowsRead& rows, const Reading& reading, const BarFileOptions& options,
                      const ReadAgain& again, const std::string& name) {
    if (options.decimal_mark) return marks_given(*options.decimal_mark, reading.layout.field_count);
    if (again.marks) return *again.marks;
    MarksDecided decided = decide_marks(rows.marks, reading.layout.written, reading.layout.separator, name);
    if (decided.read_again) throw OtherMarks{std::move(decided)};
    return decided;
}

BarFile read_in_order(const BarSource& source, const std::string& name, const BarFileOptions& options,
                      const ReadAgain& again) {
    LineReader lines = open_source(source, name);
    Reading reading;
    const DateOrder order = again.order;
    reading.order = order;
    reading.day_first_line = again.day_first_line;
    std::optional<std::string_view> first_data;
    reading.layout = find_layout(lines, options, first_data, reading);
    if (!options.pick.empty() && reading.layout.instrument < 0) {
        throw InputError(name + ": no symbol, contract, instrument_id or ticker column to pick \"" + options.pick +
                         "\" from");
    }
    RowSettings settings{
        order, again.day_first_line == 0, options.pick, rows_bound(source, reading.layout), options.clock, {}};
    // One more column than the header names: a date and a time under one name.
    if (options.decimal_mark) settings.marks.assign(reading.layout.field_count + 1, *options.decimal_mark);
    if (again.marks) settings.marks = again.marks->marks;
    RowsRead rows = read_rows(lines, reading.layout, first_data, settings);
    reading.marks = marks_of(rows, reading, options, again, name);
    check_instruments(rows, reading, options, name);
    const bool tick_volumes = take_tick_volumes(rows, reading.layout);

    choose_naive_zone(reading, options);
    const BarStamps stamps =
        options.bar_stamps.value_or(reading.layout.time_is_end ? BarStamps::end : reading.layout.shape_stamps);
    TimeSettings times{ZoneOffsets{reading.naive_zone, {}},
                       ZoneOffsets{options.chart_zone, {}},
                       stamps,
                       options.bar_seconds,
                       latest_bar_time(options.clock.value_or(machine_clock())),
                       reading.instrument_column,
                       false,
                       {}};
    reading.dates_only = reading.layout.time_of_day < 0 && rows.first_time_written.find(':') == std::string::npos &&
                         !is_whole_number(rows.first_time_written) && rows.first_time_written.size() <= 10;
    times.dates_only = reading.dates_only;
    times.unread_time_column = unread_time_column(reading.layout);
    const SettledTimes settled = settle_bar_times(rows, times, name);

    BarFile out;
    auto appended = std::make_shared<AppendedRows>();
    appended->file = name;
    appended->layout = reading.layout;
    appended->layout.header_line = 0;  // a further line that is no row is told, not taken for a header
    appended->layout.fixed_point_divisor = rows.price_divisor;  // as the first bar decided it
    appended->settings = RowSettings{order, false, options.pick, 0, options.clock, reading.marks.marks};
    appended->tick_volumes = tick_volumes;
    appended->naive_zone = times.naive_zone;
    appended->chart_zone = times.chart_zone;
    appended->moved_back = static_cast<HostDateTime>(settled.moved_back_seconds) * us_per_second;
    if (!rows.bars.empty()) appended->last_instant = settled.last_instant;
    out.appended = std::move(appended);
    out.notes = reading_notes(name, reading, rows, options, settled, stamps, tick_volumes);
    out.plan = plan_of(reading, rows, settled, options, rows.bars, tick_volumes);
    if (!bar_length_holds(out.plan.length)) throw InputError(name + ": " + bar_length_refusal(out.plan.length));
    out.bars = std::move(rows.bars);
    if (rows.instant_count < out.bars.size()) out.naive_zone = reading.naive_zone;
    out.stamps = stamps;
    return out;
}

// "NAME: read its one file, ENTRY" for a zip archive; otherwise empty.
std::string unpacking_note(const BarSource& source, const std::string& name) {
    const ByteSource bytes = source.file != nullptr ? open_bytes(*source.file, name) : memory_bytes(source.text, name);
    return bytes.packing == Packing::zip ? name + ": read its one file, " + bytes.entry : std::string();
}

BarFile read_bars(const BarSource& source, const std::string& name, const BarFileOptions& options) {
    try {
        BarFile read;
        // Read again at most twice: day first once, with the columns' marks once.
        for (ReadAgain again;;) {
            try {
                read = read_in_order(source, name, options, again);
                break;
            } catch (const DayFirstDates& day_first) {
                again.order = DateOrder::day_first;
                again.day_first_line = day_first.line;
            } catch (OtherMarks& other) {
                again.marks = std::move(other.decided);
            }
        }
        std::string unpacked = unpacking_note(source, name);
        if (!unpacked.empty()) read.notes.insert(read.notes.begin(), std::move(unpacked));
        return read;
    } catch (const std::bad_alloc&) {
        throw InputError(name + ": there is not enough memory to read it: give a shorter file, of fewer bars");
    } catch (const std::length_error&) {
        throw InputError(name + ": there is not enough memory to read it: give a shorter file, of fewer bars");
    }
}

}  // namespace

BarFile parse_bar_file(std::string_view text, const std::string& file_name, const BarFileOptions& options) {
    return read_bars(BarSource{nullptr, text}, file_name, options);
}

BarFile read_bar_file(const std::filesystem::path& file, const BarFileOptions& options) {
    return read_bars(BarSource{&file, {}}, text_of(file), options);
}

}  // namespace kmi::emu
