// The replay as a trader watches it in a terminal: after a call, a heading line with the chart,
// its clock and where the replay stands, the panel in its corner, and (on a screen redrawn in
// place) the latest lines of the log beneath it.
#ifndef KMI_HOST_TERMINAL_LIVE_SCREEN_H
#define KMI_HOST_TERMINAL_LIVE_SCREEN_H

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

#include "kmi_host/terminal/terminal_panel.h"

namespace kmi::emu {

struct LiveScreen {
    std::string chart;      // the chart as the trader named it
    std::string served_at;  // "  http://..." of a page served live, which the screen would otherwise wipe
    bool in_place = false;  // redrawn in place (a terminal that takes ANSI sequences), with the log
    bool colour = false;
    std::deque<std::string> log;  // the latest lines of the log, oldest first
};

// How many lines of the log the screen keeps.
inline constexpr std::size_t live_screen_log_lines = 12;

// Adds a line to the screen's log, the oldest going once it holds live_screen_log_lines.
void add_log_line(LiveScreen& screen, std::string line);

// The screen after a call: `status` says where the replay stands ("2026-12-02 09:31:00  call 3
// of 12").
std::string draw_live_screen(const LiveScreen& screen, const std::vector<PanelRow>& rows, const std::string& status);

// The width of the box the panel is drawn in: wide enough for its longest line, within the
// terminal's width (COLUMNS, else 100).
int panel_width(const std::vector<PanelRow>& rows);

}  // namespace kmi::emu

#endif
