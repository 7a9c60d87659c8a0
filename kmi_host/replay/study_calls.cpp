// The charts of a replay moved to its clock, and the study called on them.
#include <algorithm>

#include "kmi_host/replay/replay_state.h"

namespace kmi::emu {
namespace {

void find_moved_charts(Replay& replay) {
    Host& host = *replay.host;
    replay.moved.clear();
    replay.moved.emplace_back(&study_chart(host), &replay.chart_feed);
    for (auto& [symbol, chart] : host.symbol_library) replay.moved.emplace_back(&chart, &replay.feeds.at(symbol));
    for (auto& [number, chart] : host.charts) {
        if (number == host.study.chart_number) continue;
        const auto feed = replay.feeds.find(chart.symbol);
        if (feed != replay.feeds.end()) replay.moved.emplace_back(&chart, &feed->second);
    }
    replay.moved_for_charts = host.charts.size();
}

void update_moved_charts(Replay& replay) {
    if (replay.moved.empty() || replay.moved_for_charts != replay.host->charts.size()) find_moved_charts(replay);
}

}  // namespace

void advance(Replay& replay, HostDateTime clock) {
    replay.host->now = clock;
    update_moved_charts(replay);
    for (const auto& [chart, feed] : replay.moved) show_feed_at(*chart, *feed, clock);
}

void show_feeds_again(Replay& replay, HostDateTime clock) {
    replay.host->now = clock;
    update_moved_charts(replay);
    for (const auto& [chart, feed] : replay.moved) {
        if (chart->bar_seconds != feed->bar_seconds) set_bar_seconds(*chart, feed->bar_seconds);
        set_bars(*chart, {});
        show_feed_at(*chart, *feed, clock);
    }
}

void calculate(Replay& replay, CallKind kind, ReplayStep step) {
    Host& host = *replay.host;
    const std::int32_t bars = bar_count(study_chart(host));
    std::int32_t start = bars - 1;
    if (replay.bar_count_at_last_call && bars > *replay.bar_count_at_last_call)
        start = *replay.bar_count_at_last_call - 1;
    start = kind == CallKind::full ? 0 : std::max(start, 0);
    call_study(host, kind, start);
    replay.bar_count_at_last_call = bars;
    judge_after_call(replay.alerts, host, kind == CallKind::full, step.following, replay.hooks.on_alert);
    step.from_bar = start;
    step.alerts = &replay.alerts.shown;
    step.alert_rules = &replay.alerts.texts;
    if (replay.hooks.after_call) replay.hooks.after_call(host, step);
}

}  // namespace kmi::emu
