// printf-style formatting of our own, so a text comes out byte for byte the same whatever
// C runtime the study meets: on Linux, on Windows with mingw's stdio or Microsoft's.
//
// It understands what the study's texts use: the flags - + space 0, a width and a
// precision (numbers or *), the length modifiers h, l and ll, and the conversions d, i,
// u, f, F, s, c and %. Floating values are written exactly rounded, as glibc's printf
// writes them; infinities print as inf and -inf, a NaN always as nan (never -nan), and in
// capitals under %F, with the + and space flags and the width applied as to numbers. An
// unknown conversion makes the whole format fail.
#ifndef KMI_HOST_TEXT_FORMAT_H
#define KMI_HOST_TEXT_FORMAT_H

#include <cstdarg>
#include <cstddef>
#include <cstdint>

namespace kmi {

// Formats into `out` (up to `capacity` bytes, NUL included, when `out` is not null) and
// returns the full length of the formatted text, or -1 when the format is malformed.
// With a null `out` it only measures.
std::int64_t format_text_v(char* out, std::size_t capacity, const char* fmt, std::va_list args) noexcept;

std::int64_t format_text(char* out, std::size_t capacity, const char* fmt, ...) noexcept
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

}  // namespace kmi

#endif
