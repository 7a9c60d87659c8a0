#include "kmi_host/alerts/rules_file.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "kmi_host/text/file_text.h"
#include "kmi_host/text/input_error.h"
#include "kmi_host/text/path_text.h"

namespace kmi::emu {
namespace {

struct RuleLine {
    std::uint64_t number = 0;  // from 1
    std::string text;
};

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

// The lines that hold a rule, cut at "\n", "\r\n" and a lone "\r".
std::vector<RuleLine> rule_lines(const std::filesystem::path& file) {
    const std::string text = read_file_text(file);
    std::string_view rest = text;
    if (rest.substr(0, 3) == "\xEF\xBB\xBF") rest.remove_prefix(3);
    if (rest.find('\0') != std::string_view::npos) {
        throw InputError(text_of(file) +
                         ": holds NUL bytes, so it is no UTF-8 text file (a UTF-16 file, as Notepad saves "
                         "\"Unicode\", is not read: save it as UTF-8)");
    }
    std::vector<RuleLine> lines;
    std::uint64_t number = 0;
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find_first_of("\r\n"), rest.size());
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end);
        if (rest.substr(0, 2) == "\r\n") {
            rest.remove_prefix(2);
        } else if (!rest.empty()) {
            rest.remove_prefix(1);
        }
        ++number;
        while (!line.empty() && is_blank(line.front())) line.remove_prefix(1);
        while (!line.empty() && is_blank(line.back())) line.remove_suffix(1);
        if (!line.empty() && line.front() != '#') lines.push_back(RuleLine{number, std::string(line)});
    }
    return lines;
}

[[noreturn]] void refuse_line(const std::filesystem::path& file, const RuleLine& line, const InputError& error) {
    throw InputError(text_of(file) + ":" + std::to_string(line.number) + ": " + error.what());
}

}  // namespace

std::vector<std::string> read_alert_rules_file(const std::filesystem::path& file) {
    std::vector<std::string> rules;
    for (RuleLine& line : rule_lines(file)) {
        try {
            split_alert_rule(line.text);
        } catch (const InputError& error) {
            refuse_line(file, line, error);
        }
        rules.push_back(std::move(line.text));
    }
    return rules;
}

std::vector<AlertRule> read_alert_rules(const std::filesystem::path& file, const std::vector<std::string>& declared) {
    std::vector<AlertRule> rules;
    for (const RuleLine& line : rule_lines(file)) {
        try {
            rules.push_back(parse_alert_rule(line.text, declared));
        } catch (const InputError& error) {
            refuse_line(file, line, error);
        }
    }
    return rules;
}

}  // namespace kmi::emu
