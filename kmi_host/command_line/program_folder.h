// The folder of this program, wherever it was started from (also through the PATH): the
// default study library lies there, and the search for the chart page's library starts there.
#ifndef KMI_HOST_COMMAND_LINE_PROGRAM_FOLDER_H
#define KMI_HOST_COMMAND_LINE_PROGRAM_FOLDER_H

#include <filesystem>

namespace kmi::emu {

// The program's own file's folder, asked of the system; else the folder `argv0` names.
std::filesystem::path program_folder(const char* argv0);

}  // namespace kmi::emu

#endif
