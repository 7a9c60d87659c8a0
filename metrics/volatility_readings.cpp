#include "metrics/volatility_readings.h"

#include "settings/source_slots.h"

namespace kmi {

int volatility_slot(bool vix_resolved, const SourceSession& vix, bool front_resolved,
                    const SourceSession& front) noexcept {
    const bool vix_usable = vix_resolved && vix.has_data;
    const bool front_usable = front_resolved && front.has_data;
    return !vix_usable && front_usable ? slot_front : slot_vix;
}

const char* curve_word(double ratio) noexcept { return ratio > 1.0 ? "backwardation" : "contango"; }

}  // namespace kmi
