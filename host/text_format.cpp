#include "host/text_format.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace kmi {
namespace text_format_parts {
namespace {

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

// The same for digits that stand at [start, end) of a buffer beginning at `first`: the
// sign and a right-aligned padding are written in front of them there when they fit, so
// the conversion goes out in one piece.
KMI_ALWAYS_INLINE void put_number_in_place(Sink& sink, const Spec& spec, char sign, const char* first, char* start,
                                           const char* end, bool zero_pad) noexcept {
    const std::int64_t count = end - start;
    const std::int64_t body = count + (sign != 0 ? 1 : 0);
    const std::int64_t pad = spec.width > body ? spec.width - body : 0;
    if (spec.left || pad + 1 > start - first) {
        put_number(sink, spec, sign, start, static_cast<std::size_t>(count), zero_pad);
        return;
    }
    if (zero_pad) {
        for (std::int64_t i = 0; i < pad; ++i) *--start = '0';
        if (sign != 0) *--start = sign;
    } else {
        if (sign != 0) *--start = sign;
        for (std::int64_t i = 0; i < pad; ++i) *--start = ' ';
    }
    sink.put(start, static_cast<std::size_t>(end - start));
}

char sign_of(bool negative, const Spec& spec) noexcept {
    if (negative) return '-';
    if (spec.plus) return '+';
    if (spec.space) return ' ';
    return 0;
}

char decimal_digit(std::uint64_t value) noexcept { return static_cast<char>('0' + static_cast<int>(value)); }

constexpr char digit_pairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes the two digits of `pair` (below 100) in front of `end`; returns where they start.
char* pair_backward(std::uint64_t pair, char* end) noexcept {
    end -= 2;
    std::memcpy(end, digit_pairs + 2 * pair, 2);
    return end;
}

// Writes the decimal digits of `value` backwards, ending before `end`; returns where they
// start.
char* digits_backward(std::uint64_t value, char* end) noexcept {
    while (value >= 100) {
        end = pair_backward(value % 100, end);
        value /= 100;
    }
    if (value >= 10) return pair_backward(value, end);
    *--end = decimal_digit(value);
    return end;
}

void put_integer(Sink& sink, const Spec& spec, bool negative, std::uint64_t magnitude) noexcept {
    // Twenty digits at most, and a precision asks for at most 64 (with leading zeros).
    char digits[96];
    char* const end = digits + sizeof digits;
    char* start = end;
    if (spec.precision != 0 || magnitude != 0) start = digits_backward(magnitude, end);  // "%.0d" of 0: no digit
    const std::int64_t wanted = spec.precision < 64 ? spec.precision : 64;
    while (end - start < wanted) *--start = '0';
    put_number_in_place(sink, spec, sign_of(negative, spec), digits, start, end,
                        spec.zero && !spec.left && spec.precision < 0);
}

// The precisions written in integer arithmetic: 10^3 times a 53-bit mantissa fits in 64
// bits.
constexpr std::int64_t max_integer_precision = 3;
constexpr std::uint64_t powers_of_ten[max_integer_precision + 1] = {1, 10, 100, 1000};

// The fixed notation of a magnitude below 2^53 with up to three decimals, worked out in
// integer arithmetic: the value is a mantissa m over 2^s, so its decimals are the integer
// m * 10^precision / 2^s rounded as printf rounds the exact binary value (to the nearest,
// a tie to the even digit). `bits` are the magnitude's bits. Written backwards ending
// before `end`; returns where the text starts, or null for a magnitude of 2^53 or more.
char* fixed_backward(std::uint64_t bits, std::int64_t precision, char* end) noexcept {
    const auto biased_exponent = static_cast<int>(bits >> 52);
    std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
    int shift = 1074;  // subnormal: the value is the mantissa over 2^1074
    if (biased_exponent != 0) {
        mantissa |= std::uint64_t{1} << 52;
        shift = 1075 - biased_exponent;
    }
    if (shift <= 0) return nullptr;
    const std::uint64_t scaled = mantissa * powers_of_ten[precision];
    std::uint64_t decimals = 0;
    // From a shift of 64 on, the scaled value (below 2^63) is under half of 2^shift: 0.
    if (shift < 64) {
        decimals = scaled >> shift;
        const std::uint64_t rest = scaled & ((std::uint64_t{1} << shift) - 1);
        const std::uint64_t half = std::uint64_t{1} << (shift - 1);
        if (rest > half || (rest == half && (decimals & 1) != 0)) ++decimals;
    }
    char* start = end;
    switch (precision) {
        case 1:
            *--start = decimal_digit(decimals % 10);
            decimals /= 10;
            break;
        case 2:
            start = pair_backward(decimals % 100, start);
            decimals /= 100;
            break;
        case 3:
            start = pair_backward(decimals % 100, start);
            *--start = decimal_digit(decimals / 100 % 10);
            decimals /= 1000;
            break;
        default: break;
    }
    if (precision > 0) *--start = '.';
    return digits_backward(decimals, start);
}

// Fixed notation of the largest double needs 309 digits before the point.
constexpr std::int64_t max_precision = 400;

// The fixed notation of a magnitude that the integer arithmetic does not cover, kept
// apart with its large buffer so that the common numbers need no room for it.
[[gnu::noinline]] void put_long_fixed(Sink& sink, const Spec& spec, char sign, double magnitude, std::int64_t precision,
                                      bool zero_pad) noexcept {
    char digits[320 + max_precision];
    auto [end, error] =
        std::to_chars(digits, digits + sizeof digits, magnitude, std::chars_format::fixed, static_cast<int>(precision));
    if (error != std::errc()) return;
    put_number(sink, spec, sign, digits, static_cast<std::size_t>(end - digits), zero_pad);
}

}  // namespace

void put_signed(Sink& sink, const Spec& spec, long long value) noexcept {
    const std::uint64_t magnitude =
        value < 0 ? static_cast<std::uint64_t>(-(value + 1)) + 1u : static_cast<std::uint64_t>(value);
    put_integer(sink, spec, value < 0, magnitude);
}

void put_unsigned(Sink& sink, Spec spec, unsigned long long value) noexcept {
    spec.plus = false;
    spec.space = false;
    put_integer(sink, spec, false, value);
}

// %F spells the infinities and NaN in capitals.
void put_floating(Sink& sink, const Spec& spec, double value) noexcept {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    constexpr std::uint64_t sign_bit = std::uint64_t{1} << 63;
    constexpr std::uint64_t infinity_bits = std::uint64_t{0x7ff} << 52;
    const std::uint64_t magnitude = bits & ~sign_bit;
    const bool nan = magnitude > infinity_bits;
    const char sign = sign_of((bits & sign_bit) != 0 && !nan, spec);
    if (magnitude >= infinity_bits) {
        const bool upper = spec.conversion == 'F';
        const char* word = nan ? (upper ? "NAN" : "nan") : (upper ? "INF" : "inf");
        put_number(sink, spec, sign, word, 3, false);
        return;
    }
    const bool zero_pad = spec.zero && !spec.left;
    const std::int64_t precision =
        spec.precision < 0 ? 6 : (spec.precision > max_precision ? max_precision : spec.precision);
    if (precision <= max_integer_precision) {
        char text[48];  // 16 digits, the point and three decimals, and a sign and padding in front
        char* const end = text + sizeof text;
        if (char* start = fixed_backward(magnitude, precision, end)) {
            put_number_in_place(sink, spec, sign, text, start, end, zero_pad);
            return;
        }
    }
    put_long_fixed(sink, spec, sign, std::fabs(value), precision, zero_pad);
}

void put_string(Sink& sink, const Spec& spec, const char* text) noexcept {
    if (text == nullptr) text = "(null)";
    std::size_t count = 0;
    if (spec.precision < 0) {
        count = std::strlen(text);
    } else {
        while (static_cast<std::int64_t>(count) < spec.precision && text[count] != '\0') ++count;
    }
    const std::int64_t pad =
        spec.width > static_cast<std::int64_t>(count) ? spec.width - static_cast<std::int64_t>(count) : 0;
    if (!spec.left) sink.repeat(' ', pad);
    sink.put(text, count);
    if (spec.left) sink.repeat(' ', pad);
}

void put_char(Sink& sink, const Spec& spec, int c) noexcept {
    const char text[2] = {static_cast<char>(c), '\0'};
    Spec one = spec;
    one.precision = 1;
    put_string(sink, one, text);
}

}  // namespace text_format_parts

std::int64_t format_text_v(char* out, std::size_t capacity, const char* fmt, std::va_list args) noexcept {
    using namespace text_format_parts;
    if (fmt == nullptr) return -1;
    Sink sink{out, capacity};
    const char* p = fmt;
    while (*p != '\0') {
        if (*p != '%') {
            // A run of plain characters goes out at once.
            const char* run = p;
            while (*p != '\0' && *p != '%') ++p;
            sink.put(run, static_cast<std::size_t>(p - run));
            continue;
        }
        Spec spec;
        p = read_spec(p + 1, spec);
        if (spec.width_argument) set_width(spec, va_arg(args, int));
        if (spec.precision_argument) set_precision(spec, va_arg(args, int));
        switch (spec.conversion) {
            case 'd':
            case 'i':
                put_signed(sink, spec,
                           spec.longs >= 2   ? va_arg(args, long long)
                           : spec.longs == 1 ? va_arg(args, long)
                                             : va_arg(args, int));
                break;
            case 'u':
                put_unsigned(sink, spec,
                             spec.longs >= 2   ? va_arg(args, unsigned long long)
                             : spec.longs == 1 ? va_arg(args, unsigned long)
                                               : va_arg(args, unsigned int));
                break;
            case 'f':
            case 'F': put_floating(sink, spec, va_arg(args, double)); break;
            case 's':
                if (spec.longs != 0) return -1;  // wide texts are not formatted
                put_string(sink, spec, va_arg(args, const char*));
                break;
            case 'c':
                if (spec.longs != 0) return -1;
                put_char(sink, spec, va_arg(args, int));
                break;
            case '%': sink.put('%'); break;
            default: return -1;  // a conversion the study never uses
        }
    }
    sink.finish();
    return sink.length();
}

std::int64_t format_text(char* out, std::size_t capacity, const char* fmt, ...) noexcept {
    std::va_list args;
    va_start(args, fmt);
    const std::int64_t length = format_text_v(out, capacity, fmt, args);
    va_end(args);
    return length;
}

}  // namespace kmi
