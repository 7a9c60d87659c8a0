// Bar files followed as a recorder writes them: read whole lines as they are appended (a
// last line without its end waits for it; lines end with "\n", "\r\n" or a lone "\r"), a row
// at the time of the last bar rewrites that forming bar, a newer one closes it; a file
// truncated or replaced is read again from its start, keeping the bars read before where its
// rows agree; a row that cannot be taken is reported with its line and following goes on. A
// file gone, empty or refused is waited for, and its state is told once until it changes.
#ifndef KMI_HOST_FOLLOWING_FOLLOWED_FILES_H
#define KMI_HOST_FOLLOWING_FOLLOWED_FILES_H

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "kmi_host/bar_files/appended_rows.h"
#include "kmi_host/bar_files/reader.h"
#include "kmi_host/following/file_watch.h"

namespace kmi::emu {

struct FollowedFile {
    std::filesystem::path path;
    std::string name;  // as named in messages
    BarFileOptions options;
    AppendedRows rows{};                     // how its further rows are read
    std::uint64_t offset = 0;                // the end of its last whole line read
    std::uint64_t lines = 0;                 // the whole lines read
    std::string last_line{};                 // the end of the last whole line read, with its line end
    std::optional<FileIdentity> identity{};  // of the file at its path at the last look; nothing while it is gone
    // Why the file is to be read again from its start ("truncated", "replaced by a new file",
    // "is back"); empty while it is read on from `offset`.
    std::string read_again{};
    std::optional<FileIdentity> refused{};  // the file as it was when a reading from its start failed
    std::string state{};                    // what the file is while it is waited for (gone, empty, refused)
    std::chrono::steady_clock::time_point state_since{};
    bool state_told = false;
    // A file gone or empty for less long than this is being replaced (a recorder rotating it):
    // that is not told, only what it is replaced by.
    std::chrono::milliseconds passing{1000};
};

// The first reading of a followed file: its whole lines, as read_bar_file reads a file.
// UTF-16 files and compressed ones cannot be followed. Throws InputError.
BarFile read_followed_file(FollowedFile& file);

inline constexpr std::size_t no_change = std::numeric_limits<std::size_t>::max();

// What a look at a followed file found.
struct FileNews {
    std::vector<std::string> reports;      // for the user, one line each
    std::size_t changed_from = no_change;  // the first bar of the file's bars that changed
};

// Looks at the file again and brings `bars` (what it was read into) up to date. What the
// file holds is reported, never thrown; a state of the file (gone, empty, a reading refused)
// is reported once, however many looks find it.
FileNews read_file_news(FollowedFile& file, std::vector<Bar>& bars);

}  // namespace kmi::emu

#endif
