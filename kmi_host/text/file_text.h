// Reading a whole file of the kmi-host program (a scenario, input values) as bytes.
#ifndef KMI_HOST_TEXT_FILE_TEXT_H
#define KMI_HOST_TEXT_FILE_TEXT_H

#include <filesystem>
#include <string>

namespace kmi::emu {

// Reads a whole regular file as bytes. Throws InputError naming the file when it is no
// regular file (a folder, a FIFO), cannot be read whole, or memory runs out.
std::string read_file_text(const std::filesystem::path& file);

}  // namespace kmi::emu

#endif
