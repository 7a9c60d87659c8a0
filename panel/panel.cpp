#include "panel/panel.h"

#include "panel/compose_panel.h"
#include "panel/draw_panel.h"
#include "settings/input_indices.h"
#include "settings/input_readers.h"

namespace kmi {

std::int32_t panel_line_base(std::int32_t study_id) noexcept {
    const std::uint32_t id = static_cast<std::uint32_t>(study_id);
    return static_cast<std::int32_t>((id + 75200u) * 1000u);
}

void delete_panel_block(HostInterface& host, std::int32_t line_base) noexcept {
    if (host.delete_drawing == nullptr) return;
    for (std::int32_t k = 0; k < max_panel_lines; ++k) {
        host.delete_drawing(&host, host.this_chart_number, 0, panel_line_number(line_base, k));
    }
}

void remove_panel(HostInterface& host, std::int32_t& line_count, std::int32_t line_base) noexcept {
    if (host.delete_drawing != nullptr) {
        for (std::int32_t i = 0; i < line_count && i < max_panel_lines; ++i) {
            host.delete_drawing(&host, host.this_chart_number, 0, panel_line_number(line_base, i));
        }
    }
    line_count = 0;
}

void update_panel(HostInterface& host, std::int32_t& line_count, std::int32_t line_base, const SessionWindow& window,
                  double upper_threshold, double lower_threshold, const PanelReadings& readings) noexcept {
    if (!read_yes_no(input_at(host, input_show_panel)) || host.bar_count == 0) {
        remove_panel(host, line_count, line_base);
        return;
    }
    const PanelColors colors = read_panel_colors(host);
    PanelLines lines = make_panel_lines();
    compose_panel(host, window, upper_threshold, lower_threshold, readings, colors, lines);
    draw_panel(host, line_count, line_base, lines);
    release_panel_lines(lines);
}

}  // namespace kmi
