#include "kmi_host/host_core/chart.h"

#include <algorithm>
#include <utility>

namespace kmi::emu {

Chart make_chart(std::int32_t number, std::string symbol, std::int32_t bar_seconds) {
    Chart chart;
    chart.number = number;
    chart.symbol = std::move(symbol);
    set_bar_seconds(chart, bar_seconds);
    return chart;
}

void set_bar_seconds(Chart& chart, std::int32_t bar_seconds) {
    chart.bar_seconds = bar_seconds;
    chart.bar_period =
        bar_seconds >= 1 ? std::array<std::int32_t, 3>{2, 0, bar_seconds} : std::array<std::int32_t, 3>{0, 0, 0};
}

void append_bar(Chart& chart, const Bar& bar) {
    chart.times.push_back(bar.time);
    chart.open.push_back(bar.open);
    chart.high.push_back(bar.high);
    chart.low.push_back(bar.low);
    chart.close.push_back(bar.close);
    chart.volume.push_back(bar.volume);
    chart.bid_volume.push_back(bar.bid_volume);
    chart.ask_volume.push_back(bar.ask_volume);
}

void reserve_bars(Chart& chart, std::size_t bars) {
    chart.times.reserve(bars);
    for (auto* values :
         {&chart.open, &chart.high, &chart.low, &chart.close, &chart.volume, &chart.bid_volume, &chart.ask_volume}) {
        values->reserve(bars);
    }
}

void replace_last_bar(Chart& chart, const Bar& bar) {
    if (chart.times.empty()) {
        append_bar(chart, bar);
        return;
    }
    chart.times.back() = bar.time;
    chart.open.back() = bar.open;
    chart.high.back() = bar.high;
    chart.low.back() = bar.low;
    chart.close.back() = bar.close;
    chart.volume.back() = bar.volume;
    chart.bid_volume.back() = bar.bid_volume;
    chart.ask_volume.back() = bar.ask_volume;
}

void set_bars(Chart& chart, const std::vector<Bar>& bars) {
    for (auto* values :
         {&chart.open, &chart.high, &chart.low, &chart.close, &chart.volume, &chart.bid_volume, &chart.ask_volume}) {
        values->clear();
    }
    chart.times.clear();
    for (const Bar& bar : bars) append_bar(chart, bar);
}

std::vector<Bar> bars_of(const Chart& chart, std::size_t from) {
    std::vector<Bar> bars(chart.times.size() - std::min(from, chart.times.size()));
    for (std::size_t k = 0; k < bars.size(); ++k) {
        const std::size_t i = from + k;
        bars[k] = Bar{chart.times[i], chart.open[i],   chart.high[i],       chart.low[i],
                      chart.close[i], chart.volume[i], chart.bid_volume[i], chart.ask_volume[i]};
    }
    return bars;
}

std::int32_t bar_count(const Chart& chart) { return static_cast<std::int32_t>(chart.times.size()); }

}  // namespace kmi::emu
