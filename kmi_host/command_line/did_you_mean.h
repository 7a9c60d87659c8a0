// "Did you mean": for a command line that CLI11 refused, the command or option nearest to the
// word mistyped.
#ifndef KMI_HOST_COMMAND_LINE_DID_YOU_MEAN_H
#define KMI_HOST_COMMAND_LINE_DID_YOU_MEAN_H

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

namespace kmi::emu {

// The first word the command line did not take, when it is a mistyped command or option, with
// the nearest valid one and where the help is: "kmi-host: --chrat: did you mean --chart?" and
// the line that names the help.
std::optional<std::string> mistyped_word_hint(CLI::App& app);

}  // namespace kmi::emu

#endif
