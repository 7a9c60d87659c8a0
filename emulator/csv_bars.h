// CSV bar files: a header row naming the columns, then one bar per row in time order.
//
// Columns are found by name, ignoring case and surrounding blanks: one date-time column
// ("datetime", "timestamp" or "date time") or the two columns "date" and "time"; "open",
// "high", "low", "close" (or "last"); optionally "volume", "bid_volume" (or "bidvolume")
// and "ask_volume" (or "askvolume"). Other columns are ignored. Times are the chart's
// wall-clock time; a trailing UTC offset is accepted and ignored.
#ifndef KMI_EMULATOR_CSV_BARS_H
#define KMI_EMULATOR_CSV_BARS_H

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/core/host_core.h"

namespace kmi::emu {

// How a bar file is read: the chart's time zone, which every bar time is converted to (the
// host's date-times are the chart's wall-clock time), the zone of times that carry none, and
// the instrument to keep from a file that holds several.
struct BarFileOptions {
    std::string chart_time_zone = "America/New_York";  // an IANA name
    std::string data_time_zone;                         // naive times' zone; empty: the chart's
    std::string pick;  // a value of the file's symbol/contract/instrument_id column; empty: none
};

// A bar file as read: its bars in time order, and notes for the user (one line each).
struct BarFile {
    std::vector<Bar> bars;
    std::vector<std::string> notes;
};

// The bars of a CSV text; `file_name` names the file in error messages, which also give
// the line ("FILE:LINE: ..."). Throws InputError.
BarFile parse_csv_bars(std::string_view text, const std::string& file_name, const BarFileOptions& options = {});

// Reads and parses a CSV bar file. Throws InputError.
BarFile read_csv_bars(const std::filesystem::path& file, const BarFileOptions& options = {});

// Reads a whole file as bytes. Throws InputError naming the file.
std::string read_file_text(const std::filesystem::path& file);

// The bar length in seconds that most bars of a series keep from one start to the next
// (ties to the shorter), or `fallback` with fewer than two bars.
std::int32_t typical_bar_seconds(const std::vector<Bar>& bars, std::int32_t fallback = 60);

}  // namespace kmi::emu

#endif
