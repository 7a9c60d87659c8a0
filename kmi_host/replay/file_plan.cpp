#include "kmi_host/replay/file_plan.h"

#include <algorithm>
#include <string_view>

#include "kmi_host/bar_files/time_zone.h"
#include "kmi_host/text/input_error.h"
#include "kmi_host/text/path_text.h"

namespace kmi::emu {
namespace {

std::string slot_name_list() {
    std::string list;
    for (std::size_t i = 0; i < source_slot_names.size(); ++i) {
        list += i == 0 ? "" : i + 1 == source_slot_names.size() ? " or " : ", ";
        list += source_slot_names[i];
    }
    return list;
}

bool ends_with_csv(const std::string& text) {
    return text.size() >= 4 && lower_ascii(text.substr(text.size() - 4)) == ".csv";
}

// The symbol of a file: its name without a bar file's extension, nor that of a gzipped file
// or a zip archive before it (ES.csv.gz, ES.zip).
std::string symbol_of(const std::filesystem::path& file) {
    std::string name = text_of(file.filename());
    const std::string lower = lower_ascii(name);
    for (const std::string_view packed : {".gz", ".zip"}) {
        if (lower.size() > packed.size() && lower.compare(lower.size() - packed.size(), packed.size(), packed) == 0) {
            name = name.substr(0, name.size() - packed.size());
            break;
        }
    }
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) return name;
    const std::string extension = lower_ascii(name.substr(dot + 1));
    for (const char* known : {"csv", "txt", "tsv", "dat", "prn"}) {
        if (extension == known) return name.substr(0, dot);
    }
    return name;
}

BarFileName named_file(const std::string& path, const std::string& pick, const std::string& argument) {
    BarFileName named{path_of(path), pick, ""};
    named.symbol = symbol_of(named.file);
    if (named.symbol.empty()) {
        throw InputError(argument + ": the file's name without its extension is its symbol: none");
    }
    return named;
}

[[noreturn]] void nothing_after_hash(const std::string& argument) {
    throw InputError(argument + ": nothing after \"#\" (FILE#VALUE keeps the rows whose symbol, contract or " +
                     "instrument_id is VALUE)");
}

std::string slot_of_option(const std::string& option, const std::string& value, std::string& rest) {
    const std::size_t equals = value.find('=');
    if (equals == std::string::npos) {
        rest = value;
        return "";
    }
    std::string slot = lower_ascii(value.substr(0, equals));
    rest = value.substr(equals + 1);
    const bool known = slot == "chart" ||
                       std::find(source_slot_names.begin(), source_slot_names.end(), slot) != source_slot_names.end();
    if (!known) {
        throw InputError(option + " " + value + ": unknown slot \"" + value.substr(0, equals) + "\" (chart, " +
                         slot_name_list() + ")");
    }
    return slot;
}

// Sets one option of a reading once.
template <typename Value>
void set_once(Value& target, bool given, Value value, const std::string& option, const std::string& argument) {
    if (given) throw InputError(option + " " + argument + ": given twice for the same files");
    target = std::move(value);
}

}  // namespace

bool is_file(const std::filesystem::path& file) {
    std::error_code error;
    return std::filesystem::is_regular_file(file, error);
}

// A folder given where a bar file is wanted: the fix names a bar file in it, when it has one.
[[noreturn]] void refuse_folder(const std::string& text, const std::string& argument) {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(path_of(text), error), end; !error && entry != end;
         entry.increment(error)) {
        if (is_file(entry->path()) && symbol_of(entry->path()) != text_of(entry->path().filename()))
            files.push_back(entry->path());
    }
    if (files.empty()) throw InputError(argument + ": is a folder, with no bar file in it: give a bar file");
    const std::filesystem::path first = *std::min_element(files.begin(), files.end());
    throw InputError(argument + ": is a folder: give a bar file in it, e.g. " + text_of(first));
}

// cmd keeps a double quote that follows a backslash: "C:\data\" --fast arrives as C:\data" --fast.
[[noreturn]] void refuse_quote_trap(const std::string& argument) {
    throw InputError(argument + ": no such file, and the name holds a double quote: in a Windows command " +
                     "prompt a \\ right before a closing quote keeps the quote, and what follows it, in the " +
                     "name; leave that last \\ out (\"C:\\data\\ES.csv\", \"C:\\data\")");
}

std::optional<BarFileName> parse_bar_file_name(const std::string& text, const std::string& argument,
                                               bool must_be_file) {
    if (is_file(path_of(text))) return named_file(text, "", argument);
    std::error_code error;
    if (!text.empty() && std::filesystem::is_directory(path_of(text), error)) refuse_folder(text, argument);
    if (text.find('"') != std::string::npos) refuse_quote_trap(argument);
    // FILE#VALUE: the first "#" that follows the name of an existing file.
    for (std::size_t hash = text.find('#'); hash != std::string::npos; hash = text.find('#', hash + 1)) {
        if (!is_file(path_of(text.substr(0, hash)))) continue;
        if (hash + 1 == text.size()) nothing_after_hash(argument);
        return named_file(text.substr(0, hash), text.substr(hash + 1), argument);
    }
    // A file that does not exist: named so the message can say so.
    std::size_t hash = text.find('#');
    while (hash != std::string::npos && !ends_with_csv(text.substr(0, hash))) hash = text.find('#', hash + 1);
    if (hash != std::string::npos) {
        if (hash + 1 == text.size()) nothing_after_hash(argument);
        return named_file(text.substr(0, hash), text.substr(hash + 1), argument);
    }
    if (must_be_file || ends_with_csv(text) || text.find_first_of("/\\") != std::string::npos) {
        return named_file(text, "", argument);
    }
    return std::nullopt;
}

SourceFile parse_source_argument(const std::string& value) {
    const std::string argument = "--source " + value;
    const std::size_t equals = value.find('=');
    if (equals == std::string::npos)
        throw InputError(argument + ": expected SLOT=FILE (SLOT: " + slot_name_list() + ")");
    const std::string slot = value.substr(0, equals);
    const auto known = std::find(source_slot_names.begin(), source_slot_names.end(), lower_ascii(slot));
    if (known == source_slot_names.end()) {
        throw InputError(argument + ": unknown slot \"" + slot + "\" (" + slot_name_list() + ")");
    }
    if (equals + 1 == value.size()) throw InputError(argument + ": no file after \"=\"");
    auto named = parse_bar_file_name(value.substr(equals + 1), argument, true);
    return SourceFile{static_cast<int>(known - source_slot_names.begin()), std::move(*named), argument};
}

ChartFile chart_file(const std::string& chart, const std::filesystem::path& data_dir) {
    const std::string argument = "--chart " + chart;
    if (auto named = parse_bar_file_name(chart, argument)) {
        if (!is_file(named->file)) throw InputError(argument + ": no file " + text_of(named->file));
        return ChartFile{*named, argument};
    }
    if (data_dir.empty()) {
        throw InputError(argument + ": no such file, and without --data there is no folder to find the symbol in");
    }
    const std::filesystem::path file = data_dir / path_of(chart + ".csv");
    if (!is_plain_file_name(chart) || !is_file(file)) throw InputError(argument + ": no file " + text_of(file));
    return ChartFile{BarFileName{file, "", chart}, argument};
}

bool same_bar_file(const BarFileName& a, const BarFileName& b) {
    std::error_code error;
    return a.pick == b.pick && std::filesystem::equivalent(a.file, b.file, error) && !error;
}

std::vector<SourceFile> checked_sources(const std::vector<std::string>& values, const ChartFile& chart) {
    std::vector<SourceFile> sources;
    for (const std::string& value : values) {
        SourceFile source = parse_source_argument(value);
        const BarFileName& named = source.bar_file;
        if (!is_file(named.file)) throw InputError(source.argument + ": no file " + text_of(named.file));
        const std::string symbol = lower_ascii(named.symbol);
        if (symbol == lower_ascii(chart.bar_file.symbol) && !same_bar_file(named, chart.bar_file)) {
            throw InputError(source.argument + ": its symbol " + named.symbol + " is the chart's (" + chart.argument +
                             "), from another file or pick; a slot reads the chart only from the chart's own file");
        }
        for (const SourceFile& earlier : sources) {
            if (earlier.slot == source.slot) {
                throw InputError(source.argument + ": the " + source_slot_names[static_cast<std::size_t>(source.slot)] +
                                 " slot is given twice (also " + earlier.argument + ")");
            }
            if (lower_ascii(earlier.bar_file.symbol) == symbol && !same_bar_file(earlier.bar_file, named)) {
                throw InputError(source.argument + ": its symbol " + named.symbol + " is also that of " +
                                 earlier.argument + ", from another file or pick; give each instrument a file name " +
                                 "of its own");
            }
        }
        sources.push_back(std::move(source));
    }
    return sources;
}

FileReadings plan_file_readings(const ReplayArguments& arguments) {
    FileReadings readings;
    const auto reading_of = [&readings](const std::string& slot) -> FileReading& {
        return slot.empty() ? readings.every : readings.by_slot[slot];
    };
    for (const std::string& value : arguments.data_time_zones) {
        std::string zone;
        FileReading& reading = reading_of(slot_of_option("--data-time-zone", value, zone));
        std::optional<TimeZone> loaded;
        try {
            loaded = load_time_zone(zone);
        } catch (const InputError& error) {
            throw InputError("--data-time-zone " + value + ": " + error.what());
        }
        if (!loaded->note.empty()) loaded->note.insert(0, "--data-time-zone: ");
        set_once(reading.data_zone, reading.data_zone.has_value(), std::move(loaded), "--data-time-zone", value);
    }
    for (const std::string& value : arguments.bar_stamps) {
        std::string stamps;
        FileReading& reading = reading_of(slot_of_option("--bar-stamps", value, stamps));
        stamps = lower_ascii(stamps);
        if (stamps != "start" && stamps != "end") {
            throw InputError("--bar-stamps " + value +
                             ": bars are stamped at their start or at their end (start, end, or SLOT=start, SLOT=end)");
        }
        set_once(reading.bar_stamps, reading.bar_stamps.has_value(),
                 std::optional<BarStamps>(stamps == "end" ? BarStamps::end : BarStamps::start), "--bar-stamps", value);
    }
    for (const std::string& value : arguments.columns) {
        std::string list;
        FileReading& reading = reading_of(slot_of_option("--columns", value, list));
        std::vector<std::string> names = split_names(list);
        layout_of_names(names, ',');  // throws for a name kmi-host does not know
        set_once(reading.columns, !reading.columns.empty(), names, "--columns", value);
    }
    for (const std::string& value : arguments.bar_lengths) {
        std::string length;
        FileReading& reading = reading_of(slot_of_option("--bar-length", value, length));
        const std::optional<std::int32_t> seconds = parse_bar_length(length);
        if (!seconds) {
            throw InputError(
                "--bar-length " + value +
                ": a length of bars is seconds, or a number with s, min, h, d or w after it (60, 5min, 1d), "
                "up to 31 days");
        }
        set_once(reading.bar_seconds, reading.bar_seconds.has_value(), seconds, "--bar-length", value);
    }
    for (const std::string& value : arguments.decimal_marks) {
        std::string mark;
        FileReading& reading = reading_of(slot_of_option("--decimal-mark", value, mark));
        mark = lower_ascii(mark);
        if (mark != "point" && mark != "comma") {
            throw InputError("--decimal-mark " + value +
                             ": the decimal mark is a point or a comma (point, comma, or SLOT=point, SLOT=comma)");
        }
        set_once(reading.decimal_mark, reading.decimal_mark.has_value(),
                 std::optional<DecimalMark>(mark == "comma" ? DecimalMark::comma : DecimalMark::point),
                 "--decimal-mark", value);
    }
    return readings;
}

BarFileOptions options_for(const FileReadings& readings, const std::vector<std::string>& slots,
                           const TimeZone& chart_zone, const std::string& pick) {
    BarFileOptions options;
    options.chart_zone = chart_zone;
    options.pick = pick;
    options.data_zone = readings.every.data_zone;
    options.bar_stamps = readings.every.bar_stamps;
    options.columns = readings.every.columns;
    options.bar_seconds = readings.every.bar_seconds;
    options.decimal_mark = readings.every.decimal_mark;
    // The slot that set each option, so two slots of one file cannot disagree.
    std::string zone_slot;
    std::string stamps_slot;
    std::string columns_slot;
    std::string length_slot;
    std::string mark_slot;
    const auto disagree = [](const std::string& option, const std::string& first, const std::string& second) {
        throw InputError(option + ": " + first + "= and " + second +
                         "= are given different values, but both slots read one file");
    };
    for (const std::string& slot : slots) {
        const auto found = readings.by_slot.find(slot);
        if (found == readings.by_slot.end()) continue;
        const FileReading& reading = found->second;
        if (reading.data_zone) {
            if (!zone_slot.empty() && options.data_zone->name != reading.data_zone->name)
                disagree("--data-time-zone", zone_slot, slot);
            options.data_zone = reading.data_zone;
            zone_slot = slot;
        }
        if (reading.bar_stamps) {
            if (!stamps_slot.empty() && options.bar_stamps != reading.bar_stamps)
                disagree("--bar-stamps", stamps_slot, slot);
            options.bar_stamps = reading.bar_stamps;
            stamps_slot = slot;
        }
        if (!reading.columns.empty()) {
            if (!columns_slot.empty() && options.columns != reading.columns) disagree("--columns", columns_slot, slot);
            options.columns = reading.columns;
            columns_slot = slot;
        }
        if (reading.bar_seconds) {
            if (!length_slot.empty() && options.bar_seconds != reading.bar_seconds)
                disagree("--bar-length", length_slot, slot);
            options.bar_seconds = reading.bar_seconds;
            length_slot = slot;
        }
        if (reading.decimal_mark) {
            if (!mark_slot.empty() && options.decimal_mark != reading.decimal_mark)
                disagree("--decimal-mark", mark_slot, slot);
            options.decimal_mark = reading.decimal_mark;
            mark_slot = slot;
        }
    }
    return options;
}

void check_slots_fed(const FileReadings& readings, const std::vector<std::string>& fed) {
    for (const auto& [slot, reading] : readings.by_slot) {
        if (std::find(fed.begin(), fed.end(), slot) != fed.end()) continue;
        const std::string option = reading.data_zone          ? "--data-time-zone"
                                   : reading.bar_stamps       ? "--bar-stamps"
                                   : !reading.columns.empty() ? "--columns"
                                   : reading.bar_seconds      ? "--bar-length"
                                                              : "--decimal-mark";
        throw InputError(option + " " + slot + "=...: the " + slot + " slot is given no file (--source " + slot +
                         "=FILE)");
    }
}

}  // namespace kmi::emu
