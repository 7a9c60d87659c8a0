#include "metrics/volatility_readings.h"

#include "settings/source_slots.h"

namespace kmi {

int volatility_slot(bool vix_resolved, const SourceSession& vix, bool front_resolved,
                    const SourceSession& front) noexcept {
    const bool vix_usable = vix_resolved && vix.has_data;
    const bool front_usable = front_resolved && front.has_data;
    return !vix_usable && front_usable ? slot_front : slot_vix;
}

std::optional<double> reference_close(const SourceSession& session) noexcept {
    if (session.session_day < 0) return std::nullopt;
    if (session.session_last_bar_start_ms == session.bar_start_ms) {
        // The latest bar is itself a session bar: the session is still running.
        if (session.has_prior_close) return session.prior_session_close;
        return std::nullopt;
    }
    return session.session_last_value;
}

std::optional<VolatilityChange> volatility_change(const SourceSession& session) noexcept {
    if (!session.has_data) return std::nullopt;
    const std::optional<double> reference = reference_close(session);
    if (!reference || *reference == 0.0) return std::nullopt;
    return VolatilityChange{session.last_value - *reference, (session.last_value / *reference - 1.0) * 100.0};
}

std::optional<double> front_back_ratio(const SourceSession& front, const SourceSession& back) noexcept {
    if (!front.has_data || !back.has_data || back.last_value == 0.0) return std::nullopt;
    return front.last_value / back.last_value;
}

const char* curve_word(double ratio) noexcept { return ratio > 1.0 ? "backwardation" : "contango"; }

}  // namespace kmi
