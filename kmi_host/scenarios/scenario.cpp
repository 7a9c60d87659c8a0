#include "kmi_host/scenarios/scenario.h"

#include <cmath>
#include <limits>
#include <set>

#include "kmi_host/bar_files/reader.h"
#include "kmi_host/text/date_time_text.h"
#include "kmi_host/text/file_text.h"
#include "kmi_host/text/input_error.h"
#include "kmi_host/text/path_text.h"

namespace kmi::emu {
namespace {

[[noreturn]] void fail(const std::string& where, const std::string& message) {
    throw InputError(where + ": " + message);
}

void allow_keys(const Json& object, const std::string& where, std::initializer_list<const char*> keys) {
    for (const auto& [key, value] : object.items()) {
        bool known = false;
        for (const char* allowed : keys) known = known || key == allowed;
        if (!known) fail(where + "." + key, "unknown key");
    }
}

const Json& object_at(const Json& parent, const char* key, const std::string& where) {
    if (!parent.contains(key)) fail(where, std::string("missing \"") + key + "\"");
    return parent.at(key);
}

std::int32_t to_int32(const Json& value, const std::string& where) {
    if (!value.is_number_integer()) fail(where, "expected an integer, not " + dump_compact(value));
    if (value.is_number_unsigned() && value.get<std::uint64_t>() > 0x7FFFFFFFu) fail(where, "out of the 32-bit range");
    const std::int64_t v = value.get<std::int64_t>();
    if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max()) {
        fail(where, "out of the 32-bit range");
    }
    return static_cast<std::int32_t>(v);
}

std::string to_string_value(const Json& value, const std::string& where) {
    if (!value.is_string()) fail(where, "expected a string, not " + dump_compact(value));
    return value.get<std::string>();
}

std::int32_t int_or(const Json& object, const char* key, std::int32_t fallback, const std::string& where) {
    return object.contains(key) ? to_int32(object.at(key), where + "." + key) : fallback;
}

float bar_value(const Json& value, const std::string& where) {
    if (value.is_string()) {
        const std::string text = value.get<std::string>();
        if (text == "nan") return std::numeric_limits<float>::quiet_NaN();
        if (text == "inf") return std::numeric_limits<float>::infinity();
        if (text == "-inf") return -std::numeric_limits<float>::infinity();
    }
    if (!value.is_number())
        fail(where, "expected a number (or \"nan\", \"inf\", \"-inf\"), not " + dump_compact(value));
    const double v = value.get<double>();
    if (std::fabs(v) > static_cast<double>(std::numeric_limits<float>::max())) {
        fail(where, "out of the range of a 32-bit float");
    }
    return static_cast<float>(v);
}

std::vector<Bar> parse_bar_list(const Json& value, const std::string& where, const std::filesystem::path& base_dir) {
    if (value.is_string()) {
        const std::filesystem::path file = base_dir / path_of(value.get<std::string>());
        return read_bar_file(file).bars;
    }
    if (!value.is_array()) fail(where, "expected a CSV file name or an array of bars");
    std::vector<Bar> bars;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const std::string at = where + "[" + std::to_string(i) + "]";
        Bar bar = parse_bar(value[i], at);
        if (!bars.empty() && bar.time <= bars.back().time) {
            fail(at, "bar time " + format_date_time(bar.time) +
                         " is not after the previous bar's (bars must be in time order)");
        }
        bars.push_back(bar);
    }
    return bars;
}

Chart parse_chart(const Json& value, const std::string& where, const std::filesystem::path& base_dir, bool needs_number,
                  const std::string& default_symbol) {
    if (!value.is_object()) fail(where, "expected a chart object");
    allow_keys(value, where,
               {"number", "symbol", "bar_seconds", "time_zone", "price_format", "session_times", "bar_period", "bars"});
    std::int32_t number = 0;
    if (needs_number) {
        number = to_int32(object_at(value, "number", where), where + ".number");
        if (number < 1) fail(where + ".number", "a chart number is 1 or more");
    } else if (value.contains("number")) {
        number = to_int32(value.at("number"), where + ".number");
    }
    std::string symbol = default_symbol;
    if (value.contains("symbol")) symbol = to_string_value(value.at("symbol"), where + ".symbol");
    if (symbol.find('\0') != std::string::npos) fail(where + ".symbol", "a symbol cannot hold a NUL character");
    Chart chart = make_chart(number, symbol, int_or(value, "bar_seconds", 60, where));
    if (value.contains("time_zone")) chart.time_zone = to_string_value(value.at("time_zone"), where + ".time_zone");
    chart.price_format = int_or(value, "price_format", 2, where);
    if (value.contains("session_times")) {
        const Json& times = value.at("session_times");
        const std::string at = where + ".session_times";
        if (!times.is_array() || times.size() != 7) fail(at, "expected [d0, d1, d2, d3, i0, i1, i2]");
        HostSessionTimes session{};
        for (std::size_t i = 0; i < 4; ++i) {
            if (!times[i].is_number()) fail(at + "[" + std::to_string(i) + "]", "expected a number");
            session.times[i] = times[i].get<double>();
        }
        for (std::size_t i = 0; i < 3; ++i)
            session.values[i] = to_int32(times[4 + i], at + "[" + std::to_string(4 + i) + "]");
        chart.session_times = session;
    }
    if (value.contains("bar_period")) {
        const Json& period = value.at("bar_period");
        const std::string at = where + ".bar_period";
        if (!period.is_array() || period.size() != 3) fail(at, "expected [kind, sub_kind, count]");
        for (std::size_t i = 0; i < 3; ++i)
            chart.bar_period[i] = to_int32(period[i], at + "[" + std::to_string(i) + "]");
    }
    if (value.contains("bars")) set_bars(chart, parse_bar_list(value.at("bars"), where + ".bars", base_dir));
    return chart;
}

HostDateTime optional_time(const Json& step, const char* key, const std::string& where) {
    if (!step.contains(key) || step.at(key).is_null()) return 0;
    return parse_time_value(step.at(key), where + "." + key);
}

ScenarioStep parse_step(const Json& value, const std::string& where, const std::filesystem::path& base_dir) {
    if (!value.is_object()) fail(where, "expected a step object");
    ScenarioStep step;
    step.where = where;
    if (value.contains("call")) {
        allow_keys(value, where, {"call", "update_start_index", "now", "alternate_now", "use_alternate_clock"});
        CallStep call;
        const std::string kind = to_string_value(value.at("call"), where + ".call");
        if (kind == "defaults") {
            call.kind = CallKind::defaults;
        } else if (kind == "full") {
            call.kind = CallKind::full;
        } else if (kind == "update") {
            call.kind = CallKind::update;
        } else if (kind == "last") {
            call.kind = CallKind::last;
        } else {
            fail(where + ".call", "expected \"defaults\", \"full\", \"update\" or \"last\", not \"" + kind + "\"");
        }
        if (value.contains("update_start_index")) {
            if (call.kind != CallKind::update)
                fail(where + ".update_start_index", "only an update takes a start index");
            call.update_start_index = to_int32(value.at("update_start_index"), where + ".update_start_index");
        }
        call.now = optional_time(value, "now", where);
        call.alternate_now = optional_time(value, "alternate_now", where);
        if (value.contains("use_alternate_clock")) {
            if (!value.at("use_alternate_clock").is_boolean())
                fail(where + ".use_alternate_clock", "expected true or false");
            call.use_alternate_clock = value.at("use_alternate_clock").get<bool>();
        }
        step.action = call;
        return step;
    }
    if (value.size() != 1) {
        fail(where,
             "a step is {\"call\": ...} or has exactly one of \"append\", \"update_last\", \"set_bars\", "
             "\"set_inputs\", \"set_region\"");
    }
    const std::string key = value.begin().key();
    const Json& body = value.begin().value();
    const std::string at = where + "." + key;
    if (key == "append" || key == "update_last" || key == "set_bars") {
        if (!body.is_object()) fail(at, "expected an object");
        BarsStep bars;
        bars.chart = to_int32(object_at(body, "chart", at), at + ".chart");
        if (key == "append") {
            allow_keys(body, at, {"chart", "bars"});
            bars.kind = BarsStep::Kind::append;
            bars.bars = parse_bar_list(object_at(body, "bars", at), at + ".bars", base_dir);
        } else if (key == "update_last") {
            allow_keys(body, at, {"chart", "bar"});
            bars.kind = BarsStep::Kind::update_last;
            bars.bars.push_back(parse_bar(object_at(body, "bar", at), at + ".bar"));
        } else {
            allow_keys(body, at, {"chart", "bars", "symbol", "time_zone"});
            bars.kind = BarsStep::Kind::set_bars;
            bars.bars = parse_bar_list(object_at(body, "bars", at), at + ".bars", base_dir);
            if (body.contains("symbol")) bars.symbol = to_string_value(body.at("symbol"), at + ".symbol");
            if (body.contains("time_zone")) bars.time_zone = to_string_value(body.at("time_zone"), at + ".time_zone");
        }
        step.action = bars;
    } else if (key == "set_inputs") {
        if (!body.is_object()) fail(at, "expected an object {\"INDEX\": VALUE, ...}");
        step.action = InputsStep{body};
    } else if (key == "set_region") {
        if (!body.is_object()) fail(at, "expected an object");
        allow_keys(body, at, {"top_px", "bottom_px"});
        step.action = RegionStep{to_int32(object_at(body, "top_px", at), at + ".top_px"),
                                 to_int32(object_at(body, "bottom_px", at), at + ".bottom_px")};
    } else {
        fail(at, "unknown step");
    }
    return step;
}

}  // namespace

HostDateTime parse_time_value(const Json& value, const std::string& where) {
    if (value.is_number_integer()) {
        if (value.is_number_unsigned() && value.get<std::uint64_t>() > 0x7FFFFFFFFFFFFFFFull) {
            fail(where, "out of the 64-bit range");
        }
        return value.get<std::int64_t>();
    }
    if (value.is_string()) {
        // Seconds are required here: "YYYY-MM-DD HH:MM:SS".
        const std::string text = value.get<std::string>();
        const auto time = parse_date_time(text);
        if (time && text.size() >= 19 && text[16] == ':') return *time;
    }
    fail(where, "expected \"YYYY-MM-DD HH:MM:SS[.ffffff]\" or an integer host date-time, not " + dump_compact(value));
}

Bar parse_bar(const Json& value, const std::string& where) {
    if (!value.is_array() || value.size() < 5 || value.size() > 8) {
        fail(where,
             "expected [TIME, open, high, low, close, volume, bid_volume, ask_volume] (the last three optional)");
    }
    Bar bar;
    bar.time = parse_time_value(value[0], where + "[0]");
    float* fields[] = {&bar.open, &bar.high, &bar.low, &bar.close, &bar.volume, &bar.bid_volume, &bar.ask_volume};
    for (std::size_t i = 1; i < value.size(); ++i)
        *fields[i - 1] = bar_value(value[i], where + "[" + std::to_string(i) + "]");
    return bar;
}

Scenario parse_scenario(const std::string& text, const std::string& file_name, const std::filesystem::path& base_dir) {
    const Json root = parse_json_text(text, file_name);
    const std::string where = file_name + ": ";
    if (!root.is_object()) fail(file_name, "a scenario is a JSON object");
    for (const auto& [key, value] : root.items()) {
        static const std::set<std::string> keys = {"study_id", "region",   "chart",           "charts",
                                                   "symbols",  "data_dir", "persistent_ints", "steps"};
        if (keys.count(key) == 0) fail(where + key, "unknown key");
    }
    Scenario scenario;
    scenario.file_name = file_name;
    if (root.contains("study_id")) scenario.study_id = to_int32(root.at("study_id"), where + "study_id");
    if (root.contains("region")) {
        const Json& region = root.at("region");
        if (!region.is_object()) fail(where + "region", "expected {\"top_px\": T, \"bottom_px\": B}");
        allow_keys(region, where + "region", {"top_px", "bottom_px"});
        scenario.region_top_px = int_or(region, "top_px", 0, where + "region");
        scenario.region_bottom_px = int_or(region, "bottom_px", 600, where + "region");
    }
    scenario.chart = parse_chart(object_at(root, "chart", file_name), where + "chart", base_dir, true, "");
    std::set<std::int32_t> numbers = {scenario.chart.number};
    if (root.contains("charts")) {
        const Json& charts = root.at("charts");
        if (!charts.is_array()) fail(where + "charts", "expected an array of charts");
        for (std::size_t i = 0; i < charts.size(); ++i) {
            const std::string at = where + "charts[" + std::to_string(i) + "]";
            Chart chart = parse_chart(charts[i], at, base_dir, true, "");
            if (!numbers.insert(chart.number).second)
                fail(at + ".number", "chart " + std::to_string(chart.number) + " is already open");
            scenario.charts.push_back(std::move(chart));
        }
    }
    if (root.contains("symbols")) {
        const Json& symbols = root.at("symbols");
        if (!symbols.is_object()) fail(where + "symbols", "expected an object {\"SYMBOL\": CHART, ...}");
        for (const auto& [symbol, chart] : symbols.items()) {
            scenario.symbols[symbol] = parse_chart(chart, where + "symbols." + symbol, base_dir, false, symbol);
        }
    }
    if (root.contains("data_dir")) {
        const std::filesystem::path dir = base_dir / path_of(to_string_value(root.at("data_dir"), where + "data_dir"));
        std::error_code error;
        if (!std::filesystem::is_directory(dir, error)) fail(where + "data_dir", "no such folder: " + text_of(dir));
        scenario.data_dir = dir;
    }
    if (root.contains("persistent_ints")) {
        const Json& ints = root.at("persistent_ints");
        if (!ints.is_object()) fail(where + "persistent_ints", "expected an object {\"KEY\": VALUE, ...}");
        for (const auto& [key, value] : ints.items()) {
            const std::string at = where + "persistent_ints." + key;
            std::int32_t number = 0;
            try {
                std::size_t used = 0;
                number = std::stoi(key, &used);
                if (used != key.size()) throw std::invalid_argument(key);
            } catch (const std::exception&) {
                fail(at, "a key is a 32-bit integer");
            }
            scenario.persistent_ints[number] = to_int32(value, at);
        }
    }
    const Json& steps = object_at(root, "steps", file_name);
    if (!steps.is_array()) fail(where + "steps", "expected an array of steps");
    for (std::size_t i = 0; i < steps.size(); ++i) {
        scenario.steps.push_back(parse_step(steps[i], where + "steps[" + std::to_string(i) + "]", base_dir));
    }
    return scenario;
}

Scenario load_scenario(const std::filesystem::path& file) {
    const std::string text = read_file_text(file);
    return parse_scenario(text, text_of(file), file.parent_path());
}

}  // namespace kmi::emu
