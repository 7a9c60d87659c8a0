// Where New York's regular session falls in a chart's zone. The study's session window (its
// RTH start and end inputs) is read in the chart's zone, while the session is New York's: a
// chart in Berlin, London or Sydney needs the window moved to where the session falls there,
// and in the weeks when the two zones change their clocks on different dates it is an hour off.
#ifndef KMI_HOST_REPLAY_SESSION_HOURS_H
#define KMI_HOST_REPLAY_SESSION_HOURS_H

#include <cstdint>
#include <optional>
#include <string>

#include "kmi_host/bar_files/time_zone.h"

namespace kmi::emu {

// The note for a chart whose zone puts New York's 09:30 to 16:00 at other clock times, over
// the years of the bars from `first_bar` to `last_bar` (chart times): when the window inputs
// (seconds of the day) are still 09:30 to 16:00, where the session falls there on most days,
// the inputs to set and the dates it falls an hour off; when they are already set to where it
// falls on most days, the dates of the bars on which it does not.
std::optional<std::string> session_hours_note(const TimeZone& chart_zone, std::int64_t window_start,
                                              std::int64_t window_end, HostDateTime first_bar, HostDateTime last_bar);

}  // namespace kmi::emu

#endif
