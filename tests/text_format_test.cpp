// Our printf-style formatting: the same bytes as glibc's printf for every finite value
// and format the study uses, and one spelling of infinities and NaN on every platform.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "host/text_format.h"

// The tests pass formats as values and feed deliberately malformed ones.
#pragma GCC diagnostic ignored "-Wformat"
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
#pragma GCC diagnostic ignored "-Wformat-extra-args"

namespace kmi {
namespace {

template <typename... Args>
std::string ours(const char* fmt, Args... args) {
    char buffer[1024];
    const std::int64_t length = format_text(buffer, sizeof buffer, fmt, args...);
    EXPECT_EQ(length, static_cast<std::int64_t>(std::strlen(buffer))) << fmt;
    return buffer;
}

template <typename... Args>
std::string libc(const char* fmt, Args... args) {
    char buffer[1024];
    std::snprintf(buffer, sizeof buffer, fmt, args...);
    return buffer;
}

TEST(TextFormat, MatchesTheCLibraryForEveryFiniteValueTheStudyPrints) {
    const char* formats[] = {"%+6.0f", "%+.0f",   "%+.2f",  "%.2f",  "%+.1f%%", "%6.2f", "%.3f", "%f",
                             "%10.4f", "%-9.1f|", "%09.2f", "% .1f", "%+08.3f", "%.0f",  "%.12f"};
    std::mt19937_64 random(42);
    std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
    std::uniform_int_distribution<int> exponent(-12, 15);
    for (int i = 0; i < 20000; ++i) {
        const double value = mantissa(random) * std::pow(10.0, exponent(random));
        for (const char* fmt : formats) ASSERT_EQ(ours(fmt, value), libc(fmt, value)) << fmt << " " << value;
    }
    // Ties and values around them round as the C library does (exact binary value).
    for (const double value : {0.5, 1.5, 2.5, -0.5, -2.5, 0.125, 0.375, 1.005, 2.675, 1e300, -1e-300, 0.0, -0.0,
                               std::numeric_limits<double>::max(), std::numeric_limits<double>::denorm_min()}) {
        for (const char* fmt : formats) EXPECT_EQ(ours(fmt, value), libc(fmt, value)) << fmt << " " << value;
    }
}

TEST(TextFormat, RoundsTiesAndTheirNeighboursAsTheCLibraryUpToThreeDecimals) {
    // Up to three decimals the digits are worked out in integer arithmetic: every binary
    // fraction k/1024 (exact ties included), one step either side of it, the decimal
    // midpoints, and values by the 2^53 and 2^64 limits and far below one.
    const char* formats[] = {"%+.0f", "%.1f", "%+.2f", "%.3f", "%+6.0f", "%6.2f"};
    std::vector<double> values;
    for (int k = -4096; k <= 4096; ++k) {
        const double tie = k / 1024.0;
        values.insert(values.end(), {tie, std::nextafter(tie, -1e9), std::nextafter(tie, 1e9), k / 1000.0 + 0.0005});
    }
    for (const double big : {9007199254740991.0, 9007199254740992.0, 9007199254740993.0, 4503599627370495.5,
                             18446744073709549568.0, 18446744073709551616.0, 1e19, 123456789012.3455}) {
        values.insert(values.end(), {big, -big});
    }
    for (const double tiny : {1e-300, 4e-320, 0.00049999999999999, 0.0005, 0.00050000000000001, 5.421e-20}) {
        values.insert(values.end(), {tiny, -tiny});
    }
    for (const double value : values) {
        for (const char* fmt : formats) ASSERT_EQ(ours(fmt, value), libc(fmt, value)) << fmt << " " << value;
    }
}

TEST(TextFormat, MatchesTheCLibraryForIntegersTextsAndWidths) {
    for (const int v : {0, 7, -7, 42, 2147483647, -2147483647 - 1}) {
        for (const char* fmt : {"%d", "%+d", "%04d", "%02d", "%-5d|", "%5d", "% d", "%.3d", "%.0d", "%+06d"}) {
            EXPECT_EQ(ours(fmt, v), libc(fmt, v)) << fmt << " " << v;
        }
    }
    EXPECT_EQ(ours("%lld", -9223372036854775807LL - 1), "-9223372036854775808");
    EXPECT_EQ(ours("%u", 4294967295u), "4294967295");
    EXPECT_EQ(ours("%-4s|%4s|%.2s|%s", "ES", "NQ", "TICK", ""), libc("%-4s|%4s|%.2s|%s", "ES", "NQ", "TICK", ""));
    EXPECT_EQ(ours("%*d|%-*d|%.*f", 5, 1, 4, 2, 3, 2.0), libc("%*d|%-*d|%.*f", 5, 1, 4, 2, 3, 2.0));
    EXPECT_EQ(ours("100%% %c", 'x'), "100% x");
}

TEST(TextFormat, SpellsInfinitiesAndNaNTheSameEverywhere) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(ours("%f", inf), "inf");
    EXPECT_EQ(ours("%+.2f", inf), "+inf");
    EXPECT_EQ(ours("%+6.0f", -inf), "  -inf");
    EXPECT_EQ(ours("%.2f", nan), "nan");
    EXPECT_EQ(ours("%.2f", -nan), "nan") << "never -nan";
    EXPECT_EQ(ours("%+.1f%%", nan), "+nan%");
    EXPECT_EQ(ours("%06.2f", inf), "   inf") << "no zero padding of words";
    EXPECT_EQ(ours("%F %+F %F", inf, -inf, nan), "INF -INF NAN") << "%F spells them in capitals, as printf";
}

// Writes `args` through the format read when built and through the same format read at
// run time, whole and cut to small capacities, and expects the same lengths and bytes.
template <text_format_parts::FormatChars F, typename... Args>
void expect_same_as_read_at_run_time(Format<F> format, Args... args) {
    for (const std::size_t capacity :
         {std::size_t{0}, std::size_t{1}, std::size_t{4}, std::size_t{9}, std::size_t{512}}) {
        char built[512];
        char read[512];
        std::memset(built, 'x', sizeof built);
        std::memset(read, 'x', sizeof read);
        const std::int64_t built_length = format_text(built, capacity, format, args...);
        const std::int64_t read_length = format_text(read, capacity, F.chars, args...);
        ASSERT_EQ(built_length, read_length) << F.chars << " capacity " << capacity;
        ASSERT_EQ(std::memcmp(built, read, sizeof built), 0) << F.chars << " capacity " << capacity;
    }
    EXPECT_EQ(format_text(nullptr, 0, format, args...), format_text(nullptr, 0, F.chars, args...)) << F.chars;
}

TEST(TextFormat, FormatsReadWhenBuiltWriteWhatTheSameFormatsReadAtRunTimeWrite) {
    std::vector<double> values = {0.0,
                                  -0.0,
                                  0.5,
                                  -0.5,
                                  1.5,
                                  2.5,
                                  0.125,
                                  0.0005,
                                  -0.0005,
                                  0.005,
                                  0.995,
                                  9.995,
                                  1e15,
                                  9007199254740993.0,
                                  1e19,
                                  -1e300,
                                  4e-320,
                                  std::numeric_limits<double>::max(),
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::quiet_NaN(),
                                  -std::numeric_limits<double>::quiet_NaN()};
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
    std::uniform_int_distribution<int> exponent(-6, 12);
    for (int i = 0; i < 3000; ++i) values.push_back(mantissa(random) * std::pow(10.0, exponent(random)));
    const int integers[] = {0, 1, -1, 42, -999, 123456, 2147483647, -2147483647 - 1};
    const char* const texts[] = {"", "ES stronger", "contango", nullptr};
    int n = 0;
    for (const double v : values) {
        const int k = integers[n % 8];
        const char* const t = texts[n % 4];
        ++n;
        expect_same_as_read_at_run_time("TICK %+6.0f"_fmt, v);
        expect_same_as_read_at_run_time("  H %+.0f L %+.0f  >=%+.0f:%d <=%+.0f:%d  avg %+.0f"_fmt, v, -v, v / 3, k,
                                        v * 7, ~k, v / 11);
        expect_same_as_read_at_run_time("  up/down vol %.2f"_fmt, v);
        expect_same_as_read_at_run_time("%s %6.2f"_fmt, t, v);
        expect_same_as_read_at_run_time("  %+.2f (%+.1f%%)"_fmt, v, v / 7);
        expect_same_as_read_at_run_time("  front/back %.3f %s"_fmt, v, t);
        expect_same_as_read_at_run_time("%+.2fB"_fmt, v);
        expect_same_as_read_at_run_time("%-+9.1f|% 08.3f|%F|%.12f|%f"_fmt, v, v, v, v, v);
        expect_same_as_read_at_run_time("%*d|%-*s|%.*f|%*.*f"_fmt, k % 20, k, -(k % 9), t, k % 7, v, k % 13, k % 5, v);
        expect_same_as_read_at_run_time("%05u|%lld|%ld|%hd|%-4c|%.3d|%.0d|%%"_fmt, static_cast<unsigned>(k),
                                        static_cast<long long>(std::abs(v) < 9e15 ? v : 0) * 1000, static_cast<long>(k),
                                        k, 'a' + n % 26, k, n % 2);
        expect_same_as_read_at_run_time("VIX   (no data for the VIX or front symbol)"_fmt);
    }
}

TEST(TextFormat, MeasuresWithoutABufferAndCutsToTheCapacity) {
    EXPECT_EQ(format_text(nullptr, 0, "%s-%d", "abc", 12345), 9);
    char small[5] = "zzzz";
    EXPECT_EQ(format_text(small, sizeof small, "%s", "abcdefgh"), 8);
    EXPECT_STREQ(small, "abcd");
    EXPECT_EQ(format_text(small, sizeof small, "%q"), -1) << "an unknown conversion fails";
    EXPECT_EQ(format_text(small, sizeof small, nullptr), -1);
}

}  // namespace
}  // namespace kmi
