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
#include "kmi_host/replay/closing_panels.h"
#include "kmi_host/terminal/terminal_panel.h"
#include "kmi_host/text/date_time_text.h"
#include "kmi_host/text/input_error.h"
#include "kmi_host/text/path_text.h"
#include "settings/source_slots.h"

namespace kmi::emu {
namespace {

// A followed file's first reading, as the feed of `symbol`.
ReplayFeed load_followed_feed(FollowedFile& file, const std::string& symbol, std::vector<std::string>& notes) {
    return feed_of(read_followed_file(file), file.path, symbol, notes);
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
    const TimeZone& time_zone;
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
                FeedToLoad{file, symbol, options_for(readings, slots, time_zone, pick), std::move(slots)});
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

}  // namespace

ReplayOutcome run_replay(StudyFunction study_function, const ReplaySettings& settings, const ReplayHooks& hooks) {
    // The arguments are checked whole before any file is read, so a wrong one is told as itself.
    std::optional<TimeZone> time_zone;
    try {
        time_zone = load_time_zone(settings.time_zone);
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
    const BarFileOptions chart_options = options_for(readings, chart_slots, *time_zone, chart_bars.pick);
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
                  *time_zone,
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
                                       *time_zone, session_open)) {
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
        // Files followed are history up to now, unless --from says otherwise.
        std::size_t history = settings.follow ? bars.size() : 0;
        if (settings.from) {
            history = static_cast<std::size_t>(
                std::lower_bound(bars.begin(), bars.end(), *settings.from,
                                 [](const Bar& bar, HostDateTime time) { return bar.time < time; }) -
                bars.begin());
        }
        std::vector<HostDateTime> clocks;
        if (history > 0) {
            // The history's last bar stands closed, at the time of its close stage.
            clocks.push_back(stage_clock(replay.chart_feed, history - 1, 3).value_or(bars[history].time - 1));
        }
        for (std::size_t k = history; k < bars.size(); ++k) {
            for (int stage = 0; stage < 4; ++stage) {
                const std::optional<HostDateTime> clock = stage_clock(replay.chart_feed, k, stage);
                if (!clock) break;
                clocks.push_back(*clock);
            }
        }

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
        outcome.page = chart_page_summary(*host);
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
