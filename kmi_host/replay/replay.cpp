#include "kmi_host/replay/replay.h"

#include <algorithm>
#include <future>
#include <map>
#include <memory>
#include <set>

#include "host/host_datetime.h"
#include "host/host_text.h"
#include "host/numeric.h"
#include "kmi_host/bar_files/reader.h"
#include "kmi_host/bar_files/surge_check.h"
#include "kmi_host/bar_files/time_zone.h"
#include "kmi_host/following/file_watch.h"
#include "kmi_host/following/followed_files.h"
#include "kmi_host/following/stop_signal.h"
#include "kmi_host/host_core/input_values.h"
#include "kmi_host/output_files/series_files.h"
#include "kmi_host/terminal/terminal_panel.h"
#include "kmi_host/text/date_time_text.h"
#include "kmi_host/text/input_error.h"
#include "kmi_host/text/path_text.h"
#include "settings/source_slots.h"

namespace kmi::emu {
namespace {

ReplayFeed feed_of(BarFile read, const std::filesystem::path& file, const std::string& symbol,
                   std::vector<std::string>& notes);

// A followed file's first reading, as the feed of `symbol`.
ReplayFeed load_followed_feed(FollowedFile& file, const std::string& symbol, std::vector<std::string>& notes) {
    return feed_of(read_followed_file(file), file.path, symbol, notes);
}

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

// The chart shows the feed whole, as it stands: its bars from `changed_from` on changed (a
// bar before the chart's last: every bar is set again).
void show_whole_feed(Chart& chart, const ReplayFeed& feed, std::size_t changed_from) {
    const std::size_t kept = chart.times.size();
    if ((changed_from != no_change && changed_from + 1 < kept) || feed.bars.size() < kept) {
        set_bars(chart, feed.bars);
        return;
    }
    if (kept > 0 && !same_bar(chart, kept - 1, feed.bars[kept - 1])) replace_last_bar(chart, feed.bars[kept - 1]);
    for (std::size_t i = kept; i < feed.bars.size(); ++i) append_bar(chart, feed.bars[i]);
}

// Stores a value in an input, under `type` unless the input already has that type.
void store_typed_input(Host& host, int index, std::uint8_t type, const Json& value, const std::string& where) {
    HostInput& in = input(host, index);
    const bool typed = type == kmi_input_text ? input_holds_text(in.type) : in.type == type;
    store_input_value(in, typed ? value : Json{{"type", type}, {"value", value}}, where);
}

// A slot reads `symbol` (empty: off), opened by symbol.
void set_slot_symbol(Host& host, int slot, const std::string& symbol, const std::string& where) {
    store_typed_input(host, symbol_input(slot), kmi_input_text, Json(symbol), where);
    store_typed_input(host, chart_number_input(slot), kmi_input_integer, Json(0), where);
}

// The seconds of the day that a time input holds, as the study reads its session inputs:
// whole microseconds of the fraction of a day, their remainder by one day (the sign kept),
// truncated to seconds; 0 for an input of another kind.
std::int64_t input_second_of_day(const HostInput& in) {
    if (in.type != 8 && in.type != 9 && in.type != 10 && in.type != 25) return 0;
    const double days = input_double(in);
    if (days == 0.0) return 0;
    const std::int64_t us = kmi::round_half_away_i64(days * static_cast<double>(kmi::microseconds_per_day));
    return us % kmi::microseconds_per_day / us_per_second;
}

Chart feed_chart(std::int32_t number, const ReplayFeed& feed, const std::string& time_zone) {
    Chart chart = make_chart(number, feed.symbol, feed.bar_seconds);
    chart.time_zone = time_zone;
    return chart;
}

// The slots whose symbol input names `symbol` (in any case).
std::vector<std::string> slots_of_symbol(const Host& host, const std::string& symbol) {
    std::vector<std::string> slots;
    for (int slot = 0; slot < source_slot_count; ++slot) {
        const HostInput& in = host.study.inputs.at(static_cast<std::size_t>(symbol_input(slot)));
        if (input_holds_text(in.type) && input_text(in) != nullptr &&
            lower_ascii(input_text(in)) == lower_ascii(symbol))
            slots.emplace_back(source_slot_names[static_cast<std::size_t>(slot)]);
    }
    return slots;
}

struct Replay {
    const ReplaySettings& settings;
    const ReplayHooks& hooks;
    Host& host;
    ReplayFeed chart_feed;
    FileReadings readings;
    std::vector<std::string> notes;
    std::map<std::string, ReplayFeed> feeds;  // the sources, by symbol
    std::vector<std::string> slots_fed;       // the slots given a file, and "chart"
    std::optional<std::int32_t> bar_count_at_last_call;
    // Following: the chart's file and the sources' (by symbol), as they are read.
    std::optional<FollowedFile> chart_followed{};
    std::map<std::string, FollowedFile> followed{};

    std::vector<const ReplayFeed*> all_feeds() const {
        std::vector<const ReplayFeed*> all{&chart_feed};
        for (const auto& [symbol, feed] : feeds) all.push_back(&feed);
        return all;
    }

    // A source file to read, and what it feeds.
    struct FeedToLoad {
        std::filesystem::path file;
        std::string symbol;
        BarFileOptions options;
        std::vector<std::string> slots;
    };

    // The files of --source, then the data folder's SYMBOL.csv for each text input naming
    // one. The chart's own symbol is the chart: the study reads a slot of that symbol from
    // the chart itself. The files are read side by side, then taken in this order.
    void load_source_feeds(const std::vector<SourceFile>& sources, const std::string& chart_symbol) {
        const std::string chart = lower_ascii(chart_symbol);
        std::vector<FeedToLoad> to_load;
        std::set<std::string> planned;
        const auto plan = [&](const std::filesystem::path& file, const std::string& symbol, const std::string& pick,
                              std::vector<std::string> slots) {
            planned.insert(symbol);
            to_load.push_back(
                FeedToLoad{file, symbol, options_for(readings, slots, settings.time_zone, pick), std::move(slots)});
        };
        for (const SourceFile& source : sources) {
            const std::string& symbol = source.bar_file.symbol;
            if (lower_ascii(symbol) == chart || planned.count(symbol) != 0) continue;
            std::vector<std::string> slots;
            for (const SourceFile& other : sources) {
                if (lower_ascii(other.bar_file.symbol) == lower_ascii(symbol))
                    slots.emplace_back(source_slot_names[static_cast<std::size_t>(other.slot)]);
            }
            plan(source.bar_file.file, symbol, source.bar_file.pick, std::move(slots));
        }
        if (!settings.data_dir.empty()) {
            for (const HostInput& in : host.study.inputs) {
                if (!input_holds_text(in.type) || input_text(in) == nullptr) continue;
                const std::string symbol = input_text(in);
                if (!is_plain_file_name(symbol) || lower_ascii(symbol) == chart || planned.count(symbol) != 0) continue;
                const std::filesystem::path file = settings.data_dir / path_of(symbol + ".csv");
                if (is_file(file)) plan(file, symbol, "", slots_of_symbol(host, symbol));
            }
        }
        std::vector<FollowedFile> files(to_load.size());
        for (std::size_t i = 0; i < to_load.size() && settings.follow; ++i) {
            files[i] =
                FollowedFile{.path = to_load[i].file, .name = text_of(to_load[i].file), .options = to_load[i].options};
        }
        std::vector<ReplayFeed> loaded = load_feeds(to_load, files);
        for (std::size_t i = 0; i < to_load.size(); ++i) {
            const FeedToLoad& source = to_load[i];
            feeds[source.symbol] = std::move(loaded[i]);
            if (settings.follow) followed[source.symbol] = std::move(files[i]);
            host.symbol_library[source.symbol] = feed_chart(0, feeds[source.symbol], settings.time_zone);
            slots_fed.insert(slots_fed.end(), source.slots.begin(), source.slots.end());
        }
    }

    // Each file read on a thread of its own (one by one with a reader of the caller's); the
    // readers' notes kept in the files' order, and the first file in that order that cannot be
    // read is the one told.
    // Files followed are read as such, into `files`.
    std::vector<ReplayFeed> load_feeds(const std::vector<FeedToLoad>& to_load, std::vector<FollowedFile>& files) {
        std::vector<ReplayFeed> loaded(to_load.size());
        std::vector<std::vector<std::string>> file_notes(to_load.size());
        const auto load = [&](std::size_t i) {
            loaded[i] = settings.follow ? load_followed_feed(files[i], to_load[i].symbol, file_notes[i])
                                        : load_feed(to_load[i].file, to_load[i].symbol, to_load[i].options,
                                                    file_notes[i], hooks.read_bars);
        };
        if (hooks.read_bars) {
            for (std::size_t i = 0; i < to_load.size(); ++i) load(i);
        } else {
            std::vector<std::future<void>> reads;
            reads.reserve(to_load.size());
            for (std::size_t i = 0; i < to_load.size(); ++i) reads.push_back(std::async(std::launch::async, load, i));
            for (std::future<void>& read : reads) read.wait();
            for (std::future<void>& read : reads) read.get();
        }
        for (const std::vector<std::string>& read_notes : file_notes) {
            notes.insert(notes.end(), read_notes.begin(), read_notes.end());
        }
        return loaded;
    }

    // The slot's symbol input (lower case, empty when it names nothing).
    std::string slot_symbol(int slot) const {
        const HostInput& in = host.study.inputs.at(static_cast<std::size_t>(symbol_input(slot)));
        return input_holds_text(in.type) && input_text(in) != nullptr ? lower_ascii(input_text(in)) : "";
    }

    // The slot names the chart or a symbol given a file.
    bool slot_reads_a_chart(int slot) const {
        const std::string symbol = slot_symbol(slot);
        return !symbol.empty() && (symbol == lower_ascii(chart_feed.symbol) ||
                                   std::any_of(feeds.begin(), feeds.end(), [&symbol](const auto& feed) {
                                       return lower_ascii(feed.first) == symbol;
                                   }));
    }

    // The panel compares ES and NQ only with both: without a data folder (which binds a slot by
    // its symbol), one of the two given a file leaves that line off.
    void note_es_nq_pair() {
        const bool es = slot_reads_a_chart(slot_es);
        if (es == slot_reads_a_chart(slot_nq)) return;
        const std::string missing = source_slot_names[static_cast<std::size_t>(es ? slot_nq : slot_es)];
        std::string note =
            "the " + missing +
            " slot is given no file, so the panel's ES vs NQ line stays off: give it one with --source " + missing +
            "=FILE";
        // The chart's own file, when its name says it is that instrument and the other slot does
        // not read it.
        const std::string chart = lower_ascii(chart_feed.symbol);
        if (chart.rfind(missing, 0) == 0 && slot_symbol(es ? slot_es : slot_nq) != chart)
            note += " (the chart's own file: --source " + missing + "=" + settings.chart + ")";
        notes.push_back(note);
    }

    // Each chart the clock moves, with its feed: the study's chart, the library's charts and the
    // charts the study opened. Worked out again only when the study has opened a chart.
    std::vector<std::pair<Chart*, const ReplayFeed*>> moved;
    std::size_t moved_for_charts = 0;

    void find_moved_charts() {
        moved.clear();
        moved.emplace_back(&study_chart(host), &chart_feed);
        for (auto& [symbol, chart] : host.symbol_library) moved.emplace_back(&chart, &feeds.at(symbol));
        for (auto& [number, chart] : host.charts) {
            if (number == host.study.chart_number) continue;
            const auto feed = feeds.find(chart.symbol);
            if (feed != feeds.end()) moved.emplace_back(&chart, &feed->second);
        }
        moved_for_charts = host.charts.size();
    }

    // Every chart moves to the clock.
    void advance(HostDateTime clock) {
        host.now = clock;
        if (moved.empty() || moved_for_charts != host.charts.size()) find_moved_charts();
        for (const auto& [chart, feed] : moved) show_feed_at(*chart, *feed, clock);
    }

    // The followed file of each feed: the chart's, then the sources'.
    std::vector<std::pair<FollowedFile*, ReplayFeed*>> followed_feeds() {
        std::vector<std::pair<FollowedFile*, ReplayFeed*>> out{{&*chart_followed, &chart_feed}};
        for (auto& [symbol, file] : followed) out.emplace_back(&file, &feeds.at(symbol));
        return out;
    }

    // The newest bar time of any file: the clock while following (it never goes back).
    HostDateTime newest_time() const {
        HostDateTime newest = host.now;
        for (const ReplayFeed* feed : all_feeds()) {
            if (!feed->bars.empty()) newest = std::max(newest, feed->bars.back().time);
        }
        return newest;
    }

    // After the replay's calls: each look at the files that finds a bar changed moves every
    // chart to its feed as it now stands, whole, and calls the study: an update, or the full
    // recalculation when a bar of the study's chart before its last changed.
    void follow(std::int64_t calls_total) {
        std::vector<std::filesystem::path> paths;
        for (const auto& [file, feed] : followed_feeds()) paths.push_back(file->path);
        const FileWatchHandle watch = hooks.next_look ? FileWatchHandle{} : watch_files(paths);
        std::map<const ReplayFeed*, std::size_t> changed;
        // A file begun with too few bars to tell its bar length tells it as its bars arrive.
        std::set<ReplayFeed*> length_unknown;
        for (const auto& [file, feed] : followed_feeds()) {
            if (feed->bars.size() < 3) length_unknown.insert(feed);
        }
        std::int64_t call = calls_total;
        for (bool first = true;; first = false) {
            if (!first) {
                if (hooks.next_look) {
                    if (!hooks.next_look()) break;
                } else {
                    wait_for_change(*watch, std::chrono::milliseconds(250));
                    if (stop_requested()) break;
                }
                changed.clear();
                for (const auto& [file, feed] : followed_feeds()) {
                    const FileNews news = read_file_news(*file, feed->bars);
                    for (const std::string& report : news.reports) {
                        if (hooks.on_report) hooks.on_report(report);
                    }
                    if (news.changed_from != no_change) changed[feed] = news.changed_from;
                }
                if (changed.empty()) continue;
            }
            const std::size_t shown = study_chart(host).times.size();
            const auto chart_change = changed.find(&chart_feed);
            bool history = chart_change != changed.end() && chart_change->second + 1 < shown;
            // A bar length learnt changes how every bar before is walked: the full recalculation.
            for (auto feed = length_unknown.begin(); feed != length_unknown.end();) {
                const std::int32_t seconds = typical_bar_seconds((*feed)->bars, (*feed)->bar_seconds);
                if (seconds != (*feed)->bar_seconds) {
                    (*feed)->bar_seconds = seconds;
                    history = true;
                }
                feed = (*feed)->bars.size() >= 3 ? length_unknown.erase(feed) : std::next(feed);
            }
            host.now = newest_time();
            if (moved.empty() || moved_for_charts != host.charts.size()) find_moved_charts();
            for (const auto& [chart, feed] : moved) {
                const auto change = changed.find(feed);
                if (chart->bar_seconds != feed->bar_seconds) set_bar_seconds(*chart, feed->bar_seconds);
                show_whole_feed(*chart, *feed, change == changed.end() ? no_change : change->second);
            }
            ++call;
            calculate(history ? CallKind::full : CallKind::update,
                      ReplayStep{host.now, call, calls_total, history, 0, true});
        }
    }

    void calculate(CallKind kind, ReplayStep step) {
        const std::int32_t bars = bar_count(study_chart(host));
        std::int32_t start = bars - 1;
        if (bar_count_at_last_call && bars > *bar_count_at_last_call) start = *bar_count_at_last_call - 1;
        start = kind == CallKind::full ? 0 : std::max(start, 0);
        call_study(host, kind, start);
        bar_count_at_last_call = bars;
        step.from_bar = start;
        if (hooks.after_call) hooks.after_call(host, step);
    }
};

// The line with each run of digits as one "#".
std::string without_numbers(const std::string& line) {
    std::string out;
    for (const char c : line) {
        if (c < '0' || c > '9') {
            out += c;
        } else if (out.empty() || out.back() != '#') {
            out += '#';
        }
    }
    return out;
}

void close_host(Host& host) {
    host.observer = nullptr;
    if (state_is_set(host)) call_study(host, CallKind::last);
    destroy_host_values(host);
}

}  // namespace

ReplayFeed load_feed(const std::filesystem::path& file, const std::string& symbol, const BarFileOptions& options,
                     std::vector<std::string>& notes, const BarFileReader& reader) {
    return feed_of(reader ? reader(file, options) : read_bar_file(file, options), file, symbol, notes);
}

namespace {

ReplayFeed feed_of(BarFile read, const std::filesystem::path& file, const std::string& symbol,
                   std::vector<std::string>& notes) {
    notes.insert(notes.end(), read.notes.begin(), read.notes.end());
    ReplayFeed feed;
    feed.symbol = symbol;
    feed.file = text_of(file);
    feed.naive_zone = read.naive_zone;
    feed.stamps = read.stamps;
    feed.bars = std::move(read.bars);
    feed.bar_seconds = typical_bar_seconds(feed.bars);
    return feed;
}

}  // namespace

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

std::vector<std::string> ConsoleLog::shown(const std::vector<std::string>& lines) {
    auto starts_report = [](const std::string& line) { return line.rfind("Keelwick Market Internals BUILD", 0) == 0; };
    std::vector<std::string> out;
    for (std::size_t i = 0; i < lines.size();) {
        if (!starts_report(lines[i])) {
            out.push_back(lines[i++]);
            continue;
        }
        const std::size_t begin = i;
        std::string report;
        do {
            report += without_numbers(lines[i]) + "\n";
        } while (++i < lines.size() && !starts_report(lines[i]));
        if (report != shown_report) {
            shown_report = report;
            out.insert(out.end(), lines.begin() + static_cast<std::ptrdiff_t>(begin),
                       lines.begin() + static_cast<std::ptrdiff_t>(i));
        } else if (!repeat_told) {
            repeat_told = true;
            out.push_back(repeat_line);
        }
    }
    return out;
}

namespace {

// The session days of `bars` bars whose times `time_at` gives.
template <typename TimeAt>
std::vector<PageDay> days_of(const Host& host, std::size_t bars, TimeAt time_at) {
    const std::int64_t start = input_second_of_day(host.study.inputs.at(8));
    const std::int64_t end = input_second_of_day(host.study.inputs.at(9));
    std::vector<PageDay> days;
    std::int64_t last_day = 0;
    constexpr std::int64_t ms_per_day = 86400000;
    for (std::size_t bar = 0; bar < bars; ++bar) {
        // A session is known by its day number: whole milliseconds divided by one day,
        // truncated; the second of the day is the remainder, truncated.
        const std::int64_t ms = kmi::to_milliseconds(time_at(bar));
        const std::int64_t second = ms % ms_per_day / 1000;
        if (second < start || second >= end) continue;
        const std::int64_t day = ms / ms_per_day;
        if (days.empty() || day != last_day) days.push_back(PageDay{format_date(day), 0});
        days.back().bar = static_cast<std::int32_t>(bar);
        last_day = day;
    }
    return days;
}

}  // namespace

std::vector<PageDay> session_days(const Host& host) {
    const Chart& chart = host.charts.at(host.study.chart_number);
    return days_of(host, chart.times.size(), [&chart](std::size_t bar) { return chart.times[bar]; });
}

std::vector<PageDay> session_days(const Host& host, const std::vector<Bar>& bars) {
    return days_of(host, bars.size(), [&bars](std::size_t bar) { return bars[bar].time; });
}

ReplayOutcome run_replay(StudyFunction study_function, const ReplaySettings& settings, const ReplayHooks& hooks) {
    // The arguments are checked whole before any file is read, so a wrong one is told as itself.
    try {
        load_time_zone(settings.time_zone);
    } catch (const InputError& error) {
        throw InputError(std::string("--time-zone: ") + error.what());
    }
    FileReadings readings = plan_file_readings(settings.data_time_zones, settings.bar_stamps, settings.columns);
    const ChartFile chart_file_named = chart_file(settings.chart, settings.data_dir);
    const std::vector<SourceFile> sources = checked_sources(settings.sources, chart_file_named);
    const BarFileName& chart_bars = chart_file_named.bar_file;
    // The chart's file feeds the chart and every slot given the same file.
    std::vector<std::string> chart_slots{"chart"};
    std::vector<std::string> slots_fed{"chart"};
    for (const SourceFile& source : sources) {
        const std::string slot = source_slot_names[static_cast<std::size_t>(source.slot)];
        slots_fed.push_back(slot);
        if (lower_ascii(source.bar_file.symbol) == lower_ascii(chart_bars.symbol)) chart_slots.push_back(slot);
    }
    if (settings.data_dir.empty()) check_slots_fed(readings, slots_fed);

    std::vector<std::string> notes;
    const BarFileOptions chart_options = options_for(readings, chart_slots, settings.time_zone, chart_bars.pick);
    std::optional<FollowedFile> chart_followed;
    if (settings.follow)
        chart_followed =
            FollowedFile{.path = chart_bars.file, .name = text_of(chart_bars.file), .options = chart_options};
    ReplayFeed chart_feed = chart_followed
                                ? load_followed_feed(*chart_followed, chart_bars.symbol, notes)
                                : load_feed(chart_bars.file, chart_bars.symbol, chart_options, notes, hooks.read_bars);
    if (chart_feed.bars.empty()) throw InputError(text_of(chart_bars.file) + ": has no bars");
    if (std::all_of(chart_feed.bars.begin(), chart_feed.bars.end(),
                    [](const Bar& bar) { return bar.bid_volume == 0.0f && bar.ask_volume == 0.0f; })) {
        notes.push_back(text_of(chart_bars.file) +
                        ": no bid or ask volume, so the chart's cumulative delta reads 0 (it needs bid_volume and "
                        "ask_volume columns)");
    }

    std::unique_ptr<Host> host = make_host(study_function, feed_chart(1, chart_feed, settings.time_zone), 0);
    Replay replay{settings,
                  hooks,
                  *host,
                  std::move(chart_feed),
                  std::move(readings),
                  std::move(notes),
                  {},
                  chart_slots,
                  std::nullopt,
                  std::move(chart_followed),
                  {},
                  {},
                  0};
    host->observer = [&hooks](const HostOperation& operation) {
        if (operation.kind == HostOperation::Kind::log_message && hooks.on_log) hooks.on_log(*operation.log_line);
    };
    ReplayOutcome outcome;
    try {
        call_study(*host, CallKind::defaults);
        // Without a data folder a slot reads only a file given to it.
        if (settings.data_dir.empty()) {
            for (int slot = 0; slot < source_slot_count; ++slot) set_slot_symbol(*host, slot, "", "the source slots");
        }
        if (!settings.inputs.is_null())
            store_input_values(*host, settings.inputs, settings.inputs_name, InputLimits::kept);
        for (const SourceFile& source : sources) {
            set_slot_symbol(*host, source.slot, source.bar_file.symbol, source.argument);
        }
        replay.load_source_feeds(sources, chart_bars.symbol);
        check_slots_fed(replay.readings, replay.slots_fed);
        if (settings.data_dir.empty()) replay.note_es_nq_pair();
        // A file whose volume surges hours away from the session's open was read in another
        // zone; one bar after it, with bars stamped at their end.
        const std::int64_t session_open = input_second_of_day(host->study.inputs.at(8));
        for (const ReplayFeed* feed : replay.all_feeds()) {
            if (auto note = surge_note(feed->bars, feed->file, feed->naive_zone, feed->stamps == BarStamps::start,
                                       settings.time_zone, session_open)) {
                replay.notes.push_back(*note);
            }
        }
        // The last check before the work begins comes before the notes: a run refused says only why.
        if (hooks.before_calculation) hooks.before_calculation();
        if (hooks.on_note) {
            for (const std::string& note : replay.notes) hooks.on_note(note);
        }

        // The clock of every call: the history's end, then four stages per live bar.
        const std::vector<Bar>& bars = replay.chart_feed.bars;
        const HostDateTime period = period_us(replay.chart_feed);
        // Files followed are history up to now, unless --from says otherwise.
        std::size_t history = settings.follow ? bars.size() : 0;
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

        // The chart page's closing panels are worked out on a host of their own, on a thread of
        // their own while this host replays. The replay ends with every chart bar shown, so its
        // session days are those of the chart's file.
        std::future<std::vector<PageDayPanel>> day_panels;
        if (settings.chart_page && !settings.follow) {
            ShownFeeds shown{&replay.chart_feed, {}};
            for (const auto& [symbol, feed] : replay.feeds) shown.library[symbol] = &feed;
            day_panels = std::async(std::launch::async, [work = std::make_shared<ClosingPanels>(prepare_closing_panels(
                                                             *host, session_days(*host, bars), &shown))] {
                return run_closing_panels(*work);
            });
        }
        // The closing panels' thread reads the feeds: it ends before they do, whatever happens here.
        struct Joined {
            std::future<std::vector<PageDayPanel>>& panels;
            ~Joined() {
                if (panels.valid()) panels.wait();
            }
        } joined{day_panels};

        const auto total = static_cast<std::int64_t>(clocks.size());
        for (std::int64_t i = 0; i < total; ++i) {
            // A run that follows its files ends on Ctrl-C while it still replays them, too.
            if (settings.follow && i > 0 && stop_requested()) break;
            replay.advance(clocks[static_cast<std::size_t>(i)]);
            replay.calculate(i == 0 ? CallKind::full : CallKind::update,
                             ReplayStep{clocks[static_cast<std::size_t>(i)], i + 1, total, i == 0});
        }
        std::vector<PageDayPanel> followed_panels;
        if (settings.follow) {
            if (!stop_requested()) replay.follow(total);
            // The files as they ended stand for every session day.
            if (settings.chart_page) {
                ShownFeeds shown{&replay.chart_feed, {}};
                for (const auto& [symbol, feed] : replay.feeds) shown.library[symbol] = &feed;
                ClosingPanels work = prepare_closing_panels(*host, session_days(*host, bars), &shown);
                followed_panels = run_closing_panels(work);
            }
        }
        for (const LogLine& line : host->log) outcome.log_txt += line.text + "\n";
        outcome.panel = panel_rows(*host);
        outcome.panel_txt = panel_plain_text(outcome.panel);
        outcome.page = chart_page_summary(*host, false);
        if (day_panels.valid()) outcome.page.day_panels = day_panels.get();
        if (settings.follow) outcome.page.day_panels = std::move(followed_panels);
        outcome.bar_count = bar_count(study_chart(*host));
        outcome.history_bars = static_cast<std::int32_t>(history);
        outcome.calls = total;
    } catch (...) {
        close_host(*host);
        throw;
    }
    close_host(*host);
    // The bars and the series go to the outcome as they are, not copied.
    take_page_bars(outcome.page, *host);
    return outcome;
}

std::vector<std::pair<std::filesystem::path, FileWriter>> replay_output_writers(
    const ReplayOutcome& outcome, const std::filesystem::path& folder, const std::optional<ChartLibrary>& library) {
    const auto at = [&folder](std::size_t index) { return folder / replay_output_names[index]; };
    return {{at(0), [&outcome](OutputSink& sink) { write_series_csv(sink, outcome.page); }},
            {at(1), [&outcome](OutputSink& sink) { put(sink, outcome.log_txt); }},
            {at(2), [&outcome](OutputSink& sink) { put(sink, outcome.panel_txt); }},
            {at(3), [&outcome, library](OutputSink& sink) { write_chart_page(sink, outcome.page, library); }},
            {at(4), [&outcome](OutputSink& sink) { write_days_csv(sink, outcome.page); }}};
}

}  // namespace kmi::emu
