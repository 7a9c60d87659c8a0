// The colour rules of the panel's lines at their boundaries, and the number
// abbreviation.
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "panel/abbreviate_number.h"
#include "panel/reading_class.h"

namespace kmi {
namespace {

const double nan = std::numeric_limits<double>::quiet_NaN();

SourceSession tick_with_average(double average) {
    SourceSession tick;
    tick.has_data = true;
    tick.session_bars = 4;
    tick.sum_y = average * 4;
    return tick;
}

SourceSession add_at(double value) {
    SourceSession add;
    add.has_data = true;
    add.last_value = value;
    return add;
}

TEST(TickColour, TheSessionAverageAtTheBandCountsAndPositiveIsTestedFirst) {
    EXPECT_EQ(classify_tick(false, tick_with_average(100), 100), ReadingClass::positive);
    EXPECT_EQ(classify_tick(false, tick_with_average(-100), 100), ReadingClass::negative);
    EXPECT_EQ(classify_tick(false, tick_with_average(99.5), 100), ReadingClass::neutral);
    EXPECT_EQ(classify_tick(false, tick_with_average(0), 0), ReadingClass::positive);
    EXPECT_EQ(classify_tick(false, tick_with_average(nan), 100), ReadingClass::neutral);
    SourceSession before_the_open = tick_with_average(500);
    before_the_open.session_bars = 0;
    EXPECT_EQ(classify_tick(false, before_the_open, 100), ReadingClass::stale_or_no_data);
    EXPECT_EQ(classify_tick(true, tick_with_average(500), 100), ReadingClass::stale_or_no_data);
}

TEST(AddColour, TheValueAtTheBandCounts) {
    EXPECT_EQ(classify_add(false, add_at(500), 500), ReadingClass::positive);
    EXPECT_EQ(classify_add(false, add_at(-500), 500), ReadingClass::negative);
    EXPECT_EQ(classify_add(false, add_at(499), 500), ReadingClass::neutral);
    EXPECT_EQ(classify_add(true, add_at(900), 500), ReadingClass::stale_or_no_data);
    EXPECT_EQ(classify_add(false, add_at(nan), 500), ReadingClass::neutral);
}

TEST(VoldColour, TheRatioDecidesWhenUsableOtherwiseTheSign) {
    VoldLine line;
    line.ratio_usable = true;
    line.ratio = 1.5;
    EXPECT_EQ(classify_vold(line, 1.5), ReadingClass::positive);
    line.ratio = 1.0 / 1.5;
    EXPECT_EQ(classify_vold(line, 1.5), ReadingClass::negative);
    line.ratio = 1.2;
    EXPECT_EQ(classify_vold(line, 1.5), ReadingClass::neutral);
    line.ratio = 0.0;
    EXPECT_EQ(classify_vold(line, 1.5), ReadingClass::neutral) << "a ratio of 0 or below is neutral";
    line.ratio = 3.0;
    EXPECT_EQ(classify_vold(line, 1.0), ReadingClass::neutral) << "a band of 1 or below is neutral";

    // One fresh source keeps the ratio's class; both flagged is stale.
    line.ratio = 2.0;
    line.vold_status_shown = true;
    EXPECT_EQ(classify_vold(line, 1.5), ReadingClass::positive);
    line.ratio_status_shown = true;
    EXPECT_EQ(classify_vold(line, 1.5), ReadingClass::stale_or_no_data);

    VoldLine by_sign;
    by_sign.vold = -3e8;
    EXPECT_EQ(classify_vold(by_sign, 1.5), ReadingClass::negative);
    by_sign.vold = 0;
    EXPECT_EQ(classify_vold(by_sign, 1.5), ReadingClass::neutral);
    by_sign.vold = 1;
    by_sign.ratio_status_shown = true;  // the ratio's status plays no part without the ratio
    EXPECT_EQ(classify_vold(by_sign, 1.5), ReadingClass::positive);
    by_sign.vold_status_shown = true;
    EXPECT_EQ(classify_vold(by_sign, 1.5), ReadingClass::stale_or_no_data);
}

TEST(VixColour, RisingReadsNegativeFallingPositiveAndBackwardationNegative) {
    auto change = [](double percent) { return std::optional<VolatilityChange>(VolatilityChange{0.0, percent}); };
    const std::optional<double> contango = 0.9;
    EXPECT_EQ(classify_vix(false, true, change(3.0), contango, 3.0), ReadingClass::negative);
    EXPECT_EQ(classify_vix(false, true, change(-3.0), contango, 3.0), ReadingClass::positive);
    EXPECT_EQ(classify_vix(false, true, change(2.9), contango, 3.0), ReadingClass::neutral);
    EXPECT_EQ(classify_vix(false, true, change(-5.0), 1.1, 3.0), ReadingClass::negative);
    EXPECT_EQ(classify_vix(false, true, std::nullopt, 1.0, 3.0), ReadingClass::neutral) << "ratio 1 is contango";
    EXPECT_EQ(classify_vix(false, true, std::nullopt, std::nullopt, 3.0), ReadingClass::neutral);
    EXPECT_EQ(classify_vix(false, true, change(nan), contango, 3.0), ReadingClass::neutral);
    EXPECT_EQ(classify_vix(true, true, change(-9.0), contango, 3.0), ReadingClass::stale_or_no_data);
    EXPECT_EQ(classify_vix(false, false, std::nullopt, contango, 3.0), ReadingClass::stale_or_no_data);
}

TEST(SignColour, ZeroAndNaNAreNeutral) {
    EXPECT_EQ(classify_sign(0.0), ReadingClass::neutral);
    EXPECT_EQ(classify_sign(-0.0), ReadingClass::neutral);
    EXPECT_EQ(classify_sign(nan), ReadingClass::neutral);
    EXPECT_EQ(classify_sign(1e-300), ReadingClass::positive);
    EXPECT_EQ(classify_sign(-2.0), ReadingClass::negative);
    EXPECT_EQ(classify_es_nq(false), ReadingClass::neutral);
    EXPECT_EQ(classify_es_nq(true), ReadingClass::stale_or_no_data);
}

TEST(AbbreviateNumber, FullUpTo9999ThenKMAndB) {
    auto text = [](double x) { return std::string(abbreviate_number(x).chars.data()); };
    EXPECT_EQ(text(9999), "+9999");
    EXPECT_EQ(text(10000), "+10.00K");
    EXPECT_EQ(text(-45678), "-45.68K");
    EXPECT_EQ(text(999999), "+1000.00K");
    EXPECT_EQ(text(1e6), "+1.00M");
    EXPECT_EQ(text(1234567), "+1.23M");
    EXPECT_EQ(text(2.5e9), "+2.50B");
    EXPECT_EQ(text(-2.5e9), "-2.50B");
    EXPECT_EQ(text(0), "+0");
    EXPECT_EQ(text(-0.4), "-0");
    EXPECT_EQ(text(1e300).size(), 31u) << "cut to 31 characters";
    EXPECT_EQ(text(std::numeric_limits<double>::infinity()), "+infB");
    EXPECT_EQ(text(nan), "+nan");
}

}  // namespace
}  // namespace kmi
