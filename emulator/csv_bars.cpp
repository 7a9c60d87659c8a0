#include "emulator/csv_bars.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <sstream>

#include "emulator/date_time_text.h"
#include "emulator/input_error.h"

namespace kmi::emu {
namespace {

std::string lower_trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
    return out;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// Splits one row at commas; a field in double quotes may hold commas and "" for a quote.
std::optional<std::vector<std::string>> split_row(std::string_view row) {
    std::vector<std::string> fields;
    std::string field;
    bool quoted = false;
    bool was_quoted = false;
    for (std::size_t i = 0; i < row.size(); ++i) {
        const char c = row[i];
        if (quoted) {
            if (c == '"' && i + 1 < row.size() && row[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"' && std::string(trimmed(field)).empty() && !was_quoted) {
            field.clear();
            quoted = true;
            was_quoted = true;
        } else if (c == ',') {
            fields.push_back(was_quoted ? field : std::string(trimmed(field)));
            field.clear();
            was_quoted = false;
        } else if (was_quoted && c != ' ' && c != '\t') {
            return std::nullopt;  // text after a closing quote
        } else if (!was_quoted) {
            field += c;
        }
    }
    if (quoted) return std::nullopt;
    fields.push_back(was_quoted ? field : std::string(trimmed(field)));
    return fields;
}

struct Columns {
    int date_time = -1;
    int date = -1;
    int time = -1;
    int open = -1;
    int high = -1;
    int low = -1;
    int close = -1;
    int volume = -1;
    int bid_volume = -1;
    int ask_volume = -1;
};

[[noreturn]] void fail(const std::string& file, std::size_t line, const std::string& message) {
    throw InputError(file + ":" + std::to_string(line) + ": " + message);
}

Columns find_columns(const std::vector<std::string>& header, const std::string& file, std::size_t line) {
    Columns columns;
    const std::map<std::string, int Columns::*> names = {{"datetime", &Columns::date_time},
                                                         {"timestamp", &Columns::date_time},
                                                         {"date time", &Columns::date_time},
                                                         {"date", &Columns::date},
                                                         {"time", &Columns::time},
                                                         {"open", &Columns::open},
                                                         {"high", &Columns::high},
                                                         {"low", &Columns::low},
                                                         {"close", &Columns::close},
                                                         {"last", &Columns::close},
                                                         {"volume", &Columns::volume},
                                                         {"bid_volume", &Columns::bid_volume},
                                                         {"bidvolume", &Columns::bid_volume},
                                                         {"ask_volume", &Columns::ask_volume},
                                                         {"askvolume", &Columns::ask_volume}};
    for (std::size_t i = 0; i < header.size(); ++i) {
        const std::string name = lower_trimmed(header[i]);
        const auto it = names.find(name);
        if (it == names.end()) continue;
        int& column = columns.*(it->second);
        if (column >= 0) fail(file, line, "more than one column for \"" + name + "\"");
        column = static_cast<int>(i);
    }
    if (columns.date_time >= 0 && (columns.date >= 0 || columns.time >= 0)) {
        fail(file, line, "both a date-time column and date/time columns");
    }
    if (columns.date_time < 0 && (columns.date < 0 || columns.time < 0)) {
        fail(file, line, "no date-time column (\"datetime\", \"timestamp\", \"date time\", or \"date\" and \"time\")");
    }
    const std::pair<int, const char*> required[] = {
        {columns.open, "open"}, {columns.high, "high"}, {columns.low, "low"}, {columns.close, "close\" or \"last"}};
    for (const auto& [column, name] : required) {
        if (column < 0) fail(file, line, std::string("no \"") + name + "\" column");
    }
    return columns;
}

float read_number(const std::vector<std::string>& fields, int column, bool optional, const char* name,
                  const std::string& file, std::size_t line) {
    if (column < 0) return 0.0f;
    std::string_view text = fields[static_cast<std::size_t>(column)];
    if (text.empty()) {
        if (optional) return 0.0f;
        fail(file, line, std::string("column \"") + name + "\" is empty");
    }
    if (text.front() == '+') text.remove_prefix(1);
    double value = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() || !std::isfinite(value) ||
        std::fabs(value) > static_cast<double>(std::numeric_limits<float>::max())) {
        fail(file, line,
             std::string("column \"") + name + "\": not a finite number: \"" +
                 fields[static_cast<std::size_t>(column)] + "\"");
    }
    return static_cast<float>(value);
}

}  // namespace

BarFile parse_csv_bars(std::string_view text, const std::string& file_name, const BarFileOptions& /*options*/) {
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::vector<Bar> bars;
    std::optional<Columns> columns;
    std::size_t header_size = 0;
    std::size_t line_number = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view row = text.substr(pos, end - pos);
        pos = end + 1;
        ++line_number;
        if (!row.empty() && row.back() == '\r') row.remove_suffix(1);
        if (trimmed(row).empty()) continue;
        const auto fields = split_row(row);
        if (!fields) fail(file_name, line_number, "unbalanced double quotes");
        if (!columns) {
            columns = find_columns(*fields, file_name, line_number);
            header_size = fields->size();
            continue;
        }
        if (fields->size() != header_size) {
            fail(file_name, line_number,
                 std::to_string(fields->size()) + " fields where the header has " + std::to_string(header_size));
        }
        Bar bar;
        const std::string when = columns->date_time >= 0 ? (*fields)[static_cast<std::size_t>(columns->date_time)]
                                                         : (*fields)[static_cast<std::size_t>(columns->date)] + " " +
                                                               (*fields)[static_cast<std::size_t>(columns->time)];
        const auto time = parse_date_time(when, true);
        if (!time)
            fail(file_name, line_number, "not a date and time (YYYY-MM-DD HH:MM[:SS[.ffffff]]): \"" + when + "\"");
        bar.time = *time;
        bar.open = read_number(*fields, columns->open, false, "open", file_name, line_number);
        bar.high = read_number(*fields, columns->high, false, "high", file_name, line_number);
        bar.low = read_number(*fields, columns->low, false, "low", file_name, line_number);
        bar.close = read_number(*fields, columns->close, false, "close", file_name, line_number);
        bar.volume = read_number(*fields, columns->volume, true, "volume", file_name, line_number);
        bar.bid_volume = read_number(*fields, columns->bid_volume, true, "bid_volume", file_name, line_number);
        bar.ask_volume = read_number(*fields, columns->ask_volume, true, "ask_volume", file_name, line_number);
        if (!bars.empty() && bar.time <= bars.back().time) {
            fail(file_name, line_number,
                 "bar time " + format_date_time(bar.time) + " is not after the previous bar's " +
                     format_date_time(bars.back().time) + " (bars must be in time order)");
        }
        bars.push_back(bar);
    }
    if (!columns) throw InputError(file_name + ":1: no header row");
    return BarFile{std::move(bars), {}};
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
