// What a trader gives `kmi-host replay`, as given: the command line fills it, and the replay's
// plan (kmi_host/replay/replay_plan.h) is made of it before anything runs.
#ifndef KMI_HOST_REPLAY_REPLAY_ARGUMENTS_H
#define KMI_HOST_REPLAY_REPLAY_ARGUMENTS_H

#include <filesystem>
#include <string>
#include <vector>

#include "kmi_host/host_core/host_core.h"

namespace kmi::emu {

struct ReplayArguments {
    std::string data_dir;                       // --data: a folder of SYMBOL.csv files; empty: none
    std::string chart;                          // --chart: a bar file FILE[#VALUE], or a symbol of --data
    std::vector<std::string> sources;           // --source SLOT=FILE[#VALUE]
    std::string time_zone = default_time_zone;  // --time-zone: the charts', the session inputs' and the output's
    // How bar files are read: ZONE (of bar times that carry none), start or end (where a bar's
    // time falls in it), NAME,NAME,... (a headerless file's columns); each for every file, or
    // written SLOT=VALUE for one slot's file (SLOT a source slot, or chart).
    std::vector<std::string> data_time_zones;
    std::vector<std::string> bar_stamps;
    std::vector<std::string> columns;
    std::vector<std::string> bar_lengths;
    std::vector<std::string> decimal_marks;
    std::string from;                      // --from: bars before this date or date-time are history
    double speed = 60.0;                   // --speed: times real time
    bool fast = false;                     // --fast: as fast as possible, no live drawing
    std::string inputs_file;               // --inputs: a JSON file of input values
    std::string out_dir;                   // --out: the folder of the output files; empty: none
    std::string study_path;                // --study: the study library
    bool no_color = false;                 // --no-color
    bool follow = false;                   // --follow: then follow the files as they grow
    std::string serve;                     // --serve [ADDRESS:]PORT; empty: the page is not served
    std::vector<std::string> alerts;       // --alert RULE
    std::string alerts_file;               // --alerts FILE: a file of rules, one a line
    bool quiet = false;                    // --quiet: no bell when an alert fires
    std::vector<std::string> allow_hosts;  // --allow-host NAME: more names the served page answers to
    std::filesystem::path program_folder;  // where the chart page's library is looked for
};

}  // namespace kmi::emu

#endif
