#include "panel/compose_panel.h"

#include <cmath>

#include "host/host_text.h"
#include "host/text_builder.h"
#include "metrics/add_readings.h"
#include "metrics/relative_strength.h"
#include "metrics/session_window.h"
#include "panel/abbreviate_number.h"
#include "settings/input_indices.h"
#include "settings/input_readers.h"
#include "sources/source_status.h"

namespace kmi {
namespace {

// What every line of one call reads.
struct Composition {
    HostInterface& host;
    const SessionWindow& window;
    double upper_threshold = 0.0;
    double lower_threshold = 0.0;
    const PanelReadings& readings;
    const PanelColors& colors;
    std::int32_t reference_day = -1;
    std::int64_t threshold_ms = 0;
};

const SourceSession& live(const Composition& c, int slot) noexcept {
    return (*c.readings.live_sources)[static_cast<std::size_t>(slot)];
}

bool resolved(const Composition& c, int slot) noexcept {
    return c.readings.views->source_resolved[static_cast<std::size_t>(slot)];
}

SourceStatus status_of(const Composition& c, int slot) noexcept {
    return source_status(live(c, slot), resolved(c, slot), c.reference_day, c.readings.live_bound_ms, c.window,
                         c.threshold_ms);
}

double band(const Composition& c, int input) noexcept {
    return static_cast<double>(read_float(input_at(c.host, input)));
}

void compose_title(const Composition& c, TextBuilder& text, PanelLine& line) noexcept {
    append_format(text, "MARKET INTERNALS  - context, not a signal"_fmt);
    line.colour = colour_of(ReadingClass::neutral, c.colors);
}

void compose_tick(const Composition& c, TextBuilder& text, PanelLine& line) noexcept {
    const SourceSession& tick = live(c, slot_tick);
    if (tick.has_data) {
        append_format(text, "TICK %+6.0f"_fmt, tick.last_value);
        if (tick.session_bars > 0) {
            append_format(text, "  H %+.0f L %+.0f  >=%+.0f:%d <=%+.0f:%d  avg %+.0f"_fmt, tick.session_high,
                          tick.session_low, c.upper_threshold, tick.bars_at_or_above_upper, c.lower_threshold,
                          tick.bars_at_or_below_lower, tick.sum_y / static_cast<double>(tick.session_bars));
        }
    } else {
        append_format(text, "TICK"_fmt);
    }
    const SourceStatus status = status_of(c, slot_tick);
    append_status_suffix(text, status, tick.session_day);
    line.colour =
        colour_of(classify_tick(status != SourceStatus::current, tick, band(c, input_tick_average_band)), c.colors);
}

void compose_add(const Composition& c, TextBuilder& text, PanelLine& line) noexcept {
    const SourceSession& add = live(c, slot_add);
    if (add.has_data) {
        append_format(text, "ADD  %+6.0f"_fmt, add.last_value);
        if (const auto change = change_since_open(add)) append_format(text, "  %+.0f since open"_fmt, *change);
        if (slope_is_defined(add)) append_format(text, "  slope %+.0f/hr"_fmt, slope_per_hour(add));
    } else {
        append_format(text, "ADD"_fmt);
    }
    const SourceStatus status = status_of(c, slot_add);
    append_status_suffix(text, status, add.session_day);
    line.colour = colour_of(classify_add(status != SourceStatus::current, add, band(c, input_add_band)), c.colors);
}

void compose_vold(const Composition& c, TextBuilder& text, PanelLine& line) noexcept {
    const SourceSession& vold = live(c, slot_vold);
    const SourceSession& ratio = live(c, slot_updown_ratio);
    if (vold.has_data) {
        append_format(text, "VOLD %s"_fmt, abbreviate_number(vold.last_value).chars.data());
    } else {
        append_format(text, "VOLD"_fmt);
    }
    VoldLine reading;
    reading.ratio_usable = resolved(c, slot_updown_ratio) && ratio.has_data;
    if (reading.ratio_usable) append_format(text, "  up/down vol %.2f"_fmt, ratio.last_value);
    const SourceStatus status = status_of(c, slot_vold);
    append_status_suffix(text, status, vold.session_day);
    reading.ratio = ratio.last_value;
    reading.vold = vold.last_value;
    reading.vold_status_shown = status != SourceStatus::current;
    reading.ratio_status_shown = status_of(c, slot_updown_ratio) != SourceStatus::current;
    line.colour = colour_of(classify_vold(reading, band(c, input_updown_ratio_band)), c.colors);
}

void compose_vix(const Composition& c, TextBuilder& text, PanelLine& line) noexcept {
    const int slot =
        volatility_slot(resolved(c, slot_vix), live(c, slot_vix), resolved(c, slot_front), live(c, slot_front));
    const SourceSession& row = live(c, slot);
    const std::optional<VolatilityChange> change = volatility_change(row);
    if (row.has_data) {
        append_format(text, "%s %6.2f"_fmt, slot == slot_front ? "VX1 " : "VIX ", row.last_value);
        if (change) append_format(text, "  %+.2f (%+.1f%%)"_fmt, change->change, change->percent);
    } else {
        append_format(text, "VIX   (no data for the VIX or front symbol)"_fmt);
    }
    const std::optional<double> ratio = front_back_ratio(live(c, slot_front), live(c, slot_back));
    if (ratio) append_format(text, "  front/back %.3f %s"_fmt, *ratio, curve_word(*ratio));
    const SourceStatus status = status_of(c, slot);
    append_status_suffix(text, status, row.session_day);
    line.colour = colour_of(
        classify_vix(status != SourceStatus::current, row.has_data, change, ratio, band(c, input_vix_percent_band)),
        c.colors);
}

void compose_es_vs_nq(const Composition& c, TextBuilder& text, PanelLine& line) noexcept {
    const SourceSession& es = live(c, slot_es);
    const SourceSession& nq = live(c, slot_nq);
    if (const auto strength = relative_strength(es, nq)) {
        const bool es_stronger = strength->difference >= 0.0;
        append_format(text, "ES %+.2f%%  NQ %+.2f%%  %s by %.2f%%"_fmt, strength->es_percent, strength->nq_percent,
                      es_stronger ? "ES stronger" : "NQ stronger", std::fabs(strength->difference));
    } else {
        append_format(text, "ES vs NQ  needs both on the same RTH session"_fmt);
    }
    // The ES status, or the NQ status when the ES is current.
    SourceStatus status = status_of(c, slot_es);
    std::int32_t day = es.session_day;
    if (status == SourceStatus::current) {
        status = status_of(c, slot_nq);
        day = nq.session_day;
    }
    append_status_suffix(text, status, day);
    line.colour = colour_of(classify_es_nq(status != SourceStatus::current), c.colors);
}

// The price text the host gives for `value` in this chart's price format; an absent
// text counts as empty.
HostText price_text(const Composition& c, double value) noexcept {
    HostText price = make_text();
    if (c.host.format_price != nullptr) c.host.format_price(&c.host, &price, value, c.host.price_format);
    return price;
}

void compose_chart_lines(const Composition& c, PanelLines& lines) noexcept {
    const ChartFlow& flow = *c.readings.live_chart_flow;
    if (flow.session_day < 0 || flow.session_day != c.reference_day) {
        if (PanelLine* line = add_panel_line(lines)) {
            append_format(lines.text, "Chart delta / VWAP start at the RTH open"_fmt);
            line->colour = colour_of(ReadingClass::stale_or_no_data, c.colors);
        }
        return;
    }
    if (PanelLine* line = add_panel_line(lines)) {
        append_format(lines.text, "Chart cum delta %s"_fmt, abbreviate_number(flow.cum_delta).chars.data());
        line->colour = colour_of(classify_sign(flow.cum_delta), c.colors);
    }
    const std::optional<double> average = vwap(flow);
    if (!average) return;
    if (PanelLine* line = add_panel_line(lines)) {
        const double difference = flow.last_close - *average;
        HostText vwap_text = price_text(c, *average);
        HostText difference_text = price_text(c, std::fabs(difference));
        append_format(lines.text, "Chart %s %s VWAP %s"_fmt, text_chars(difference_text),
                      difference < 0.0 ? "below" : "above", text_chars(vwap_text));
        release(vwap_text);
        release(difference_text);
        line->colour = colour_of(classify_sign(difference), c.colors);
    }
}

// The length of the longest line, to which every line is extended with trailing spaces
// when it is drawn.
std::int64_t longest_line(const PanelLines& lines) noexcept {
    std::int64_t longest = 0;
    for (int i = 0; i < lines.count; ++i) {
        const std::int64_t length = panel_line_length(lines, i);
        if (length > longest) longest = length;
    }
    return longest;
}

}  // namespace

void compose_panel(HostInterface& host, const SessionWindow& window, double upper_threshold, double lower_threshold,
                   const PanelReadings& readings, const PanelColors& colors, PanelLines& lines) noexcept {
    Composition c{host, window, upper_threshold, lower_threshold, readings, colors};
    c.reference_day = panel_reference_day(window, *readings.live_chart_flow, host);
    c.threshold_ms = stale_threshold_ms(host);
    compose_title(c, lines.text, *add_panel_line(lines));
    compose_tick(c, lines.text, *add_panel_line(lines));
    compose_add(c, lines.text, *add_panel_line(lines));
    compose_vold(c, lines.text, *add_panel_line(lines));
    compose_vix(c, lines.text, *add_panel_line(lines));
    if (read_yes_no(input_at(host, input_show_es_vs_nq))) compose_es_vs_nq(c, lines.text, *add_panel_line(lines));
    if (read_yes_no(input_at(host, input_show_chart_flow))) compose_chart_lines(c, lines);
    lines.width = longest_line(lines);
}

}  // namespace kmi
