#include "kmi_host/replay/inspect_command.h"

#include <cstdio>

#include "kmi_host/bar_files/reader.h"
#include "kmi_host/replay/replay_plan.h"
#include "kmi_host/terminal/console_output.h"
#include "kmi_host/text/input_error.h"
#include "kmi_host/text/path_text.h"

namespace kmi::emu {
namespace {

// The files to read and how: the chart's and the sources' as a replay plans them, then those
// named alone with the options for every file.
std::vector<FeedPlan> planned_files(const InspectArguments& arguments, TimeZone& chart_zone) {
    const ReplayArguments& given = arguments.replay;
    std::vector<FeedPlan> files;
    FileReadings readings;
    if (!given.chart.empty()) {
        const ReplayPlan plan = plan_replay(given);
        chart_zone = plan.time_zone;
        readings = plan.readings;
        files.push_back(plan.chart);
        files.insert(files.end(), plan.source_feeds.begin(), plan.source_feeds.end());
    } else {
        if (!given.sources.empty()) throw InputError("--source: inspect reads the sources beside a --chart");
        chart_zone = chart_zone_of(given.time_zone);
        readings = plan_file_readings(given);
        check_slots_fed(readings, {});
    }
    for (const std::string& text : arguments.files) {
        const std::string argument = "inspect " + text;
        const BarFileName named = *parse_bar_file_name(text, argument, true);
        if (!is_file(named.file)) throw InputError(argument + ": no file " + text_of(named.file));
        files.push_back(FeedPlan{named.file, named.symbol, options_for(readings, {}, chart_zone, named.pick), {}});
    }
    if (files.empty()) throw InputError("inspect: name a bar file (kmi-host inspect FILE), or --chart FILE");
    return files;
}

}  // namespace

int inspect_command(const InspectArguments& arguments) {
    TimeZone chart_zone;
    const std::vector<FeedPlan> files = planned_files(arguments, chart_zone);
    if (!chart_zone.note.empty()) std::fprintf(stderr, "kmi-host: %s\n", chart_zone.note.c_str());
    int exit_code = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string name = text_of(files[i].file);
        try {
            const BarFile read = read_bar_file(files[i].file, files[i].options);
            const std::string text = reading_plan_text(name, read.plan, read.bars, read.notes, chart_zone.name);
            console_printf(stdout, "%s%s", i == 0 ? "" : "\n", text.c_str());
        } catch (const InputError& error) {
            std::fflush(stdout);
            console_printf(stderr, "kmi-host: %s\n", error.what());
            exit_code = 1;
        }
    }
    std::fflush(stdout);
    return exit_code;
}

}  // namespace kmi::emu
