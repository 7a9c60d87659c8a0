// Operations on the host's text value. Storage comes only from the process heap; a text
// never frees a block it does not own. No operation reports failure: a text whose block
// cannot be had is left empty by assign and unchanged by append_format.
#ifndef KMI_HOST_HOST_TEXT_H
#define KMI_HOST_HOST_TEXT_H

#include <cstdarg>
#include <cstdint>

#include "host/host_interface.h"

namespace kmi {

// The longest text a HostText holds.
inline constexpr std::int64_t max_text_length = 2147483646;

// A new empty text: data = empty_text = this module's "".
HostText make_text() noexcept;

// The length of the text in bytes (0 when data is null), cut to max_text_length.
std::int64_t text_length(const HostText& text) noexcept;

// The characters, "" when data is null.
const char* text_chars(const HostText& text) noexcept;

// Frees an owned block; data becomes null. Nothing when the text owns no block.
void release(HostText& text) noexcept;

// Frees an owned block; data becomes empty_text.
void clear(HostText& text) noexcept;

// Copies at most `length` characters of `chars` (stopping at a NUL).
void assign(HostText& text, const char* chars, std::int64_t length) noexcept;

// Copies another text.
void assign_text(HostText& text, const HostText& other) noexcept;

// printf-style formatting: format replaces the contents, append_format appends.
void format(HostText& text, const char* fmt, ...) noexcept
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
void append_format(HostText& text, const char* fmt, ...) noexcept
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
void append_format_v(HostText& text, const char* fmt, std::va_list args) noexcept
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 0)))
#endif
    ;

}  // namespace kmi

#endif
