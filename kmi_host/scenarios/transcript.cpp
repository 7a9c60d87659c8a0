#include "kmi_host/scenarios/transcript.h"

#include <cstring>
#include <filesystem>
#include <optional>
#include <set>

#include "host/host_text.h"
#include "kmi_host/bar_files/reader.h"
#include "kmi_host/host_core/input_values.h"
#include "kmi_host/text/date_time_text.h"
#include "kmi_host/text/input_error.h"
#include "kmi_host/text/names.h"
#include "kmi_host/text/path_text.h"

namespace kmi::emu {
namespace {

const char* kind_name(CallKind kind) {
    switch (kind) {
        case CallKind::defaults: return "defaults";
        case CallKind::full: return "full";
        case CallKind::update: return "update";
        case CallKind::last: return "last";
    }
    return "";
}

Json byte_array(const unsigned char* bytes, std::size_t count) {
    Json out = Json::array();
    for (std::size_t i = 0; i < count; ++i) out.push_back(bytes[i]);
    return out;
}

Json series_row(const StudyInstance& study, std::size_t bar) {
    Json values = Json::array();
    for (const std::vector<float>& series : study.series) {
        values.push_back(json_number(bar < series.size() ? series[bar] : 0.0f));
    }
    return values;
}

bool same_bits(float a, float b) {
    std::uint32_t x = 0, y = 0;
    std::memcpy(&x, &a, sizeof x);
    std::memcpy(&y, &b, sizeof y);
    return x == y;
}

struct Run {
    const Scenario& scenario;
    Host& host;
    std::string out;
    std::size_t open_requests_seen = 0;
    std::int32_t calls = 0;
    std::optional<std::int32_t> bar_count_at_last_call;
    std::set<std::string> data_dir_tried;

    void emit(const Json& event) {
        out += dump_compact(event);
        out += '\n';
    }

    void drain_open_requests() {
        while (open_requests_seen < host.open_requests.size()) {
            const OpenChartRecord& record = host.open_requests[open_requests_seen++];
            Json event;
            event["event"] = "open_chart";
            event["request"] = open_request_json(record);
            event["result"] = record.result;
            emit(event);
        }
    }

    void observe(const HostOperation& operation) {
        drain_open_requests();
        Json event;
        switch (operation.kind) {
            case HostOperation::Kind::log_message:
                event["event"] = "log";
                event["text"] = operation.log_line->text;
                event["show"] = operation.log_line->show;
                break;
            case HostOperation::Kind::add_or_update_drawing:
                event["event"] = "drawing";
                event["request"] = drawing_request_json(*operation.drawing);
                break;
            case HostOperation::Kind::delete_drawing:
                event["event"] = "delete_drawing";
                event["chart"] = operation.chart;
                event["line_number"] = operation.line_number;
                break;
        }
        emit(event);
    }

    // Text inputs naming a file SYMBOL.csv in the data folder put that chart in the
    // library, so open_chart can open it.
    void load_data_dir_symbols() {
        if (!scenario.data_dir) return;
        for (const HostInput& in : host.study.inputs) {
            if (!input_holds_text(in.type) || input_text(in) == nullptr) continue;
            const std::string symbol = input_text(in);
            if (!is_plain_file_name(symbol) || host.symbol_library.count(symbol) != 0) continue;
            if (!data_dir_tried.insert(symbol).second) continue;
            const std::filesystem::path file = *scenario.data_dir / path_of(symbol + ".csv");
            std::error_code error;
            if (!std::filesystem::is_regular_file(file, error)) continue;
            const std::vector<Bar> bars = read_bar_file(file).bars;
            Chart chart = make_chart(0, symbol, typical_bar_seconds(bars));
            set_bars(chart, bars);
            host.symbol_library[symbol] = std::move(chart);
        }
    }

    std::int32_t default_update_start(std::int32_t bars) const {
        std::int32_t start = bars - 1;
        if (bar_count_at_last_call && bars > *bar_count_at_last_call) start = *bar_count_at_last_call - 1;
        return start < 0 ? 0 : start;
    }

    void call(const CallStep& step) {
        load_data_dir_symbols();
        host.now = step.now;
        host.alternate_now = step.alternate_now;
        host.use_alternate_clock = step.use_alternate_clock;
        const std::int32_t bars = bar_count(study_chart(host));
        std::int32_t start = 0;
        if (step.kind == CallKind::update) start = step.update_start_index.value_or(default_update_start(bars));
        const std::vector<std::vector<float>> before = host.study.series;

        ++calls;
        Json event;
        event["event"] = "call";
        event["n"] = calls;
        event["kind"] = kind_name(step.kind);
        event["bar_count"] = bars;
        event["update_start_index"] = start;
        emit(event);

        call_study(host, step.kind, start);
        bar_count_at_last_call = bars;
        drain_open_requests();
        if (step.kind == CallKind::defaults) emit(declared_event(host));
        emit_changed_series(before);

        Json end;
        end["event"] = "end";
        end["n"] = calls;
        end["state"] = state_is_set(host) ? "set" : "null";
        Json drawings = Json::array();
        for (const auto& [key, drawing] : host.drawings) {
            if (key.first == host.study.chart_number) drawings.push_back(Json::array({key.second, drawing.text}));
        }
        end["drawings"] = drawings;
        emit(end);
    }

    void emit_changed_series(const std::vector<std::vector<float>>& before) {
        std::size_t bars = 0;
        for (const auto& series : host.study.series) bars = std::max(bars, series.size());
        for (std::size_t bar = 0; bar < bars; ++bar) {
            bool changed = false;
            for (std::size_t s = 0; s < host.study.series.size() && !changed; ++s) {
                const auto& now = host.study.series[s];
                const float old_value = s < before.size() && bar < before[s].size() ? before[s][bar] : 0.0f;
                const float new_value = bar < now.size() ? now[bar] : 0.0f;
                changed = !same_bits(old_value, new_value);
            }
            if (!changed) continue;
            Json event;
            event["event"] = "series";
            event["bar"] = bar;
            event["values"] = series_row(host.study, bar);
            emit(event);
        }
    }

    Chart& chart_of(std::int32_t number, const std::string& where) {
        const auto it = host.charts.find(number);
        if (it == host.charts.end()) throw InputError(where + ": chart " + std::to_string(number) + " is not open");
        return it->second;
    }

    void change_bars(const BarsStep& step, const std::string& where) {
        const char* name = step.kind == BarsStep::Kind::append        ? ".append"
                           : step.kind == BarsStep::Kind::update_last ? ".update_last"
                                                                      : ".set_bars";
        Chart& chart = chart_of(step.chart, where + name + ".chart");
        switch (step.kind) {
            case BarsStep::Kind::append:
                if (!step.bars.empty() && !chart.times.empty() && step.bars.front().time <= chart.times.back()) {
                    throw InputError(where + name + ".bars[0]: bar time " + format_date_time(step.bars.front().time) +
                                     " is not after the chart's last bar " + format_date_time(chart.times.back()));
                }
                for (const Bar& bar : step.bars) append_bar(chart, bar);
                break;
            case BarsStep::Kind::update_last:
                if (chart.times.size() >= 2 && step.bars.front().time <= chart.times[chart.times.size() - 2]) {
                    throw InputError(where + name + ".bar: bar time " + format_date_time(step.bars.front().time) +
                                     " is not after the bar before the last");
                }
                replace_last_bar(chart, step.bars.front());
                break;
            case BarsStep::Kind::set_bars:
                set_bars(chart, step.bars);
                if (step.symbol) chart.symbol = *step.symbol;
                if (step.time_zone) chart.time_zone = *step.time_zone;
                break;
        }
    }

    Json final_event() {
        Json event;
        event["event"] = "final";
        Json series = Json::array();
        const std::size_t bars = static_cast<std::size_t>(bar_count(study_chart(host)));
        for (std::size_t bar = 0; bar < bars; ++bar) series.push_back(series_row(host.study, bar));
        event["series"] = series;
        Json ints = Json::object();
        for (const auto& [key, value] : host.study.ints) ints[std::to_string(key)] = value;
        event["persistent_ints"] = ints;
        return event;
    }
};

}  // namespace

Json open_request_json(const OpenChartRecord& record) {
    const ChartOpenRequest& r = record.request;
    Json out;
    out["0"] = r.request_code;
    out["4"] = r.remembered_chart_number;
    out["8"] = r.request_kind;
    out["16"] = record.symbol;
    out["40"] = r.value_at_40;
    out["44"] = r.bar_seconds;
    Json times = Json::array();
    for (double time : r.session_times) times.push_back(json_number(time));
    out["48"] = times;
    out["80"] = byte_array(r.zero_80, sizeof r.zero_80);
    out["96"] = r.value_at_96;
    out["100"] = r.value_at_100;
    out["104"] = r.value_at_104;
    out["108"] = r.session_value_3;
    out["112"] = r.value_at_112;
    out["116"] = r.session_value_1;
    out["120"] = r.hide_chart;
    out["124"] = r.value_at_124;
    out["126"] = byte_array(r.zero_126, sizeof r.zero_126);
    out["130"] = r.value_at_130;
    out["136"] = record.time_zone;
    out["160"] = r.value_at_160;
    return out;
}

Json drawing_request_json(const Drawing& drawing) {
    const DrawingRequest& r = drawing.request;
    Json out;
    out["4"] = r.chart_number;
    out["12"] = r.line_number;
    out["32"] = json_number(r.vertical_position);
    out["40"] = r.region;
    out["44"] = r.text_color;
    out["56"] = r.font_size;
    out["192"] = r.horizontal_position;
    out["208"] = drawing.text;
    out["232"] = r.drawing_type;
    out["240"] = r.value_at_240;
    out["252"] = r.background_color;
    out["256"] = drawing.font_face;
    out["288"] = r.text_alignment;
    out["292"] = r.value_at_292;
    out["752"] = r.value_at_752;
    out["824"] = r.value_at_824;
    out["840"] = r.value_at_840;
    out["892"] = r.value_at_892;
    return out;
}

Json declared_event(const Host& host) {
    const StudyInstance& study = host.study;
    Json event;
    event["event"] = "declared";
    event["name"] = kmi::text_chars(study.study_name);
    event["description"] = kmi::text_chars(study.study_description);
    Json settings;
    settings["study_region"] = study.study_region;
    for (std::size_t i = 0; i < study.host_settings.size(); ++i) {
        settings["host_setting_" + std::to_string(i + 1)] = study.host_settings[i];
    }
    event["settings"] = settings;
    Json outputs = Json::array();
    for (std::size_t i = 0; i < study.outputs.size(); ++i) {
        const HostOutputSeries& series = study.outputs[i];
        Json output;
        output["index"] = i;
        output["name"] = kmi::text_chars(series.name);
        output["colour"] = series.colour;
        output["presentation_code"] = series.presentation_code;
        output["presentation_value"] = series.presentation_value;
        output["presentation_flag"] = series.presentation_flag;
        outputs.push_back(output);
    }
    event["outputs"] = outputs;
    Json inputs = Json::array();
    for (std::size_t i = 0; i < study.inputs.size(); ++i) {
        if (input_is_declared(study.inputs[i])) inputs.push_back(declared_input_json(host, static_cast<int>(i)));
    }
    event["inputs"] = inputs;
    return event;
}

std::string run_scenario(const Scenario& scenario, StudyFunction study_function) {
    std::unique_ptr<Host> host = make_host(study_function, scenario.chart, scenario.study_id);
    for (const Chart& chart : scenario.charts) host->charts[chart.number] = chart;
    host->symbol_library = scenario.symbols;
    host->region_top_px = scenario.region_top_px;
    host->region_bottom_px = scenario.region_bottom_px;
    for (const auto& [key, value] : scenario.persistent_ints) host->study.ints[key] = value;
    Run run{scenario, *host, {}, 0, 0, std::nullopt, {}};
    host->observer = [&run](const HostOperation& operation) { run.observe(operation); };
    try {
        for (const ScenarioStep& step : scenario.steps) {
            if (const auto* call = std::get_if<CallStep>(&step.action)) {
                run.call(*call);
            } else if (const auto* bars = std::get_if<BarsStep>(&step.action)) {
                run.change_bars(*bars, step.where);
            } else if (const auto* inputs = std::get_if<InputsStep>(&step.action)) {
                store_input_values(*host, inputs->settings, step.where + ".set_inputs");
            } else if (const auto* region = std::get_if<RegionStep>(&step.action)) {
                host->region_top_px = region->top_px;
                host->region_bottom_px = region->bottom_px;
            }
        }
        run.emit(run.final_event());
    } catch (...) {
        close_host(*host);
        throw;
    }
    close_host(*host);
    return std::move(run.out);
}

}  // namespace kmi::emu
