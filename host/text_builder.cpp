#include "host/text_builder.h"

#include <cstring>

#include "host/host_text.h"
#include "host/process_heap.h"
#include "host/text_format.h"

namespace kmi {
namespace {

// The first block's size, when no larger one is asked for.
constexpr std::int64_t first_block_bytes = 128;

// Moves the text into a block of at least `wanted` bytes (twice the current one, when
// that is more). False, with the text as it was, when the heap gives none.
bool grow(TextBuilder& builder, std::int64_t wanted) noexcept {
    std::int64_t size = builder.capacity > 0 ? builder.capacity * 2 : first_block_bytes;
    if (size < wanted) size = wanted;
    if (size > max_text_length + 1) size = max_text_length + 1;
    auto* block = static_cast<char*>(heap_alloc_uncleared(static_cast<std::size_t>(size)));
    if (block == nullptr) return false;
    if (builder.length > 0) std::memcpy(block, builder.text.data, static_cast<std::size_t>(builder.length));
    clear(builder.text);
    builder.text.data = block;
    builder.text.owns_buffer = 1;
    builder.capacity = size;
    return true;
}

}  // namespace

TextBuilder make_text_builder() noexcept {
    TextBuilder builder;
    builder.text = make_text();
    return builder;
}

void reserve(TextBuilder& builder, std::int64_t bytes) noexcept {
    if (bytes > builder.capacity) grow(builder, bytes);
}

namespace text_builder_parts {

char* room_after(TextBuilder& builder, std::int64_t& room) noexcept {
    if (builder.capacity == 0 && !grow(builder, first_block_bytes)) return nullptr;
    room = builder.capacity - builder.length;
    return builder.text.data + builder.length;
}

char* room_for(TextBuilder& builder, char* at, std::int64_t n) noexcept {
    // Nothing of a piece that did not fit stays in the room.
    *at = '\0';
    if (n > max_text_length - builder.length || !grow(builder, builder.length + n + 1)) return nullptr;
    return builder.text.data + builder.length;
}

}  // namespace text_builder_parts

void append_format_v(TextBuilder& builder, const char* fmt, std::va_list args) noexcept {
    if (fmt == nullptr) return;
    // The first piece is formatted straight into the first block.
    if (builder.capacity == 0 && !grow(builder, first_block_bytes)) return;
    std::va_list again;
    va_copy(again, args);
    const std::int64_t room = builder.capacity - builder.length;
    char* const end = builder.text.data + builder.length;
    const std::int64_t n = format_text_v(end, static_cast<std::size_t>(room), fmt, args);
    if (n >= 0 && n < room) {
        builder.length += n;
        builder.text.changed = 1;
    } else {
        // Nothing of a piece that failed or did not fit stays in the room.
        *end = '\0';
        if (n >= 0 && n <= max_text_length - builder.length && grow(builder, builder.length + n + 1)) {
            format_text_v(builder.text.data + builder.length, static_cast<std::size_t>(n + 1), fmt, again);
            builder.length += n;
            builder.text.changed = 1;
        }
    }
    va_end(again);
}

void append_format(TextBuilder& builder, const char* fmt, ...) noexcept {
    std::va_list args;
    va_start(args, fmt);
    append_format_v(builder, fmt, args);
    va_end(args);
}

void clear(TextBuilder& builder) noexcept {
    clear(builder.text);
    builder.length = 0;
    builder.capacity = 0;
}

void assign_padded(TextBuilder& builder, const char* chars, std::int64_t length, std::int64_t width) noexcept {
    const std::int64_t total = length > width ? length : width;
    builder.length = 0;
    if (builder.capacity > 0) builder.text.data[0] = '\0';
    if (length < 0 || total == 0 || total > max_text_length) return;
    if (total >= builder.capacity && !grow(builder, total + 1)) return;
    char* const data = builder.text.data;
    if (length > 0) std::memcpy(data, chars, static_cast<std::size_t>(length));
    std::memset(data + length, ' ', static_cast<std::size_t>(total - length));
    data[total] = '\0';
    builder.length = total;
    builder.text.changed = 1;
}

}  // namespace kmi
