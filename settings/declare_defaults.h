// The defaults call: the study's name, description, settings, output series and inputs.
#ifndef KMI_SETTINGS_DECLARE_DEFAULTS_H
#define KMI_SETTINGS_DECLARE_DEFAULTS_H

#include "host/host_interface.h"

namespace kmi {

inline constexpr char study_display_name[] = "Keelwick Market Internals";

void declare_defaults(HostInterface& host) noexcept;

}  // namespace kmi

#endif
