#include "kmi_host/bar_files/layout.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "kmi_host/bar_files/known_shapes.h"
#include "kmi_host/bar_files/reading_plan.h"
#include "kmi_host/bar_files/time_forms.h"
#include "kmi_host/text/input_error.h"

namespace kmi::emu {
namespace {

[[noreturn]] void fail(const std::string& file, std::uint64_t line, const std::string& message) {
    throw InputError(file + ":" + std::to_string(line) + ": " + message);
}

// --- Names ------------------------------------------------------------------------------------

enum class Role : std::uint8_t {
    none,
    open,
    high,
    low,
    close,
    volume,
    tick_volume,
    up_volume,
    down_volume,
    bid_volume,
    ask_volume,
    instrument
};

// The names of each role. When two columns name one role, the lower rank wins ("Close" over
// "Price", "symbol" over "instrument_id"); two of one rank are an error.
struct RoleName {
    std::string_view name;
    Role role;
    int rank;
};
constexpr RoleName role_names[] = {
    {"open", Role::open, 0},
    {"open_price", Role::open, 1},
    {"high", Role::high, 0},
    {"high_price", Role::high, 1},
    {"low", Role::low, 0},
    {"low_price", Role::low, 1},
    {"close", Role::close, 0},
    {"close_price", Role::close, 1},
    {"last", Role::close, 2},
    {"last_price", Role::close, 3},
    {"price", Role::close, 4},
    {"volume", Role::volume, 0},
    {"vol", Role::volume, 1},
    {"total_volume", Role::volume, 2},
    {"totalvolume", Role::volume, 2},
    {"tickvol", Role::tick_volume, 0},
    {"tick_volume", Role::tick_volume, 0},
    {"tickvolume", Role::tick_volume, 0},
    {"up", Role::up_volume, 0},
    {"up_volume", Role::up_volume, 1},
    {"upvolume", Role::up_volume, 1},
    {"down", Role::down_volume, 0},
    {"down_volume", Role::down_volume, 1},
    {"downvolume", Role::down_volume, 1},
    {"bid_volume", Role::bid_volume, 0},
    {"bidvolume", Role::bid_volume, 0},
    {"sell_volume", Role::bid_volume, 1},
    {"ask_volume", Role::ask_volume, 0},
    {"askvolume", Role::ask_volume, 0},
    {"buy_volume", Role::ask_volume, 1},
    {"symbol", Role::instrument, 0},
    {"ticker", Role::instrument, 1},
    {"contract", Role::instrument, 2},
    {"instrument", Role::instrument, 3},
    {"instrument_id", Role::instrument, 4},
};

int Layout::*column_of(Role role) {
    switch (role) {
        case Role::open: return &Layout::open;
        case Role::high: return &Layout::high;
        case Role::low: return &Layout::low;
        case Role::close: return &Layout::close;
        case Role::volume: return &Layout::volume;
        case Role::tick_volume: return &Layout::tick_volume;
        case Role::up_volume: return &Layout::up_volume;
        case Role::down_volume: return &Layout::down_volume;
        case Role::bid_volume: return &Layout::bid_volume;
        case Role::ask_volume: return &Layout::ask_volume;
        case Role::instrument: return &Layout::instrument;
        case Role::none: break;
    }
    return nullptr;
}

constexpr std::array<int Layout::*, 13> every_column = {
    &Layout::time,       &Layout::time_of_day, &Layout::open,        &Layout::high,      &Layout::low,
    &Layout::close,      &Layout::volume,      &Layout::tick_volume, &Layout::up_volume, &Layout::down_volume,
    &Layout::bid_volume, &Layout::ask_volume,  &Layout::instrument};

// --- Time columns -----------------------------------------------------------------------------

enum class TimeKind : std::uint8_t { none, date_time, date, time_of_day };

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

struct TimeName {
    TimeKind kind = TimeKind::none;
    std::string_view zone;
};

TimeName time_name(std::string_view name) {
    std::vector<std::string_view> words = words_of(name);
    if (words.empty()) return {};
    TimeName out;
    if (words.size() >= 2 && !zone_of_word(words.back()).empty()) {
        out.zone = zone_of_word(words.back());
        words.pop_back();
    } else if (words.size() >= 2 && !zone_of_word(words.front()).empty()) {
        out.zone = zone_of_word(words.front());
        words.erase(words.begin());
    } else if (words.size() == 1) {
        if (words[0] == "utc" || words[0] == "gmt") return {TimeKind::date_time, "UTC"};
        // A zone joined to its time word: "DateTimeUTC", "TimestampET".
        for (const std::string_view base : {"datetime", "timestamp", "time", "date"}) {
            if (name.size() > base.size() && name.substr(0, base.size()) == base &&
                !zone_of_word(name.substr(base.size())).empty() && name.substr(base.size()) != "z") {
                out.zone = zone_of_word(name.substr(base.size()));
                words = {base};
                break;
            }
        }
    }
    const std::string_view first = words.front();
    if (first.rfind("timestamp", 0) == 0 || first.rfind("datetime", 0) == 0 || first == "ts" || first == "unix" ||
        first == "epoch" || (words.size() == 2 && first == "date" && words[1] == "time")) {
        out.kind = TimeKind::date_time;
    } else if (words.size() == 1 && first == "date") {
        out.kind = TimeKind::date;
    } else if (words.back() == "time") {
        out.kind = TimeKind::time_of_day;
    }
    return out;
}

// The time column: a date-time column (the first from the left), else a date column with
// a time column, else a date column or a time column alone (holding whole date-times).
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
    if (date_time >= 0) {
        layout.time = date_time;
    } else if (date >= 0) {
        layout.time = date;
        layout.time_of_day = time_of_day;
    } else {
        layout.time = time_of_day;
    }
    if (layout.time < 0) return;
    layout.column_zone = std::string(time_name(layout.names[static_cast<std::size_t>(layout.time)]).zone);
    if (layout.column_zone.empty() && layout.time_of_day >= 0) {
        layout.column_zone = std::string(time_name(layout.names[static_cast<std::size_t>(layout.time_of_day)]).zone);
    }
}

// --- Layouts from names -----------------------------------------------------------------------

std::string quoted_list(const std::vector<std::string>& names, std::size_t most = 12) {
    std::string out;
    for (std::size_t i = 0; i < names.size() && i < most; ++i) out += (i == 0 ? "\"" : ", \"") + names[i] + "\"";
    if (names.size() > most) out += ", ...";
    return out;
}

// Roles by name; `conflict` is called with the name of a second column of one role and rank.
template <typename Conflict>
void assign_roles(Layout& layout, Conflict conflict) {
    std::array<int, 16> ranks{};
    ranks.fill(1000);
    for (std::size_t i = 0; i < layout.names.size(); ++i) {
        const auto named = std::find_if(std::begin(role_names), std::end(role_names),
                                        [&](const RoleName& role) { return role.name == layout.names[i]; });
        if (named == std::end(role_names)) continue;
        int& rank = ranks[static_cast<std::size_t>(named->role)];
        int& column = layout.*column_of(named->role);
        if (named->rank == rank) conflict(layout.names[i]);
        if (named->rank > rank) {
            if (named->role == Role::instrument) layout.other_instruments.push_back(static_cast<int>(i));
            continue;
        }
        if (named->role == Role::instrument && column >= 0) layout.other_instruments.push_back(column);
        column = static_cast<int>(i);
        rank = named->rank;
    }
    find_time_column(layout);
}

bool is_number(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double value = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec == std::errc() && result.ptr == text.data() + text.size()) return true;
    // A decimal comma: "623,38".
    const std::size_t comma = text.find(',');
    if (comma == std::string_view::npos || text.find(',', comma + 1) != std::string_view::npos) return false;
    std::string copy(text);
    copy[comma] = '.';
    const auto again = std::from_chars(copy.data(), copy.data() + copy.size(), value);
    return again.ec == std::errc() && again.ptr == copy.data() + copy.size();
}

std::size_t fields_without_trailing_empty(const std::vector<std::string_view>& fields) {
    return fields.size() > 1 && fields.back().empty() ? fields.size() - 1 : fields.size();
}

// A date-time in one field that is plainly a time: a whole number is one only with enough
// digits for a Unix time since 1973, or as a compact date.
bool is_date_time_field(std::string_view field) {
    for (const DateOrder order : {DateOrder::month_first, DateOrder::day_first}) {
        const auto time = parse_bar_time(field, order);
        if (!time) continue;
        if (!is_whole_number(field)) return true;
        return field.size() >= 9 || !time->instant;
    }
    return false;
}

bool is_date_and_time(std::string_view date, std::string_view time) {
    return parse_bar_date_and_time(date, time, DateOrder::month_first).has_value() ||
           parse_bar_date_and_time(date, time, DateOrder::day_first).has_value();
}

// How many leading fields hold the time of a data line (1 or 2), or 0.
std::size_t time_fields(const std::vector<std::string_view>& fields) {
    if (fields.size() >= 2 && is_date_and_time(fields[0], fields[1])) return 2;
    if (!fields.empty() && is_date_time_field(fields[0])) return 1;
    return 0;
}

bool is_compact_time(std::string_view field) {
    return field.size() == 15 && field[8] == ' ' && is_whole_number(field.substr(0, 8)) &&
           is_whole_number(field.substr(9));
}

}  // namespace

std::vector<std::string> split_names(std::string_view list) {
    std::vector<std::string> names;
    std::size_t at = 0;
    while (at <= list.size()) {
        const std::size_t end = std::min(list.find(',', at), list.size());
        names.emplace_back(list.substr(at, end - at));
        at = end + 1;
    }
    return names;
}

std::string canonical_name(std::string_view name) {
    while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.remove_prefix(1);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
    if (name.size() >= 2 && name.front() == '<' && name.back() == '>') name = name.substr(1, name.size() - 2);
    std::string out;
    bool gap = false;
    for (const char c : name) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                            static_cast<unsigned char>(c) >= 0x80;
        if (!letter) {
            gap = !out.empty();
            continue;
        }
        if (gap) out += '_';
        gap = false;
        out += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return out;
}

Layout layout_of_header(const std::vector<std::string_view>& header, char separator, const std::string& file,
                        std::uint64_t line) {
    Layout layout;
    layout.separator = separator;
    layout.header_line = line;
    layout.field_count = fields_without_trailing_empty(header);
    for (std::size_t i = 0; i < layout.field_count; ++i) {
        layout.names.push_back(canonical_name(header[i]));
        std::string_view written = header[i];
        while (!written.empty() && (written.front() == ' ' || written.front() == '\t')) written.remove_prefix(1);
        while (!written.empty() && (written.back() == ' ' || written.back() == '\t')) written.remove_suffix(1);
        layout.written.emplace_back(written);
    }
    assign_roles(layout,
                 [&](const std::string& name) { fail(file, line, "more than one column for \"" + name + "\""); });
    if (layout.instrument >= 0) {
        std::string_view written = header[static_cast<std::size_t>(layout.instrument)];
        while (!written.empty() && written.front() == ' ') written.remove_prefix(1);
        layout.instrument_name = std::string(written);
    }
    match_named_shape(layout);
    return layout;
}

Layout layout_of_names(const std::vector<std::string>& names, char separator) {
    Layout layout;
    layout.separator = separator;
    layout.field_count = names.size();
    layout.named_by_option = true;
    for (const std::string& name : names) {
        const std::string canonical = canonical_name(name);
        const bool known = canonical == "skip" || time_name(canonical).kind != TimeKind::none ||
                           std::any_of(std::begin(role_names), std::end(role_names),
                                       [&](const RoleName& role) { return role.name == canonical; });
        if (!known) {
            throw InputError("--columns: \"" + name + "\" is no column name kmi-host knows (" +
                             std::string(column_name_help) + ")");
        }
        layout.names.push_back(canonical == "skip" ? std::string() : canonical);
        layout.written.push_back(name);
    }
    assign_roles(layout, [](const std::string& name) {
        throw InputError("--columns: more than one column for \"" + name + "\"");
    });
    if (layout.instrument >= 0) layout.instrument_name = layout.names[static_cast<std::size_t>(layout.instrument)];
    return layout;
}

bool looks_like_data(const std::vector<std::string_view>& fields) {
    const std::size_t count = fields_without_trailing_empty(fields);
    const std::size_t first = time_fields(fields);
    if (first == 0 || first >= count) return false;
    for (std::size_t i = first; i < count; ++i) {
        if (!fields[i].empty() && !is_number(fields[i])) return false;
    }
    return true;
}

bool holds_time(const Layout& layout, const std::vector<std::string_view>& fields) {
    const auto field = [&fields](int column) {
        return column >= 0 && static_cast<std::size_t>(column) < fields.size()
                   ? fields[static_cast<std::size_t>(column)]
                   : std::string_view();
    };
    if (layout.time < 0) return false;
    if (layout.time_of_day >= 0) return is_date_and_time(field(layout.time), field(layout.time_of_day));
    return is_date_time_field(field(layout.time));
}

Layout layout_by_position(const std::vector<std::string_view>& fields, std::string_view line, char separator,
                          const std::string& file, std::uint64_t line_number) {
    const std::size_t count = fields_without_trailing_empty(fields);
    const std::size_t first = time_fields(fields);
    for (const KnownShape& shape : known_shapes()) {
        if (!shape.headerless) continue;
        const std::vector<std::string> names = split_names(shape.names);
        const std::size_t shape_time_fields = names[0] == "date" ? 2 : 1;
        if (names.size() != count || shape_time_fields != first) continue;
        if (shape.separator != 0 && shape.separator != separator) continue;
        if (shape.compact_time && !is_compact_time(fields[0])) continue;
        bool numbers = true;
        for (std::size_t i = first; i < count; ++i) numbers = numbers && is_number(fields[i]);
        if (!numbers) continue;
        Layout layout = layout_of_names(names, separator);
        layout.named_by_option = false;
        layout.headerless = true;
        for (std::size_t i = 0; i < layout.written.size(); ++i) layout.written[i] = "column " + std::to_string(i + 1);
        take_shape(layout, shape);
        return layout;
    }
    std::string shown(line.substr(0, 120));
    if (line.size() > 120) shown += "...";
    fail(file, line_number,
         "the first line looks like data, not a header: \"" + shown +
             "\": name the file's columns in order with --columns NAME,NAME,... (" + std::string(column_name_help) +
             "), for example --columns date,time,open,high,low,close,volume");
}

bool absorb_header_row(Layout& layout, const std::vector<std::string_view>& fields) {
    if (layout.header_line == 0 || fields.empty() || looks_like_data(fields)) return false;
    const std::string first = canonical_name(fields[0]);
    bool others_empty = true;
    bool others_alike = true;
    for (std::size_t i = 1; i < fields.size(); ++i) {
        others_empty = others_empty && fields[i].empty();
        others_alike = others_alike && fields[i] == fields[1];
    }
    const TimeName time = time_name(first);
    if (time.kind != TimeKind::none && others_empty) {
        // "Datetime,,,": the first column holds the times, whatever the first header row said.
        for (int Layout::*column : every_column) {
            if (layout.*column == 0) layout.*column = -1;
        }
        layout.time = 0;
        layout.time_of_day = -1;
        layout.column_zone = std::string(time.zone);
        if (!layout.names.empty()) layout.names[0] = first;
        if (!layout.written.empty()) layout.written[0] = std::string(fields[0]);
        return true;
    }
    return (first == "ticker" || first == "symbol") && others_alike && fields.size() > 1;
}

void check_layout(const Layout& layout, const std::string& file) {
    const std::uint64_t line = layout.header_line == 0 ? 1 : layout.header_line;
    const std::string what = layout.named_by_option ? "--columns names " : "the header has ";
    if (layout.time < 0) {
        fail(file, line,
             "no date-time column: " + what + quoted_list(layout.names) +
                 "; a time column is named timestamp..., datetime..., \"date\" and \"time\", \"time\", ts_event, "
                 "unix or epoch (in any case, with or without <...>), or name the columns with --columns");
    }
    if (layout.close < 0) {
        fail(file, line, "no \"close\", \"last\" or \"price\" column: " + what + quoted_list(layout.names));
    }
}

namespace {

const char* role_text(Role role) {
    switch (role) {
        case Role::open: return "open";
        case Role::high: return "high";
        case Role::low: return "low";
        case Role::close: return "close";
        case Role::volume: return "volume";
        case Role::tick_volume: return "tick volume (the volume, when the volume column is 0 throughout)";
        case Role::up_volume: return "up volume (added to the volume)";
        case Role::down_volume: return "down volume (added to the volume)";
        case Role::bid_volume: return "bid volume";
        case Role::ask_volume: return "ask volume";
        case Role::instrument: return "instrument";
        case Role::none: break;
    }
    return "";
}

// The role a column of this name would take, and its written name where a column holds it.
const RoleName* role_of_name(const std::string& name) {
    const auto named = std::find_if(std::begin(role_names), std::end(role_names),
                                    [&](const RoleName& role) { return role.name == name; });
    return named == std::end(role_names) ? nullptr : named;
}

}  // namespace

std::vector<ColumnRead> layout_columns(const Layout& layout) {
    std::vector<ColumnRead> columns;
    for (std::size_t i = 0; i < layout.field_count; ++i) {
        ColumnRead column;
        column.name = i < layout.written.size() ? layout.written[i] : "column " + std::to_string(i + 1);
        const int index = static_cast<int>(i);
        const std::string& name = i < layout.names.size() ? layout.names[i] : std::string();
        if (index == layout.time) {
            column.read_as = layout.time_of_day >= 0 ? "date" : "time";
        } else if (index == layout.time_of_day) {
            column.read_as = "time of day";
        } else if (std::find(layout.other_instruments.begin(), layout.other_instruments.end(), index) !=
                   layout.other_instruments.end()) {
            column.read_as = "instrument, for a pick (FILE#VALUE)";
        } else if (const RoleName* role = role_of_name(name)) {
            const int held = layout.*column_of(role->role);
            const bool summed = role->role == Role::up_volume || role->role == Role::down_volume;
            if (held == index && summed && layout.volume >= 0) {
                column.why_not =
                    "the volume is read from \"" + layout.written[static_cast<std::size_t>(layout.volume)] + "\"";
            } else if (held == index) {
                column.read_as = role_text(role->role);
            } else {
                column.why_not = std::string("the ") + role_text(role->role) + " is read from \"" +
                                 layout.written[static_cast<std::size_t>(held)] + "\"";
            }
        } else if (name.empty() && layout.named_by_option) {
            column.why_not = "skipped (--columns)";
        } else if (time_name(name).kind != TimeKind::none) {
            column.why_not = "the time is read from another column";
        } else {
            column.why_not = "no column kmi-host reads is named so";
        }
        columns.push_back(std::move(column));
    }
    return columns;
}

}  // namespace kmi::emu
