// Waking when followed files change: inotify on Linux, a folder's changes read on Windows, each
// told by the name of the file changed (a change to another file of the folder wakes nothing),
// and a look at least every 250 ms whatever they do (a file system that tells nothing is polled).
#ifndef KMI_HOST_FOLLOWING_FILE_WATCH_H
#define KMI_HOST_FOLLOWING_FILE_WATCH_H

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace kmi::emu {

// What tells one file from another at the same path (a file rotated is a new one), its size and
// when it was last written (in the system's own units).
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t index = 0;
    std::uint64_t size = 0;
    std::int64_t written = 0;
};

// The file's identity; nothing when there is no such file now.
std::optional<FileIdentity> file_identity(const std::filesystem::path& file);

struct FileWatch;
struct FileWatchEnd {
    void operator()(FileWatch* watch) const noexcept;
};
using FileWatchHandle = std::unique_ptr<FileWatch, FileWatchEnd>;

// Watches `files` in their folders for writes, new files and renames.
FileWatchHandle watch_files(const std::vector<std::filesystem::path>& files);

// Waits until a watched file changes, a stop is asked for (kmi_host/following/stop_signal.h), or
// `timeout` passes (at most 250 ms are waited at a time in any case); whether a watched file
// changed.
bool wait_for_change(FileWatch& watch, std::chrono::milliseconds timeout);

}  // namespace kmi::emu

#endif
