// The recompute peer: what most indicator code does on every update, recomputing every
// reading of every bar from the first bar on, with the study's own reading functions. It
// is the yardstick of the incremental design and lives in the benchmarks only.
#ifndef KMI_BENCH_RECOMPUTE_PEER_H
#define KMI_BENCH_RECOMPUTE_PEER_H

#include <array>
#include <cstdint>
#include <vector>

#include "bench/synthetic_market.h"
#include "metrics/session_window.h"

namespace kmi::bench {

inline constexpr int peer_series_count = 20;

// The peer's output: 20 series of one value per chart bar, kept between updates as an
// indicator keeps its output buffers.
struct PeerOutput {
    std::array<std::vector<float>, peer_series_count> series;
};

struct PeerRules {
    SessionWindow window;
    double upper_threshold = 1000.0;
    double lower_threshold = -1000.0;
};

// Every bar of the market from scratch: each source walked from its first bar, each chart
// bar's 20 readings computed and stored; the last bar with the sources' forming bars, as
// of the host's clock.
void recompute_every_bar(const SyntheticMarket& market, const PeerRules& rules, PeerOutput& output);

// The number of values where the peer and the study's output series differ bit for bit.
std::int64_t count_differences(const SyntheticMarket& market, const PeerOutput& output);

}  // namespace kmi::bench

#endif
