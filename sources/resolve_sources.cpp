#include "sources/resolve_sources.h"

#include "study/study_state.h"

namespace kmi {

void resolve_sources(HostInterface& host, StudyState& state) noexcept {
    // Binding by chart number, by this chart's symbol and by open_chart arrives with
    // the source charts; until then every slot stays as it is.
    (void)host;
    (void)state;
}

}  // namespace kmi
