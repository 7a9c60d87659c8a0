// Bar times as bar files write them: a date and a time of day, in one field or two, with
// or without a UTC offset, or a Unix time.
#ifndef KMI_HOST_BAR_FILES_TIME_FORMS_H
#define KMI_HOST_BAR_FILES_TIME_FORMS_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/host_interface.h"

namespace kmi::emu {

// A time read from a file: an instant (it carried a UTC offset, or was a Unix time), as a
// host date-time in UTC, or a wall-clock time of a zone the file does not name.
struct BarTimeText {
    HostDateTime value = 0;
    bool instant = false;
};

// How a date whose year comes last with "/" or "-" between its parts is read: 07/08/2025 is
// July 8 month first, 7 August day first. Dates with "." between their parts (07.08.2025)
// are always day first.
enum class DateOrder : std::uint8_t { month_first, day_first };

// What the dates read so far tell about their order: one whose year comes last with "/" or
// "-", and one whose first or second number is above 12 (so that one is the day).
struct DateClues {
    bool year_last = false;
    bool first_above_12 = false;
    bool second_above_12 = false;
    bool ambiguous = false;  // a date that reads both ways as two different days (07/08/2025)
};

// The last date read and its day: rows of one day share their date, which is then not worked
// out again.
struct DateCache {
    char text[16] = {};
    std::size_t size = 0;
    std::int64_t day = 0;
    DateOrder order = DateOrder::month_first;
};

// One field:
// - a date: YYYY-MM-DD (or with "/" or "."), YYYYMMDD, M/D/YYYY or D/M/YYYY (or with "-",
//   by `order`), D.M.YYYY; the month and day of one or two digits;
// - then optionally "T" or spaces and a time of day: H:MM or HH:MM, optionally :SS and a
//   fraction of up to nine digits, or HHMM or HHMMSS; optionally AM or PM;
// - then optionally a UTC offset: "Z", "UTC", "GMT", "+HH", "+HHMM", "+HH:MM" or the same
//   with "-", after a space or not;
// or the compact YYYYMMDDHHMM[SS]; or a whole number: a Unix time in seconds, milliseconds,
// microseconds or nanoseconds by its magnitude. `clues`, when given, collects what the date
// told about its order (also when the date is no date in `order`).
std::optional<BarTimeText> parse_bar_time(std::string_view text, DateOrder order = DateOrder::month_first,
                                          DateClues* clues = nullptr, DateCache* cache = nullptr);

// A date field and a time-of-day field (which may carry AM or PM and the offset).
std::optional<BarTimeText> parse_bar_date_and_time(std::string_view date, std::string_view time,
                                                   DateOrder order = DateOrder::month_first, DateClues* clues = nullptr,
                                                   DateCache* cache = nullptr);

// Whether a field is a time of day alone (the time column of a date and time pair).
bool is_time_of_day(std::string_view text);

// Whether a field is a whole number (a Unix time or a compact date, by its digits).
bool is_whole_number(std::string_view text);

// Bar times before this are no market data of a bar file (host date-time of 1980-01-01).
inline constexpr HostDateTime earliest_bar_time = 29221LL * 86400 * 1000000;

// The latest a bar's time can be: two days after `clock` (a host date-time in UTC).
inline constexpr HostDateTime latest_bar_time(HostDateTime clock) { return clock + 2LL * 86400 * 1000000; }

// This machine's clock now, as a host date-time in UTC.
HostDateTime machine_clock();

// What a time field that gave no plausible time probably is, and the fix, for a message:
// a spreadsheet serial date, YYMMDD, a time of day alone (HHMM, HHMMSS), milliseconds after
// midnight, YYMMDDHHMM, or a Unix time in another unit. Empty when it looks like none.
std::string likely_time_form(std::string_view text);

// The forms parse_bar_time accepts, for messages.
inline constexpr std::string_view bar_time_forms =
    "a date YYYY-MM-DD, YYYYMMDD, MM/DD/YYYY or DD.MM.YYYY and a time HH:MM[:SS[.fraction]] [AM|PM] with an "
    "optional Z or UTC offset, YYYYMMDDHHMM[SS], or a Unix time";

}  // namespace kmi::emu

#endif
