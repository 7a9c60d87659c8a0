// Writing a replay's output files: series.csv, days.csv and the chart page's data, straight
// from the replay's arrays into a file (here /dev/null, so that the disk does not count), for
// a year of 1-minute bars (136 080 bars, the synthetic year's chart) with 20 series of values
// as the study writes them. Google Benchmark reports each as bytes written per second.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>

#include "kmi_host/output_files/atomic_files.h"
#include "kmi_host/output_files/chart_page.h"
#include "kmi_host/output_files/series_files.h"
#include "kmi_host/replay/closing_panels.h"
#include "kmi_host/text/date_time_text.h"

namespace {

using kmi::emu::ChartPageData;
using kmi::emu::OutputSink;

// 252 days of 540 one-minute bars (08:00 to 17:00), prices and volumes of a slow wave, and 20
// series: zeros outside the session as the study leaves them, values of its kinds inside.
ChartPageData year_of_outputs() {
    ChartPageData data;
    data.symbol = "ESZ26.CME";
    data.bar_seconds = 60;
    data.region_height_px = 600;
    const std::int64_t first_day = kmi::emu::host_day_of(2025, 10, 28);
    for (int day = 0; day < 252; ++day) {
        for (int minute = 0; minute < 540; ++minute) {
            const std::int64_t at =
                (first_day + day + day / 5 * 2) * kmi::emu::us_per_day + (480 + minute) * 60000000LL;
            data.times.push_back(at);
            const float price = 6650.0f + static_cast<float>((day * 540 + minute) % 997) * 0.25f;
            data.open.push_back(price);
            data.high.push_back(price + 1.5f);
            data.low.push_back(price - 1.25f);
            data.close.push_back(price + 0.5f);
            data.volume.push_back(static_cast<float>(100 + (day * 31 + minute * 7) % 900));
        }
        data.days.push_back(kmi::emu::PageDay{kmi::emu::format_date(first_day + day), (day + 1) * 540 - 60});
    }
    for (int i = 0; i < 20; ++i) {
        kmi::emu::PageSeries series;
        series.name = "Series " + std::to_string(i);
        for (std::size_t bar = 0; bar < data.times.size(); ++bar) {
            const int minute = static_cast<int>(bar % 540);
            const bool session = minute >= 90 && minute < 480;
            series.values.push_back(session ? static_cast<float>(std::sin(static_cast<double>(bar) * 0.01 + i) * 1234.5)
                                            : 0.0f);
        }
        data.series.push_back(std::move(series));
    }
    return data;
}

const ChartPageData& outputs() {
    static const ChartPageData data = year_of_outputs();
    return data;
}

template <typename Write>
void bm_write(benchmark::State& state, Write write) {
    OutputSink measure;
    write(measure);
    std::FILE* null_file = std::fopen("/dev/null", "wb");
    for (auto _ : state) {
        OutputSink sink{null_file, {}, 0};
        write(sink);
        kmi::emu::flush_sink(sink);
        benchmark::DoNotOptimize(sink.error);
    }
    std::fclose(null_file);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(measure.text.size()));
    state.counters["MB"] = static_cast<double>(measure.text.size()) / 1e6;
}

void bm_series_csv(benchmark::State& state) {
    bm_write(state, [](OutputSink& sink) { kmi::emu::write_series_csv(sink, outputs()); });
}

void bm_days_csv(benchmark::State& state) {
    bm_write(state, [](OutputSink& sink) { kmi::emu::write_days_csv(sink, outputs()); });
}

void bm_page_data(benchmark::State& state) {
    bm_write(state, [](OutputSink& sink) { kmi::emu::write_chart_page_json(sink, outputs(), true); });
}

}  // namespace

BENCHMARK(bm_series_csv)->Name("outputs/series_csv")->Unit(benchmark::kMillisecond);
BENCHMARK(bm_days_csv)->Name("outputs/days_csv")->Unit(benchmark::kMillisecond);
BENCHMARK(bm_page_data)->Name("outputs/chart_page_data")->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
