// One ordinary update on its own, for counting its instructions under callgrind
// (scripts/callgrind-update.sh collects inside kmi_measured_update only).
//
//   kmi_update_probe [--history BARS] [--kind trade|bar]
//
// The market of BARS bars is built and fully recalculated, one update of the kind is made
// to warm up, then the measured update: a new trade on the forming bar, or one new closed
// bar on every chart.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/synthetic_market.h"

extern "C" __attribute__((noinline)) void kmi_measured_update(kmi::bench::SyntheticMarket* market,
                                                               std::int32_t first_changed_bar) {
    kmi::bench::ordinary_update(*market, first_changed_bar);
}

namespace {

int usage() {
    std::fprintf(stderr, "usage: kmi_update_probe [--history BARS] [--kind trade|bar]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    long history = 100000;
    std::string kind = "trade";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--history") == 0 && i + 1 < argc) {
            history = std::strtol(argv[++i], nullptr, 10);
        } else if (std::strcmp(argv[i], "--kind") == 0 && i + 1 < argc) {
            kind = argv[++i];
        } else {
            return usage();
        }
    }
    if (history < 2 || history > 5000000 || (kind != "trade" && kind != "bar")) return usage();

    auto market = kmi::bench::make_market(static_cast<std::int32_t>(history), 16);
    market->host->log.clear();
    const auto update = [&](bool measured) {
        // The forming bar: it takes the trade, or it closes as the new bar begins.
        const std::int32_t first_changed = kmi::bench::chart_bars(*market) - 1;
        if (kind == "trade") {
            kmi::bench::trade_on_last_bar(*market);
        } else {
            kmi::bench::append_market_bar(*market);
        }
        if (measured) {
            kmi_measured_update(market.get(), first_changed);
        } else {
            kmi::bench::ordinary_update(*market, first_changed);
        }
    };
    update(false);
    update(true);
    const bool rebuilt = !market->host->log.empty();
    std::printf("history %ld bars, update for a new %s: %s\n", history, kind == "trade" ? "trade" : "closed bar",
                rebuilt ? "REBUILT (not an ordinary update)" : "ordinary update");
    kmi::bench::close_market(*market);
    return rebuilt ? 1 : 0;
}
