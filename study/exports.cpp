// The study's three exports, the only symbols the library makes visible.
#include <cstdint>

#include "host/host_interface.h"
#include "settings/declare_defaults.h"
#include "study/study_call.h"

#if defined(_WIN32)
#define KMI_EXPORT extern "C" __declspec(dllexport)
#else
#define KMI_EXPORT extern "C" __attribute__((visibility("default")))
#endif

KMI_EXPORT const char* scdll_DLLName() noexcept { return kmi::study_display_name; }

KMI_EXPORT std::int32_t scdll_DLLVersion() noexcept { return KMI_HOST_INTERFACE_VERSION; }

KMI_EXPORT void scsf_KeelwickMarketInternals(HostInterface* host) noexcept {
    if (host == nullptr) return;
    // A record of another layout is left as it is: what such a host keeps at any offset is
    // unknown. Its defaults call declares nothing, which is how a host sees the refusal.
    if (!kmi::host_layout_matches(*host)) return;
    kmi::run_study_call(*host);
}
