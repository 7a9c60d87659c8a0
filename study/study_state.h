// The study's persistent block, kept by the host under persistent pointer key 1.
#ifndef KMI_STUDY_STUDY_STATE_H
#define KMI_STUDY_STUDY_STATE_H

#include <array>
#include <cstdint>

#include "host/host_interface.h"
#include "metrics/chart_flow.h"
#include "metrics/session_window.h"
#include "metrics/source_session.h"
#include "settings/source_slots.h"
#include "sources/source_bindings.h"

namespace kmi {

inline constexpr std::int32_t state_pointer_key = 1;

// A plain record of values: no owned memory and no references into the host, so it can
// be copied and reset member by member.
struct StudyState {
    SessionWindow session_window;
    double upper_threshold = 1000.0;
    double lower_threshold = -1000.0;
    std::array<SourceSession, source_slot_count> sources{};
    ChartFlow chart_flow;
    SourceBindings source_bindings;
    std::int32_t last_closed_bar = -1;
    std::int32_t panel_line_count = 0;
};

// The state the host keeps for this instance, or null.
StudyState* fetch_state(HostInterface& host) noexcept;

// The state `fetched` from the host this call, or, when there is none, a new one with its
// initial values stored under key 1. Null when the process heap gives no block (the call
// then ends quietly and the next call tries again).
StudyState* acquire_state(HostInterface& host, StudyState* fetched) noexcept;

// Frees the state and stores null under key 1; nothing when `state` is null.
void release_state(HostInterface& host, StudyState* state) noexcept;

// On a rebuild: window and thresholds from the inputs, every source record and the
// chart flow back to their initial values, last_closed_bar to -1. The source bindings
// and the panel line count are kept.
void reset_for_rebuild(StudyState& state, const HostInterface& host) noexcept;

}  // namespace kmi

#endif
