#include "kmi_host/replay/replay_feed.h"

#include <algorithm>
#include <utility>

#include "kmi_host/text/date_time_text.h"
#include "kmi_host/text/path_text.h"

namespace kmi::emu {
namespace {

HostDateTime period_us(const ReplayFeed& feed) { return static_cast<HostDateTime>(feed.bar_seconds) * us_per_second; }

// The number of bars that have started by `clock`, at least `from` when the bar before it has
// started: a replay's clock moves forward, so the answer is mostly `from` or a bar or two after.
std::size_t started_bars(const ReplayFeed& feed, HostDateTime clock, std::size_t from) {
    const std::vector<Bar>& bars = feed.bars;
    auto first = bars.begin();
    if (from <= bars.size() && (from == 0 || bars[from - 1].time <= clock)) {
        for (int look = 0; look < 4 && from < bars.size(); ++look, ++from) {
            if (bars[from].time > clock) return from;
        }
        first += static_cast<std::ptrdiff_t>(from);
    }
    return static_cast<std::size_t>(
        std::upper_bound(first, bars.end(), clock, [](HostDateTime time, const Bar& bar) { return time < bar.time; }) -
        bars.begin());
}

Bar bar_at(const ReplayFeed& feed, std::size_t index, HostDateTime clock) {
    const Bar& whole = feed.bars[index];
    const HostDateTime elapsed = clock - whole.time;
    const HostDateTime period = period_us(feed);
    if (index + 1 < feed.bars.size() && feed.bars[index + 1].time <= clock) return whole;
    if (period <= 0 || elapsed >= period) return whole;
    return forming_bar(whole, static_cast<int>(std::min<HostDateTime>(3, elapsed * 4 / period)));
}

bool same_bar(const Chart& chart, std::size_t index, const Bar& bar) {
    return chart.times[index] == bar.time && chart.open[index] == bar.open && chart.high[index] == bar.high &&
           chart.low[index] == bar.low && chart.close[index] == bar.close && chart.volume[index] == bar.volume &&
           chart.bid_volume[index] == bar.bid_volume && chart.ask_volume[index] == bar.ask_volume;
}

}  // namespace

ReplayFeed load_feed(const std::filesystem::path& file, const std::string& symbol, const BarFileOptions& options,
                     std::vector<std::string>& notes, const BarFileReader& reader) {
    BarFile read = reader ? reader(file, options) : read_bar_file(file, options);
    return feed_of(std::move(read), file, symbol, notes);
}

ReplayFeed feed_of(BarFile read, const std::filesystem::path& file, const std::string& symbol,
                   std::vector<std::string>& notes) {
    notes.push_back(reading_plan_summary(text_of(file), read.plan, read.bars));
    notes.insert(notes.end(), read.notes.begin(), read.notes.end());
    ReplayFeed feed;
    feed.symbol = symbol;
    feed.file = text_of(file);
    feed.naive_zone = read.naive_zone;
    feed.stamps = read.stamps;
    feed.bars = std::move(read.bars);
    feed.bar_seconds = read.plan.length.seconds;
    if (read.plan.length.from == BarLength::From::given) feed.given_seconds = read.plan.length.seconds;
    feed.dates_only = read.plan.dates_only;
    return feed;
}

Chart feed_chart(std::int32_t number, const ReplayFeed& feed, const std::string& time_zone) {
    Chart chart = make_chart(number, feed.symbol, feed.bar_seconds);
    chart.time_zone = time_zone;
    return chart;
}

std::optional<HostDateTime> stage_clock(const ReplayFeed& feed, std::size_t bar, int stage) {
    const HostDateTime clock = feed.bars[bar].time + period_us(feed) * stage / 4;
    if (bar + 1 < feed.bars.size() && clock >= feed.bars[bar + 1].time) return std::nullopt;
    return clock;
}

HostDateTime last_stage_clock(const ReplayFeed& feed, std::size_t bar) {
    for (int stage = 3; stage > 0; --stage) {
        if (const std::optional<HostDateTime> clock = stage_clock(feed, bar, stage)) return *clock;
    }
    return feed.bars[bar].time;
}

Bar forming_bar(const Bar& whole, int stage) {
    if (stage >= 3) return whole;
    const bool rising = whole.close >= whole.open;
    const float first = rising ? whole.low : whole.high;
    const float second = rising ? whole.high : whole.low;
    Bar bar = whole;
    const float share = static_cast<float>(stage + 1) / 4.0f;
    bar.volume = whole.volume * share;
    bar.bid_volume = whole.bid_volume * share;
    bar.ask_volume = whole.ask_volume * share;
    bar.high = bar.low = bar.close = whole.open;
    if (stage >= 1) {
        bar.close = first;
        bar.high = std::max(whole.open, first);
        bar.low = std::min(whole.open, first);
    }
    if (stage >= 2) {
        bar.close = second;
        bar.high = whole.high;
        bar.low = whole.low;
    }
    return bar;
}

void show_feed_at(Chart& chart, const ReplayFeed& feed, HostDateTime clock) {
    std::size_t kept = chart.times.size();
    const std::size_t shown = started_bars(feed, clock, kept);
    if (kept > shown) {
        std::vector<Bar> bars;
        for (std::size_t i = 0; i < shown; ++i) bars.push_back(bar_at(feed, i, clock));
        set_bars(chart, bars);
        return;
    }
    if (kept > 0) {
        const Bar last = bar_at(feed, kept - 1, clock);
        if (!same_bar(chart, kept - 1, last)) replace_last_bar(chart, last);
    }
    // The chart's arrays are sized once for the whole feed, not grown bar by bar.
    if (shown > chart.times.capacity()) reserve_bars(chart, feed.bars.size());
    for (std::size_t i = kept; i < shown; ++i) append_bar(chart, bar_at(feed, i, clock));
}

}  // namespace kmi::emu
