#include "study/study_state.h"

#include <new>

#include "host/process_heap.h"
#include "settings/input_indices.h"
#include "settings/input_readers.h"

namespace kmi {

StudyState* fetch_state(HostInterface& host) noexcept {
    if (host.persistent_pointer == nullptr) return nullptr;
    return static_cast<StudyState*>(host.persistent_pointer(&host, state_pointer_key));
}

StudyState* acquire_state(HostInterface& host, StudyState* fetched) noexcept {
    // A host that cannot keep the pointer would have the study allocate on every call.
    if (host.persistent_pointer == nullptr || host.set_persistent_pointer == nullptr) return nullptr;
    if (fetched != nullptr) return fetched;
    void* block = heap_alloc(sizeof(StudyState));
    if (block == nullptr) return nullptr;
    auto* state = new (block) StudyState{};
    host.set_persistent_pointer(&host, state_pointer_key, state);
    return state;
}

void release_state(HostInterface& host, StudyState* state) noexcept {
    if (state == nullptr) return;
    static_assert(std::is_trivially_destructible_v<StudyState>);
    heap_free(state);
    if (host.set_persistent_pointer != nullptr) host.set_persistent_pointer(&host, state_pointer_key, nullptr);
}

void reset_for_rebuild(StudyState& state, const HostInterface& host) noexcept {
    state.session_window = window_from_inputs(host);
    state.upper_threshold = static_cast<double>(read_float(input_at(host, input_tick_upper_threshold)));
    state.lower_threshold = static_cast<double>(read_float(input_at(host, input_tick_lower_threshold)));
    state.sources.fill(SourceSession{});
    state.chart_flow = ChartFlow{};
    state.last_closed_bar = -1;
}

}  // namespace kmi
