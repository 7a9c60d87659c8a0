#include "kmi_host/bar_files/zone_names.h"

#include <algorithm>
#include <charconv>

#include "kmi_host/bar_files/time_zone.h"
#include "kmi_host/bar_files/tz_database.h"
#include "kmi_host/text/names.h"

namespace kmi::emu {
namespace {

// The words a time column's name may carry its zone in ("Timestamp (UTC)", "datetime_et", "Gmt
// time", "DateTimeUTC", "Time (EST)"), and the abbreviations a zone is typed as ("--time-zone
// CET"). A word of a zone with its daylight saving time names the zone; an abbreviation of one
// offset ("EST" is UTC-5 in summer too) is that offset all year, as written, with the zone whose
// clock it is part of the year (a note names it).
constexpr NamedZone zone_words[] = {
    {"utc", "UTC", 0, "", ""},
    {"gmt", "UTC", 0, "", ""},
    {"z", "UTC", 0, "", ""},
    {"et", "America/New_York", 0, "", ""},
    {"ny", "America/New_York", 0, "", ""},
    {"nyc", "America/New_York", 0, "", ""},
    {"eastern", "America/New_York", 0, "", ""},
    {"ct", "America/Chicago", 0, "", ""},
    {"central", "America/Chicago", 0, "", ""},
    {"mt", "America/Denver", 0, "", ""},
    {"mountain", "America/Denver", 0, "", ""},
    {"pt", "America/Los_Angeles", 0, "", ""},
    {"pacific", "America/Los_Angeles", 0, "", ""},
    {"est", "", -300, "America/New_York", ""},
    {"edt", "", -240, "America/New_York", ""},
    {"cst", "", -360, "America/Chicago", "China Standard Time, UTC+08:00"},
    {"cdt", "", -300, "America/Chicago", ""},
    {"mst", "", -420, "America/Denver", ""},
    {"mdt", "", -360, "America/Denver", ""},
    {"pst", "", -480, "America/Los_Angeles", ""},
    {"pdt", "", -420, "America/Los_Angeles", ""},
    {"hst", "", -600, "", ""},
    {"wet", "", 0, "Europe/Lisbon", ""},
    {"west", "", 60, "Europe/Lisbon", ""},
    {"bst", "", 60, "Europe/London", "Bangladesh Standard Time, UTC+06:00"},
    {"cet", "", 60, "Europe/Berlin", ""},
    {"cest", "", 120, "Europe/Berlin", ""},
    {"mez", "", 60, "Europe/Berlin", ""},
    {"mesz", "", 120, "Europe/Berlin", ""},
    {"eet", "", 120, "Europe/Athens", ""},
    {"eest", "", 180, "Europe/Athens", ""},
    {"msk", "", 180, "", ""},
    {"ist", "", 330, "", "Irish Standard Time, UTC+01:00, and Israel Standard Time, UTC+02:00"},
    {"sgt", "", 480, "", ""},
    {"hkt", "", 480, "", ""},
    {"awst", "", 480, "", ""},
    {"jst", "", 540, "", ""},
    {"kst", "", 540, "", ""},
    {"acst", "", 570, "Australia/Adelaide", ""},
    {"aest", "", 600, "Australia/Sydney", ""},
    {"aedt", "", 660, "Australia/Sydney", ""},
    {"nzst", "", 720, "Pacific/Auckland", ""},
    {"nzdt", "", 780, "Pacific/Auckland", ""},
};

// The Windows zone ids and the zones of the tz database that keep their rules: the Unicode
// CLDR's windowsZones table, the entry of each id for territory "001", with the database's
// current name where the table has an older one (Asia/Kolkata for Asia/Calcutta). The ids of
// offsets alone ("UTC-08", "UTC+12") are read as offsets.
struct WindowsZone {
    std::string_view id;
    std::string_view zone;
};
constexpr WindowsZone windows_zones[] = {
    {"Dateline Standard Time", "Etc/GMT+12"},
    {"Aleutian Standard Time", "America/Adak"},
    {"Hawaiian Standard Time", "Pacific/Honolulu"},
    {"Marquesas Standard Time", "Pacific/Marquesas"},
    {"Alaskan Standard Time", "America/Anchorage"},
    {"Pacific Standard Time (Mexico)", "America/Tijuana"},
    {"Pacific Standard Time", "America/Los_Angeles"},
    {"US Mountain Standard Time", "America/Phoenix"},
    {"Mountain Standard Time (Mexico)", "America/Mazatlan"},
    {"Mountain Standard Time", "America/Denver"},
    {"Yukon Standard Time", "America/Whitehorse"},
    {"Central America Standard Time", "America/Guatemala"},
    {"Central Standard Time", "America/Chicago"},
    {"Easter Island Standard Time", "Pacific/Easter"},
    {"Central Standard Time (Mexico)", "America/Mexico_City"},
    {"Canada Central Standard Time", "America/Regina"},
    {"SA Pacific Standard Time", "America/Bogota"},
    {"Eastern Standard Time (Mexico)", "America/Cancun"},
    {"Eastern Standard Time", "America/New_York"},
    {"Haiti Standard Time", "America/Port-au-Prince"},
    {"Cuba Standard Time", "America/Havana"},
    {"US Eastern Standard Time", "America/Indiana/Indianapolis"},
    {"Turks And Caicos Standard Time", "America/Grand_Turk"},
    {"Paraguay Standard Time", "America/Asuncion"},
    {"Atlantic Standard Time", "America/Halifax"},
    {"Venezuela Standard Time", "America/Caracas"},
    {"Central Brazilian Standard Time", "America/Cuiaba"},
    {"SA Western Standard Time", "America/La_Paz"},
    {"Pacific SA Standard Time", "America/Santiago"},
    {"Newfoundland Standard Time", "America/St_Johns"},
    {"Tocantins Standard Time", "America/Araguaina"},
    {"E. South America Standard Time", "America/Sao_Paulo"},
    {"SA Eastern Standard Time", "America/Cayenne"},
    {"Argentina Standard Time", "America/Argentina/Buenos_Aires"},
    {"Greenland Standard Time", "America/Nuuk"},
    {"Montevideo Standard Time", "America/Montevideo"},
    {"Magallanes Standard Time", "America/Punta_Arenas"},
    {"Saint Pierre Standard Time", "America/Miquelon"},
    {"Bahia Standard Time", "America/Bahia"},
    {"Azores Standard Time", "Atlantic/Azores"},
    {"Cape Verde Standard Time", "Atlantic/Cape_Verde"},
    {"GMT Standard Time", "Europe/London"},
    {"Greenwich Standard Time", "Atlantic/Reykjavik"},
    {"Sao Tome Standard Time", "Africa/Sao_Tome"},
    {"Morocco Standard Time", "Africa/Casablanca"},
    {"W. Europe Standard Time", "Europe/Berlin"},
    {"Central Europe Standard Time", "Europe/Budapest"},
    {"Romance Standard Time", "Europe/Paris"},
    {"Central European Standard Time", "Europe/Warsaw"},
    {"W. Central Africa Standard Time", "Africa/Lagos"},
    {"Jordan Standard Time", "Asia/Amman"},
    {"GTB Standard Time", "Europe/Bucharest"},
    {"Middle East Standard Time", "Asia/Beirut"},
    {"Egypt Standard Time", "Africa/Cairo"},
    {"E. Europe Standard Time", "Europe/Chisinau"},
    {"Syria Standard Time", "Asia/Damascus"},
    {"West Bank Standard Time", "Asia/Hebron"},
    {"South Africa Standard Time", "Africa/Johannesburg"},
    {"FLE Standard Time", "Europe/Kyiv"},
    {"Israel Standard Time", "Asia/Jerusalem"},
    {"South Sudan Standard Time", "Africa/Juba"},
    {"Kaliningrad Standard Time", "Europe/Kaliningrad"},
    {"Sudan Standard Time", "Africa/Khartoum"},
    {"Libya Standard Time", "Africa/Tripoli"},
    {"Namibia Standard Time", "Africa/Windhoek"},
    {"Arabic Standard Time", "Asia/Baghdad"},
    {"Turkey Standard Time", "Europe/Istanbul"},
    {"Arab Standard Time", "Asia/Riyadh"},
    {"Belarus Standard Time", "Europe/Minsk"},
    {"Russian Standard Time", "Europe/Moscow"},
    {"E. Africa Standard Time", "Africa/Nairobi"},
    {"Iran Standard Time", "Asia/Tehran"},
    {"Arabian Standard Time", "Asia/Dubai"},
    {"Astrakhan Standard Time", "Europe/Astrakhan"},
    {"Azerbaijan Standard Time", "Asia/Baku"},
    {"Russia Time Zone 3", "Europe/Samara"},
    {"Mauritius Standard Time", "Indian/Mauritius"},
    {"Saratov Standard Time", "Europe/Saratov"},
    {"Georgian Standard Time", "Asia/Tbilisi"},
    {"Volgograd Standard Time", "Europe/Volgograd"},
    {"Caucasus Standard Time", "Asia/Yerevan"},
    {"Afghanistan Standard Time", "Asia/Kabul"},
    {"West Asia Standard Time", "Asia/Tashkent"},
    {"Ekaterinburg Standard Time", "Asia/Yekaterinburg"},
    {"Pakistan Standard Time", "Asia/Karachi"},
    {"Qyzylorda Standard Time", "Asia/Qyzylorda"},
    {"India Standard Time", "Asia/Kolkata"},
    {"Sri Lanka Standard Time", "Asia/Colombo"},
    {"Nepal Standard Time", "Asia/Kathmandu"},
    {"Central Asia Standard Time", "Asia/Bishkek"},
    {"Bangladesh Standard Time", "Asia/Dhaka"},
    {"Omsk Standard Time", "Asia/Omsk"},
    {"Myanmar Standard Time", "Asia/Yangon"},
    {"SE Asia Standard Time", "Asia/Bangkok"},
    {"Altai Standard Time", "Asia/Barnaul"},
    {"W. Mongolia Standard Time", "Asia/Hovd"},
    {"North Asia Standard Time", "Asia/Krasnoyarsk"},
    {"N. Central Asia Standard Time", "Asia/Novosibirsk"},
    {"Tomsk Standard Time", "Asia/Tomsk"},
    {"China Standard Time", "Asia/Shanghai"},
    {"North Asia East Standard Time", "Asia/Irkutsk"},
    {"Singapore Standard Time", "Asia/Singapore"},
    {"W. Australia Standard Time", "Australia/Perth"},
    {"Taipei Standard Time", "Asia/Taipei"},
    {"Ulaanbaatar Standard Time", "Asia/Ulaanbaatar"},
    {"Aus Central W. Standard Time", "Australia/Eucla"},
    {"Transbaikal Standard Time", "Asia/Chita"},
    {"Tokyo Standard Time", "Asia/Tokyo"},
    {"North Korea Standard Time", "Asia/Pyongyang"},
    {"Korea Standard Time", "Asia/Seoul"},
    {"Yakutsk Standard Time", "Asia/Yakutsk"},
    {"Cen. Australia Standard Time", "Australia/Adelaide"},
    {"AUS Central Standard Time", "Australia/Darwin"},
    {"E. Australia Standard Time", "Australia/Brisbane"},
    {"AUS Eastern Standard Time", "Australia/Sydney"},
    {"West Pacific Standard Time", "Pacific/Port_Moresby"},
    {"Tasmania Standard Time", "Australia/Hobart"},
    {"Vladivostok Standard Time", "Asia/Vladivostok"},
    {"Lord Howe Standard Time", "Australia/Lord_Howe"},
    {"Bougainville Standard Time", "Pacific/Bougainville"},
    {"Russia Time Zone 10", "Asia/Srednekolymsk"},
    {"Magadan Standard Time", "Asia/Magadan"},
    {"Norfolk Standard Time", "Pacific/Norfolk"},
    {"Sakhalin Standard Time", "Asia/Sakhalin"},
    {"Central Pacific Standard Time", "Pacific/Guadalcanal"},
    {"Russia Time Zone 11", "Asia/Kamchatka"},
    {"New Zealand Standard Time", "Pacific/Auckland"},
    {"Fiji Standard Time", "Pacific/Fiji"},
    {"Chatham Islands Standard Time", "Pacific/Chatham"},
    {"Tonga Standard Time", "Pacific/Tongatapu"},
    {"Samoa Standard Time", "Pacific/Apia"},
    {"Line Islands Standard Time", "Pacific/Kiritimati"},
};

// A name as compared: in lower case, with "_" for spaces.
std::string key_of(std::string_view name) {
    std::string key = lower_ascii(std::string(name));
    std::replace(key.begin(), key.end(), ' ', '_');
    return key;
}

// One or two digits, as a number.
std::optional<int> two_digits(std::string_view digits) {
    if (digits.empty() || digits.size() > 2 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    int value = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return value;
}

// A name read as the one offset it names, all year, with the note that says so: `hint` names
// what would follow daylight saving time, `also` the other offsets an abbreviation names.
ZoneName as_written(const std::string& given, std::int32_t minutes, std::string_view hint, std::string_view also) {
    ZoneName read{"", minutes, given};
    read.note.append(" is read as ").append(fixed_time_zone(static_cast<std::int64_t>(minutes) * 60).name);
    read.note.append(" all year, as written");
    if (!hint.empty()) read.note.append(" (").append(hint).append(" follows its daylight saving time)");
    if (!also.empty()) read.note.append("; ").append(given).append(" also names ").append(also);
    return read;
}

}  // namespace

const NamedZone* zone_of_word(std::string_view word) {
    for (const NamedZone& zone : zone_words) {
        if (zone.word == word) return &zone;
    }
    return nullptr;
}

std::optional<std::int32_t> utc_offset_minutes(std::string_view text) {
    if (text.size() < 5 || (text[3] != '+' && text[3] != '-')) return std::nullopt;
    const std::string prefix = lower_ascii(std::string(text.substr(0, 3)));
    if (prefix != "utc" && prefix != "gmt") return std::nullopt;
    // H, HH, H:MM, HH:MM, HMM or HHMM.
    const std::string_view rest = text.substr(4);
    std::string_view hours_text = rest;
    std::string_view minutes_text = "0";
    if (const std::size_t colon = rest.find(':'); colon != std::string_view::npos) {
        hours_text = rest.substr(0, colon);
        minutes_text = rest.substr(colon + 1);
        if (minutes_text.size() != 2) return std::nullopt;
    } else if (rest.size() > 2) {
        hours_text = rest.substr(0, rest.size() - 2);
        minutes_text = rest.substr(rest.size() - 2);
    }
    const std::optional<int> hours = two_digits(hours_text);
    const std::optional<int> minutes = two_digits(minutes_text);
    if (!hours || !minutes || *hours > 14 || *minutes >= 60) return std::nullopt;
    return (text[3] == '-' ? -1 : 1) * (*hours * 60 + *minutes);
}

std::optional<ZoneName> read_zone_name(const std::string& given) {
    const NamedZone* word = zone_of_word(lower_ascii(given));
    if (tz_database_file(given) != nullptr && (word == nullptr || !word->zone.empty())) return ZoneName{given, 0, {}};
    if (word != nullptr && word->zone.empty())
        return as_written(given, word->fixed_offset_minutes, word->daylight_zone, word->also);
    if (word != nullptr) return ZoneName{std::string(word->zone), 0, {}};
    const std::string key = key_of(given);
    for (const TzFile& file : tz_database_files()) {
        if (key_of(file.name) == key) return ZoneName{std::string(file.name), 0, {}};
    }
    for (const WindowsZone& windows : windows_zones) {
        if (key_of(windows.id) == key) return ZoneName{std::string(windows.zone), 0, {}};
    }
    if (const std::optional<std::int32_t> minutes = utc_offset_minutes(given)) {
        // "UTC+01:00" says what it is; "UTC+1" and "GMT-5" are told as they are read.
        if (*minutes == 0 || given == fixed_time_zone(static_cast<std::int64_t>(*minutes) * 60).name)
            return ZoneName{"", *minutes, {}};
        return as_written(given, *minutes, "a zone's name, such as Europe/Berlin,", {});
    }
    return std::nullopt;
}

std::vector<std::string> nearest_zone_names(const std::string& given) {
    const std::string key = key_of(given);
    std::vector<std::pair<std::size_t, std::string>> near;
    const auto consider = [&](std::string_view name) {
        const std::string candidate = key_of(name);
        const std::size_t slash = candidate.rfind('/');
        std::size_t distance = edit_distance(key, candidate);
        if (slash != std::string::npos) distance = std::min(distance, edit_distance(key, candidate.substr(slash + 1)));
        if (distance <= std::min<std::size_t>(2, std::max<std::size_t>(1, key.size() / 3)))
            near.emplace_back(distance, std::string(name));
    };
    for (const TzFile& file : tz_database_files()) consider(file.name);
    for (const WindowsZone& windows : windows_zones) consider(windows.id);
    std::sort(near.begin(), near.end());
    std::vector<std::string> names;
    for (std::size_t i = 0; i < near.size() && i < 3; ++i) names.push_back(near[i].second);
    return names;
}

}  // namespace kmi::emu
