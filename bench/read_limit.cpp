#include "bench/read_limit.h"

#include <cstring>

namespace kmi::bench {
namespace {

std::uint32_t sum_bits(const std::vector<float>& values) {
    std::uint32_t sum = 0;
    for (const float value : values) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        sum += bits;
    }
    return sum;
}

}  // namespace

std::uint64_t read_and_write_once(SyntheticMarket& market) {
    std::uint64_t sum = read_source_arrays_once(market);
    const emu::Chart& chart = emu::study_chart(*market.host);
    sum += sum_bits(chart.volume) + sum_bits(chart.ask_volume) + sum_bits(chart.bid_volume);
    const auto value = static_cast<float>(sum & 0xffffu);
    for (std::vector<float>& series : market.floor_series) {
        for (float& slot : series) slot = value;
    }
    return sum;
}

std::uint64_t read_source_arrays_once(const SyntheticMarket& market) {
    std::uint64_t sum = 0;
    for (const emu::Chart* chart : market.sources) {
        for (const HostDateTime time : chart->times) sum += static_cast<std::uint64_t>(time);
        sum += sum_bits(chart->open) + sum_bits(chart->high) + sum_bits(chart->low) + sum_bits(chart->close);
    }
    return sum;
}

}  // namespace kmi::bench
