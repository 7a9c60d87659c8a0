#include "kmi_host/output_files/atomic_files.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <exception>
#include <future>
#include <memory>
#include <system_error>

#include "kmi_host/text/input_error.h"
#include "kmi_host/text/path_text.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kmi::emu {
namespace {

// The operating system's reason in its own words, without a closing full stop or line end.
std::string reason(const std::error_code& error) {
    std::string text = error.message();
    while (!text.empty() && (text.back() == '.' || text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

std::error_code last_error() { return {errno != 0 ? errno : EIO, std::generic_category()}; }

std::error_code replace_file(const std::filesystem::path& from, const std::filesystem::path& to) {
#ifdef _WIN32
    if (MoveFileExW(from.wstring().c_str(), to.wstring().c_str(), MOVEFILE_REPLACE_EXISTING) != 0) return {};
    return {static_cast<int>(GetLastError()), std::system_category()};
#else
    std::error_code error;
    std::filesystem::rename(from, to, error);
    return error;
#endif
}

struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};

// Writes what `writer` gives to `file` whole, replacing what it held; the reason when it cannot.
// Whatever the writer throws (std::bad_alloc too) closes the file on its way out, so that it
// can be removed, on Windows too.
std::error_code write_whole(const std::filesystem::path& file, const FileWriter& writer) {
    errno = 0;
#ifdef _WIN32
    std::unique_ptr<std::FILE, FileCloser> out(_wfopen(file.c_str(), L"wb"));
#else
    std::unique_ptr<std::FILE, FileCloser> out(std::fopen(file.c_str(), "wb"));
#endif
    if (out == nullptr) return last_error();
    OutputSink sink{out.get(), {}, 0};
    sink.text.reserve(std::size_t{1} << 19);
    writer(sink);
    flush_sink(sink);
    errno = 0;
    std::error_code error = sink.error != 0               ? std::error_code(sink.error, std::generic_category())
                            : std::fflush(out.get()) == 0 ? std::error_code()
                                                          : last_error();
    if (std::fclose(out.release()) != 0 && !error) error = last_error();
    return error;
}

std::error_code write_whole(const std::filesystem::path& file, const std::string& content) {
    return write_whole(file, [&content](OutputSink& sink) { put(sink, content); });
}

std::filesystem::path with_suffix(std::filesystem::path file, const char* suffix) {
    file += suffix;
    return file;
}

bool is_there(const std::filesystem::path& file) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(file, error));
}

// A place an output file can take: nothing there yet, or a file (not a folder).
void check_replaceable(const std::filesystem::path& file) {
    std::error_code error;
    if (is_there(file) && !std::filesystem::is_regular_file(file, error)) {
        throw InputError(text_of(file) + ": is not a file, so it cannot be replaced");
    }
}

void remove_files(const std::vector<std::filesystem::path>& files) {
    std::error_code ignored;
    for (const std::filesystem::path& file : files) std::filesystem::remove(file, ignored);
}

[[noreturn]] void cannot_write(const std::filesystem::path& file, const std::error_code& error) {
    throw InputError(text_of(file) + ": cannot be written: " + reason(error));
}

// Why `folder` cannot be made: a file where it or a folder above it should be, or the system's
// reason.
std::string folder_reason(const std::filesystem::path& folder, const std::error_code& error) {
    for (std::filesystem::path place = folder; !place.empty(); place = place.parent_path()) {
        std::error_code ignored;
        const std::filesystem::file_status status = std::filesystem::status(place, ignored);
        if (std::filesystem::exists(status) && !std::filesystem::is_directory(status)) {
            return place == folder ? "a file is in the way" : reason(error) + " (" + text_of(place) + " is a file)";
        }
        if (place == place.parent_path()) break;
    }
    // A folder on a drive that does not exist (Q:\out): the library would say its name is too long.
    std::error_code ignored;
    if (folder.has_root_name() && !std::filesystem::exists(folder.root_path(), ignored)) {
        return "there is no drive " + text_of(folder.root_name());
    }
    return reason(error);
}

}  // namespace

void write_file_atomically(const std::filesystem::path& file, const std::string& content) {
    write_files_atomically({{file, content}});
}

void flush_sink(OutputSink& sink) {
    if (sink.file == nullptr || sink.text.empty()) return;
    errno = 0;
    if (sink.error == 0 && std::fwrite(sink.text.data(), 1, sink.text.size(), sink.file) != sink.text.size()) {
        sink.error = errno != 0 ? errno : EIO;
    }
    sink.text.clear();
}

void put_shortest(OutputSink& sink, float value) {
    if (std::isnan(value)) return put(sink, "nan");
    if (std::isinf(value)) return put(sink, value < 0 ? "-inf" : "inf");
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    put(sink, std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer)));
}

void write_files_atomically(const std::vector<std::pair<std::filesystem::path, std::string>>& files) {
    std::vector<std::pair<std::filesystem::path, FileWriter>> writers;
    writers.reserve(files.size());
    for (const auto& [file, content] : files) {
        writers.emplace_back(file, [&content = content](OutputSink& sink) { put(sink, content); });
    }
    write_files_atomically(writers);
}

void write_files_atomically(const std::vector<std::pair<std::filesystem::path, FileWriter>>& files) {
    // Every name is made before the first file is written: the way back, when a writer fails
    // (out of memory, mostly), takes no memory.
    std::vector<std::filesystem::path> temporaries;
    std::vector<std::filesystem::path> previous;
    temporaries.reserve(files.size());
    previous.reserve(files.size());
    for (const auto& [file, writer] : files) {
        temporaries.push_back(with_suffix(file, ".partial"));
        previous.push_back(with_suffix(file, ".previous"));
    }
    // The files are written side by side: each but the first on a thread of its own. Whatever
    // any writer throws, every thread has ended before the temporary files are removed.
    std::vector<std::future<std::error_code>> others;
    others.reserve(files.size());
    std::vector<std::error_code> errors(files.size());
    std::exception_ptr thrown;
    try {
        for (std::size_t i = 1; i < files.size(); ++i) {
            others.push_back(std::async(std::launch::async, [&temporaries, &files, i] {
                return write_whole(temporaries[i], files[i].second);
            }));
        }
        if (!files.empty()) errors[0] = write_whole(temporaries[0], files[0].second);
    } catch (...) {
        thrown = std::current_exception();
    }
    for (std::size_t i = 0; i < others.size(); ++i) {
        try {
            errors[i + 1] = others[i].get();
        } catch (...) {
            if (!thrown) thrown = std::current_exception();
        }
    }
    if (thrown) {
        remove_files(temporaries);
        std::rethrow_exception(thrown);
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (errors[i]) {
            remove_files(temporaries);
            cannot_write(files[i].first, errors[i]);
        }
    }
    try {
        for (const auto& [file, writer] : files) check_replaceable(file);
    } catch (...) {
        remove_files(temporaries);
        throw;
    }
    // The files of an earlier run step aside as NAME.previous until every new file is in its
    // place; when one cannot be placed, every file goes back as it was.
    std::vector<bool> had_previous(files.size(), false);
    std::size_t placed = 0;
    auto undo = [&](const std::filesystem::path& failed, const std::error_code& error) {
        std::error_code ignored;
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (i < placed && !had_previous[i]) std::filesystem::remove(files[i].first, ignored);
            if (had_previous[i]) replace_file(previous[i], files[i].first);
        }
        remove_files(temporaries);
        cannot_write(failed, error);
    };
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!is_there(files[i].first)) continue;
        if (const std::error_code error = replace_file(files[i].first, previous[i])) undo(files[i].first, error);
        had_previous[i] = true;
    }
    for (; placed < files.size(); ++placed) {
        if (const std::error_code error = replace_file(temporaries[placed], files[placed].first))
            undo(files[placed].first, error);
    }
    std::error_code ignored;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (had_previous[i]) std::filesystem::remove(previous[i], ignored);
    }
}

void make_folder(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!error && !std::filesystem::is_directory(folder, error) && !error)
        error = std::make_error_code(std::errc::not_a_directory);
    if (error) throw InputError(text_of(folder) + ": cannot make this folder: " + folder_reason(folder, error));
}

void check_output_folder(const std::filesystem::path& folder, const std::vector<std::filesystem::path>& files) {
    // The folders made for the check go again: a run that fails later leaves none behind.
    std::filesystem::path outermost_made;
    for (std::filesystem::path place = folder; !place.empty() && !is_there(place); place = place.parent_path()) {
        outermost_made = place;
        if (place == place.parent_path()) break;
    }
    const auto remove_made = [&folder, &outermost_made] {
        if (outermost_made.empty()) return;
        std::error_code ignored;
        for (std::filesystem::path place = folder; !place.empty(); place = place.parent_path()) {
            std::filesystem::remove(place, ignored);  // an empty folder only
            if (place == outermost_made || place == place.parent_path()) break;
        }
    };
    try {
        make_folder(folder);
        for (const std::filesystem::path& file : files) {
            check_replaceable(file);
            const std::filesystem::path probe = with_suffix(file, ".partial");
            std::error_code error;
            std::error_code ignored;
            try {
                error = write_whole(probe, "");
            } catch (...) {
                std::filesystem::remove(probe, ignored);
                throw;
            }
            std::filesystem::remove(probe, ignored);
            if (error) cannot_write(file, error);
        }
    } catch (...) {
        remove_made();
        throw;
    }
    remove_made();
}

}  // namespace kmi::emu
