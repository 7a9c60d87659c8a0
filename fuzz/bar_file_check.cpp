#include "fuzz/bar_file_check.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <string_view>

#include "kmi_host/bar_files/appended_rows.h"
#include "kmi_host/bar_files/reader.h"
#include "kmi_host/text/input_error.h"

namespace kmi::fuzz {
namespace {

using emu::BarFileOptions;
using emu::BarStamps;

constexpr std::size_t option_set_count = 8;

BarFileOptions option_set(std::size_t index) {
    BarFileOptions options;
    switch (index) {
        case 1:
            options.chart_zone = emu::load_time_zone("UTC");
            options.data_zone = emu::load_time_zone("America/Chicago");
            break;
        case 2: options.bar_stamps = BarStamps::end; break;
        case 3: options.columns = {"date", "time", "open", "high", "low", "close", "volume"}; break;
        case 4: options.pick = "ESZ5"; break;
        case 5:
            options.chart_zone = emu::load_time_zone("Asia/Tokyo");
            options.data_zone = emu::load_time_zone("Europe/London");
            break;
        case 6:
            options.chart_zone = emu::load_time_zone("Australia/Sydney");
            options.bar_stamps = BarStamps::start;
            break;
        case 7:
            options.columns = {"datetime", "open", "high", "low", "close", "volume"};
            options.chart_zone = emu::load_time_zone("America/Chicago");
            options.data_zone = emu::load_time_zone("UTC");
            options.bar_stamps = BarStamps::end;
            break;
        default: break;
    }
    return options;
}

bool starts_with(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// A refusal names the file ("bars.csv: ..." or "bars.csv:LINE: ..."), or the option at fault.
std::string refusal_fault(std::string_view message, const BarFileOptions& options) {
    const std::string file = std::string(fuzzed_bar_file_name) + ":";
    const bool names_file = starts_with(message, file) && message.size() > file.size();
    const bool names_columns = !options.columns.empty() && starts_with(message, "--columns") &&
                               message.size() > std::string_view("--columns").size();
    if (names_file || names_columns) return {};
    return "the refusal names neither the file nor --columns: \"" + std::string(message) + "\"";
}

std::string bar_fault(const emu::Bar& bar) {
    for (const float value : {bar.open, bar.high, bar.low, bar.close, bar.volume, bar.bid_volume, bar.ask_volume}) {
        if (!std::isfinite(value)) return "a value that is not finite";
    }
    if (bar.volume < 0.0f || bar.bid_volume < 0.0f || bar.ask_volume < 0.0f) return "a negative volume";
    if (bar.high < bar.low) return "a high below its low";
    return {};
}

std::string bars_fault(const emu::BarFile& file) {
    for (std::size_t i = 0; i < file.bars.size(); ++i) {
        const emu::Bar& bar = file.bars[i];
        std::string fault = bar_fault(bar);
        if (fault.empty() && i > 0 && bar.time <= file.bars[i - 1].time) fault = "a time not after the bar before";
        if (!fault.empty()) {
            return "bar " + std::to_string(i) + " (time " + std::to_string(bar.time) + ", open " +
                   std::to_string(bar.open) + ", high " + std::to_string(bar.high) + ", low " +
                   std::to_string(bar.low) + ", close " + std::to_string(bar.close) + ", volume " +
                   std::to_string(bar.volume) + ", bid " + std::to_string(bar.bid_volume) + ", ask " +
                   std::to_string(bar.ask_volume) + "): " + fault;
        }
    }
    // Notes are for the user, one line each, and name the file.
    for (const std::string& note : file.notes) {
        if (!starts_with(note, std::string(fuzzed_bar_file_name) + ":") || note.find('\n') != std::string::npos) {
            return "a note that is not one line naming the file: \"" + note + "\"";
        }
    }
    return {};
}

// Each line of a file read, read again as a row appended to it, is a bar as sound as the file's
// or a fault naming the file and its line.
std::string appended_rows_fault(emu::AppendedRows rows, std::string_view text) {
    std::uint64_t line = 0;
    for (std::size_t at = 0; at <= text.size() && line < 64;) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        ++line;
        const emu::AppendedRow row = emu::read_appended_row(rows, text.substr(at, end - at), line);
        if (row.bar) {
            const std::string fault = bar_fault(*row.bar);
            if (!fault.empty()) return "appended line " + std::to_string(line) + ": " + fault;
        } else if (!row.fault.empty() &&
                   !starts_with(row.fault, std::string(fuzzed_bar_file_name) + ":" + std::to_string(line) + ": ")) {
            return "appended line " + std::to_string(line) + ": a fault not naming the file and line: " + row.fault;
        }
        at = end + 1;
    }
    return {};
}

}  // namespace

BarFileOutcome check_bar_file_input(const std::uint8_t* data, std::size_t size) {
    BarFileOutcome outcome;
    const std::size_t set = size == 0 ? 0 : static_cast<std::uint8_t>(data[0] - 'a') % option_set_count;
    const BarFileOptions options = option_set(set);
    // The file as the program holds one in memory: an empty one is "", not a view of nothing.
    const std::string_view text =
        size == 0 ? std::string_view("") : std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string prefix = "option set " + std::string(1, static_cast<char>('a' + set)) + ": ";
    try {
        const emu::BarFile file = emu::parse_bar_file(text, fuzzed_bar_file_name, options);
        outcome.bars = file.bars.size();
        outcome.failure = bars_fault(file);
        if (outcome.failure.empty()) outcome.failure = appended_rows_fault(*file.appended, text);
    } catch (const emu::InputError& error) {
        outcome.refused = true;
        outcome.refusal = error.what();
        outcome.failure = refusal_fault(error.what(), options);
    } catch (const std::exception& error) {
        outcome.failure = std::string("an exception other than InputError: ") + error.what();
    } catch (...) {
        outcome.failure = "an exception of no standard type";
    }
    outcome.ok = outcome.failure.empty();
    if (!outcome.ok) outcome.failure = prefix + outcome.failure;
    return outcome;
}

}  // namespace kmi::fuzz
