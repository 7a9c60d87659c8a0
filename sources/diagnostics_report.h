// The report written to the host's message log on every rebuild.
#ifndef KMI_SOURCES_DIAGNOSTICS_REPORT_H
#define KMI_SOURCES_DIAGNOSTICS_REPORT_H

#include "host/host_interface.h"
#include "sources/source_view.h"

namespace kmi {

struct StudyState;

void write_diagnostics_report(HostInterface& host, const StudyState& state, const SourceViews& views) noexcept;

}  // namespace kmi

#endif
