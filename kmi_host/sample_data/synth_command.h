// kmi-host synth: the sample data written into a folder, and what was written said.
#ifndef KMI_HOST_SAMPLE_DATA_SYNTH_COMMAND_H
#define KMI_HOST_SAMPLE_DATA_SYNTH_COMMAND_H

#include <string>

#include "kmi_host/sample_data/synth.h"

namespace kmi::emu {

// Throws InputError when the folder cannot be written.
int synth_command(const std::string& out_dir, const SynthOptions& options);

}  // namespace kmi::emu

#endif
