// Numbers as traders' files write them: with a decimal point or a decimal comma, and the other
// mark between thousands ("1,234.5", "1.234,5"). Which mark is the decimal one is decided for
// each column over all its rows: "1,234" alone may be 1234 or 1.234, and only the column's
// other numbers, or else the file's, say which. A column that writes both is refused.
#ifndef KMI_HOST_BAR_FILES_NUMBER_MARKS_H
#define KMI_HOST_BAR_FILES_NUMBER_MARKS_H

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kmi::emu {

enum class DecimalMark : std::uint8_t { unknown, point, comma };

// What a number's marks say of its column's decimal mark.
enum class MarkClue : std::uint8_t {
    none,          // no mark: "1234"
    point,         // a decimal point: "12.5", "1,234.5", "1,234,567"
    comma,         // a decimal comma: "12,5", "1.234,5", "1.234.567"
    either_point,  // "1.234": 1.234, or 1234 with a point between thousands
    either_comma,  // "1,234": 1234 with a comma between thousands, or 1.234
    invalid,       // marks no number is written with: "1.2.3,4,5"
};

// The clue of a number's marks; `text` without its sign.
MarkClue mark_clue(std::string_view text);

// Reads `text` (an optional "-", digits and marks) with `mark` as its decimal mark and the other
// between thousands, in groups of three: false when it is not a number written so.
bool read_marked(std::string_view text, DecimalMark mark, double& value);

// The mark a number is read with before its column is decided: the one its clue says; for
// "1,234", a comma between thousands in a comma-separated file (where it was quoted), else a
// decimal comma.
DecimalMark provisional_mark(MarkClue clue, char separator);

// The first number of a column that gave each clue (by MarkClue, from point).
struct ColumnMarks {
    std::array<std::uint64_t, 4> lines{};  // 0: none seen
    std::array<std::string, 4> texts;

    void see(MarkClue clue, std::uint64_t line, std::string_view text) {
        const auto at = static_cast<std::size_t>(clue) - 1;
        if (clue == MarkClue::none || clue == MarkClue::invalid || lines[at] != 0) return;
        lines[at] = line;
        texts[at] = text;
    }
    std::uint64_t line(MarkClue clue) const { return lines[static_cast<std::size_t>(clue) - 1]; }
    const std::string& text(MarkClue clue) const { return texts[static_cast<std::size_t>(clue) - 1]; }
};

// The marks decided: by column, and how.
struct MarksDecided {
    std::vector<DecimalMark> marks;    // by column; unknown where no number has a mark
    bool read_again = false;           // a number was read with another mark than its column's
    bool from_option = false;          // --decimal-mark
    std::vector<std::size_t> by_file;  // columns of "1,234" alone, decided by the file's other columns
    std::vector<std::size_t> assumed;  // columns of "1,234" alone, which no number decided
};

// Decides each column's mark from the clues of its numbers, else from those of the file's other
// columns, else as its numbers were read. Throws InputError (FILE:LINE) for a column that writes
// both marks, naming both lines, and for "1,234" alone in a file whose columns write both.
MarksDecided decide_marks(const std::vector<ColumnMarks>& columns, const std::vector<std::string>& names,
                          char separator, const std::string& file);

// Every column read with the mark of --decimal-mark.
MarksDecided marks_given(DecimalMark mark, std::size_t columns);

// How the plan says the numbers were read: "a decimal point", "a decimal comma (623,38 is
// 623.38), points between thousands", ... and how that was decided.
std::string numbers_text(const MarksDecided& decided, const std::vector<ColumnMarks>& columns,
                         const std::vector<std::string>& names);

// The notes of the marks: numbers with a decimal comma, and each column whose "1,234" was
// decided by the file or assumed, with its line.
std::vector<std::pair<std::uint64_t, std::string>> marks_notes(const MarksDecided& decided,
                                                               const std::vector<ColumnMarks>& columns,
                                                               const std::vector<std::string>& names);

}  // namespace kmi::emu

#endif
