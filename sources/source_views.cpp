#include "sources/source_views.h"

#include "study/study_state.h"

namespace kmi {

SourceViews prepare_source_views(HostInterface& host, const StudyState& state, bool& rebuild) noexcept {
    SourceViews views;
    for (int slot = 0; slot < source_slot_count; ++slot) {
        const auto i = static_cast<std::size_t>(slot);
        views.source_resolved[i] = state.source_chart_numbers[i] > 0;
    }
    // Reading the source charts' arrays and the change test arrive with the source
    // charts.
    (void)host;
    (void)rebuild;
    return views;
}

}  // namespace kmi
