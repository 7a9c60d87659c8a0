// Conversions from floating values to integers. Every such conversion in the study goes
// through these helpers: NaN gives 0 and values outside the target range saturate, so no
// input, however wild, reaches undefined behaviour.
#ifndef KMI_HOST_NUMERIC_H
#define KMI_HOST_NUMERIC_H

#include <cmath>
#include <cstdint>
#include <limits>

namespace kmi {

// Rounds half away from zero (0.5 added for values of 0 or more, subtracted for negative
// ones, then truncated toward zero) into a 64-bit integer.
inline std::int64_t round_half_away_i64(double x) noexcept {
    if (std::isnan(x)) return 0;
    const double r = x >= 0.0 ? x + 0.5 : x - 0.5;
    // 2^63 is exactly representable; anything at or beyond it saturates.
    constexpr double limit = 9223372036854775808.0;
    if (r >= limit) return std::numeric_limits<std::int64_t>::max();
    if (r <= -limit) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(r);
}

// Rounds half away from zero into a 32-bit integer.
inline std::int32_t round_half_away_i32(double x) noexcept {
    if (std::isnan(x)) return 0;
    const double r = x >= 0.0 ? x + 0.5 : x - 0.5;
    if (r >= 2147483648.0) return std::numeric_limits<std::int32_t>::max();
    if (r <= -2147483649.0) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(r);
}

// Narrows a 64-bit integer to 32 bits, saturating.
inline std::int32_t saturate_i32(std::int64_t x) noexcept {
    if (x > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    if (x < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(x);
}

// Narrows a double to a single-precision float (out-of-range values become infinities,
// which is defined for IEEE floats).
inline float to_single(double x) noexcept { return static_cast<float>(x); }

}  // namespace kmi

#endif
