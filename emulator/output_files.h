// Output files of the kmi-host program are written whole or not at all: the content goes
// to a temporary file beside the target, which then replaces the target.
#ifndef KMI_EMULATOR_OUTPUT_FILES_H
#define KMI_EMULATOR_OUTPUT_FILES_H

#include <filesystem>
#include <string>

namespace kmi::emu {

// Throws InputError naming the file when it cannot be written; the target is then left
// as it was.
void write_file_atomically(const std::filesystem::path& file, const std::string& content);

// Creates the folder (and its parents). Throws InputError naming it when that fails.
void make_folder(const std::filesystem::path& folder);

}  // namespace kmi::emu

#endif
