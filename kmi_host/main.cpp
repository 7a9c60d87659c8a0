// kmi-host: our charting host for the study. Commands: run (a scenario, with its transcript),
// replay (market data through the study, the panel drawn live), inspect (how bar files are
// read), synth (sample data) and demo.
// This file sets the commands up and hands the one named to its job.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <new>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "kmi_host/command_line/commands.h"
#include "kmi_host/command_line/did_you_mean.h"
#include "kmi_host/command_line/program_folder.h"
#include "kmi_host/command_line/windows_console.h"
#include "kmi_host/replay/inspect_command.h"
#include "kmi_host/replay/replay_command.h"
#include "kmi_host/sample_data/synth_command.h"
#include "kmi_host/scenarios/run_command.h"
#include "kmi_host/terminal/console_output.h"
#include "kmi_host/text/path_text.h"

namespace {

using namespace kmi::emu;

// Running out of memory where no job told more: one line with the fix, printed without taking
// any memory.
constexpr const char* not_enough_memory =
    "not enough memory to go on: give kmi-host fewer bars (shorter files), or close other programs";

int failed(const char* message) {
    std::fflush(stdout);
    console_printf(stderr, "kmi-host: %s\n", message);
    return 1;
}

int run_program(int argc, char** argv) {
    const std::filesystem::path folder = program_folder(argv[0]);
    CommandLine line;
    set_up_commands(line, ProgramPlace{folder, text_of(folder / KMI_STUDY_FILE_NAME), KMI_VERSION});
    try {
        line.app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const std::optional<std::string> hint =
            error.get_exit_code() == 0 ? std::nullopt : mistyped_word_hint(line.app);
        if (!hint) {
            // The help, the version and the parser's complaints, written as all other output is.
            std::ostringstream out;
            std::ostringstream err;
            const int code = line.app.exit(error, out, err);
            console_write(stdout, out.str());
            console_write(stderr, err.str());
            return code;
        }
        console_write(stderr, *hint);
        return error.get_exit_code();
    }
    try {
        if (line.run->parsed()) return run_command(line.run_arguments);
        if (line.replay->parsed()) return replay_command(line.replay_arguments);
        if (line.inspect->parsed()) return inspect_command(line.inspect_arguments);
        if (line.synth->parsed()) return synth_command(line.synth_out, line.synth_options);
        if (line.demo->parsed()) return demo_command(line.demo_arguments);
    } catch (const std::bad_alloc&) {
        return failed(not_enough_memory);
    } catch (const std::length_error&) {
        return failed(not_enough_memory);  // more than a string or an array can hold
    } catch (const std::exception& error) {
        return failed(error.what());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const Utf8Console console;
    if (showed_double_click_guide(argc, KMI_VERSION)) return 0;
    std::vector<std::string> arguments = help_words_read(utf8_arguments(argc, argv));
    if (arguments.size() == 1) {
        console_write(stdout, short_guide(KMI_VERSION));
        return 0;
    }
    std::vector<char*> utf8_argv;
    utf8_argv.reserve(arguments.size() + 1);
    for (std::string& argument : arguments) utf8_argv.push_back(argument.data());
    utf8_argv.push_back(nullptr);
    // Nothing thrown leaves the program: whatever escapes the commands is reported like
    // any other failure.
    try {
        return run_program(static_cast<int>(arguments.size()), utf8_argv.data());
    } catch (const std::bad_alloc&) {
        return failed(not_enough_memory);
    } catch (const std::length_error&) {
        return failed(not_enough_memory);
    } catch (const std::exception& error) {
        return failed(error.what());
    } catch (...) {
        return failed("an unexpected error");
    }
}
