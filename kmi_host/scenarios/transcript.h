// Running a scenario and writing its transcript: one JSON object per line, in the order
// things happened (docs/host.md describes every event).
#ifndef KMI_HOST_SCENARIOS_TRANSCRIPT_H
#define KMI_HOST_SCENARIOS_TRANSCRIPT_H

#include <string>

#include "kmi_host/host_core/host_core.h"
#include "kmi_host/scenarios/scenario.h"
#include "kmi_host/text/json_text.h"

namespace kmi::emu {

// The requests as the transcript shows them: every field the study fills, keyed by its
// byte offset as a decimal string.
Json open_request_json(const OpenChartRecord& record);
Json drawing_request_json(const Drawing& drawing);

// The "declared" event of a defaults call.
Json declared_event(const Host& host);

// Runs the scenario's steps with `study_function` and returns the transcript. When the
// steps end without a last call while the study holds a state, the host makes one after
// the final event, outside the transcript. Throws InputError for a step that cannot be
// carried out (a chart that is not open, bars out of time order, a bad input value).
std::string run_scenario(const Scenario& scenario, StudyFunction study_function);

}  // namespace kmi::emu

#endif
