#include "kmi_host/replay/replay_command.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <thread>
#include <utility>
#include <vector>

#include "kmi_host/alerts/judging.h"
#include "kmi_host/following/stop_signal.h"
#include "kmi_host/host_core/source_slot_names.h"
#include "kmi_host/host_core/study_library.h"
#include "kmi_host/output_files/replay_outputs.h"
#include "kmi_host/replay/replay.h"
#include "kmi_host/replay/replay_plan.h"
#include "kmi_host/sample_data/synth_command.h"
#include "kmi_host/serving/served_page.h"
#include "kmi_host/terminal/console_log.h"
#include "kmi_host/terminal/console_output.h"
#include "kmi_host/terminal/live_screen.h"
#include "kmi_host/text/date_time_text.h"
#include "kmi_host/text/input_error.h"
#include "kmi_host/text/names.h"
#include "kmi_host/text/path_text.h"

namespace kmi::emu {
namespace {

// The replay as it is shown while it runs.
struct Watch {
    const ReplayPlan& plan;
    LiveScreen screen{};
    bool progress = false;                  // a progress bar on stderr (--fast, stderr a terminal)
    ConsoleLog console_log{};               // the study's log as the console shows it
    std::vector<std::string> call_log{};    // the log lines of the call under way
    std::vector<std::string> held_notes{};  // told once the replay has succeeded, its files written
    bool following = false;                 // the files are followed now
    bool catching_up = false;               // files followed without --from: played without waiting first
    HostDateTime previous_clock = 0;        // of the call before, for --speed
    int shown_permille = -1;                // of the progress bar
};

Watch watch_of(const ReplayPlan& plan, const std::string& served_at) {
    Watch watch{plan};
    const bool ansi = terminal_takes_ansi(stdout);
    watch.screen.chart = plan.chart_given;
    watch.screen.served_at = served_at;
    watch.screen.in_place = !plan.fast && ansi;
    watch.screen.colour = ansi && !plan.no_color && std::getenv("NO_COLOR") == nullptr;
    watch.catching_up = plan.follow && !plan.from;
    watch.progress = (plan.fast || watch.catching_up) && terminal_takes_ansi(stderr);
    if (plan.data_dir.empty()) {
        watch.console_log.slots_given_by_option.assign(source_slot_names.begin(), source_slot_names.end());
    }
    watch.console_log.repeat_line =
        plan.out.empty()
            ? "(more reports like this one, one per full recalculation, are not shown: --out DIR keeps "
              "them in log.txt)"
            : "(more reports like this one, one per full recalculation, are in " + text_of(plan.out_files[1]) + ")";
    return watch;
}

// The log lines of the call, as the console shows them.
void show_call_log(Watch& watch) {
    for (const std::string& text : watch.console_log.shown(watch.call_log)) {
        if (watch.screen.in_place) {
            add_log_line(watch.screen, text);
        } else if (!watch.progress) {
            console_printf(stdout, "%s\n", text.c_str());
        }
    }
    watch.call_log.clear();
}

// What the files hold, as it is found while following, and the notes then.
void tell(Watch& watch, const std::string& text) {
    if (watch.screen.in_place) {
        add_log_line(watch.screen, "kmi-host: " + text);
    } else {
        console_printf(stderr, "kmi-host: %s\n", text.c_str());
        std::fflush(stderr);
    }
}

void draw(const Watch& watch, const Host& host, const std::string& status) {
    const std::string text = draw_live_screen(watch.screen, panel_rows(host), status);
    console_write(stdout, text);
    std::fflush(stdout);
}

void start_following(Watch& watch) {
    watch.following = true;
    for (const std::string& note : watch.held_notes) tell(watch, note);
    watch.held_notes.clear();
    const ReplayPlan& plan = watch.plan;
    tell(watch, "following " + plan.chart_given +
                    (plan.sources.empty() ? " as it grows" : " and the sources' files as they grow") + "; Ctrl-C ends" +
                    (plan.out.empty() ? "" : " and writes --out"));
}

void show_progress(Watch& watch, const ReplayStep& step) {
    if (!watch.progress || step.calls_total < 1000) return;
    const int permille = static_cast<int>(step.call * 1000 / step.calls_total);
    if (permille == watch.shown_permille) return;
    watch.shown_permille = permille;
    const std::string line = progress_line(static_cast<double>(step.call) / static_cast<double>(step.calls_total),
                                           format_date_time(step.clock));
    console_printf(stderr, "\r%s", line.c_str());
    if (step.call == step.calls_total) console_write(stderr, "\n");
}

void after_call(Watch& watch, const Host& host, const ReplayStep& step) {
    show_call_log(watch);
    if (step.following && !watch.following) start_following(watch);
    if (step.following) {
        // A look's calls end with the screen drawn once, at the time of the chart's newest bar.
        const std::vector<HostDateTime>& times = host.charts.at(host.study.chart_number).times;
        if (!watch.plan.fast && step.call >= step.calls_total && !times.empty()) {
            draw(watch, host, format_date_time(times.back()) + "  following");
        }
        return;
    }
    if (watch.plan.fast || watch.catching_up) {
        show_progress(watch, step);
        return;
    }
    if (!step.full && watch.previous_clock != 0) {
        // Real time divided by the speed; a gap in the data takes at most one second.
        const double seconds = static_cast<double>(step.clock - watch.previous_clock) / 1e6 / watch.plan.speed;
        std::this_thread::sleep_for(std::chrono::duration<double>(std::min(seconds, 1.0)));
    }
    watch.previous_clock = step.clock;
    if (watch.screen.in_place) {
        draw(watch, host,
             format_date_time(step.clock) + "  call " + std::to_string(step.call) + " of " +
                 std::to_string(step.calls_total));
    }
}

// An alert as it fires: told on a replay drawn live and while following (with the bell, unless
// --quiet, when stderr is a terminal); the summary counts those of a replay run --fast.
void tell_alert(Watch& watch, const FiredAlert& alert) {
    if ((watch.plan.fast || watch.catching_up) && !watch.following) return;
    tell(watch, alert_line(alert));
    if (!watch.plan.quiet && terminal_takes_ansi(stderr)) {
        console_write(stderr, "\a");
        std::fflush(stderr);
    }
}

ReplayHooks watch_hooks(Watch& watch, ServedPage* served) {
    ReplayHooks hooks;
    hooks.on_alert = [&watch](const FiredAlert& alert) { tell_alert(watch, alert); };
    hooks.on_note = [&watch](const std::string& note) { watch.held_notes.push_back(note); };
    hooks.on_report = [&watch](const std::string& text) { tell(watch, text); };
    hooks.on_log = [&watch](const LogLine& line) { watch.call_log.push_back(line.text); };
    hooks.after_call = [&watch, served](const Host& host, const ReplayStep& step) {
        after_call(watch, host, step);
        // The page's change goes to its server on the study's thread, never waiting on the network.
        if (served) {
            served->publisher.alerts = step.alerts;
            served->publisher.alert_rules = step.alert_rules;
            publish_after_call(served->publisher, host, step.from_bar, step.call >= step.calls_total);
        }
    };
    return hooks;
}

// The files of --out, all of them or none; their names.
std::string write_outputs(Watch& watch, const ReplayOutcome& outcome) {
    const ReplayPlan& plan = watch.plan;
    if (plan.out.empty()) return "";
    if (!plan.library) {
        watch.held_notes.push_back(
            text_of(plan.out_files[3]) +
            ": the charting library uPlot was not found (with its LICENSE, in uplot/ beside the program, as the "
            "release archive holds it, or in page/node_modules/uplot/ of its folder or a folder above, which npm "
            "ci in page/ installs): the page says so instead of showing the chart");
    }
    // Each file is written straight from the replay's outcome into its place.
    const auto written = replay_output_writers(outcome.page, outcome.log_txt, outcome.panel_txt, plan.out, plan.library,
                                               !plan.alerts.empty() || !plan.alerts_file.empty());
    make_folder(plan.out);
    try {
        write_files_atomically(written);
    } catch (const std::bad_alloc&) {
        throw InputError("not enough memory to write the files of --out " + text_of(plan.out) + " (" +
                         counted(outcome.bar_count, "bar", "bars") +
                         "): replay fewer bars, with a shorter file (the files there are left as they were)");
    }
    std::string names;
    for (const auto& [file, content] : written) names += (names.empty() ? "" : ", ") + text_of(file);
    return names;
}

void print_summary(const Watch& watch, const ReplayOutcome& outcome, const std::string& written) {
    const int live_bars = outcome.bar_count - outcome.history_bars;
    console_printf(stdout, "\nReplayed %s of %s (%d as history, %d live) in %s. The panel at the end:\n",
                   counted(outcome.bar_count, "bar", "bars").c_str(), watch.plan.chart_given.c_str(),
                   outcome.history_bars, live_bars, counted(outcome.calls, "call", "calls").c_str());
    console_write(stdout, render_panel(outcome.panel, panel_width(outcome.panel), watch.screen.colour));
    if (!watch.plan.alerts.empty() || !watch.plan.alerts_file.empty()) {
        console_printf(
            stdout, "%s on closed bars.\n",
            counted(static_cast<std::int64_t>(outcome.page.alerts.size()), "alert fired", "alerts fired").c_str());
    }
    if (!written.empty()) console_printf(stdout, "Written: %s\n", written.c_str());
}

}  // namespace

// Running out of memory where the replay did not tell more is told for the replay as a whole;
// whatever it held is given back on the way here.
int replay_command(const ReplayArguments& arguments) try {
    const ReplayPlan plan = plan_replay(arguments);
    // The page's server first: a port that cannot be had is told before any bar is read.
    const std::unique_ptr<ServedPage> served =
        plan.serve ? start_served_page(*plan.serve, plan.library, plan.follow) : nullptr;
    const LoadedStudy study(plan.study_path);
    // Ctrl-C ends following as a finished replay ends, its files written whole.
    if (plan.follow) catch_stop_signals();
    Watch watch = watch_of(plan, served ? "  " + page_server_url(*served->server) : std::string());
    const ReplayOutcome outcome = run_replay(study.library.study_function, plan, watch_hooks(watch, served.get()));
    if (served) {
        // The replay's alerts went with it: the page's data hold them from here on.
        served->publisher.alerts = nullptr;
        served->publisher.alert_rules = nullptr;
        publish_end(served->publisher, outcome.page, outcome.panel_txt);
    }
    show_call_log(watch);
    if (plan.from && outcome.bar_count == outcome.history_bars) {
        watch.held_notes.push_back(
            "--from " + plan.from_given + ": no bar starts at or after it, so nothing arrived live (" +
            counted(outcome.bar_count, "bar", "bars") + " of history); an earlier --from replays bars live");
    }
    const std::string written = write_outputs(watch, outcome);
    std::fflush(stdout);
    for (const std::string& note : watch.held_notes) console_printf(stderr, "kmi-host: %s\n", note.c_str());
    print_summary(watch, outcome, written);
    if (served) serve_until_stopped(*served);
    return 0;
} catch (const std::bad_alloc&) {
    throw InputError("not enough memory to replay " + arguments.chart + ": replay fewer bars, with a shorter file");
}

int demo_command(const DemoArguments& arguments) {
    const std::filesystem::path out = path_of(arguments.out_dir);
    const SynthOptions options;
    synth_command(text_of(out / "data"), options);
    ReplayArguments replay;
    replay.data_dir = text_of(out / "data");
    replay.chart = synth_chart_symbol;
    replay.from = format_date(synth_last_day());
    replay.fast = true;
    replay.out_dir = text_of(out);
    replay.study_path = arguments.study_path;
    replay.program_folder = arguments.program_folder;
    console_printf(stdout, "Replaying %s from %s (the last day live, the days before as history)...\n",
                   replay.chart.c_str(), replay.from.c_str());
    return replay_command(replay);
}

}  // namespace kmi::emu
