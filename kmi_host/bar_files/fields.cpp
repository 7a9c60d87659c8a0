#include "kmi_host/bar_files/fields.h"

#include <array>

#include "kmi_host/text/input_error.h"

namespace kmi::emu {
namespace {

bool is_blank(char c, char separator) { return c == ' ' || (c == '\t' && separator != '\t'); }

std::string_view trimmed(std::string_view text, char separator) {
    while (!text.empty() && is_blank(text.front(), separator)) text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back(), separator)) text.remove_suffix(1);
    return text;
}

}  // namespace

char separator_of(std::string_view line) {
    std::array<std::size_t, 3> counts{};
    bool quoted = false;
    for (const char c : line) {
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

namespace {

enum class Split : std::uint8_t { done, unbalanced_quotes, too_many_fields };

Split split(FieldSplitter& splitter, std::string_view line) {
    splitter.fields.clear();
    std::size_t unquoted_used = 0;
    const char separator = splitter.separator;
    std::size_t at = 0;
    while (true) {
        std::size_t start = at;
        while (start < line.size() && is_blank(line[start], separator)) ++start;
        if (start < line.size() && line[start] == '"') {
            // A quoted field: a view of the line unless it holds "" for a quote.
            std::size_t i = start + 1;
            bool escaped = false;
            while (true) {
                if (i >= line.size()) return Split::unbalanced_quotes;
                if (line[i] == '"') {
                    if (i + 1 < line.size() && line[i + 1] == '"') {
                        escaped = true;
                        i += 2;
                        continue;
                    }
                    break;
                }
                ++i;
            }
            std::string_view field = line.substr(start + 1, i - start - 1);
            if (escaped) {
                if (unquoted_used == splitter.unquoted.size()) splitter.unquoted.emplace_back();
                std::string& copy = splitter.unquoted[unquoted_used++];
                copy.clear();
                for (std::size_t k = 0; k < field.size(); ++k) {
                    copy += field[k];
                    if (field[k] == '"') ++k;
                }
                field = copy;
            }
            ++i;
            while (i < line.size() && line[i] != separator) {
                if (line[i] != ' ' && line[i] != '\t') return Split::unbalanced_quotes;
                ++i;
            }
            if (splitter.fields.size() == most_fields) return Split::too_many_fields;
            splitter.fields.push_back(field);
            if (i >= line.size()) return Split::done;
            at = i + 1;
            continue;
        }
        const std::size_t end = line.find(separator, at);
        if (splitter.fields.size() == most_fields) return Split::too_many_fields;
        splitter.fields.push_back(trimmed(line.substr(at, end == std::string_view::npos ? end : end - at), separator));
        if (end == std::string_view::npos) return Split::done;
        at = end + 1;
    }
}

}  // namespace

void split_fields(FieldSplitter& splitter, std::string_view line, const std::string& file, std::uint64_t line_number) {
    const Split result = split(splitter, line);
    if (result == Split::done) return;
    splitter.fields.clear();
    const std::string where = file + ":" + std::to_string(line_number) + ": ";
    if (result == Split::unbalanced_quotes) throw InputError(where + "unbalanced double quotes");
    throw InputError(where + "more than " + std::to_string(most_fields) +
                     " fields: this is no bar file (a bar file has a time, prices and volumes)");
}

bool fields_empty(const FieldSplitter& splitter) {
    for (const std::string_view field : splitter.fields) {
        if (!field.empty()) return false;
    }
    return true;
}

}  // namespace kmi::emu
