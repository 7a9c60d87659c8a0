// Replaying market data through the study: the chart's history at once, then every later
// bar as it would arrive live, with every source chart on the same clock.
#ifndef KMI_HOST_REPLAY_REPLAY_H
#define KMI_HOST_REPLAY_REPLAY_H

#include <array>
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
#include "kmi_host/replay/file_plan.h"
#include "kmi_host/replay/replay_feed.h"
#include "kmi_host/terminal/terminal_panel.h"
#include "kmi_host/text/json_text.h"

namespace kmi::emu {

// The implicit members of the JSON value are reported as throwing by the exception check,
// which cannot see that nlohmann's destructor asserts instead.
struct ReplaySettings {                          // NOLINT(bugprone-exception-escape)
    std::filesystem::path data_dir;              // SYMBOL.csv files; empty: none
    std::string chart;                           // a symbol of data_dir, or a bar file FILE[#VALUE]
    std::optional<HostDateTime> from;            // bars starting before it are history
    Json inputs;                                 // null, or {"INDEX or NAME": VALUE, ...}
    std::string inputs_name;                     // the inputs' file, for messages
    std::vector<std::string> sources{};          // the values of --source, SLOT=FILE[#VALUE]
    std::string time_zone = "America/New_York";  // every chart's, the session inputs' and the output's
    // How bar files are read: ZONE (of bar times that carry none), start or end (where a bar's
    // time falls in it), NAME,NAME,... (a headerless file's columns); each for every file, or
    // written SLOT=VALUE for one slot's file (SLOT a source slot, or chart).
    std::vector<std::string> data_time_zones{};
    std::vector<std::string> bar_stamps{};
    std::vector<std::string> columns{};
    // Whether the chart page's data are worked out (its closing panel of each day takes a
    // recalculation of its own); a replay that writes no chart.html leaves them out.
    bool chart_page = true;
    // After the replay, the files are followed as they grow (kmi_host/following/followed_files.h) until a
    // stop is asked for (kmi_host/following/stop_signal.h): the chart's clock is the newest bar time of
    // any of them, and the study is called as a host calls it when bars arrive.
    bool follow = false;
};

// Where the replay stands after a call.
struct ReplayStep {
    HostDateTime clock = 0;
    std::int64_t call = 0;         // 1 for the first calculation call
    std::int64_t calls_total = 0;  // calculation calls the replay makes
    bool full = false;             // the call was the full recalculation
    std::int32_t from_bar = 0;     // the first chart bar the call wrote (0 for the full recalculation)
    bool following = false;        // a call of following the files, after the replay's calls
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
    // Once every file is read and the inputs are stored, before the first calculation call:
    // the last moment to refuse the replay before its work begins (by throwing).
    std::function<void()> before_calculation;
    // Following: what a look at the files found for the user (a row not read, a file read
    // again), one line each, as it is found.
    std::function<void(const std::string&)> on_report;
    // Following: waits for the next look at the files; false ends following. Empty: a change of
    // a file's folder, at most 250 ms, or a stop asked for (which ends it).
    std::function<bool()> next_look;
};

struct ReplayOutcome {
    std::string log_txt;    // one log line per line
    std::string panel_txt;  // the panel's lines, top to bottom
    std::vector<PanelRow> panel;
    // What chart.html shows, its bars and the 20 series among it (series.csv and days.csv are
    // written from it: kmi_host/output_files/series_files.h); its closing panels with ReplaySettings::chart_page.
    ChartPageData page;
    std::int32_t bar_count = 0;
    std::int32_t history_bars = 0;  // loaded at once, before --from; the others arrived live
    std::int64_t calls = 0;
};

// Runs the replay with `study_function`: the defaults call; without a data folder every
// source slot off; the inputs; the slots of `sources`; the history as a full
// recalculation, then four updates per later bar (its open, high, low and close) with the
// host's current time at a quarter of the bar's length apart; at the end the outcome is
// taken before the last call. Throws InputError for missing or malformed data or inputs,
// or a bad --chart or --source argument.
ReplayOutcome run_replay(StudyFunction study_function, const ReplaySettings& settings, const ReplayHooks& hooks);

// The files of replay --out, in the order they are listed and written.
inline constexpr std::array<const char*, 5> replay_output_names{"series.csv", "log.txt", "panel.txt", "chart.html",
                                                                "days.csv"};
// Each of those files in `folder` with what writes it from `outcome` (for write_files_atomically).
std::vector<std::pair<std::filesystem::path, FileWriter>> replay_output_writers(
    const ReplayOutcome& outcome, const std::filesystem::path& folder, const std::optional<ChartLibrary>& library);

}  // namespace kmi::emu

#endif
