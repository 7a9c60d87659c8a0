#include "kmi_host/serving/page_delta.h"

#include <algorithm>
#include <utility>

#include "kmi_host/output_files/atomic_files.h"

namespace kmi::emu {
namespace {

// `values` cut to `from` entries (padded when shorter) with `added` after them.
template <typename T>
void splice(std::vector<T>& values, std::size_t from, const std::vector<T>& added) {
    values.resize(from);
    values.insert(values.end(), added.begin(), added.end());
}

template <typename T>
std::vector<T> tail_of(const std::vector<T>& values, std::size_t from) {
    return std::vector<T>(values.begin() + static_cast<std::ptrdiff_t>(std::min(from, values.size())), values.end());
}

}  // namespace

void apply_page_delta(LivePage& live, PageDelta delta) {
    ChartPageData& page = live.page;
    ChartPageData& tail = delta.tail;
    const std::size_t from = std::min(static_cast<std::size_t>(std::max(delta.from_bar, 0)), page.times.size());
    splice(page.times, from, tail.times);
    splice(page.open, from, tail.open);
    splice(page.high, from, tail.high);
    splice(page.low, from, tail.low);
    splice(page.close, from, tail.close);
    splice(page.volume, from, tail.volume);
    page.series.resize(tail.series.size());
    for (std::size_t i = 0; i < tail.series.size(); ++i) {
        page.series[i].name = std::move(tail.series[i].name);
        page.series[i].colour = tail.series[i].colour;
        splice(page.series[i].values, from, tail.series[i].values);
    }
    page.study_name = std::move(tail.study_name);
    page.symbol = std::move(tail.symbol);
    page.bar_seconds = tail.bar_seconds;
    page.region_height_px = tail.region_height_px;
    page.price_format = tail.price_format;
    page.drawings = std::move(tail.drawings);
    page.days = std::move(tail.days);
    page.day_panels = std::move(tail.day_panels);
    page.slots_off = std::move(tail.slots_off);
    page.no_bid_ask_volume = tail.no_bid_ask_volume;
    page.alerts = std::move(tail.alerts);
    page.alert_rules = std::move(tail.alert_rules);
    page.tick_upper_threshold = tail.tick_upper_threshold;
    page.tick_lower_threshold = tail.tick_lower_threshold;
    page.session_start_second = tail.session_start_second;
    page.session_end_second = tail.session_end_second;
    live.panel_text = std::move(delta.panel_text);
    ++page.live_version;
    live.recent_from_bars.push_back(static_cast<std::int32_t>(from));
    if (live.recent_from_bars.size() > live_page_memory) live.recent_from_bars.pop_front();
}

std::int32_t catch_up_from(const LivePage& live, std::int32_t bars, std::int64_t version) {
    const auto held = static_cast<std::int32_t>(live.page.times.size());
    std::int32_t from = std::clamp(bars - 1, 0, held);
    const std::int64_t changes = live.page.live_version - version;
    if (changes < 0 || changes > static_cast<std::int64_t>(live.recent_from_bars.size())) return 0;
    for (auto it = live.recent_from_bars.end() - changes; it != live.recent_from_bars.end(); ++it) {
        from = std::min(from, *it);
    }
    return from;
}

PageDelta page_delta_since(const ChartPageData& page, const std::string& panel_text, std::int32_t from_bar) {
    const std::size_t from = std::min(static_cast<std::size_t>(std::max(from_bar, 0)), page.times.size());
    PageDelta delta;
    delta.from_bar = static_cast<std::int32_t>(from);
    delta.panel_text = panel_text;
    ChartPageData& tail = delta.tail;
    tail.study_name = page.study_name;
    tail.symbol = page.symbol;
    tail.bar_seconds = page.bar_seconds;
    tail.region_height_px = page.region_height_px;
    tail.price_format = page.price_format;
    tail.times = tail_of(page.times, from);
    tail.open = tail_of(page.open, from);
    tail.high = tail_of(page.high, from);
    tail.low = tail_of(page.low, from);
    tail.close = tail_of(page.close, from);
    tail.volume = tail_of(page.volume, from);
    for (const PageSeries& series : page.series)
        tail.series.push_back({series.name, series.colour, tail_of(series.values, from)});
    tail.drawings = page.drawings;
    tail.days = page.days;
    tail.day_panels = page.day_panels;
    tail.slots_off = page.slots_off;
    tail.no_bid_ask_volume = page.no_bid_ask_volume;
    tail.alerts = page.alerts;
    tail.alert_rules = page.alert_rules;
    tail.tick_upper_threshold = page.tick_upper_threshold;
    tail.tick_lower_threshold = page.tick_lower_threshold;
    tail.session_start_second = page.session_start_second;
    tail.session_end_second = page.session_end_second;
    return delta;
}

std::string page_delta_json(const PageDelta& delta, std::int64_t version) {
    OutputSink sink;
    put(sink,
        "{\"version\":" + std::to_string(version) + ",\"from_bar\":" + std::to_string(delta.from_bar) + ",\"page\":");
    write_chart_page_json(sink, delta.tail, false);
    put(sink, "}");
    return std::move(sink.text);
}

void merge_session_days(std::vector<PageDay>& days, const std::vector<PageDay>& tail_days, std::int32_t from_bar) {
    days.erase(std::find_if(days.begin(), days.end(), [from_bar](const PageDay& day) { return day.bar >= from_bar; }),
               days.end());
    if (!days.empty() && !tail_days.empty() && days.back().date == tail_days.front().date) days.pop_back();
    days.insert(days.end(), tail_days.begin(), tail_days.end());
}

}  // namespace kmi::emu
