// The report written to the host's message log on every rebuild.
#ifndef KMI_SOURCES_DIAGNOSTICS_REPORT_H
#define KMI_SOURCES_DIAGNOSTICS_REPORT_H

#include "host/host_interface.h"
#include "metrics/session_window.h"
#include "sources/source_bindings.h"
#include "sources/source_view.h"

namespace kmi {

// The header, one line per slot from its binding and view, and an error line when
// `window` does not start before it ends.
void write_diagnostics_report(HostInterface& host, const SourceBindings& bindings, const SessionWindow& window,
                              const SourceViews& views) noexcept;

}  // namespace kmi

#endif
