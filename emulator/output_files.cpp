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

}  // namespace

void write_file_atomically(const std::filesystem::path& file, const std::string& content) {
    write_files_atomically({{file, content}});
}

void write_files_atomically(const std::vector<std::pair<std::filesystem::path, std::string>>& files) {
    std::vector<std::filesystem::path> temporaries;
    auto remove_temporaries = [&temporaries](std::size_t from) {
        std::error_code ignored;
        for (std::size_t i = from; i < temporaries.size(); ++i) std::filesystem::remove(temporaries[i], ignored);
    };
    for (const auto& [file, content] : files) {
        std::filesystem::path temporary = file;
        temporary += ".partial";
        temporaries.push_back(temporary);
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (out) out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.close();
        if (!out) {
            remove_temporaries(0);
            throw InputError(file.string() + ": cannot be written");
        }
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!replace_file(temporaries[i], files[i].first)) {
            remove_temporaries(i);
            throw InputError(files[i].first.string() + ": cannot be written");
        }
    }
}

void make_folder(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error || !std::filesystem::is_directory(folder, error)) {
        throw InputError(folder.string() + ": cannot make this folder");
    }
}

}  // namespace kmi::emu
