#include "kmi_host/bar_files/layout.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "kmi_host/bar_files/known_shapes.h"
#include "kmi_host/bar_files/lean_files.h"
#include "kmi_host/bar_files/number_marks.h"
#include "kmi_host/bar_files/reading_plan.h"
#include "kmi_host/bar_files/time_columns.h"
#include "kmi_host/bar_files/time_forms.h"
#include "kmi_host/bar_files/time_zone.h"
#include "kmi_host/text/input_error.h"

namespace kmi::emu {
namespace {

[[noreturn]] void fail(const std::string& file, std::uint64_t line, const std::string& message) {
    throw InputError(file + ":" + std::to_string(line) + ": " + message);
}

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

// --- Layouts from names -----------------------------------------------------------------------

std::string quoted_list(const std::vector<std::string>& names, std::size_t most = 12) {
    std::string out;
    for (std::size_t i = 0; i < names.size() && i < most; ++i) out += (i == 0 ? "\"" : ", \"") + names[i] + "\"";
    if (names.size() > most) out += ", ...";
    return out;
}

// Roles by name: of the columns of one role, the lowest rank wins; `conflict` is called with the
// first and the second column of one role at the winning rank.
template <typename Conflict>
void assign_roles(Layout& layout, Conflict conflict) {
    std::array<int, 16> best{};
    best.fill(1000);
    std::vector<std::optional<RoleName>> roles;
    for (const std::string& name : layout.names) {
        roles.push_back(role_of(name));
        if (roles.back()) {
            int& rank = best[static_cast<std::size_t>(roles.back()->role)];
            rank = std::min(rank, roles.back()->rank);
        }
    }
    for (std::size_t i = 0; i < roles.size(); ++i) {
        if (!roles[i]) continue;
        const RoleName& named = *roles[i];
        int& column = layout.*column_of(named.role);
        if (named.rank > best[static_cast<std::size_t>(named.role)]) {
            if (named.role == Role::instrument) layout.other_instruments.push_back(static_cast<int>(i));
            continue;
        }
        if (column >= 0) conflict(static_cast<std::size_t>(column), i);
        column = static_cast<int>(i);
    }
    find_time_column(layout);
}

bool is_number(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double value = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec == std::errc() && result.ptr == text.data() + text.size()) return true;
    // Marks other than one decimal point: "623,38", "1,234.5", "1.234,5".
    const MarkClue clue = mark_clue(!text.empty() && text.front() == '-' ? text.substr(1) : text);
    if (clue == MarkClue::none || clue == MarkClue::invalid) return false;
    return read_marked(text, provisional_mark(clue, ';'), value);
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

bool is_lean_time(std::string_view field) {
    return field.size() == 14 && field[8] == ' ' && field[11] == ':' && is_whole_number(field.substr(0, 8)) &&
           is_whole_number(field.substr(9, 2)) && is_whole_number(field.substr(12));
}

bool is_compact_time(std::string_view field) {
    return field.size() == 15 && field[8] == ' ' && is_whole_number(field.substr(0, 8)) &&
           is_whole_number(field.substr(9));
}

}  // namespace

std::size_t fields_without_trailing_empty(const std::vector<std::string_view>& fields) {
    return fields.size() > 1 && fields.back().empty() ? fields.size() - 1 : fields.size();
}

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

namespace {

// The --columns that read the layout as it was taken, leaving out the column `left_out`.
std::string columns_example(const Layout& layout, std::size_t left_out) {
    std::string out;
    for (std::size_t i = 0; i < layout.field_count; ++i) {
        const int column = static_cast<int>(i);
        std::string word = "skip";
        const auto role = role_of(layout.names[i]);
        if (column == layout.time) {
            word = layout.time_of_day >= 0 ? "date" : "datetime";
        } else if (column == layout.time_of_day) {
            word = "time";
        } else if (i != left_out && role && role->role == Role::instrument) {
            word = "symbol";
        } else if (i != left_out && role && role->role >= Role::open && role->role <= Role::volume) {
            word = role_text(role->role);
        } else if (i != left_out && role && (role->role == Role::bid_volume || role->role == Role::ask_volume)) {
            word = role->role == Role::bid_volume ? "bid_volume" : "ask_volume";
        }
        out += (i == 0 ? "" : ",") + word;
    }
    return out;
}

}  // namespace

Layout layout_of_header(const std::vector<std::string_view>& header, char separator, const std::string& file,
                        std::uint64_t line) {
    Layout layout;
    layout.separator = separator;
    layout.header_line = line;
    layout.field_count = fields_without_trailing_empty(header);
    for (std::size_t i = 0; i < layout.field_count; ++i) {
        std::string_view written = header[i];
        while (!written.empty() && (written.front() == ' ' || written.front() == '\t')) written.remove_prefix(1);
        while (!written.empty() && (written.back() == ' ' || written.back() == '\t')) written.remove_suffix(1);
        layout.written.emplace_back(written);
        std::string base;
        layout.name_zones.push_back(bracket_zone(written, base, file, line));
        layout.names.push_back(canonical_name(layout.name_zones.back() ? std::string_view(base) : written));
    }
    std::optional<std::pair<std::size_t, std::size_t>> conflict;
    assign_roles(layout, [&](std::size_t first, std::size_t second) {
        if (layout.names[first] == layout.names[second]) {
            fail(file, line, "more than one column for \"" + layout.names[second] + "\"");
        }
        if (!conflict) conflict = {first, second};
    });
    if (conflict) {
        fail(file, line,
             "two columns may be read as one: \"" + layout.written[conflict->first] + "\" and \"" +
                 layout.written[conflict->second] +
                 "\": name the one to read with --columns, its other columns skip (for example --columns " +
                 columns_example(layout, conflict->second) + ")");
    }
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
        const bool known =
            canonical == "skip" || time_name(canonical).kind != TimeKind::none || is_role_name(canonical);
        if (!known) {
            throw InputError("--columns: \"" + name + "\" is no column name kmi-host knows (" +
                             std::string(column_name_help) + ")");
        }
        layout.names.push_back(canonical == "skip" ? std::string() : canonical);
        layout.written.push_back(name);
    }
    assign_roles(layout, [&layout](std::size_t, std::size_t second) {
        throw InputError("--columns: more than one column for \"" + layout.names[second] + "\"");
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
        if (shape.time_shape == TimeShape::compact && !is_compact_time(fields[0])) continue;
        if (shape.time_shape == TimeShape::lean && !is_lean_time(fields[0])) continue;
        bool numbers = true;
        for (std::size_t i = first; i < count; ++i) numbers = numbers && is_number(fields[i]);
        if (!numbers) continue;
        Layout layout = layout_of_names(names, separator);
        layout.named_by_option = false;
        layout.headerless = true;
        for (std::size_t i = 0; i < layout.written.size(); ++i) layout.written[i] = "column " + std::to_string(i + 1);
        take_shape(layout, shape);
        if (shape.time_shape == TimeShape::lean) take_lean_folder(layout, file);
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
        layout.column_zone.reset();
        if (time.zone != nullptr) layout.column_zone = column_zone_of(*time.zone, time.zone->word);
        if (!layout.names.empty()) layout.names[0] = first;
        if (!layout.written.empty()) layout.written[0] = std::string(fields[0]);
        return true;
    }
    return (first == "ticker" || first == "symbol") && others_alike && fields.size() > 1;
}

bool widen_for_date_and_time(Layout& layout, const std::vector<std::string_view>& fields) {
    const int time = layout.time;
    if (layout.header_line == 0 || time < 0 || layout.time_of_day >= 0 || layout.time_is_end ||
        fields_without_trailing_empty(fields) != layout.field_count + 1 ||
        !is_date_and_time(fields[static_cast<std::size_t>(time)], fields[static_cast<std::size_t>(time) + 1])) {
        return false;
    }
    for (int Layout::*column : every_column) {
        if (layout.*column > time) ++(layout.*column);
    }
    for (int& other : layout.other_instruments) other += other > time ? 1 : 0;
    const auto at = static_cast<std::ptrdiff_t>(time) + 1;
    layout.names.insert(layout.names.begin() + at, "time");
    layout.written.insert(layout.written.begin() + at,
                          "(its time of day, under \"" + layout.written[static_cast<std::size_t>(time)] + "\")");
    if (layout.name_zones.size() > static_cast<std::size_t>(time))
        layout.name_zones.insert(layout.name_zones.begin() + at, std::nullopt);
    layout.time_of_day = time + 1;
    ++layout.field_count;
    return true;
}

bool holds_no_number(const std::vector<std::string_view>& fields) {
    return std::none_of(fields.begin(), fields.end(), [](std::string_view field) { return is_number(field); });
}

bool repeats_header(const Layout& layout, const std::vector<std::string_view>& fields) {
    if (layout.header_line == 0 || fields_without_trailing_empty(fields) != layout.written.size()) return false;
    for (std::size_t i = 0; i < layout.written.size(); ++i) {
        if (canonical_name(fields[i]) != canonical_name(layout.written[i])) return false;
    }
    return true;
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

// Why a column that takes no role is not read.
std::string why_not_read(const Layout& layout, const std::string& name) {
    if (name.empty() && layout.named_by_option) return "skipped (--columns)";
    const TimeName time = time_name(name);
    const std::string start = layout.time >= 0 ? layout.written[static_cast<std::size_t>(layout.time)] : "";
    if (time.kind == TimeKind::end_time) return "the bar's end: its start is read from \"" + start + "\"";
    if (time.kind != TimeKind::none) return "the time is read from \"" + start + "\"";
    const std::vector<std::string_view> words = words_of(name);
    if (std::find(words.begin(), words.end(), "volume") != words.end()) return "one side's volume, not the bar's";
    return "no column kmi-host reads is named so";
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
        } else if (const std::optional<RoleName> role = role_of(name)) {
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
        } else {
            column.why_not = why_not_read(layout, name);
        }
        columns.push_back(std::move(column));
    }
    return columns;
}

}  // namespace kmi::emu
