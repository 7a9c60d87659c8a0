// Drawing the panel: one host text drawing per line, placed by corner and font size.
#ifndef KMI_PANEL_DRAW_PANEL_H
#define KMI_PANEL_DRAW_PANEL_H

#include <cstdint>

#include "host/host_interface.h"
#include "panel/panel_lines.h"

namespace kmi {

// A drawing request holding the host's defaults, with its four empty texts.
void init_drawing_request(DrawingRequest& request) noexcept;

// Releases the request's texts.
void destroy_drawing_request(DrawingRequest& request) noexcept;

// Sends one line as a text drawing through `request`, replacing the drawing with the same
// line number. One request, made by init_drawing_request, serves every line of a call:
// each line sets again the size, the interface version and every field the panel fills,
// so no line carries what the one before it set. The request's text is `text`, lent for
// the host call; the font face is assigned once, on the first line (again on a later
// one if it could not be).
void draw_panel_line(HostInterface& host, DrawingRequest& request, std::int32_t line_number, const HostText& text,
                     std::int32_t corner, double vertical_position, std::int32_t font_size, std::uint32_t text_color,
                     std::uint32_t background_color) noexcept;

// Draws lines 0 to lines.count - 1, each extended with spaces to the lines' width,
// deletes the lines of the previous call beyond them (`line_count` of them were drawn)
// and sets `line_count` to how many are on the chart.
void draw_panel(HostInterface& host, std::int32_t& line_count, std::int32_t line_base,
                const PanelLines& lines) noexcept;

}  // namespace kmi

#endif
