// A host text composed piece by piece, such as the panel's lines. Its block is taken
// with room beyond the characters, so a formatted append writes straight into the room
// and is measured by that same formatting; only a piece that does not fit makes the block
// grow (to twice its size, or to fit), the text copied over and the piece formatted
// again. Nothing is cut, and the text stays a host text that owns its block. Like the
// host text's own append, a piece whose block cannot be had is left out and the text
// stays as it was.
#ifndef KMI_HOST_TEXT_BUILDER_H
#define KMI_HOST_TEXT_BUILDER_H

#include <cstdarg>
#include <cstdint>

#include "host/host_interface.h"
#include "host/text_format.h"

namespace kmi {

struct TextBuilder {
    HostText text{};            // make_text() to begin with
    std::int64_t length = 0;    // characters of the text
    std::int64_t capacity = 0;  // bytes of the block the text owns; 0 while it has none
};

// An empty text without a block.
TextBuilder make_text_builder() noexcept;

// Takes a block of at least `bytes` when the text has none or a smaller one, the text
// copied over. Nothing is lost when the heap gives none: the appends then ask again.
void reserve(TextBuilder& builder, std::int64_t bytes) noexcept;

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

namespace text_builder_parts {

// The room after the text, the first block taken when the text has none; null when the
// heap gives none.
char* room_after(TextBuilder& builder, std::int64_t& room) noexcept;

// For a piece of `n` characters that did not fit the room at `at`: takes a block with
// room for it, the text copied over, and gives where the piece is to be formatted again,
// or null (the piece left out) when it cannot be had.
char* room_for(TextBuilder& builder, char* at, std::int64_t n) noexcept;

}  // namespace text_builder_parts

// Appends a format read when the study is built ("..."_fmt), with its arguments.
template <text_format_parts::FormatChars F, typename... Args>
void append_format(TextBuilder& builder, Format<F>, const Args&... args) noexcept {
    const auto write = [&](char* at, std::int64_t room) noexcept {
        text_format_parts::Sink sink{at, static_cast<std::size_t>(room)};
        Format<F>::write(sink, args...);
        sink.finish();
        return sink.length();
    };
    std::int64_t room = 0;
    char* at = text_builder_parts::room_after(builder, room);
    if (at == nullptr) return;
    const std::int64_t n = write(at, room);
    if (n >= room) {
        at = text_builder_parts::room_for(builder, at, n);
        if (at == nullptr) return;
        write(at, n + 1);
    }
    builder.length += n;
    builder.text.changed = 1;
}

// The text becomes `length` characters of `chars` followed by spaces up to `width`
// characters (none when it is longer already), in the block it has when that is large
// enough. When the heap gives no block the text is empty.
void assign_padded(TextBuilder& builder, const char* chars, std::int64_t length, std::int64_t width) noexcept;

// Frees the block; the builder is left empty.
void clear(TextBuilder& builder) noexcept;

}  // namespace kmi

#endif
