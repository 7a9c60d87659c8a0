#include "kmi_host/command_line/commands.h"

#include "kmi_host/command_line/argument_checks.h"

namespace kmi::emu {
namespace {

CLI::App* add_run_command(CLI::App& app, RunArguments& arguments) {
    CLI::App* run = app.add_subcommand("run", "Run a scenario and write its transcript (JSON Lines)");
    run->add_option("scenario", arguments.scenario_file, "The scenario file (JSON)")->required()->check(not_empty);
    run->add_option("--study", arguments.study_path, "The study library")->check(not_empty)->capture_default_str();
    run->add_option("--transcript", arguments.transcript_file, "Write the transcript to this file instead of stdout")
        ->check(not_empty);
    return run;
}

// The chart's file and the sources' (the chart required for a replay).
void add_chart_and_sources(CLI::App* command, ReplayArguments& arguments, bool chart_required) {
    CLI::Option* chart =
        command
            ->add_option("--chart", arguments.chart,
                         "The chart carrying the study: a bar file (FILE#VALUE keeps the rows of one instrument), or a "
                         "symbol of the --data folder")
            ->check(not_empty);
    if (chart_required) chart->required();
    command
        ->add_option("--source", arguments.sources,
                     "SLOT=FILE[#VALUE]: a source slot (tick, add, vold, updown, vix, front, back, es, nq) reads "
                     "this bar file; repeatable")
        ->take_all()
        ->allow_extra_args(false)
        ->check(not_empty);
}

// How each file is read.
void add_file_options(CLI::App* command, ReplayArguments& arguments) {
    command
        ->add_option("--time-zone", arguments.time_zone,
                     "time zone of the chart, its session inputs and the output files: a tz database name "
                     "(America/New_York), a Windows zone, UTC+HH:MM or an abbreviation")
        ->check(not_empty)
        ->capture_default_str();
    command
        ->add_option("--data-time-zone", arguments.data_time_zones,
                     "ZONE or SLOT=ZONE: the time zone of bar times that carry none, in every file or in one "
                     "slot's file (SLOT: chart or a source slot; default: the file's own, else the chart's); "
                     "repeatable")
        ->take_all()
        ->allow_extra_args(false)
        ->check(not_empty);
    command
        ->add_option("--bar-stamps", arguments.bar_stamps,
                     "start|end or SLOT=start|end: whether bar times are the bars' starts or ends (end: each bar is "
                     "moved back by its length; default: start, unless the file's shape is known to stamp ends); "
                     "repeatable")
        ->take_all()
        ->allow_extra_args(false)
        ->check(not_empty);
    command
        ->add_option("--columns", arguments.columns,
                     "NAME,NAME,... or SLOT=NAME,...: the columns of a file without a header row, in order "
                     "(datetime or date and time, open, high, low, close, volume, bid_volume, ask_volume, symbol, "
                     "skip); repeatable")
        ->take_all()
        ->allow_extra_args(false)
        ->check(not_empty);
    command
        ->add_option("--bar-length", arguments.bar_lengths,
                     "LENGTH or SLOT=LENGTH: the length of the bars, in seconds or with s, min, h, d or w (60, 5min, "
                     "1d), in every file or in one slot's file (default: the length most steps between bars keep); "
                     "repeatable")
        ->take_all()
        ->allow_extra_args(false)
        ->check(not_empty);
    command
        ->add_option("--decimal-mark", arguments.decimal_marks,
                     "point|comma or SLOT=point|comma: the decimal mark of the numbers, the other standing between "
                     "thousands (default: decided for each column by its numbers, else by the file's); repeatable")
        ->take_all()
        ->allow_extra_args(false)
        ->check(not_empty);
}

// The files read and how each is read.
void add_replay_inputs(CLI::App* command, ReplayArguments& arguments) {
    command->add_option("--data", arguments.data_dir, "Folder of SYMBOL.csv bar files")->check(existing_folder);
    add_chart_and_sources(command, arguments, true);
    add_file_options(command, arguments);
}

CLI::App* add_inspect_command(CLI::App& app, InspectArguments& arguments) {
    CLI::App* inspect =
        app.add_subcommand("inspect", "Say how bar files are read, as a replay reads them, without running the study");
    inspect->add_option("files", arguments.files, "Bar files (FILE#VALUE keeps the rows of one instrument)")
        ->check(not_empty);
    add_chart_and_sources(inspect, arguments.replay, false);
    add_file_options(inspect, arguments.replay);
    return inspect;
}

// How the replay runs, and what it writes and serves.
void add_replay_run_options(CLI::App* command, ReplayArguments& arguments) {
    command->add_option("--from", arguments.from, "Bars before this date (or date-time) are loaded at once")
        ->check(not_empty);
    CLI::Option* speed = command->add_option("--speed", arguments.speed, "Times real time")
                             ->check(finite_positive)
                             ->capture_default_str();
    CLI::Option* fast = command->add_flag("--fast", arguments.fast, "As fast as possible, no live drawing");
    speed->excludes(fast);
    command
        ->add_option("--inputs", arguments.inputs_file,
                     "JSON file of input values {\"INDEX\": VALUE, ...}; a key may also be an input's name")
        ->check(not_empty);
    command
        ->add_option("--out", arguments.out_dir, "Folder for series.csv, log.txt, panel.txt, chart.html and days.csv")
        ->check(not_empty);
    command->add_option("--study", arguments.study_path, "The study library")->check(not_empty)->capture_default_str();
    command->add_flag("--no-color", arguments.no_color, "No ANSI colour");
    CLI::Option* serve =
        command
            ->add_option("--serve", arguments.serve,
                         "[ADDRESS:]PORT: serve the chart page live at http://127.0.0.1:PORT/ (this machine only; an "
                         "ADDRESS of this machine, or 0.0.0.0 for all, lets others open it); after a replay that does "
                         "not --follow, the final page until Ctrl-C")
            ->check(not_empty);
    command
        ->add_option("--allow-host", arguments.allow_hosts,
                     "NAME: a name of this machine the served page may be opened by, beside its IP addresses, "
                     "localhost and its host name (others are refused: a site could point its own name here); "
                     "repeatable")
        ->take_all()
        ->allow_extra_args(false)
        ->check(not_empty)
        ->needs(serve);
    command->add_flag("--follow", arguments.follow,
                      "Then follow the files as they grow, until Ctrl-C (their bars so far are played first, as a "
                      "replay plays them)");
    command
        ->add_option("--alert", arguments.alerts,
                     "RULE: an alert when a series reaches a level or crosses it as a bar closes, e.g. \"TICK >= "
                     "1000\" or \"ADD crosses 0\"; repeat it for more (with --out: alerts.csv)")
        ->check(not_empty);
    command->add_option("--alerts", arguments.alerts_file, "File of alert rules, one a line (# starts a comment)")
        ->check(not_empty);
    command->add_flag("--quiet", arguments.quiet, "No bell when an alert fires");
}

CLI::App* add_synth_command(CLI::App& app, std::string& out_dir, SynthOptions& options) {
    CLI::App* synth = app.add_subcommand("synth", "Write deterministic sample data for the chart and its sources");
    synth->add_option("--out", out_dir, "Folder for the CSV files")->required()->check(not_empty);
    synth->add_option("--days", options.days, "Trading days, 1 to 3650")
        ->check(CLI::Range(1, 3650).description(""))
        ->capture_default_str();
    synth->add_option("--bar-seconds", options.bar_seconds, "Bar length in seconds, 1 to 3600")
        ->check(CLI::Range(1, 3600).description(""))
        ->capture_default_str();
    synth->add_option("--seed", options.seed, "Seed of the generator, 0 to 18446744073709551615")
        ->check(whole_number)
        ->capture_default_str();
    return synth;
}

CLI::App* add_demo_command(CLI::App& app, DemoArguments& arguments) {
    CLI::App* demo = app.add_subcommand("demo", "Sample data, then a fast replay of its last day, into out/");
    demo->add_option("--out", arguments.out_dir, "Folder for the data and the replay's files")
        ->check(not_empty)
        ->capture_default_str();
    demo->add_option("--study", arguments.study_path, "The study library")->check(not_empty)->capture_default_str();
    return demo;
}

}  // namespace

// What each option's value is, as its help names it: words a trader knows, not the types the
// program keeps it in.
constexpr std::pair<const char*, const char*> value_names[] = {
    {"scenario", "FILE"},
    {"files", "FILE"},
    {"--transcript", "FILE"},
    {"--study", "FILE"},
    {"--data", "FOLDER"},
    {"--chart", "FILE"},
    {"--source", "SLOT=FILE"},
    {"--time-zone", "ZONE"},
    {"--data-time-zone", "[SLOT=]ZONE"},
    {"--bar-stamps", "[SLOT=]start|end"},
    {"--columns", "[SLOT=]NAMES"},
    {"--bar-length", "[SLOT=]LENGTH"},
    {"--decimal-mark", "[SLOT=]point|comma"},
    {"--from", "DATE"},
    {"--speed", "TIMES"},
    {"--inputs", "FILE"},
    {"--out", "FOLDER"},
    {"--serve", "[ADDRESS:]PORT"},
    {"--allow-host", "NAME"},
    {"--alert", "RULE"},
    {"--alerts", "FILE"},
    {"--days", "DAYS"},
    {"--bar-seconds", "SECONDS"},
    {"--seed", "NUMBER"},
};

// The help in a trader's words: each value named for what it is, "(required)", "not with" and
// "only with" where CLI11 writes its own tags.
void word_the_help(CLI::App& app) {
    const std::shared_ptr<CLI::FormatterBase> formatter = app.get_formatter();
    formatter->label("REQUIRED", "(required)");
    formatter->label("Excludes", "not with");
    formatter->label("Needs", "only with");
    for (CLI::App* command : app.get_subcommands({})) {
        for (CLI::Option* option : command->get_options({})) {
            if (option->get_type_size() == 0 || option->get_type_name().empty()) continue;  // a flag
            const std::string name = option->get_name(false, true);
            option->type_name("VALUE");
            for (const auto& [option_name, value_name] : value_names) {
                if (name == option_name) option->type_name(value_name);
            }
        }
    }
}

void set_up_commands(CommandLine& line, const ProgramPlace& place) {
    CLI::App& app = line.app;
    app.require_subcommand(1);
    // Subcommands take it from the app when they are added: "Replay" is replay.
    app.ignore_case();
    // Paths are paths on every platform: on Windows, CLI11 would read "/some/file" as an option.
    // Subcommands take this from the app when they are added.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", "kmi-host " + place.version, "Print the version and exit");
    line.run_arguments.study_path = place.study_path;
    line.run = add_run_command(app, line.run_arguments);
    line.replay_arguments.study_path = place.study_path;
    line.replay_arguments.program_folder = place.folder;
    line.replay = app.add_subcommand("replay", "Replay market data through the study, the panel drawn live");
    add_replay_inputs(line.replay, line.replay_arguments);
    add_replay_run_options(line.replay, line.replay_arguments);
    line.inspect = add_inspect_command(app, line.inspect_arguments);
    line.synth = add_synth_command(app, line.synth_out, line.synth_options);
    line.demo_arguments.study_path = place.study_path;
    line.demo_arguments.program_folder = place.folder;
    line.demo = add_demo_command(app, line.demo_arguments);
    word_the_help(app);
}

std::string short_guide(const std::string& version) {
#ifdef _WIN32
    const std::string program = "kmi-host.exe";
    const std::string guide = "docs\\trader-guide.md";
    const std::string chart_page = "out\\chart.html";
#else
    const std::string program = "kmi-host";
    const std::string guide = "docs/trader-guide.md";
    const std::string chart_page = "out/chart.html";
#endif
    return "kmi-host " + version + ": runs the Keelwick Market Internals study as a charting host does.\n\n  " +
           program + " demo                   the study on sample data: open " + chart_page + " after it\n  " +
           program + " replay --chart FILE    your own bar files through the study (--help: every option)\n  " +
           program + " inspect --chart FILE   how a bar file is read, before a replay\n  " + program +
           " --help                 every command; " + program + " COMMAND --help, its options\n\n" + guide +
           ", beside the program, says more.\n";
}

std::vector<std::string> help_words_read(std::vector<std::string> arguments) {
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == "/?" || arguments[i] == "-?") arguments[i] = "--help";
    }
    if (arguments.size() == 2 && arguments[1] == "-v") arguments[1] = "--version";
    return arguments;
}

}  // namespace kmi::emu
