// Scenario files: the charts of a host, the study's place among them and a list of
// steps (calls of the study, bar changes, input changes). docs/host.md describes the
// format.
#ifndef KMI_HOST_SCENARIOS_SCENARIO_H
#define KMI_HOST_SCENARIOS_SCENARIO_H

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "kmi_host/host_core/host_core.h"
#include "kmi_host/text/json_text.h"

namespace kmi::emu {

struct CallStep {
    CallKind kind = CallKind::full;
    std::optional<std::int32_t> update_start_index;  // updates only
    HostDateTime now = 0;
    HostDateTime alternate_now = 0;
    bool use_alternate_clock = false;
};

struct BarsStep {
    enum class Kind { append, update_last, set_bars };
    Kind kind = Kind::append;
    std::int32_t chart = 0;
    std::vector<Bar> bars;                 // one bar for update_last
    std::optional<std::string> symbol;     // set_bars only
    std::optional<std::string> time_zone;  // set_bars only
};

struct InputsStep {
    Json settings;  // {"INDEX": VALUE, ...}, stored by the inputs' types when the step runs
};

struct RegionStep {
    std::int32_t top_px = 0;
    std::int32_t bottom_px = 0;
};

struct ScenarioStep {
    std::string where;  // "FILE: steps[K]" for messages
    std::variant<CallStep, BarsStep, InputsStep, RegionStep> action;
};

struct Scenario {
    std::string file_name;
    std::int32_t study_id = 0;
    std::int32_t region_top_px = 0;
    std::int32_t region_bottom_px = 600;
    Chart chart;                           // the chart carrying the study
    std::vector<Chart> charts;             // the other open charts
    std::map<std::string, Chart> symbols;  // what open_chart can open by symbol
    std::optional<std::filesystem::path> data_dir;
    std::map<std::int32_t, std::int32_t> persistent_ints;
    std::vector<ScenarioStep> steps;
};

// Parses a scenario text; relative file names (bar files, data_dir) are taken from
// `base_dir`. Throws InputError naming `file_name` and the line or key at fault.
Scenario parse_scenario(const std::string& text, const std::string& file_name, const std::filesystem::path& base_dir);

// Reads and parses a scenario file.
Scenario load_scenario(const std::filesystem::path& file);

// A bar as the scenario format writes it: [TIME, open, high, low, close, volume,
// bid_volume, ask_volume], the last three optional. Throws InputError naming `where`.
Bar parse_bar(const Json& value, const std::string& where);

// A TIME: "YYYY-MM-DD HH:MM:SS[.ffffff]" or an integer host date-time.
HostDateTime parse_time_value(const Json& value, const std::string& where);

}  // namespace kmi::emu

#endif
