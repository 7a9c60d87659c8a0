// Reading bar files: kmi-host's CSV reader against a plain pass over the same bytes, on a
// year of 1-minute bars (every minute of every weekday of 2024, about 375 000 rows) in the
// time forms traders' files use. Google Benchmark reports each as bytes per second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "emulator/bar_files/reader.h"
#include "emulator/date_time_text.h"

namespace {

using kmi::emu::unix_epoch_host_day;
using kmi::emu::us_per_day;

enum class Form { naive, utc_offset, unix_nanoseconds };

// Every minute of the weekdays of 2024, prices a slow deterministic wave.
std::string year_of_minutes(Form form) {
    std::string text = form == Form::unix_nanoseconds ? "ts_event,open,high,low,close,volume\n"
                                                      : "datetime,open,high,low,close,volume\n";
    const std::int64_t first_day = kmi::emu::host_day_of(2024, 1, 1);
    char row[128];
    for (std::int64_t day = first_day; day < first_day + 366; ++day) {
        if (kmi::emu::weekday(day) >= 5) continue;
        for (int minute = 0; minute < 1440; ++minute) {
            const std::int64_t host_us = day * us_per_day + minute * 60LL * 1000000;
            const double price = 4750.0 + static_cast<double>((day * 1440 + minute) % 997) * 0.25;
            const int volume = static_cast<int>((day * 31 + minute * 7) % 500);
            int length = 0;
            if (form == Form::unix_nanoseconds) {
                const std::int64_t unix_ns = (host_us - unix_epoch_host_day * us_per_day) * 1000;
                length =
                    std::snprintf(row, sizeof row, "%lld,%.2f,%.2f,%.2f,%.2f,%d\n", static_cast<long long>(unix_ns),
                                  price, price + 0.75, price - 0.5, price + 0.25, volume);
            } else {
                const std::string when = kmi::emu::format_date_time(host_us);
                length = std::snprintf(row, sizeof row, "%s%s,%.2f,%.2f,%.2f,%.2f,%d\n", when.c_str(),
                                       form == Form::utc_offset ? "Z" : "", price, price + 0.75, price - 0.5,
                                       price + 0.25, volume);
            }
            text.append(row, static_cast<std::size_t>(length));
        }
    }
    return text;
}

const std::string& text_of(Form form) {
    static const std::string naive = year_of_minutes(Form::naive);
    static const std::string utc = year_of_minutes(Form::utc_offset);
    static const std::string unix_ns = year_of_minutes(Form::unix_nanoseconds);
    return form == Form::naive ? naive : form == Form::utc_offset ? utc : unix_ns;
}

// A plain pass over the bytes: the newlines counted and the digits summed, which the
// compiler vectorises; what touching the file's bytes once costs.
void bm_plain_read(benchmark::State& state) {
    const std::string& text = text_of(Form::naive);
    for (auto _ : state) {
        std::uint64_t lines = 0;
        std::uint64_t digits = 0;
        for (const char c : text) {
            lines += c == '\n' ? 1U : 0U;
            digits += static_cast<unsigned char>(c) & 0x0FU;
        }
        benchmark::DoNotOptimize(lines);
        benchmark::DoNotOptimize(digits);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
}

void bm_read_bars(benchmark::State& state, Form form) {
    const std::string& text = text_of(form);
    kmi::emu::BarFileOptions options;  // a New York chart; naive times in New York
    std::size_t bars = 0;
    for (auto _ : state) {
        const kmi::emu::BarFile file = kmi::emu::parse_bar_file(text, "year.csv", options);
        bars = file.bars.size();
        benchmark::DoNotOptimize(file.bars.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
    state.counters["bars"] = static_cast<double>(bars);
    state.counters["MB"] = static_cast<double>(text.size()) / 1e6;
}

}  // namespace

BENCHMARK(bm_plain_read)->Name("bar_file/plain_read")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(bm_read_bars, naive, Form::naive)->Name("bar_file/naive_new_york")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(bm_read_bars, utc, Form::utc_offset)->Name("bar_file/utc_z")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(bm_read_bars, unix, Form::unix_nanoseconds)
    ->Name("bar_file/unix_nanoseconds")
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
