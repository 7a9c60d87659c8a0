// The volatility readings: the VIX change against the last completed regular session's
// close, and the front/back ratio of the term structure.
#ifndef KMI_METRICS_VOLATILITY_READINGS_H
#define KMI_METRICS_VOLATILITY_READINGS_H

#include <optional>

#include "host/always_inline.h"
#include "metrics/source_session.h"

namespace kmi {

// The fields of a source record its latest value is read from (left unset until a
// record fills them: the closed-bar loop keeps one per bar and sets it before reading).
struct LatestValueFields {
    bool has_data;
    double last_value;
};

KMI_ALWAYS_INLINE LatestValueFields latest_value_fields(const SourceSession& session) noexcept {
    return LatestValueFields{session.has_data, session.last_value};
}

struct VolatilityChange {
    double change = 0.0;
    double percent = 0.0;
};

// The slot the panel's volatility row shows: the VIX, or the front contract when the VIX
// is not resolved or has no data while the front has.
int volatility_slot(bool vix_resolved, const SourceSession& vix, bool front_resolved,
                    const SourceSession& front) noexcept;

// The last close of the most recent completed session.
KMI_ALWAYS_INLINE std::optional<double> reference_close(const SourceSession& session) noexcept {
    if (session.session_day < 0) return std::nullopt;
    if (session.session_last_bar_start_ms == session.bar_start_ms) {
        // The latest bar is itself a session bar: the session is still running.
        if (session.has_prior_close) return session.prior_session_close;
        return std::nullopt;
    }
    return session.session_last_value;
}

// The latest value against the reference close; none when the reference is missing or 0.
KMI_ALWAYS_INLINE std::optional<VolatilityChange> volatility_change(const SourceSession& session) noexcept {
    if (!session.has_data) return std::nullopt;
    const std::optional<double> reference = reference_close(session);
    if (!reference || *reference == 0.0) return std::nullopt;
    return VolatilityChange{session.last_value - *reference, (session.last_value / *reference - 1.0) * 100.0};
}

// Front over back; none when either has no data or the back is at 0.
// The ratio takes a source record, or any record with the same fields (the closed-bar
// loop keeps only these fields of the front per bar, in LatestValueFields).
template <typename Front, typename Back>
KMI_ALWAYS_INLINE std::optional<double> front_back_ratio(const Front& front, const Back& back) noexcept {
    if (!front.has_data || !back.has_data || back.last_value == 0.0) return std::nullopt;
    return front.last_value / back.last_value;
}

// "backwardation" above 1, "contango" otherwise.
const char* curve_word(double ratio) noexcept;

}  // namespace kmi

#endif
