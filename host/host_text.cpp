#include "host/host_text.h"

#include <cstring>

#include "host/process_heap.h"
#include "host/text_format.h"

namespace kmi {
namespace {

constexpr char module_empty_text[] = "";

// Length of a NUL-terminated text, never read past max_text_length.
std::int64_t bounded_length(const char* chars) noexcept {
    if (chars == nullptr) return 0;
    const void* nul = std::memchr(chars, '\0', static_cast<std::size_t>(max_text_length));
    if (nul == nullptr) return max_text_length;
    return static_cast<const char*>(nul) - chars;
}

}  // namespace

HostText make_text() noexcept {
    HostText text{};
    text.empty_text = module_empty_text;
    text.data = const_cast<char*>(module_empty_text);
    text.owns_buffer = 0;
    text.changed = 0;
    return text;
}

std::int64_t text_length(const HostText& text) noexcept { return bounded_length(text.data); }

const char* text_chars(const HostText& text) noexcept { return text.data == nullptr ? "" : text.data; }

void release(HostText& text) noexcept {
    if (text.owns_buffer == 0 || text.data == nullptr) return;
    heap_free(text.data);
    text.data = nullptr;
    text.owns_buffer = 0;
    text.changed = 0;
}

void clear(HostText& text) noexcept {
    if (text.owns_buffer != 0) heap_free(text.data);
    if (text.empty_text == nullptr) text.empty_text = module_empty_text;
    text.data = const_cast<char*>(text.empty_text);
    text.owns_buffer = 0;
    text.changed = 0;
}

void assign(HostText& text, const char* chars, std::int64_t length) noexcept {
    clear(text);
    if (chars != nullptr && length != 0) {
        const std::int64_t n = length < max_text_length ? length : max_text_length;
        if (n >= 0) {
            auto* block = static_cast<char*>(heap_alloc(static_cast<std::size_t>(n) + 1));
            if (block != nullptr) {
                // Copy at most n characters, stopping at a NUL in the source.
                const void* nul = std::memchr(chars, '\0', static_cast<std::size_t>(n));
                const std::size_t copied = nul == nullptr
                                               ? static_cast<std::size_t>(n)
                                               : static_cast<std::size_t>(static_cast<const char*>(nul) - chars);
                std::memcpy(block, chars, copied);
                block[n] = '\0';
                text.data = block;
                text.owns_buffer = 1;
            }
        }
    }
    text.changed = 1;
}

void assign_text(HostText& text, const HostText& other) noexcept {
    if (&text == &other) return;
    const std::int64_t other_length = text_length(other);
    if (text_length(text) == 0 && other_length == 0) return;
    if (other_length != 0) {
        assign(text, other.data, other_length);
    } else {
        clear(text);
    }
    text.changed = 1;
}

void append_format_v(HostText& text, const char* fmt, std::va_list args) noexcept {
    if (fmt == nullptr) return;
    const std::int64_t p = text_length(text);
    std::va_list measure;
    va_copy(measure, args);
    const std::int64_t n = format_text_v(nullptr, 0, fmt, measure);
    va_end(measure);
    if (n < 0) return;
    if (n > max_text_length - p) return;
    auto* block = static_cast<char*>(heap_alloc(static_cast<std::size_t>(p + n + 1)));
    if (block == nullptr) return;
    if (p > 0) std::memcpy(block, text.data, static_cast<std::size_t>(p));
    format_text_v(block + p, static_cast<std::size_t>(n + 1), fmt, args);
    clear(text);
    text.data = block;
    text.owns_buffer = 1;
    text.changed = 1;
}

void append_format(HostText& text, const char* fmt, ...) noexcept {
    std::va_list args;
    va_start(args, fmt);
    append_format_v(text, fmt, args);
    va_end(args);
}

void format(HostText& text, const char* fmt, ...) noexcept {
    clear(text);
    std::va_list args;
    va_start(args, fmt);
    append_format_v(text, fmt, args);
    va_end(args);
}

}  // namespace kmi
