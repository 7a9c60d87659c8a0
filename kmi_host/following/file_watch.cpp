#include "kmi_host/following/file_watch.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>

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
// milliseconds it may take) says a watched file changed, a stop is asked for or the time is up;
// whether a watched file changed.
template <typename Nap>
bool wait_in_naps(std::chrono::milliseconds timeout, Nap nap) {
    const auto until = std::chrono::steady_clock::now() + std::min(timeout, longest_wait);
    while (!stop_requested()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        if (nap(static_cast<int>(std::min<std::int64_t>(left.count(), 50)))) return true;
    }
    return false;
}

// The names of the files in each of their folders.
std::map<std::filesystem::path, std::set<std::filesystem::path::string_type>> names_by_folder(
    const std::vector<std::filesystem::path>& files) {
    std::map<std::filesystem::path, std::set<std::filesystem::path::string_type>> folders;
    for (const std::filesystem::path& file : files) {
        const std::filesystem::path whole = std::filesystem::absolute(file);
        const std::filesystem::path folder = whole.parent_path();
        folders[folder.empty() ? std::filesystem::path(".") : folder].insert(whole.filename().native());
    }
    return folders;
}

}  // namespace

#ifdef _WIN32

namespace {

// A folder whose changes are read, each told with the name of the file it changed.
struct FolderWatch {
    HANDLE folder = INVALID_HANDLE_VALUE;
    OVERLAPPED overlapped{};
    bool reading = false;                                   // a read of its changes is under way
    std::vector<std::wstring> names;                        // of the watched files in it
    std::vector<DWORD> changes = std::vector<DWORD>(4096);  // 16 KB, aligned as the changes must be
};

void close_folder(FolderWatch& watch) {
    if (watch.reading) {
        CancelIoEx(watch.folder, &watch.overlapped);
        DWORD bytes = 0;
        GetOverlappedResult(watch.folder, &watch.overlapped, &bytes, TRUE);
    }
    if (watch.folder != INVALID_HANDLE_VALUE) CloseHandle(watch.folder);
    if (watch.overlapped.hEvent != nullptr) CloseHandle(watch.overlapped.hEvent);
}

bool read_changes(FolderWatch& watch) {
    ResetEvent(watch.overlapped.hEvent);
    watch.reading = ReadDirectoryChangesW(
                        watch.folder, watch.changes.data(), static_cast<DWORD>(watch.changes.size() * sizeof(DWORD)),
                        FALSE, FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE,
                        nullptr, &watch.overlapped, nullptr) != 0;
    return watch.reading;
}

bool is_watched(const FolderWatch& watch, const wchar_t* name, std::size_t length) {
    // A name in its short form (NAME~1.CSV) cannot be told from a watched one: it wakes.
    if (std::find(name, name + length, L'~') != name + length) return true;
    return std::any_of(watch.names.begin(), watch.names.end(), [&](const std::wstring& watched) {
        return CompareStringOrdinal(watched.data(), static_cast<int>(watched.size()), name, static_cast<int>(length),
                                    TRUE) == CSTR_EQUAL;
    });
}

// Whether the changes read (`bytes` of them) tell of a watched file.
bool tells_of_watched_file(const FolderWatch& watch, DWORD bytes) {
    // More changes than were kept: which files they were is not known.
    if (bytes == 0) return true;
    const auto* changes = reinterpret_cast<const unsigned char*>(watch.changes.data());
    for (DWORD at = 0; at + sizeof(FILE_NOTIFY_INFORMATION) <= bytes;) {
        const auto* change = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(changes + at);
        if (is_watched(watch, change->FileName, change->FileNameLength / sizeof(wchar_t))) return true;
        if (change->NextEntryOffset == 0) break;
        at += change->NextEntryOffset;
    }
    return false;
}

}  // namespace

struct FileWatch {
    std::vector<std::unique_ptr<FolderWatch>> folders;  // none when changes cannot be read: the files are polled
};

void FileWatchEnd::operator()(FileWatch* watch) const noexcept {
    for (const std::unique_ptr<FolderWatch>& folder : watch->folders) close_folder(*folder);
    delete watch;
}

std::optional<FileIdentity> file_identity(const std::filesystem::path& file) {
    HANDLE handle = CreateFileW(file.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const BOOL known = GetFileInformationByHandle(handle, &info);
    CloseHandle(handle);
    if (known == 0 || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return std::nullopt;
    return FileIdentity{
        info.dwVolumeSerialNumber, (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
        (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow,
        static_cast<std::int64_t>((static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                                  info.ftLastWriteTime.dwLowDateTime)};
}

FileWatchHandle watch_files(const std::vector<std::filesystem::path>& files) {
    FileWatchHandle watch(new FileWatch);
    for (const auto& [folder, names] : names_by_folder(files)) {
        auto folder_watch = std::make_unique<FolderWatch>();
        folder_watch->names.assign(names.begin(), names.end());
        folder_watch->folder =
            CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
        folder_watch->overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (folder_watch->folder == INVALID_HANDLE_VALUE || folder_watch->overlapped.hEvent == nullptr ||
            !read_changes(*folder_watch)) {
            close_folder(*folder_watch);
            continue;
        }
        watch->folders.push_back(std::move(folder_watch));
    }
    return watch;
}

bool wait_for_change(FileWatch& watch, std::chrono::milliseconds timeout) {
    return wait_in_naps(timeout, [&watch](int milliseconds) {
        const auto nap = static_cast<DWORD>(milliseconds);
        if (watch.folders.empty()) {
            Sleep(nap);
            return false;
        }
        std::vector<HANDLE> events;
        for (const std::unique_ptr<FolderWatch>& folder : watch.folders) events.push_back(folder->overlapped.hEvent);
        const DWORD woken = WaitForMultipleObjects(static_cast<DWORD>(events.size()), events.data(), FALSE, nap);
        if (woken < WAIT_OBJECT_0 || woken >= WAIT_OBJECT_0 + events.size()) return false;
        FolderWatch& folder = *watch.folders[woken - WAIT_OBJECT_0];
        DWORD bytes = 0;
        const bool read = GetOverlappedResult(folder.folder, &folder.overlapped, &bytes, FALSE) != 0;
        folder.reading = false;
        const bool watched = !read || tells_of_watched_file(folder, bytes);
        // A folder whose changes can no longer be read (it was removed) is polled.
        if (!read_changes(folder)) {
            close_folder(folder);
            watch.folders.erase(watch.folders.begin() + static_cast<std::ptrdiff_t>(woken - WAIT_OBJECT_0));
        }
        return watched;
    });
}

#else

struct FileWatch {
    int inotify = -1;                            // -1 when inotify cannot be had: the files are polled
    std::map<int, std::set<std::string>> names;  // of the watched files, by the watch of their folder
};

void FileWatchEnd::operator()(FileWatch* watch) const noexcept {
    if (watch->inotify >= 0) close(watch->inotify);
    delete watch;
}

std::optional<FileIdentity> file_identity(const std::filesystem::path& file) {
    struct stat info {};
    if (stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
                        static_cast<std::uint64_t>(info.st_size),
                        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

FileWatchHandle watch_files(const std::vector<std::filesystem::path>& files) {
    FileWatchHandle watch(new FileWatch);
    watch->inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch->inotify < 0) return watch;
    for (const auto& [folder, names] : names_by_folder(files)) {
        const int added =
            inotify_add_watch(watch->inotify, folder.c_str(),
                              IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE);
        if (added >= 0) watch->names[added].insert(names.begin(), names.end());
    }
    return watch;
}

namespace {

// Whether the events read (`length` bytes of them) tell of a watched file, of events lost or of
// a folder no longer watched.
bool tells_of_watched_file(const FileWatch& watch, const char* events, std::size_t length) {
    bool watched = false;
    for (std::size_t at = 0; at + sizeof(inotify_event) <= length;) {
        inotify_event event{};
        std::memcpy(&event, events + at, sizeof event);
        const char* name = events + at + sizeof event;
        if ((event.mask & (IN_Q_OVERFLOW | IN_IGNORED)) != 0) {
            watched = true;
        } else if (event.len > 0) {
            const auto names = watch.names.find(event.wd);
            watched = watched || (names != watch.names.end() &&
                                  names->second.count(std::string(name, strnlen(name, event.len))) != 0);
        }
        at += sizeof event + event.len;
    }
    return watched;
}

}  // namespace

bool wait_for_change(FileWatch& watch, std::chrono::milliseconds timeout) {
    return wait_in_naps(timeout, [&watch](int milliseconds) {
        if (watch.inotify < 0) {
            usleep(static_cast<useconds_t>(milliseconds) * 1000);
            return false;
        }
        pollfd event{watch.inotify, POLLIN, 0};
        if (poll(&event, 1, milliseconds) <= 0) return false;
        alignas(inotify_event) char events[4096];
        bool watched = false;
        for (ssize_t length = 0; (length = read(watch.inotify, events, sizeof events)) > 0;) {
            watched = tells_of_watched_file(watch, events, static_cast<std::size_t>(length)) || watched;
        }
        return watched;
    });
}

#endif

}  // namespace kmi::emu
