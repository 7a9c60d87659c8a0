// The performance of the incremental design, side by side in one run:
//   rebuild/N        a full recalculation of N chart bars with all nine sources
//   read_limit/N     one plain pass over the same source arrays (the limit of a rebuild)
//   memory_floor/N   that pass plus this chart's volume arrays read and 20 series written
//   update_trade/N   an ordinary update for one new trade on the forming bar
//   update_bar/N     an ordinary update for one new closed bar
//   update_bars/K    one update folding in K closed bars at once (cost and blocks per bar)
//   recompute/N      the recompute peer: every reading from the first bar, per update
// Update timings cover the study call alone (manual timing around the host's call); the
// heap layer's counters give the blocks allocated per call. The summary at the end takes
// the medians of the repetitions.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "bench/read_limit.h"
#include "bench/recompute_peer.h"
#include "bench/summary_reporter.h"
#include "bench/synthetic_market.h"
#include "host/process_heap.h"

namespace kmi::bench {
namespace {

constexpr std::int32_t spare_bar_room = 256;

// One market at a time: the 1 000 000-bar one holds about 400 MB.
std::unique_ptr<SyntheticMarket> current_market;
std::int32_t current_bars = -1;

SyntheticMarket& market_of(std::int32_t bars) {
    if (current_bars != bars || !current_market) {
        if (current_market) close_market(*current_market);
        current_market.reset();
        current_market = make_market(bars, spare_bar_room);
        current_bars = bars;
    }
    return *current_market;
}

// The host's logs of rebuilds, emptied now and then so that they do not grow without end.
void trim_host_records(SyntheticMarket& market) {
    market.host->log.clear();
    market.host->open_requests.clear();
    market.host->delete_requests.clear();
}

std::int64_t source_bars(const SyntheticMarket& market) {
    std::int64_t total = 0;
    for (const emu::Chart* chart : market.sources) total += static_cast<std::int64_t>(chart->times.size());
    return total;
}

// Blocks allocated and freed through the heap layer over the timed calls.
struct HeapCounts {
    std::int64_t allocations = 0;
    std::int64_t frees = 0;
};

template <typename Call>
double timed_call(HeapCounts& counts, Call call) {
    const std::int64_t allocations = heap_allocation_count();
    const std::int64_t frees = heap_free_count();
    const auto start = std::chrono::steady_clock::now();
    call();
    const auto stop = std::chrono::steady_clock::now();
    counts.allocations += heap_allocation_count() - allocations;
    counts.frees += heap_free_count() - frees;
    return std::chrono::duration<double>(stop - start).count();
}

void set_heap_counters(benchmark::State& state, const HeapCounts& counts) {
    state.counters["allocs_per_call"] =
        benchmark::Counter(static_cast<double>(counts.allocations), benchmark::Counter::kAvgIterations);
    state.counters["frees_per_call"] =
        benchmark::Counter(static_cast<double>(counts.frees), benchmark::Counter::kAvgIterations);
}

// Any call that turned into a rebuild writes the diagnostics report: an ordinary update
// must not.
bool wrote_report(const SyntheticMarket& market, std::size_t log_lines_before) {
    return market.host->log.size() != log_lines_before;
}

void bm_rebuild(benchmark::State& state, std::int32_t bars) {
    SyntheticMarket& market = market_of(bars);
    trim_host_records(market);
    std::int64_t calls = 0;
    for (auto _ : state) {
        full_recalculation(market);
        if ((++calls & 255) == 0) trim_host_records(market);
    }
    state.counters["source_bars"] = static_cast<double>(source_bars(market));
    state.counters["ns_per_source_bar"] =
        benchmark::Counter(static_cast<double>(source_bars(market)),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void bm_read_limit(benchmark::State& state, std::int32_t bars) {
    SyntheticMarket& market = market_of(bars);
    for (auto _ : state) benchmark::DoNotOptimize(read_source_arrays_once(market));
    state.counters["source_bars"] = static_cast<double>(source_bars(market));
    state.counters["ns_per_source_bar"] =
        benchmark::Counter(static_cast<double>(source_bars(market)),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void bm_memory_floor(benchmark::State& state, std::int32_t bars) {
    SyntheticMarket& market = market_of(bars);
    for (auto _ : state) benchmark::DoNotOptimize(read_and_write_once(market));
    state.counters["source_bars"] = static_cast<double>(source_bars(market));
    state.counters["ns_per_source_bar"] =
        benchmark::Counter(static_cast<double>(source_bars(market)),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void bm_update_trade(benchmark::State& state, std::int32_t bars) {
    SyntheticMarket& market = market_of(bars);
    trim_host_records(market);
    const std::int32_t last = chart_bars(market) - 1;
    HeapCounts counts;
    for (auto _ : state) {
        trade_on_last_bar(market);
        state.SetIterationTime(timed_call(counts, [&] { ordinary_update(market, last); }));
    }
    if (wrote_report(market, 0)) state.SkipWithError("an ordinary update turned into a rebuild");
    set_heap_counters(state, counts);
}

// K new bars on every chart, one update that folds them in, then the market is put back
// as it was, so every iteration measures the same update on the same history.
void measure_new_bars(benchmark::State& state, SyntheticMarket& market, std::int32_t new_bars) {
    trim_host_records(market);
    const MarketMark mark = mark_market(market);
    const std::int32_t first_changed = mark.bars - 1;  // the forming bar closes
    HeapCounts counts;
    for (auto _ : state) {
        for (std::int32_t i = 0; i < new_bars; ++i) append_market_bar(market);
        state.SetIterationTime(timed_call(counts, [&] { ordinary_update(market, first_changed); }));
        rewind_market(market, mark);
    }
    if (wrote_report(market, 0)) state.SkipWithError("an ordinary update turned into a rebuild");
    // The study's output series end with the forming bar's live values again.
    ordinary_update(market, first_changed);
    set_heap_counters(state, counts);
    state.counters["new_bars"] = new_bars;
}

void bm_update_bar(benchmark::State& state, std::int32_t bars) { measure_new_bars(state, market_of(bars), 1); }

void bm_update_bars(benchmark::State& state, std::int32_t bars, std::int32_t new_bars) {
    measure_new_bars(state, market_of(bars), new_bars);
}

void bm_recompute(benchmark::State& state, std::int32_t bars) {
    SyntheticMarket& market = market_of(bars);
    const StudyState* study = study_state(market);
    const PeerRules rules{study->session_window, study->upper_threshold, study->lower_threshold};
    PeerOutput output;
    // The peer computes the same readings: checked against the study's own series first.
    trade_on_last_bar(market);
    ordinary_update(market, chart_bars(market) - 1);
    recompute_every_bar(market, rules, output);
    const std::int64_t differences = count_differences(market, output);
    if (differences != 0) {
        state.SkipWithError(
            ("the recompute peer differs from the study in " + std::to_string(differences) + " values").c_str());
        return;
    }
    for (auto _ : state) {
        trade_on_last_bar(market);
        recompute_every_bar(market, rules, output);
        benchmark::DoNotOptimize(output.series[0].data());
    }
}

void register_all() {
    using benchmark::kMicrosecond;
    using benchmark::kMillisecond;
    const auto name = [](const char* what, std::int32_t n) { return std::string(what) + "/" + std::to_string(n); };
    for (const std::int32_t bars : {1000, 10000, 100000, 1000000}) {
        const auto unit = bars >= 100000 ? kMillisecond : kMicrosecond;
        benchmark::RegisterBenchmark(name("rebuild", bars).c_str(), bm_rebuild, bars)->Unit(unit);
        benchmark::RegisterBenchmark(name("read_limit", bars).c_str(), bm_read_limit, bars)->Unit(unit);
        benchmark::RegisterBenchmark(name("memory_floor", bars).c_str(), bm_memory_floor, bars)->Unit(unit);
        if (bars == 10000) continue;
        benchmark::RegisterBenchmark(name("update_trade", bars).c_str(), bm_update_trade, bars)
            ->UseManualTime()
            ->Unit(kMicrosecond);
        benchmark::RegisterBenchmark(name("update_bar", bars).c_str(), bm_update_bar, bars)
            ->UseManualTime()
            ->Unit(kMicrosecond);
        if (bars == 100000) {
            for (const std::int32_t new_bars : {1, 64}) {
                benchmark::RegisterBenchmark(name("update_bars", new_bars).c_str(), bm_update_bars, bars, new_bars)
                    ->UseManualTime()
                    ->Unit(kMicrosecond);
            }
        }
        benchmark::RegisterBenchmark(name("recompute", bars).c_str(), bm_recompute, bars)->Unit(unit);
    }
}

}  // namespace
}  // namespace kmi::bench

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    kmi::bench::register_all();
    kmi::bench::SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.print_summary(stdout);
    if (kmi::bench::current_market) kmi::bench::close_market(*kmi::bench::current_market);
    benchmark::Shutdown();
    return 0;
}
