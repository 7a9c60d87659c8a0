// The chart page served live: the page's data as the server holds them, and a change to them
// taken from the host after a study call (the bars from the first one the call rewrote, the
// panel and the session days as they now stand).
#ifndef KMI_HOST_SERVING_PAGE_DELTA_H
#define KMI_HOST_SERVING_PAGE_DELTA_H

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "kmi_host/output_files/chart_page.h"

namespace kmi::emu {

// A change to the page: every bar from `from_bar` on (earlier bars stay as they were) and
// everything else whole (the study's summary, its drawings, the session days, every alert so
// far, forming ones included).
struct PageDelta {
    std::int32_t from_bar = 0;
    ChartPageData tail;      // its bars and series' values are those from `from_bar` on
    std::string panel_text;  // panel.txt as it now stands
};

// The page as the server holds it: the data so far, panel.txt, and the first bar each recent
// change rewrote, which tells what a page of an earlier version has to take again.
struct LivePage {
    ChartPageData page;
    std::string panel_text;
    std::deque<std::int32_t> recent_from_bars;  // of the latest changes, the newest last
};

// How many recent changes a live page remembers the first bar of.
inline constexpr std::size_t live_page_memory = 1024;

// The page's data with the change: its bars cut at `from_bar` (a change beyond the bars is
// taken from their end), the change's bars and values appended, the rest replaced. Counts
// the change in the page's version.
void apply_page_delta(LivePage& live, PageDelta delta);

// The first bar a page that holds `bars` bars at `version` needs again: the last of its bars
// (it may have changed since), or an earlier one that a change since then rewrote; 0 for a
// version the live page no longer remembers.
std::int32_t catch_up_from(const LivePage& live, std::int32_t bars, std::int64_t version);

// The page's bars from `from_bar` on, with everything else whole, as one change.
PageDelta page_delta_since(const ChartPageData& page, const std::string& panel_text, std::int32_t from_bar);

// The change as the page's script reads it: {"version", "from_bar", "page": the page's data
// block of the change}, on one line.
std::string page_delta_json(const PageDelta& delta, std::int64_t version);

// The session days when the bars from `from_bar` on have `tail_days`: the days of earlier bars
// kept, the day a bar of the change continues taking that bar.
void merge_session_days(std::vector<PageDay>& days, const std::vector<PageDay>& tail_days, std::int32_t from_bar);

}  // namespace kmi::emu

#endif
