#include "kmi_host/bar_files/appended_rows.h"

#include "kmi_host/bar_files/text_lines.h"
#include "kmi_host/text/input_error.h"

namespace kmi::emu {

AppendedRow read_appended_row(AppendedRows& rows, std::string_view line, std::uint64_t line_number) {
    AppendedRow out;
    RowsRead read;
    try {
        LineReader lines = text_lines(line, rows.file);
        lines.line_number = line_number - 1;
        // Without a header line the layout takes no further header row: it stays as it is.
        read = read_rows(lines, rows.layout, std::nullopt, rows.settings);
    } catch (const InputError& error) {
        // Every fault names the line, also one said of the whole text ("FILE: holds NUL bytes").
        const std::string where = rows.file + ":" + std::to_string(line_number) + ": ";
        const std::string said = error.what();
        out.fault = said.rfind(where, 0) == 0              ? said
                    : said.rfind(rows.file + ": ", 0) == 0 ? where + said.substr(rows.file.size() + 2)
                                                           : where + said;
        return out;
    }
    if (read.bars.empty()) return out;
    Bar bar = read.bars.front();
    if (rows.tick_volumes && bar.volume == 0.0f && !read.tick_volumes.empty()) bar.volume = read.tick_volumes.front();
    HostDateTime instant = bar.time;
    if (!read.instants.front()) {
        const WallTimeInstants instants = instants_of(rows.naive_zone, bar.time);
        instant = rows.last_instant && instants.earlier <= *rows.last_instant ? instants.later : instants.earlier;
    }
    out.instant = instant;
    bar.time = wall_time_of(rows.chart_zone, instant - rows.moved_back);
    out.bar = bar;
    return out;
}

}  // namespace kmi::emu
