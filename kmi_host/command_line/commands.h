// The command line: the commands kmi-host takes, each with its options, their help and the
// checks of their values as given. Parsing fills each command's arguments; what they mean is
// the command's to plan.
#ifndef KMI_HOST_COMMAND_LINE_COMMANDS_H
#define KMI_HOST_COMMAND_LINE_COMMANDS_H

#include <CLI/CLI.hpp>

#include <filesystem>
#include <string>
#include <vector>

#include "kmi_host/replay/inspect_command.h"
#include "kmi_host/replay/replay_arguments.h"
#include "kmi_host/replay/replay_command.h"
#include "kmi_host/sample_data/synth.h"
#include "kmi_host/scenarios/run_command.h"

namespace kmi::emu {

struct CommandLine {
    CLI::App app{"kmi-host: runs the Keelwick Market Internals study as a charting host does"};
    CLI::App* run = nullptr;
    CLI::App* replay = nullptr;
    CLI::App* inspect = nullptr;
    CLI::App* synth = nullptr;
    CLI::App* demo = nullptr;
    RunArguments run_arguments;
    ReplayArguments replay_arguments;
    InspectArguments inspect_arguments;
    std::string synth_out;
    SynthOptions synth_options;
    DemoArguments demo_arguments;
};

// The program's place: its folder (the chart page's library is looked for from there), the
// study library beside it, and its version.
struct ProgramPlace {
    std::filesystem::path folder;
    std::string study_path;
    std::string version;
};

// Sets up the commands (run, replay, inspect, synth, demo), one of which a command line names,
// in any letter case.
void set_up_commands(CommandLine& line, const ProgramPlace& place);

// What kmi-host run without arguments prints: what it is and the commands to start with.
std::string short_guide(const std::string& version);

// The arguments with the help asked for as Windows and other programs ask for it ("/?", "-?")
// written as --help, and "-v" alone as --version.
std::vector<std::string> help_words_read(std::vector<std::string> arguments);

}  // namespace kmi::emu

#endif
