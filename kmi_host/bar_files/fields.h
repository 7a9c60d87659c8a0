// The fields of a bar file's line: separated by a comma, a semicolon or a tab, trimmed of
// blanks, a field in double quotes holding the separator and "" for a quote.
#ifndef KMI_HOST_BAR_FILES_FIELDS_H
#define KMI_HOST_BAR_FILES_FIELDS_H

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace kmi::emu {

// The separator a line uses: a comma, a semicolon or a tab, whichever it holds most of
// outside double quotes (a comma on a tie).
char separator_of(std::string_view line);

struct FieldSplitter {
    char separator = ',';
    std::vector<std::string_view> fields;  // of the line last split
    std::deque<std::string> unquoted;      // quoted fields that held "", without their quotes
};

// The most fields a line of a bar file may have. A bar file has a time, prices and volumes: a
// line with more fields is no row and no header, and is refused before its fields are held
// (a line of millions of commas would take gigabytes of them).
inline constexpr std::size_t most_fields = 1000;

// Splits line `line_number` of `file` into `splitter.fields`, which stay valid until the next
// split and as long as the line. Throws InputError ("FILE:LINE: ...") for unbalanced quotes
// or text after a closing quote, and for more than `most_fields` fields.
void split_fields(FieldSplitter& splitter, std::string_view line, const std::string& file, std::uint64_t line_number);

// Whether every field of the line last split is empty (a spreadsheet's ",,,,,").
bool fields_empty(const FieldSplitter& splitter);

}  // namespace kmi::emu

#endif
