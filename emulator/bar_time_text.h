// Bar times as bar files write them: a date and a time of day, in one field or two, with
// or without a UTC offset, or a Unix time.
#ifndef KMI_EMULATOR_BAR_TIME_TEXT_H
#define KMI_EMULATOR_BAR_TIME_TEXT_H

#include <optional>
#include <string_view>

#include "host/host_interface.h"

namespace kmi::emu {

// A time read from a file: an instant (it carried a UTC offset, or was a Unix time), as a
// host date-time in UTC, or a wall-clock time of a zone the file does not name.
struct BarTimeText {
    HostDateTime value = 0;
    bool instant = false;
};

// One field: a date (YYYY-MM-DD, YYYY/MM/DD or YYYYMMDD), then optionally " " or "T" and a
// time of day (H:MM, HH:MM, HH:MM:SS with a fraction of up to nine digits, HHMM or HHMMSS),
// then optionally a UTC offset ("Z", "UTC", "GMT", "+HH", "+HHMM", "+HH:MM" or the same with
// "-", after a space or not); or the compact YYYYMMDDHHMM[SS]; or a whole number: a Unix
// time in seconds, milliseconds, microseconds or nanoseconds by its magnitude.
std::optional<BarTimeText> parse_bar_time(std::string_view text);

// A date field and a time-of-day field (which may carry the offset).
std::optional<BarTimeText> parse_bar_date_and_time(std::string_view date, std::string_view time);

// The forms parse_bar_time accepts, for messages.
inline constexpr std::string_view bar_time_forms =
    "YYYY-MM-DD HH:MM[:SS[.fraction]] with an optional Z or UTC offset, YYYYMMDD[HHMM[SS]], or a Unix time";

}  // namespace kmi::emu

#endif
