// Zone names as traders type them and files write them: the tz database's names in any letter
// case, Windows zone ids ("W. Europe Standard Time"), offsets ("UTC+1", "GMT-05:00") and
// abbreviations ("EST", "CET", "MEZ", "JST"), with the one table of the abbreviations and zone
// words that both a typed name and a time column's name ("Time (EST)", "datetime_et") are read
// by.
#ifndef KMI_HOST_BAR_FILES_ZONE_NAMES_H
#define KMI_HOST_BAR_FILES_ZONE_NAMES_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kmi::emu {

// A zone a word stands for, in a time column's name or typed.
struct NamedZone {
    std::string_view word;              // in lower case
    std::string_view zone;              // of the tz database; empty: `fixed_offset_minutes` all year
    std::int32_t fixed_offset_minutes;  // east of UTC
    std::string_view daylight_zone;     // the zone whose clock the offset is part of the year; may be empty
    std::string_view also;              // what else the word names; empty: nothing
};

// The zone a word stands for ("utc", "et", "est"), or none.
const NamedZone* zone_of_word(std::string_view word);

// An offset from UTC as written, "UTC+1", "utc-05:00", "GMT+5:30", "GMT-0530": minutes east of
// UTC (GMT-5 is five hours behind UTC, unlike the tz database's Etc/GMT-5), or none.
std::optional<std::int32_t> utc_offset_minutes(std::string_view text);

// A zone's name as given, read: a zone of the tz database by its own spelling, or an offset
// fixed all year, with the note that a name read as written needs.
struct ZoneName {
    std::string zone;                       // a name of the tz database; empty: `fixed_offset_minutes`
    std::int32_t fixed_offset_minutes = 0;  // east of UTC
    std::string note;                       // "EST is read as UTC-05:00 all year, as written (...)"; or empty
};

// What a name stands for, taken in this order: a name of the tz database as it spells it
// ("Etc/GMT+5" is the database's, five hours behind UTC); an abbreviation of one offset ("EST",
// "CET", "JST": that offset all year, with a note, and one that names several offsets says so)
// or a word of a zone ("ET"); a name of the database in another letter case or with spaces for
// "_" ("europe/berlin"); a Windows zone id in any case ("Eastern Standard Time"); an offset
// ("UTC+1"). None for any other name.
std::optional<ZoneName> read_zone_name(const std::string& given);

// The names of the tz database and the Windows zone ids nearest to a name that stands for none
// (a letter or two apart, or its last part a city's name), nearest first, at most three.
std::vector<std::string> nearest_zone_names(const std::string& given);

}  // namespace kmi::emu

#endif
