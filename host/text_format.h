// printf-style formatting of our own, so a text comes out byte for byte the same whatever
// C runtime the study meets: on Linux, on Windows with mingw's stdio or Microsoft's.
//
// It understands what the study's texts use: the flags - + space 0, a width and a
// precision (numbers or *), the length modifiers h, l and ll, and the conversions d, i,
// u, f, F, s, c and %. Floating values are written exactly rounded, as glibc's printf
// writes them; infinities print as inf and -inf, a NaN always as nan (never -nan), and in
// capitals under %F, with the + and space flags and the width applied as to numbers. An
// unknown conversion makes the whole format fail.
//
// A format known when the study is built can be read then, once: "TICK %+6.0f"_fmt is
// such a format, its plain runs and conversions worked out by the compiler, and its
// arguments checked against the conversions. Formatting it writes the same bytes as the
// format read at run time, through the same conversions.
#ifndef KMI_HOST_TEXT_FORMAT_H
#define KMI_HOST_TEXT_FORMAT_H

#include <array>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <tuple>
#include <type_traits>
#include <utility>

#include "host/always_inline.h"

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

namespace text_format_parts {

// Copies `count` characters. Most runs of a format and most numbers are short: up to 16
// characters they are moved as two overlapping words, without a call.
KMI_ALWAYS_INLINE void copy(char* to, const char* from, std::size_t count) noexcept {
    if (count >= 8 && count <= 16) {
        std::uint64_t head = 0;
        std::uint64_t tail = 0;
        std::memcpy(&head, from, 8);
        std::memcpy(&tail, from + count - 8, 8);
        std::memcpy(to, &head, 8);
        std::memcpy(to + count - 8, &tail, 8);
    } else if (count >= 4 && count < 8) {
        std::uint32_t head = 0;
        std::uint32_t tail = 0;
        std::memcpy(&head, from, 4);
        std::memcpy(&tail, from + count - 4, 4);
        std::memcpy(to, &head, 4);
        std::memcpy(to + count - 4, &tail, 4);
    } else if (count < 4) {
        for (std::size_t i = 0; i < count; ++i) to[i] = from[i];
    } else {
        // GCC at -O1 cannot tell that a run of a format read when the study is built lies
        // inside that format's characters, and warns of a copy past them that never happens.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
#pragma GCC diagnostic ignored "-Wstringop-overread"
#endif
        std::memcpy(to, from, count);
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
    }
}

// Where formatted characters go: stored while there is room (the last byte of the room
// is kept for the NUL), counted always.
struct Sink {
    char* first = nullptr;
    char* next = nullptr;       // where the next stored character goes
    char* last = nullptr;       // the NUL's place: nothing is stored from here on
    std::int64_t unstored = 0;  // characters counted beyond the room

    Sink(char* out, std::size_t capacity) noexcept {
        if (out != nullptr && capacity > 0) {
            first = out;
            next = out;
            last = out + (capacity - 1);
        }
    }
    std::int64_t length() const noexcept { return (next - first) + unstored; }
    std::size_t room() const noexcept { return static_cast<std::size_t>(last - next); }

    void put(char c) noexcept {
        if (next != last) {
            *next++ = c;
        } else {
            ++unstored;
        }
    }
    // With a count known when built, the copy of a text that fits is a fixed move.
    KMI_ALWAYS_INLINE void put(const char* chars, std::size_t count) noexcept {
        if (count <= room()) {
            copy(next, chars, count);
            next += count;
        } else {
            put_cut(chars, count);
        }
    }
    void put_cut(const char* chars, std::size_t count) noexcept {
        const std::size_t stored = room();
        unstored += static_cast<std::int64_t>(count - stored);
        copy(next, chars, stored);
        next += stored;
    }
    void repeat(char c, std::int64_t count) noexcept {
        if (count <= 0) return;
        std::size_t stored = room();
        if (static_cast<std::uint64_t>(count) <= stored) {
            stored = static_cast<std::size_t>(count);
        } else {
            unstored += count - static_cast<std::int64_t>(stored);
        }
        if (stored != 0) std::memset(next, c, stored);
        next += stored;
    }
    void finish() noexcept {
        if (first != nullptr) *next = '\0';
    }
};

// One conversion of a format, as read from it.
struct Spec {
    bool left = false;
    bool plus = false;
    bool space = false;
    bool zero = false;
    bool width_argument = false;      // the width is given by an int argument (*)
    bool precision_argument = false;  // the precision too
    int longs = 0;                    // how many l modifiers
    char conversion = 0;
    std::int64_t width = 0;
    std::int64_t precision = -1;  // -1: none
};

constexpr std::int64_t read_number(const char*& p) noexcept {
    std::int64_t n = 0;
    while (*p >= '0' && *p <= '9') {
        if (n < 100000000) n = n * 10 + (*p - '0');
        ++p;
    }
    return n;
}

// Reads the conversion that follows a '%' at `p`, up to and with its conversion
// character; returns where the format goes on.
constexpr const char* read_spec(const char* p, Spec& spec) noexcept {
    // The flags are all at or below '0' in ASCII; digits, '.', '*' and letters mostly not.
    for (; *p <= '0'; ++p) {
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
        spec.width_argument = true;
        ++p;
    } else {
        spec.width = read_number(p);
    }
    if (*p == '.') {
        ++p;
        if (*p == '*') {
            spec.precision_argument = true;
            ++p;
        } else {
            spec.precision = read_number(p);
        }
    }
    while (*p == 'l' || *p == 'h') {
        if (*p == 'l') ++spec.longs;
        ++p;
    }
    spec.conversion = *p;
    return *p != '\0' ? p + 1 : p;
}

inline void set_width(Spec& spec, int width) noexcept {
    if (width < 0) spec.left = true;
    spec.width = width < 0 ? -static_cast<std::int64_t>(width) : width;
}

inline void set_precision(Spec& spec, int precision) noexcept { spec.precision = precision < 0 ? -1 : precision; }

// The conversions, shared by both ways of reading a format.
void put_signed(Sink& sink, const Spec& spec, long long value) noexcept;
void put_unsigned(Sink& sink, Spec spec, unsigned long long value) noexcept;
void put_floating(Sink& sink, const Spec& spec, double value) noexcept;
void put_string(Sink& sink, const Spec& spec, const char* text) noexcept;
void put_char(Sink& sink, const Spec& spec, int c) noexcept;

// A format's characters as a template argument.
template <std::size_t N>
struct FormatChars {
    char chars[N]{};
    consteval FormatChars(const char (&text)[N]) noexcept {
        for (std::size_t i = 0; i < N; ++i) chars[i] = text[i];
    }
};

// A plain run of the format followed by one conversion (none after the last run).
struct Piece {
    std::size_t run_start = 0;
    std::size_t run_length = 0;
    Spec spec{};  // conversion 0: no conversion
    int width_index = -1;
    int precision_index = -1;
    int value_index = -1;
};

template <std::size_t N>
struct Plan {
    std::array<Piece, N> pieces{};
    std::size_t count = 0;
    int arguments = 0;
    bool valid = true;
};

template <FormatChars F>
consteval auto plan_of() {
    constexpr std::size_t size = sizeof F.chars;
    Plan<size> plan;
    const char* const begin = F.chars;
    const char* p = begin;
    for (;;) {
        Piece& piece = plan.pieces[plan.count++];
        piece.run_start = static_cast<std::size_t>(p - begin);
        while (*p != '\0' && *p != '%') ++p;
        piece.run_length = static_cast<std::size_t>(p - begin) - piece.run_start;
        if (*p == '\0') break;
        p = read_spec(p + 1, piece.spec);
        const char c = piece.spec.conversion;
        if (piece.spec.width_argument) piece.width_index = plan.arguments++;
        if (piece.spec.precision_argument) piece.precision_index = plan.arguments++;
        const bool number = c == 'd' || c == 'i' || c == 'u' || c == 'f' || c == 'F';
        if (number || ((c == 's' || c == 'c') && piece.spec.longs == 0)) {
            piece.value_index = plan.arguments++;
        } else if (c != '%') {
            plan.valid = false;
            break;
        }
    }
    return plan;
}

template <char Conversion, int Longs, typename T>
KMI_ALWAYS_INLINE void put_value(Sink& sink, const Spec& spec, const T& value) noexcept {
    using V = std::remove_cvref_t<T>;
    if constexpr (Conversion == 'd' || Conversion == 'i' || Conversion == 'u') {
        static_assert(std::is_integral_v<V>, "an integer conversion takes an integer");
        static_assert(sizeof(V) <= (Longs >= 2   ? sizeof(long long)
                                    : Longs == 1 ? sizeof(long)
                                                 : sizeof(int)),
                      "the integer is wider than the conversion reads");
        if constexpr (Conversion == 'u') {
            using U = std::conditional_t<Longs >= 2, unsigned long long,
                                         std::conditional_t<Longs == 1, unsigned long, unsigned int>>;
            put_unsigned(sink, spec, static_cast<U>(value));
        } else {
            using S = std::conditional_t<Longs >= 2, long long, std::conditional_t<Longs == 1, long, int>>;
            put_signed(sink, spec, static_cast<S>(value));
        }
    } else if constexpr (Conversion == 'f' || Conversion == 'F') {
        static_assert(std::is_floating_point_v<V> && sizeof(V) <= sizeof(double), "%f takes a double");
        put_floating(sink, spec, static_cast<double>(value));
    } else if constexpr (Conversion == 's') {
        static_assert(std::is_convertible_v<V, const char*>, "%s takes a character pointer");
        put_string(sink, spec, static_cast<const char*>(value));
    } else {
        static_assert(std::is_integral_v<V> && sizeof(V) <= sizeof(int), "%c takes a character");
        put_char(sink, spec, static_cast<int>(value));
    }
}

template <typename T>
constexpr bool is_int_argument = std::is_integral_v<std::remove_cvref_t<T>> && sizeof(T) <= sizeof(int);

// The conversion of piece I, a constant.
template <FormatChars F, std::size_t I>
inline constexpr Spec spec_of = plan_of<F>().pieces[I].spec;

template <FormatChars F, std::size_t I, typename Arguments>
KMI_ALWAYS_INLINE void put_piece(Sink& sink, const Arguments& arguments) noexcept {
    constexpr Piece piece = plan_of<F>().pieces[I];
    if constexpr (piece.run_length > 0) sink.put(F.chars + piece.run_start, piece.run_length);
    if constexpr (piece.spec.conversion == '%') {
        sink.put('%');
    } else if constexpr (piece.spec.conversion != 0 && piece.width_index < 0 && piece.precision_index < 0) {
        put_value<piece.spec.conversion, piece.spec.longs>(sink, spec_of<F, I>, std::get<piece.value_index>(arguments));
    } else if constexpr (piece.spec.conversion != 0) {
        Spec spec = piece.spec;
        if constexpr (piece.width_index >= 0) {
            using W = std::tuple_element_t<static_cast<std::size_t>(piece.width_index), Arguments>;
            static_assert(is_int_argument<W>, "a * width takes an int");
            set_width(spec, static_cast<int>(std::get<piece.width_index>(arguments)));
        }
        if constexpr (piece.precision_index >= 0) {
            using P = std::tuple_element_t<static_cast<std::size_t>(piece.precision_index), Arguments>;
            static_assert(is_int_argument<P>, "a * precision takes an int");
            set_precision(spec, static_cast<int>(std::get<piece.precision_index>(arguments)));
        }
        put_value<piece.spec.conversion, piece.spec.longs>(sink, spec, std::get<piece.value_index>(arguments));
    }
}

template <FormatChars F, typename Arguments, std::size_t... I>
KMI_ALWAYS_INLINE void put_pieces(Sink& sink, const Arguments& arguments, std::index_sequence<I...>) noexcept {
    (put_piece<F, I>(sink, arguments), ...);
}

}  // namespace text_format_parts

// A format read when the study is built; see "..."_fmt.
template <text_format_parts::FormatChars F>
struct Format {
    static constexpr auto plan = text_format_parts::plan_of<F>();
    static_assert(plan.valid, "a conversion the formatting does not know");

    template <typename... Args>
    KMI_ALWAYS_INLINE static void write(text_format_parts::Sink& sink, const Args&... args) noexcept {
        static_assert(sizeof...(Args) == static_cast<std::size_t>(plan.arguments),
                      "the arguments do not match the format's conversions");
        text_format_parts::put_pieces<F>(sink, std::tuple<const Args&...>(args...),
                                         std::make_index_sequence<plan.count>{});
    }
};

template <text_format_parts::FormatChars F>
consteval Format<F> operator""_fmt() noexcept {
    return {};
}

// format_text for a format read when the study is built.
template <text_format_parts::FormatChars F, typename... Args>
std::int64_t format_text(char* out, std::size_t capacity, Format<F>, const Args&... args) noexcept {
    text_format_parts::Sink sink{out, capacity};
    Format<F>::write(sink, args...);
    sink.finish();
    return sink.length();
}

}  // namespace kmi

#endif
