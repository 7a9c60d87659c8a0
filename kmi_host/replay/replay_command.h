// kmi-host replay and kmi-host demo: the replay as the trader watches it. Its plan is made
// first (a wrong argument is told before anything runs), then the page's server started, the
// study loaded and the replay run, the panel redrawn live (or a progress bar for --fast), the
// notes told once it has succeeded, its files written whole, and a summary printed.
#ifndef KMI_HOST_REPLAY_REPLAY_COMMAND_H
#define KMI_HOST_REPLAY_REPLAY_COMMAND_H

#include <filesystem>
#include <string>

#include "kmi_host/replay/replay_arguments.h"

namespace kmi::emu {

// Throws InputError for a wrong argument, a study that cannot be loaded, or bad data.
int replay_command(const ReplayArguments& arguments);

struct DemoArguments {
    std::string out_dir = "out";
    std::string study_path;
    std::filesystem::path program_folder;
};

// Sample data into OUT/data, then a fast replay of its last day into OUT.
int demo_command(const DemoArguments& arguments);

}  // namespace kmi::emu

#endif
