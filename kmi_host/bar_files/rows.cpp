#include "kmi_host/bar_files/rows.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "kmi_host/bar_files/fields.h"
#include "kmi_host/bar_files/number_marks.h"
#include "kmi_host/text/date_time_text.h"
#include "kmi_host/text/input_error.h"

namespace kmi::emu {
namespace {

[[noreturn]] void fail(const std::string& file, std::uint64_t line, const std::string& message) {
    throw InputError(file + ":" + std::to_string(line) + ": " + message);
}

enum class NumberFault : std::uint8_t { none, empty, not_a_number, too_small };

// The clue of a number from_chars reads whole (no comma, one point at most), as mark_clue
// gives it, in a few steps.
MarkClue point_clue(std::string_view digits) {
    const std::size_t at = digits.find('.');
    if (at == std::string_view::npos) return MarkClue::none;
    const auto digit = [&](std::size_t i) { return digits[i] >= '0' && digits[i] <= '9'; };
    const bool groups = at >= 1 && at <= 3 && digits.size() == at + 4 && digits[0] != '0' && digit(at + 1) &&
                        digit(at + 2) && digit(at + 3) && (at < 2 || digit(at - 1)) && (at < 3 || digit(at - 2));
    return groups ? MarkClue::either_point : MarkClue::point;
}

// A number as a 32-bit float holds it: finite, within its range, and not so small that it
// would read as 0. A "+" may lead. Its marks are read with its column's decimal mark, or, while
// that is not decided, as `clue` (set to what they say of it) and the separator have it. A
// number with one decimal point is given no clue unless `look`: its column's clue is known.
NumberFault read_number(std::string_view text, DecimalMark mark, char separator, bool look, double& value,
                        MarkClue& clue) {
    if (text.empty()) return NumberFault::empty;
    if (text.front() == '+') {
        text.remove_prefix(1);
        if (text.empty() || text.front() == '-' || text.front() == '+') return NumberFault::not_a_number;
    }
    const std::string_view digits = text.front() == '-' ? text.substr(1) : text;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec == std::errc() && result.ptr == text.data() + text.size()) {
        // A point read as decimal: unless the column's decimal mark is a comma ("1.234" is 1234).
        if (look) clue = point_clue(digits);
        if (mark == DecimalMark::comma && clue != MarkClue::none && !read_marked(text, mark, value))
            return NumberFault::not_a_number;
    } else {
        clue = mark_clue(digits);
        if (clue == MarkClue::none || clue == MarkClue::invalid) return NumberFault::not_a_number;
        if (!read_marked(text, mark == DecimalMark::unknown ? provisional_mark(clue, separator) : mark, value))
            return NumberFault::not_a_number;
    }
    const double magnitude = std::fabs(value);
    if (!std::isfinite(value) || magnitude > static_cast<double>(std::numeric_limits<float>::max())) {
        return NumberFault::not_a_number;
    }
    if (value != 0.0 && magnitude < static_cast<double>(std::numeric_limits<float>::min()))
        return NumberFault::too_small;
    return NumberFault::none;
}

struct RowReader {
    LineReader& lines;
    Layout& layout;
    const RowSettings& settings;
    FieldSplitter splitter{};
    RowsRead out{};
    bool seen_data = false;
    bool fixed_point_decided = false;
    std::uint64_t line = 0;
    DateCache dates{};
    HostDateTime latest = latest_bar_time(settings.clock.value_or(machine_clock()));

    const std::string& file() const { return lines.name; }

    std::string_view field(int column) const { return splitter.fields[static_cast<std::size_t>(column)]; }

    double number(int column, const char* name, bool optional) { return number(column, name, optional, field(column)); }

    double number(int column, const char* name, bool optional, std::string_view text) {
        double value = 0.0;
        MarkClue clue = MarkClue::none;
        const auto at = static_cast<std::size_t>(column);
        const DecimalMark mark = at < settings.marks.size() ? settings.marks[at] : DecimalMark::unknown;
        // Once a column has shown a decimal point, its numbers that read as plain decimals tell
        // nothing more.
        const bool look = mark == DecimalMark::comma || out.marks[at].line(MarkClue::point) == 0;
        switch (read_number(text, mark, layout.separator, look, value, clue)) {
            case NumberFault::none: break;
            case NumberFault::empty:
                if (optional) return 0.0;
                fail(file(), line, std::string("column \"") + name + "\" is empty");
            case NumberFault::not_a_number:
                fail(file(), line,
                     std::string("column \"") + name +
                         "\": not a finite number within the range of a 32-bit float: \"" + std::string(text) + "\"");
            case NumberFault::too_small:
                fail(file(), line,
                     std::string("column \"") + name + "\": \"" + std::string(text) +
                         "\" is too small for a 32-bit float, which would read it as 0");
        }
        if (clue != MarkClue::none) out.marks[at].see(clue, line, text);
        return value;
    }

    // Fixed-point prices, as a market-data vendor writes them (integers in units of 1e-9) and
    // LEAN writes equities' (in ten-thousandths). A file of such a shape has them when its first
    // bar's prices are all whole numbers of a price of 0.001 or more; then every price must be one.
    double price(int column, const char* name) {
        if (out.price_divisor == 0) return number(column, name, false);
        const std::string_view text = field(column);
        std::int64_t units = 0;
        const auto result = std::from_chars(text.data(), text.data() + text.size(), units);
        if (result.ec != std::errc() || result.ptr != text.data() + text.size()) {
            fail(file(), line,
                 std::string("column \"") + name + "\": \"" + std::string(text) +
                     "\" is no whole number, but the first bar's prices were fixed-point integers (units of " +
                     (out.price_divisor == 1e9 ? std::string("1e-9") : std::string("1e-4")) + ")");
        }
        return static_cast<double>(units) / out.price_divisor;
    }

    void decide_fixed_point() {
        fixed_point_decided = true;
        if (layout.fixed_point_divisor == 0) return;
        const double least = 0.001 * layout.fixed_point_divisor;
        for (const int column : {layout.open, layout.high, layout.low, layout.close}) {
            if (column < 0) continue;
            const std::string_view text = field(column);
            if (!is_whole_number(text) || text.front() == '-' || text.size() > 18) return;
            if (static_cast<double>(std::stoll(std::string(text))) < least) return;
        }
        out.price_divisor = layout.fixed_point_divisor;
    }

    // A volume; as some sites write it, "-" for none and "2.41B" short for 2 410 000 000.
    double volume(int column, const char* name) {
        if (column < 0) return 0.0;
        std::string_view text = field(column);
        if (text == "-") {
            if (out.dashed_volumes++ == 0) out.first_dashed_volume_line = line;
            return 0.0;
        }
        const char unit = text.size() > 1 ? text.back() : '\0';
        const double scale = unit == 'K' ? 1e3 : unit == 'M' ? 1e6 : unit == 'B' ? 1e9 : 1.0;
        if (scale != 1.0) {
            text.remove_suffix(1);
            if (out.short_volume_line == 0) {
                out.short_volume_line = line;
                out.short_volume = field(column);
            }
        }
        const double value = number(column, name, true, text) * scale;
        if (value > static_cast<double>(std::numeric_limits<float>::max()))
            fail(file(), line,
                 std::string("column \"") + name + "\": a volume beyond a 32-bit float: \"" +
                     std::string(field(column)) + "\"");
        if (value < 0.0)
            fail(file(), line,
                 std::string("column \"") + name + "\": a negative volume: \"" + std::string(field(column)) + "\"");
        return value;
    }

    // The volume: its column's, or Up and Down added together, which must still fit a float.
    float total_volume() {
        if (layout.volume >= 0) return static_cast<float>(volume(layout.volume, "volume"));
        const double total = volume(layout.up_volume, "up") + volume(layout.down_volume, "down");
        if (total > static_cast<double>(std::numeric_limits<float>::max())) {
            fail(file(), line, "Up and Down volume add up to more than a 32-bit float holds");
        }
        return static_cast<float>(total);
    }

    // Whether the row is kept: every row without a pick, else the rows whose instrument (in
    // any of the instrument columns) is the pick.
    bool keep_instrument() {
        if (layout.instrument < 0) return true;
        const std::size_t value = count_instrument(out.instruments, field(layout.instrument));
        if (!settings.pick.empty()) {
            bool picked = field(layout.instrument) == settings.pick;
            for (const int other : layout.other_instruments) picked = picked || field(other) == settings.pick;
            return picked;
        }
        keep_instrument_row(out.instruments, value, line, out.bars.size());
        return true;
    }

    // A LEAN file of a day: milliseconds after midnight of the day its name gives.
    BarTimeText time_in_file_day() const {
        const std::string_view text = field(layout.time);
        std::int64_t ms = -1;
        const auto result = std::from_chars(text.data(), text.data() + text.size(), ms);
        if (result.ec != std::errc() || result.ptr != text.data() + text.size() || ms < 0 || ms >= 86400000) {
            fail(file(), line,
                 "\"" + std::string(text) +
                     "\" is no time of a LEAN file of a day, which gives milliseconds after midnight (0 to 86399999)");
        }
        return BarTimeText{*layout.file_day + ms * 1000, false};
    }

    BarTimeText time() {
        if (layout.file_day) return time_in_file_day();
        DateClues clues;
        const auto time =
            layout.time_of_day >= 0
                ? parse_bar_date_and_time(field(layout.time), field(layout.time_of_day), settings.order, &clues, &dates)
                : parse_bar_time(field(layout.time), settings.order, &clues, &dates);
        out.clues.year_last = out.clues.year_last || clues.year_last;
        out.clues.first_above_12 = out.clues.first_above_12 || clues.first_above_12;
        out.clues.second_above_12 = out.clues.second_above_12 || clues.second_above_12;
        if (clues.ambiguous && out.ambiguous_date_line == 0) {
            out.clues.ambiguous = true;
            out.ambiguous_date_line = line;
            out.ambiguous_date = field(layout.time);
        }
        if (time) {
            if (time->instant && is_whole_number(field(layout.time))) check_unix_time(*time);
            return *time;
        }
        if (settings.order_assumed && settings.order == DateOrder::month_first && clues.first_above_12 &&
            !out.clues.second_above_12) {
            throw DayFirstDates{line};
        }
        const std::string written = layout.time_of_day >= 0
                                        ? std::string(field(layout.time)) + " " + std::string(field(layout.time_of_day))
                                        : std::string(field(layout.time));
        const std::string likely = likely_time_form(written);
        if (!likely.empty()) fail(file(), line, "\"" + written + "\" is no date and time: it looks like " + likely);
        fail(file(), line, "not a date and time (" + std::string(bar_time_forms) + "): \"" + written + "\"");
    }

    // A whole number read as a Unix time must fall between 1980 and two days after this
    // machine's clock: a number of another form gives another time.
    void check_unix_time(const BarTimeText& time) const {
        if (time.value >= earliest_bar_time && time.value <= latest) return;
        const std::string text(field(layout.time));
        const std::string when = format_date_time(time.value) + " UTC";
        const std::string likely = likely_time_form(text);
        fail(file(), line,
             "\"" + text + "\" read as a Unix time is " + when +
                 (time.value < earliest_bar_time ? ", before 1980" : ", after this machine's clock") +
                 (likely.empty() ? std::string(": no bar file's time") : ": it looks like " + likely));
    }

    // The row's time as written into `text` (its blocks kept from row to row): its time field,
    // and its time of day after a space.
    void keep_time_written(std::string& text) const {
        text.assign(field(layout.time));
        if (layout.time_of_day >= 0) {
            text += ' ';
            text += field(layout.time_of_day);
        }
    }

    void check_field_count() {
        const std::size_t count = splitter.fields.size();
        const bool trailing = count == layout.field_count + 1 && splitter.fields.back().empty();
        if (count == layout.field_count || trailing) return;
        const std::string expected = std::to_string(layout.field_count);
        const std::string where = layout.named_by_option ? "--columns names " + expected
                                  : layout.headerless    ? "the first line has " + expected
                                                         : "the header has " + expected;
        fail(file(), line, std::to_string(count) + " fields where " + where);
    }

    void read(std::string_view text) {
        split_fields(splitter, text, file(), line);
        if (fields_empty(splitter)) return;  // a blank line, or a spreadsheet's row of empty cells
        if (!seen_data) {
            if (absorb_header_row(layout, splitter.fields)) return;
            check_layout(layout, file());
            if (widen_for_date_and_time(layout, splitter.fields)) out.time_split_line = line;
            out.marks.resize(layout.field_count);
            seen_data = true;
        } else if (holds_no_number(splitter.fields) && !holds_time(layout, splitter.fields)) {
            if (!repeats_header(layout, splitter.fields)) {
                fail(file(), line,
                     "a header with other columns than line " + std::to_string(layout.header_line) +
                         "'s (two files joined one after the other?): give each file on its own");
            }
            if (out.repeated_headers++ == 0) out.first_repeated_header_line = line;
            return;
        }
        check_field_count();
        ++out.data_rows;
        if (!keep_instrument()) return;
        if (line > std::numeric_limits<std::uint32_t>::max()) fail(file(), line, "more lines than a bar file can hold");
        const BarTimeText when = time();
        if (!fixed_point_decided) decide_fixed_point();
        Bar bar;
        bar.time = when.value;
        bar.close = static_cast<float>(price(layout.close, "close"));
        bar.open = layout.open >= 0 ? static_cast<float>(price(layout.open, "open")) : bar.close;
        bar.high = layout.high >= 0 ? static_cast<float>(price(layout.high, "high")) : bar.close;
        bar.low = layout.low >= 0 ? static_cast<float>(price(layout.low, "low")) : bar.close;
        if (bar.high < bar.low) {
            // A column the file lacks took the close.
            const int high = layout.high >= 0 ? layout.high : layout.close;
            const int low = layout.low >= 0 ? layout.low : layout.close;
            fail(file(), line,
                 "the high (" + std::string(field(high)) + ") is below the low (" + std::string(field(low)) + ")");
        }
        const bool outside = bar.open > bar.high || bar.open < bar.low || bar.close > bar.high || bar.close < bar.low;
        if (outside && out.outside_range++ == 0) out.first_outside_line = line;
        bar.volume = total_volume();
        bar.bid_volume = static_cast<float>(volume(layout.bid_volume, "bid_volume"));
        bar.ask_volume = static_cast<float>(volume(layout.ask_volume, "ask_volume"));
        if (layout.tick_volume >= 0 && out.volumes_all_zero) {
            if (bar.volume == 0.0f) {
                out.tick_volumes.push_back(static_cast<float>(volume(layout.tick_volume, "tickvol")));
            } else {
                out.volumes_all_zero = false;
                std::vector<float>().swap(out.tick_volumes);
            }
        }
        if (out.bars.empty()) keep_time_written(out.first_time_written);
        keep_time_written(out.last_time_written);
        out.bars.push_back(bar);
        out.lines.push_back(static_cast<std::uint32_t>(line));
        out.instants.push_back(when.instant);
        if (when.instant) ++out.instant_count;
    }
};

}  // namespace

RowsRead read_rows(LineReader& lines, Layout& layout, std::optional<std::string_view> first,
                   const RowSettings& settings) {
    RowReader reader{lines, layout, settings};
    reader.splitter.separator = layout.separator;
    const auto bound = static_cast<std::size_t>(settings.rows_bound);
    reader.out.bars.reserve(bound);
    reader.out.lines.reserve(bound);
    reader.out.instants.reserve(bound);
    if (first) {
        reader.line = lines.line_number;
        reader.read(*first);
    }
    std::string_view text;
    while (next_line(lines, text)) {
        reader.line = lines.line_number;
        reader.read(text);
    }
    if (!reader.seen_data) check_layout(layout, lines.name);
    return std::move(reader.out);
}

}  // namespace kmi::emu
