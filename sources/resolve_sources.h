// Binding each of the nine source slots to a host chart.
#ifndef KMI_SOURCES_RESOLVE_SOURCES_H
#define KMI_SOURCES_RESOLVE_SOURCES_H

#include "host/host_interface.h"
#include "sources/source_bindings.h"

namespace kmi {

// On a resolving call: writes the chart number and this-chart flag of all nine slots.
void resolve_sources(HostInterface& host, SourceBindings& bindings) noexcept;

}  // namespace kmi

#endif
