// The memory kmi-host's bar-file reader takes to read a file, against the size of the bars it
// keeps (run by scripts/bench.sh on 1 000 000 rows). Linux only: it reads the process's peak
// resident memory.
//
//     kmi_bar_file_memory write FILE ROWS   writes ROWS 1-minute rows (datetime,open,high,low,
//                                           close,volume; naive times; a seeded random walk)
//     kmi_bar_file_memory read FILE         reads FILE with read_bar_file and prints the rows,
//                                           the bars' size, the file's size and the peak memory
//                                           the read added; exits 1 above 1.5 times the bars
//     kmi_bar_file_memory replay FILE       replays FILE as the chart, all of it as history,
//                                           with the study in this process, and writes the
//                                           files of --out into a temporary folder; prints the
//                                           peak memory that added against the bars' size;
//                                           exits 1 above 8 times the bars
//
// The peak the read added is getrusage's peak resident size after the read less the same
// before it: what the process held before (the program, its libraries) is the baseline, and
// the bars the read returns count, since they are still held.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "kmi_host/bar_files/reader.h"
#include "kmi_host/output_files/atomic_files.h"
#include "kmi_host/output_files/replay_outputs.h"
#include "kmi_host/output_files/series_files.h"
#include "kmi_host/replay/replay.h"
#include "kmi_host/text/date_time_text.h"
#include "study/study_call.h"

namespace {

constexpr double most_of_bars = 1.5;  // the goal: peak memory added at most 1.5 times the bars
// A replay with --out: its feeds (1 time the bars), its host's arrays and series (2.9 times),
// and the closing panels' host beside it (2.9 times) make 6.8 times the bars at the least.
constexpr double most_for_replay = 8.0;

int usage() {
    std::fputs("usage: kmi_bar_file_memory write FILE ROWS | read FILE | replay FILE\n", stderr);
    return 2;
}

// A seeded random walk of a futures price in cents, one 1-minute row for every minute of the
// weekdays from 2024-01-01 on.
bool write_rows(const std::filesystem::path& path, std::uint64_t rows) {
    std::ofstream out(path, std::ios::binary);
    std::string block = "datetime,open,high,low,close,volume\n";
    std::uint64_t state = 0x2545F4914F6CDD1DULL;
    const auto next = [&state](std::uint64_t range) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<long long>((state >> 33) % range);
    };
    long long close = 475025;  // cents
    std::int64_t day = kmi::emu::host_day_of(2024, 1, 1);
    int minute = 0;
    char row[128];
    for (std::uint64_t written = 0; written < rows; ++written) {
        while (kmi::emu::weekday(day) >= 5) ++day;
        const kmi::emu::CalendarDate date = kmi::emu::calendar_date_of(day);
        const long long open = close;
        close = open + next(151) - 75;
        const long long high = std::max(open, close) + next(60);
        const long long low = std::min(open, close) - next(60);
        const int length = std::snprintf(
            row, sizeof row, "%04d-%02d-%02d %02d:%02d:00,%lld.%02lld,%lld.%02lld,%lld.%02lld,%lld.%02lld,%lld\n",
            date.year, date.month, date.day, minute / 60, minute % 60, open / 100, open % 100, high / 100, high % 100,
            low / 100, low % 100, close / 100, close % 100, 1 + next(2500));
        block.append(row, static_cast<std::size_t>(length));
        if (block.size() >= (1U << 20)) {
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
            block.clear();
        }
        if (++minute == 1440) {
            minute = 0;
            ++day;
        }
    }
    out.write(block.data(), static_cast<std::streamsize>(block.size()));
    out.close();
    return static_cast<bool>(out);
}

// The process's peak resident memory so far, in bytes.
double peak_resident_bytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) * 1024.0;  // kilobytes on Linux
}

int read_rows(const std::filesystem::path& path) {
    const double before = peak_resident_bytes();
    const kmi::emu::BarFile file = kmi::emu::read_bar_file(path);
    const double added = peak_resident_bytes() - before;
    const double rows = static_cast<double>(file.bars.size());
    const double bars = rows * static_cast<double>(sizeof(kmi::emu::Bar));
    const double file_bytes = static_cast<double>(std::filesystem::file_size(path));
    const double ratio = bars > 0 ? added / bars : 0;
    std::printf("rows                        %.0f\n", rows);
    std::printf("bars in memory              %.1f MB (%zu bytes a bar)\n", bars / 1e6, sizeof(kmi::emu::Bar));
    std::printf("file                        %.1f MB\n", file_bytes / 1e6);
    std::printf("peak memory the read added  %.1f MB\n", added / 1e6);
    std::printf("ratio to the bars           %.2f (at most %.1f)\n", ratio, most_of_bars);
    std::printf("ratio to the file           %.2f\n", file_bytes > 0 ? added / file_bytes : 0);
    if (ratio > most_of_bars) {
        std::fprintf(stderr,
                     "FAIL: reading %s added %.1f MB at its peak, %.2f times its bars' %.1f MB (at most %.1f)\n",
                     path.string().c_str(), added / 1e6, ratio, bars / 1e6, most_of_bars);
        return 1;
    }
    return 0;
}

void study_entry(HostInterface* record) { kmi::run_study_call(*record); }

int replay_rows(const std::filesystem::path& path) {
    const std::filesystem::path out =
        std::filesystem::temp_directory_path() / ("kmi_replay_memory_" + std::to_string(::getpid()));
    std::filesystem::create_directories(out);
    kmi::emu::ReplayArguments arguments;
    arguments.chart = path.string();
    arguments.from = "2100-01-01";  // all of it history
    kmi::emu::ReplayPlan settings = kmi::emu::plan_replay(arguments);
    settings.chart_page = true;
    const double before = peak_resident_bytes();
    double rows = 0;
    {
        const kmi::emu::ReplayOutcome outcome = kmi::emu::run_replay(study_entry, settings, {});
        rows = static_cast<double>(outcome.bar_count);
        kmi::emu::write_files_atomically(
            kmi::emu::replay_output_writers(outcome.page, outcome.log_txt, outcome.panel_txt, out, std::nullopt));
    }
    const double added = peak_resident_bytes() - before;
    std::filesystem::remove_all(out);
    const double bars = rows * static_cast<double>(sizeof(kmi::emu::Bar));
    const double ratio = bars > 0 ? added / bars : 0;
    std::printf("replayed bars               %.0f\n", rows);
    std::printf("bars in memory              %.1f MB\n", bars / 1e6);
    std::printf("peak memory the replay and --out added  %.1f MB\n", added / 1e6);
    std::printf("ratio to the bars           %.2f (at most %.1f)\n", ratio, most_for_replay);
    if (ratio > most_for_replay) {
        std::fprintf(stderr,
                     "FAIL: replaying %s with --out added %.1f MB at its peak, %.2f times its bars (at most %.1f)\n",
                     path.string().c_str(), added / 1e6, ratio, most_for_replay);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const std::string_view mode = argc > 1 ? argv[1] : "";
        if (mode == "write" && argc == 4) {
            const std::uint64_t rows = std::strtoull(argv[3], nullptr, 10);
            if (rows == 0 || !write_rows(argv[2], rows)) {
                std::fprintf(stderr, "kmi_bar_file_memory: could not write %s rows to %s\n", argv[3], argv[2]);
                return 2;
            }
            return 0;
        }
        if (mode == "read" && argc == 3) return read_rows(argv[2]);
        if (mode == "replay" && argc == 3) return replay_rows(argv[2]);
        return usage();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kmi_bar_file_memory: %s\n", error.what());
        return 2;
    }
}
