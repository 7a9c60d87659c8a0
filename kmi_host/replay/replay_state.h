// A replay under way, as the replay's own files share it: its host, the feeds its charts are
// shown from, the files it follows, and the study's calls on them.
#ifndef KMI_HOST_REPLAY_REPLAY_STATE_H
#define KMI_HOST_REPLAY_REPLAY_STATE_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "kmi_host/following/followed_files.h"
#include "kmi_host/host_core/host_core.h"
#include "kmi_host/replay/replay.h"
#include "kmi_host/replay/replay_alerts.h"
#include "kmi_host/replay/replay_feed.h"
#include "kmi_host/replay/replay_plan.h"

namespace kmi::emu {

struct Replay {
    const ReplayPlan& plan;
    const ReplayHooks& hooks;
    Host* host = nullptr;
    ReplayFeed chart_feed{};
    std::map<std::string, ReplayFeed> feeds{};  // the sources', by symbol
    std::vector<std::string> slots_fed{};       // the slots given a file, and "chart"
    std::vector<std::string> notes{};           // for the user, told once every file is read
    // Following: the chart's file and the sources' (by symbol), as they are read.
    std::optional<FollowedFile> chart_followed{};
    std::map<std::string, FollowedFile> followed{};
    // Each chart the clock moves, with its feed: the study's chart, the library's charts and the
    // charts the study opened; worked out again only when the study has opened a chart.
    std::vector<std::pair<Chart*, const ReplayFeed*>> moved{};
    std::size_t moved_for_charts = 0;
    std::optional<std::int32_t> bar_count_at_last_call{};
    ReplayAlerts alerts{};
};

// The chart's feed and every source's, the chart's first.
std::vector<const ReplayFeed*> all_feeds(const Replay& replay);

// Reads the chart's file (as a followed file when following), its reader's notes kept. Throws
// InputError for a file that cannot be read or has no bars.
void load_chart_feed(Replay& replay);

// Reads the files of --source, then the data folder's SYMBOL.csv for each text input naming
// one, side by side, and puts each in the host's library by its symbol.
void load_source_feeds(Replay& replay);

// Every chart moves to the clock.
void advance(Replay& replay, HostDateTime clock);

// Every chart shows its feed again from its first bar, as it stands at `clock` (bars before
// its last may have changed, and its bar length).
void show_feeds_again(Replay& replay, HostDateTime clock);

// Calls the study (an update from the bar before the chart's new ones, or the full
// recalculation) and tells the hooks.
void calculate(Replay& replay, CallKind kind, ReplayStep step);

// After the replay's calls: each look at the files that finds a bar changed shows every chart
// its feed as it now stands and calls the study, until a stop is asked for.
void follow_files(Replay& replay, std::int64_t calls_total);

}  // namespace kmi::emu

#endif
