// Loading the study library by its three export names, as a charting host does.
#ifndef KMI_HOST_HOST_CORE_STUDY_LIBRARY_H
#define KMI_HOST_HOST_CORE_STUDY_LIBRARY_H

#include <cstdint>
#include <optional>
#include <string>

#include "kmi_host/host_core/host_core.h"
#include "kmi_host/text/input_error.h"

namespace kmi::emu {

struct StudyLibrary {
    void* handle = nullptr;
    const char* (*dll_name)() = nullptr;
    std::int32_t (*dll_version)() = nullptr;
    StudyFunction study_function = nullptr;
};

// Loads the library at `path` and finds its exports; checks that it is built for host
// interface version 2927. On failure returns nothing and says why in `error`.
std::optional<StudyLibrary> load_study_library(const std::string& path, std::string& error);

void unload_study_library(StudyLibrary& library);

// The library at `path`, loaded for as long as this lives. Throws InputError saying why it
// cannot be loaded.
struct LoadedStudy {
    StudyLibrary library;
    explicit LoadedStudy(const std::string& path) {
        std::string error;
        auto loaded = load_study_library(path, error);
        if (!loaded) throw InputError(error);
        library = *loaded;
    }
    LoadedStudy(const LoadedStudy&) = delete;
    LoadedStudy& operator=(const LoadedStudy&) = delete;
    ~LoadedStudy() { unload_study_library(library); }
};

}  // namespace kmi::emu

#endif
