// The chart page: one self-contained HTML file (chart.html) that shows the study as a trader
// sees it in a browser: the chart's candles with its VWAP, the output series in stacked
// panes, the study's text drawings where they stand on the chart, and a read-out of the 20
// values at the bar under the cursor. The charting library (uPlot) is read from disk when
// the page is written and embedded in it, so the page needs no network.
#ifndef KMI_HOST_OUTPUT_FILES_CHART_PAGE_H
#define KMI_HOST_OUTPUT_FILES_CHART_PAGE_H

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kmi_host/host_core/host_core.h"
#include "kmi_host/output_files/atomic_files.h"

namespace kmi::emu {

// A drawing of the study's chart as the page places it.
struct PageDrawing {
    std::int32_t line_number = 0;
    std::string text;
    std::string font_face;
    std::int32_t font_size = 0;
    std::uint32_t text_color = 0xFF000000u;  // 0x00BBGGRR; a set high byte means no colour
    std::uint32_t background_color = 0xFF000000u;
    std::int64_t horizontal_position = 0;  // a host date-time: 2 days left edge, 149 days right edge
    float vertical_position = 0.0f;        // percent of the region height from its bottom
    std::int32_t text_alignment = 0;       // 0 left, 1 centre, 2 right
};

struct PageSeries {
    std::string name;
    std::uint32_t colour = 0;   // 0x00BBGGRR
    std::vector<float> values;  // one per chart bar
};

// A day with a regular-session bar: its date and the index of its last session bar.
struct PageDay {
    std::string date;  // YYYY-MM-DD
    std::int32_t bar = 0;
};

// A day's closing panel: the study's drawings as they stood at the day's last session bar.
struct PageDayPanel {
    std::string date;  // YYYY-MM-DD
    std::vector<PageDrawing> drawings;
};

// What the page shows, taken from the host at the end of a replay.
struct ChartPageData {
    std::string study_name;
    std::string symbol;
    std::int32_t bar_seconds = 0;
    std::int32_t region_height_px = 0;  // the chart region's height, which the drawings are placed in
    std::int32_t price_format = 2;      // the chart's decimals for prices
    std::vector<HostDateTime> times;
    std::vector<float> open, high, low, close, volume;
    std::vector<PageSeries> series;
    std::vector<PageDrawing> drawings;          // top to bottom, then by line number
    std::vector<PageDay> days;                  // the session days, for the day selector
    std::vector<PageDayPanel> day_panels;       // their closing panels, in day order
    std::vector<std::string> slots_off;         // the source slots no chart fed (tick, add, ... nq)
    std::optional<float> tick_upper_threshold;  // the inputs of these names, when declared as floats
    std::optional<float> tick_lower_threshold;
    // A page served live (replay --serve) names its stream of changes and how many changes its
    // data hold; chart.html has neither.
    std::string live_events;
    std::int64_t live_version = 0;
};

// Taken from the host at the end of a replay. A slot is off when the host had no chart for
// it: its chart-number input is 0 and its symbol is empty, or neither the chart's own nor one
// the host can open (a replay's inputs and symbols hold for all of it, so such a slot was off
// throughout). The closing panels are the study's, recalculated on a host of its own with
// the same inputs: the charts are shown as they stood at each session day's last session bar
// closing (as a replay shows them live), one call per day, so a day replayed as history has
// its panel too.
ChartPageData chart_page_data(const Host& host);

// The same without the bars and the series' values (and without the closing panels unless
// `closing`), for a replay that then takes those from its host as it ends (take_page_bars),
// instead of copying them.
// A replay gives the feeds it showed its charts from (the study's chart's, and the library's by
// symbol), and the closing panels are shown from them; without, from copies of the charts' bars.
struct ReplayFeed;
struct ShownFeeds {
    const ReplayFeed* chart = nullptr;
    std::map<std::string, const ReplayFeed*> library;
};
ChartPageData chart_page_summary(const Host& host, bool closing, const ShownFeeds* shown = nullptr);
// The closing panels of `days` alone, worked out on a host of their own, made with the inputs
// `host` holds then. run_closing_panels needs nothing of `host` after that, so it may run on
// another thread while `host` goes on (the feeds stay unchanged until it returns).
struct ClosingHostEnd {
    void operator()(Host* host) const noexcept;  // the study's last call, then the host's end
};
struct ClosingPanels {
    std::vector<PageDay> days;
    std::vector<ReplayFeed> copies;  // the charts' bars, without a replay's feeds
    ShownFeeds feeds;
    std::unique_ptr<Host, ClosingHostEnd> scratch;  // none when there is nothing to work out
};
ClosingPanels prepare_closing_panels(const Host& host, std::vector<PageDay> days, const ShownFeeds* shown);
std::vector<PageDayPanel> run_closing_panels(ClosingPanels& work);

// The page's data as the host holds them now, its bars and series' values from `from_bar` on:
// the summary as chart_page_summary takes it (no closing panels) with the session days of those
// bars alone, each day's bar counted from the chart's first bar.
ChartPageData chart_page_tail(const Host& host, std::int32_t from_bar);

// Moves the chart's bar arrays and the study's series out of the host into the page's data
// (each series as long as the bars, 0 where the study wrote nothing): the host's last use.
void take_page_bars(ChartPageData& data, Host& host);

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
