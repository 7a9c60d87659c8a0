// Conversions of floating values to integers: half away from zero, NaN to 0, saturation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "host/numeric.h"

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr std::int64_t i64_max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t i64_min = std::numeric_limits<std::int64_t>::min();
constexpr std::int32_t i32_max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t i32_min = std::numeric_limits<std::int32_t>::min();

TEST(NumericConversions, HalvesRoundAwayFromZero) {
    for (const auto& [x, expected] : {std::pair{0.5, 1},
                                      {-0.5, -1},
                                      {1.5, 2},
                                      {2.5, 3},
                                      {-2.5, -3},
                                      {0.49, 0},
                                      {-0.49, 0},
                                      {0.0, 0},
                                      {-0.0, 0},
                                      {1e-300, 0},
                                      {123456.5, 123457}}) {
        EXPECT_EQ(kmi::round_half_away_i64(x), expected) << x;
        EXPECT_EQ(kmi::round_half_away_i32(x), expected) << x;
    }
    EXPECT_EQ(kmi::round_half_away_i64(4503599627370495.5), 4503599627370496);  // 2^52 - 0.5
    EXPECT_EQ(kmi::round_half_away_i64(-4503599627370495.5), -4503599627370496);
}

TEST(NumericConversions, NanGivesZeroAndOutOfRangeSaturates) {
    EXPECT_EQ(kmi::round_half_away_i64(nan), 0);
    EXPECT_EQ(kmi::round_half_away_i64(-nan), 0);
    EXPECT_EQ(kmi::round_half_away_i64(inf), i64_max);
    EXPECT_EQ(kmi::round_half_away_i64(-inf), i64_min);
    EXPECT_EQ(kmi::round_half_away_i64(9223372036854775808.0), i64_max);  // 2^63
    EXPECT_EQ(kmi::round_half_away_i64(-9223372036854775808.0), i64_min);
    EXPECT_EQ(kmi::round_half_away_i64(1e300), i64_max);
    EXPECT_EQ(kmi::round_half_away_i64(-1e300), i64_min);
    EXPECT_EQ(kmi::round_half_away_i64(9223372036854774784.0), 9223372036854774784);  // largest double below 2^63

    EXPECT_EQ(kmi::round_half_away_i32(nan), 0);
    EXPECT_EQ(kmi::round_half_away_i32(inf), i32_max);
    EXPECT_EQ(kmi::round_half_away_i32(-inf), i32_min);
    EXPECT_EQ(kmi::round_half_away_i32(2147483647.0), i32_max);
    EXPECT_EQ(kmi::round_half_away_i32(2147483647.4), i32_max);
    EXPECT_EQ(kmi::round_half_away_i32(2147483647.5), i32_max);
    EXPECT_EQ(kmi::round_half_away_i32(3e9), i32_max);
    EXPECT_EQ(kmi::round_half_away_i32(-2147483648.0), i32_min);
    EXPECT_EQ(kmi::round_half_away_i32(-2147483648.4), i32_min);
    EXPECT_EQ(kmi::round_half_away_i32(-2147483648.5), i32_min);
    EXPECT_EQ(kmi::round_half_away_i32(-3e9), i32_min);
    EXPECT_EQ(kmi::round_half_away_i32(-2147483647.5), i32_min);
    EXPECT_EQ(kmi::round_half_away_i32(-2147483646.5), -2147483647);
}

TEST(NumericConversions, NarrowingSaturates) {
    EXPECT_EQ(kmi::saturate_i32(0), 0);
    EXPECT_EQ(kmi::saturate_i32(-5), -5);
    EXPECT_EQ(kmi::saturate_i32(i32_max), i32_max);
    EXPECT_EQ(kmi::saturate_i32(std::int64_t{i32_max} + 1), i32_max);
    EXPECT_EQ(kmi::saturate_i32(i32_min), i32_min);
    EXPECT_EQ(kmi::saturate_i32(std::int64_t{i32_min} - 1), i32_min);
    EXPECT_EQ(kmi::saturate_i32(i64_max), i32_max);
    EXPECT_EQ(kmi::saturate_i32(i64_min), i32_min);

    EXPECT_EQ(kmi::to_single(0.1), 0.1f);
    EXPECT_TRUE(std::isinf(kmi::to_single(1e300)));
    EXPECT_GT(kmi::to_single(1e300), 0.0f);
    EXPECT_LT(kmi::to_single(-1e300), 0.0f);
    EXPECT_TRUE(std::isnan(kmi::to_single(nan)));
}

}  // namespace
