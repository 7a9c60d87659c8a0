#include "kmi_host/serving/page_publisher.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "kmi_host/terminal/terminal_panel.h"

namespace kmi::emu {

void publish_after_call(PagePublisher& publisher, const Host& host, std::int32_t from_bar, bool caught_up) {
    const std::int32_t from =
        std::min(publisher.pending_from.value_or(std::numeric_limits<std::int32_t>::max()), std::max(from_bar, 0));
    publisher.pending_from = from;
    const auto now = std::chrono::steady_clock::now();
    if (!caught_up && publisher.last_published && now - *publisher.last_published < publisher.interval) return;
    PageDelta delta{from, chart_page_tail(host, from), panel_plain_text(panel_rows(host))};
    merge_session_days(publisher.days, delta.tail.days, from);
    delta.tail.days = publisher.days;
    if (publisher.alerts) delta.tail.alerts = *publisher.alerts;
    if (publisher.alert_rules) delta.tail.alert_rules = *publisher.alert_rules;
    publisher.pending_from.reset();
    publisher.last_published = now;
    publisher.publish(std::move(delta));
}

void publish_end(PagePublisher& publisher, const ChartPageData& page, const std::string& panel_text) {
    const std::int32_t from = publisher.pending_from.value_or(static_cast<std::int32_t>(page.times.size()));
    publisher.pending_from.reset();
    publisher.days = page.days;
    publisher.last_published = std::chrono::steady_clock::now();
    publisher.publish(page_delta_since(page, panel_text, from));
}

}  // namespace kmi::emu
