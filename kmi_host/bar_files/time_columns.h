// The time columns of a bar file by their names: which column holds a date and time, a date, a
// time of day or a bar's end, and the zone a name gives ("datetime_utc", "Time (EST)",
// "Timestamp (UTC+1)", "Time [Europe/Berlin]").
#ifndef KMI_HOST_BAR_FILES_TIME_COLUMNS_H
#define KMI_HOST_BAR_FILES_TIME_COLUMNS_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kmi_host/bar_files/layout.h"
#include "kmi_host/bar_files/zone_names.h"

namespace kmi::emu {

enum class TimeKind : std::uint8_t { none, date_time, date, time_of_day, end_time };

struct TimeName {
    TimeKind kind = TimeKind::none;
    const NamedZone* zone = nullptr;
};

// The words of a name as compared (canonical_name): its parts between "_".
std::vector<std::string_view> words_of(std::string_view name);

// What a name (as compared) says of a time column, and the zone a word of it gives.
TimeName time_name(std::string_view name);

// The zone a word of the time column's name gives, with the note a fixed offset needs.
ColumnZone column_zone_of(const NamedZone& named, std::string_view written);

// The time column: a date-time column (the first from the left), else a date column with a time
// column, else a date column or a time column alone (holding whole date-times); the column of a
// bar's end only where no column gives its start (the bars are then stamped at their end). Its
// zone, when its name gives one.
void find_time_column(Layout& layout);

// A zone the name gives in brackets, "Timestamp (UTC+1)", "Time [Europe/Berlin]", "Time (EST)";
// `base` is then the name without it. Throws InputError (FILE:LINE) for a word in brackets that
// can only be meant as a zone and names none kmi-host knows.
std::optional<ColumnZone> bracket_zone(std::string_view written, std::string& base, const std::string& file,
                                       std::uint64_t line);

}  // namespace kmi::emu

#endif
