// Time zones of the tz database, by their IANA names: the offset from UTC at an instant,
// and the instants a wall-clock time stands for. Bar files are read with them.
//
// The zones are those of the tz database compiled into kmi-host (tz_database.h: Debian's
// tzdata at build time), read by the cctz library (third_party/cctz), on Linux and Windows
// alike: both builds convert every time the same way, and neither reads the system's own
// database. No rule is written here: this module only asks.
#ifndef KMI_HOST_BAR_FILES_TIME_ZONE_H
#define KMI_HOST_BAR_FILES_TIME_ZONE_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "host/host_interface.h"
#include "kmi_host/host_core/host_core.h"

namespace kmi::emu {

struct ZoneRules;  // cctz's handle on a zone

struct TimeZone {
    std::string name;                          // as shown: the tz database's, or "UTC+HH:MM"
    std::shared_ptr<const ZoneRules> rules;    // of a zone of the tz database
    std::optional<std::int64_t> fixed_offset;  // seconds east of UTC, all year: a zone of no rules
    std::string note;  // how the name given was read, when that needs telling ("EST is read as ..."); or empty
};

// The zone of a name as traders type it (zone_names.h): a name of the tz database
// ("America/New_York", "Etc/GMT+5", "UTC") in any letter case, a Windows zone id ("Eastern
// Standard Time"), an offset ("UTC-05:00") or an abbreviation ("EST", read as the one offset it
// names, with a note). The zone is one of the database compiled in, or an offset: no file is
// opened, so paths, "file:" names and "localtime" are no zones. Throws InputError saying that
// the name is unknown, with the nearest names known.
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
