#include "kmi_host/command_line/program_folder.h"

#include <iterator>
#include <system_error>

#include "kmi_host/text/path_text.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kmi::emu {

std::filesystem::path program_folder(const char* argv0) {
#ifdef _WIN32
    wchar_t buffer[32768];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(std::size(buffer)));
    if (length > 0 && length < std::size(buffer)) return std::filesystem::path(buffer).parent_path();
#else
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error && self.has_parent_path()) return self.parent_path();
#endif
    return path_of(argv0 == nullptr ? "" : argv0).parent_path();
}

}  // namespace kmi::emu
