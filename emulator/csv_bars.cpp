#include "emulator/csv_bars.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <deque>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <sstream>

#include "emulator/bar_time_text.h"
#include "emulator/date_time_text.h"
#include "emulator/input_error.h"
#include "emulator/time_zone.h"

namespace kmi::emu {
namespace {

[[noreturn]] void fail(const std::string& file, std::size_t line, const std::string& message) {
    throw InputError(file + ":" + std::to_string(line) + ": " + message);
}

std::string_view trimmed(std::string_view text, char separator) {
    const auto blank = [separator](char c) { return c == ' ' || (c == '\t' && separator != '\t'); };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

// --- Rows -----------------------------------------------------------------------------------

// The separator a header row uses: a comma, a semicolon or a tab, whichever it holds most of
// outside double quotes (a comma on a tie).
char separator_of(std::string_view header) {
    std::array<std::size_t, 3> counts{};
    bool quoted = false;
    for (const char c : header) {
        if (c == '"') quoted = !quoted;
        if (quoted) continue;
        if (c == ',') ++counts[0];
        if (c == ';') ++counts[1];
        if (c == '\t') ++counts[2];
    }
    if (counts[1] > counts[0] && counts[1] >= counts[2]) return ';';
    if (counts[2] > counts[0] && counts[2] > counts[1]) return '\t';
    return ',';
}

// Splits rows into fields without copying them; a field in double quotes may hold the
// separator and "" for a quote, and is kept in `quoted_` for the row.
class RowSplitter {
  public:
    explicit RowSplitter(char separator) : separator_(separator) {}

    // False for unbalanced quotes or text after a closing quote.
    bool split(std::string_view row) {
        fields_.clear();
        quoted_.clear();
        std::size_t at = 0;
        while (true) {
            std::size_t start = at;
            while (start < row.size() && (row[start] == ' ' || (row[start] == '\t' && separator_ != '\t'))) ++start;
            if (start < row.size() && row[start] == '"') {
                std::string& field = quoted_.emplace_back();
                std::size_t i = start + 1;
                while (true) {
                    if (i >= row.size()) return false;
                    if (row[i] == '"') {
                        if (i + 1 < row.size() && row[i + 1] == '"') {
                            field += '"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    field += row[i++];
                }
                while (i < row.size() && row[i] != separator_) {
                    if (row[i] != ' ' && row[i] != '\t') return false;
                    ++i;
                }
                fields_.emplace_back(field);
                if (i >= row.size()) return true;
                at = i + 1;
                continue;
            }
            const std::size_t end = row.find(separator_, at);
            fields_.push_back(trimmed(row.substr(at, end == std::string_view::npos ? end : end - at), separator_));
            if (end == std::string_view::npos) return true;
            at = end + 1;
        }
    }

    const std::vector<std::string_view>& fields() const { return fields_; }

  private:
    char separator_;
    std::vector<std::string_view> fields_;
    std::deque<std::string> quoted_;
};

// --- The header -------------------------------------------------------------------------------

// A column name as compared: without blanks and <...>, in lower case, its words joined by "_".
std::string canonical_name(std::string_view name) {
    name = trimmed(name, ',');
    if (name.size() >= 2 && name.front() == '<' && name.back() == '>') name = name.substr(1, name.size() - 2);
    std::string out;
    bool gap = false;
    for (const char c : name) {
        if (c == ' ' || c == '_' || c == '-' || c == '.' || c == '\t') {
            gap = !out.empty();
            continue;
        }
        if (gap) out += '_';
        gap = false;
        out += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return out;
}

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

enum class TimeColumn { none, date_time, date, time_of_day };

TimeColumn time_column_kind(const std::string& name) {
    const std::vector<std::string_view> words = words_of(name);
    if (words.empty()) return TimeColumn::none;
    const std::string_view first = words.front();
    if (name.rfind("timestamp", 0) == 0 || name.rfind("datetime", 0) == 0) return TimeColumn::date_time;
    if (first == "ts" || first == "unix" || first == "epoch" || first == "utc" || first == "gmt") {
        return TimeColumn::date_time;
    }
    if (first == "date") return words.size() > 1 && words[1] == "time" ? TimeColumn::date_time : TimeColumn::date;
    if (first == "time") return TimeColumn::time_of_day;
    return TimeColumn::none;
}

// The zone a time column's name carries, or empty.
std::string zone_in_name(const std::string& name) {
    for (const std::string_view word : words_of(name)) {
        if (word == "utc" || word == "gmt" || word == "z") return "UTC";
        if (word == "et" || word == "ny") return "America/New_York";
    }
    return "";
}

struct Columns {
    int time = -1;  // a date-time, or the date of a date and time pair
    int time_of_day = -1;
    std::string time_zone;  // the zone the time column's name carries
    int open = -1;
    int high = -1;
    int low = -1;
    int close = -1;
    int volume = -1;
    int bid_volume = -1;
    int ask_volume = -1;
    int instrument = -1;
    std::string instrument_name;
    std::size_t count = 0;  // fields of a row
};

std::string quoted_list(const std::vector<std::string>& names, std::size_t most = 12) {
    std::string out;
    for (std::size_t i = 0; i < names.size() && i < most; ++i) out += (i == 0 ? "\"" : ", \"") + names[i] + "\"";
    if (names.size() > most) out += ", ...";
    return out;
}

Columns find_columns(const std::vector<std::string_view>& header, const std::string& file, std::size_t line) {
    Columns columns;
    columns.count = header.size();
    // A separator at the end of the header names no column.
    if (columns.count > 1 && header.back().empty()) --columns.count;
    std::vector<std::string> names;
    for (std::size_t i = 0; i < columns.count; ++i) names.push_back(canonical_name(header[i]));

    const std::map<std::string, int Columns::*> roles = {{"open", &Columns::open},
                                                         {"high", &Columns::high},
                                                         {"low", &Columns::low},
                                                         {"close", &Columns::close},
                                                         {"last", &Columns::close},
                                                         {"price", &Columns::close},
                                                         {"volume", &Columns::volume},
                                                         {"vol", &Columns::volume},
                                                         {"bid_volume", &Columns::bid_volume},
                                                         {"bidvolume", &Columns::bid_volume},
                                                         {"sell_volume", &Columns::bid_volume},
                                                         {"ask_volume", &Columns::ask_volume},
                                                         {"askvolume", &Columns::ask_volume},
                                                         {"buy_volume", &Columns::ask_volume},
                                                         {"symbol", &Columns::instrument},
                                                         {"contract", &Columns::instrument},
                                                         {"instrument_id", &Columns::instrument},
                                                         {"ticker", &Columns::instrument}};
    for (std::size_t i = 0; i < names.size(); ++i) {
        const auto role = roles.find(names[i]);
        if (role == roles.end()) continue;
        int& column = columns.*(role->second);
        if (column >= 0) fail(file, line, "more than one column for \"" + names[i] + "\"");
        column = static_cast<int>(i);
    }
    if (columns.instrument >= 0) columns.instrument_name = std::string(trimmed(header[columns.instrument], ','));

    // The first time column from the left decides; a date or a time of day takes its partner.
    const auto first_of = [&names](TimeColumn kind) {
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (time_column_kind(names[i]) == kind) return static_cast<int>(i);
        }
        return -1;
    };
    for (std::size_t i = 0; i < names.size() && columns.time < 0; ++i) {
        const TimeColumn kind = time_column_kind(names[i]);
        if (kind == TimeColumn::none) continue;
        columns.time = static_cast<int>(i);
        if (kind == TimeColumn::date) columns.time_of_day = first_of(TimeColumn::time_of_day);
        if (kind == TimeColumn::time_of_day && first_of(TimeColumn::date) >= 0) {
            columns.time_of_day = columns.time;
            columns.time = first_of(TimeColumn::date);
        }
    }
    if (columns.time < 0) {
        fail(file, line,
             "no date-time column: the header has " + quoted_list(names) +
                 "; a time column is named timestamp..., datetime..., \"date\" and \"time\", \"time\", ts_event, "
                 "unix or epoch (in any case, with or without <...>)");
    }
    columns.time_zone = zone_in_name(names[static_cast<std::size_t>(columns.time)]);
    if (columns.time_zone.empty() && columns.time_of_day >= 0) {
        columns.time_zone = zone_in_name(names[static_cast<std::size_t>(columns.time_of_day)]);
    }
    if (columns.close < 0) {
        fail(file, line, "no \"close\", \"last\" or \"price\" column: the header has " + quoted_list(names));
    }
    return columns;
}

// --- Values -----------------------------------------------------------------------------------

float read_number(std::string_view text, bool optional, const char* name, const std::string& file, std::size_t line) {
    if (text.empty()) {
        if (optional) return 0.0f;
        fail(file, line, std::string("column \"") + name + "\" is empty");
    }
    const std::string_view written = text;
    if (text.front() == '+') text.remove_prefix(1);
    double value = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() || !std::isfinite(value) ||
        std::fabs(value) > static_cast<double>(std::numeric_limits<float>::max())) {
        fail(file, line, std::string("column \"") + name + "\": not a finite number: \"" + std::string(written) + "\"");
    }
    return static_cast<float>(value);
}

// One row as read, before its time is settled.
struct Row {
    std::size_t line = 0;
    BarTimeText time;
    Bar bar;
    HostDateTime instant = 0;
};

std::string time_text(const BarTimeText& time) { return format_date_time(time.value) + (time.instant ? " UTC" : ""); }

// The instants of the rows, in their order: a wall-clock time of `zone` that stands for two
// instants takes the first unless it is not after the row before, then the second.
void settle_instants(std::vector<Row>& rows, ZoneOffsets& zone) {
    std::optional<HostDateTime> previous;
    for (Row& row : rows) {
        if (row.time.instant) {
            row.instant = row.time.value;
        } else {
            const WallTimeInstants instants = instants_of(zone, row.time.value);
            row.instant = previous && instants.earlier <= *previous ? instants.later : instants.earlier;
        }
        previous = row.instant;
    }
}

}  // namespace

BarFile parse_csv_bars(std::string_view text, const std::string& file_name, const BarFileOptions& options) {
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    ZoneOffsets chart_zone{load_time_zone(options.chart_time_zone), {}};

    BarFile out;
    std::vector<Row> rows;
    std::optional<Columns> columns;
    std::optional<RowSplitter> splitter;
    std::vector<std::string> instruments;  // the instrument column's values, in order of appearance
    std::vector<std::size_t> instrument_rows;
    std::size_t line_number = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view row = text.substr(pos, end - pos);
        pos = end + 1;
        ++line_number;
        if (!row.empty() && row.back() == '\r') row.remove_suffix(1);
        if (trimmed(row, ',').empty()) continue;
        if (!splitter) splitter.emplace(separator_of(row));
        if (!splitter->split(row)) fail(file_name, line_number, "unbalanced double quotes");
        const std::vector<std::string_view>& fields = splitter->fields();
        if (!columns) {
            columns = find_columns(fields, file_name, line_number);
            if (!options.pick.empty() && columns->instrument < 0) {
                fail(file_name, line_number,
                     "no symbol, contract, instrument_id or ticker column to pick \"" + options.pick + "\" from");
            }
            continue;
        }
        // Room for the rows, told by the length of the first (and an eighth more).
        if (rows.empty()) {
            const std::size_t rest = pos < text.size() ? text.size() - pos : 0;
            rows.reserve(rest / (row.size() + 1) * 9 / 8 + 2);
        }
        // A separator at the end of a row leaves an empty last field.
        const bool trailing = fields.size() == columns->count + 1 && fields.back().empty();
        if (fields.size() != columns->count && !trailing) {
            fail(file_name, line_number,
                 std::to_string(fields.size()) + " fields where the header has " + std::to_string(columns->count));
        }
        const auto field = [&fields](int column) { return fields[static_cast<std::size_t>(column)]; };
        if (columns->instrument >= 0) {
            const std::string_view value = field(columns->instrument);
            auto known = std::find(instruments.begin(), instruments.end(), value);
            if (known == instruments.end()) {
                instruments.emplace_back(value);
                instrument_rows.push_back(0);
                known = instruments.end() - 1;
            }
            ++instrument_rows[static_cast<std::size_t>(known - instruments.begin())];
            if (!options.pick.empty() && value != options.pick) continue;
        }
        Row parsed;
        parsed.line = line_number;
        const auto time = columns->time_of_day >= 0
                              ? parse_bar_date_and_time(field(columns->time), field(columns->time_of_day))
                              : parse_bar_time(field(columns->time));
        if (!time) {
            const std::string written = columns->time_of_day >= 0 ? std::string(field(columns->time)) + " " +
                                                                        std::string(field(columns->time_of_day))
                                                                  : std::string(field(columns->time));
            fail(file_name, line_number,
                 "not a date and time (" + std::string(bar_time_forms) + "): \"" + written + "\"");
        }
        parsed.time = *time;
        Bar& bar = parsed.bar;
        bar.close = read_number(field(columns->close), false, "close", file_name, line_number);
        bar.open =
            columns->open >= 0 ? read_number(field(columns->open), false, "open", file_name, line_number) : bar.close;
        bar.high =
            columns->high >= 0 ? read_number(field(columns->high), false, "high", file_name, line_number) : bar.close;
        bar.low =
            columns->low >= 0 ? read_number(field(columns->low), false, "low", file_name, line_number) : bar.close;
        if (columns->volume >= 0)
            bar.volume = read_number(field(columns->volume), true, "volume", file_name, line_number);
        if (columns->bid_volume >= 0) {
            bar.bid_volume = read_number(field(columns->bid_volume), true, "bid_volume", file_name, line_number);
        }
        if (columns->ask_volume >= 0) {
            bar.ask_volume = read_number(field(columns->ask_volume), true, "ask_volume", file_name, line_number);
        }
        rows.push_back(parsed);
    }
    if (!columns) throw InputError(file_name + ":1: no header row");

    const auto values_note = [&instruments, &instrument_rows] {
        std::string list;
        for (std::size_t i = 0; i < instruments.size() && i < 8; ++i) {
            list += (i == 0 ? "" : ", ") + instruments[i] + " (" + std::to_string(instrument_rows[i]) + " rows)";
        }
        return list + (instruments.size() > 8 ? ", ..." : "");
    };
    if (!options.pick.empty() && rows.empty()) {
        throw InputError(file_name + ": no row has " + columns->instrument_name + " \"" + options.pick +
                         "\"; its values: " + values_note());
    }
    if (columns->open < 0 || columns->high < 0 || columns->low < 0) {
        out.notes.push_back(file_name +
                            ": no open, high or low column: every bar takes its close for the missing ones");
    }

    // Newest first: read in reverse. The order is told by the first two rows.
    const bool newest_first = rows.size() >= 2 && rows[1].time.value < rows[0].time.value;
    if (newest_first) {
        std::reverse(rows.begin(), rows.end());
        out.notes.push_back(file_name + ": the newest bar comes first: the bars are read in reverse order");
    }
    const std::string& naive_zone_name = !columns->time_zone.empty()       ? columns->time_zone
                                         : !options.data_time_zone.empty() ? options.data_time_zone
                                                                           : options.chart_time_zone;
    ZoneOffsets naive_zone{load_time_zone(naive_zone_name), {}};
    settle_instants(rows, naive_zone);

    const bool several_instruments = options.pick.empty() && instruments.size() > 1;
    const char* const order = newest_first ? "newest first" : "oldest first";
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const Row& before = rows[i - 1];
        const Row& row = rows[i];
        if (row.instant > before.instant) continue;
        // The row met later in the file is the one at fault.
        const Row& late = newest_first ? before : row;
        const Row& early = newest_first ? row : before;
        if (several_instruments) {
            fail(file_name, late.line,
                 "column \"" + columns->instrument_name + "\" interleaves several instruments (" + values_note() +
                     "): pick one by naming the file as " + file_name + "#VALUE, for example " + file_name + "#" +
                     instruments[static_cast<std::size_t>(
                         std::max_element(instrument_rows.begin(), instrument_rows.end()) - instrument_rows.begin())]);
        }
        if (row.instant == before.instant) {
            fail(file_name, late.line,
                 "a second bar at " + time_text(late.time) + " (the first is on line " + std::to_string(early.line) +
                     ")");
        }
        fail(file_name, late.line,
             "bar time " + time_text(late.time) + " is out of order: line " + std::to_string(early.line) + " is at " +
                 time_text(early.time) + " and the file runs " + order + " (bars must be in time order)");
    }

    out.bars.reserve(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        Row& row = rows[i];
        row.bar.time = wall_time_of(chart_zone, row.instant);
        if (!out.bars.empty() && row.bar.time <= out.bars.back().time) {
            fail(file_name, row.line,
                 time_text(row.time) + " is " + format_date_time(row.bar.time) + " in " + chart_zone.zone.name +
                     ", not after the bar before it (" + format_date_time(out.bars.back().time) +
                     "): the chart's clock repeats that hour when daylight saving time ends; replay with a chart "
                     "time zone without the change (--time-zone UTC) to keep these bars");
        }
        out.bars.push_back(row.bar);
    }
    return out;
}

std::string read_file_text(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw InputError(file.string() + ": cannot be read");
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) throw InputError(file.string() + ": cannot be read");
    return text.str();
}

BarFile read_csv_bars(const std::filesystem::path& file, const BarFileOptions& options) {
    return parse_csv_bars(read_file_text(file), file.string(), options);
}

std::int32_t typical_bar_seconds(const std::vector<Bar>& bars, std::int32_t fallback) {
    std::map<std::int64_t, int> counts;
    for (std::size_t i = 1; i < bars.size(); ++i) {
        const std::int64_t step = bars[i].time - bars[i - 1].time;
        if (step > 0 && step <= 86400 * us_per_second && step % us_per_second == 0) ++counts[step / us_per_second];
    }
    std::int64_t best = 0;
    int best_count = 0;
    for (const auto& [seconds, count] : counts) {
        if (count > best_count) {
            best = seconds;
            best_count = count;
        }
    }
    return best_count == 0 ? fallback : static_cast<std::int32_t>(best);
}

}  // namespace kmi::emu
