#include "kmi_host/serving/page_publisher.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "kmi_host/terminal/terminal_panel.h"

namespace kmi::emu {

void publish_after_call(PagePublisher& publisher, const Host& host, const ReplayStep& step) {
    const std::int32_t from =
        std::min(publisher.pending_from.value_or(std::numeric_limits<std::int32_t>::max()), std::max(step.from_bar, 0));
    publisher.pending_from = from;
    const auto now = std::chrono::steady_clock::now();
    const bool caught_up = step.call >= step.calls_total;
    if (!caught_up && publisher.last_published && now - *publisher.last_published < publisher.interval) return;
    PageDelta delta{from, chart_page_tail(host, from), panel_plain_text(panel_rows(host))};
    merge_session_days(publisher.days, delta.tail.days, from);
    delta.tail.days = publisher.days;
    publisher.pending_from.reset();
    publisher.last_published = now;
    publisher.publish(std::move(delta));
}

void publish_outcome(PagePublisher& publisher, const ReplayOutcome& outcome) {
    const std::int32_t from = publisher.pending_from.value_or(static_cast<std::int32_t>(outcome.page.times.size()));
    publisher.pending_from.reset();
    publisher.days = outcome.page.days;
    publisher.last_published = std::chrono::steady_clock::now();
    publisher.publish(page_delta_since(outcome.page, outcome.panel_txt, from));
}

}  // namespace kmi::emu
