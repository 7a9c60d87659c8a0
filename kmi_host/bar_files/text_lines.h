// The lines of a bar file: the file streamed in blocks (or a text already in memory),
// unpacked when it is gzipped or a zip archive of one file (compressed_files.h), decoded
// from UTF-16 when it begins with that byte-order mark, cut at every kind of line end: "\n",
// "\r\n", "\r\r\n" (one line end, as Python's csv writer leaves in a Windows text file) and a
// lone "\r".
#ifndef KMI_HOST_BAR_FILES_TEXT_LINES_H
#define KMI_HOST_BAR_FILES_TEXT_LINES_H

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "kmi_host/bar_files/compressed_files.h"

namespace kmi::emu {

enum class TextEncoding : std::uint8_t { utf8, utf16_little_endian, utf16_big_endian };

struct LineReader {
    std::string name;  // the file, for messages
    ByteSource bytes;  // what a file (or a packed text in memory) is read from, block by block
    TextEncoding encoding = TextEncoding::utf8;
    std::string buffer;       // text read and decoded, not yet cut into lines (when reading a file)
    std::string raw;          // bytes read, before they are decoded (UTF-16, and the first block)
    std::string carry;        // UTF-16 bytes that wait for the rest of their character
    std::string_view text;    // what lines are cut from: `buffer`, or the text in memory
    std::size_t at = 0;       // where the next line starts in `text`
    std::size_t newline = 0;  // the next "\n" at or after `at`; text.size() when there is none
    bool newline_known = false;
    bool ended = false;             // the whole file is in `text`
    std::uint64_t line_number = 0;  // of the line last cut
};

// Opens a file for reading line by line. Throws InputError naming the file when it cannot be
// read, is not a regular file, is an archive it cannot read (compressed_files.h), or holds
// NUL bytes without a UTF-16 byte-order mark.
LineReader open_lines(const std::filesystem::path& file, const std::string& name);

// The lines of a text in memory, which must outlive the reader; unpacked as a file is.
LineReader text_lines(std::string_view text, const std::string& name);

// The next line, without its line end; false at the end of the text. The line stays valid
// until the next call. Throws InputError when the file cannot be read on, or a line runs
// longer than a bar file's line can be.
bool next_line(LineReader& reader, std::string_view& line);

}  // namespace kmi::emu

#endif
