// Text written to stdout or stderr. On Windows a stream that is a console window gets its
// text through WriteConsoleW, as UTF-16: the C runtime's bytes garble names in other scripts
// there even with the console's code page set to UTF-8. A file or a pipe, and every stream
// elsewhere, gets the bytes unchanged through the C stream, so redirected output is the same
// on every platform. ANSI sequences pass through either way.
#ifndef KMI_HOST_TERMINAL_CONSOLE_OUTPUT_H
#define KMI_HOST_TERMINAL_CONSOLE_OUTPUT_H

#include <cstddef>
#include <cstdio>
#include <string_view>

#ifdef __MINGW32__
#define KMI_PRINTF_FORMAT(format_index, first_index) \
    __attribute__((format(__MINGW_PRINTF_FORMAT, format_index, first_index)))
#else
#define KMI_PRINTF_FORMAT(format_index, first_index) __attribute__((format(printf, format_index, first_index)))
#endif

namespace kmi::emu {

// Writes UTF-8 text to the stream. A character split between two writes to a console shows
// whole: the first write keeps its start until the next one brings the rest.
void console_write(std::FILE* stream, std::string_view utf8);

// printf to the stream, written as console_write writes.
void console_printf(std::FILE* stream, const char* format, ...) KMI_PRINTF_FORMAT(2, 3);

// The length of the bytes' longest start that does not end inside a UTF-8 sequence: all of
// them unless their last sequence lacks bytes that may still follow. Bytes that are no UTF-8
// count as whole (the console shows them as a replacement character).
std::size_t utf8_whole_length(std::string_view bytes);

}  // namespace kmi::emu

#endif
