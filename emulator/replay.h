// Replaying market data through the study: the chart's history at once, then every later
// bar as it would arrive live, with every source chart on the same clock.
#ifndef KMI_EMULATOR_REPLAY_H
#define KMI_EMULATOR_REPLAY_H

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "emulator/chart_page.h"
#include "emulator/core/host_core.h"
#include "emulator/json_text.h"
#include "emulator/terminal_panel.h"

namespace kmi::emu {

// One symbol's bars from SYMBOL.csv and their typical length.
struct ReplayFeed {
    std::string symbol;
    std::int32_t bar_seconds = 60;
    std::vector<Bar> bars;
};

ReplayFeed load_feed(const std::filesystem::path& data_dir, const std::string& symbol);

// A bar part-way through its formation: stage 0 has only its open, stage 1 adds its first
// extreme (the low when it closes at or above its open, else the high), stage 2 its
// second extreme, stage 3 is the whole bar. Volumes grow by a quarter per stage.
Bar forming_bar(const Bar& whole, int stage);

// Sets the chart's bars to the feed as it stands at `clock`: every bar that has started,
// the last one formed as far as the clock has gone through it (a quarter of its length
// per stage). Only the bars that changed are touched.
void show_feed_at(Chart& chart, const ReplayFeed& feed, HostDateTime clock);

// The implicit members of the JSON value are reported as throwing by the exception check,
// which cannot see that nlohmann's destructor asserts instead.
struct ReplaySettings {  // NOLINT(bugprone-exception-escape)
    std::filesystem::path data_dir;
    std::string chart_symbol;
    std::optional<HostDateTime> from;  // bars starting before it are history
    Json inputs;                       // null, or {"INDEX": VALUE, ...}
    std::string inputs_name;           // the inputs' file, for messages
};

// Where the replay stands after a call.
struct ReplayStep {
    HostDateTime clock = 0;
    std::int64_t call = 0;         // 1 for the first calculation call
    std::int64_t calls_total = 0;  // calculation calls the replay makes
    bool full = false;             // the call was the full recalculation
};

struct ReplayHooks {
    std::function<void(const Host&, const ReplayStep&)> after_call;
    std::function<void(const LogLine&)> on_log;
};

struct ReplayOutcome {
    std::string series_csv;  // bar time and the 20 series under their declared names
    std::string log_txt;     // one log line per line
    std::string panel_txt;   // the panel's lines, top to bottom
    std::vector<PanelRow> panel;
    ChartPageData page;  // what chart.html shows
    std::int32_t bar_count = 0;
    std::int64_t calls = 0;
};

// Runs the replay with `study_function`: the defaults call, the inputs, the history as a
// full recalculation, then four updates per later bar (its open, high, low and close)
// with the host's current time at a quarter of the bar's length apart; at the end the
// outcome is taken before the last call. Throws InputError for missing or malformed data.
ReplayOutcome run_replay(StudyFunction study_function, const ReplaySettings& settings, const ReplayHooks& hooks);

// The series as CSV: "time" and the declared names, one row per chart bar.
std::string series_csv(const Host& host);

}  // namespace kmi::emu

#endif
