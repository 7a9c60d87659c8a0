#include "host/text_format.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace kmi {
namespace {

// Where formatted characters go: counted always, stored while there is room.
struct Sink {
    char* out;
    std::size_t capacity;
    std::int64_t length = 0;

    void put(char c) noexcept {
        if (out != nullptr && capacity > 0 && static_cast<std::uint64_t>(length) + 1 < capacity) {
            out[length] = c;
        }
        ++length;
    }
    void put(const char* chars, std::size_t count) noexcept {
        for (std::size_t i = 0; i < count; ++i) put(chars[i]);
    }
    void repeat(char c, std::int64_t count) noexcept {
        for (std::int64_t i = 0; i < count; ++i) put(c);
    }
    void finish() noexcept {
        if (out == nullptr || capacity == 0) return;
        const std::uint64_t end =
            static_cast<std::uint64_t>(length) < capacity ? static_cast<std::uint64_t>(length) : capacity - 1;
        out[end] = '\0';
    }
};

struct Spec {
    bool left = false;
    bool plus = false;
    bool space = false;
    bool zero = false;
    std::int64_t width = 0;
    std::int64_t precision = -1;  // -1: none
};

// Writes sign, digits and padding as a number: zero padding goes between sign and digits.
void put_number(Sink& sink, const Spec& spec, char sign, const char* digits, std::size_t count,
                bool zero_pad) noexcept {
    const std::int64_t body = static_cast<std::int64_t>(count) + (sign != 0 ? 1 : 0);
    const std::int64_t pad = spec.width > body ? spec.width - body : 0;
    if (!spec.left && !zero_pad) sink.repeat(' ', pad);
    if (sign != 0) sink.put(sign);
    if (!spec.left && zero_pad) sink.repeat('0', pad);
    sink.put(digits, count);
    if (spec.left) sink.repeat(' ', pad);
}

char sign_of(bool negative, const Spec& spec) noexcept {
    if (negative) return '-';
    if (spec.plus) return '+';
    if (spec.space) return ' ';
    return 0;
}

void put_integer(Sink& sink, const Spec& spec, bool negative, std::uint64_t magnitude) noexcept {
    char digits[32];
    auto [end, error] = std::to_chars(digits, digits + sizeof digits, magnitude);
    (void)error;
    std::size_t count = static_cast<std::size_t>(end - digits);
    if (spec.precision == 0 && magnitude == 0) count = 0;  // "%.0d" of 0 prints no digit
    // A precision asks for at least that many digits.
    char padded[96];
    std::size_t leading = 0;
    if (spec.precision > static_cast<std::int64_t>(count)) {
        const auto wanted = static_cast<std::size_t>(spec.precision < 64 ? spec.precision : 64);
        leading = wanted - count;
    }
    std::memset(padded, '0', leading);
    std::memcpy(padded + leading, digits, count);
    put_number(sink, spec, sign_of(negative, spec), padded, leading + count,
               spec.zero && !spec.left && spec.precision < 0);
}

// `upper`: %F, which spells the infinities and NaN in capitals.
void put_floating(Sink& sink, const Spec& spec, double value, bool upper) noexcept {
    const bool negative = std::signbit(value) && !std::isnan(value);
    if (!std::isfinite(value)) {
        const char* word = std::isnan(value) ? (upper ? "NAN" : "nan") : (upper ? "INF" : "inf");
        put_number(sink, spec, sign_of(negative, spec), word, 3, false);
        return;
    }
    // Fixed notation of the largest double needs 309 digits before the point.
    constexpr std::int64_t max_precision = 400;
    const std::int64_t precision =
        spec.precision < 0 ? 6 : (spec.precision > max_precision ? max_precision : spec.precision);
    char digits[320 + max_precision];
    auto [end, error] = std::to_chars(digits, digits + sizeof digits, std::fabs(value), std::chars_format::fixed,
                                      static_cast<int>(precision));
    if (error != std::errc()) return;
    put_number(sink, spec, sign_of(negative, spec), digits, static_cast<std::size_t>(end - digits),
               spec.zero && !spec.left);
}

void put_string(Sink& sink, const Spec& spec, const char* text) noexcept {
    if (text == nullptr) text = "(null)";
    std::size_t count = 0;
    while (text[count] != '\0' && (spec.precision < 0 || static_cast<std::int64_t>(count) < spec.precision)) ++count;
    const std::int64_t pad =
        spec.width > static_cast<std::int64_t>(count) ? spec.width - static_cast<std::int64_t>(count) : 0;
    if (!spec.left) sink.repeat(' ', pad);
    sink.put(text, count);
    if (spec.left) sink.repeat(' ', pad);
}

std::int64_t read_number(const char*& p) noexcept {
    std::int64_t n = 0;
    while (*p >= '0' && *p <= '9') {
        if (n < 100000000) n = n * 10 + (*p - '0');
        ++p;
    }
    return n;
}

}  // namespace

std::int64_t format_text_v(char* out, std::size_t capacity, const char* fmt, std::va_list args) noexcept {
    if (fmt == nullptr) return -1;
    Sink sink{out, capacity};
    for (const char* p = fmt; *p != '\0'; ++p) {
        if (*p != '%') {
            sink.put(*p);
            continue;
        }
        ++p;
        Spec spec;
        for (;; ++p) {
            if (*p == '-')
                spec.left = true;
            else if (*p == '+')
                spec.plus = true;
            else if (*p == ' ')
                spec.space = true;
            else if (*p == '0')
                spec.zero = true;
            else if (*p != '#')
                break;
        }
        if (*p == '*') {
            const int width = va_arg(args, int);
            if (width < 0) spec.left = true;
            spec.width = width < 0 ? -static_cast<std::int64_t>(width) : width;
            ++p;
        } else {
            spec.width = read_number(p);
        }
        if (*p == '.') {
            ++p;
            if (*p == '*') {
                const int precision = va_arg(args, int);
                spec.precision = precision < 0 ? -1 : precision;
                ++p;
            } else {
                spec.precision = read_number(p);
            }
        }
        int longs = 0;
        while (*p == 'l' || *p == 'h') {
            if (*p == 'l') ++longs;
            ++p;
        }
        switch (*p) {
            case 'd':
            case 'i': {
                const long long v = longs >= 2   ? va_arg(args, long long)
                                    : longs == 1 ? va_arg(args, long)
                                                 : va_arg(args, int);
                const std::uint64_t magnitude =
                    v < 0 ? static_cast<std::uint64_t>(-(v + 1)) + 1u : static_cast<std::uint64_t>(v);
                put_integer(sink, spec, v < 0, magnitude);
                break;
            }
            case 'u': {
                const unsigned long long v = longs >= 2   ? va_arg(args, unsigned long long)
                                             : longs == 1 ? va_arg(args, unsigned long)
                                                          : va_arg(args, unsigned int);
                spec.plus = false;
                spec.space = false;
                put_integer(sink, spec, false, v);
                break;
            }
            case 'f':
            case 'F': put_floating(sink, spec, va_arg(args, double), *p == 'F'); break;
            case 's':
                if (longs != 0) return -1;  // wide texts are not formatted
                put_string(sink, spec, va_arg(args, const char*));
                break;
            case 'c': {
                if (longs != 0) return -1;
                const char c[2] = {static_cast<char>(va_arg(args, int)), '\0'};
                Spec one = spec;
                one.precision = 1;
                put_string(sink, one, c);
                break;
            }
            case '%': sink.put('%'); break;
            default: return -1;  // a conversion the study never uses
        }
    }
    sink.finish();
    return sink.length;
}

std::int64_t format_text(char* out, std::size_t capacity, const char* fmt, ...) noexcept {
    std::va_list args;
    va_start(args, fmt);
    const std::int64_t length = format_text_v(out, capacity, fmt, args);
    va_end(args);
    return length;
}

}  // namespace kmi
