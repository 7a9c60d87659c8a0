#include "panel/panel_lines.h"

#include "host/text_builder.h"

namespace kmi {
namespace {

// The block the lines are composed in: sixteen lines of 64 characters. Longer lines make
// it grow.
constexpr std::int64_t lines_block_bytes = 1024;

}  // namespace

PanelLines make_panel_lines() noexcept {
    PanelLines lines;
    lines.text = make_text_builder();
    reserve(lines.text, lines_block_bytes);
    return lines;
}

PanelLine* add_panel_line(PanelLines& lines) noexcept {
    if (lines.count >= max_panel_lines) return nullptr;
    PanelLine& line = lines.lines[static_cast<std::size_t>(lines.count++)];
    line.start = lines.text.length;
    line.colour = 0;
    return &line;
}

const char* panel_line_chars(const PanelLines& lines, int index) noexcept {
    return lines.text.text.data + lines.lines[static_cast<std::size_t>(index)].start;
}

std::int64_t panel_line_length(const PanelLines& lines, int index) noexcept {
    const auto i = static_cast<std::size_t>(index);
    const std::int64_t end = index + 1 < lines.count ? lines.lines[i + 1].start : lines.text.length;
    return end - lines.lines[i].start;
}

void release_panel_lines(PanelLines& lines) noexcept {
    clear(lines.text);
    lines.count = 0;
    lines.width = 0;
}

}  // namespace kmi
