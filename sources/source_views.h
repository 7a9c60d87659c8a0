// Building each resolved slot's view of its chart, and the change test.
#ifndef KMI_SOURCES_SOURCE_VIEWS_H
#define KMI_SOURCES_SOURCE_VIEWS_H

#include "host/host_interface.h"
#include "sources/source_view.h"

namespace kmi {

struct StudyState;

// Fills the views, periods and resolved flags of the nine slots; sets `rebuild` when a
// source chart's history changed under the walk (only while `rebuild` is still false).
SourceViews prepare_source_views(HostInterface& host, const StudyState& state, bool& rebuild) noexcept;

}  // namespace kmi

#endif
