#include "kmi_host/bar_files/time_columns.h"

#include <algorithm>

#include "kmi_host/bar_files/time_zone.h"
#include "kmi_host/text/input_error.h"

namespace kmi::emu {
namespace {

[[noreturn]] void fail(const std::string& file, std::uint64_t line, const std::string& message) {
    throw InputError(file + ":" + std::to_string(line) + ": " + message);
}

bool is_end_word(std::string_view word) {
    return word == "end" || word == "close" || word == "closing" || word == "stop";
}

std::string offset_text(std::int32_t minutes) { return fixed_time_zone(static_cast<std::int64_t>(minutes) * 60).name; }

// The column's zone: the one its name gives in brackets, else a word of its name.
std::optional<ColumnZone> zone_of_column(const Layout& layout, int column) {
    if (column < 0) return std::nullopt;
    const auto index = static_cast<std::size_t>(column);
    if (index < layout.name_zones.size() && layout.name_zones[index]) return layout.name_zones[index];
    const TimeName named = time_name(layout.names[index]);
    if (named.zone == nullptr) return std::nullopt;
    return column_zone_of(*named.zone, named.zone->word);
}

}  // namespace

std::vector<std::string_view> words_of(std::string_view name) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at <= name.size()) {
        const std::size_t end = std::min(name.find('_', at), name.size());
        if (end > at) words.push_back(name.substr(at, end - at));
        at = end + 1;
    }
    return words;
}

TimeName time_name(std::string_view name) {
    std::vector<std::string_view> words = words_of(name);
    if (words.empty()) return {};
    TimeName out;
    if (words.size() >= 2 && zone_of_word(words.back()) != nullptr) {
        out.zone = zone_of_word(words.back());
        words.pop_back();
    } else if (words.size() >= 2 && zone_of_word(words.front()) != nullptr) {
        out.zone = zone_of_word(words.front());
        words.erase(words.begin());
    } else if (words.size() == 1) {
        if (words[0] == "utc" || words[0] == "gmt") return {TimeKind::date_time, zone_of_word(words[0])};
        // A zone joined to its time word: "DateTimeUTC", "TimestampET".
        for (const std::string_view base : {"datetime", "timestamp", "time", "date"}) {
            if (name.size() > base.size() && name.substr(0, base.size()) == base &&
                zone_of_word(name.substr(base.size())) != nullptr && name.substr(base.size()) != "z") {
                out.zone = zone_of_word(name.substr(base.size()));
                words = {base};
                break;
            }
        }
        // A bar's end joined to its time word: "EndTime", "CloseTime".
        for (const std::string_view end : {"end", "close"}) {
            if (name.size() > end.size() && name.substr(0, end.size()) == end &&
                (name.substr(end.size()) == "time" || name.substr(end.size()) == "timestamp")) {
                words = {end, "time"};
            }
        }
    }
    const std::string_view first = words.front();
    const std::string_view last = words.back();
    const bool time_word = last == "time" || last == "timestamp" || last == "datetime" || last == "ts";
    if (words.size() >= 2 && time_word && std::any_of(words.begin(), words.end() - 1, is_end_word)) {
        out.kind = TimeKind::end_time;
    } else if (first.rfind("timestamp", 0) == 0 || first.rfind("datetime", 0) == 0 || first == "ts" ||
               first == "unix" || first == "epoch" || (words.size() == 2 && first == "date" && words[1] == "time")) {
        out.kind = TimeKind::date_time;
    } else if (words.size() == 1 && first == "date") {
        out.kind = TimeKind::date;
    } else if (last == "time") {
        out.kind = TimeKind::time_of_day;
    }
    return out;
}

ColumnZone column_zone_of(const NamedZone& named, std::string_view written) {
    ColumnZone zone{std::string(written), std::string(named.zone), named.fixed_offset_minutes, {}};
    if (!named.zone.empty()) return zone;
    const std::string offset = offset_text(named.fixed_offset_minutes);
    zone.note = "the time column's name says " + zone.word + ": read as " + offset + " all year, as written";
    if (!named.daylight_zone.empty()) {
        zone.note += " (--data-time-zone " + std::string(named.daylight_zone) +
                     " reads them with that zone's daylight saving time)";
    }
    if (!named.also.empty()) zone.note += "; " + zone.word + " also names " + std::string(named.also);
    return zone;
}

void find_time_column(Layout& layout) {
    const auto first_of = [&layout](TimeKind kind) {
        for (std::size_t i = 0; i < layout.names.size(); ++i) {
            if (time_name(layout.names[i]).kind == kind) return static_cast<int>(i);
        }
        return -1;
    };
    const int date_time = first_of(TimeKind::date_time);
    const int date = first_of(TimeKind::date);
    const int time_of_day = first_of(TimeKind::time_of_day);
    const int end_time = first_of(TimeKind::end_time);
    if (date_time >= 0) {
        layout.time = date_time;
    } else if (date >= 0 && (time_of_day >= 0 || end_time < 0)) {
        layout.time = date;
        layout.time_of_day = time_of_day;
    } else if (time_of_day >= 0) {
        layout.time = time_of_day;
    } else if (date >= 0) {
        layout.time = date;
        layout.time_of_day = end_time;
        layout.time_is_end = true;
    } else {
        layout.time = end_time;
        layout.time_is_end = end_time >= 0;
    }
    if (layout.time < 0) return;
    layout.column_zone = zone_of_column(layout, layout.time);
    if (!layout.column_zone) layout.column_zone = zone_of_column(layout, layout.time_of_day);
}

std::optional<ColumnZone> bracket_zone(std::string_view written, std::string& base, const std::string& file,
                                       std::uint64_t line) {
    const std::size_t open = written.find_first_of("([");
    const std::size_t close = open == std::string_view::npos ? open : written.find_first_of(")]", open);
    if (close == std::string_view::npos) return std::nullopt;
    std::string_view inner = written.substr(open + 1, close - open - 1);
    while (!inner.empty() && inner.front() == ' ') inner.remove_prefix(1);
    while (!inner.empty() && inner.back() == ' ') inner.remove_suffix(1);
    base = std::string(written.substr(0, open)) + std::string(written.substr(close + 1));
    if (time_name(canonical_name(base)).kind == TimeKind::none || inner.empty()) return std::nullopt;
    const std::string said = "the time column's name \"" + std::string(written) + "\" ";
    if (inner.find('/') != std::string_view::npos) {
        try {
            return ColumnZone{std::string(inner), load_time_zone(std::string(inner)).name, 0, {}};
        } catch (const InputError&) {
            fail(file, line,
                 said + "gives the zone \"" + std::string(inner) +
                     "\", which is no name of the tz database: give the file's zone with --data-time-zone");
        }
    }
    std::string lower = canonical_name(inner);
    if (const NamedZone* named = zone_of_word(lower)) return column_zone_of(*named, inner);
    // UTC+1, GMT-5, UTC+05:30.
    if (const std::optional<std::int32_t> offset = utc_offset_minutes(inner)) {
        ColumnZone zone{std::string(inner), *offset == 0 ? "UTC" : "", *offset, {}};
        if (*offset != 0) {
            zone.note = "the time column's name says " + zone.word + ": read as " + offset_text(*offset) +
                        " all year, as written (a zone's name, such as --data-time-zone Europe/Berlin, reads them "
                        "with its daylight saving time)";
        }
        return zone;
    }
    const bool zone_like = inner.size() >= 2 && inner.size() <= 5 &&
                           std::all_of(inner.begin(), inner.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
    if (zone_like || lower.rfind("utc", 0) == 0 || lower.rfind("gmt", 0) == 0) {
        fail(file, line,
             said + "gives the zone \"" + std::string(inner) +
                 "\", which kmi-host does not know: give the file's zone with --data-time-zone (a name of "
                 "the tz database, such as America/New_York or Europe/Berlin)");
    }
    return std::nullopt;
}

}  // namespace kmi::emu
