// A check of the zone a file's times were read in: trading surges at the session's open, so
// a file whose volume surges, day after day, a whole number of hours away from the open was
// most likely read in the wrong zone.
#ifndef KMI_EMULATOR_BAR_FILES_ZONE_HINT_H
#define KMI_EMULATOR_BAR_FILES_ZONE_HINT_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "emulator/core/host_core.h"

namespace kmi::emu {

// The note for a file whose volume surges, on most of its days (three at least), a whole
// number of hours from `session_open_second` (a second of the chart's day), naming the zone
// that would put the surge at the open when one of the common zones does. `bars` are in the
// chart's zone; `naive_zone` is the zone the file's times were read in (empty: its times
// carried their own zone, and nothing is told).
std::optional<std::string> zone_hint(const std::vector<Bar>& bars, const std::string& file,
                                     const std::string& naive_zone, const std::string& chart_zone,
                                     std::int64_t session_open_second);

}  // namespace kmi::emu

#endif
