// A host text composed piece by piece, such as a panel line. Its block is taken with room
// beyond the characters, so a formatted append writes straight into the room and is
// measured by that same formatting; only a piece that does not fit makes the block grow
// (to twice its size, or to fit), the text copied over and the piece formatted again.
// Nothing is cut, and the text stays a host text that owns its block, ready to be handed
// on (take_text). Like the host text's own append, a piece whose block cannot be had is
// left out and the text stays as it was.
#ifndef KMI_HOST_TEXT_BUILDER_H
#define KMI_HOST_TEXT_BUILDER_H

#include <cstdarg>
#include <cstdint>

#include "host/host_interface.h"

namespace kmi {

struct TextBuilder {
    HostText text{};            // make_text() to begin with
    std::int64_t length = 0;    // characters of the text
    std::int64_t capacity = 0;  // bytes of the block the text owns; 0 while it has none
};

// An empty text without a block.
TextBuilder make_text_builder() noexcept;

// Appends the printf-style formatted arguments.
void append_format(TextBuilder& builder, const char* fmt, ...) noexcept
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
void append_format_v(TextBuilder& builder, const char* fmt, std::va_list args) noexcept
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 0)))
#endif
    ;

// Hands the text over to `text` as take_text does (the block itself when there is one);
// the builder is left empty, without a block.
void take_text(HostText& text, TextBuilder& builder) noexcept;

// Frees the block; the builder is left empty.
void clear(TextBuilder& builder) noexcept;

// Extends the text with trailing spaces up to `length` characters; a longer text stays.
void pad_with_spaces(TextBuilder& builder, std::int64_t length) noexcept;

}  // namespace kmi

#endif
