#include "emulator/replay.h"

#include <algorithm>
#include <map>
#include <set>

#include "emulator/csv_bars.h"
#include "emulator/date_time_text.h"
#include "emulator/input_error.h"
#include "emulator/input_values.h"
#include "emulator/terminal_panel.h"
#include "host/host_text.h"

namespace kmi::emu {
namespace {

HostDateTime period_us(const ReplayFeed& feed) { return static_cast<HostDateTime>(feed.bar_seconds) * us_per_second; }

// The number of bars that have started by `clock`.
std::size_t started_bars(const ReplayFeed& feed, HostDateTime clock) {
    return static_cast<std::size_t>(
        std::upper_bound(feed.bars.begin(), feed.bars.end(), clock,
                         [](HostDateTime time, const Bar& bar) { return time < bar.time; }) -
        feed.bars.begin());
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

std::string csv_field(const std::string& text) {
    if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

bool is_plain_file_name(const std::string& symbol) {
    return !symbol.empty() && symbol != "." && symbol != ".." && symbol.find_first_of("/\\:") == std::string::npos;
}

struct Replay {
    const ReplaySettings& settings;
    const ReplayHooks& hooks;
    Host& host;
    ReplayFeed chart_feed;
    std::map<std::string, ReplayFeed> feeds;  // the sources, by symbol
    std::optional<std::int32_t> bar_count_at_last_call;

    void load_source_feeds() {
        for (const HostInput& in : host.study.inputs) {
            if (!input_holds_text(in.type) || input_text(in) == nullptr) continue;
            const std::string symbol = input_text(in);
            if (!is_plain_file_name(symbol) || feeds.count(symbol) != 0) continue;
            std::error_code error;
            if (!std::filesystem::is_regular_file(settings.data_dir / (symbol + ".csv"), error)) continue;
            feeds[symbol] = load_feed(settings.data_dir, symbol);
            Chart chart = make_chart(0, symbol, feeds[symbol].bar_seconds);
            host.symbol_library[symbol] = std::move(chart);
        }
    }

    // Every chart moves to the clock: the study's chart, the library's charts and the
    // charts the study opened.
    void advance(HostDateTime clock) {
        host.now = clock;
        show_feed_at(study_chart(host), chart_feed, clock);
        for (auto& [symbol, chart] : host.symbol_library) show_feed_at(chart, feeds.at(symbol), clock);
        for (auto& [number, chart] : host.charts) {
            if (number == host.study.chart_number) continue;
            const auto feed = feeds.find(chart.symbol);
            if (feed != feeds.end()) show_feed_at(chart, feed->second, clock);
        }
    }

    void calculate(CallKind kind, const ReplayStep& step) {
        const std::int32_t bars = bar_count(study_chart(host));
        std::int32_t start = bars - 1;
        if (bar_count_at_last_call && bars > *bar_count_at_last_call) start = *bar_count_at_last_call - 1;
        call_study(host, kind, std::max(start, 0));
        bar_count_at_last_call = bars;
        if (hooks.after_call) hooks.after_call(host, step);
    }
};

void close_host(Host& host) {
    host.observer = nullptr;
    if (state_is_set(host)) call_study(host, CallKind::last);
    destroy_host_values(host);
}

}  // namespace

ReplayFeed load_feed(const std::filesystem::path& data_dir, const std::string& symbol) {
    ReplayFeed feed;
    feed.symbol = symbol;
    feed.bars = read_csv_bars(data_dir / (symbol + ".csv")).bars;
    feed.bar_seconds = typical_bar_seconds(feed.bars);
    return feed;
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
    const std::size_t shown = started_bars(feed, clock);
    std::size_t kept = chart.times.size();
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
    for (std::size_t i = kept; i < shown; ++i) append_bar(chart, bar_at(feed, i, clock));
}

std::string series_csv(const Host& host) {
    const StudyInstance& study = host.study;
    std::string out = "time";
    for (const HostOutputSeries& series : study.outputs) {
        out += ',';
        out += csv_field(kmi::text_chars(series.name));
    }
    out += "\n";
    const Chart& chart = host.charts.at(study.chart_number);
    for (std::size_t bar = 0; bar < chart.times.size(); ++bar) {
        out += format_date_time(chart.times[bar]);
        for (const std::vector<float>& values : study.series) {
            out += ',';
            out += shortest_text(bar < values.size() ? values[bar] : 0.0f);
        }
        out += "\n";
    }
    return out;
}

ReplayOutcome run_replay(StudyFunction study_function, const ReplaySettings& settings, const ReplayHooks& hooks) {
    ReplayFeed chart_feed;
    {
        std::error_code error;
        const std::filesystem::path file = settings.data_dir / (settings.chart_symbol + ".csv");
        if (!is_plain_file_name(settings.chart_symbol) || !std::filesystem::is_regular_file(file, error)) {
            throw InputError("--chart " + settings.chart_symbol + ": no file " + file.string());
        }
        chart_feed = load_feed(settings.data_dir, settings.chart_symbol);
        if (chart_feed.bars.empty()) throw InputError(file.string() + ": has no bars");
    }
    Chart chart = make_chart(1, settings.chart_symbol, chart_feed.bar_seconds);
    std::unique_ptr<Host> host = make_host(study_function, chart, 0);
    Replay replay{settings, hooks, *host, chart_feed, {}, std::nullopt};
    host->observer = [&hooks](const HostOperation& operation) {
        if (operation.kind == HostOperation::Kind::log_message && hooks.on_log) hooks.on_log(*operation.log_line);
    };
    ReplayOutcome outcome;
    try {
        call_study(*host, CallKind::defaults);
        if (!settings.inputs.is_null()) store_input_values(*host, settings.inputs, settings.inputs_name);
        replay.load_source_feeds();

        // The clock of every call: the history's end, then four stages per live bar.
        const std::vector<Bar>& bars = chart_feed.bars;
        const HostDateTime period = period_us(chart_feed);
        std::size_t history = 0;
        if (settings.from) {
            history = static_cast<std::size_t>(
                std::lower_bound(bars.begin(), bars.end(), *settings.from,
                                 [](const Bar& bar, HostDateTime time) { return bar.time < time; }) -
                bars.begin());
        }
        std::vector<HostDateTime> clocks;
        auto add_stage_clocks = [&](std::size_t k) {
            for (int stage = 0; stage < 4; ++stage) {
                const HostDateTime clock = bars[k].time + period * stage / 4;
                if (k + 1 < bars.size() && clock >= bars[k + 1].time) break;
                clocks.push_back(clock);
            }
        };
        if (history > 0) {
            // The history's last bar stands closed, at the time of its close stage.
            HostDateTime clock = bars[history - 1].time + period * 3 / 4;
            if (history < bars.size() && clock >= bars[history].time) clock = bars[history].time - 1;
            clocks.push_back(clock);
        }
        for (std::size_t k = history; k < bars.size(); ++k) add_stage_clocks(k);

        const auto total = static_cast<std::int64_t>(clocks.size());
        for (std::int64_t i = 0; i < total; ++i) {
            replay.advance(clocks[static_cast<std::size_t>(i)]);
            replay.calculate(i == 0 ? CallKind::full : CallKind::update,
                             ReplayStep{clocks[static_cast<std::size_t>(i)], i + 1, total, i == 0});
        }
        outcome.series_csv = series_csv(*host);
        for (const LogLine& line : host->log) outcome.log_txt += line.text + "\n";
        outcome.panel = panel_rows(*host);
        outcome.panel_txt = panel_plain_text(outcome.panel);
        outcome.page = chart_page_data(*host);
        outcome.bar_count = bar_count(study_chart(*host));
        outcome.calls = total;
    } catch (...) {
        close_host(*host);
        throw;
    }
    close_host(*host);
    return outcome;
}

}  // namespace kmi::emu
