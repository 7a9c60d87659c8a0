// Reading bar files: kmi-host's reader against a plain pass over the same bytes, on a year of
// 1-minute bars (every minute of every weekday of 2024, about 375 000 rows). Texts in memory
// in the time forms traders' files use (naive New York times, UTC "Z" times, Unix
// nanoseconds, each under a header row), and a platform's headerless text export
// (`20240102 093100;4750.00;...`: semicolons, compact UTC times, bars stamped at their end,
// read by position); and the naive year read from a file on disk, streamed (the file is
// written once into the temporary folder and removed when the benchmark ends). Google
// Benchmark reports each as bytes per second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>

#include "kmi_host/bar_files/reader.h"
#include "kmi_host/text/date_time_text.h"

namespace {

using kmi::emu::unix_epoch_host_day;
using kmi::emu::us_per_day;

enum class Form { naive, utc_offset, unix_nanoseconds, headerless_export };

// Every minute of the weekdays of 2024, prices a slow deterministic wave.
std::string year_of_minutes(Form form) {
    std::string text = form == Form::headerless_export  ? ""
                       : form == Form::unix_nanoseconds ? "ts_event,open,high,low,close,volume\n"
                                                        : "datetime,open,high,low,close,volume\n";
    const std::int64_t first_day = kmi::emu::host_day_of(2024, 1, 1);
    char row[128];
    for (std::int64_t day = first_day; day < first_day + 366; ++day) {
        if (kmi::emu::weekday(day) >= 5) continue;
        const kmi::emu::CalendarDate date = kmi::emu::calendar_date_of(day);
        for (int minute = 0; minute < 1440; ++minute) {
            const std::int64_t host_us = day * us_per_day + minute * 60LL * 1000000;
            const double price = 4750.0 + static_cast<double>((day * 1440 + minute) % 997) * 0.25;
            const int volume = static_cast<int>((day * 31 + minute * 7LL) % 500);
            int length = 0;
            if (form == Form::unix_nanoseconds) {
                const std::int64_t unix_ns = (host_us - unix_epoch_host_day * us_per_day) * 1000;
                length =
                    std::snprintf(row, sizeof row, "%lld,%.2f,%.2f,%.2f,%.2f,%d\n", static_cast<long long>(unix_ns),
                                  price, price + 0.75, price - 0.5, price + 0.25, volume);
            } else if (form == Form::headerless_export) {
                length = std::snprintf(row, sizeof row, "%04d%02d%02d %02d%02d00;%.2f;%.2f;%.2f;%.2f;%d\n", date.year,
                                       date.month, date.day, minute / 60, minute % 60, price, price + 0.75, price - 0.5,
                                       price + 0.25, volume);
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
    static const std::string headerless = year_of_minutes(Form::headerless_export);
    switch (form) {
        case Form::naive: return naive;
        case Form::utc_offset: return utc;
        case Form::unix_nanoseconds: return unix_ns;
        case Form::headerless_export: return headerless;
    }
    return naive;
}

// The naive year as a file in the temporary folder, written on first use and removed when
// the program ends. Its path is empty when it could not be written.
struct YearFile {
    std::filesystem::path path;
    YearFile() {
        std::filesystem::path file = std::filesystem::temp_directory_path() /
                                     ("kmi_bar_file_bench_" + std::to_string(std::random_device{}()) + ".csv");
        const std::string& text = text_of(Form::naive);
        std::ofstream out(file, std::ios::binary);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
        if (out) {
            path = std::move(file);
        } else {
            std::error_code ignored;
            std::filesystem::remove(file, ignored);
        }
    }
    YearFile(const YearFile&) = delete;
    YearFile& operator=(const YearFile&) = delete;
    ~YearFile() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove(path, ignored);
    }
};

const YearFile& year_file() {
    static const YearFile file;
    return file;
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

void report(benchmark::State& state, std::size_t bytes, std::size_t bars) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes));
    state.counters["bars"] = static_cast<double>(bars);
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
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
    report(state, text.size(), bars);
}

// The naive year read from its file, streamed (the file stays in the page cache between
// iterations, so this is the reading, not the disk).
void bm_read_bar_file(benchmark::State& state) {
    const YearFile& year = year_file();
    if (year.path.empty()) {
        state.SkipWithError("the year's file could not be written to the temporary folder");
        return;
    }
    kmi::emu::BarFileOptions options;
    std::size_t bars = 0;
    for (auto _ : state) {
        const kmi::emu::BarFile file = kmi::emu::read_bar_file(year.path, options);
        bars = file.bars.size();
        benchmark::DoNotOptimize(file.bars.data());
    }
    report(state, text_of(Form::naive).size(), bars);
}

}  // namespace

BENCHMARK(bm_plain_read)->Name("bar_file/plain_read")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(bm_read_bars, naive, Form::naive)->Name("bar_file/naive_new_york")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(bm_read_bars, utc, Form::utc_offset)->Name("bar_file/utc_z")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(bm_read_bars, unix, Form::unix_nanoseconds)
    ->Name("bar_file/unix_nanoseconds")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(bm_read_bars, headerless, Form::headerless_export)
    ->Name("bar_file/headerless_export")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(bm_read_bar_file)->Name("bar_file/naive_new_york_from_file")->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
