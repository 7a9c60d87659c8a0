// Test support for the kmi-host program: a tiny study function whose every host call is
// known, temporary folders, files, JSON Lines and running the kmi-host program itself.
#ifndef KMI_TESTS_KMI_HOST_SUPPORT_H
#define KMI_TESTS_KMI_HOST_SUPPORT_H

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "host/host_text.h"
#include "host/process_heap.h"
#include "kmi_host/host_core/host_core.h"
#include "kmi_host/replay/replay_plan.h"
#include "kmi_host/text/json_text.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace kmi::test::host_program {

using emu::Json;

// The plan of a replay as kmi-host makes it of `arguments`, with the chart page's data worked
// out, as for a replay that writes chart.html.
inline emu::ReplayPlan replay_plan(const emu::ReplayArguments& arguments) {
    emu::ReplayPlan plan = emu::plan_replay(arguments);
    plan.chart_page = true;
    return plan;
}

// The same of the chart `chart` (a bar file, or a symbol of `data_dir` when that is not empty).
inline emu::ReplayPlan replay_plan(const std::filesystem::path& data_dir, const std::string& chart) {
    emu::ReplayArguments arguments;
    arguments.data_dir = data_dir.string();
    arguments.chart = chart;
    return replay_plan(arguments);
}

// --- The fake study ----------------------------------------------------------------------
//
// Defaults: declares "Fake Study" with seven inputs (yes/no, list, integer with limits,
// float with limits, time, text "TICK-NYSE", colour) and names two output series.
// Other calls: keeps a call counter under persistent pointer 1; on a call starting at bar
// 0 opens a chart for input 5's symbol (remembering the result in persistent integer 10);
// logs "call N bars B start U now T region TOP-BOTTOM"; draws line 100 ("bars B") and, from three bars on,
// line 101 (else deletes it); writes series 0 = close and series 1 = bar index from the
// start index on, series 2 = NaN at bar 0 and infinity at bar 1.
// Last call: deletes lines 100 and 101 and frees the counter.

struct FakeState {
    int calls = 0;
};

// Fake states alive now: 0 after every run that released the study's state.
inline int live_fake_states = 0;

inline void fake_set_text_input(HostInput& in, const char* text) {
    if (in.type == kmi_input_text && input_text_owned(in) != 0) kmi::heap_free(input_text(in));
    const std::size_t length = std::strlen(text);
    auto* copy = static_cast<char*>(kmi::heap_alloc(length + 1));
    std::memcpy(copy, text, length);
    in.type = kmi_input_text;
    set_input_text(in, copy, 1);
}

inline void fake_declare(HostInterface& h) {
    kmi::assign(h.study_name, "Fake Study", 10);
    kmi::assign(h.study_description, "for host tests", 14);
    h.study_region = 0;
    h.host_setting_1 = 1;
    h.host_setting_2 = 2;
    h.host_setting_3 = 2;
    h.host_setting_4 = 0;
    kmi::assign(h.output_series[0].name, "Close", 5);
    kmi::assign(h.output_series[1].name, "Index, plain", 12);
    for (int i = 0; i < 2; ++i) {
        h.output_series[i].colour = 255;
        h.output_series[i].presentation_code = 5;
        h.output_series[i].presentation_value = 1;
        h.output_series[i].presentation_flag = 1;
    }
    HostInput* in = h.inputs;
    kmi::assign(in[0].name, "Show", 4);
    in[0].type = kmi_input_yes_no;
    set_input_int32(in[0], 1);
    kmi::assign(in[1].name, "Corner", 6);
    if (in[1].set_list_items != nullptr) in[1].set_list_items(in[1].list_items_context, "Left;Right");
    in[1].type = kmi_input_custom_list;
    set_input_int32(in[1], 1);
    kmi::assign(in[2].name, "Size", 4);
    in[2].type = kmi_input_integer;
    set_input_int32(in[2], 9);
    set_input_int_limits(in[2], 5, 30);
    kmi::assign(in[3].name, "Ratio", 5);
    in[3].type = kmi_input_float;
    set_input_float(in[3], 1.5f);
    set_input_float_limits(in[3], 1.01f, 100.0f);
    kmi::assign(in[4].name, "Start", 5);
    in[4].type = kmi_input_time_of_day;
    set_input_double(in[4], 34200.0 / 86400.0);
    kmi::assign(in[5].name, "Symbol", 6);
    fake_set_text_input(in[5], "TICK-NYSE");
    kmi::assign(in[6].name, "Colour", 6);
    in[6].type = kmi_input_colour;
    set_input_uint32(in[6], 0x0000FF80u);
}

inline void fake_open_chart(HostInterface& h) {
    ChartOpenRequest request{};
    request.request_code = 5;
    request.remembered_chart_number = *h.persistent_int(&h, 10);
    request.request_kind = 2;
    request.symbol = kmi::make_text();
    const char* symbol = input_text(h.inputs[5]);
    if (symbol != nullptr) kmi::assign(request.symbol, symbol, static_cast<std::int64_t>(std::strlen(symbol)));
    request.bar_seconds = 60;
    HostSessionTimes session{};
    if (h.get_session_times(&h, h.this_chart_number, &session) != 0) {
        for (int i = 0; i < 4; ++i) request.session_times[i] = session.times[i];
        request.session_value_1 = session.values[0];
        request.session_value_3 = session.values[2];
    }
    request.zero_80[3] = 7;
    request.value_at_96 = 1;
    request.value_at_112 = 1;
    request.hide_chart = 1;
    request.value_at_124 = -2;
    request.zero_126[1] = 9;
    request.value_at_130 = 3;
    request.unwritten_12[0] = 0xAB;
    request.unwritten_132[0] = 0xCD;
    request.time_zone = kmi::make_text();
    h.get_time_zone_text(&h, h.this_chart_number, &request.time_zone);
    request.value_at_160 = 4;
    const std::int32_t result = h.open_chart(&h, &request);
    if (result > 0) *h.persistent_int(&h, 10) = result;
    kmi::release(request.symbol);
    kmi::release(request.time_zone);
}

inline void fake_draw(HostInterface& h, std::int32_t line, const std::string& text) {
    DrawingRequest request{};
    request.record_size = sizeof request;
    request.chart_number = h.this_chart_number;
    request.line_number = line;
    request.vertical_position = line == 100 ? 97.5f : 0.1f;
    request.region = h.study_region;
    request.text_color = input_uint32(h.inputs[6]);
    request.font_size = 9;
    request.horizontal_position = 149LL * 86400000000LL;
    request.text = kmi::make_text();
    kmi::assign(request.text, text.c_str(), static_cast<std::int64_t>(text.size()));
    request.drawing_type = 6;
    request.value_at_240 = 3;
    request.interface_version = KMI_HOST_INTERFACE_VERSION;
    request.background_color = 0x00201C1Cu;
    request.font_face = kmi::make_text();
    kmi::assign(request.font_face, "Consolas", 8);
    request.text_alignment = 2;
    request.value_at_292 = 1;
    request.value_at_752 = -1;
    h.add_or_update_drawing(&h, &request);
    kmi::release(request.text);
    kmi::release(request.font_face);
}

inline void fake_study(HostInterface* record) {
    HostInterface& h = *record;
    if (h.is_defaults_call != 0) {
        fake_declare(h);
        return;
    }
    auto* state = static_cast<FakeState*>(h.persistent_pointer(&h, 1));
    if (h.is_last_call != 0) {
        h.delete_drawing(&h, h.this_chart_number, 0, 100);
        h.delete_drawing(&h, h.this_chart_number, 0, 101);
        if (state != nullptr) --live_fake_states;
        delete state;
        h.set_persistent_pointer(&h, 1, nullptr);
        return;
    }
    if (state == nullptr) {
        state = new FakeState;
        ++live_fake_states;
        h.set_persistent_pointer(&h, 1, state);
    }
    ++state->calls;
    if (h.update_start_index == 0) fake_open_chart(h);
    const std::string message =
        "call " + std::to_string(state->calls) + " bars " + std::to_string(h.bar_count) + " start " +
        std::to_string(h.update_start_index) + " now " +
        std::to_string(h.now_from_alternate_clock != 0 ? h.alternate_current_date_time : h.current_date_time) +
        " region " + std::to_string(h.region_top_px) + "-" + std::to_string(h.region_bottom_px);
    h.log_message(&h, message.c_str(), 0);
    fake_draw(h, 100, "bars " + std::to_string(h.bar_count));
    if (h.bar_count >= 3) {
        fake_draw(h, 101, "three or more");
    } else {
        h.delete_drawing(&h, h.this_chart_number, 0, 101);
    }
    for (std::int32_t bar = h.update_start_index; bar < h.bar_count; ++bar) {
        set_series_value(h.output_series[0], bar, host_at(h.bar_close, bar));
        set_series_value(h.output_series[1], bar, static_cast<float>(bar));
        if (bar == 0) set_series_value(h.output_series[2], bar, std::numeric_limits<float>::quiet_NaN());
        if (bar == 1) set_series_value(h.output_series[2], bar, std::numeric_limits<float>::infinity());
    }
}

// --- Files and folders ---------------------------------------------------------------

struct TempFolder {
    std::filesystem::path path;
    TempFolder() {
        std::random_device device;
        path = std::filesystem::temp_directory_path() /
               ("kmi_host_test_" + std::to_string(device()) + "_" + std::to_string(device()));
        std::filesystem::create_directories(path);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::filesystem::path operator/(const std::string& name) const { return path / name; }
};

inline void write_text(const std::filesystem::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary);
    out << text;
}

inline std::string read_text(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::vector<Json> json_lines(const std::string& text) {
    std::vector<Json> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(Json::parse(line));
    return lines;
}

inline std::vector<std::string> event_names(const std::vector<Json>& events) {
    std::vector<std::string> names;
    for (const Json& event : events) names.push_back(event.at("event").get<std::string>());
    return names;
}

// --- Running the program -------------------------------------------------------------

struct ProgramRun {
    int exit_code = -1;
    std::string out;
    std::string err;
};

// Runs kmi-host with `arguments` (shell words) in `folder`, after the shell command `before`
// (such as a ulimit) when one is given.
inline ProgramRun run_program(const std::string& arguments, const std::filesystem::path& folder,
                              const std::string& before = "") {
    const std::filesystem::path out = folder / "program.stdout", err = folder / "program.stderr";
    const std::string command = "cd '" + folder.string() + "' && " + (before.empty() ? "" : before + " && ") + "'" +
                                std::string(KMI_HOST_PROGRAM_PATH) + "' " + arguments + " > '" + out.string() +
                                "' 2> '" + err.string() + "'";
    const int status = std::system(command.c_str());
    ProgramRun run;
#ifndef _WIN32
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#else
    run.exit_code = status;
#endif
    run.out = read_text(out);
    run.err = read_text(err);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return run;
}

}  // namespace kmi::test::host_program

#endif
