// The host's date-time: whole milliseconds and calendar parts.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <limits>
#include <vector>

#include "host/host_datetime.h"
#include "host/numeric.h"

namespace {

using kmi::DateTimeParts;
using kmi::to_date_time_parts;
using kmi::to_milliseconds;

constexpr std::int64_t day_us = 86400000000LL;
constexpr std::int64_t hour_us = 3600000000LL;
constexpr std::int64_t minute_us = 60000000LL;
constexpr std::int64_t second_us = 1000000LL;
constexpr std::int32_t second_mode = -1;
constexpr std::int32_t millisecond_mode = 0;

constexpr std::chrono::sys_days host_epoch{std::chrono::year{1899} / 12 / 30};

struct Civil {
    std::int64_t year;
    std::int32_t month;
    std::int32_t day;
};

// Proleptic Gregorian date of `z` days since 1970-01-01, valid far beyond the years that
// std::chrono covers (the era-based days-to-civil computation).
Civil civil_from_days(std::int64_t z) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const auto d = static_cast<std::int32_t>(doy - (153 * mp + 2) / 5 + 1);
    const auto m = static_cast<std::int32_t>(mp < 10 ? mp + 3 : mp - 9);
    return {yoe + era * 400 + (m <= 2 ? 1 : 0), m, d};
}

constexpr std::int64_t host_epoch_from_1970 = -25569;  // 1899-12-30 counted from 1970-01-01

::testing::AssertionResult date_is(const DateTimeParts& p, int year, int month, int day) {
    if (p.year == year && p.month == month && p.day == day) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got " << p.year << "-" << p.month << "-" << p.day << ", expected " << year
                                         << "-" << month << "-" << day;
}

::testing::AssertionResult time_is(const DateTimeParts& p, int hour, int minute, int second, int millisecond) {
    if (p.hour == hour && p.minute == minute && p.second == second && p.millisecond == millisecond) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "got " << p.hour << ":" << p.minute << ":" << p.second << "."
                                         << p.millisecond << ", expected " << hour << ":" << minute << ":" << second
                                         << "." << millisecond;
}

// Second mode leaves the millisecond output as a by-product of its rounding; only the
// hours, minutes and seconds are its result.
::testing::AssertionResult seconds_are(const DateTimeParts& p, int hour, int minute, int second) {
    if (p.hour == hour && p.minute == minute && p.second == second) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got " << p.hour << ":" << p.minute << ":" << p.second << ", expected "
                                         << hour << ":" << minute << ":" << second;
}

bool time_fields_in_range(const DateTimeParts& p) {
    return p.month >= 1 && p.month <= 12 && p.hour >= 0 && p.hour <= 23 && p.minute >= 0 && p.minute <= 59 &&
           p.second >= 0 && p.second <= 59 && p.millisecond >= 0 && p.millisecond <= 999;
}

TEST(HostMilliseconds, RoundHalfAwayFromZero) {
    EXPECT_EQ(to_milliseconds(0), 0);
    EXPECT_EQ(to_milliseconds(1500), 2);
    EXPECT_EQ(to_milliseconds(-1500), -2);
    EXPECT_EQ(to_milliseconds(1499), 1);
    EXPECT_EQ(to_milliseconds(-1499), -1);
    EXPECT_EQ(to_milliseconds(2500), 3);  // not to even
    EXPECT_EQ(to_milliseconds(-2500), -3);
    EXPECT_EQ(to_milliseconds(499), 0);
    EXPECT_EQ(to_milliseconds(-499), 0);
    EXPECT_EQ(to_milliseconds(500), 1);
    EXPECT_EQ(to_milliseconds(-500), -1);
}

TEST(HostMilliseconds, BarTimesOfOurEraRoundToTheNearestMillisecond) {
    // Around 2024 the microsecond counts are near 4e15; every sub-millisecond remainder
    // must round as integer arithmetic would.
    const std::int64_t base_ms = 45366LL * 86400000LL;  // 2024-03-15
    std::uint64_t seed = 12345;
    for (int i = 0; i < 200000; ++i) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        const auto ms = base_ms + static_cast<std::int64_t>((seed >> 20) % 2000000000ULL);
        const auto sub = static_cast<std::int64_t>((seed >> 8) % 1000ULL);
        const std::int64_t expected = ms + (sub >= 500 ? 1 : 0);
        ASSERT_EQ(to_milliseconds(ms * 1000 + sub), expected) << ms << " ms + " << sub << " us";
        ASSERT_EQ(to_milliseconds(-(ms * 1000 + sub)), -expected) << "-(" << ms << " ms + " << sub << " us)";
    }
}

TEST(HostMilliseconds, ExtremeValuesStayDefined) {
    const std::int64_t max = std::numeric_limits<std::int64_t>::max();
    const std::int64_t min = std::numeric_limits<std::int64_t>::min();
    EXPECT_NEAR(static_cast<double>(to_milliseconds(max)), static_cast<double>(max / 1000), 2.0);
    EXPECT_NEAR(static_cast<double>(to_milliseconds(min)), static_cast<double>(min / 1000), 2.0);
    EXPECT_GT(to_milliseconds(max), 0);
    EXPECT_LT(to_milliseconds(min), 0);
}

// The integer arithmetic used up to 2^53 must give what the double division and rounding
// give, at every magnitude (each binade of the quotient has its own ulp) and on both
// sides of the limit, where the double form takes over.
TEST(HostMilliseconds, IntegerRoundingEqualsTheDoubleDivisionAtEveryMagnitude) {
    const auto by_division = [](std::int64_t v) { return kmi::round_half_away_i64(static_cast<double>(v) / 1000.0); };
    std::vector<std::int64_t> values;
    for (int bits = 10; bits <= 63; ++bits) {
        const std::int64_t top = bits == 63 ? std::numeric_limits<std::int64_t>::max() : (std::int64_t{1} << bits);
        for (const std::int64_t base : {top, (top / 1000) * 1000}) {
            for (const std::int64_t sub : {-1001, -1000, -999, -501, -500, -499, -1, 0, 1, 499, 500, 501, 999}) {
                if (sub > 0 && base > std::numeric_limits<std::int64_t>::max() - sub) continue;
                values.push_back(base + sub);
            }
        }
    }
    std::uint64_t seed = 99;
    for (int i = 0; i < 100000; ++i) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        const int shift = static_cast<int>(seed % 54);
        values.push_back(static_cast<std::int64_t>(seed >> 11) >> shift);
    }
    for (const std::int64_t v : values) {
        ASSERT_EQ(to_milliseconds(v), by_division(v)) << v;
        if (v != std::numeric_limits<std::int64_t>::min()) {
            ASSERT_EQ(to_milliseconds(-v), by_division(-v)) << -v;
        }
    }
    ASSERT_EQ(to_milliseconds(std::numeric_limits<std::int64_t>::min()),
              by_division(std::numeric_limits<std::int64_t>::min()));
}

TEST(HostDateTimeParts, EpochAndTheDayAfter) {
    const DateTimeParts zero = to_date_time_parts(0, millisecond_mode);
    EXPECT_TRUE(date_is(zero, 1899, 12, 30));
    EXPECT_TRUE(time_is(zero, 0, 0, 0, 0));
    const DateTimeParts next = to_date_time_parts(day_us, millisecond_mode);
    EXPECT_TRUE(date_is(next, 1899, 12, 31));
    EXPECT_TRUE(time_is(next, 0, 0, 0, 0));
    EXPECT_TRUE(date_is(to_date_time_parts(2 * day_us, millisecond_mode), 1900, 1, 1));
}

TEST(HostDateTimeParts, LeapDayIn2000And2024ButNotIn1900Or2100) {
    // Day counts since 1899-12-30.
    EXPECT_TRUE(date_is(to_date_time_parts(60 * day_us, millisecond_mode), 1900, 2, 28));
    EXPECT_TRUE(date_is(to_date_time_parts(61 * day_us, millisecond_mode), 1900, 3, 1));
    EXPECT_TRUE(date_is(to_date_time_parts(36584 * day_us, millisecond_mode), 2000, 2, 28));
    EXPECT_TRUE(date_is(to_date_time_parts(36585 * day_us, millisecond_mode), 2000, 2, 29));
    EXPECT_TRUE(date_is(to_date_time_parts(36586 * day_us, millisecond_mode), 2000, 3, 1));
    EXPECT_TRUE(date_is(to_date_time_parts(45351 * day_us, millisecond_mode), 2024, 2, 29));
    EXPECT_TRUE(date_is(to_date_time_parts(45352 * day_us, millisecond_mode), 2024, 3, 1));
    EXPECT_TRUE(date_is(to_date_time_parts(73109 * day_us, millisecond_mode), 2100, 2, 28));
    EXPECT_TRUE(date_is(to_date_time_parts(73110 * day_us, millisecond_mode), 2100, 3, 1));
    // The same in second mode, as the panel's previous-session date uses it.
    EXPECT_TRUE(date_is(to_date_time_parts(61 * day_us, second_mode), 1900, 3, 1));
    EXPECT_TRUE(date_is(to_date_time_parts(36585 * day_us, second_mode), 2000, 2, 29));
    EXPECT_TRUE(date_is(to_date_time_parts(73110 * day_us, second_mode), 2100, 3, 1));
}

TEST(HostDateTimeParts, NegativeValuesCountTheTimeOfDayFromTheMagnitude) {
    const DateTimeParts minus_hour = to_date_time_parts(-hour_us, millisecond_mode);
    EXPECT_TRUE(date_is(minus_hour, 1899, 12, 30));
    EXPECT_TRUE(time_is(minus_hour, 1, 0, 0, 0));
    const DateTimeParts minus_day_and_quarter = to_date_time_parts(-(day_us + day_us / 4), millisecond_mode);
    EXPECT_TRUE(date_is(minus_day_and_quarter, 1899, 12, 29));
    EXPECT_TRUE(time_is(minus_day_and_quarter, 6, 0, 0, 0));
    const DateTimeParts minus_day = to_date_time_parts(-day_us, second_mode);
    EXPECT_TRUE(date_is(minus_day, 1899, 12, 29));
    EXPECT_TRUE(seconds_are(minus_day, 0, 0, 0));
}

TEST(HostDateTimeParts, MillisecondModeRoundsToTheNearestMillisecond) {
    EXPECT_TRUE(time_is(to_date_time_parts(499, millisecond_mode), 0, 0, 0, 0));
    EXPECT_TRUE(time_is(to_date_time_parts(500, millisecond_mode), 0, 0, 0, 1));
    EXPECT_TRUE(time_is(to_date_time_parts(-499, millisecond_mode), 0, 0, 0, 0));
    EXPECT_TRUE(time_is(to_date_time_parts(-500, millisecond_mode), 0, 0, 0, 1));
    EXPECT_TRUE(time_is(to_date_time_parts(13 * hour_us + 59 * second_us + 998500, millisecond_mode), 13, 0, 59, 999));

    const DateTimeParts before_midnight = to_date_time_parts(45366 * day_us - 500, millisecond_mode);
    EXPECT_TRUE(date_is(before_midnight, 2024, 3, 15));
    EXPECT_TRUE(time_is(before_midnight, 0, 0, 0, 0));
    const DateTimeParts just_before = to_date_time_parts(45366 * day_us - 501, millisecond_mode);
    EXPECT_TRUE(date_is(just_before, 2024, 3, 14));
    EXPECT_TRUE(time_is(just_before, 23, 59, 59, 999));

    // Every selector other than -1 is millisecond mode.
    for (const std::int32_t mode : {0, 1, 5, 999, std::numeric_limits<std::int32_t>::min()}) {
        EXPECT_TRUE(time_is(to_date_time_parts(10 * hour_us + 600500, mode), 10, 0, 0, 601)) << mode;
    }
}

TEST(HostDateTimeParts, SecondModeRoundsToTheNearestSecond) {
    const std::int64_t ten = 45366 * day_us + 10 * hour_us;
    EXPECT_TRUE(seconds_are(to_date_time_parts(ten + 499999, second_mode), 10, 0, 0));
    EXPECT_TRUE(seconds_are(to_date_time_parts(ten + 500000, second_mode), 10, 0, 1));
    EXPECT_TRUE(seconds_are(to_date_time_parts(ten - 500001, second_mode), 9, 59, 59));
    const DateTimeParts before_midnight = to_date_time_parts(45366 * day_us - 500000, second_mode);
    EXPECT_TRUE(date_is(before_midnight, 2024, 3, 15));
    EXPECT_TRUE(seconds_are(before_midnight, 0, 0, 0));
    const DateTimeParts whole_day = to_date_time_parts(45366 * day_us, second_mode);
    EXPECT_TRUE(date_is(whole_day, 2024, 3, 15));
    EXPECT_TRUE(seconds_are(whole_day, 0, 0, 0));
}

TEST(HostDateTimeParts, ExtremeValuesStayDefined) {
    const std::int64_t max = std::numeric_limits<std::int64_t>::max();
    const std::int64_t min = std::numeric_limits<std::int64_t>::min();
    for (const std::int64_t v : {max, max - 1, max - 499, max - 500000, min, min + 1, min + 499, min + 500000}) {
        for (const std::int32_t mode : {millisecond_mode, second_mode}) {
            const DateTimeParts p = to_date_time_parts(v, mode);
            EXPECT_TRUE(time_fields_in_range(p)) << v << " mode " << mode;
        }
    }
    // The largest value is a real date far in the future: 106751991 days and a bit.
    const Civil far = civil_from_days(host_epoch_from_1970 + max / day_us);
    const DateTimeParts p = to_date_time_parts(max, millisecond_mode);
    EXPECT_EQ(p.year, far.year);
    EXPECT_EQ(p.month, far.month);
    EXPECT_EQ(p.day, far.day);
    EXPECT_EQ(p.hour, 4);
    EXPECT_EQ(p.minute, 0);
    EXPECT_EQ(p.second, 54);
}

// Every day from 0001-01-01 to 9999-12-31, each with its own time of day: the parts
// agree with the standard library's calendar. Before the epoch the time of day counts
// back from the day's end, so such a date-time is built as day × k − time.
TEST(HostDateTimeParts, EveryDayOfYears1To9999MatchesTheStandardCalendar) {
    using namespace std::chrono;
    const std::int64_t first = (sys_days{year{1} / 1 / 1} - host_epoch).count();
    const std::int64_t last = (sys_days{year{9999} / 12 / 31} - host_epoch).count();
    for (std::int64_t k = first; k <= last; ++k) {
        const year_month_day ymd{host_epoch + days{k}};
        const auto y = static_cast<int>(ymd.year());
        const auto m = static_cast<int>(static_cast<unsigned>(ymd.month()));
        const auto d = static_cast<int>(static_cast<unsigned>(ymd.day()));

        const auto u = static_cast<std::uint64_t>(k - first) * 2654435761ULL;
        const int hh = static_cast<int>(u % 24);
        const int mm = static_cast<int>((u >> 5) % 60);
        const int ss = static_cast<int>((u >> 11) % 60);
        const int ms = static_cast<int>((u >> 17) % 1000);
        const int us = static_cast<int>((u >> 27) % 1000);  // rounds up from 500
        const std::int64_t tod = hh * hour_us + mm * minute_us + ss * second_us + ms * 1000 + us;
        const int rounded_ms = ms + (us >= 500 ? 1 : 0);
        const std::int64_t v = k >= 0 ? k * day_us + tod : k * day_us - tod;

        const DateTimeParts p = to_date_time_parts(v, millisecond_mode);
        if (rounded_ms < 1000) {
            ASSERT_TRUE(date_is(p, y, m, d)) << "day " << k;
            ASSERT_TRUE(time_is(p, hh, mm, ss, rounded_ms)) << "day " << k;
        }
        const DateTimeParts whole = to_date_time_parts(k * day_us, second_mode);
        ASSERT_TRUE(date_is(whole, y, m, d)) << "whole day " << k;
        ASSERT_TRUE(seconds_are(whole, 0, 0, 0)) << "whole day " << k;
    }
}

// Beyond year 9999, up to the largest date-time, against the era-based calendar.
TEST(HostDateTimeParts, FarFutureDaysMatchTheProlepticCalendar) {
    const std::int64_t last = std::numeric_limits<std::int64_t>::max() / day_us - 1;
    for (std::int64_t k = 0; k <= last; k += 331) {
        const Civil c = civil_from_days(host_epoch_from_1970 + k);
        const DateTimeParts p = to_date_time_parts(k * day_us + 12 * hour_us, millisecond_mode);
        ASSERT_EQ(p.year, c.year) << "day " << k;
        ASSERT_EQ(p.month, c.month) << "day " << k;
        ASSERT_EQ(p.day, c.day) << "day " << k;
        ASSERT_EQ(p.hour, 12) << "day " << k;
    }
}

}  // namespace
