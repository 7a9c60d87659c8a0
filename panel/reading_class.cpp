#include "panel/reading_class.h"

#include "settings/input_indices.h"
#include "settings/input_readers.h"

namespace kmi {
namespace {

// At or beyond +band positive, at or beyond -band negative; the positive test first.
ReadingClass classify_band(double value, double band) noexcept {
    if (value >= band) return ReadingClass::positive;
    if (value <= -band) return ReadingClass::negative;
    return ReadingClass::neutral;
}

}  // namespace

PanelColors read_panel_colors(const HostInterface& host) noexcept {
    PanelColors colors;
    colors.positive = read_colour(input_at(host, input_positive_color));
    colors.neutral = read_colour(input_at(host, input_neutral_color));
    colors.negative = read_colour(input_at(host, input_negative_color));
    colors.stale_or_no_data = read_colour(input_at(host, input_stale_color));
    return colors;
}

std::uint32_t colour_of(ReadingClass reading_class, const PanelColors& colors) noexcept {
    switch (reading_class) {
        case ReadingClass::positive: return colors.positive;
        case ReadingClass::negative: return colors.negative;
        case ReadingClass::stale_or_no_data: return colors.stale_or_no_data;
        case ReadingClass::neutral: break;
    }
    return colors.neutral;
}

ReadingClass classify_sign(double value) noexcept {
    if (value > 0.0) return ReadingClass::positive;
    if (value < 0.0) return ReadingClass::negative;
    return ReadingClass::neutral;
}

ReadingClass classify_tick(bool status_shown, const SourceSession& tick, double band) noexcept {
    if (status_shown || tick.session_bars == 0) return ReadingClass::stale_or_no_data;
    return classify_band(tick.sum_y / static_cast<double>(tick.session_bars), band);
}

ReadingClass classify_add(bool status_shown, const SourceSession& add, double band) noexcept {
    if (status_shown) return ReadingClass::stale_or_no_data;
    return classify_band(add.last_value, band);
}

ReadingClass classify_vold(const VoldLine& line, double band) noexcept {
    if (!line.ratio_usable) {
        if (line.vold_status_shown) return ReadingClass::stale_or_no_data;
        return classify_sign(line.vold);
    }
    // One fresh source of the two keeps the ratio's class.
    if (line.ratio_status_shown && line.vold_status_shown) return ReadingClass::stale_or_no_data;
    if (band <= 1.0 || line.ratio <= 0.0) return ReadingClass::neutral;
    if (line.ratio >= band) return ReadingClass::positive;
    if (line.ratio <= 1.0 / band) return ReadingClass::negative;
    return ReadingClass::neutral;
}

ReadingClass classify_vix(bool status_shown, bool has_data, const std::optional<VolatilityChange>& change,
                          const std::optional<double>& front_back, double band) noexcept {
    if (status_shown || !has_data) return ReadingClass::stale_or_no_data;
    ReadingClass result = ReadingClass::neutral;
    if (change) {
        if (change->percent >= band) {
            result = ReadingClass::negative;
        } else if (change->percent <= -band) {
            result = ReadingClass::positive;
        }
    }
    if (front_back && *front_back > 1.0) result = ReadingClass::negative;
    return result;
}

ReadingClass classify_es_nq(bool status_shown) noexcept {
    return status_shown ? ReadingClass::stale_or_no_data : ReadingClass::neutral;
}

}  // namespace kmi
