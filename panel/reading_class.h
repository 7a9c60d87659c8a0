// The four classes of a panel line and the rules that pick a line's class.
#ifndef KMI_PANEL_READING_CLASS_H
#define KMI_PANEL_READING_CLASS_H

#include <cstdint>
#include <optional>

#include "host/host_interface.h"
#include "metrics/source_session.h"
#include "metrics/volatility_readings.h"

namespace kmi {

enum class ReadingClass { positive, neutral, negative, stale_or_no_data };

// The colours of the four classes, from their inputs, read once per drawn panel.
struct PanelColors {
    std::uint32_t positive = 0;
    std::uint32_t neutral = 0;
    std::uint32_t negative = 0;
    std::uint32_t stale_or_no_data = 0;
};

PanelColors read_panel_colors(const HostInterface& host) noexcept;
std::uint32_t colour_of(ReadingClass reading_class, const PanelColors& colors) noexcept;

// By the sign of a value: above 0 positive, below 0 negative, otherwise (0 or NaN) neutral.
ReadingClass classify_sign(double value) noexcept;

// TICK: the session average against +/-band, or stale without session bars.
ReadingClass classify_tick(bool status_shown, const SourceSession& tick, double band) noexcept;

// ADD: the latest value against +/-band.
ReadingClass classify_add(bool status_shown, const SourceSession& add, double band) noexcept;

// VOLD: the up/down ratio against `band` and its reciprocal when the ratio is usable,
// otherwise the sign of the VOLD value.
struct VoldLine {
    bool ratio_usable = false;
    double ratio = 0.0;
    double vold = 0.0;
    bool vold_status_shown = false;
    bool ratio_status_shown = false;
};
ReadingClass classify_vold(const VoldLine& line, double band) noexcept;

// VIX: a rising VIX reads negative, a falling one positive; backwardation negative.
ReadingClass classify_vix(bool status_shown, bool has_data, const std::optional<VolatilityChange>& change,
                          const std::optional<double>& front_back, double band) noexcept;

// ES vs NQ: neutral unless its status is shown.
ReadingClass classify_es_nq(bool status_shown) noexcept;

}  // namespace kmi

#endif
