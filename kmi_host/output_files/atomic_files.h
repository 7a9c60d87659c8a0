// Output files of the kmi-host program are written whole or not at all: the content goes
// to a temporary file beside the target, which then replaces the target.
#ifndef KMI_HOST_OUTPUT_FILES_ATOMIC_FILES_H
#define KMI_HOST_OUTPUT_FILES_ATOMIC_FILES_H

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kmi::emu {

// Text written out in large blocks: its pieces are gathered in a buffer that goes to the file
// whenever it holds enough. A sink without a file keeps its whole text (a text in memory).
struct OutputSink {
    std::FILE* file = nullptr;
    std::string text;
    int error = 0;  // the errno of the first write that failed
};

// Sends the gathered text to the file (nothing for a sink without one).
void flush_sink(OutputSink& sink);

inline void put(OutputSink& sink, std::string_view piece) {
    sink.text.append(piece);
    if (sink.file != nullptr && sink.text.size() >= (std::size_t{1} << 18)) flush_sink(sink);
}

// The shortest text that reads back as the same float ("nan", "inf", "-inf" for the others).
void put_shortest(OutputSink& sink, float value);

// What writes a file's content into its sink.
using FileWriter = std::function<void(OutputSink&)>;

// Throws InputError naming the file and the system's reason when it cannot be written; the
// target is then left as it was.
void write_file_atomically(const std::filesystem::path& file, const std::string& content);

// Writes several files together: each goes to its temporary file first, and only when all
// of them are written do they replace their targets, all of them or none. Throws InputError
// naming the file that cannot be written and the system's reason (or a target that is a
// folder); the targets are then left as they were.
void write_files_atomically(const std::vector<std::pair<std::filesystem::path, std::string>>& files);

// The same, each file's content written by its writer straight into its temporary file, so
// that no whole content is held in memory.
void write_files_atomically(const std::vector<std::pair<std::filesystem::path, FileWriter>>& files);

// Creates the folder (and its parents). Throws InputError naming it when that fails, with the
// system's reason, or the file in the way.
void make_folder(const std::filesystem::path& folder);

// Checks, before any work whose output would be lost, that the folder can be made and each of
// `files` (in that folder) written: none of them is a folder, and a file can be created beside
// each. The folders made to see it are taken away again. Throws InputError naming the folder or
// the file, with the reason.
void check_output_folder(const std::filesystem::path& folder, const std::vector<std::filesystem::path>& files);

}  // namespace kmi::emu

#endif
