// Following a replay's files as they grow: each look at them that finds a bar changed plays
// what changed as a replay of the files as they now stand would have played it, so that what
// the study shows never depends on how the rows were grouped into writes or when they came.
// New bars of the chart are played bar by bar, in the four stages of a replay, every source
// shown as it stood at each stage's clock; a changed bar the study has already been shown (the
// chart's before its last, or a source's the clock has passed) is taken in by the full
// recalculation at the clock of the chart's last bar.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>

#include "kmi_host/bar_files/bar_length.h"
#include "kmi_host/following/file_watch.h"
#include "kmi_host/following/stop_signal.h"
#include "kmi_host/replay/replay_state.h"

namespace kmi::emu {
namespace {

using FeedChanges = std::map<const ReplayFeed*, std::size_t>;

// The followed file of each feed: the chart's, then the sources'.
std::vector<std::pair<FollowedFile*, ReplayFeed*>> followed_feeds(Replay& replay) {
    std::vector<std::pair<FollowedFile*, ReplayFeed*>> out{{&*replay.chart_followed, &replay.chart_feed}};
    for (auto& [symbol, file] : replay.followed) out.emplace_back(&file, &replay.feeds.at(symbol));
    return out;
}

// Waits for the next look at the files; false when following ends.
bool wait_for_look(const Replay& replay, FileWatch* watch) {
    if (replay.hooks.next_look) return replay.hooks.next_look();
    wait_for_change(*watch, std::chrono::milliseconds(250));
    return !stop_requested();
}

// What a look at the files found: the first bar of each feed that changed, the reports told.
FeedChanges look_at_files(Replay& replay) {
    FeedChanges changed;
    for (const auto& [file, feed] : followed_feeds(replay)) {
        const FileNews news = read_file_news(*file, feed->bars);
        for (const std::string& report : news.reports) {
            if (replay.hooks.on_report) replay.hooks.on_report(report);
        }
        if (news.changed_from != no_change) changed[feed] = news.changed_from;
    }
    return changed;
}

// Each changed feed's bar length, decided again as a replay of its file as it now stands would
// decide it: whether one changed.
bool decide_bar_lengths_again(Replay& replay, const FeedChanges& changed) {
    bool again = false;
    for (const auto& [file, feed] : followed_feeds(replay)) {
        if (!changed.contains(feed)) continue;
        const std::int32_t seconds = file_bar_length(feed->bars, feed->dates_only, feed->given_seconds).seconds;
        again = again || seconds != feed->bar_seconds;
        feed->bar_seconds = seconds;
    }
    return again;
}

// The chart bar under way at `time`: the last that starts at or before it (the first when none does).
std::size_t chart_bar_at(const ReplayFeed& chart, HostDateTime time) {
    const auto after = std::upper_bound(chart.bars.begin(), chart.bars.end(), time,
                                        [](HostDateTime t, const Bar& bar) { return t < bar.time; });
    return after == chart.bars.begin() ? 0 : static_cast<std::size_t>(after - chart.bars.begin()) - 1;
}

// The first chart bar whose calls the changes reach: a changed bar of the chart's own file, or
// the chart bar under way when a source's changed bar starts, if the clock has reached it (a
// source's file cut short reaches back to its new last bar). `shown` when only new bars do.
std::size_t first_bar_reached(const Replay& replay, const FeedChanges& changed, std::size_t shown) {
    std::size_t first = shown;
    for (const auto& [feed, from] : changed) {
        if (feed == &replay.chart_feed) {
            first = std::min(first, from);
            continue;
        }
        if (feed->bars.empty()) return 0;
        const HostDateTime time = from < feed->bars.size() ? feed->bars[from].time : feed->bars.back().time;
        if (time <= replay.host->now) first = std::min(first, chart_bar_at(replay.chart_feed, time));
    }
    return first;
}

// The clocks of the calls that play the chart's bars from `first` on: the last stage of a bar
// already shown, every stage of a new one.
std::vector<HostDateTime> clocks_from(const ReplayFeed& chart, std::size_t first, std::size_t shown) {
    std::vector<HostDateTime> clocks;
    for (std::size_t bar = first; bar < chart.bars.size(); ++bar) {
        if (bar < shown) {
            clocks.push_back(last_stage_clock(chart, bar));
            continue;
        }
        for (int stage = 0; stage < 4; ++stage) {
            const std::optional<HostDateTime> clock = stage_clock(chart, bar, stage);
            if (!clock) break;
            clocks.push_back(*clock);
        }
    }
    return clocks;
}

// Plays what a look found changed; the number of the last call made.
std::int64_t play_changes(Replay& replay, const FeedChanges& changed, bool lengths_changed, std::int64_t call) {
    const ReplayFeed& chart = replay.chart_feed;
    const std::size_t shown = study_chart(*replay.host).times.size();
    if (chart.bars.empty()) return call;
    // A bar length decided again changes how every bar before is walked.
    const std::size_t first = first_bar_reached(replay, changed, shown);
    if (lengths_changed || first + 1 < shown || chart.bars.size() < shown) {
        const HostDateTime clock = last_stage_clock(chart, chart.bars.size() - 1);
        show_feeds_again(replay, clock);
        ++call;
        calculate(replay, CallKind::full, ReplayStep{clock, call, call, true, 0, true});
        return call;
    }
    const std::vector<HostDateTime> clocks = clocks_from(chart, first, shown);
    const std::int64_t last = call + static_cast<std::int64_t>(clocks.size());
    for (const HostDateTime clock : clocks) {
        advance(replay, clock);
        ++call;
        calculate(replay, CallKind::update, ReplayStep{clock, call, last, false, 0, true});
    }
    return call;
}

}  // namespace

void follow_files(Replay& replay, std::int64_t calls_total) {
    std::vector<std::filesystem::path> paths;
    for (const auto& [file, feed] : followed_feeds(replay)) paths.push_back(file->path);
    const FileWatchHandle watch = replay.hooks.next_look ? FileWatchHandle{} : watch_files(paths);
    std::int64_t call = calls_total;
    // The first call of following tells that the replay's calls are done.
    ++call;
    calculate(replay, CallKind::update, ReplayStep{replay.host->now, call, call, false, 0, true});
    while (wait_for_look(replay, watch.get())) {
        const FeedChanges changed = look_at_files(replay);
        if (changed.empty()) continue;
        const bool lengths_changed = decide_bar_lengths_again(replay, changed);
        call = play_changes(replay, changed, lengths_changed, call);
    }
}

}  // namespace kmi::emu
