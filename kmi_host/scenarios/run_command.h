// kmi-host run: a scenario run on the study library, its transcript written to stdout or a file.
#ifndef KMI_HOST_SCENARIOS_RUN_COMMAND_H
#define KMI_HOST_SCENARIOS_RUN_COMMAND_H

#include <string>

namespace kmi::emu {

struct RunArguments {
    std::string scenario_file;
    std::string study_path;
    std::string transcript_file;  // empty: stdout
};

// Throws InputError for a malformed scenario, a study that cannot be loaded, a transcript
// that cannot be written, or memory that runs out.
int run_command(const RunArguments& arguments);

}  // namespace kmi::emu

#endif
