#include "kmi_host/bar_files/number_marks.h"

#include <algorithm>
#include <charconv>

#include "kmi_host/text/input_error.h"

namespace kmi::emu {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

char decimal_of(DecimalMark mark) { return mark == DecimalMark::comma ? ',' : '.'; }
char thousands_of(DecimalMark mark) { return mark == DecimalMark::comma ? '.' : ','; }

std::string quoted(const std::string& name) { return "\"" + name + "\""; }

// The column's first "1,234" or "1.234", whichever came first.
MarkClue first_either(const ColumnMarks& column) {
    const std::uint64_t point = column.line(MarkClue::either_point);
    const std::uint64_t comma = column.line(MarkClue::either_comma);
    if (point == 0) return comma == 0 ? MarkClue::none : MarkClue::either_comma;
    return comma == 0 || point < comma ? MarkClue::either_point : MarkClue::either_comma;
}

// Whether the either number of the column reads otherwise with the other mark (a point in a
// comma-separated file, "1.234", reads so in any file: it is no news).
bool worth_a_note(const ColumnMarks& column, char separator) {
    return column.line(MarkClue::either_comma) != 0 || separator != ',';
}

[[noreturn]] void fail(const std::string& file, std::uint64_t line, const std::string& message) {
    throw InputError(file + ":" + std::to_string(line) + ": " + message);
}

}  // namespace

MarkClue mark_clue(std::string_view text) {
    const auto points = static_cast<std::size_t>(std::count(text.begin(), text.end(), '.'));
    const auto commas = static_cast<std::size_t>(std::count(text.begin(), text.end(), ','));
    if (points == 0 && commas == 0) return MarkClue::none;
    if (points > 0 && commas > 0) {
        // The last mark is the decimal one, written once.
        if (text.rfind('.') > text.rfind(',')) return points == 1 ? MarkClue::point : MarkClue::invalid;
        return commas == 1 ? MarkClue::comma : MarkClue::invalid;
    }
    const char mark = points > 0 ? '.' : ',';
    // Marks written more than once stand between thousands.
    if (points + commas > 1) return mark == '.' ? MarkClue::comma : MarkClue::point;
    // One mark may stand between thousands when one to three digits (not led by 0) stand
    // before it and three after.
    const std::size_t at = text.find(mark);
    const bool groups = at >= 1 && at <= 3 && text.size() == at + 4 && text.front() != '0' &&
                        std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), is_digit) &&
                        std::all_of(text.begin() + static_cast<std::ptrdiff_t>(at) + 1, text.end(), is_digit);
    if (groups) return mark == '.' ? MarkClue::either_point : MarkClue::either_comma;
    return mark == '.' ? MarkClue::point : MarkClue::comma;
}

bool read_marked(std::string_view text, DecimalMark mark, double& value) {
    constexpr std::size_t longest = 64;
    if (text.size() > longest) return false;
    const char decimal = decimal_of(mark);
    const char thousands = thousands_of(mark);
    char copy[longest];
    std::size_t size = 0;
    std::size_t at = 0;
    if (!text.empty() && text.front() == '-') copy[size++] = text[at++];
    // The whole part: its first group of digits, then groups of three after each thousands mark.
    std::size_t digits = 0;
    bool grouped = false;
    for (; at < text.size() && text[at] != decimal; ++at) {
        const char c = text[at];
        if (c == thousands) {
            if (digits == 0 || digits > 3 || (grouped && digits != 3)) return false;
            grouped = true;
            digits = 0;
            continue;
        }
        if (grouped && !is_digit(c)) return false;
        copy[size++] = c;
        ++digits;
    }
    if (grouped && digits != 3) return false;
    if (at < text.size()) {
        copy[size++] = '.';
        for (++at; at < text.size(); ++at) {
            if (text[at] == decimal || text[at] == thousands) return false;
            copy[size++] = text[at];
        }
    }
    const auto result = std::from_chars(copy, copy + size, value);
    return result.ec == std::errc() && result.ptr == copy + size;
}

DecimalMark provisional_mark(MarkClue clue, char separator) {
    switch (clue) {
        case MarkClue::comma: return DecimalMark::comma;
        case MarkClue::either_comma: return separator == ',' ? DecimalMark::point : DecimalMark::comma;
        default: return DecimalMark::point;
    }
}

MarksDecided decide_marks(const std::vector<ColumnMarks>& columns, const std::vector<std::string>& names,
                          char separator, const std::string& file) {
    bool file_point = false;
    bool file_comma = false;
    for (const ColumnMarks& column : columns) {
        file_point = file_point || column.line(MarkClue::point) != 0;
        file_comma = file_comma || column.line(MarkClue::comma) != 0;
    }
    MarksDecided decided;
    decided.marks.resize(columns.size());
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const ColumnMarks& column = columns[i];
        const std::uint64_t point = column.line(MarkClue::point);
        const std::uint64_t comma = column.line(MarkClue::comma);
        const std::string name = i < names.size() ? names[i] : "column " + std::to_string(i + 1);
        if (point != 0 && comma != 0) {
            const bool point_later = point > comma;
            fail(file, std::max(point, comma),
                 "column " + quoted(name) + " writes " +
                     quoted(column.text(point_later ? MarkClue::point : MarkClue::comma)) + " with " +
                     (point_later ? "a decimal point" : "a decimal comma") + ", but " +
                     quoted(column.text(point_later ? MarkClue::comma : MarkClue::point)) + " on line " +
                     std::to_string(std::min(point, comma)) + " with " +
                     (point_later ? "a decimal comma" : "a decimal point") +
                     ": a column has one decimal mark (are two files joined?)");
        }
        DecimalMark& mark = decided.marks[i];
        const MarkClue either = first_either(column);
        if (point != 0 || comma != 0) {
            mark = point != 0 ? DecimalMark::point : DecimalMark::comma;
        } else if (either == MarkClue::none) {
            continue;
        } else if (file_point != file_comma) {
            mark = file_point ? DecimalMark::point : DecimalMark::comma;
            if (worth_a_note(column, separator) || mark == DecimalMark::comma) decided.by_file.push_back(i);
        } else if (file_point) {
            fail(file, column.line(either),
                 "column " + quoted(name) + ": " + quoted(column.text(either)) +
                     " may be a decimal or a whole number in thousands, and the file's columns write both decimal "
                     "marks: --decimal-mark point or --decimal-mark comma says which");
        } else {
            mark = column.line(MarkClue::either_comma) != 0 ? provisional_mark(MarkClue::either_comma, separator)
                                                            : DecimalMark::point;
            if (worth_a_note(column, separator)) decided.assumed.push_back(i);
        }
        const bool point_read_otherwise = column.line(MarkClue::either_point) != 0 && mark != DecimalMark::point;
        const bool comma_read_otherwise =
            column.line(MarkClue::either_comma) != 0 && mark != provisional_mark(MarkClue::either_comma, separator);
        decided.read_again = decided.read_again || point_read_otherwise || comma_read_otherwise;
    }
    return decided;
}

MarksDecided marks_given(DecimalMark mark, std::size_t columns) {
    MarksDecided decided;
    decided.marks.assign(columns, mark);
    decided.from_option = true;
    return decided;
}

std::string numbers_text(const MarksDecided& decided, const std::vector<ColumnMarks>& columns,
                         const std::vector<std::string>& names) {
    bool point = false;
    bool thousands = false;
    std::vector<std::string> comma_columns;
    for (std::size_t i = 0; i < decided.marks.size() && i < columns.size(); ++i) {
        const DecimalMark mark = decided.marks[i];
        if (mark == DecimalMark::unknown) continue;
        if (mark == DecimalMark::point) point = true;
        if (mark == DecimalMark::comma) comma_columns.push_back(i < names.size() ? names[i] : "");
        for (const std::string& text : columns[i].texts)
            thousands = thousands || text.find(thousands_of(mark)) != std::string::npos;
    }
    std::string out;
    if (comma_columns.empty()) {
        out = std::string("a decimal point") + (thousands ? ", commas between thousands" : "");
    } else if (!point) {
        out = std::string("a decimal comma (623,38 is 623.38)") + (thousands ? ", points between thousands" : "");
    } else {
        out = "a decimal point; a decimal comma in";
        for (std::size_t i = 0; i < comma_columns.size(); ++i) out += (i == 0 ? " " : ", ") + quoted(comma_columns[i]);
    }
    if (decided.from_option) return out + " (--decimal-mark)";
    if (!decided.assumed.empty()) return out + " (assumed where no number says which: see the notes)";
    return out;
}

std::vector<std::pair<std::uint64_t, std::string>> marks_notes(const MarksDecided& decided,
                                                               const std::vector<ColumnMarks>& columns,
                                                               const std::vector<std::string>& names) {
    std::vector<std::pair<std::uint64_t, std::string>> notes;
    if (decided.from_option) return notes;
    // The first number with a decimal comma, quoted from the line the note names.
    std::uint64_t first_comma = 0;
    std::string comma_text;
    for (const ColumnMarks& column : columns) {
        const std::uint64_t line = column.line(MarkClue::comma);
        if (line != 0 && (first_comma == 0 || line < first_comma)) {
            first_comma = line;
            comma_text = column.text(MarkClue::comma);
        }
    }
    if (first_comma != 0) {
        std::string as_decimal;
        for (const char c : comma_text) {
            if (c != '.') as_decimal += c == ',' ? '.' : c;
        }
        notes.emplace_back(first_comma, "numbers with a decimal comma are read as decimals (" + quoted(comma_text) +
                                            " as " + as_decimal + ")");
    }
    // "1,234" read as 1234 or as 1.234, and how the other mark reads it.
    const auto either_note = [&](std::size_t i, const std::string& why) {
        const ColumnMarks& column = columns[i];
        const MarkClue either = first_either(column);
        const std::string& text = column.text(either);
        const char written = either == MarkClue::either_point ? '.' : ',';
        const bool whole = (written == '.') == (decided.marks[i] == DecimalMark::comma);
        std::string as_whole = text;
        as_whole.erase(as_whole.find(written), 1);
        std::string as_decimal = text;
        as_decimal[as_decimal.find(written)] = '.';
        const std::string mark_word = written == '.' ? "point" : "comma";
        notes.emplace_back(column.line(either), "column " + quoted(i < names.size() ? names[i] : "") + ": " +
                                                    quoted(text) + " is read as " +
                                                    (whole ? as_whole + ", the " + mark_word + " between thousands"
                                                           : as_decimal + ", a decimal " + mark_word) +
                                                    why + " (--decimal-mark " +
                                                    (decided.marks[i] == DecimalMark::comma ? "point" : "comma") +
                                                    " reads it as " + (whole ? as_decimal : as_whole) + ")");
    };
    for (const std::size_t i : decided.by_file) {
        either_note(i, decided.marks[i] == DecimalMark::comma ? ", as the file's other columns have a decimal comma"
                                                              : ", as the file's other columns have a decimal point");
    }
    for (const std::size_t i : decided.assumed) either_note(i, ": no number of the file says which mark is decimal");
    return notes;
}

}  // namespace kmi::emu
