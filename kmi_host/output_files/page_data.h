// The chart page's data: what the page shows of the study as a trader sees it (the chart's
// bars, the 20 output series, the study's drawings, the session days with their closing
// panels), taken from the host. series.csv, days.csv and chart.html are written from it.
#ifndef KMI_HOST_OUTPUT_FILES_PAGE_DATA_H
#define KMI_HOST_OUTPUT_FILES_PAGE_DATA_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kmi_host/alerts/fired_alert.h"
#include "kmi_host/host_core/host_core.h"

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
    bool no_bid_ask_volume = false;             // the chart's bars carry none: its cumulative delta is not available
    std::vector<FiredAlert> alerts;             // the alert rules that fired, in bar order
    std::vector<std::string> alert_rules;       // the rules watched, as written
    std::optional<float> tick_upper_threshold;  // the inputs of these names, when declared as floats
    std::optional<float> tick_lower_threshold;
    // The regular session: the window of inputs 8 and 9 in seconds of the chart's wall-clock day,
    // start inclusive, end exclusive, as the study tests a bar's start time against it.
    std::int64_t session_start_second = 0;
    std::int64_t session_end_second = 0;
    // A page served live (replay --serve) names its stream of changes and how many changes its
    // data hold; chart.html has neither.
    std::string live_events;
    std::int64_t live_version = 0;
};

// The study's drawings on its chart as the page places them, top to bottom.
std::vector<PageDrawing> page_drawings(const Host& host);

// What the page takes of the host but its bars, the series' values and the closing panels, for a
// replay that then takes those from its host as it ends (take_page_bars), instead of copying
// them. A slot is off when the host had no chart for it: its chart-number input is 0 and its
// symbol is empty, or neither the chart's own nor one the host can open (a replay's inputs and
// symbols hold for all of it, so such a slot was off throughout).
ChartPageData chart_page_summary(const Host& host);

// The page's data as the host holds them now, its bars and series' values from `from_bar` on:
// the summary as chart_page_summary takes it with the session days of those
// bars alone, each day's bar counted from the chart's first bar.
ChartPageData chart_page_tail(const Host& host, std::int32_t from_bar);

// Moves the chart's bar arrays and the study's series out of the host into the page's data
// (each series as long as the bars, 0 where the study wrote nothing): the host's last use.
void take_page_bars(ChartPageData& data, Host& host);

// The days that have a regular-session bar (the window of inputs 8 and 9, start inclusive,
// end exclusive, in the chart's time zone), each with its last session bar, in bar order.
std::vector<PageDay> session_days(const Host& host);
// The same for the bars of a file, before they are shown.
std::vector<PageDay> session_days(const Host& host, const std::vector<Bar>& bars);

}  // namespace kmi::emu

#endif
