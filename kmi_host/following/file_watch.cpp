#include "kmi_host/following/file_watch.h"

#include <algorithm>
#include <set>

#include "kmi_host/following/stop_signal.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kmi::emu {
namespace {

constexpr std::chrono::milliseconds longest_wait{250};

// Naps of at most 50 ms, so that a stop asked for is seen at once, until `nap` (given the
// milliseconds it may take) says a folder changed, a stop is asked for or the time is up.
template <typename Nap>
void wait_in_naps(std::chrono::milliseconds timeout, Nap nap) {
    const auto until = std::chrono::steady_clock::now() + std::min(timeout, longest_wait);
    while (!stop_requested()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0 || nap(static_cast<int>(std::min<std::int64_t>(left.count(), 50)))) return;
    }
}

std::set<std::filesystem::path> folders_of(const std::vector<std::filesystem::path>& files) {
    std::set<std::filesystem::path> folders;
    for (const std::filesystem::path& file : files) {
        std::filesystem::path folder = std::filesystem::absolute(file).parent_path();
        folders.insert(folder.empty() ? std::filesystem::path(".") : folder);
    }
    return folders;
}

}  // namespace

#ifdef _WIN32

struct FileWatch {
    std::vector<HANDLE> changes;  // one per folder; none when notifications cannot be had
};

void FileWatchEnd::operator()(FileWatch* watch) const noexcept {
    for (HANDLE change : watch->changes) FindCloseChangeNotification(change);
    delete watch;
}

std::optional<FileIdentity> file_identity(const std::filesystem::path& file) {
    HANDLE handle = CreateFileW(file.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const BOOL known = GetFileInformationByHandle(handle, &info);
    CloseHandle(handle);
    if (known == 0) return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber,
                        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
                        (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow};
}

FileWatchHandle watch_files(const std::vector<std::filesystem::path>& files) {
    FileWatchHandle watch(new FileWatch);
    for (const std::filesystem::path& folder : folders_of(files)) {
        HANDLE change = FindFirstChangeNotificationW(
            folder.c_str(), FALSE,
            FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_FILE_NAME);
        if (change != INVALID_HANDLE_VALUE) watch->changes.push_back(change);
    }
    return watch;
}

void wait_for_change(FileWatch& watch, std::chrono::milliseconds timeout) {
    wait_in_naps(timeout, [&watch](int milliseconds) {
        const auto nap = static_cast<DWORD>(milliseconds);
        if (watch.changes.empty()) {
            Sleep(nap);
            return false;
        }
        const DWORD woken =
            WaitForMultipleObjects(static_cast<DWORD>(watch.changes.size()), watch.changes.data(), FALSE, nap);
        if (woken < WAIT_OBJECT_0 || woken >= WAIT_OBJECT_0 + watch.changes.size()) return false;
        FindNextChangeNotification(watch.changes[woken - WAIT_OBJECT_0]);
        return true;
    });
}

#else

struct FileWatch {
    int inotify = -1;  // -1 when inotify cannot be had: the files are polled
};

void FileWatchEnd::operator()(FileWatch* watch) const noexcept {
    if (watch->inotify >= 0) close(watch->inotify);
    delete watch;
}

std::optional<FileIdentity> file_identity(const std::filesystem::path& file) {
    struct stat info {};
    if (stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
                        static_cast<std::uint64_t>(info.st_size)};
}

FileWatchHandle watch_files(const std::vector<std::filesystem::path>& files) {
    FileWatchHandle watch(new FileWatch);
    watch->inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch->inotify < 0) return watch;
    for (const std::filesystem::path& folder : folders_of(files)) {
        inotify_add_watch(watch->inotify, folder.c_str(),
                          IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE);
    }
    return watch;
}

void wait_for_change(FileWatch& watch, std::chrono::milliseconds timeout) {
    wait_in_naps(timeout, [&watch](int milliseconds) {
        if (watch.inotify < 0) {
            usleep(static_cast<useconds_t>(milliseconds) * 1000);
            return false;
        }
        pollfd event{watch.inotify, POLLIN, 0};
        if (poll(&event, 1, milliseconds) <= 0) return false;
        // The events themselves say nothing the next look does not find: they are drained.
        alignas(inotify_event) char buffer[4096];
        while (read(watch.inotify, buffer, sizeof buffer) > 0) {
        }
        return true;
    });
}

#endif

}  // namespace kmi::emu
