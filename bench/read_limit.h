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

}  // namespace kmi::bench

#endif
