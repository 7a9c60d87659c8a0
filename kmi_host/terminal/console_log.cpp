#include "kmi_host/terminal/console_log.h"

#include <string_view>

namespace kmi::emu {
namespace {

// The line with each run of digits as one "#".
std::string without_numbers(const std::string& line) {
    std::string out;
    for (const char c : line) {
        if (c < '0' || c > '9') {
            out += c;
        } else if (out.empty() || out.back() != '#') {
            out += '#';
        }
    }
    return out;
}

constexpr std::string_view off_without_symbol = R"(off (no symbol, or the host could not open a chart for ""))";

// A report's slot line (slot `slot`) as the console shows it.
std::string slot_line(const ConsoleLog& log, std::size_t slot, const std::string& line) {
    if (slot >= log.slots_given_by_option.size() || !line.ends_with(off_without_symbol)) return line;
    return line.substr(0, line.size() - off_without_symbol.size()) + "off (no --source " +
           log.slots_given_by_option[slot] + " file)";
}

}  // namespace

std::vector<std::string> ConsoleLog::shown(const std::vector<std::string>& lines) {
    auto starts_report = [](const std::string& line) { return line.rfind("Keelwick Market Internals BUILD", 0) == 0; };
    std::vector<std::string> out;
    for (std::size_t i = 0; i < lines.size();) {
        if (!starts_report(lines[i])) {
            out.push_back(lines[i++]);
            continue;
        }
        const std::size_t begin = i;
        std::string report;
        do {
            report += without_numbers(lines[i]) + "\n";
        } while (++i < lines.size() && !starts_report(lines[i]));
        if (report != shown_report) {
            shown_report = report;
            for (std::size_t k = begin; k < i; ++k) {
                out.push_back(k == begin ? lines[k] : slot_line(*this, k - begin - 1, lines[k]));
            }
        } else if (!repeat_told) {
            repeat_told = true;
            out.push_back(repeat_line);
        }
    }
    return out;
}

}  // namespace kmi::emu
