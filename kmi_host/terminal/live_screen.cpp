#include "kmi_host/terminal/live_screen.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace kmi::emu {
namespace {

int terminal_width() {
    const char* columns = std::getenv("COLUMNS");
    const int width = columns == nullptr ? 0 : std::atoi(columns);
    return width >= 40 ? width : 100;
}

}  // namespace

void add_log_line(LiveScreen& screen, std::string line) {
    screen.log.push_back(std::move(line));
    if (screen.log.size() > live_screen_log_lines) screen.log.pop_front();
}

std::string draw_live_screen(const LiveScreen& screen, const std::vector<PanelRow>& rows, const std::string& status) {
    std::string text = screen.in_place ? "\x1b[H\x1b[J" : "\n";
    text += "kmi-host replay  " + screen.chart + "  " + status + screen.served_at + "\n";
    text += render_panel(rows, panel_width(rows), screen.colour);
    if (screen.in_place) {
        text += "log:\n";
        for (const std::string& line : screen.log) text += "  " + line + "\n";
    }
    return text;
}

int panel_width(const std::vector<PanelRow>& rows) {
    std::size_t longest = 40;
    for (const PanelRow& row : rows) longest = std::max(longest, row.text.size());
    return std::min(static_cast<int>(longest) + 12, std::max(terminal_width(), static_cast<int>(longest) + 2));
}

}  // namespace kmi::emu
