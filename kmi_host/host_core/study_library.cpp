#include "kmi_host/host_core/study_library.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace kmi::emu {
namespace {

#ifdef _WIN32
// The path is UTF-8, whatever the code page: the library is loaded by its wide name.
void* open_library(const std::string& path) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), wide.data(), length);
    return reinterpret_cast<void*>(LoadLibraryW(wide.c_str()));
}
void* find_export(void* handle, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}
void close_library(void* handle) { FreeLibrary(static_cast<HMODULE>(handle)); }
// The system's own words for the error, in UTF-8, and its number.
std::string last_error() {
    const DWORD code = GetLastError();
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message;
    if (length > 0 && text != nullptr) {
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
        message.resize(static_cast<std::size_t>(bytes));
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), message.data(), bytes, nullptr, nullptr);
        while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
            message.pop_back();
    }
    if (text != nullptr) LocalFree(text);
    return (message.empty() ? std::string() : message + " ") + "(error " + std::to_string(code) + ")";
}
#else
void* open_library(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }
void* find_export(void* handle, const char* name) { return dlsym(handle, name); }
void close_library(void* handle) { dlclose(handle); }
std::string last_error() {
    const char* message = dlerror();
    return message == nullptr ? std::string("unknown error") : std::string(message);
}
#endif

template <typename Function>
Function export_as(void* symbol) {
    return reinterpret_cast<Function>(symbol);
}

}  // namespace

std::optional<StudyLibrary> load_study_library(const std::string& path, std::string& error) {
    StudyLibrary library;
    library.handle = open_library(path);
    if (library.handle == nullptr) {
        error = "cannot load the study library " + path + ": " + last_error();
        return std::nullopt;
    }
    library.dll_name = export_as<const char* (*)()>(find_export(library.handle, "scdll_DLLName"));
    library.dll_version = export_as<std::int32_t (*)()>(find_export(library.handle, "scdll_DLLVersion"));
    library.study_function = export_as<StudyFunction>(find_export(library.handle, "scsf_KeelwickMarketInternals"));
    if (library.dll_name == nullptr || library.dll_version == nullptr || library.study_function == nullptr) {
        error = "the study library " + path +
                " lacks one of the exports scdll_DLLName, scdll_DLLVersion, scsf_KeelwickMarketInternals";
        close_library(library.handle);
        return std::nullopt;
    }
    const std::int32_t version = library.dll_version();
    if (version != KMI_HOST_INTERFACE_VERSION) {
        error = "the study library " + path + " is built for host interface version " + std::to_string(version) +
                ", this host speaks " + std::to_string(KMI_HOST_INTERFACE_VERSION);
        close_library(library.handle);
        return std::nullopt;
    }
    return library;
}

void unload_study_library(StudyLibrary& library) {
    if (library.handle != nullptr) close_library(library.handle);
    library = StudyLibrary{};
}

}  // namespace kmi::emu
