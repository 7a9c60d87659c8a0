// The status beside each source on the panel, and its suffix texts.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "host/host_text.h"
#include "settings/input_indices.h"
#include "source_test_builders.h"
#include "sources/source_status.h"
#include "sources/source_walk.h"
#include "study_host.h"

namespace kmi::test {
namespace {

const SessionWindow regular_hours{34200, 57600};
constexpr std::int64_t five_minutes = 300000;

std::int32_t day_of(HostDateTime t) { return day_number(ms(t)); }

// A record with data whose latest bar ended at `end`, on the session of that day.
SourceSession ended_at(HostDateTime end) {
    SourceSession s;
    s.has_data = true;
    s.bar_end_ms = ms(end);
    s.session_day = day_of(end);
    return s;
}

SourceStatus status_at(const SourceSession& s, HostDateTime now, std::int32_t reference_day) {
    return source_status(s, true, reference_day, ms(now), regular_hours, five_minutes);
}

std::string suffix(SourceStatus status, std::int32_t session_day = -1) {
    TextBuilder text = make_text_builder();
    append_status_suffix(text, status, session_day);
    std::string result = text_chars(text.text);
    clear(text);
    return result;
}

TEST(SourceStatus, StaleOnlyWhenTheGapExceedsTheThreshold) {
    const HostDateTime now = at(2026, 12, 2, 10, 0);  // a Wednesday
    const std::int32_t today = day_of(now);
    EXPECT_EQ(status_at(ended_at(at(2026, 12, 2, 9, 54, 59) + 999000), now, today), SourceStatus::stale);
    EXPECT_EQ(status_at(ended_at(at(2026, 12, 2, 9, 55)), now, today), SourceStatus::current);
    EXPECT_EQ(status_at(ended_at(at(2026, 12, 2, 9, 59)), now, today), SourceStatus::current);
}

TEST(SourceStatus, NeverStaleOutsideTheWindowOrAtWeekends) {
    const SourceSession old = ended_at(at(2026, 12, 2, 9, 31));
    const std::int32_t wednesday = day_of(at(2026, 12, 2));
    EXPECT_EQ(status_at(old, at(2026, 12, 2, 16, 5), wednesday), SourceStatus::current);
    EXPECT_EQ(status_at(old, at(2026, 12, 2, 16, 0), wednesday), SourceStatus::current) << "the end is exclusive";
    EXPECT_EQ(status_at(old, at(2026, 12, 2, 15, 59, 59), wednesday), SourceStatus::stale);
    EXPECT_EQ(status_at(old, at(2026, 12, 2, 9, 29, 59), wednesday), SourceStatus::current);

    SourceSession friday = ended_at(at(2026, 12, 4, 9, 31));
    friday.session_day = -1;  // no session seen: the weekend test alone decides
    EXPECT_EQ(status_at(friday, at(2026, 12, 5, 10, 0), -1), SourceStatus::current) << "Saturday";
    EXPECT_EQ(status_at(friday, at(2026, 12, 6, 10, 0), -1), SourceStatus::current) << "Sunday";
    EXPECT_EQ(status_at(friday, at(2026, 12, 7, 10, 0), -1), SourceStatus::stale) << "Monday";
}

TEST(SourceStatus, FirstMatchWins) {
    const HostDateTime now = at(2026, 12, 2, 12, 0);
    const std::int32_t today = day_of(now);
    SourceSession s = ended_at(at(2026, 12, 1, 15, 59));  // yesterday's session, long ago
    EXPECT_EQ(source_status(s, false, today, ms(now), regular_hours, five_minutes), SourceStatus::off);
    EXPECT_EQ(status_at(s, now, today), SourceStatus::previous_session) << "rather than stale";
    EXPECT_EQ(status_at(s, now, -1), SourceStatus::stale) << "no reference day: no date";
    s.has_data = false;
    EXPECT_EQ(status_at(s, now, today), SourceStatus::no_data);
}

TEST(SourceStatus, LatestBarWithoutKnownEndNeverTurnsStale) {
    SourceSession s;
    s.has_data = true;
    s.bar_end_ms = unbounded_ms;
    s.session_day = day_of(at(2026, 12, 2));
    EXPECT_EQ(status_at(s, at(2026, 12, 2, 15, 0), s.session_day), SourceStatus::current);
    s.bar_end_ms = INT64_MIN;  // hostile: the gap saturates instead of overflowing
    EXPECT_EQ(status_at(s, at(2026, 12, 2, 15, 0), s.session_day), SourceStatus::stale);
}

TEST(SourceStatus, SuffixTexts) {
    EXPECT_EQ(suffix(SourceStatus::off), "  off");
    EXPECT_EQ(suffix(SourceStatus::no_data), "  no data");
    EXPECT_EQ(suffix(SourceStatus::stale), "  [stale]");
    EXPECT_EQ(suffix(SourceStatus::current), "");
    EXPECT_EQ(suffix(SourceStatus::previous_session, day_of(at(2026, 3, 14))), "  [as of 03-14]");
    EXPECT_EQ(suffix(SourceStatus::previous_session, day_of(at(2024, 2, 29))), "  [as of 02-29]");
    EXPECT_EQ(suffix(SourceStatus::previous_session, day_of(at(1899, 12, 30))), "  [as of 12-30]");
    EXPECT_EQ(suffix(SourceStatus::previous_session, INT32_MAX).size(), 15u) << "any day gives a date";
    EXPECT_EQ(suffix(SourceStatus::previous_session, INT32_MIN), "  [as of 12-30]");
}

TEST(SourceStatus, ThresholdFromTheMinutesInput) {
    StudyHost h(chart_with_bars(1, "ESZ26.CME", 60, at(2026, 12, 2, 9, 30), 2));
    h.defaults();
    h->record.input_count = static_cast<std::int32_t>(h->study.inputs.size());
    h->record.inputs = h->study.inputs.data();
    EXPECT_EQ(stale_threshold_ms(h->record), five_minutes);
    set_input_int32(emu::input(*h, input_stale_minutes), 1440);
    EXPECT_EQ(stale_threshold_ms(h->record), 1440LL * 60000);
}

}  // namespace
}  // namespace kmi::test
