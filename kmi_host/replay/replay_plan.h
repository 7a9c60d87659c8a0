// The plan of a replay, made whole from its arguments before the study is loaded and before
// any bar is read: --from read, the inputs' file read, every zone loaded once, which file feeds
// the chart and which each source slot and how each is read, where the output files go (checked
// that they can be written) and the chart page's library found. A wrong argument is told before
// any work; the replay then runs the plan and goes back to no argument.
#ifndef KMI_HOST_REPLAY_REPLAY_PLAN_H
#define KMI_HOST_REPLAY_REPLAY_PLAN_H

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "kmi_host/bar_files/reader.h"
#include "kmi_host/bar_files/time_zone.h"
#include "kmi_host/output_files/chart_page.h"
#include "kmi_host/replay/file_plan.h"
#include "kmi_host/replay/replay_arguments.h"
#include "kmi_host/serving/listen_address.h"
#include "kmi_host/text/json_text.h"

namespace kmi::emu {

// A bar file to read, and the slots it feeds ("chart" for the chart, then source slots).
struct FeedPlan {
    std::filesystem::path file;
    std::string symbol;
    BarFileOptions options;
    std::vector<std::string> slots;
};

// The implicit members of the JSON value are reported as throwing by the exception check,
// which cannot see that nlohmann's destructor asserts instead.
struct ReplayPlan {  // NOLINT(bugprone-exception-escape)
    // What is replayed.
    TimeZone time_zone = default_chart_zone();  // every chart's, the session inputs' and the output's
    FeedPlan chart;                             // the chart's file: the chart and every slot given that file
    std::string chart_given;                    // --chart as given, for messages
    std::vector<SourceFile> sources;            // each --source: its slot reads its file's symbol
    std::vector<FeedPlan> source_feeds;         // the files of --source, one per symbol (the chart's own left out)
    // A data folder's SYMBOL.csv feeds each symbol the study's inputs name, read as `readings` say
    // for the slots it feeds; empty: no data folder, and a slot reads only a file given to it.
    std::filesystem::path data_dir;
    FileReadings readings;
    std::optional<HostDateTime> from;  // bars starting before it are history
    std::string from_given;            // --from as given, for messages
    Json inputs;                       // null, or {"INDEX or NAME": VALUE, ...}
    std::string inputs_name;           // the inputs' file, for messages
    // After the replay the files are followed as they grow (kmi_host/following/followed_files.h)
    // until a stop is asked for (kmi_host/following/stop_signal.h): the chart's clock is the
    // newest bar time of any of them, and the study is called as a host calls it when bars arrive.
    bool follow = false;
    // Whether the chart page's data are worked out (its closing panel of each day takes a
    // recalculation of its own); a replay that writes no chart.html and serves no page leaves them out.
    bool chart_page = true;
    // The alert rules as given (--alert), then the file of more (--alerts), each read for its
    // form; their series are resolved once the study has declared them.
    std::vector<std::string> alerts;
    std::string alerts_file;
    bool quiet = false;  // no bell when an alert fires

    // What the replay command does around it.
    std::string study_path;
    std::filesystem::path out;                     // the folder of the output files; empty: none
    std::vector<std::filesystem::path> out_files;  // its files, checked that they can be written
    std::optional<ListenAddress> serve;            // where the page is served live
    std::optional<ChartLibrary> library;           // the chart page's, for chart.html or the served page
    double speed = 60.0;                           // times real time
    bool fast = false;                             // no live drawing, no pause between calls
    bool no_color = false;
};

// Throws InputError naming the argument at fault.
ReplayPlan plan_replay(const ReplayArguments& arguments);

// The chart's zone, --time-zone. Throws InputError naming the option.
TimeZone chart_zone_of(const std::string& name);

}  // namespace kmi::emu

#endif
