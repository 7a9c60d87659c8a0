// CSV bar files as traders have them: a header row naming the columns, then one bar per
// row, oldest or newest first.
//
// The separator is a comma, a semicolon or a tab, whichever the header holds most of.
// Columns are found by name, in any case, with or without <...> around it:
// - time: "timestamp...", "datetime...", "date time", "ts_event", "unix", "epoch" or "time"
//   alone, or a "date" column with a "time" column. When several are present, the first
//   one from the left is used (for "date" or "time", with its partner).
// - prices: "open", "high", "low", and "close", "last" or "price"; without open, high or
//   low a bar takes its close for them.
// - volumes, all optional: "volume" or "vol"; "bid_volume", "bidvolume" or "sell_volume";
//   "ask_volume", "askvolume" or "buy_volume".
// - the instrument, optional: "symbol", "contract", "instrument_id" or "ticker".
// Other columns are ignored.
//
// Times:
// - with "Z", " UTC" or a UTC offset ("+01:00", "-0500", "+01"): that exact instant;
// - in a column whose name carries a zone ("..._utc", "utc", "gmt": UTC; "..._et", "..._ny":
//   America/New_York): wall-clock time of that zone;
// - whole numbers (outside the compact forms YYYYMMDD, YYYYMMDDHHMM and YYYYMMDDHHMMSS):
//   Unix time in seconds, milliseconds, microseconds or nanoseconds by magnitude, UTC;
// - otherwise wall-clock time of the data's zone.
// Dates are YYYY-MM-DD, YYYY/MM/DD or YYYYMMDD; times of day HH:MM[:SS[.fraction]], HHMM or
// HHMMSS, after a space or "T" or in their own column.
// A wall-clock time that a zone skips (clocks going forward) stands for the instant it
// names with the offset before the change, so it reads an hour later; one that a zone
// repeats (clocks going back) is its first occurrence, unless that is not after the bar
// before it, then its second. Every time ends as the chart zone's wall-clock time.
//
// A file whose instrument column interleaves several instruments at the same times (such as
// futures months) is refused unless one instrument is picked. Rows out of order, two rows
// at the same time, and times the chart's zone cannot show in order (the hour repeated when
// its clocks go back) are errors naming the file and the line.
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
    std::string data_time_zone;                        // naive times' zone; empty: the chart's
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
