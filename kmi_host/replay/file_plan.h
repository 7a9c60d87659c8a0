// The bar files of a replay, planned from its arguments before any is read: which file feeds
// the chart and which each source slot, and how each is read (its zone, its bar stamps, the
// names of its columns, the instrument picked).
#ifndef KMI_HOST_REPLAY_FILE_PLAN_H
#define KMI_HOST_REPLAY_FILE_PLAN_H

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "kmi_host/bar_files/reader.h"
#include "kmi_host/host_core/source_slot_names.h"
#include "kmi_host/replay/replay_arguments.h"
#include "kmi_host/text/names.h"

namespace kmi::emu {

// A bar file named on the command line: FILE (a name with any extension, or none), or
// FILE#VALUE to keep only the rows whose symbol, contract or instrument_id column holds VALUE.
// Its symbol is the file's name without a bar file's extension (.csv, .txt, .tsv, .dat, .prn)
// and without "#VALUE".
struct BarFileName {
    std::filesystem::path file;
    std::string pick;
    std::string symbol;
};

// The file `text` names: an existing file (FILE, or FILE#VALUE), or one that does not exist
// but plainly names a file (it ends in .csv or holds a folder, or `must_be_file`); nothing
// when it may be a symbol of the data folder. Throws InputError, naming `argument`, for a
// file whose name leaves no symbol or a "#" followed by nothing.
std::optional<BarFileName> parse_bar_file_name(const std::string& text, const std::string& argument,
                                               bool must_be_file = false);

// A --source argument "SLOT=FILE[#VALUE]": the slot (0 to 8, in the study's slot order)
// and the file. SLOT is tick, add, vold, updown, vix, front, back, es or nq, in any case.
struct SourceFile {
    int slot = 0;
    BarFileName bar_file;
    std::string argument;  // "--source SLOT=FILE" as given, for messages
};

// Throws InputError naming the argument for an unknown slot or a value that names no file.
SourceFile parse_source_argument(const std::string& value);

// The chart's bar file: given as a file, or as a symbol of the data folder.
struct ChartFile {
    BarFileName bar_file;
    std::string argument;  // "--chart VALUE", for messages
};

// Throws InputError naming the argument when the file does not exist.
ChartFile chart_file(const std::string& chart, const std::filesystem::path& data_dir);

// The --source arguments, each checked: a known slot given once, a file that exists, and a
// symbol that names one file only. A source whose symbol is the chart's must be the chart's
// own file (the study then reads the chart itself).
std::vector<SourceFile> checked_sources(const std::vector<std::string>& values, const ChartFile& chart);

bool same_bar_file(const BarFileName& a, const BarFileName& b);

// What --data-time-zone, --bar-stamps, --columns, --bar-length and --decimal-mark say of one
// file, or of every file.
struct FileReading {
    std::optional<TimeZone> data_zone;
    std::optional<BarStamps> bar_stamps;
    std::vector<std::string> columns;
    std::optional<std::int32_t> bar_seconds;
    std::optional<DecimalMark> decimal_mark;
};

// Those options as given: each value applies to every file, or, written SLOT=VALUE (SLOT a
// source slot or "chart"), to that slot's file alone.
struct FileReadings {
    FileReading every;
    std::map<std::string, FileReading> by_slot;  // "chart", "tick", ... "nq"
};

// The five options' values, checked: known slots, each given once, known zones and stamps,
// column names kmi-host knows. Throws InputError naming the option and the value.
FileReadings plan_file_readings(const ReplayArguments& arguments);

// How a file that feeds `slots` (with "chart" for the chart) is read: the options given for
// every file, overridden by those given for its slots. Throws InputError when two of its slots
// are given different values of one option.
BarFileOptions options_for(const FileReadings& readings, const std::vector<std::string>& slots,
                           const TimeZone& chart_zone, const std::string& pick);

// The slots named in `readings` that are given no file: `fed` holds the slots that are.
// Throws InputError naming the option.
void check_slots_fed(const FileReadings& readings, const std::vector<std::string>& fed);

bool is_file(const std::filesystem::path& file);

}  // namespace kmi::emu

#endif
