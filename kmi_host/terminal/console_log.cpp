#include "kmi_host/terminal/console_log.h"

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
            out.insert(out.end(), lines.begin() + static_cast<std::ptrdiff_t>(begin),
                       lines.begin() + static_cast<std::ptrdiff_t>(i));
        } else if (!repeat_told) {
            repeat_told = true;
            out.push_back(repeat_line);
        }
    }
    return out;
}

}  // namespace kmi::emu
