// Output files of the kmi-host program are written whole or not at all: the content goes
// to a temporary file beside the target, which then replaces the target.
#ifndef KMI_EMULATOR_OUTPUT_FILES_H
#define KMI_EMULATOR_OUTPUT_FILES_H

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace kmi::emu {

// Throws InputError naming the file and the system's reason when it cannot be written; the
// target is then left as it was.
void write_file_atomically(const std::filesystem::path& file, const std::string& content);

// Writes several files together: each goes to its temporary file first, and only when all
// of them are written do they replace their targets, all of them or none. Throws InputError
// naming the file that cannot be written and the system's reason (or a target that is a
// folder); the targets are then left as they were.
void write_files_atomically(const std::vector<std::pair<std::filesystem::path, std::string>>& files);

// Creates the folder (and its parents). Throws InputError naming it when that fails, with the
// system's reason, or the file in the way.
void make_folder(const std::filesystem::path& folder);

// Makes the folder and checks, before any work whose output would be lost, that each of
// `files` (in that folder) can be written: none of them is a folder, and a file can be created
// beside each. Throws InputError naming the folder or the file, with the reason.
void check_output_folder(const std::filesystem::path& folder, const std::vector<std::filesystem::path>& files);

}  // namespace kmi::emu

#endif
