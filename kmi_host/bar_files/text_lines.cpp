#include "kmi_host/bar_files/text_lines.h"

#include <algorithm>
#include <cstring>

#include "kmi_host/text/input_error.h"

namespace kmi::emu {
namespace {

constexpr std::size_t block_bytes = 1 << 20;
// A line longer than this is no bar: the file is not a bar file (or has no line ends).
constexpr std::size_t longest_line = 16 << 20;

[[noreturn]] void fail(const LineReader& reader, const std::string& message) {
    throw InputError(reader.name + ": " + message);
}

void append_utf8(std::string& out, std::uint32_t code_point) {
    if (code_point < 0x80) {
        out += static_cast<char>(code_point);
    } else if (code_point < 0x800) {
        out += static_cast<char>(0xC0 | (code_point >> 6));
        out += static_cast<char>(0x80 | (code_point & 0x3F));
    } else if (code_point < 0x10000) {
        out += static_cast<char>(0xE0 | (code_point >> 12));
        out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code_point & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code_point >> 18));
        out += static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code_point & 0x3F));
    }
}

// Decodes UTF-16 bytes into UTF-8 text; a character cut by the end of `bytes` waits in
// `carry` unless `last`. A surrogate without its partner becomes U+FFFD.
void decode_utf16(std::string_view bytes, TextEncoding encoding, std::string& carry, bool last, std::string& out) {
    std::string joined;
    if (!carry.empty()) {
        joined = carry;
        joined.append(bytes);
        bytes = joined;
        carry.clear();
    }
    const bool little = encoding == TextEncoding::utf16_little_endian;
    const auto unit = [&bytes, little](std::size_t at) {
        const auto low = static_cast<unsigned char>(bytes[at + (little ? 0 : 1)]);
        const auto high = static_cast<unsigned char>(bytes[at + (little ? 1 : 0)]);
        return static_cast<std::uint32_t>(high << 8 | low);
    };
    std::size_t at = 0;
    while (at + 2 <= bytes.size()) {
        const std::uint32_t first = unit(at);
        if (first >= 0xD800 && first < 0xDC00) {
            if (at + 4 > bytes.size()) {
                if (!last) break;
                append_utf8(out, 0xFFFD);
                at += 2;
                continue;
            }
            const std::uint32_t second = unit(at + 2);
            if (second >= 0xDC00 && second < 0xE000) {
                append_utf8(out, 0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00));
                at += 4;
                continue;
            }
            append_utf8(out, 0xFFFD);
            at += 2;
            continue;
        }
        append_utf8(out, first >= 0xDC00 && first < 0xE000 ? 0xFFFD : first);
        at += 2;
    }
    if (at < bytes.size()) {
        if (last) {
            append_utf8(out, 0xFFFD);
        } else {
            carry.assign(bytes.substr(at));
        }
    }
}

// The first `byte` in text[from, to), or `to`.
std::size_t find_byte(std::string_view text, std::size_t from, std::size_t to, char byte) {
    if (from >= to) return to;
    const void* found = std::memchr(text.data() + from, byte, to - from);
    return found == nullptr ? to : static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
}

void refuse_nul_bytes(const LineReader& reader, std::string_view bytes) {
    if (!bytes.empty() && std::memchr(bytes.data(), '\0', bytes.size()) != nullptr) {
        fail(reader,
             "holds NUL bytes, so it is no text file (a UTF-16 file, as spreadsheets save \"Unicode text\", needs "
             "its byte-order mark; or save it as CSV in UTF-8)");
    }
}

// The encoding a byte-order mark names, and its length.
std::size_t byte_order_mark(std::string_view bytes, TextEncoding& encoding) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return 3;
    if (bytes.substr(0, 2) == "\xFF\xFE") {
        encoding = TextEncoding::utf16_little_endian;
        return 2;
    }
    if (bytes.substr(0, 2) == "\xFE\xFF") {
        encoding = TextEncoding::utf16_big_endian;
        return 2;
    }
    return 0;
}

// Reads the next block of the file into the buffer, after what is not yet cut.
void read_block(LineReader& reader, bool first) {
    if (reader.at > 0) {
        reader.buffer.erase(0, reader.at);
        reader.at = 0;
    }
    if (reader.buffer.size() > longest_line) {
        throw InputError(reader.name + ":" + std::to_string(reader.line_number + 1) +
                         ": a line longer than 16 MiB: this is no bar file, or its lines have no line ends");
    }
    std::string& raw = reader.encoding == TextEncoding::utf8 && !first ? reader.buffer : reader.raw;
    const std::size_t kept = raw.size();
    raw.resize(kept + block_bytes);
    raw.resize(kept + read_bytes(reader.bytes, raw.data() + kept, block_bytes));
    const bool last = raw.size() == kept;
    std::string_view bytes = std::string_view(raw).substr(kept);
    if (first) bytes.remove_prefix(byte_order_mark(bytes, reader.encoding));
    if (reader.encoding == TextEncoding::utf8) {
        refuse_nul_bytes(reader, bytes);
        if (first) reader.buffer.assign(bytes);
    } else {
        decode_utf16(bytes, reader.encoding, reader.carry, last, reader.buffer);
    }
    if (&raw == &reader.raw) raw.clear();
    reader.ended = last;
    reader.text = reader.buffer;
}

}  // namespace

LineReader open_lines(const std::filesystem::path& file, const std::string& name) {
    LineReader reader;
    reader.name = name;
    reader.bytes = open_bytes(file, name);
    read_block(reader, true);
    return reader;
}

LineReader text_lines(std::string_view text, const std::string& name) {
    LineReader reader;
    reader.name = name;
    if (packing_of(text) != Packing::plain) {
        reader.bytes = memory_bytes(text, name);
        read_block(reader, true);
        return reader;
    }
    text.remove_prefix(byte_order_mark(text, reader.encoding));
    if (reader.encoding == TextEncoding::utf8) {
        refuse_nul_bytes(reader, text);
        reader.text = text;
    } else {
        decode_utf16(text, reader.encoding, reader.carry, true, reader.buffer);
        reader.text = reader.buffer;
    }
    reader.ended = true;
    return reader;
}

bool next_line(LineReader& reader, std::string_view& line) {
    while (true) {
        const std::string_view text = reader.text;
        if (!reader.newline_known) {
            reader.newline = find_byte(text, reader.at, text.size(), '\n');
            reader.newline_known = reader.newline < text.size() || reader.ended;
        }
        const std::size_t end = reader.newline_known ? reader.newline : text.size();
        // A carriage return before the newline ends the line; "\r\n" and "\r\r\n" are one line end.
        const std::size_t cr = find_byte(text, reader.at, end, '\r');
        if (cr < end) {
            std::size_t after = cr;
            while (after < text.size() && text[after] == '\r') ++after;
            if (after < text.size() || reader.ended) {
                line = text.substr(reader.at, cr - reader.at);
                ++reader.line_number;
                const bool crlf =
                    reader.newline_known && after == reader.newline && after < text.size() && after - cr <= 2;
                reader.at = crlf ? after + 1 : cr + 1;
                if (crlf) reader.newline_known = false;
                return true;
            }
        } else if (reader.newline_known && reader.newline < text.size()) {
            line = text.substr(reader.at, reader.newline - reader.at);
            ++reader.line_number;
            reader.at = reader.newline + 1;
            reader.newline_known = false;
            return true;
        } else if (reader.ended) {
            if (reader.at >= text.size()) return false;
            line = text.substr(reader.at);
            ++reader.line_number;
            reader.at = text.size();
            return true;
        }
        reader.newline_known = false;
        read_block(reader, false);
    }
}

}  // namespace kmi::emu
