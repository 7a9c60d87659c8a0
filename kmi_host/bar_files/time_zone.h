// Time zones of the tz database, by their IANA names: the offset from UTC at an instant,
// and the instants a wall-clock time stands for. Bar files are read with them.
//
// On Linux the zones come from the system's tz database (Debian's tzdata in
// /usr/share/zoneinfo) through the cctz library; on Windows from the Windows time-zone API
// and its own database (kept current by Windows Update), with the IANA name mapped to the
// Windows zone of the same rules. No rule is written here: this module only asks.
#ifndef KMI_HOST_BAR_FILES_TIME_ZONE_H
#define KMI_HOST_BAR_FILES_TIME_ZONE_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "host/host_interface.h"
#include "kmi_host/host_core/host_core.h"

namespace kmi::emu {

struct ZoneRules;  // the platform's own handle on a zone

struct TimeZone {
    std::string name;
    std::shared_ptr<const ZoneRules> rules;    // of a zone of the tz database
    std::optional<std::int64_t> fixed_offset;  // seconds east of UTC, all year: a zone of no rules
};

// Whether `name` has the shape of a tz database name: letters, digits, "_", "-" and "+" in
// parts joined by "/", none of them "." or "..", not beginning with "/". Paths, "file:"
// names and the like are no zone names.
bool is_zone_name(const std::string& name);

// The zone of an IANA name ("America/New_York", "Europe/London", "UTC"). Only the tz
// database is asked; on Linux only a regular file of it is opened. Throws InputError saying
// that the name is unknown.
TimeZone load_time_zone(const std::string& name);

// The zone of default_time_zone (kmi_host/host_core/host_core.h), loaded once.
const TimeZone& default_chart_zone();

// A zone whose offset never changes, `offset_seconds` east of UTC, named "UTC+HH:MM" (or
// "UTC" for none).
TimeZone fixed_time_zone(std::int64_t offset_seconds);

// The offset from UTC in seconds that holds at the instant `utc` (a host date-time in UTC),
// and the instants from which and until which it holds (until excluded). The span may be
// shorter than the zone's own period of that offset.
struct OffsetSpan {
    std::int64_t offset = 0;
    HostDateTime from = 1;
    HostDateTime until = 0;
};
OffsetSpan offset_span(const TimeZone& zone, HostDateTime utc);

// A zone with the span of its last offset, for reading many times in order: a time inside
// the span needs no lookup.
struct ZoneOffsets {
    TimeZone zone;
    OffsetSpan last;
};

inline std::int64_t utc_offset_seconds(ZoneOffsets& offsets, HostDateTime utc) {
    if (utc < offsets.last.from || utc >= offsets.last.until) offsets.last = offset_span(offsets.zone, utc);
    return offsets.last.offset;
}

// The zone's wall-clock time at the instant `utc`.
inline HostDateTime wall_time_of(ZoneOffsets& offsets, HostDateTime utc) {
    return utc + utc_offset_seconds(offsets, utc) * 1000000;
}

// The instants a wall-clock time of the zone stands for. A time in the hour that is skipped
// when clocks go forward stands for the instant it names with the offset in force before
// the change (02:30 in New York on a spring-forward day is 07:30 UTC, which is 03:30 there):
// earlier and later are then that one instant. A time in the hour repeated when clocks go
// back stands for two instants, earlier (its first occurrence) and later.
struct WallTimeInstants {
    enum class Kind { unique, skipped, repeated };
    Kind kind = Kind::unique;
    HostDateTime earlier = 0;
    HostDateTime later = 0;
};
WallTimeInstants instants_of(ZoneOffsets& offsets, HostDateTime wall);

}  // namespace kmi::emu

#endif
