// The log of a replay as the console shows it: the study's diagnostics reports, written on
// every full recalculation, shown once while they say nothing new.
#ifndef KMI_HOST_TERMINAL_CONSOLE_LOG_H
#define KMI_HOST_TERMINAL_CONSOLE_LOG_H

#include <string>
#include <vector>

namespace kmi::emu {

// The study writes its diagnostics report (a line
// beginning "Keelwick Market Internals BUILD" and the lines after it) on every full
// recalculation, so a replay from its first bar writes it several times: the console shows a
// report once, and a later one only when it says more than the one shown (reports that differ in
// their numbers alone, counts and times, are the same), the first report left out replaced by
// `repeat_line`. The log files keep every line.
struct ConsoleLog {
    std::string repeat_line;
    // A replay without a data folder: the source slots' names, in the report's order, so that a
    // slot off for want of a file says which option gives it one ("no --source tick file").
    std::vector<std::string> slots_given_by_option;
    std::string shown_report;  // the last report shown, its numbers left out
    bool repeat_told = false;

    // The lines of one call, as they are shown.
    std::vector<std::string> shown(const std::vector<std::string>& lines);
};

}  // namespace kmi::emu

#endif
