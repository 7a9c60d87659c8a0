// Binding each of the nine source slots to a host chart.
#ifndef KMI_SOURCES_RESOLVE_SOURCES_H
#define KMI_SOURCES_RESOLVE_SOURCES_H

#include "host/host_interface.h"

namespace kmi {

struct StudyState;

// On a resolving call: writes source_chart_numbers and source_is_this_chart for all
// nine slots.
void resolve_sources(HostInterface& host, StudyState& state) noexcept;

}  // namespace kmi

#endif
