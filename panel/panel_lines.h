// The panel's lines of one call: a text and a colour each, at most 16.
#ifndef KMI_PANEL_PANEL_LINES_H
#define KMI_PANEL_PANEL_LINES_H

#include <array>
#include <cstdint>

#include "host/text_builder.h"

namespace kmi {

inline constexpr int max_panel_lines = 16;

struct PanelLine {
    TextBuilder text{};
    std::uint32_t colour = 0;
};

// Lines 0 to count - 1 are in use.
struct PanelLines {
    std::array<PanelLine, max_panel_lines> lines{};
    int count = 0;
};

// The next line, with an empty text, or null when all 16 are in use.
PanelLine* add_panel_line(PanelLines& lines) noexcept;

// Frees the texts of the lines in use; none is in use afterwards.
void release_panel_lines(PanelLines& lines) noexcept;

}  // namespace kmi

#endif
