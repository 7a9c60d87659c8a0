#include "kmi_host/bar_files/rows_bound.h"

#include <algorithm>
#include <string>

#include "kmi_host/bar_files/compressed_files.h"
#include "kmi_host/text/input_error.h"

namespace kmi::emu {
namespace {

constexpr std::size_t block_bytes = 1 << 20;

struct RowMarks {
    char separator = ',';
    std::uint64_t separators_per_row = 1;
};

RowMarks row_marks(const Layout& layout) {
    return RowMarks{layout.separator, std::max<std::uint64_t>(layout.field_count, 2) - 1};
}

// The rows a block can hold whole, and one more: the row its end cuts, whose line end the next
// block holds (or the file's last row, without one). The bytes are counted 255 at a time, each
// count in a byte of its own, which the compiler adds 16 or 32 bytes at a time.
std::uint64_t rows_in_block(std::string_view bytes, const RowMarks& marks) {
    const auto separator = static_cast<unsigned char>(marks.separator);
    std::uint64_t line_ends = 0;
    std::uint64_t separators = 0;
    std::uint64_t digits = 0;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t end = std::min(bytes.size(), at + 255);
        unsigned char some_line_ends = 0;
        unsigned char some_separators = 0;
        unsigned char some_digits = 0;
        for (; at < end; ++at) {
            const auto c = static_cast<unsigned char>(bytes[at]);
            some_line_ends = static_cast<unsigned char>(some_line_ends + ((c == '\n') | (c == '\r')));
            some_separators = static_cast<unsigned char>(some_separators + (c == separator));
            some_digits = static_cast<unsigned char>(some_digits + (static_cast<unsigned char>(c - '0') < 10));
        }
        line_ends += some_line_ends;
        separators += some_separators;
        digits += some_digits;
    }
    return std::min({line_ends, separators / marks.separators_per_row, digits / 2}) + 1;
}

}  // namespace

namespace {

// The rows of the unpacked bytes; a stream that cannot be read is refused when its lines are
// read, after the rows counted before it.
std::uint64_t rows_of(ByteSource& bytes, const RowMarks& marks) {
    std::string block(block_bytes, '\0');
    std::uint64_t rows = 1;
    try {
        while (const std::size_t read = read_bytes(bytes, block.data(), block.size()))
            rows += rows_in_block(std::string_view(block).substr(0, read), marks);
    } catch (const InputError&) {
    }
    return rows;
}

}  // namespace

std::uint64_t row_count_bound(std::string_view text, const Layout& layout) {
    const RowMarks marks = row_marks(layout);
    if (packing_of(text) != Packing::plain) {
        try {
            ByteSource bytes = memory_bytes(text, {});
            return rows_of(bytes, marks);
        } catch (const InputError&) {
            return 1;
        }
    }
    std::uint64_t rows = 1;
    for (std::size_t at = 0; at < text.size(); at += block_bytes)
        rows += rows_in_block(text.substr(at, block_bytes), marks);
    return rows;
}

std::uint64_t row_count_bound(const std::filesystem::path& file, const Layout& layout) {
    try {
        ByteSource bytes = open_bytes(file, {});
        return rows_of(bytes, row_marks(layout));
    } catch (const InputError&) {
        return 1;  // refused when its lines are read
    }
}

}  // namespace kmi::emu
