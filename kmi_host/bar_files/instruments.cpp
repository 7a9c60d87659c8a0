#include "kmi_host/bar_files/instruments.h"

#include <algorithm>

namespace kmi::emu {

std::size_t count_instrument(Instruments& instruments, std::string_view value) {
    std::size_t index = instruments.last;
    if (index >= instruments.values.size() || instruments.values[index] != value) {
        const auto known = std::find(instruments.values.begin(), instruments.values.end(), value);
        index = static_cast<std::size_t>(known - instruments.values.begin());
        if (known == instruments.values.end()) {
            instruments.values.emplace_back(value);
            instruments.rows.push_back(0);
        }
    }
    ++instruments.rows[index];
    instruments.last = index;
    return index;
}

void keep_instrument_row(Instruments& instruments, std::size_t value, std::uint64_t line, std::size_t bar) {
    if (!instruments.runs.empty() && instruments.runs.back().value == value) return;
    if (instruments.mixed_line != 0) return;
    const bool seen = std::any_of(instruments.runs.begin(), instruments.runs.end(),
                                  [value](const InstrumentRun& run) { return run.value == value; });
    if (seen) {
        instruments.mixed_line = line;
        return;
    }
    instruments.runs.push_back(InstrumentRun{value, line, bar});
}

std::string instrument_counts(const Instruments& instruments) {
    std::string list;
    for (std::size_t i = 0; i < instruments.values.size() && i < 8; ++i) {
        list += (i == 0 ? "" : ", ") + instruments.values[i] + " (" + std::to_string(instruments.rows[i]) + " rows)";
    }
    return list + (instruments.values.size() > 8 ? ", ..." : "");
}

std::string mixed_instruments_message(const Instruments& instruments, const std::string& column,
                                      const std::string& file, std::uint64_t line) {
    const auto most = static_cast<std::size_t>(std::max_element(instruments.rows.begin(), instruments.rows.end()) -
                                               instruments.rows.begin());
    return file + ":" + std::to_string(line) + ": column \"" + column + "\" interleaves several instruments (" +
           instrument_counts(instruments) + "): pick one by naming the file as " + file + "#VALUE, for example " +
           file + "#" + instruments.values[most];
}

}  // namespace kmi::emu
