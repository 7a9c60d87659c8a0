#include "kmi_host/replay/replay_plan.h"

#include <set>
#include <utility>

#include "kmi_host/alerts/alert_rules.h"
#include "kmi_host/alerts/rules_file.h"
#include "kmi_host/bar_files/text_lines.h"
#include "kmi_host/output_files/atomic_files.h"
#include "kmi_host/output_files/replay_outputs.h"
#include "kmi_host/text/date_time_text.h"
#include "kmi_host/text/file_text.h"
#include "kmi_host/text/input_error.h"
#include "kmi_host/text/names.h"
#include "kmi_host/text/path_text.h"

namespace kmi::emu {
namespace {

// The files of --source, one per symbol, each with the slots it feeds. The chart's own symbol
// is the chart: the study reads a slot of that symbol from the chart itself.
std::vector<FeedPlan> source_feeds_of(const ReplayPlan& plan) {
    const std::string chart = lower_ascii(plan.chart.symbol);
    std::vector<FeedPlan> feeds;
    std::set<std::string> planned;
    for (const SourceFile& source : plan.sources) {
        const BarFileName& named = source.bar_file;
        if (lower_ascii(named.symbol) == chart || !planned.insert(named.symbol).second) continue;
        std::vector<std::string> slots;
        for (const SourceFile& other : plan.sources) {
            if (lower_ascii(other.bar_file.symbol) == lower_ascii(named.symbol))
                slots.emplace_back(source_slot_names[static_cast<std::size_t>(other.slot)]);
        }
        BarFileOptions options = options_for(plan.readings, slots, plan.time_zone, named.pick);
        feeds.push_back(FeedPlan{named.file, named.symbol, std::move(options), std::move(slots)});
    }
    return feeds;
}

// Which file feeds the chart and which each slot, and how each is read.
void plan_files(ReplayPlan& plan, const ReplayArguments& arguments) {
    plan.readings = plan_file_readings(arguments);
    plan.data_dir = path_of(arguments.data_dir);
    const ChartFile chart = chart_file(arguments.chart, plan.data_dir);
    plan.chart_given = arguments.chart;
    plan.sources = checked_sources(arguments.sources, chart);
    // The chart's file feeds the chart and every slot given the same file.
    std::vector<std::string> chart_slots{"chart"};
    std::vector<std::string> slots_fed{"chart"};
    for (const SourceFile& source : plan.sources) {
        const std::string slot = source_slot_names[static_cast<std::size_t>(source.slot)];
        slots_fed.push_back(slot);
        if (lower_ascii(source.bar_file.symbol) == lower_ascii(chart.bar_file.symbol)) chart_slots.push_back(slot);
    }
    if (plan.data_dir.empty()) check_slots_fed(plan.readings, slots_fed);
    const BarFileName& named = chart.bar_file;
    plan.chart = FeedPlan{named.file, named.symbol, options_for(plan.readings, chart_slots, plan.time_zone, named.pick),
                          std::move(chart_slots)};
    plan.source_feeds = source_feeds_of(plan);
}

}  // namespace

namespace {

// An inputs file as UTF-8: UTF-16 with its byte-order mark (as Windows PowerShell 5.1 writes a
// file) is decoded, each line where it was; UTF-8 is taken as it is (the JSON reader skips its
// byte-order mark).
std::string inputs_file_text(const std::string& name) {
    std::string bytes = read_file_text(path_of(name));
    if (!bytes.starts_with("\xff\xfe") && !bytes.starts_with("\xfe\xff")) return bytes;
    LineReader lines = text_lines(bytes, name);
    std::string text;
    std::string_view line;
    for (bool first = true; next_line(lines, line); first = false) (text += first ? "" : "\n") += line;
    return text;
}

}  // namespace

TimeZone chart_zone_of(const std::string& name) {
    TimeZone zone;
    try {
        zone = load_time_zone(name);
    } catch (const InputError& error) {
        throw InputError(std::string("--time-zone: ") + error.what());
    }
    if (!zone.note.empty()) zone.note.insert(0, "--time-zone: ");
    return zone;
}

ReplayPlan plan_replay(const ReplayArguments& arguments) {
    ReplayPlan plan;
    if (!arguments.serve.empty()) plan.serve = parse_listen_address(arguments.serve, arguments.allow_hosts);
    plan.from_given = arguments.from;
    if (!arguments.from.empty()) {
        plan.from = parse_date(arguments.from);
        if (!plan.from) plan.from = parse_date_time(arguments.from);
        if (!plan.from)
            throw InputError("--from: not a date YYYY-MM-DD or a date-time YYYY-MM-DD HH:MM:SS: \"" + arguments.from +
                             "\"");
    }
    plan.inputs_name = arguments.inputs_file;
    if (!arguments.inputs_file.empty()) {
        plan.inputs = parse_json_text(inputs_file_text(arguments.inputs_file), arguments.inputs_file);
        if (!plan.inputs.is_object())
            throw InputError(arguments.inputs_file + ": expected an object {\"INDEX or NAME\": VALUE, ...}");
    }
    for (const std::string& rule : arguments.alerts) {
        try {
            split_alert_rule(rule);
        } catch (const InputError& error) {
            throw InputError(std::string("--alert: ") + error.what());
        }
    }
    plan.alerts = arguments.alerts;
    plan.alerts_file = arguments.alerts_file;
    if (!plan.alerts_file.empty()) read_alert_rules_file(path_of(plan.alerts_file));
    plan.quiet = arguments.quiet;
    plan.time_zone = chart_zone_of(arguments.time_zone);
    plan_files(plan, arguments);
    plan.follow = arguments.follow;
    plan.study_path = arguments.study_path;
    plan.speed = arguments.speed;
    plan.fast = arguments.fast;
    plan.no_color = arguments.no_color;
    if (!arguments.out_dir.empty()) {
        // A folder the files cannot go to is told before the replay, not after it (a live day
        // takes minutes).
        plan.out = path_of(arguments.out_dir);
        plan.out_files = replay_output_files(plan.out, !plan.alerts.empty() || !plan.alerts_file.empty());
        check_output_folder(plan.out, plan.out_files);
    }
    plan.chart_page = !plan.out.empty() || plan.serve.has_value();
    if (plan.chart_page) plan.library = find_chart_library(arguments.program_folder);
    return plan;
}

}  // namespace kmi::emu
