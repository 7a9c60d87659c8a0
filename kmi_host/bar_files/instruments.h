// The instruments of a file with a symbol, ticker, contract or instrument_id column: which
// rows are kept when one is picked, and whether several instruments follow one another (a
// continuous contract rolling from month to month) or are mixed (futures months at the same
// minutes, or instruments taking turns), which needs a pick.
#ifndef KMI_HOST_BAR_FILES_INSTRUMENTS_H
#define KMI_HOST_BAR_FILES_INSTRUMENTS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kmi::emu {

struct InstrumentRun {
    std::size_t value = 0;      // index into Instruments::values
    std::uint64_t line = 0;     // its first row's line
    std::size_t first_bar = 0;  // its first row's bar
};

struct Instruments {
    std::vector<std::string> values;  // in the order the file names them
    std::vector<std::size_t> rows;    // the rows of each value
    std::vector<InstrumentRun> runs;  // the rows kept, cut where the instrument changes
    std::uint64_t mixed_line = 0;     // the first kept row whose instrument came back after another
    std::size_t last = 0;             // the value of the row before
};

// The index of a row's value among the values, counting the row.
std::size_t count_instrument(Instruments& instruments, std::string_view value);

// A kept row: its value, line and bar; a change of instrument starts a run.
void keep_instrument_row(Instruments& instruments, std::size_t value, std::uint64_t line, std::size_t bar);

// "ES201312 (435 rows), ES201403 (224 rows)".
std::string instrument_counts(const Instruments& instruments);

// The message for a file whose instruments are mixed, blaming `line`.
std::string mixed_instruments_message(const Instruments& instruments, const std::string& column,
                                      const std::string& file, std::uint64_t line);

}  // namespace kmi::emu

#endif
