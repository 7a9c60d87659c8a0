// Building each resolved slot's view of its chart, the change test, and this chart's own
// bar length.
#ifndef KMI_SOURCES_SOURCE_VIEWS_H
#define KMI_SOURCES_SOURCE_VIEWS_H

#include <cstdint>

#include "host/host_interface.h"
#include "metrics/source_session.h"
#include "settings/source_slots.h"
#include "sources/source_bindings.h"
#include "sources/source_view.h"

namespace kmi {

// This chart's bar length in ms: bar_seconds * 1000, or 0 when the chart has no fixed bar
// length.
std::int64_t chart_bar_period_ms(const HostInterface& host) noexcept;

// Fills the views, periods and resolved flags of the nine slots bound in `bindings`; sets
// `rebuild` when a source chart's history changed under the walk of its record in
// `sessions` (only while `rebuild` is still false).
SourceViews prepare_source_views(HostInterface& host, const SourceBindings& bindings,
                                 const std::array<SourceSession, source_slot_count>& sessions, bool& rebuild) noexcept;

}  // namespace kmi

#endif
