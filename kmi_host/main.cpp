// kmi-host: our charting host for the study. Commands: run (a scenario, with its
// transcript), replay (market data through the study, the panel drawn live), synth
// (sample data) and demo.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "kmi_host/bar_files/reader.h"
#include "kmi_host/following/stop_signal.h"
#include "kmi_host/host_core/host_core.h"
#include "kmi_host/host_core/study_library.h"
#include "kmi_host/output_files/atomic_files.h"
#include "kmi_host/output_files/chart_page.h"
#include "kmi_host/output_files/series_files.h"
#include "kmi_host/replay/replay.h"
#include "kmi_host/sample_data/synth.h"
#include "kmi_host/scenarios/scenario.h"
#include "kmi_host/serving/served_replay.h"
#include "kmi_host/terminal/console_log.h"
#include "kmi_host/terminal/terminal_panel.h"
#include "kmi_host/text/date_time_text.h"
#include "kmi_host/text/file_text.h"
#include "kmi_host/text/input_error.h"
#include "kmi_host/text/names.h"
#include "kmi_host/text/path_text.h"

#ifdef _WIN32
#include <windows.h>
#endif
#include "kmi_host/scenarios/transcript.h"

#ifdef _WIN32
#include <conio.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#endif

namespace {

using namespace kmi::emu;

// The study library beside this program.
// The folder of this program, wherever it was started from (also through the PATH): the
// default study library lies there, and the search for the chart page's library starts there.
std::filesystem::path program_folder(const char* argv0) {
#ifdef _WIN32
    wchar_t buffer[32768];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(std::size(buffer)));
    if (length > 0 && length < std::size(buffer)) return std::filesystem::path(buffer).parent_path();
#else
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error && self.has_parent_path()) return self.parent_path();
#endif
    return path_of(argv0).parent_path();
}

// The study library beside this program.
std::string default_study_path(const char* argv0) { return text_of(program_folder(argv0) / KMI_STUDY_FILE_NAME); }

// The loaded study library, unloaded when it goes out of scope.
struct LoadedStudy {
    StudyLibrary library;
    explicit LoadedStudy(const std::string& path) {
        std::string error;
        auto loaded = load_study_library(path, error);
        if (!loaded) throw InputError(error);
        library = *loaded;
    }
    LoadedStudy(const LoadedStudy&) = delete;
    LoadedStudy& operator=(const LoadedStudy&) = delete;
    ~LoadedStudy() { unload_study_library(library); }
};

// "1 bar", "2 bars".
std::string counted(std::int64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

void write_stdout(const std::string& text) {
#ifdef _WIN32
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);  // the same bytes as on every other platform
#endif
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

int run_command(const std::string& scenario_file, const std::string& study_path, const std::string& transcript_file) {
    const Scenario scenario = load_scenario(path_of(scenario_file));
    const LoadedStudy study(study_path);
    const std::string transcript = run_scenario(scenario, study.library.study_function);
    if (transcript_file.empty()) {
        write_stdout(transcript);
    } else {
        write_file_atomically(path_of(transcript_file), transcript);
    }
    return 0;
}

struct ReplayCommand {
    std::string data_dir;
    std::string chart;
    std::vector<std::string> sources;
    std::string time_zone = "America/New_York";
    std::vector<std::string> data_time_zones;
    std::vector<std::string> bar_stamps;
    std::vector<std::string> columns;
    std::string from;
    double speed = 60.0;
    bool fast = false;
    std::string inputs_file;
    std::string out_dir;
    std::string study_path;
    bool no_color = false;
    bool follow = false;
    std::string serve;                     // [ADDRESS:]PORT of the chart page's server, or empty
    std::filesystem::path program_folder;  // where the chart page's library is looked for
};

Json read_inputs_file(const std::string& file) { return parse_json_text(read_file_text(path_of(file)), file); }

int terminal_width() {
    const char* columns = std::getenv("COLUMNS");
    const int width = columns == nullptr ? 0 : std::atoi(columns);
    return width >= 40 ? width : 100;
}

int panel_width(const std::vector<PanelRow>& rows) {
    std::size_t longest = 40;
    for (const PanelRow& row : rows) longest = std::max(longest, row.text.size());
    return std::min(static_cast<int>(longest) + 12, std::max(terminal_width(), static_cast<int>(longest) + 2));
}

// The replay as the trader watches it: the panel redrawn after every call, the log lines
// as they come, a progress bar for fast runs over long data.
int replay_command(const ReplayCommand& command, bool print_summary) {
    // The page's server first: an address or port that cannot be had is told before any file is read.
    const std::unique_ptr<ServedReplay> served =
        command.serve.empty() ? nullptr : start_served_replay(command.serve, command.program_folder, command.follow);
    ReplaySettings settings;
    settings.data_dir = path_of(command.data_dir);
    settings.chart = command.chart;
    settings.sources = command.sources;
    settings.time_zone = command.time_zone;
    settings.data_time_zones = command.data_time_zones;
    settings.bar_stamps = command.bar_stamps;
    settings.columns = command.columns;
    settings.chart_page = !command.out_dir.empty() || served;
    // The live screen names the page's address, which it would otherwise wipe.
    const std::string served_at = served ? "  " + page_server_url(*served->server) : std::string();
    settings.follow = command.follow;
    if (!command.from.empty()) {
        auto from = parse_date(command.from);
        if (!from) from = parse_date_time(command.from);
        if (!from)
            throw InputError("--from: not a date YYYY-MM-DD or a date-time YYYY-MM-DD HH:MM:SS: \"" + command.from +
                             "\"");
        settings.from = from;
    }
    if (!command.inputs_file.empty()) {
        settings.inputs = read_inputs_file(command.inputs_file);
        settings.inputs_name = command.inputs_file;
        if (!settings.inputs.is_object())
            throw InputError(command.inputs_file + ": expected an object {\"INDEX or NAME\": VALUE, ...}");
    }
    const std::filesystem::path out = path_of(command.out_dir);
    std::vector<std::filesystem::path> out_files;
    out_files.reserve(replay_output_names.size());
    for (const char* name : replay_output_names) out_files.push_back(out / name);
    const LoadedStudy study(command.study_path);
    // Ctrl-C ends following as a finished replay ends, its files written whole.
    if (command.follow) catch_stop_signals();

    const bool ansi = terminal_takes_ansi(stdout);
    const bool colour = ansi && !command.no_color && std::getenv("NO_COLOR") == nullptr;
    const bool live_screen = !command.fast && ansi;
    const bool progress = command.fast && terminal_takes_ansi(stderr);
    std::deque<std::string> recent_log;
    HostDateTime previous_clock = 0;
    int shown_permille = -1;
    // The notes are shown once the replay has succeeded, its files written: the live screen
    // would wipe them, and a run that fails says only why.
    std::vector<std::string> held_notes;
    ConsoleLog console_log;
    console_log.repeat_line =
        command.out_dir.empty()
            ? "(more reports like this one, one per full recalculation, are not shown: --out DIR keeps them in "
              "log.txt)"
            : "(more reports like this one, one per full recalculation, are in " + text_of(out_files[1]) + ")";
    std::vector<std::string> call_log;  // the log lines of the call under way
    auto show_log = [&] {
        for (const std::string& text : console_log.shown(call_log)) {
            if (live_screen) {
                recent_log.push_back(text);
                if (recent_log.size() > 12) recent_log.pop_front();
            } else if (!progress) {
                std::printf("%s\n", text.c_str());
            }
        }
        call_log.clear();
    };

    ReplayHooks hooks;
    // A folder the files cannot go to is told before the replay, not after it (a live day
    // takes minutes).
    hooks.before_calculation = [&] {
        if (!command.out_dir.empty()) check_output_folder(out, out_files);
    };
    hooks.on_note = [&](const std::string& note) { held_notes.push_back(note); };
    // Following, what the files hold is told as it is found, and the notes at once.
    const auto tell = [&](const std::string& text) {
        if (live_screen) {
            recent_log.push_back("kmi-host: " + text);
            if (recent_log.size() > 12) recent_log.pop_front();
        } else {
            std::fprintf(stderr, "kmi-host: %s\n", text.c_str());
            std::fflush(stderr);
        }
    };
    hooks.on_report = tell;
    bool following = false;
    hooks.on_log = [&](const LogLine& line) { call_log.push_back(line.text); };
    hooks.after_call = [&](const Host& host, const ReplayStep& step) {
        show_log();
        if (step.following && !following) {
            following = true;
            for (const std::string& note : held_notes) tell(note);
            held_notes.clear();
            tell("following " + command.chart +
                 (command.sources.empty() ? " as it grows" : " and the sources' files as they grow") + "; Ctrl-C ends" +
                 (command.out_dir.empty() ? "" : " and writes --out"));
        }
        if (step.following) {
            if (command.fast) return;
            const std::vector<PanelRow> rows = panel_rows(host);
            std::string screen = live_screen ? "\x1b[H\x1b[J" : "\n";
            screen += "kmi-host replay  " + command.chart + "  " + format_date_time(step.clock) + "  following" +
                      served_at + "\n";
            screen += render_panel(rows, panel_width(rows), colour);
            if (live_screen) {
                screen += "log:\n";
                for (const std::string& text : recent_log) screen += "  " + text + "\n";
            }
            std::fwrite(screen.data(), 1, screen.size(), stdout);
            std::fflush(stdout);
            return;
        }
        if (command.fast) {
            if (!progress || step.calls_total < 1000) return;
            const int permille = static_cast<int>(step.call * 1000 / step.calls_total);
            if (permille == shown_permille) return;
            shown_permille = permille;
            const std::string line = progress_line(
                static_cast<double>(step.call) / static_cast<double>(step.calls_total), format_date_time(step.clock));
            std::fprintf(stderr, "\r%s", line.c_str());
            if (step.call == step.calls_total) std::fprintf(stderr, "\n");
            return;
        }
        if (!step.full && previous_clock != 0) {
            // Real time divided by the speed; a gap in the data takes at most one second.
            const double seconds = static_cast<double>(step.clock - previous_clock) / 1e6 / command.speed;
            std::this_thread::sleep_for(std::chrono::duration<double>(std::min(seconds, 1.0)));
        }
        previous_clock = step.clock;
        if (!live_screen) return;
        const std::vector<PanelRow> rows = panel_rows(host);
        std::string screen = "\x1b[H\x1b[J";
        screen += "kmi-host replay  " + command.chart + "  " + format_date_time(step.clock) + "  call " +
                  std::to_string(step.call) + " of " + std::to_string(step.calls_total) + served_at + "\n";
        screen += render_panel(rows, panel_width(rows), colour);
        screen += "log:\n";
        for (const std::string& text : recent_log) screen += "  " + text + "\n";
        std::fwrite(screen.data(), 1, screen.size(), stdout);
        std::fflush(stdout);
    };

    if (served) serve_study_calls(*served, hooks);
    const ReplayOutcome outcome = run_replay(study.library.study_function, settings, hooks);
    if (served) serve_outcome(*served, outcome);
    show_log();
    const int live_bars = outcome.bar_count - outcome.history_bars;
    if (settings.from && live_bars == 0) {
        held_notes.push_back("--from " + command.from + ": no bar starts at or after it, so nothing arrived live (" +
                             counted(outcome.bar_count, "bar", "bars") +
                             " of history); an earlier --from replays bars live");
    }
    std::vector<std::pair<std::filesystem::path, FileWriter>> written;  // all of them or none
    if (!command.out_dir.empty()) {
        const std::optional<ChartLibrary> library = find_chart_library(command.program_folder);
        if (!library) {
            held_notes.push_back(
                text_of(out_files[3]) +
                ": the charting library uPlot was not found (with its LICENSE, in uplot/ beside the program, as the "
                "release archive holds it, or in page/node_modules/uplot/ of its folder or a folder above, which npm "
                "ci in page/ installs): the page says so instead of showing the chart");
        }
        // Each file is written straight from the replay's outcome into its place.
        written = replay_output_writers(outcome, out, library);
        write_files_atomically(written);
    }
    std::fflush(stdout);
    for (const std::string& note : held_notes) std::fprintf(stderr, "kmi-host: %s\n", note.c_str());
    if (print_summary) {
        std::printf("\nReplayed %s of %s (%d as history, %d live) in %s. The panel at the end:\n",
                    counted(outcome.bar_count, "bar", "bars").c_str(), command.chart.c_str(), outcome.history_bars,
                    live_bars, counted(outcome.calls, "call", "calls").c_str());
        std::fputs(render_panel(outcome.panel, panel_width(outcome.panel), colour).c_str(), stdout);
        if (!written.empty()) {
            std::string names;
            for (const auto& [file, content] : written) names += (names.empty() ? "" : ", ") + text_of(file);
            std::printf("Written: %s\n", names.c_str());
        }
    }
    if (served) serve_until_stopped(*served);
    return 0;
}

int synth_command(const std::string& out_dir, const SynthOptions& options) {
    write_synth_files(path_of(out_dir), options);
    const std::vector<std::int64_t> days = synth_trading_days(options.days);
    std::printf("Wrote %zu files to %s: %s, %s to %s, %d-second bars, seed %llu.\n", synth_source_symbols.size(),
                out_dir.c_str(), counted(options.days, "trading day", "trading days").c_str(),
                format_date(days.front()).c_str(), format_date(days.back()).c_str(), options.bar_seconds,
                static_cast<unsigned long long>(options.seed));
    return 0;
}

int demo_command(const std::string& out_dir, const std::string& study_path, const std::filesystem::path& folder) {
    const std::filesystem::path out = path_of(out_dir);
    const SynthOptions options;
    synth_command(text_of(out / "data"), options);
    ReplayCommand replay;
    replay.data_dir = text_of(out / "data");
    replay.chart = synth_chart_symbol;
    replay.from = format_date(synth_last_day());
    replay.fast = true;
    replay.out_dir = text_of(out);
    replay.study_path = study_path;
    replay.program_folder = folder;
    std::printf("Replaying %s from %s (the last day live, the days before as history)...\n", replay.chart.c_str(),
                replay.from.c_str());
    return replay_command(replay, true);
}

// An option's value may not be empty: an empty folder or date would quietly mean "here" or
// "no date".
const CLI::Validator not_empty(
    [](std::string& value) { return value.empty() ? std::string("an empty value is not allowed") : std::string(); },
    "NOT EMPTY", "not_empty");

// A folder that exists, its name UTF-8 (as every argument is).
const CLI::Validator existing_folder(
    [](std::string& value) {
        std::error_code error;
        if (std::filesystem::is_directory(path_of(value), error)) return std::string();
        return std::filesystem::exists(path_of(value), error) ? "not a folder: " + value
                                                              : "Directory does not exist: " + value;
    },
    "DIR", "existing_folder");

// A speed is a finite number above 0 (NaN and infinities are no speed).
const CLI::Validator finite_positive(
    [](std::string& value) {
        char* end = nullptr;
        const double number = std::strtod(value.c_str(), &end);
        const bool whole = end != nullptr && end != value.c_str() && *end == '\0';
        return whole && std::isfinite(number) && number > 0.0
                   ? std::string()
                   : "a finite number above 0 is needed, not \"" + value + "\"";
    },
    "POSITIVE", "finite_positive");

// A seed is a whole number of digits that fits 64 bits: "-1" would wrap around to
// 18446744073709551615, and a longer number would be cut to it.
const CLI::Validator whole_number(
    [](std::string& value) {
        bool fits = !value.empty() && value.find_first_not_of("0123456789") == std::string::npos;
        if (fits) {
            errno = 0;
            const unsigned long long number = std::strtoull(value.c_str(), nullptr, 10);
            fits = !(number == std::numeric_limits<unsigned long long>::max() && errno == ERANGE);
        }
        return fits ? std::string() : "a whole number from 0 to 18446744073709551615 is needed, not \"" + value + "\"";
    },
    "WHOLE NUMBER", "whole_number");

// For a command line CLI11 refused: the first word it did not take, when it is a mistyped
// command or option, with the nearest valid one and where the help is.
std::optional<std::string> mistyped_word_hint(CLI::App& app) {
    const std::vector<CLI::App*> parsed = app.get_subcommands();
    CLI::App& command = parsed.empty() ? app : *parsed.front();
    const std::string help = "Run " + std::string(parsed.empty() ? "kmi-host" : "kmi-host " + command.get_name()) +
                             " --help for more "
                             "information.";
    std::vector<std::string> options;
    for (const CLI::Option* option : command.get_options())
        for (const std::string& name : option->get_lnames()) options.push_back(name);
    std::vector<std::string> commands;
    for (const CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; })) commands.push_back(sub->get_name());

    for (const std::string& word : app.remaining(true)) {
        const bool option = word.rfind("--", 0) == 0;
        if (!option && !parsed.empty()) continue;  // a stray value: CLI11 names it
        const std::string name = option ? word.substr(2, word.find('=') - 2) : word;
        const std::optional<std::string> nearest = nearest_name(name, option ? options : commands);
        if (!nearest) return std::nullopt;
        const std::string dashes = option ? "--" : "";
        return "kmi-host: " + dashes + name + ": did you mean " + dashes + *nearest + "?\n" + help + "\n";
    }
    return std::nullopt;
}

int run_program(int argc, char** argv) {
    CLI::App app{"kmi-host: runs the Keelwick Market Internals study as a charting host does"};
    app.require_subcommand(1);
    // Paths are paths on every platform: on Windows, CLI11 would read "/some/file" as an option.
    // Subcommands take this from the app when they are added.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", std::string("kmi-host ") + KMI_VERSION, "Print the version and exit");
    const std::string default_study = default_study_path(argv[0]);

    std::string scenario_file, transcript_file, run_study = default_study;
    CLI::App* run = app.add_subcommand("run", "Run a scenario and write its transcript (JSON Lines)");
    run->add_option("scenario", scenario_file, "The scenario file (JSON)")->required()->check(not_empty);
    run->add_option("--study", run_study, "The study library")->check(not_empty)->capture_default_str();
    run->add_option("--transcript", transcript_file, "Write the transcript to this file instead of stdout")
        ->check(not_empty);

    ReplayCommand replay_options;
    replay_options.study_path = default_study;
    replay_options.program_folder = program_folder(argv[0]);
    CLI::App* replay = app.add_subcommand("replay", "Replay market data through the study, the panel drawn live");
    replay->add_option("--data", replay_options.data_dir, "Folder of SYMBOL.csv bar files")->check(existing_folder);
    replay
        ->add_option("--chart", replay_options.chart,
                     "The chart carrying the study: a bar file (FILE#VALUE keeps the rows of one instrument), or a "
                     "symbol of the --data folder")
        ->required()
        ->check(not_empty);
    replay
        ->add_option("--source", replay_options.sources,
                     "SLOT=FILE[#VALUE]: a source slot (tick, add, vold, updown, vix, front, back, es, nq) reads "
                     "this bar file; repeatable")
        ->take_all()
        ->allow_extra_args(false)
        ->check(not_empty);
    replay
        ->add_option("--time-zone", replay_options.time_zone,
                     "IANA time zone of the chart, its session inputs and the output files")
        ->check(not_empty)
        ->capture_default_str();
    replay
        ->add_option("--data-time-zone", replay_options.data_time_zones,
                     "ZONE or SLOT=ZONE: the IANA time zone of bar times that carry none, in every file or in one "
                     "slot's file (SLOT: chart or a source slot; default: the file's own, else the chart's); "
                     "repeatable")
        ->take_all()
        ->allow_extra_args(false)
        ->check(not_empty);
    replay
        ->add_option("--bar-stamps", replay_options.bar_stamps,
                     "start|end or SLOT=start|end: whether bar times are the bars' starts or ends (end: each bar is "
                     "moved back by its length; default: start, unless the file's shape is known to stamp ends); "
                     "repeatable")
        ->take_all()
        ->allow_extra_args(false)
        ->check(not_empty);
    replay
        ->add_option("--columns", replay_options.columns,
                     "NAME,NAME,... or SLOT=NAME,...: the columns of a file without a header row, in order "
                     "(datetime or date and time, open, high, low, close, volume, bid_volume, ask_volume, symbol, "
                     "skip); repeatable")
        ->take_all()
        ->allow_extra_args(false)
        ->check(not_empty);
    replay->add_option("--from", replay_options.from, "Bars before this date (or date-time) are loaded at once")
        ->check(not_empty);
    CLI::Option* speed = replay->add_option("--speed", replay_options.speed, "Times real time")
                             ->check(finite_positive)
                             ->capture_default_str();
    CLI::Option* fast = replay->add_flag("--fast", replay_options.fast, "As fast as possible, no live drawing");
    speed->excludes(fast);
    replay
        ->add_option("--inputs", replay_options.inputs_file,
                     "JSON file of input values {\"INDEX\": VALUE, ...}; a key may also be an input's name")
        ->check(not_empty);
    replay
        ->add_option("--out", replay_options.out_dir,
                     "Folder for series.csv, log.txt, panel.txt, chart.html and days.csv")
        ->check(not_empty);
    replay->add_option("--study", replay_options.study_path, "The study library")
        ->check(not_empty)
        ->capture_default_str();
    replay->add_flag("--no-color", replay_options.no_color, "No ANSI colour");
    replay
        ->add_option("--serve", replay_options.serve,
                     "[ADDRESS:]PORT: serve the chart page live at http://127.0.0.1:PORT/ (this machine only; an "
                     "ADDRESS of this machine, or 0.0.0.0 for all, lets others open it); after a replay that does not "
                     "--follow, the final page until Ctrl-C")
        ->check(not_empty);
    replay->add_flag("--follow", replay_options.follow,
                     "Then follow the files as they grow, until Ctrl-C (their bars so far are history unless --from "
                     "says otherwise)");

    std::string synth_out;
    SynthOptions synth_options;
    CLI::App* synth = app.add_subcommand("synth", "Write deterministic sample data for the chart and its sources");
    synth->add_option("--out", synth_out, "Folder for the CSV files")->required()->check(not_empty);
    synth->add_option("--days", synth_options.days, "Trading days")->check(CLI::Range(1, 3650))->capture_default_str();
    synth->add_option("--bar-seconds", synth_options.bar_seconds, "Bar length in seconds")
        ->check(CLI::Range(1, 3600))
        ->capture_default_str();
    synth->add_option("--seed", synth_options.seed, "Seed of the generator, 0 to 18446744073709551615")
        ->check(whole_number)
        ->capture_default_str();

    std::string demo_out = "out", demo_study = default_study;
    CLI::App* demo = app.add_subcommand("demo", "Sample data, then a fast replay of its last day, into out/");
    demo->add_option("--out", demo_out, "Folder for the data and the replay's files")
        ->check(not_empty)
        ->capture_default_str();
    demo->add_option("--study", demo_study, "The study library")->check(not_empty)->capture_default_str();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const std::optional<std::string> hint = error.get_exit_code() == 0 ? std::nullopt : mistyped_word_hint(app);
        if (!hint) return app.exit(error);
        std::fputs(hint->c_str(), stderr);
        return error.get_exit_code();
    }
    try {
        if (run->parsed()) return run_command(scenario_file, run_study, transcript_file);
        if (replay->parsed()) return replay_command(replay_options, true);
        if (synth->parsed()) return synth_command(synth_out, synth_options);
        if (demo->parsed()) return demo_command(demo_out, demo_study, replay_options.program_folder);
    } catch (const std::exception& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "kmi-host: %s\n", error.what());
        return 1;
    }
    return 0;
}

#ifdef _WIN32
std::string utf8_of(const wchar_t* text) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(bytes > 0 ? bytes : 1), '\0');
    if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), bytes, nullptr, nullptr);
    utf8.pop_back();  // the terminating NUL
    return utf8;
}

// The arguments as UTF-8, read from the command line's wide characters: whatever the code
// page, a name in any script arrives whole.
std::vector<std::string> utf8_arguments() {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 0; wide != nullptr && i < count; ++i) arguments.push_back(utf8_of(wide[i]));
    if (wide != nullptr) LocalFree(wide);
    return arguments;
}

// The console shows UTF-8 while the program runs; its own code page comes back at the end.
struct Utf8Console {
    UINT output_page = GetConsoleOutputCP();
    Utf8Console() {
        if (output_page != 0) SetConsoleOutputCP(CP_UTF8);
    }
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;
    ~Utf8Console() {
        if (output_page != 0) SetConsoleOutputCP(output_page);
    }
};

// Started from Explorer (a double-click), the program has a console window of its own, which
// closes with it: the program is alone in its console.
bool alone_in_its_console() {
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
}

// What a double-click shows: how kmi-host.exe is used, until a key is pressed.
int show_double_click_guide() {
    std::printf(
        "kmi-host %s: runs the Keelwick Market Internals study as a charting host does.\n\n"
        "kmi-host.exe is run from a command prompt. To try the study:\n"
        "  1. Open a command prompt in this folder: click Explorer's address bar, type cmd and press Enter.\n"
        "  2. Type:  kmi-host.exe demo\n"
        "  3. Open out\\chart.html, which it writes, in your browser.\n\n"
        "kmi-host.exe replay replays your own bar files; kmi-host.exe --help lists every command.\n"
        "INSTALL.txt and docs\\trader-guide.md, beside this program, say more.\n\n"
        "Press any key to close this window.\n",
        KMI_VERSION);
    std::fflush(stdout);
    _getch();
    return 0;
}
#endif

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    const Utf8Console console;
    if (argc == 1 && alone_in_its_console()) return show_double_click_guide();
    std::vector<std::string> arguments = utf8_arguments();
    std::vector<char*> utf8_argv;
    for (std::string& argument : arguments) utf8_argv.push_back(argument.data());
    utf8_argv.push_back(nullptr);
    if (!arguments.empty()) {
        argc = static_cast<int>(arguments.size());
        argv = utf8_argv.data();
    }
#endif
    // Nothing thrown leaves the program: whatever escapes the commands is reported like
    // any other failure.
    try {
        return run_program(argc, argv);
    } catch (const std::exception& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "kmi-host: %s\n", error.what());
    } catch (...) {
        std::fflush(stdout);
        std::fprintf(stderr, "kmi-host: an unexpected error\n");
    }
    return 1;
}
