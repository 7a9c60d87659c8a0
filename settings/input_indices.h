// Indices of the study's inputs 0 to 20 (the source inputs are in source_slots.h).
#ifndef KMI_SETTINGS_INPUT_INDICES_H
#define KMI_SETTINGS_INPUT_INDICES_H

namespace kmi {

enum InputIndex : int {
    input_show_panel = 0,
    input_panel_position = 1,
    input_panel_font_size = 2,
    input_panel_background_color = 3,
    input_positive_color = 4,
    input_neutral_color = 5,
    input_negative_color = 6,
    input_stale_color = 7,
    input_rth_start = 8,
    input_rth_end = 9,
    input_opened_chart_bar_seconds = 10,
    input_stale_minutes = 11,
    input_tick_upper_threshold = 12,
    input_tick_lower_threshold = 13,
    input_tick_average_band = 14,
    input_add_band = 15,
    input_updown_ratio_band = 16,
    input_vix_percent_band = 17,
    input_show_chart_flow = 18,
    input_show_es_vs_nq = 19,
    input_hide_opened_charts = 20,
};

inline constexpr int output_series_count = 20;

}  // namespace kmi

#endif
