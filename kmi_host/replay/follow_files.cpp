// Following a replay's files as they grow: each look at them that finds a bar changed shows
// every chart its feed as it now stands, whole, and calls the study: an update, or the full
// recalculation when a bar of the study's chart before its last changed.
#include <chrono>
#include <filesystem>
#include <set>

#include "kmi_host/following/file_watch.h"
#include "kmi_host/following/stop_signal.h"
#include "kmi_host/replay/replay_state.h"

namespace kmi::emu {
namespace {

// The followed file of each feed: the chart's, then the sources'.
std::vector<std::pair<FollowedFile*, ReplayFeed*>> followed_feeds(Replay& replay) {
    std::vector<std::pair<FollowedFile*, ReplayFeed*>> out{{&*replay.chart_followed, &replay.chart_feed}};
    for (auto& [symbol, file] : replay.followed) out.emplace_back(&file, &replay.feeds.at(symbol));
    return out;
}

// The newest bar time of any file: the clock while following (it never goes back).
HostDateTime newest_time(const Replay& replay) {
    HostDateTime newest = replay.host->now;
    for (const ReplayFeed* feed : all_feeds(replay)) {
        if (!feed->bars.empty()) newest = std::max(newest, feed->bars.back().time);
    }
    return newest;
}

// Waits for the next look at the files; false when following ends.
bool wait_for_look(const Replay& replay, FileWatch* watch) {
    if (replay.hooks.next_look) return replay.hooks.next_look();
    wait_for_change(*watch, std::chrono::milliseconds(250));
    return !stop_requested();
}

// What a look at the files found: the first bar of each feed that changed, the reports told.
std::map<const ReplayFeed*, std::size_t> look_at_files(Replay& replay) {
    std::map<const ReplayFeed*, std::size_t> changed;
    for (const auto& [file, feed] : followed_feeds(replay)) {
        const FileNews news = read_file_news(*file, feed->bars);
        for (const std::string& report : news.reports) {
            if (replay.hooks.on_report) replay.hooks.on_report(report);
        }
        if (news.changed_from != no_change) changed[feed] = news.changed_from;
    }
    return changed;
}

// A file begun with too few bars to tell its bar length tells it as its bars arrive: whether a
// feed's bar length changed.
bool learn_bar_lengths(std::set<ReplayFeed*>& length_unknown) {
    bool learnt = false;
    for (auto feed = length_unknown.begin(); feed != length_unknown.end();) {
        const std::int32_t seconds = typical_bar_seconds((*feed)->bars, (*feed)->bar_seconds);
        if (seconds != (*feed)->bar_seconds) {
            (*feed)->bar_seconds = seconds;
            learnt = true;
        }
        feed = (*feed)->bars.size() >= 3 ? length_unknown.erase(feed) : std::next(feed);
    }
    return learnt;
}

}  // namespace

void follow_files(Replay& replay, std::int64_t calls_total) {
    std::vector<std::filesystem::path> paths;
    std::set<ReplayFeed*> length_unknown;
    for (const auto& [file, feed] : followed_feeds(replay)) {
        paths.push_back(file->path);
        if (feed->bars.size() < 3) length_unknown.insert(feed);
    }
    const FileWatchHandle watch = replay.hooks.next_look ? FileWatchHandle{} : watch_files(paths);
    std::map<const ReplayFeed*, std::size_t> changed;
    std::int64_t call = calls_total;
    for (bool first = true;; first = false) {
        if (!first) {
            if (!wait_for_look(replay, watch.get())) break;
            changed = look_at_files(replay);
            if (changed.empty()) continue;
        }
        const std::size_t shown = study_chart(*replay.host).times.size();
        const auto chart_change = changed.find(&replay.chart_feed);
        bool history = chart_change != changed.end() && chart_change->second + 1 < shown;
        // A bar length learnt changes how every bar before is walked: the full recalculation.
        if (learn_bar_lengths(length_unknown)) history = true;
        replay.host->now = newest_time(replay);
        show_whole_feeds(replay, changed);
        ++call;
        calculate(replay, history ? CallKind::full : CallKind::update,
                  ReplayStep{replay.host->now, call, calls_total, history, 0, true});
    }
}

}  // namespace kmi::emu
