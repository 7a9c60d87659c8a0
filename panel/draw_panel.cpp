#include "panel/draw_panel.h"

#include <cstring>

#include "host/host_datetime.h"
#include "host/host_text.h"
#include "host/numeric.h"
#include "host/text_builder.h"
#include "panel/panel.h"
#include "settings/input_indices.h"
#include "settings/input_readers.h"

namespace kmi {
namespace {

constexpr std::uint32_t no_colour = 0xFF000000u;
constexpr char panel_font[] = "Consolas";

bool is_top_corner(std::int32_t corner) noexcept { return corner < 2; }
bool is_right_corner(std::int32_t corner) noexcept { return corner == 1 || corner == 3; }

// The region height in pixels; under 50 pixels (zero and negative included) 400 is used.
double region_height(const HostInterface& host) noexcept {
    const std::int64_t height =
        static_cast<std::int64_t>(host.region_bottom_px) - static_cast<std::int64_t>(host.region_top_px);
    return static_cast<double>(height < 50 ? 400 : height);
}

}  // namespace

void init_drawing_request(DrawingRequest& request) noexcept {
    std::memset(&request, 0, sizeof request);
    request.record_size = sizeof(DrawingRequest);
    request.line_number = -1;
    const std::uint32_t smallest_normal = 0x00800000u;
    std::memcpy(&request.vertical_position, &smallest_normal, sizeof smallest_normal);
    request.region = -1;
    request.text_color = no_colour;
    request.font_size = -1;
    request.horizontal_position = 0;
    request.text = make_text();
    request.drawing_type = 0;
    request.value_at_240 = 3;
    request.interface_version = KMI_HOST_INTERFACE_VERSION;
    request.background_color = no_colour;
    request.font_face = make_text();
    request.text_alignment = -1;
    request.value_at_292 = -1;
    request.value_at_752 = -1;
    request.value_at_824 = -1;
    request.value_at_840 = -1;
    request.value_at_892 = -1;
    request.extra_text_1 = make_text();
    request.extra_text_2 = make_text();
}

void destroy_drawing_request(DrawingRequest& request) noexcept {
    release(request.text);
    release(request.font_face);
    release(request.extra_text_1);
    release(request.extra_text_2);
}

void draw_panel_line(HostInterface& host, DrawingRequest& request, std::int32_t line_number, const HostText& text,
                     std::int32_t corner, double vertical_position, std::int32_t font_size, std::uint32_t text_color,
                     std::uint32_t background_color) noexcept {
    const bool right = is_right_corner(corner);
    request.record_size = sizeof(DrawingRequest);
    request.interface_version = KMI_HOST_INTERFACE_VERSION;
    request.chart_number = host.this_chart_number;
    request.line_number = line_number;
    request.vertical_position = to_single(vertical_position);
    request.region = host.study_region;
    request.text_color = text_color;
    request.font_size = font_size;
    // The left or right edge of the region, as whole days of the date-time field.
    request.horizontal_position = round_half_away_i64((right ? 149.0 : 2.0) * 86400000000.0);
    request.text = text;
    request.drawing_type = 6;
    request.value_at_240 = 3;
    request.background_color = background_color;
    if (request.font_face.owns_buffer == 0) {
        assign(request.font_face, panel_font, static_cast<std::int64_t>(sizeof panel_font - 1));
    }
    request.text_alignment = right ? 2 : 0;
    request.value_at_292 = 1;
    request.value_at_752 = 0;
    request.value_at_824 = 0;
    request.value_at_840 = 0;
    request.value_at_892 = 0;
    if (host.add_or_update_drawing != nullptr) host.add_or_update_drawing(&host, &request);
}

void draw_panel(HostInterface& host, std::int32_t& line_count, std::int32_t line_base,
                const PanelLines& lines) noexcept {
    const std::int32_t corner = read_int(input_at(host, input_panel_position));
    const std::int32_t font_size = read_int(input_at(host, input_panel_font_size));
    // The line pitch is 1.9 times the font size in pixels, in percent of the region.
    const double step = static_cast<double>(font_size) * 1.9 * 100.0 / region_height(host);
    const int n = lines.count;
    DrawingRequest request;
    init_drawing_request(request);
    // The request's text: each line in turn, extended to the lines' width, in one block
    // that serves every line (they all have that length).
    TextBuilder text = make_text_builder();
    const HostText empty = make_text();
    for (int i = 0; i < n; ++i) {
        const double y =
            is_top_corner(corner) ? 97.0 - static_cast<double>(i) * step : static_cast<double>(n - i) * step + 3.0;
        const std::uint32_t background = read_colour(input_at(host, input_panel_background_color));
        assign_padded(text, panel_line_chars(lines, i), panel_line_length(lines, i), lines.width);
        draw_panel_line(host, request, panel_line_number(line_base, i), text.length > 0 ? text.text : empty, corner, y,
                        font_size, lines.lines[static_cast<std::size_t>(i)].colour, background);
    }
    request.text = empty;  // lent, not the request's own
    destroy_drawing_request(request);
    clear(text);
    if (host.delete_drawing != nullptr) {
        for (std::int32_t i = n; i < line_count && i < max_panel_lines; ++i) {
            host.delete_drawing(&host, host.this_chart_number, 0, panel_line_number(line_base, i));
        }
    }
    line_count = n;
}

}  // namespace kmi
