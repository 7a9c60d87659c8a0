#include "bench/summary_reporter.h"

#include <cmath>

namespace kmi::bench {
namespace {

double nanoseconds_per(benchmark::TimeUnit unit) {
    switch (unit) {
        case benchmark::kNanosecond: return 1.0;
        case benchmark::kMicrosecond: return 1e3;
        case benchmark::kMillisecond: return 1e6;
        case benchmark::kSecond: return 1e9;
    }
    return 1.0;
}

Measurement measurement_of(const benchmark::BenchmarkReporter::Run& run) {
    Measurement m;
    m.nanoseconds = run.GetAdjustedRealTime() * nanoseconds_per(run.time_unit);
    for (const auto& [name, counter] : run.counters) m.counters[name] = counter.value;
    return m;
}

double counter(const Measurement& m, const char* name) {
    const auto it = m.counters.find(name);
    return it == m.counters.end() ? NAN : it->second;
}

const char* verdict(bool met) { return met ? "met" : "MISSED"; }

}  // namespace

void SummaryReporter::ReportRuns(const std::vector<Run>& runs) {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
        if (run.error_occurred) continue;
        const std::string& name = run.run_name.function_name;
        if (run.run_type == Run::RT_Aggregate) {
            if (run.aggregate_name == "median") medians_[name] = measurement_of(run);
        } else {
            single_runs_[name] = measurement_of(run);
        }
    }
}

const Measurement* SummaryReporter::find(const std::string& name) const {
    if (const auto it = medians_.find(name); it != medians_.end()) return &it->second;
    if (const auto it = single_runs_.find(name); it != single_runs_.end()) return &it->second;
    return nullptr;
}

void SummaryReporter::print_summary(std::FILE* out) const {
    std::fprintf(out, "\n## Summary (medians)\n\n### Rebuild: full recalculation, nine 1-minute sources\n\n");
    std::fprintf(out,
                 "| chart bars | source bars | rebuild | rebuild ns/source bar | read limit ns/source bar | rebuild / "
                 "limit | memory floor ns/source bar | floor / limit | rebuild / floor |\n");
    std::fprintf(out, "|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    double ratio_at_million = NAN;
    for (const int bars : {1000, 10000, 100000, 1000000}) {
        const Measurement* rebuild = find("rebuild/" + std::to_string(bars));
        const Measurement* limit = find("read_limit/" + std::to_string(bars));
        if (rebuild == nullptr || limit == nullptr) continue;
        const double source_bars = counter(*rebuild, "source_bars");
        const double rebuild_per_bar = rebuild->nanoseconds / source_bars;
        const double limit_per_bar = limit->nanoseconds / source_bars;
        const double ratio = rebuild_per_bar / limit_per_bar;
        if (bars == 1000000) ratio_at_million = ratio;
        const Measurement* floor = find("memory_floor/" + std::to_string(bars));
        const double floor_per_bar = floor != nullptr ? floor->nanoseconds / source_bars : NAN;
        std::fprintf(out, "| %d | %.0f | %.3f ms | %.2f | %.2f | %.2f | %.2f | %.2f | %.2f |\n", bars, source_bars,
                     rebuild->nanoseconds / 1e6, rebuild_per_bar, limit_per_bar, ratio, floor_per_bar,
                     floor_per_bar / limit_per_bar, rebuild_per_bar / floor_per_bar);
    }
    if (!std::isnan(ratio_at_million)) {
        std::fprintf(out, "\nTarget, rebuild within 2x of the read limit at 1 000 000 bars: %.2fx, %s\n",
                     ratio_at_million, verdict(ratio_at_million <= 2.0));
    }

    std::fprintf(out, "\n### Ordinary update against history, and the recompute peer\n\n");
    std::fprintf(out,
                 "| history bars | new trade | new closed bar | recompute peer | peer / trade | peer / closed bar "
                 "| blocks per trade update | blocks per bar update |\n");
    std::fprintf(out, "|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    std::map<int, std::pair<double, double>> updates;
    for (const int bars : {1000, 100000, 1000000}) {
        const Measurement* trade = find("update_trade/" + std::to_string(bars));
        const Measurement* bar = find("update_bar/" + std::to_string(bars));
        const Measurement* peer = find("recompute/" + std::to_string(bars));
        if (trade == nullptr || bar == nullptr) continue;
        updates[bars] = {trade->nanoseconds, bar->nanoseconds};
        const double peer_ns = peer != nullptr ? peer->nanoseconds : NAN;
        std::fprintf(out, "| %d | %.2f us | %.2f us | %.3f ms | %.0f | %.0f | %.0f | %.0f |\n", bars,
                     trade->nanoseconds / 1e3, bar->nanoseconds / 1e3, peer_ns / 1e6, peer_ns / trade->nanoseconds,
                     peer_ns / bar->nanoseconds, counter(*trade, "allocs_per_call"), counter(*bar, "allocs_per_call"));
    }
    if (updates.count(1000) != 0 && updates.count(1000000) != 0) {
        const double trade_ratio = updates[1000000].first / updates[1000].first;
        const double bar_ratio = updates[1000000].second / updates[1000].second;
        std::fprintf(out,
                     "\nTarget, flat (1 000 000-bar update within 1.2x of the 1 000-bar one): new trade %.2fx, %s; "
                     "new closed bar %.2fx, %s\n",
                     trade_ratio, verdict(trade_ratio <= 1.2), bar_ratio, verdict(bar_ratio <= 1.2));
    }

    const Measurement* one = find("update_bars/1");
    const Measurement* many = find("update_bars/64");
    if (one != nullptr && many != nullptr) {
        const double blocks_per_bar = (counter(*many, "allocs_per_call") - counter(*one, "allocs_per_call")) / 63.0;
        const double ns_per_bar = (many->nanoseconds - one->nanoseconds) / 63.0;
        std::fprintf(out, "\n### Heap blocks per call and per bar (history 100 000 bars)\n\n");
        std::fprintf(out, "| closed bars per update | time per update | blocks allocated | blocks freed |\n");
        std::fprintf(out, "|---:|---:|---:|---:|\n");
        std::fprintf(out, "| 1 | %.2f us | %.0f | %.0f |\n", one->nanoseconds / 1e3, counter(*one, "allocs_per_call"),
                     counter(*one, "frees_per_call"));
        std::fprintf(out, "| 64 | %.2f us | %.0f | %.0f |\n", many->nanoseconds / 1e3,
                     counter(*many, "allocs_per_call"), counter(*many, "frees_per_call"));
        std::fprintf(out, "\nPer additional closed bar: %.1f ns, %.2f blocks. Target, no block per bar: %s\n",
                     ns_per_bar, blocks_per_bar, verdict(blocks_per_bar == 0.0));
    }
}

}  // namespace kmi::bench
