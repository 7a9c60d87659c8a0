// The panel's lines of one call: their texts one after the other in one built text, each
// line a part of it with its colour; at most 16 lines.
#ifndef KMI_PANEL_PANEL_LINES_H
#define KMI_PANEL_PANEL_LINES_H

#include <array>
#include <cstdint>

#include "host/text_builder.h"

namespace kmi {

inline constexpr int max_panel_lines = 16;

struct PanelLine {
    std::int64_t start = 0;  // where the line's characters begin in PanelLines::text
    std::uint32_t colour = 0;
};

// Lines 0 to count - 1 are in use; a line's characters run from its start to the next
// line's start, the last line's to the end of the text.
struct PanelLines {
    TextBuilder text{};
    std::array<PanelLine, max_panel_lines> lines{};
    int count = 0;
    std::int64_t width = 0;  // every line is drawn extended with spaces to this length
};

// Lines without text, ready to be composed: the text has a block with room for every line.
PanelLines make_panel_lines() noexcept;

// Starts the next line at the end of the text, or gives null when all 16 are in use.
PanelLine* add_panel_line(PanelLines& lines) noexcept;

// The characters of line `index` and their number.
const char* panel_line_chars(const PanelLines& lines, int index) noexcept;
std::int64_t panel_line_length(const PanelLines& lines, int index) noexcept;

// Frees the text; no line is in use afterwards.
void release_panel_lines(PanelLines& lines) noexcept;

}  // namespace kmi

#endif
