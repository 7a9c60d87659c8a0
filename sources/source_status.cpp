#include "sources/source_status.h"

#include <limits>

#include "host/host_datetime.h"
#include "host/host_text.h"
#include "settings/input_indices.h"
#include "settings/input_readers.h"

namespace kmi {
namespace {

// The last day whose midnight still fits a host date-time.
constexpr std::int32_t last_representable_day = 106751991;

// The host date-time of the midnight that starts `day`. A previous session always has a
// day of 0 or more; days beyond the last one a date-time can hold are held there.
HostDateTime midnight_of(std::int32_t day) noexcept {
    if (day > last_representable_day) day = last_representable_day;
    if (day < 0) day = 0;
    return static_cast<HostDateTime>(day) * microseconds_per_day;
}

// a - b held at the int64 limits.
std::int64_t saturating_sub(std::int64_t a, std::int64_t b) noexcept {
    if (b < 0 && a > std::numeric_limits<std::int64_t>::max() + b) return std::numeric_limits<std::int64_t>::max();
    if (b > 0 && a < std::numeric_limits<std::int64_t>::min() + b) return std::numeric_limits<std::int64_t>::min();
    return a - b;
}

bool is_weekend(std::int64_t time_ms) noexcept {
    // Day 0 is a Saturday; the remainder keeps the sign of the day, so days before the
    // epoch count as weekend too.
    return day_number(time_ms) % 7 < 2;
}

}  // namespace

std::int64_t stale_threshold_ms(const HostInterface& host) noexcept {
    return static_cast<std::int64_t>(read_int(input_at(host, input_stale_minutes))) * 60000;
}

SourceStatus source_status(const SourceSession& live, bool resolved, std::int32_t panel_reference_day,
                           std::int64_t live_bound_ms, const SessionWindow& window,
                           std::int64_t threshold_ms) noexcept {
    if (!resolved) return SourceStatus::off;
    if (!live.has_data) return SourceStatus::no_data;
    if (live.session_day >= 0 && panel_reference_day >= 0 && live.session_day != panel_reference_day) {
        return SourceStatus::previous_session;
    }
    const std::int64_t now = live_bound_ms;
    const std::int32_t second = second_of_day(now);
    if (second < window.start_second || second >= window.end_second || is_weekend(now)) return SourceStatus::current;
    // The gap counts from the end of the latest bar; one without a known end never
    // grows stale.
    return saturating_sub(now, live.bar_end_ms) > threshold_ms ? SourceStatus::stale : SourceStatus::current;
}

void append_status_suffix(TextBuilder& text, SourceStatus status, std::int32_t session_day) noexcept {
    switch (status) {
        case SourceStatus::off: append_format(text, "%s", "  off"); break;
        case SourceStatus::no_data: append_format(text, "%s", "  no data"); break;
        case SourceStatus::previous_session: {
            const DateTimeParts parts = to_date_time_parts(midnight_of(session_day), round_to_second);
            append_format(text, "  [as of %02d-%02d]", parts.month, parts.day);
            break;
        }
        case SourceStatus::stale: append_format(text, "%s", "  [stale]"); break;
        case SourceStatus::current: break;
    }
}

}  // namespace kmi
