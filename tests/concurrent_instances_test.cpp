// A host may calculate several charts at once, each with its own instance of the study, on
// threads of its own. The study library as a host loads it must then behave as if the
// instances ran one after the other: each instance's calls give exactly what they give
// alone, and (under ThreadSanitizer, preset tsan) no two threads touch shared memory.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <latch>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "kmi_host/host_core/study_library.h"
#include "kmi_host/output_files/atomic_files.h"
#include "kmi_host/output_files/chart_page.h"
#include "kmi_host/output_files/series_files.h"
#include "kmi_host/replay/replay.h"
#include "kmi_host/sample_data/synth.h"
#include "kmi_host/text/date_time_text.h"
#include "kmi_host/text/file_text.h"
#include "settings/source_slots.h"

namespace kmi::test {
namespace {

constexpr int instance_count = 4;
constexpr int history_bars = 600;
constexpr int steps = 400;
constexpr HostDateTime minute = 60LL * 1000000;
// 2026-11-30, a Monday, 00:00 (days since 1899-12-30).
constexpr HostDateTime first_bar = 46356LL * 86400 * 1000000;

// Bar i of a symbol's deterministic market: a walk seeded by the symbol and the instance.
emu::Bar market_bar(std::uint32_t seed, int i) {
    std::uint32_t x = seed * 2654435761u + static_cast<std::uint32_t>(i) * 40503u;
    x ^= x >> 13;
    x *= 0x5bd1e995u;
    x ^= x >> 15;
    const double swing = static_cast<double>(x % 2001) - 1000.0;  // -1000 to 1000
    const double level = 100.0 + 10.0 * std::sin(i / 37.0 + seed % 7) + swing / 200.0;
    const auto close = static_cast<float>(seed % 3 == 0 ? swing : level);
    const auto volume = static_cast<float>(x % 500 + 1);
    return emu::Bar{first_bar + i * minute,
                    close - 0.5f,
                    close + std::abs(static_cast<float>(swing)) / 400.0f + 0.5f,
                    close - std::abs(static_cast<float>(swing)) / 500.0f - 0.5f,
                    close,
                    volume,
                    std::floor(volume * 0.4f),
                    std::floor(volume * 0.6f)};
}

std::uint32_t symbol_seed(const std::string& symbol, int instance) {
    std::uint32_t h = 2166136261u + static_cast<std::uint32_t>(instance) * 7919u;
    for (const char c : symbol) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    return h;
}

void append_next_bar(emu::Chart& chart, int instance) {
    emu::append_bar(chart, market_bar(symbol_seed(chart.symbol, instance), emu::bar_count(chart)));
}

// What a trader and the host see of an instance after a call: the panel's drawings and the
// values of the last two bars, every float by its bits.
void note_call(std::string& out, const emu::Host& host) {
    char buffer[96];
    for (const auto& [key, drawing] : host.drawings) {
        std::snprintf(buffer, sizeof buffer, "%d/%d %08x %a ", key.first, key.second, drawing.request.text_color,
                      static_cast<double>(drawing.request.vertical_position));
        out += buffer + drawing.text + "\n";
    }
    for (const std::vector<float>& series : host.study.series) {
        for (std::size_t i = series.size() >= 2 ? series.size() - 2 : 0; i < series.size(); ++i) {
            std::snprintf(buffer, sizeof buffer, "%a ", static_cast<double>(series[i]));
            out += buffer;
        }
    }
    out += "\n";
}

// One instance's life on its own host: defaults, a full recalculation, then new bars and
// trades with ordinary updates, input changes with full recalculations, and the last call.
std::string run_instance(emu::StudyFunction study_function, int instance) {
    std::string out;
    emu::Chart chart = emu::make_chart(1 + instance, "ESZ26.CME", 60);
    auto host = emu::make_host(study_function, chart, 10 + instance);
    emu::Chart& own = emu::study_chart(*host);
    for (int i = 0; i < history_bars; ++i) append_next_bar(own, instance);
    for (int slot = 0; slot < source_slot_count; ++slot) {
        const std::string symbol = source_labels[static_cast<std::size_t>(slot)].default_symbol;
        if (symbol == own.symbol) continue;
        emu::Chart source = emu::make_chart(0, symbol, 60);
        for (int i = 0; i < history_bars; ++i) append_next_bar(source, instance);
        host->symbol_library[symbol] = std::move(source);
    }
    host->now = first_bar + (history_bars - 1) * minute + 30 * 1000000;

    emu::call_study(*host, emu::CallKind::defaults);
    set_input_float(emu::input(*host, 12), 300.0f + 100.0f * static_cast<float>(instance));
    emu::call_study(*host, emu::CallKind::full);
    note_call(out, *host);
    for (int step = 0; step < steps; ++step) {
        emu::Chart& mine = emu::study_chart(*host);
        if (step % 50 == 49) {
            // An input changes: the host recalculates from the start.
            set_input_float(emu::input(*host, 13), -200.0f - static_cast<float>(step));
            set_input_int32(emu::input(*host, 1), step % 4);
            emu::call_study(*host, emu::CallKind::full);
        } else if (step % 3 == 2) {
            // A trade on the forming bar.
            emu::Bar bar = market_bar(symbol_seed(mine.symbol, instance) + 1u, step);
            bar.time = mine.times.back();
            emu::replace_last_bar(mine, bar);
            emu::call_study(*host, emu::CallKind::update, emu::bar_count(mine) - 1);
        } else {
            // A new bar on every chart: the forming bar has closed.
            for (auto& [number, any_chart] : host->charts) append_next_bar(any_chart, instance);
            host->now += minute;
            emu::call_study(*host, emu::CallKind::update, emu::bar_count(mine) - 2);
        }
        note_call(out, *host);
    }
    emu::call_study(*host, emu::CallKind::last);
    note_call(out, *host);
    for (const emu::LogLine& line : host->log) out += line.text + "\n";
    emu::destroy_host_values(*host);
    return out;
}

TEST(ConcurrentInstances, EachInstanceGivesOnItsOwnThreadWhatItGivesAlone) {
    std::string error;
    auto library = emu::load_study_library(KMI_STUDY_LIBRARY_PATH, error);
    ASSERT_TRUE(library.has_value()) << error;

    std::vector<std::string> alone(instance_count);
    for (int k = 0; k < instance_count; ++k)
        alone[static_cast<std::size_t>(k)] = run_instance(library->study_function, k);
    EXPECT_NE(alone[0].find(" TICK "), std::string::npos) << "the panel shows the readings";
    for (int k = 1; k < instance_count; ++k) {
        EXPECT_NE(alone[static_cast<std::size_t>(k)], alone[0]) << "the instances must differ to show any mix-up";
    }

    for (int round = 0; round < 2; ++round) {
        std::vector<std::string> together(instance_count);
        std::latch start(instance_count);
        std::vector<std::thread> threads;
        for (int k = 0; k < instance_count; ++k) {
            threads.emplace_back([&, k] {
                start.arrive_and_wait();
                together[static_cast<std::size_t>(k)] = run_instance(library->study_function, k);
            });
        }
        for (std::thread& thread : threads) thread.join();
        for (int k = 0; k < instance_count; ++k) {
            EXPECT_TRUE(together[static_cast<std::size_t>(k)] == alone[static_cast<std::size_t>(k)])
                << "instance " << k << " differs on its own thread (round " << round << ")";
        }
    }
    emu::unload_study_library(*library);
}

}  // namespace
}  // namespace kmi::test

namespace kmi::test {
namespace {

// A replay with the chart page reads its sources, works out the closing panels and writes its
// files on threads of its own; under ThreadSanitizer none of them may touch what another does,
// and what it gives is what the same replay gives with its files read one by one.
TEST(ConcurrentInstances, AReplaysThreadsGiveWhatItGivesInOrder) {
    std::string error;
    auto library = emu::load_study_library(KMI_STUDY_LIBRARY_PATH, error);
    ASSERT_TRUE(library.has_value()) << error;
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("kmi_replay_threads_" + std::to_string(std::random_device{}()));
    emu::SynthOptions synth;
    synth.days = 3;
    emu::write_synth_files(folder, synth);
    emu::ReplayArguments arguments;
    arguments.data_dir = folder.string();
    arguments.chart = emu::synth_chart_symbol;
    arguments.from = emu::format_date(emu::synth_trading_days(synth.days).back());
    emu::ReplayPlan settings = emu::plan_replay(arguments);
    settings.chart_page = true;

    // The outputs as kmi-host writes them, side by side, read back.
    const auto outputs = [&folder](const emu::ReplayOutcome& outcome) {
        const std::filesystem::path out = folder / "out";
        std::filesystem::create_directories(out);
        emu::write_files_atomically(std::vector<std::pair<std::filesystem::path, emu::FileWriter>>{
            {out / "series.csv", [&](emu::OutputSink& sink) { emu::write_series_csv(sink, outcome.page); }},
            {out / "days.csv", [&](emu::OutputSink& sink) { emu::write_days_csv(sink, outcome.page); }},
            {out / "page.js", [&](emu::OutputSink& sink) { emu::write_chart_page_json(sink, outcome.page, true); }}});
        std::string all;
        for (const char* name : {"series.csv", "days.csv", "page.js"})
            all += emu::read_file_text(out / name) + "\n--\n";
        return all + outcome.panel_txt + outcome.log_txt;
    };
    const std::string threaded = outputs(emu::run_replay(library->study_function, settings, {}));
    emu::ReplayHooks one_by_one;
    one_by_one.read_bars = [](const std::filesystem::path& file, const emu::BarFileOptions& options) {
        return emu::read_bar_file(file, options);
    };
    const std::string in_order = outputs(emu::run_replay(library->study_function, settings, one_by_one));
    std::filesystem::remove_all(folder);
    EXPECT_NE(threaded.find("\"panel\""), std::string::npos) << "the closing panels are there";
    EXPECT_TRUE(threaded == in_order) << "the replay's threads changed what it gives";
}

}  // namespace
}  // namespace kmi::test
