#include "emulator/output_files.h"

#include <fstream>
#include <system_error>

#include "emulator/input_error.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kmi::emu {
namespace {

bool replace_file(const std::filesystem::path& from, const std::filesystem::path& to) {
#ifdef _WIN32
    return MoveFileExW(from.wstring().c_str(), to.wstring().c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    std::error_code error;
    std::filesystem::rename(from, to, error);
    return !error;
#endif
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
        throw InputError(file.string() + ": is not a file, so it cannot be replaced");
    }
}

void remove_files(const std::vector<std::filesystem::path>& files) {
    std::error_code ignored;
    for (const std::filesystem::path& file : files) std::filesystem::remove(file, ignored);
}

}  // namespace

void write_file_atomically(const std::filesystem::path& file, const std::string& content) {
    write_files_atomically({{file, content}});
}

void write_files_atomically(const std::vector<std::pair<std::filesystem::path, std::string>>& files) {
    std::vector<std::filesystem::path> temporaries;
    for (const auto& [file, content] : files) {
        temporaries.push_back(with_suffix(file, ".partial"));
        std::ofstream out(temporaries.back(), std::ios::binary | std::ios::trunc);
        if (out) out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.close();
        if (!out) {
            remove_files(temporaries);
            throw InputError(file.string() + ": cannot be written");
        }
    }
    try {
        for (const auto& [file, content] : files) check_replaceable(file);
    } catch (...) {
        remove_files(temporaries);
        throw;
    }
    // The files of an earlier run step aside as NAME.previous until every new file is in its
    // place; when one cannot be placed, every file goes back as it was.
    std::vector<bool> had_previous(files.size(), false);
    std::size_t placed = 0;
    auto undo = [&](const std::filesystem::path& failed) {
        std::error_code ignored;
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (i < placed && !had_previous[i]) std::filesystem::remove(files[i].first, ignored);
            if (had_previous[i]) replace_file(with_suffix(files[i].first, ".previous"), files[i].first);
        }
        remove_files(temporaries);
        throw InputError(failed.string() + ": cannot be written");
    };
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!is_there(files[i].first)) continue;
        if (!replace_file(files[i].first, with_suffix(files[i].first, ".previous"))) undo(files[i].first);
        had_previous[i] = true;
    }
    for (; placed < files.size(); ++placed) {
        if (!replace_file(temporaries[placed], files[placed].first)) undo(files[placed].first);
    }
    std::error_code ignored;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (had_previous[i]) std::filesystem::remove(with_suffix(files[i].first, ".previous"), ignored);
    }
}

void make_folder(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error || !std::filesystem::is_directory(folder, error)) {
        throw InputError(folder.string() + ": cannot make this folder");
    }
}

void check_output_folder(const std::filesystem::path& folder, const std::vector<std::filesystem::path>& files) {
    make_folder(folder);
    for (const std::filesystem::path& file : files) {
        check_replaceable(file);
        const std::filesystem::path probe = with_suffix(file, ".partial");
        const bool writable = std::ofstream(probe, std::ios::binary | std::ios::trunc).good();
        std::error_code ignored;
        std::filesystem::remove(probe, ignored);
        if (!writable) throw InputError(file.string() + ": cannot be written");
    }
}

}  // namespace kmi::emu
