// The limit of a rebuild: one plain pass that only reads the source arrays the study
// reads (bar times and the four prices of all nine sources), each element once, in order.
#ifndef KMI_BENCH_READ_LIMIT_H
#define KMI_BENCH_READ_LIMIT_H

#include <cstdint>

#include "bench/synthetic_market.h"

namespace kmi::bench {

// Sums the times and the bit patterns of the prices in integer arithmetic, which the
// compiler vectorises, so the pass costs what reading the memory costs. The sum is
// returned so that no read can be left out.
std::uint64_t read_source_arrays_once(const SyntheticMarket& market);

// The memory floor of a rebuild: the pass above plus what a rebuild cannot avoid
// besides: reading this chart's own volume, ask and bid volume arrays, and writing each
// of 20 series of chart bars once (the study's output series are left alone: the
// recompute peer compares with them), one series after the other, as the study stores
// them. No arithmetic beyond an integer sum per bar; what it costs is
// moving that memory.
std::uint64_t read_and_write_once(SyntheticMarket& market);

}  // namespace kmi::bench

#endif
