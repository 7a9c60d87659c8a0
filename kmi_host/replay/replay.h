// Replaying market data through the study: the chart's history at once, then every later
// bar as it would arrive live, with every source chart on the same clock; following the files,
// every bar as they grow.
#ifndef KMI_HOST_REPLAY_REPLAY_H
#define KMI_HOST_REPLAY_REPLAY_H

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "kmi_host/bar_files/reader.h"
#include "kmi_host/host_core/host_core.h"
#include "kmi_host/output_files/chart_page.h"
#include "kmi_host/output_files/page_data.h"
#include "kmi_host/replay/replay_feed.h"
#include "kmi_host/replay/replay_plan.h"
#include "kmi_host/terminal/terminal_panel.h"

namespace kmi::emu {

// Where the replay stands after a call.
struct ReplayStep {
    HostDateTime clock = 0;
    std::int64_t call = 0;         // 1 for the first calculation call
    std::int64_t calls_total = 0;  // calculation calls the replay makes
    bool full = false;             // the call was the full recalculation
    std::int32_t from_bar = 0;     // the first chart bar the call wrote (0 for the full recalculation)
    bool following = false;        // a call of following the files, after the replay's calls
    const std::vector<FiredAlert>* alerts = nullptr;        // the alerts so far, the forming bar's last
    const std::vector<std::string>* alert_rules = nullptr;  // the rules watched, as written
};

struct ReplayHooks {
    std::function<void(const Host&, const ReplayStep&)> after_call;
    std::function<void(const LogLine&)> on_log;
    // The notes for the user, one line each (the bar file reader's, and a slot that leaves a
    // panel line off), once every file has been read (and only then: a replay that fails on its
    // input says only why).
    std::function<void(const std::string&)> on_note;
    // Reads every bar file of the replay; empty: read_bar_file.
    BarFileReader read_bars;
    // Following: what a look at the files found for the user (a row not read, a file read
    // again), one line each, as it is found.
    std::function<void(const std::string&)> on_report;
    // Following: waits for the next look at the files; false ends following. Empty: a change of
    // a file's folder, at most 250 ms, or a stop asked for (which ends it).
    std::function<bool()> next_look;
    // An alert that fired on a bar as it closed (every bar of the replay's history and the bars
    // after it) or, following, early on the forming bar; each once.
    std::function<void(const FiredAlert&)> on_alert;
};

struct ReplayOutcome {
    std::string log_txt;    // one log line per line
    std::string panel_txt;  // the panel's lines, top to bottom
    std::vector<PanelRow> panel;
    // What chart.html shows, its bars and the 20 series among it (series.csv and days.csv are
    // written from it: kmi_host/output_files/series_files.h); its closing panels with ReplayPlan::chart_page.
    ChartPageData page;
    std::int32_t bar_count = 0;
    std::int32_t history_bars = 0;  // loaded at once, before --from; the others arrived live
    std::int64_t calls = 0;
};

// Runs the plan with `study_function`: the defaults call; without a data folder every source
// slot off; the inputs; the slots of --source; the history as a full recalculation, then four
// updates per later bar (its open, high, low and close) with the host's current time at a
// quarter of the bar's length apart; following, a call for every look at the files that finds
// them changed; at the end the outcome is taken before the last call. Throws InputError for
// missing or malformed data or inputs, and when memory runs out (with the chart's bars and the fix).
ReplayOutcome run_replay(StudyFunction study_function, const ReplayPlan& plan, const ReplayHooks& hooks);

}  // namespace kmi::emu

#endif
