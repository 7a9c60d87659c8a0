// One ordinary update on its own, for counting its instructions under callgrind
// (scripts/callgrind-update.sh collects inside kmi_measured_call only).
//
//   kmi_update_probe [--history BARS] [--kind trade|bar|full]
//
// The market of BARS bars is built and fully recalculated, one call of the kind is made
// to warm up, then the measured call: an update for a new trade on the forming bar, or
// for one new closed bar on every chart; `full` measures a full recalculation instead.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/synthetic_market.h"

namespace {

enum class Kind { trade, bar, full };

// The forming bar takes the trade, or closes as the new bar begins; returns the first bar
// the host recalculates (-1: all of them).
std::int32_t prepare(kmi::bench::SyntheticMarket& market, Kind kind) {
    const std::int32_t forming = kmi::bench::chart_bars(market) - 1;
    switch (kind) {
        case Kind::trade: kmi::bench::trade_on_last_bar(market); return forming;
        case Kind::bar: kmi::bench::append_market_bar(market); return forming;
        case Kind::full: return -1;
    }
    return -1;
}

void call(kmi::bench::SyntheticMarket& market, std::int32_t first_changed_bar) {
    if (first_changed_bar < 0) {
        kmi::bench::full_recalculation(market);
    } else {
        kmi::bench::ordinary_update(market, first_changed_bar);
    }
}

int usage() {
    std::fprintf(stderr, "usage: kmi_update_probe [--history BARS] [--kind trade|bar|full]\n");
    return 2;
}

}  // namespace

// Not inlined, and the empty statement after the call keeps it from becoming a jump, so
// that callgrind sees the call enter and leave this function.
extern "C" __attribute__((noinline)) void kmi_measured_call(kmi::bench::SyntheticMarket* market,
                                                            std::int32_t first_changed_bar) {
    call(*market, first_changed_bar);
    asm volatile("" ::: "memory");
}

int main(int argc, char** argv) {
    long history = 100000;
    std::string kind_name = "trade";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--history") == 0 && i + 1 < argc) {
            history = std::strtol(argv[++i], nullptr, 10);
        } else if (std::strcmp(argv[i], "--kind") == 0 && i + 1 < argc) {
            kind_name = argv[++i];
        } else {
            return usage();
        }
    }
    if (history < 2 || history > 5000000) return usage();
    Kind kind = Kind::trade;
    if (kind_name == "bar") {
        kind = Kind::bar;
    } else if (kind_name == "full") {
        kind = Kind::full;
    } else if (kind_name != "trade") {
        return usage();
    }

    auto market = kmi::bench::make_market(static_cast<std::int32_t>(history), 16);
    call(*market, prepare(*market, kind));  // warm-up
    market->host->log.clear();
    kmi_measured_call(market.get(), prepare(*market, kind));
    const bool rebuilt = !market->host->log.empty();
    int status = 0;
    if (kind == Kind::full) {
        std::printf("history %ld bars: full recalculation\n", history);
    } else {
        std::printf("history %ld bars: update for a new %s, %s\n", history,
                    kind == Kind::trade ? "trade" : "closed bar",
                    rebuilt ? "REBUILT (not an ordinary update)" : "ordinary update");
        status = rebuilt ? 1 : 0;
    }
    kmi::bench::close_market(*market);
    return status;
}
