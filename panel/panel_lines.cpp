#include "panel/panel_lines.h"

#include "host/text_builder.h"

namespace kmi {

void init_panel_lines(PanelLines& lines) noexcept {
    for (PanelLine& line : lines.lines) {
        line.text = make_text_builder();
        line.colour = 0;
    }
    lines.count = 0;
}

void release_panel_lines(PanelLines& lines) noexcept {
    for (PanelLine& line : lines.lines) clear(line.text);
    lines.count = 0;
}

}  // namespace kmi
