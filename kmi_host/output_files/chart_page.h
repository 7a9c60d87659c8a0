// The chart page: one self-contained HTML file (chart.html) that shows the study as a trader
// sees it in a browser: the chart's candles with its VWAP, the output series in stacked
// panes, the study's text drawings where they stand on the chart, and a read-out of the 20
// values at the bar under the cursor. The charting library (uPlot) is read from disk when
// the page is written and embedded in it, so the page needs no network.
#ifndef KMI_HOST_OUTPUT_FILES_CHART_PAGE_H
#define KMI_HOST_OUTPUT_FILES_CHART_PAGE_H

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "kmi_host/output_files/atomic_files.h"
#include "kmi_host/output_files/page_data.h"

namespace kmi::emu {

// The charting library's script and style sheet, and its licence, which asks for its
// copyright and permission notice in every copy: the page carries it beside each of them.
struct ChartLibrary {
    std::string script;
    std::string style;
    std::filesystem::path folder;  // where they were found
    std::string notice;            // the library's LICENSE file
};

// The library's two files, uPlot.iife.min.js and uPlot.min.css, looked for in
// FOLDER/uplot/ (its LICENSE beside them) and FOLDER/page/node_modules/uplot/dist/ (its
// LICENSE in uplot/) for the program's folder and each folder above it; the first place
// holding all three wins. Nothing when none does.
std::optional<ChartLibrary> find_chart_library(const std::filesystem::path& program_folder);

// The page's data as one JSON object (the content of its data block); for the page's script
// element, every "<" of its texts is written \u003c.
void write_chart_page_json(OutputSink& sink, const ChartPageData& data, bool for_script);
std::string chart_page_json(const ChartPageData& data);

// The whole page. Without the library the page shows the data's file names and says that
// the chart could not be drawn and why.
void write_chart_page(OutputSink& sink, const ChartPageData& data, const std::optional<ChartLibrary>& library);
std::string render_chart_page(const ChartPageData& data, const std::optional<ChartLibrary>& library);

}  // namespace kmi::emu

#endif
