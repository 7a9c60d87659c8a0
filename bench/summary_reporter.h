// The console report of Google Benchmark, followed by a summary table of the medians:
// rebuild against the read limit, updates against history length and the recompute peer,
// and the heap blocks per call and per bar, each with its target.
#ifndef KMI_BENCH_SUMMARY_REPORTER_H
#define KMI_BENCH_SUMMARY_REPORTER_H

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace kmi::bench {

struct Measurement {
    double nanoseconds = 0.0;  // real (or manual) time per iteration
    std::map<std::string, double> counters;
};

class SummaryReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override;
    // Prints the summary in Markdown; measurements that were not run are left out.
    void print_summary(std::FILE* out) const;

  private:
    // Per benchmark: the median of the repetitions, or the single run without repetitions.
    std::map<std::string, Measurement> medians_;
    std::map<std::string, Measurement> single_runs_;
    const Measurement* find(const std::string& name) const;
};

}  // namespace kmi::bench

#endif
