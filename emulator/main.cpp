// kmi-host: our charting host for the study.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <string>

#include "emulator/core/host_core.h"
#include "emulator/core/study_library.h"
#include "host/host_datetime.h"

namespace {

using namespace kmi::emu;

// The study library beside this program.
std::string default_study_path(const char* argv0) {
    const std::filesystem::path program(argv0);
    return (program.parent_path() / KMI_STUDY_FILE_NAME).string();
}

const char* type_name(std::uint8_t type) {
    switch (type) {
        case kmi_input_float: return "float";
        case kmi_input_yes_no: return "yes/no";
        case kmi_input_time_of_day: return "time of day";
        case kmi_input_integer: return "integer";
        case kmi_input_colour: return "colour";
        case kmi_input_custom_list: return "list";
        case kmi_input_text: return "text";
        default: return "";
    }
}

std::string input_value_text(const HostInput& in) {
    char buffer[64];
    switch (in.type) {
        case kmi_input_float:
            std::snprintf(buffer, sizeof buffer, "%g", static_cast<double>(input_float(in)));
            return buffer;
        case kmi_input_time_of_day:
            std::snprintf(buffer, sizeof buffer, "%.16g days", input_double(in));
            return buffer;
        case kmi_input_text: {
            const char* text = input_text(in);
            return text == nullptr ? std::string("(no text)") : "\"" + std::string(text) + "\"";
        }
        default:
            return std::to_string(input_int32(in));
    }
}

// A small built-in chart: one regular session of 1-minute bars.
Chart demo_chart() {
    Chart chart = make_chart(1, "ESZ26.CME", 60);
    const HostDateTime start = (46358LL * 86400 + 9 * 3600 + 30 * 60) * 1000000;  // 2026-12-02 09:30
    for (int i = 0; i < 30; ++i) {
        const float price = 6000.0f + static_cast<float>(i % 7) - 3.0f;
        append_bar(chart, Bar{start + i * 60000000LL, price, price + 1.25f, price - 1.0f, price + 0.25f, 1000.0f,
                              480.0f, 520.0f});
    }
    return chart;
}

int run_demo(const std::string& study_path) {
    std::string error;
    auto library = load_study_library(study_path, error);
    if (!library) {
        std::fprintf(stderr, "kmi-host: %s\n", error.c_str());
        return 1;
    }
    auto host = make_host(library->study_function, demo_chart());
    call_study(*host, CallKind::defaults);
    const StudyInstance& study = host->study;
    std::printf("Study: %s (host interface %d)\n%s\n\nOutput series:\n", study.study_name.data,
                library->dll_version(), study.study_description.data);
    for (std::size_t i = 0; i < study.outputs.size(); ++i) std::printf("  %2zu  %s\n", i, study.outputs[i].name.data);
    std::printf("\nInputs:\n");
    for (std::size_t i = 0; i < study.inputs.size(); ++i) {
        const HostInput& in = study.inputs[i];
        if (in.type == 0) continue;
        std::printf("  %2zu  %-58s %-12s %s\n", i, in.name.data, type_name(in.type), input_value_text(in).c_str());
    }
    if (!call_study(*host, CallKind::full)) {
        std::fprintf(stderr, "kmi-host: the study refused this host's record\n");
        return 1;
    }
    std::printf("\nFull recalculation of %d bars: state %s, %zu log lines, %zu drawings.\n",
                bar_count(study_chart(*host)), state_is_set(*host) ? "set" : "null", host->log.size(),
                host->drawings.size());
    call_study(*host, CallKind::last);
    destroy_host_values(*host);
    unload_study_library(*library);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"kmi-host: runs the Keelwick Market Internals study as a charting host does"};
    app.require_subcommand(1);
    std::string study_path = default_study_path(argv[0]);
    CLI::App* demo = app.add_subcommand("demo", "Run the study on a small built-in chart and show what it declares");
    demo->add_option("--study", study_path, "The study library")->capture_default_str();
    CLI11_PARSE(app, argc, argv);
    if (demo->parsed()) return run_demo(study_path);
    return 0;
}
