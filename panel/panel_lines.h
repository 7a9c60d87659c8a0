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

struct PanelLines {
    std::array<PanelLine, max_panel_lines> lines{};
    int count = 0;
};

// Lines with empty texts, ready to be composed.
void init_panel_lines(PanelLines& lines) noexcept;

// Frees every line's text.
void release_panel_lines(PanelLines& lines) noexcept;

}  // namespace kmi

#endif
