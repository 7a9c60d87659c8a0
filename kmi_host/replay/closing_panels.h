// The chart page's closing panels: the study's panel as it stood at each session day's last
// session bar, recalculated on a host of its own with the same inputs, the charts shown as a
// replay shows them live at that bar's close, one call per day, so that a day replayed as
// history has its panel too.
#ifndef KMI_HOST_REPLAY_CLOSING_PANELS_H
#define KMI_HOST_REPLAY_CLOSING_PANELS_H

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "kmi_host/host_core/host_core.h"
#include "kmi_host/output_files/page_data.h"
#include "kmi_host/replay/replay_feed.h"

namespace kmi::emu {

// A replay gives the feeds it showed its charts from (the study's chart's, and the library's by
// symbol), and the closing panels are shown from them; without, from copies of the charts' bars.
struct ShownFeeds {
    const ReplayFeed* chart = nullptr;
    std::map<std::string, const ReplayFeed*> library;
};

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

// The page's data as the host holds them, with the closing panels of its session days.
ChartPageData chart_page_data(const Host& host);

}  // namespace kmi::emu

#endif
