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
#include "kmi_host/replay/file_plan.h"
#include "kmi_host/terminal/terminal_panel.h"
#include "kmi_host/text/json_text.h"

namespace kmi::emu {

// One symbol's bars from a bar file and their typical length.
struct ReplayFeed {
    std::string symbol;
    std::int32_t bar_seconds = 60;
    std::vector<Bar> bars;
    std::string file;        // as named in messages
    std::string naive_zone;  // the zone its times without one were read in, or empty
    BarStamps stamps = BarStamps::start;
};

// Reads a bar file as read_bar_file does.
using BarFileReader = std::function<BarFile(const std::filesystem::path&, const BarFileOptions&)>;

// Reads a feed with `reader` (empty: read_bar_file); the reader's notes for the user are
// added to `notes`. Throws InputError.
ReplayFeed load_feed(const std::filesystem::path& file, const std::string& symbol, const BarFileOptions& options,
                     std::vector<std::string>& notes, const BarFileReader& reader = {});

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

// The log of a replay as the console shows it. The study writes its diagnostics report (a line
// beginning "Keelwick Market Internals BUILD" and the lines after it) on every full
// recalculation, so a replay from its first bar writes it several times: the console shows a
// report once, and a later one only when it says more than the one shown (reports that differ in
// their numbers alone, counts and times, are the same), the first report left out replaced by
// `repeat_line`. The log files keep every line.
struct ConsoleLog {
    std::string repeat_line;
    std::string shown_report;  // the last report shown, its numbers left out
    bool repeat_told = false;

    // The lines of one call, as they are shown.
    std::vector<std::string> shown(const std::vector<std::string>& lines);
};

// The days that have a regular-session bar (the window of inputs 8 and 9, start inclusive,
// end exclusive, in the chart's time zone), each with its last session bar, in bar order.
std::vector<PageDay> session_days(const Host& host);
// The same for the bars of a file, before they are shown.
std::vector<PageDay> session_days(const Host& host, const std::vector<Bar>& bars);

}  // namespace kmi::emu

#endif
