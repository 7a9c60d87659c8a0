// Where New York's regular session falls in a chart's zone, and what a trader is told to set.
#include <gtest/gtest.h>

#include <string>

#include "kmi_host/bar_files/time_zone.h"
#include "kmi_host/replay/session_hours.h"
#include "kmi_host/text/date_time_text.h"

namespace kmi::emu {
namespace {

constexpr std::int64_t hour = 3600;

TEST(SessionHours, AChartOutsideNewYorkIsToldWhereTheSessionFallsAndWhenItIsAnHourOff) {
    struct Case {
        const char* zone;
        std::int64_t start, end;  // the window inputs
        const char* first_bar;
        const char* last_bar;
        const char* told;  // a part of the note, or "" for none
    };
    const Case cases[] = {
        {"America/New_York", 9 * hour + 1800, 16 * hour, "2025-03-03", "2025-03-31", ""},
        {"America/Toronto", 9 * hour + 1800, 16 * hour, "2025-03-03", "2025-03-31", ""},
        // Europe moves its clocks on 2025-03-30 and 2025-10-26, New York on 2025-03-09 and 2025-11-02.
        {"Europe/Berlin", 9 * hour + 1800, 16 * hour, "2025-03-03", "2025-03-07",
         "is 15:30 to 22:00 on most days; the session-window inputs, which the study reads in the chart's zone, are "
         "still 09:30 and 16:00: set inputs 8 and 9 to 15:30 and 22:00 (an --inputs file of {\"8\": \"15:30\", "
         "\"9\": \"22:00\"}). The two zones change their clocks on different dates: there the session is 14:30 to "
         "21:00 from 2025-03-10 to 2025-03-28 and from 2025-10-27 to 2025-10-31, when that window is "
         "an hour off"},
        {"Europe/London", 9 * hour + 1800, 16 * hour, "2025-06-02", "2025-06-06", "is 14:30 to 21:00 on most days;"},
        {"Europe/Berlin", 15 * hour + 1800, 22 * hour, "2025-03-03", "2025-03-07", ""},
        {"Europe/Berlin", 15 * hour + 1800, 22 * hour, "2025-03-03", "2025-03-14",
         "on the chart's days the session there is 14:30 to 21:00 from 2025-03-10 to 2025-03-14, when the window is "
         "an hour off"},
        {"Australia/Sydney", 9 * hour + 1800, 16 * hour, "2025-06-02", "2025-06-06",
         "is 23:30 to 06:00 on most days, across midnight, which the study's session window cannot hold: chart in "
         "New York time (--time-zone America/New_York)"},
        {"Europe/Berlin", 10 * hour, 16 * hour, "2025-03-03", "2025-03-14", ""},
    };
    for (const Case& c : cases) {
        const auto note = session_hours_note(load_time_zone(c.zone), c.start, c.end, *parse_date(c.first_bar),
                                             *parse_date(c.last_bar));
        if (std::string(c.told).empty()) {
            EXPECT_FALSE(note) << c.zone << " " << *note;
        } else {
            ASSERT_TRUE(note) << c.zone;
            EXPECT_NE(note->find(c.told), std::string::npos) << *note;
        }
    }
}

}  // namespace
}  // namespace kmi::emu
