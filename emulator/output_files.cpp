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
    std::filesystem::path temporary = file;
    temporary += ".partial";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (out) out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            throw InputError(file.string() + ": cannot be written");
        }
    }
    if (!replace_file(temporary, file)) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        throw InputError(file.string() + ": cannot be written");
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
