// kmi-host inspect: how each bar file is read, as a replay reads it, printed without running the
// study (the shape it was recognised as, what each column became, the time form, zone, stamps
// and bar length and where each came from, the bars it gives and every note). A file that
// cannot be read is refused on its own line; the others are still told.
#ifndef KMI_HOST_REPLAY_INSPECT_COMMAND_H
#define KMI_HOST_REPLAY_INSPECT_COMMAND_H

#include <string>
#include <vector>

#include "kmi_host/replay/replay_arguments.h"

namespace kmi::emu {

struct InspectArguments {
    std::vector<std::string> files;  // read with the options for every file
    ReplayArguments replay;          // --chart and --source read as a replay reads them, and the file options
};

// 0 when every file was read, 1 when one was refused. Throws InputError for a wrong option.
int inspect_command(const InspectArguments& arguments);

}  // namespace kmi::emu

#endif
