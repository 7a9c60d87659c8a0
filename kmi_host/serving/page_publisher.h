// The study's side of the served page: after a study call, the change it made to the page is
// taken from the host and handed over, at most every `interval` (a fast replay calls the study
// hundreds of thousands of times), the changes in between merged into the next.
#ifndef KMI_HOST_SERVING_PAGE_PUBLISHER_H
#define KMI_HOST_SERVING_PAGE_PUBLISHER_H

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "kmi_host/host_core/host_core.h"
#include "kmi_host/serving/page_delta.h"

namespace kmi::emu {

struct PagePublisher {
    std::function<void(PageDelta)> publish;  // must not wait for anything
    std::chrono::steady_clock::duration interval = std::chrono::milliseconds(100);
    std::optional<std::chrono::steady_clock::time_point> last_published;
    std::optional<std::int32_t> pending_from;  // the first bar rewritten since the last publication
    std::vector<PageDay> days;                 // the session days as last published
    // The replay's alerts so far and the rules watched, each change carries them whole (copied
    // only when a change is published); none when the replay gives none.
    const std::vector<FiredAlert>* alerts = nullptr;
    const std::vector<std::string>* alert_rules = nullptr;
};

// After a study call that rewrote the chart's bars from `from_bar` on: publishes the page's
// change since the last publication when that is `interval` old or the replay has `caught_up`
// (its last call with bars to show); otherwise keeps the first bar rewritten for the next.
void publish_after_call(PagePublisher& publisher, const Host& host, std::int32_t from_bar, bool caught_up);

// The replay's end: the bars not yet published and the page as it ended (its closing panels
// among it), with panel.txt as it ended.
void publish_end(PagePublisher& publisher, const ChartPageData& page, const std::string& panel_text);

}  // namespace kmi::emu

#endif
