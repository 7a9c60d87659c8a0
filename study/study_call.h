// The study function's work on one call.
#ifndef KMI_STUDY_STUDY_CALL_H
#define KMI_STUDY_STUDY_CALL_H

#include "host/host_interface.h"

namespace kmi {

// Runs one call of the study function: the defaults call, the last call or the per-call
// flow of every other call.
void run_study_call(HostInterface& host) noexcept;

// True when the host's record has the layout this study is built for.
bool host_layout_matches(const HostInterface& host) noexcept;

}  // namespace kmi

#endif
