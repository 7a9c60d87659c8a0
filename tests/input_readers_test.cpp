// The input readers accept every type code and give a defined value for each.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <set>

#include "host/host_interface.h"
#include "settings/input_readers.h"

namespace {

using kmi::read_colour;
using kmi::read_float;
using kmi::read_int;
using kmi::read_text;
using kmi::read_time_of_day;
using kmi::read_yes_no;

constexpr double nan_d = std::numeric_limits<double>::quiet_NaN();
constexpr double inf_d = std::numeric_limits<double>::infinity();
constexpr float nan_f = std::numeric_limits<float>::quiet_NaN();
constexpr float inf_f = std::numeric_limits<float>::infinity();
constexpr std::int32_t i32_max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t i32_min = std::numeric_limits<std::int32_t>::min();

// The families of type codes, as each reader knows them.
const std::set<int> int32_codes{1, 3, 4, 6, 11, 13, 14, 15, 16, 17, 19, 22, 24};
const std::set<int> day_codes{8, 9, 10, 25};
const std::set<int> text_codes{26, 27, 28};

HostInput with_int(int type, std::int32_t v) {
    HostInput in{};
    in.type = static_cast<std::uint8_t>(type);
    set_input_int32(in, v);
    return in;
}
HostInput with_float(int type, float v) {
    HostInput in{};
    in.type = static_cast<std::uint8_t>(type);
    set_input_float(in, v);
    return in;
}
HostInput with_double(int type, double v) {
    HostInput in{};
    in.type = static_cast<std::uint8_t>(type);
    set_input_double(in, v);
    return in;
}
HostInput with_text(int type, char* text) {
    HostInput in{};
    in.type = static_cast<std::uint8_t>(type);
    set_input_text(in, text, 0);
    return in;
}
// A record whose value bytes are all 0x41: nonzero as an integer, a float, a double, an
// owns flag and a pointer alike.
HostInput with_filled_value(int type) {
    HostInput in{};
    in.type = static_cast<std::uint8_t>(type);
    std::memset(in.value, 0x41, sizeof in.value);
    return in;
}

double days(double seconds) { return seconds / 86400.0; }

TEST(InputReaders, IntegerCodesGiveTheThirtyTwoBitValue) {
    for (int type = 0; type <= 255; ++type) {
        const HostInput in = with_int(type, -7);
        if (int32_codes.count(type) != 0) {
            EXPECT_EQ(read_int(in), -7) << type;
            EXPECT_EQ(read_colour(in), 0xFFFFFFF9u) << type;
            EXPECT_TRUE(read_yes_no(in)) << type;
            EXPECT_TRUE(read_yes_no(with_int(type, 0x100))) << type;  // every bit counts
            EXPECT_FALSE(read_yes_no(with_int(type, 0))) << type;
        }
    }
    // read_float takes the value as unsigned, except for the integer codes 11 and 19.
    for (const int type : {1, 3, 4, 6, 13, 15, 16, 17, 22, 24}) {
        EXPECT_EQ(read_float(with_int(type, -7)), 4294967289.0f) << type;
        EXPECT_EQ(read_float(with_int(type, 250)), 250.0f) << type;
    }
    for (const int type : {11, 19}) EXPECT_EQ(read_float(with_int(type, -7)), -7.0f) << type;
    // A colour is no float.
    EXPECT_EQ(read_float(with_int(14, 0x00E6AA00)), 0.0f);
    EXPECT_EQ(read_int(with_int(14, 0x00E6AA00)), 0x00E6AA00);
    EXPECT_EQ(read_colour(with_int(14, 0x00E6AA00)), 0x00E6AA00u);
    // A list index reads as an integer.
    EXPECT_EQ(read_int(with_int(22, 3)), 3);
}

TEST(InputReaders, CodesThatCarryNothingGiveNothing) {
    std::set<int> int_readable = int32_codes;
    int_readable.insert({2, 5, 8, 9, 23, 25});
    std::set<int> float_readable{1, 2, 3, 4, 5, 6, 11, 13, 15, 16, 17, 19, 22, 23, 24};
    std::set<int> yes_no_readable = int32_codes;
    yes_no_readable.insert({2, 5, 8, 9, 10, 23, 25});
    std::set<int> colour_readable = int32_codes;
    colour_readable.insert(5);
    for (int type = 0; type <= 255; ++type) {
        const HostInput in = with_filled_value(type);
        if (int_readable.count(type) == 0) {
            EXPECT_EQ(read_int(in), 0) << type;
        }
        if (float_readable.count(type) == 0) {
            EXPECT_EQ(read_float(in), 0.0f) << type;
        }
        if (yes_no_readable.count(type) == 0) {
            EXPECT_FALSE(read_yes_no(in)) << type;
        }
        if (day_codes.count(type) == 0) {
            EXPECT_EQ(read_time_of_day(in), 0) << type;
        }
        if (colour_readable.count(type) == 0) {
            EXPECT_EQ(read_colour(in), 0u) << type;
        }
        if (text_codes.count(type) == 0) {
            EXPECT_STREQ(read_text(in), "Unset") << type;
        }
        // And the readers that do read this code find something in the filled bytes.
        if (int32_codes.count(type) != 0) {
            EXPECT_EQ(read_int(in), 0x41414141) << type;
        }
        if (day_codes.count(type) != 0) {
            EXPECT_NE(read_time_of_day(in), 0) << type;
        }
        if (text_codes.count(type) != 0) {
            EXPECT_EQ(read_text(in), input_text(in)) << type;  // the pointer, not looked into
        }
    }
}

TEST(InputReaders, FloatsRoundHalfAwayFromZeroAsIntegers) {
    EXPECT_EQ(read_int(with_float(2, 2.5f)), 3);
    EXPECT_EQ(read_int(with_float(2, -2.5f)), -3);
    EXPECT_EQ(read_int(with_float(2, 2.49f)), 2);
    EXPECT_EQ(read_int(with_float(2, 0.49999997f)), 0);  // the sum is taken in double
    EXPECT_EQ(read_int(with_float(2, -1000.0f)), -1000);
    EXPECT_EQ(read_int(with_float(2, nan_f)), 0);
    EXPECT_EQ(read_int(with_float(2, inf_f)), i32_max);
    EXPECT_EQ(read_int(with_float(2, -inf_f)), i32_min);
    EXPECT_EQ(read_int(with_float(2, 3e9f)), i32_max);
    EXPECT_EQ(read_int(with_float(2, -3e38f)), i32_min);

    EXPECT_EQ(read_float(with_float(2, 1.5f)), 1.5f);
    EXPECT_EQ(read_float(with_float(2, -1000.0f)), -1000.0f);
    EXPECT_TRUE(std::isnan(read_float(with_float(2, nan_f))));
    EXPECT_TRUE(read_yes_no(with_float(2, 0.25f)));
    EXPECT_TRUE(read_yes_no(with_float(2, nan_f)));
    EXPECT_FALSE(read_yes_no(with_float(2, 0.0f)));
    EXPECT_FALSE(read_yes_no(with_float(2, -0.0f)));
    EXPECT_EQ(read_colour(with_float(2, 1.0f)), 0u);
}

TEST(InputReaders, YesNoReadsAsOneOrZero) {
    EXPECT_EQ(read_int(with_int(5, 1)), 1);
    EXPECT_EQ(read_int(with_int(5, 42)), 1);
    EXPECT_EQ(read_int(with_int(5, 0)), 0);
    EXPECT_EQ(read_float(with_int(5, 1)), 1.0f);
    EXPECT_EQ(read_float(with_int(5, -9)), 1.0f);
    EXPECT_EQ(read_float(with_int(5, 0)), 0.0f);
    EXPECT_TRUE(read_yes_no(with_int(5, 1)));
    EXPECT_TRUE(read_yes_no(with_int(5, 0x10000)));
    EXPECT_FALSE(read_yes_no(with_int(5, 0)));
    EXPECT_EQ(read_colour(with_int(5, 1)), 16777215u);
    EXPECT_EQ(read_colour(with_int(5, 2)), 16777215u);
    EXPECT_EQ(read_colour(with_int(5, 0)), 0u);
    EXPECT_EQ(read_time_of_day(with_int(5, 1)), 0);
}

TEST(InputReaders, TimeOfDayIsTheSecondsOfTheDaysFraction) {
    for (const int type : {8, 9, 10, 25}) {
        EXPECT_EQ(read_time_of_day(with_double(type, 34200.0 / 86400.0)), 34200) << type;
        EXPECT_EQ(read_time_of_day(with_double(type, 57600.0 / 86400.0)), 57600) << type;
        EXPECT_EQ(read_time_of_day(with_double(type, 0.0)), 0) << type;
        EXPECT_EQ(read_time_of_day(with_double(type, -0.0)), 0) << type;
        EXPECT_EQ(read_time_of_day(with_double(type, -0.25)), -21600) << type;  // the remainder keeps the sign
        EXPECT_EQ(read_time_of_day(with_double(type, 1.5)), 43200) << type;
        EXPECT_EQ(read_time_of_day(with_double(type, -1.5)), -43200) << type;
        EXPECT_EQ(read_time_of_day(with_double(type, 2.0)), 0) << type;
        EXPECT_EQ(read_time_of_day(with_double(type, days(34200.7))), 34200) << type;    // 09:30:00.7
        EXPECT_EQ(read_time_of_day(with_double(type, days(86399.9999996))), 0) << type;  // rounds to midnight
        EXPECT_EQ(read_time_of_day(with_double(type, days(86399.9999994))), 86399) << type;
        EXPECT_EQ(read_time_of_day(with_double(type, 1e-300)), 0) << type;
    }
    // Whatever the double holds, the result is a second of a day.
    for (const double v : {nan_d, -nan_d, inf_d, -inf_d, 1e300, -1e300, 1e18, -1e18, 106751991.5}) {
        const std::int32_t s = read_time_of_day(with_double(9, v));
        EXPECT_GT(s, -86400) << v;
        EXPECT_LT(s, 86400) << v;
        EXPECT_EQ(read_int(with_double(9, v)), s) << v;  // read_int of a time input reads it the same way
    }
    EXPECT_EQ(read_time_of_day(with_double(9, nan_d)), 0);
    EXPECT_EQ(read_int(with_double(25, 0.75)), 64800);
    EXPECT_EQ(read_int(with_double(10, 0.75)), 0);
}

TEST(InputReaders, DateInputsReadAsWholeDays) {
    EXPECT_EQ(read_int(with_double(8, 45366.75)), 45366);
    EXPECT_EQ(read_int(with_double(8, -1.75)), -1);
    EXPECT_EQ(read_int(with_double(8, 0.0)), 0);
    // Rounded to microseconds before the division: just short of a day is a day.
    EXPECT_EQ(read_int(with_double(8, 0.999999999999995)), 1);
    EXPECT_EQ(read_int(with_double(8, 0.99999999999)), 0);
    EXPECT_EQ(read_int(with_double(8, nan_d)), 0);
    EXPECT_EQ(read_int(with_double(8, inf_d)), std::numeric_limits<std::int64_t>::max() / 86400000000LL);
    EXPECT_EQ(read_int(with_double(8, -inf_d)), std::numeric_limits<std::int64_t>::min() / 86400000000LL);
    EXPECT_EQ(read_float(with_double(8, 1.5)), 0.0f);
    EXPECT_TRUE(read_yes_no(with_double(8, 1e-300)));
    EXPECT_TRUE(read_yes_no(with_double(10, nan_d)));
    EXPECT_FALSE(read_yes_no(with_double(25, -0.0)));
}

TEST(InputReaders, DoubleInputsRoundOrNarrow) {
    EXPECT_EQ(read_int(with_double(23, 2.5)), 3);
    EXPECT_EQ(read_int(with_double(23, -2.5)), -3);
    EXPECT_EQ(read_int(with_double(23, nan_d)), 0);
    EXPECT_EQ(read_int(with_double(23, 1e20)), i32_max);
    EXPECT_EQ(read_int(with_double(23, -1e20)), i32_min);
    EXPECT_EQ(read_float(with_double(23, 0.1)), 0.1f);
    EXPECT_EQ(read_float(with_double(23, 1e300)), std::numeric_limits<float>::infinity());
    EXPECT_EQ(read_float(with_double(23, -1e300)), -std::numeric_limits<float>::infinity());
    EXPECT_TRUE(std::isnan(read_float(with_double(23, nan_d))));
    EXPECT_TRUE(read_yes_no(with_double(23, 0.5)));
    EXPECT_FALSE(read_yes_no(with_double(23, 0.0)));
    EXPECT_EQ(read_time_of_day(with_double(23, 0.5)), 0);
    EXPECT_EQ(read_colour(with_double(23, 0.5)), 0u);
}

TEST(InputReaders, TextInputsGiveTheirTextOrUnset) {
    char symbol[] = "ESZ26.CME";
    char empty[] = "";
    for (const int type : {26, 27, 28}) {
        EXPECT_EQ(read_text(with_text(type, symbol)), symbol) << type;
        EXPECT_EQ(read_text(with_text(type, empty)), empty) << type;  // "" is not "Unset"
        EXPECT_STREQ(read_text(with_text(type, nullptr)), "Unset") << type;
        EXPECT_EQ(read_int(with_text(type, symbol)), 0) << type;
        EXPECT_FALSE(read_yes_no(with_text(type, symbol))) << type;
    }
    for (const int type : {0, 11, 25, 29, 255}) EXPECT_STREQ(read_text(with_text(type, symbol)), "Unset") << type;
}

TEST(InputReaders, AMissingInputReadsAsNothing) {
    HostInput inputs[3]{};
    inputs[2] = with_int(11, 77);
    HostInterface host{};
    host.inputs = inputs;
    host.input_count = 3;
    EXPECT_EQ(read_int(kmi::input_at(host, 2)), 77);
    for (const int index : {-1, 3, 30, i32_max, i32_min}) {
        const HostInput& in = kmi::input_at(host, index);
        EXPECT_EQ(read_int(in), 0) << index;
        EXPECT_EQ(read_float(in), 0.0f) << index;
        EXPECT_FALSE(read_yes_no(in)) << index;
        EXPECT_EQ(read_time_of_day(in), 0) << index;
        EXPECT_EQ(read_colour(in), 0u) << index;
        EXPECT_STREQ(read_text(in), "Unset") << index;
    }
    host.inputs = nullptr;
    EXPECT_EQ(read_int(kmi::input_at(host, 2)), 0);
}

}  // namespace
