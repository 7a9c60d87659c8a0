// kmi-host's replay of a year of 1-minute bars (the synth data of `kmi-host synth --days
// 252`: the chart and eight sources, 136 080 bars each), written once into a temporary
// folder and removed when the benchmark ends. Two replays, as `kmi-host replay --data DIR
// --chart ESZ26.CME --fast` makes them, with the study called in-process:
//
//   replay/read_files        read_bar_file of the nine files, the yardstick
//   replay/every_bar_live    every bar live: four calls per bar, 544 320 calls
//   replay/last_10_days_live --from 2026-10-01: one full recalculation of the history, then
//                            the last ten days live
//   replay/last_10_days_live_with_out
//                            the same with --out: the chart page's closing panels worked out,
//                            and series.csv, log.txt, panel.txt, chart.html and days.csv
//                            written into a temporary folder
//
// After Google Benchmark's table, each replay is given as a multiple of reading the files,
// both taken from the same run (the medians with --benchmark_repetitions).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "kmi_host/bar_files/reader.h"
#include "kmi_host/output_files/atomic_files.h"
#include "kmi_host/output_files/replay_outputs.h"
#include "kmi_host/output_files/series_files.h"
#include "kmi_host/replay/replay.h"
#include "kmi_host/sample_data/synth.h"
#include "kmi_host/text/date_time_text.h"
#include "study/study_call.h"

namespace {

void study_entry(HostInterface* record) { kmi::run_study_call(*record); }

struct YearFolder {
    std::filesystem::path path;
    YearFolder() {
        path = std::filesystem::temp_directory_path() / ("kmi_replay_bench_" + std::to_string(std::random_device{}()));
        kmi::emu::SynthOptions options;
        options.days = 252;
        kmi::emu::write_synth_files(path, options);
    }
    YearFolder(const YearFolder&) = delete;
    YearFolder& operator=(const YearFolder&) = delete;
    ~YearFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

const YearFolder& year_folder() {
    static const YearFolder folder;
    return folder;
}

void bm_read_files(benchmark::State& state) {
    const std::filesystem::path& folder = year_folder().path;
    std::size_t bars = 0;
    for (auto _ : state) {
        bars = 0;
        for (const char* symbol : kmi::emu::synth_source_symbols) {
            const kmi::emu::BarFile file = kmi::emu::read_bar_file(folder / (std::string(symbol) + ".csv"));
            bars += file.bars.size();
            benchmark::DoNotOptimize(file.bars.data());
        }
    }
    state.counters["bars"] = static_cast<double>(bars);
}

void bm_replay(benchmark::State& state, const char* from, bool out) {
    kmi::emu::ReplayArguments arguments;
    arguments.data_dir = year_folder().path.string();
    arguments.chart = kmi::emu::synth_chart_symbol;
    if (from != nullptr) arguments.from = from;
    kmi::emu::ReplayPlan settings = kmi::emu::plan_replay(arguments);
    settings.chart_page = out;
    const std::filesystem::path out_folder = year_folder().path / "out";
    if (out) std::filesystem::create_directories(out_folder);
    std::int64_t calls = 0;
    for (auto _ : state) {
        const kmi::emu::ReplayOutcome outcome = kmi::emu::run_replay(study_entry, settings, {});
        calls = outcome.calls;
        if (out) {
            kmi::emu::write_files_atomically(kmi::emu::replay_output_writers(
                outcome.page, outcome.log_txt, outcome.panel_txt, out_folder, std::nullopt));
        }
        benchmark::DoNotOptimize(outcome.panel_txt.data());
    }
    state.counters["calls"] = static_cast<double>(calls);
}

// Google Benchmark's table, then each replay against reading the files.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (median || run.run_type == Run::RT_Iteration) {
                seconds_[run.run_name.function_name] = run.GetAdjustedRealTime() / 1e3;  // milliseconds
            }
        }
    }
    void print_ratios() const {
        const auto read = seconds_.find("replay/read_files");
        if (read == seconds_.end()) return;
        std::printf("\nreading the nine files: %.3f s\n", read->second);
        for (const char* name :
             {"replay/every_bar_live", "replay/last_10_days_live", "replay/last_10_days_live_with_out"}) {
            const auto replay = seconds_.find(name);
            if (replay == seconds_.end()) continue;
            std::printf("%s: %.3f s, %.2f times reading the files\n", name, replay->second,
                        replay->second / read->second);
        }
        const auto history = seconds_.find("replay/last_10_days_live");
        const auto with_out = seconds_.find("replay/last_10_days_live_with_out");
        if (history != seconds_.end() && with_out != seconds_.end()) {
            std::printf("--out adds %.3f s, %.2f times reading the files\n", with_out->second - history->second,
                        (with_out->second - history->second) / read->second);
        }
    }

  private:
    std::map<std::string, double> seconds_;  // per benchmark: the median, or the last run
};

}  // namespace

BENCHMARK(bm_read_files)->Name("replay/read_files")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(bm_replay, live, nullptr, false)
    ->Name("replay/every_bar_live")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK_CAPTURE(bm_replay, history, "2026-10-01", false)
    ->Name("replay/last_10_days_live")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(bm_replay, history_with_out, "2026-10-01", true)
    ->Name("replay/last_10_days_live_with_out")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.print_ratios();
    benchmark::Shutdown();
    return 0;
}
