// The study's panel as text: its drawings on the study's chart in display order, drawn in
// a terminal with their colours and background as 24-bit ANSI colour, in their corner;
// and the terminal itself (colour support, progress bar).
#ifndef KMI_HOST_TERMINAL_TERMINAL_PANEL_H
#define KMI_HOST_TERMINAL_TERMINAL_PANEL_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "kmi_host/host_core/host_core.h"

namespace kmi::emu {

struct PanelRow {
    std::string text;
    std::uint32_t text_color = 0xFF000000u;  // 0x00BBGGRR; a set high byte means no colour
    std::uint32_t background = 0xFF000000u;
    bool right = false;     // at the right edge of the chart (horizontal position of 75 days or more)
    float vertical = 0.0f;  // percent of the region height from its bottom
    std::int32_t line_number = 0;
};

// The text drawings on the study's chart, top to bottom (higher vertical position first,
// then line number).
std::vector<PanelRow> panel_rows(const Host& host);

// The rows' texts, one per line.
std::string panel_plain_text(const std::vector<PanelRow>& rows);

// "ESC[38;2;R;G;Bm" and "ESC[48;2;R;G;Bm" for a text and a background colour (nothing for
// a colour that is not set).
std::string ansi_colours(std::uint32_t text_color, std::uint32_t background);

// The chart region as a box `width` columns wide, the panel in its corner: at the top when
// its first row stands in the upper half, else at the bottom; at the right or left edge.
std::string render_panel(const std::vector<PanelRow>& rows, int width, bool colour);

// "[#####-----]  50%  LABEL".
std::string progress_line(double fraction, const std::string& label, int bar_width = 30);

// Whether the stream is a terminal; on Windows this also switches the console to ANSI
// sequences and answers false when it cannot.
bool is_terminal(std::FILE* stream);
bool terminal_takes_ansi(std::FILE* stream);

// Writes the text to stdout as it is: on Windows too without turning its line ends into CR LF.
void write_stdout(const std::string& text);

}  // namespace kmi::emu

#endif
