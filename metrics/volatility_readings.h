// The volatility readings: the VIX change against the last completed regular session's
// close, and the front/back ratio of the term structure.
#ifndef KMI_METRICS_VOLATILITY_READINGS_H
#define KMI_METRICS_VOLATILITY_READINGS_H

#include <optional>

#include "metrics/source_session.h"

namespace kmi {

struct VolatilityChange {
    double change = 0.0;
    double percent = 0.0;
};

// The slot the panel's volatility row shows: the VIX, or the front contract when the VIX
// is not resolved or has no data while the front has.
int volatility_slot(bool vix_resolved, const SourceSession& vix, bool front_resolved,
                    const SourceSession& front) noexcept;

// The last close of the most recent completed session.
std::optional<double> reference_close(const SourceSession& session) noexcept;

// The latest value against the reference close; none when the reference is missing or 0.
std::optional<VolatilityChange> volatility_change(const SourceSession& session) noexcept;

// Front over back; none when either has no data or the back is at 0.
std::optional<double> front_back_ratio(const SourceSession& front, const SourceSession& back) noexcept;

// "backwardation" above 1, "contango" otherwise.
const char* curve_word(double ratio) noexcept;

}  // namespace kmi

#endif
