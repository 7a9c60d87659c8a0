#include "kmi_host/replay/replay.h"

#include <algorithm>
#include <future>
#include <memory>
#include <new>
#include <utility>

#include "kmi_host/bar_files/surge_check.h"
#include "kmi_host/following/stop_signal.h"
#include "kmi_host/host_core/input_values.h"
#include "kmi_host/replay/closing_panels.h"
#include "kmi_host/replay/replay_state.h"
#include "kmi_host/replay/session_hours.h"
#include "kmi_host/text/input_error.h"
#include "kmi_host/text/names.h"
#include "settings/input_indices.h"

namespace kmi::emu {
namespace {

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

// The study declares its inputs, which then take the plan's values: without a data folder a
// slot reads only a file given to it.
void set_up_study(Host& host, const ReplayPlan& plan) {
    call_study(host, CallKind::defaults);
    if (plan.data_dir.empty()) {
        for (int slot = 0; slot < source_slot_count; ++slot) set_slot_symbol(host, slot, "", "the source slots");
    }
    if (!plan.inputs.is_null()) store_input_values(host, plan.inputs, plan.inputs_name, InputLimits::kept);
    for (const SourceFile& source : plan.sources) {
        set_slot_symbol(host, source.slot, source.bar_file.symbol, source.argument);
    }
}

// The slot's symbol input (lower case, empty when it names nothing).
std::string slot_symbol(const Host& host, int slot) {
    const HostInput& in = host.study.inputs.at(static_cast<std::size_t>(symbol_input(slot)));
    return input_holds_text(in.type) && input_text(in) != nullptr ? lower_ascii(input_text(in)) : "";
}

// The slot names the chart or a symbol given a file.
bool slot_reads_a_chart(const Replay& replay, int slot) {
    const std::string symbol = slot_symbol(*replay.host, slot);
    return !symbol.empty() && (symbol == lower_ascii(replay.chart_feed.symbol) ||
                               std::any_of(replay.feeds.begin(), replay.feeds.end(),
                                           [&symbol](const auto& feed) { return lower_ascii(feed.first) == symbol; }));
}

// The panel compares ES and NQ only with both: without a data folder (which binds a slot by
// its symbol), one of the two given a file leaves that line off.
void note_es_nq_pair(Replay& replay) {
    const bool es = slot_reads_a_chart(replay, slot_es);
    if (es == slot_reads_a_chart(replay, slot_nq)) return;
    const std::string missing = source_slot_names[static_cast<std::size_t>(es ? slot_nq : slot_es)];
    std::string note = "the " + missing +
                       " slot is given no file, so the panel's ES vs NQ line stays off: give it one with --source " +
                       missing + "=FILE";
    // The chart's own file, when its name says it is that instrument and the other slot does
    // not read it.
    const std::string chart = lower_ascii(replay.chart_feed.symbol);
    if (chart.rfind(missing, 0) == 0 && slot_symbol(*replay.host, es ? slot_es : slot_nq) != chart)
        note += " (the chart's own file: --source " + missing + "=" + replay.plan.chart_given + ")";
    replay.notes.push_back(note);
}

// The notes once every file is read: a slot whose line stays off, and a file whose volume
// surges hours away from the session's open (read in another zone) or one bar after it (bars
// stamped at their end).
void note_what_was_read(Replay& replay) {
    if (replay.plan.data_dir.empty()) note_es_nq_pair(replay);
    for (const ReplayFeed* feed : all_feeds(replay)) {
        if (auto note = surge_note(feed->bars, feed->file, feed->naive_zone, feed->stamps == BarStamps::start,
                                   replay.plan.time_zone)) {
            replay.notes.push_back(*note);
        }
    }
    const std::vector<Bar>& bars = replay.chart_feed.bars;
    if (bars.empty()) return;
    const std::vector<HostInput>& inputs = replay.host->study.inputs;
    if (auto note =
            session_hours_note(replay.plan.time_zone, input_second_of_day(inputs.at(input_rth_start)),
                               input_second_of_day(inputs.at(input_rth_end)), bars.front().time, bars.back().time)) {
        replay.notes.push_back(*note);
    }
}

// The bars before --from are history. Files followed are played as a replay of them plays
// them, so that following goes on from where that replay ends, its log and all.
std::size_t history_bars(const ReplayPlan& plan, const std::vector<Bar>& bars) {
    if (!plan.from) return 0;
    return static_cast<std::size_t>(
        std::lower_bound(bars.begin(), bars.end(), *plan.from,
                         [](const Bar& bar, HostDateTime time) { return bar.time < time; }) -
        bars.begin());
}

// The clock of every call: the history's end, its last bar closed, then four stages per live bar.
std::vector<HostDateTime> call_clocks(const ReplayFeed& chart, std::size_t history) {
    std::vector<HostDateTime> clocks;
    if (history > 0) {
        // Stage 3 of the last bar always comes: a next bar is read only when it does not.
        const std::optional<HostDateTime> closed = stage_clock(chart, history - 1, 3);
        clocks.push_back(closed ? *closed : chart.bars[history].time - 1);
    }
    for (std::size_t k = history; k < chart.bars.size(); ++k) {
        for (int stage = 0; stage < 4; ++stage) {
            const std::optional<HostDateTime> clock = stage_clock(chart, k, stage);
            if (!clock) break;
            clocks.push_back(*clock);
        }
    }
    return clocks;
}

ShownFeeds shown_feeds(const Replay& replay) {
    ShownFeeds shown{&replay.chart_feed, {}};
    for (const auto& [symbol, feed] : replay.feeds) shown.library[symbol] = &feed;
    return shown;
}

// The chart page's closing panels, worked out on a host of their own: on a thread of their own
// while this host replays, which ends with every chart bar shown, so that the session days are
// those of the chart's file.
std::future<std::vector<PageDayPanel>> start_closing_panels(const Replay& replay) {
    const ShownFeeds shown = shown_feeds(replay);
    auto work = std::make_shared<ClosingPanels>(
        prepare_closing_panels(*replay.host, session_days(*replay.host, replay.chart_feed.bars), &shown));
    return std::async(std::launch::async, [work] { return run_closing_panels(*work); });
}

// The history and the live bars, then, following, the files as they grow.
std::int64_t play(Replay& replay, const std::vector<HostDateTime>& clocks) {
    const auto total = static_cast<std::int64_t>(clocks.size());
    for (std::int64_t i = 0; i < total; ++i) {
        // A run that follows its files ends on Ctrl-C while it still replays them, too.
        if (replay.plan.follow && i > 0 && stop_requested()) break;
        const HostDateTime clock = clocks[static_cast<std::size_t>(i)];
        advance(replay, clock);
        calculate(replay, i == 0 ? CallKind::full : CallKind::update, ReplayStep{clock, i + 1, total, i == 0});
    }
    if (replay.plan.follow && !stop_requested()) follow_files(replay, total);
    return total;
}

// What the replay leaves: its log, its panel and the page's data but its bars.
void take_outcome(const Replay& replay, ReplayOutcome& outcome) {
    const Host& host = *replay.host;
    for (const LogLine& line : host.log) outcome.log_txt += line.text + "\n";
    outcome.panel = panel_rows(host);
    outcome.panel_txt = panel_plain_text(outcome.panel);
    outcome.page = chart_page_summary(host);
    outcome.bar_count = bar_count(host.charts.at(host.study.chart_number));
}

ReplayOutcome replay_all(Replay& replay, StudyFunction study_function) {
    const ReplayPlan& plan = replay.plan;
    const ReplayHooks& hooks = replay.hooks;
    if (!plan.time_zone.note.empty()) replay.notes.push_back(plan.time_zone.note);
    load_chart_feed(replay);
    std::unique_ptr<Host> host = make_host(study_function, feed_chart(1, replay.chart_feed, plan.time_zone.name), 0);
    replay.host = host.get();
    host->observer = [&hooks](const HostOperation& operation) {
        if (operation.kind == HostOperation::Kind::log_message && hooks.on_log) hooks.on_log(*operation.log_line);
    };
    ReplayOutcome outcome;
    try {
        set_up_study(*host, plan);
        replay.alerts.rules = resolve_alert_rules(plan.alerts, plan.alerts_file, *host);
        for (const AlertRule& rule : replay.alerts.rules) replay.alerts.texts.push_back(rule.text);
        load_source_feeds(replay);
        check_slots_fed(plan.readings, replay.slots_fed);
        note_what_was_read(replay);
        if (hooks.on_note) {
            for (const std::string& note : replay.notes) hooks.on_note(note);
        }
        const std::size_t history = history_bars(plan, replay.chart_feed.bars);
        std::future<std::vector<PageDayPanel>> day_panels;
        if (plan.chart_page && !plan.follow) day_panels = start_closing_panels(replay);
        // The closing panels' thread reads the feeds: it ends before they do, whatever happens here.
        struct Joined {
            std::future<std::vector<PageDayPanel>>& panels;
            ~Joined() {
                if (panels.valid()) panels.wait();
            }
        } joined{day_panels};
        outcome.calls = play(replay, call_clocks(replay.chart_feed, history));
        outcome.history_bars = static_cast<std::int32_t>(history);
        take_outcome(replay, outcome);
        if (day_panels.valid()) outcome.page.day_panels = day_panels.get();
        // Following, the files as they ended stand for every session day.
        if (plan.follow && plan.chart_page) {
            const ShownFeeds shown = shown_feeds(replay);
            ClosingPanels work = prepare_closing_panels(*host, session_days(*host, replay.chart_feed.bars), &shown);
            outcome.page.day_panels = run_closing_panels(work);
        }
    } catch (...) {
        close_host(*host);
        throw;
    }
    close_host(*host);
    // The bars and the series go to the outcome as they are, not copied.
    take_page_bars(outcome.page, *host);
    outcome.page.alerts = final_alerts(replay.alerts.rules, outcome.page);
    outcome.page.alert_rules = replay.alerts.texts;
    return outcome;
}

// Running out of memory while replaying, told with the chart's bars and the fix.
std::string not_enough_memory(const Replay& replay) {
    const ReplayPlan& plan = replay.plan;
    std::string text = "not enough memory to replay " + plan.chart_given;
    const std::size_t bars = replay.chart_feed.bars.size();
    if (bars > 0) text += " (" + counted(static_cast<std::int64_t>(bars), "bar", "bars") + ")";
    if (!plan.chart_page) return text + ": replay fewer bars, with a shorter file";
    const std::string page_options = plan.out.empty() ? "--serve" : plan.serve ? "--out and --serve" : "--out";
    return text + " and work out its chart page: replay fewer bars, with a shorter file, or leave out " + page_options;
}

}  // namespace

ReplayOutcome run_replay(StudyFunction study_function, const ReplayPlan& plan, const ReplayHooks& hooks) {
    Replay replay{plan, hooks};
    try {
        return replay_all(replay, study_function);
    } catch (const std::bad_alloc&) {
        // The host and the page's data went on the way here: the feeds are what is left.
        throw InputError(not_enough_memory(replay));
    }
}

}  // namespace kmi::emu
