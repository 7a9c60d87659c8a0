#include "kmi_host/scenarios/run_command.h"

#include <new>

#include "kmi_host/host_core/study_library.h"
#include "kmi_host/output_files/atomic_files.h"
#include "kmi_host/scenarios/scenario.h"
#include "kmi_host/scenarios/transcript.h"
#include "kmi_host/terminal/terminal_panel.h"
#include "kmi_host/text/input_error.h"
#include "kmi_host/text/path_text.h"

namespace kmi::emu {

// Running out of memory is told with the fix; what the run held is given back on the way.
int run_command(const RunArguments& arguments) try {
    const Scenario scenario = load_scenario(path_of(arguments.scenario_file));
    const LoadedStudy study(arguments.study_path);
    const std::string transcript = run_scenario(scenario, study.library.study_function);
    if (arguments.transcript_file.empty()) {
        write_stdout(transcript);
    } else {
        write_file_atomically(path_of(arguments.transcript_file), transcript);
    }
    return 0;
} catch (const std::bad_alloc&) {
    throw InputError("not enough memory to run " + arguments.scenario_file +
                     ": give the scenario fewer bars (shorter bar files, fewer calls)");
}

}  // namespace kmi::emu
