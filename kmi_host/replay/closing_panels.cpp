#include "kmi_host/replay/closing_panels.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

#include "kmi_host/host_core/input_values.h"

namespace kmi::emu {
namespace {

// The chart without its bars.
Chart without_bars(const Chart& chart) {
    Chart empty = make_chart(chart.number, chart.symbol, chart.bar_seconds);
    empty.time_zone = chart.time_zone;
    empty.price_format = chart.price_format;
    empty.session_times = chart.session_times;
    empty.bar_period = chart.bar_period;
    return empty;
}

ReplayFeed feed_of(const Chart& chart) {
    ReplayFeed feed;
    feed.symbol = chart.symbol;
    feed.bar_seconds = chart.bar_seconds;
    feed.bars = bars_of(chart);
    return feed;
}

// The clock of the last call a replay makes for the bar live: its close stage, three
// quarters of its length in, or the last stage before the next bar starts.
HostDateTime closing_clock(const ReplayFeed& feed, std::size_t bar) {
    for (int stage = 3; stage > 0; --stage) {
        if (const std::optional<HostDateTime> clock = stage_clock(feed, bar, stage)) return *clock;
    }
    return feed.bars[bar].time;
}

void copy_input_values(const Host& from, Host& to) {
    for (std::size_t i = 0; i < from.study.inputs.size() && i < to.study.inputs.size(); ++i) {
        const HostInput& source = from.study.inputs[i];
        HostInput& target = to.study.inputs[i];
        set_input_text_value(target, input_holds_text(source.type) ? input_text(source) : nullptr);
        target.type = source.type;
        if (!input_holds_text(source.type)) std::memcpy(target.value, source.value, sizeof target.value);
    }
}

}  // namespace

void ClosingHostEnd::operator()(Host* host) const noexcept {
    try {
        close_host(*host);
    } catch (...) {
        // The last call only frees the study's state: a failure there has nothing to tell.
        destroy_host_values(*host);
    }
    delete host;
}

ClosingPanels prepare_closing_panels(const Host& host, std::vector<PageDay> days, const ShownFeeds* shown) {
    ClosingPanels work;
    work.days = std::move(days);
    if (work.days.empty() || host.study_function == nullptr) return work;
    const Chart& chart = host.charts.at(host.study.chart_number);
    // Without the replay's feeds, copies of the charts' bars stand for them.
    if (shown == nullptr) {
        work.copies.reserve(1 + host.symbol_library.size());
        work.feeds.chart = &work.copies.emplace_back(feed_of(chart));
        for (const auto& [symbol, library_chart] : host.symbol_library) {
            work.feeds.library[symbol] = &work.copies.emplace_back(feed_of(library_chart));
        }
    } else {
        work.feeds = *shown;
    }
    work.scratch.reset(make_host(host.study_function, without_bars(chart), host.study.study_id).release());
    Host& scratch = *work.scratch;
    for (const auto& [symbol, library_chart] : host.symbol_library) {
        scratch.symbol_library[symbol] = without_bars(library_chart);
    }
    scratch.region_top_px = host.region_top_px;
    scratch.region_bottom_px = host.region_bottom_px;
    if (call_study(scratch, CallKind::defaults)) {
        copy_input_values(host, scratch);
    } else {
        work.scratch.reset();
    }
    return work;
}

// The study's panel at each day's last session bar: the first day by a full recalculation,
// each later one by an update from the bar the call before ended on.
std::vector<PageDayPanel> run_closing_panels(ClosingPanels& work) {
    std::vector<PageDayPanel> panels;
    if (!work.scratch) return panels;
    Host* scratch = work.scratch.get();
    const ShownFeeds& feeds = work.feeds;
    const ReplayFeed& chart_feed = *feeds.chart;
    std::int32_t bars_before = 0;
    for (const PageDay& day : work.days) {
        if (day.bar < bars_before || static_cast<std::size_t>(day.bar) >= chart_feed.bars.size()) continue;
        const HostDateTime clock = closing_clock(chart_feed, static_cast<std::size_t>(day.bar));
        scratch->now = clock;
        show_feed_at(study_chart(*scratch), chart_feed, clock);
        for (auto& [symbol, library_chart] : scratch->symbol_library) {
            show_feed_at(library_chart, *feeds.library.at(symbol), clock);
        }
        for (auto& [number, opened] : scratch->charts) {
            const auto feed = feeds.library.find(opened.symbol);
            if (number != scratch->study.chart_number && feed != feeds.library.end()) {
                show_feed_at(opened, *feed->second, clock);
            }
        }
        call_study(*scratch, panels.empty() ? CallKind::full : CallKind::update, std::max(bars_before - 1, 0));
        bars_before = bar_count(study_chart(*scratch));
        panels.push_back(PageDayPanel{day.date, page_drawings(*scratch)});
    }
    work.scratch.reset();
    return panels;
}

ChartPageData chart_page_data(const Host& host) {
    ChartPageData data = chart_page_tail(host, 0);
    ClosingPanels work = prepare_closing_panels(host, data.days, nullptr);
    data.day_panels = run_closing_panels(work);
    return data;
}

}  // namespace kmi::emu
