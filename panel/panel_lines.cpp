#include "panel/panel_lines.h"

#include "host/text_builder.h"

namespace kmi {

PanelLine* add_panel_line(PanelLines& lines) noexcept {
    if (lines.count >= max_panel_lines) return nullptr;
    PanelLine& line = lines.lines[static_cast<std::size_t>(lines.count++)];
    line.text = make_text_builder();
    line.colour = 0;
    return &line;
}

void release_panel_lines(PanelLines& lines) noexcept {
    for (int i = 0; i < lines.count; ++i) clear(lines.lines[static_cast<std::size_t>(i)].text);
    lines.count = 0;
}

}  // namespace kmi
