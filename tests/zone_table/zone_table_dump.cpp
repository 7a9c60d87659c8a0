// kmi-zone-table OUT_FILE: every zone of the tz database compiled into kmi-host, by each of its
// names, with every change of its offset from 1990-01-01 to 2030-12-31 as kmi-host converts it
// (time_zone.h): the instant, the offsets before and after, and how the wall-clock time where
// the clocks jump reads (skipped forward, or repeated). The Linux and Windows builds must write
// the same bytes (scripts/wine-compare.sh).
#include <cstdio>
#include <exception>
#include <fstream>
#include <string>

#include "kmi_host/bar_files/time_zone.h"
#include "kmi_host/bar_files/tz_database.h"
#include "kmi_host/text/date_time_text.h"

namespace kmi::emu {
namespace {

const HostDateTime first = host_day_of(1990, 1, 1) * us_per_day;
const HostDateTime last = host_day_of(2031, 1, 1) * us_per_day;

std::string offset_text(std::int64_t seconds) {
    std::string text = seconds < 0 ? "" : "+";
    return text.append(std::to_string(seconds));
}

std::string kind_text(WallTimeInstants::Kind kind) {
    switch (kind) {
        case WallTimeInstants::Kind::unique: return "unique";
        case WallTimeInstants::Kind::skipped: return "skipped";
        case WallTimeInstants::Kind::repeated: return "repeated";
    }
    return "";
}

// One zone: its offset at the start, then a line for each change.
void write_zone(std::string& out, const std::string& name) {
    const TimeZone zone = load_time_zone(name);
    ZoneOffsets offsets{zone, {}};
    OffsetSpan span = offset_span(zone, first);
    out.append(name).append(" ").append(zone.name).append(" ").append(offset_text(span.offset)).append("\n");
    int changes = 0;
    while (span.until < last) {
        const OffsetSpan next = offset_span(zone, span.until);
        if (next.offset != span.offset) {
            // The wall-clock time the change begins at, by the smaller offset: the first of the
            // times skipped, or of those repeated.
            const std::int64_t smaller = next.offset < span.offset ? next.offset : span.offset;
            const WallTimeInstants wall = instants_of(offsets, next.from + smaller * us_per_second);
            out.append("  ").append(format_date_time(next.from)).append(" UTC ").append(offset_text(span.offset));
            out.append(" -> ").append(offset_text(next.offset)).append(", ").append(kind_text(wall.kind));
            out.append(" ").append(format_date_time(wall.earlier)).append(" ").append(format_date_time(wall.later));
            out.append("\n");
            if (++changes > 1000) {
                out.append("  more than 1000 changes: stopped\n");
                return;
            }
        }
        span = next;
    }
}

}  // namespace
}  // namespace kmi::emu

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kmi-zone-table OUT_FILE\n");
        return 2;
    }
    try {
        std::string out = "tz database ";
        out.append(kmi::emu::tz_database_version()).append(", ");
        out.append(std::to_string(kmi::emu::tz_database_files().size())).append(" zones\n");
        for (const kmi::emu::TzFile& file : kmi::emu::tz_database_files())
            kmi::emu::write_zone(out, std::string(file.name));
        std::ofstream file(argv[1], std::ios::binary);
        file << out;
        if (!file.flush()) {
            std::fprintf(stderr, "kmi-zone-table: %s: cannot be written\n", argv[1]);
            return 1;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kmi-zone-table: %s\n", error.what());
        return 1;
    }
    return 0;
}
