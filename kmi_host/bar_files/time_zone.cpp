#include "kmi_host/bar_files/time_zone.h"

#include <cctz/time_zone.h>
#include <cctz/zone_info_source.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>
#include <string_view>
#include <vector>

#include "kmi_host/bar_files/tz_database.h"
#include "kmi_host/bar_files/zone_names.h"
#include "kmi_host/text/date_time_text.h"
#include "kmi_host/text/input_error.h"

namespace cctz_extension {
namespace {

// A zone's TZif file of the database compiled in, read as cctz reads a file.
class CompiledInZoneInfo final : public cctz::ZoneInfoSource {
  public:
    explicit CompiledInZoneInfo(std::string_view bytes) : rest_(bytes) {}
    std::size_t Read(void* out, std::size_t size) override {
        size = std::min(size, rest_.size());
        if (size != 0) std::memcpy(out, rest_.data(), size);
        rest_.remove_prefix(size);
        return size;
    }
    int Skip(std::size_t size) override {
        if (size > rest_.size()) return -1;
        rest_.remove_prefix(size);
        return 0;
    }
    std::string Version() const override { return std::string(kmi::emu::tz_database_version()); }

  private:
    std::string_view rest_;
};

// cctz's zones come from the database compiled in, never from files: the fallback, which reads
// the system's zoneinfo folder, is not asked.
std::unique_ptr<cctz::ZoneInfoSource> compiled_in_zone_info(
    const std::string& name, const std::function<std::unique_ptr<cctz::ZoneInfoSource>(const std::string&)>&) {
    const kmi::emu::TzFile* file = kmi::emu::tz_database_file(name);
    if (file == nullptr) return nullptr;
    return std::make_unique<CompiledInZoneInfo>(file->bytes);
}

}  // namespace

ZoneInfoSourceFactory zone_info_source_factory = compiled_in_zone_info;

}  // namespace cctz_extension

namespace kmi::emu {

struct ZoneRules {
    cctz::time_zone zone;
};

namespace {

constexpr std::int64_t unix_epoch_host_seconds = unix_epoch_host_day * 86400;

std::int64_t floor_seconds(HostDateTime value) {
    return value >= 0 ? value / us_per_second : -((-value + us_per_second - 1) / us_per_second);
}

[[noreturn]] void unknown_zone(const std::string& name) {
    std::string message = "unknown time zone \"";
    message.append(name).append("\": ");
    const std::vector<std::string> nearest = nearest_zone_names(name);
    if (nearest.empty()) {
        message.append(
            "give a name of the tz database such as America/New_York or Europe/London, a Windows zone such "
            "as Eastern Standard Time, or an offset such as UTC-05:00");
    } else {
        message.append("did you mean ");
        for (std::size_t i = 0; i < nearest.size(); ++i) {
            message.append(i == 0 ? "" : i + 1 == nearest.size() ? " or " : ", ").append(nearest[i]);
        }
        message.append("?");
    }
    throw InputError(message);
}

// The zone of a name of the database compiled in, as it spells it.
TimeZone database_zone(const std::string& name) {
    auto rules = std::make_shared<ZoneRules>();
    // Only a zone of the database compiled in: cctz's own names of fixed offsets and of the C
    // library's zones ("libc:localtime") are none.
    if (tz_database_file(name) == nullptr || !cctz::load_time_zone(name, &rules->zone)) unknown_zone(name);
    return TimeZone{name, std::move(rules), std::nullopt, {}};
}

}  // namespace

const TimeZone& default_chart_zone() {
    static const TimeZone zone = load_time_zone(default_time_zone);
    return zone;
}

TimeZone fixed_time_zone(std::int64_t offset_seconds) {
    TimeZone zone;
    zone.fixed_offset = offset_seconds;
    zone.name = "UTC";
    if (offset_seconds != 0) {
        const std::int64_t minutes = (offset_seconds < 0 ? -offset_seconds : offset_seconds) / 60;
        const auto two_digits = [](std::int64_t value) {
            return std::string(1, static_cast<char>('0' + value / 10)) + static_cast<char>('0' + value % 10);
        };
        zone.name += offset_seconds < 0 ? '-' : '+';
        zone.name += two_digits(minutes / 60 % 100);
        zone.name += ':';
        zone.name += two_digits(minutes % 60);
    }
    return zone;
}

const TzFile* tz_database_file(std::string_view name) {
    const std::span<const TzFile> files = tz_database_files();
    const auto found = std::lower_bound(files.begin(), files.end(), name,
                                        [](const TzFile& file, std::string_view key) { return file.name < key; });
    return found != files.end() && found->name == name ? &*found : nullptr;
}

TimeZone load_time_zone(const std::string& name) {
    const std::optional<ZoneName> read = read_zone_name(name);
    if (!read) unknown_zone(name);
    TimeZone zone = read->zone.empty() ? fixed_time_zone(static_cast<std::int64_t>(read->fixed_offset_minutes) * 60)
                                       : database_zone(read->zone);
    zone.note = read->note;
    return zone;
}

OffsetSpan offset_span(const TimeZone& zone, HostDateTime utc) {
    if (zone.fixed_offset)
        return OffsetSpan{*zone.fixed_offset, std::numeric_limits<HostDateTime>::min(),
                          std::numeric_limits<HostDateTime>::max()};
    using Point = std::chrono::time_point<std::chrono::system_clock, cctz::seconds>;
    const cctz::time_zone& rules = zone.rules->zone;
    const std::int64_t seconds = floor_seconds(utc);
    const Point point{cctz::seconds(seconds - unix_epoch_host_seconds)};
    const auto host_us = [](const Point& at) {
        return (static_cast<std::int64_t>(at.time_since_epoch().count()) + unix_epoch_host_seconds) * us_per_second;
    };
    OffsetSpan span{rules.lookup(point).offset, std::numeric_limits<HostDateTime>::min(),
                    std::numeric_limits<HostDateTime>::max()};
    // The instant of a transition is that of the first wall-clock second after it.
    cctz::time_zone::civil_transition transition;
    if (rules.prev_transition(point + cctz::seconds(1), &transition))
        span.from = host_us(rules.lookup(transition.to).trans);
    if (rules.next_transition(point, &transition)) span.until = host_us(rules.lookup(transition.to).trans);
    if (span.from > utc || span.until <= utc)
        span = OffsetSpan{span.offset, seconds * us_per_second, (seconds + 1) * us_per_second};
    return span;
}

WallTimeInstants instants_of(ZoneOffsets& offsets, HostDateTime wall) {
    // The offsets a day before and a day after bound the offsets that can apply; an offset
    // applies when the instant it gives has that very offset.
    const std::int64_t before = utc_offset_seconds(offsets, wall - us_per_day);
    const std::int64_t after = utc_offset_seconds(offsets, wall + us_per_day);
    const auto applies = [&](std::int64_t offset) {
        return utc_offset_seconds(offsets, wall - offset * us_per_second) == offset;
    };
    const bool before_applies = applies(before);
    if (before == after) {
        if (before_applies)
            return {WallTimeInstants::Kind::unique, wall - before * us_per_second, wall - before * us_per_second};
    } else {
        const bool after_applies = applies(after);
        if (before_applies && after_applies) {
            const HostDateTime first = wall - std::max(before, after) * us_per_second;
            const HostDateTime second = wall - std::min(before, after) * us_per_second;
            return {WallTimeInstants::Kind::repeated, first, second};
        }
        if (before_applies || after_applies) {
            const HostDateTime only = wall - (before_applies ? before : after) * us_per_second;
            return {WallTimeInstants::Kind::unique, only, only};
        }
    }
    const HostDateTime moved = wall - before * us_per_second;
    return {WallTimeInstants::Kind::skipped, moved, moved};
}

}  // namespace kmi::emu
