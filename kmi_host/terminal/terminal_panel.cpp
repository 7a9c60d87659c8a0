#include "kmi_host/terminal/terminal_panel.h"

#include <algorithm>

#include "kmi_host/terminal/console_output.h"
#include "kmi_host/text/date_time_text.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace kmi::emu {
namespace {

constexpr std::int64_t right_edge_from_days = 75;

bool colour_set(std::uint32_t colour) { return (colour & 0xFF000000u) == 0; }

std::string rgb(std::uint32_t colour) {
    std::string out = std::to_string(colour & 0xFFu);
    out += ';';
    out += std::to_string((colour >> 8) & 0xFFu);
    out += ';';
    out += std::to_string((colour >> 16) & 0xFFu);
    return out;
}

// "|" + text + "|" and a line end, the text padded to `inner` columns on the left or right.
void append_row(std::string& out, const std::string& shown, std::size_t pad, bool pad_left) {
    out += '|';
    if (pad_left) out.append(pad, ' ');
    out += shown;
    if (!pad_left) out.append(pad, ' ');
    out += "|\n";
}

}  // namespace

std::vector<PanelRow> panel_rows(const Host& host) {
    std::vector<PanelRow> rows;
    for (const StudyDrawing& shown : study_drawings_top_down(host)) {
        const DrawingRequest& r = shown.drawing->request;
        PanelRow row;
        row.text = shown.drawing->text;
        row.text_color = r.text_color;
        row.background = r.background_color;
        row.right = r.horizontal_position >= right_edge_from_days * us_per_day;
        row.vertical = r.vertical_position;
        row.line_number = shown.line_number;
        rows.push_back(row);
    }
    return rows;
}

std::string panel_plain_text(const std::vector<PanelRow>& rows) {
    std::string out;
    for (const PanelRow& row : rows) out += row.text + "\n";
    return out;
}

std::string ansi_colours(std::uint32_t text_color, std::uint32_t background) {
    std::string out;
    if (colour_set(text_color)) {
        out += "\x1b[38;2;";
        out += rgb(text_color);
        out += 'm';
    }
    if (colour_set(background)) {
        out += "\x1b[48;2;";
        out += rgb(background);
        out += 'm';
    }
    return out;
}

std::string render_panel(const std::vector<PanelRow>& rows, int width, bool colour) {
    const std::size_t inner = static_cast<std::size_t>(std::max(width, 12) - 2);
    std::string border = "+";
    border.append(inner, '-');
    border += "+\n";
    std::string out = border;
    if (rows.empty()) {
        const std::string note = std::string(" (no panel drawn)").substr(0, inner);
        append_row(out, note, inner - note.size(), false);
        out += border;
        return out;
    }
    const bool top = rows.front().vertical >= 50.0f;
    if (!top) {
        append_row(out, "", inner, false);
        append_row(out, "", inner, false);
    }
    for (const PanelRow& row : rows) {
        const std::string text = row.text.substr(0, inner);
        std::string shown = text;
        if (colour && (colour_set(row.text_color) || colour_set(row.background))) {
            shown = ansi_colours(row.text_color, row.background);
            shown += text;
            shown += "\x1b[0m";
        }
        append_row(out, shown, inner - text.size(), row.right);
    }
    if (top) {
        append_row(out, "", inner, false);
        append_row(out, "", inner, false);
    }
    out += border;
    return out;
}

std::string progress_line(double fraction, const std::string& label, int bar_width) {
    const double clamped = std::min(std::max(fraction, 0.0), 1.0);
    const int filled = static_cast<int>(clamped * bar_width);
    const std::string percent = std::to_string(static_cast<int>(clamped * 100.0));
    std::string out = "[";
    out.append(static_cast<std::size_t>(filled), '#');
    out.append(static_cast<std::size_t>(bar_width - filled), '-');
    out += "] ";
    out.append(3 - std::min<std::size_t>(3, percent.size()), ' ');
    out += percent;
    out += "%  ";
    out += label;
    return out;
}

bool is_terminal(std::FILE* stream) {
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

void write_stdout(const std::string& text) {
#ifdef _WIN32
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);  // the same bytes as on every other platform
#endif
    console_write(stdout, text);
    std::fflush(stdout);
}

bool terminal_takes_ansi(std::FILE* stream) {
    if (!is_terminal(stream)) return false;
#ifdef _WIN32
    HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) return false;
    if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0) return true;
    return SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
#else
    return true;
#endif
}

}  // namespace kmi::emu
