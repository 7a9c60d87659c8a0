#include "kmi_host/sample_data/synth_command.h"

#include <cstdio>
#include <vector>

#include "kmi_host/terminal/console_output.h"
#include "kmi_host/text/date_time_text.h"
#include "kmi_host/text/names.h"
#include "kmi_host/text/path_text.h"

namespace kmi::emu {

int synth_command(const std::string& out_dir, const SynthOptions& options) {
    write_synth_files(path_of(out_dir), options);
    const std::vector<std::int64_t> days = synth_trading_days(options.days);
    console_printf(stdout, "Wrote %zu files to %s: %s, %s to %s, %d-second bars, seed %llu.\n",
                   synth_source_symbols.size(), out_dir.c_str(),
                   counted(options.days, "trading day", "trading days").c_str(), format_date(days.front()).c_str(),
                   format_date(days.back()).c_str(), options.bar_seconds,
                   static_cast<unsigned long long>(options.seed));
    return 0;
}

}  // namespace kmi::emu
