#include "settings/declare_defaults.h"

#include <cstring>

#include "host/host_text.h"
#include "host/process_heap.h"
#include "settings/input_indices.h"
#include "settings/source_slots.h"

namespace kmi {
namespace {

constexpr char study_description_text[] =
    "Context dashboard: NYSE $TICK, $ADD, $VOLD, VIX and its term structure, ES against NQ, and optionally this "
    "chart's cumulative delta and VWAP. Every symbol is an input. Context only: internals agreement was screened "
    "and showed no tradable edge after costs. Places no orders.";

constexpr const char* output_series_names[output_series_count] = {
    "TICK",
    "TICK Session High",
    "TICK Session Low",
    "TICK Bars At/Above Upper",
    "TICK Bars At/Below Lower",
    "TICK Session Average",
    "ADD",
    "ADD Change Since Open",
    "ADD Slope Per Hour",
    "VOLD",
    "Up/Down Volume Ratio",
    "VIX",
    "VIX Change %",
    "Term Structure Front/Back",
    "ES % Since Open",
    "NQ % Since Open",
    "ES minus NQ %",
    "Cumulative Delta (RTH)",
    "VWAP (RTH)",
    "Close minus VWAP",
};

constexpr std::uint32_t series_colour = 15116800;  // R 0, G 170, B 230
constexpr char panel_position_items[] = "Top left;Top right;Bottom left;Bottom right";

void set_name(HostText& name, const char* text) noexcept {
    assign(name, text, static_cast<std::int64_t>(std::strlen(text)));
}

// Releases a text the record holds as its own (types 26 to 28 with the owns flag set).
void release_owned_text(HostInput& input) noexcept {
    const bool holds_text = input.type == 26 || input.type == 27 || input.type == 28;
    if (holds_text && input_text_owned(input) != 0) {
        heap_free(input_text(input));
        set_input_text(input, nullptr, 0);
    }
}

// The input record to declare. Every declaration overwrites the value, so a text the record
// owned is released first: overwriting its pointer would lose the block.
HostInput* input_slot(HostInterface& host, int index) noexcept {
    if (host.inputs == nullptr || index < 0 || index >= host.input_count) return nullptr;
    HostInput* input = &host.inputs[index];
    release_owned_text(*input);
    return input;
}

void declare_output_series(HostInterface& host) noexcept {
    if (host.output_series == nullptr) return;
    for (int i = 0; i < output_series_count && i < host.output_series_count; ++i) {
        HostOutputSeries& series = host.output_series[i];
        set_name(series.name, output_series_names[i]);
        series.presentation_code = 5;
        series.colour = series_colour;
        series.presentation_value = 1;
        series.presentation_flag = 1;
    }
}

void declare_yes_no(HostInterface& host, int index, const char* name, bool value) noexcept {
    HostInput* input = input_slot(host, index);
    if (input == nullptr) return;
    set_name(input->name, name);
    input->type = kmi_input_yes_no;
    set_input_uint32(*input, value ? 1u : 0u);
}

void declare_integer(HostInterface& host, int index, const char* name, std::int32_t value, std::int32_t minimum,
                     std::int32_t maximum) noexcept {
    HostInput* input = input_slot(host, index);
    if (input == nullptr) return;
    set_name(input->name, name);
    input->type = kmi_input_integer;
    set_input_int32(*input, value);
    set_input_int_limits(*input, minimum, maximum);
}

void declare_colour(HostInterface& host, int index, const char* name, std::uint32_t value) noexcept {
    HostInput* input = input_slot(host, index);
    if (input == nullptr) return;
    set_name(input->name, name);
    input->type = kmi_input_colour;
    set_input_uint32(*input, value);
}

void declare_time(HostInterface& host, int index, const char* name, double days) noexcept {
    HostInput* input = input_slot(host, index);
    if (input == nullptr) return;
    set_name(input->name, name);
    input->type = kmi_input_time_of_day;
    set_input_double(*input, days);
}

HostInput* declare_float(HostInterface& host, int index, const char* name, float value) noexcept {
    HostInput* input = input_slot(host, index);
    if (input == nullptr) return nullptr;
    set_name(input->name, name);
    input->type = kmi_input_float;
    set_input_float(*input, value);
    return input;
}

void declare_float_limited(HostInterface& host, int index, const char* name, float value, float minimum,
                           float maximum) noexcept {
    if (HostInput* input = declare_float(host, index, name, value)) set_input_float_limits(*input, minimum, maximum);
}

void declare_panel_position(HostInterface& host) noexcept {
    HostInput* input = input_slot(host, input_panel_position);
    if (input == nullptr) return;
    set_name(input->name, "Panel Position");
    if (input->set_list_items != nullptr) input->set_list_items(input->list_items_context, panel_position_items);
    input->type = kmi_input_custom_list;
    set_input_int32(*input, 1);
}

// Stores a default symbol as the record's own text (any owned text is already released).
void store_symbol(HostInput& input, const char* symbol) noexcept {
    release_owned_text(input);
    char* copy = nullptr;
    const std::size_t length = std::strlen(symbol);
    if (length != 0) {
        copy = static_cast<char*>(heap_alloc(length + 1));
        if (copy != nullptr) std::memcpy(copy, symbol, length + 1);
    }
    input.type = kmi_input_text;
    set_input_text(input, copy, 1);
}

void declare_source_inputs(HostInterface& host) noexcept {
    for (int slot = 0; slot < source_slot_count; ++slot) {
        const SourceLabel& source = source_labels[static_cast<std::size_t>(slot)];
        if (HostInput* symbol = input_slot(host, symbol_input(slot))) {
            format(symbol->name, "%s Symbol (empty = off)", source.label);
            store_symbol(*symbol, source.default_symbol);
        }
        if (HostInput* chart = input_slot(host, chart_number_input(slot))) {
            format(chart->name, "%s: Read From Chart Number (0 = open by symbol)", source.label);
            chart->type = kmi_input_integer;
            set_input_int32(*chart, 0);
            set_input_int_limits(*chart, 0, 10000);
        }
    }
}

}  // namespace

void declare_defaults(HostInterface& host) noexcept {
    set_name(host.study_name, study_display_name);
    set_name(host.study_description, study_description_text);
    host.study_region = 0;
    host.host_setting_1 = 1;
    host.host_setting_2 = 2;
    host.host_setting_3 = 2;
    host.host_setting_4 = 0;

    declare_output_series(host);

    declare_yes_no(host, input_show_panel, "Show Panel", true);
    declare_panel_position(host);
    declare_integer(host, input_panel_font_size, "Panel Font Size", 9, 5, 30);
    declare_colour(host, input_panel_background_color, "Panel Background Color", 2104348);
    declare_colour(host, input_positive_color, "Positive Reading Color", 7260230);
    declare_colour(host, input_neutral_color, "Neutral Reading Color", 13816530);
    declare_colour(host, input_negative_color, "Negative Reading Color", 5921515);
    declare_colour(host, input_stale_color, "Stale / No Data Color", 7895160);
    declare_time(host, input_rth_start, "RTH Start Time (chart time zone)", 34200.0 / 86400.0);
    declare_time(host, input_rth_end, "RTH End Time (a bar starting at this time is not RTH)", 57600.0 / 86400.0);
    declare_integer(host, input_opened_chart_bar_seconds, "Bar Seconds for Charts the Study Opens", 60, 1, 3600);
    declare_integer(host, input_stale_minutes, "Flag a Symbol as Stale After Minutes Without Data (RTH)", 5, 1, 1440);
    declare_float(host, input_tick_upper_threshold, "TICK Upper Threshold", 1000.0f);
    declare_float(host, input_tick_lower_threshold, "TICK Lower Threshold", -1000.0f);
    declare_float_limited(host, input_tick_average_band, "TICK Colour: Session Average Beyond +/-", 100.0f, 0.0f,
                          5000.0f);
    declare_float_limited(host, input_add_band, "ADD Colour: Value Beyond +/-", 500.0f, 0.0f, 100000.0f);
    declare_float_limited(host, input_updown_ratio_band, "VOLD Colour: Up/Down Ratio At or Beyond (and 1/x)", 1.5f,
                          1.01f, 100.0f);
    declare_float_limited(host, input_vix_percent_band, "VIX Colour: % Change Beyond +/-", 3.0f, 0.0f, 100.0f);
    declare_yes_no(host, input_show_chart_flow, "Show This Chart's Cumulative Delta and VWAP", true);
    declare_yes_no(host, input_show_es_vs_nq, "Show ES vs NQ Relative Strength", true);
    declare_yes_no(host, input_hide_opened_charts, "Hide the Charts the Study Opens", true);

    declare_source_inputs(host);
}

}  // namespace kmi
