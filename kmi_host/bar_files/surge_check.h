// A check of the zone and the bar stamps a file was read with: trading surges at the
// session's open, so a file whose volume surges, day after day, a whole number of hours away
// from the open was most likely read in the wrong zone, and one whose volume surges one bar
// after the open was most likely stamped at the bars' ends.
#ifndef KMI_HOST_BAR_FILES_SURGE_CHECK_H
#define KMI_HOST_BAR_FILES_SURGE_CHECK_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kmi_host/bar_files/time_zone.h"
#include "kmi_host/host_core/host_core.h"

namespace kmi::emu {

// The regular session opens at 09:30 in New York, whatever the chart's zone: the check
// judges the surges as instants against that open.
inline constexpr std::int64_t new_york_open_second = 9 * 3600 + 30 * 60;

// The note for a file whose volume surges, on most of its days (three at least), away from
// New York's open: a whole number of hours away when its times were read in a zone
// (`naive_zone`; none when they carried their own), naming the zone that would put the surge
// at the open when one of the common zones does; or one bar after it when the bars were taken
// as stamped at their start. `bars` are in the chart's zone; the clock times told are New
// York's (said so when the chart's zone is another).
std::optional<std::string> surge_note(const std::vector<Bar>& bars, const std::string& file,
                                      const std::optional<TimeZone>& naive_zone, bool stamped_at_start,
                                      const TimeZone& chart_zone);

}  // namespace kmi::emu

#endif
