// Replay: bars formed stage by stage, the chart and every source chart on one clock, the
// calls a live chart would get, the files at the end, and what a trader relies on when the
// study's panel is drawn from the sample data.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "kmi_host/bar_files/reader.h"
#include "kmi_host/output_files/series_files.h"
#include "kmi_host/replay/replay.h"
#include "kmi_host/sample_data/synth.h"
#include "kmi_host/terminal/terminal_panel.h"
#include "kmi_host/text/date_time_text.h"
#include "kmi_host/text/input_error.h"
#include "kmi_host_support.h"
#include "settings/source_slots.h"
#include "study_host.h"

namespace kmi::test::host_program {
namespace {

constexpr HostDateTime second = 1000000;
const HostDateTime t0930 = at(2026, 12, 2, 9, 30);

emu::Bar bar_at(HostDateTime time, float open, float high, float low, float close, float volume = 8) {
    return emu::Bar{time, open, high, low, close, volume, volume / 4, volume * 3 / 4};
}

TEST(KmiHostReplayBars, ABarFormsFromItsOpenThroughBothExtremesToItsClose) {
    const emu::Bar rising = bar_at(t0930, 10, 14, 8, 12);
    const float stages[4][4] = {{10, 10, 10, 10}, {10, 10, 8, 8}, {10, 14, 8, 14}, {10, 14, 8, 12}};
    for (int stage = 0; stage < 4; ++stage) {
        const emu::Bar bar = emu::forming_bar(rising, stage);
        EXPECT_EQ(bar.time, t0930);
        EXPECT_EQ((std::array<float, 4>{bar.open, bar.high, bar.low, bar.close}),
                  (std::array<float, 4>{stages[stage][0], stages[stage][1], stages[stage][2], stages[stage][3]}))
            << "stage " << stage;
        EXPECT_EQ(bar.volume, 2.0f * static_cast<float>(stage + 1));
        EXPECT_EQ(bar.ask_volume, 1.5f * static_cast<float>(stage + 1));
    }
    const emu::Bar falling = emu::forming_bar(bar_at(t0930, 10, 14, 8, 9), 1);
    EXPECT_EQ(falling.close, 14.0f) << "a falling bar reaches its high first";
    EXPECT_EQ(falling.low, 10.0f);
}

TEST(KmiHostReplayBars, AChartShowsTheFeedAsItStandsAtTheClock) {
    emu::ReplayFeed feed{
        "TICK",
        60,
        {bar_at(t0930, 1, 4, 0, 2), bar_at(t0930 + 60 * second, 2, 5, 1, 3), bar_at(t0930 + 300 * second, 3, 6, 2, 5)},
        "TICK.csv",
        std::nullopt,
        emu::BarStamps::start,
        std::nullopt,
        false};
    emu::Chart chart = emu::make_chart(2, "TICK", 60);
    emu::show_feed_at(chart, feed, t0930 - 1);
    EXPECT_EQ(emu::bar_count(chart), 0);
    emu::show_feed_at(chart, feed, t0930 + 30 * second);
    ASSERT_EQ(emu::bar_count(chart), 1);
    EXPECT_EQ(chart.close[0], 4.0f) << "half-way: both extremes reached, the close at the high";
    emu::show_feed_at(chart, feed, t0930 + 75 * second);
    ASSERT_EQ(emu::bar_count(chart), 2);
    EXPECT_EQ(chart.close[0], 2.0f) << "the next bar closed it";
    EXPECT_EQ(chart.close[1], 1.0f) << "a quarter of the way: open and low";
    emu::show_feed_at(chart, feed, t0930 + 200 * second);
    EXPECT_EQ(chart.close[1], 3.0f) << "past its length: whole although no bar followed yet";
    emu::show_feed_at(chart, feed, t0930 + 400 * second);
    ASSERT_EQ(emu::bar_count(chart), 3);
    EXPECT_EQ(chart.close[2], 5.0f);
    emu::show_feed_at(chart, feed, t0930 + 10 * second);
    ASSERT_EQ(emu::bar_count(chart), 1) << "a clock set back shows the feed as it stood then";
    EXPECT_EQ(chart.close[0], 1.0f);
}

// A data folder: three 60-second ES bars and a 30-second TICK feed.
struct SmallData {
    TempFolder folder;
    SmallData() {
        write_text(folder / "ESZ26.CME.csv",
                   "datetime,open,high,low,close,volume,bid_volume,ask_volume\n"
                   "2026-12-02 09:30:00,10,12,9,11,100,40,60\n"
                   "2026-12-02 09:31:00,11,13,10,12,100,40,60\n"
                   "2026-12-02 09:32:00,12,12,8,9,100,60,40\n");
        std::string tick = "datetime,open,high,low,close\n";
        for (int i = 0; i < 8; ++i) {
            tick += emu::format_date_time(t0930 + i * 30 * second) + ",0," + std::to_string(10 * i + 5) + ",-1," +
                    std::to_string(10 * i) + "\n";
        }
        write_text(folder / "TICK-NYSE.csv", tick);
    }
    emu::ReplayArguments arguments() const {
        emu::ReplayArguments arguments;
        arguments.data_dir = folder.path.string();
        arguments.chart = "ESZ26.CME";
        return arguments;
    }
    emu::ReplayPlan plan(std::optional<HostDateTime> from) const {
        emu::ReplayPlan plan = replay_plan(arguments());
        plan.from = from;
        return plan;
    }
};

struct ReplayCall {
    HostDateTime clock;
    std::int32_t bars;
    std::int32_t start;
    std::int32_t source_bars;
    float source_last_close;
};

TEST(KmiHostReplay, HistoryAtOnceThenFourUpdatesPerBarWithEverySourceOnTheSameClock) {
    SmallData data;
    std::vector<ReplayCall> calls;
    std::vector<std::string> logged;
    emu::ReplayHooks hooks;
    hooks.on_log = [&](const emu::LogLine& line) { logged.push_back(line.text); };
    hooks.after_call = [&](const emu::Host& host, const emu::ReplayStep& step) {
        EXPECT_EQ(host.now, step.clock);
        EXPECT_EQ(step.calls_total, 9);
        EXPECT_EQ(step.full, step.call == 1);
        std::int32_t source_bars = -1;
        float last_close = 0;
        for (const auto& [number, chart] : host.charts) {
            if (chart.symbol != "TICK-NYSE") continue;
            source_bars = emu::bar_count(chart);
            last_close = chart.close.back();
            for (HostDateTime time : chart.times) EXPECT_LE(time, step.clock) << "no bar from the future";
        }
        calls.push_back(
            ReplayCall{step.clock, host.record.bar_count, host.record.update_start_index, source_bars, last_close});
    };
    const int live_before = live_fake_states;
    const emu::ReplayOutcome outcome = emu::run_replay(fake_study, data.plan(t0930 + 60 * second), hooks);
    EXPECT_EQ(live_fake_states, live_before);

    ASSERT_EQ(calls.size(), 9u);
    const HostDateTime clocks[] = {45, 60, 75, 90, 105, 120, 135, 150, 165};
    const std::int32_t bars[] = {1, 2, 2, 2, 2, 3, 3, 3, 3};
    const std::int32_t starts[] = {0, 0, 1, 1, 1, 1, 2, 2, 2};
    const std::int32_t source_bars[] = {2, 3, 3, 4, 4, 5, 5, 6, 6};
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].clock, t0930 + clocks[i] * second) << i;
        EXPECT_EQ(calls[i].bars, bars[i]) << i;
        EXPECT_EQ(calls[i].start, starts[i]) << i;
        EXPECT_EQ(calls[i].source_bars, source_bars[i]) << i;
    }
    EXPECT_EQ(calls[1].source_last_close, 0.0f) << "the source bar that opened at 09:31:00 shows its open";
    EXPECT_EQ(calls[2].source_last_close, 25.0f) << "15 s into a 30 s bar: both extremes, close at the high";

    EXPECT_EQ(outcome.bar_count, 3);
    EXPECT_EQ(outcome.calls, 9);
    EXPECT_EQ(logged.size(), 9u);
    EXPECT_EQ(outcome.log_txt.substr(0, outcome.log_txt.find('\n')), logged.front());
    EXPECT_EQ(outcome.panel_txt, "bars 3\nthree or more\n");
    EXPECT_EQ(emu::series_csv(outcome.page),
              "time,Close,\"Index, plain\",,,,,,,,,,,,,,,,,,\n"
              "2026-12-02 09:30:00,11,0,nan,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\n"
              "2026-12-02 09:31:00,12,1,inf,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\n"
              "2026-12-02 09:32:00,9,2,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\n");
}

TEST(KmiHostReplay, WithoutAStartDateEveryBarArrivesLiveAndPastTheEndAllIsHistory) {
    SmallData data;
    std::vector<bool> full;
    emu::ReplayHooks hooks;
    hooks.after_call = [&](const emu::Host& host, const emu::ReplayStep& step) {
        full.push_back(step.full);
        if (step.call == 1) {
            EXPECT_EQ(host.record.bar_count, 1);
        }
    };
    EXPECT_EQ(emu::run_replay(fake_study, data.plan(std::nullopt), hooks).calls, 12);
    EXPECT_EQ(std::count(full.begin(), full.end(), true), 1);
    EXPECT_EQ(emu::run_replay(fake_study, data.plan(at(2027, 1, 1)), {}).calls, 1);
}

TEST(KmiHostReplay, InputsAreSetAfterTheDefaultsCallAndNameTheSourcesToLoad) {
    SmallData data;
    write_text(data.folder / "OTHER.csv", "datetime,open,high,low,close\n2026-12-02 09:30:00,1,2,0,1\n");
    emu::ReplayPlan plan = data.plan(t0930 + 60 * second);
    plan.inputs = Json::parse(R"({"5": "OTHER", "2": 12})");
    plan.inputs_name = "in.json";
    std::vector<std::string> symbols;
    emu::ReplayHooks hooks;
    hooks.after_call = [&](const emu::Host& host, const emu::ReplayStep& step) {
        if (step.call != 1) return;
        EXPECT_EQ(input_int32(host.study.inputs[2]), 12);
        for (const auto& [symbol, chart] : host.symbol_library) symbols.push_back(symbol);
    };
    emu::run_replay(fake_study, plan, hooks);
    EXPECT_EQ(symbols, std::vector<std::string>{"OTHER"}) << "only files that text inputs name";
}

TEST(KmiHostReplay, RejectsMissingAndMalformedDataNamingTheFile) {
    SmallData data;
    auto rejection = [&](const emu::ReplayArguments& arguments, const Json& inputs = Json()) {
        try {
            emu::ReplayPlan plan = replay_plan(arguments);
            plan.inputs = inputs;
            plan.inputs_name = "in.json";
            emu::run_replay(fake_study, plan, {});
        } catch (const emu::InputError& error) {
            return std::string(error.what());
        }
        ADD_FAILURE() << "accepted";
        return std::string();
    };
    emu::ReplayArguments arguments = data.arguments();
    arguments.chart = "NQ";
    EXPECT_EQ(rejection(arguments), "--chart NQ: no file " + (data.folder / "NQ.csv").string());
    arguments.chart = "../ESZ26.CME";
    EXPECT_EQ(rejection(arguments).rfind("--chart ../ESZ26.CME: no file", 0), 0u);
    write_text(data.folder / "EMPTY.csv", "datetime,open,high,low,close\n");
    arguments.chart = "EMPTY";
    EXPECT_EQ(rejection(arguments), (data.folder / "EMPTY.csv").string() + ": has no bars");

    EXPECT_EQ(rejection(data.arguments(), Json::parse(R"({"2": "big"})")),
              "in.json: input 2 \"Size\": takes an integer from 5 to 30, not \"big\"");

    write_text(data.folder / "TICK-NYSE.csv", "datetime,open,high,low,close\n2026-12-02 09:30:00,1,2,0,x\n");
    EXPECT_EQ(rejection(data.arguments()),
              (data.folder / "TICK-NYSE.csv").string() +
                  ":2: column \"close\": not a finite number within the range of a 32-bit float: \"x\"");
}

template <typename Action>
std::string input_error(Action action) {
    try {
        action();
    } catch (const emu::InputError& error) {
        return error.what();
    }
    return "accepted";
}

// Running out of memory while replaying (the host's arrays, the study's calls, the chart page's
// data) is one line with the chart's bars and the fix, whatever call it happens in.
TEST(KmiHostReplay, RunningOutOfMemoryIsToldWithTheBarsAndTheFix) {
    struct Shortage {
        const char* what;
        std::int64_t call;  // the call after which memory runs out
        const char* out;    // --out, which adds the chart page's data
        std::string message;
    };
    const Shortage shortages[] = {
        {"the full recalculation", 1, "",
         "not enough memory to replay ESZ26.CME (3 bars): replay fewer bars, with a shorter file"},
        {"a later call, with the chart page", 5, "out",
         "not enough memory to replay ESZ26.CME (3 bars) and work out its chart page: replay fewer bars, with a "
         "shorter file, or leave out --out"},
    };
    SmallData data;
    for (const Shortage& shortage : shortages) {
        SCOPED_TRACE(shortage.what);
        emu::ReplayPlan plan = data.plan(std::nullopt);
        plan.out = shortage.out;
        plan.chart_page = !plan.out.empty();
        emu::ReplayHooks hooks;
        hooks.after_call = [&shortage](const emu::Host&, const emu::ReplayStep& step) {
            if (step.call == shortage.call) throw std::bad_alloc();
        };
        EXPECT_EQ(input_error([&] { emu::run_replay(fake_study, plan, hooks); }), shortage.message);
    }
}

// --- Bar files named on the command line ---------------------------------------------

TEST(KmiHostReplayArguments, ASourceNamesItsSlotInAnyCaseAndItsSymbolIsTheFileName) {
    struct Case {
        const char* value;
        int slot;
        const char* file;
        const char* pick;
        const char* symbol;
    };
    const Case cases[] = {
        {"tick=T.csv", 0, "T.csv", "", "T"},
        {"UpDown=d/UDVR-NYSE.csv", 3, "d/UDVR-NYSE.csv", "", "UDVR-NYSE"},
        {"front=VX.CSV", 5, "VX.CSV", "", "VX"},
        {"vix=d/VIX.txt", 4, "d/VIX.txt", "", "VIX"},
        {"back=d/VXX6", 6, "d/VXX6", "", "VXX6"},
        {"add=d/ADD-NYSE.csv.gz", 1, "d/ADD-NYSE.csv.gz", "", "ADD-NYSE"},  // gzipped, or in a zip archive
        {"vold=VOLD.ZIP", 2, "VOLD.ZIP", "", "VOLD"},
        {"Es=d/all.csv#ESZ6", 7, "d/all.csv", "ESZ6", "all"},
        {"nq=d/a#b.csv#NQ#1", 8, "d/a#b.csv", "NQ#1", "a#b"},  // the first "#" after ".csv" starts the pick
    };
    for (const Case& c : cases) {
        const emu::SourceFile source = emu::parse_source_argument(c.value);
        EXPECT_EQ(source.slot, c.slot) << c.value;
        EXPECT_EQ(source.bar_file.file, std::filesystem::path(c.file)) << c.value;
        EXPECT_EQ(source.bar_file.pick, c.pick) << c.value;
        EXPECT_EQ(source.bar_file.symbol, c.symbol) << c.value;
        EXPECT_EQ(source.argument, std::string("--source ") + c.value);
    }
    const std::pair<const char*, const char*> errors[] = {
        {"tik=T.csv", "--source tik=T.csv: unknown slot \"tik\" (tick, add, vold, updown, vix, front, back, es or nq)"},
        {"tick", "--source tick: expected SLOT=FILE"},
        {"tick=", "--source tick=: no file after \"=\""},
        {"tick=T.csv#", "--source tick=T.csv#: nothing after \"#\""},
        {"tick=d/.csv", "--source tick=d/.csv: the file's name without its extension is its symbol: none"},
    };
    for (const auto& [value, message] : errors) {
        const std::string error = input_error([value = value] { emu::parse_source_argument(value); });
        EXPECT_EQ(error.rfind(message, 0), 0u) << "got: " << error << "\nexpected: " << message;
    }
}

TEST(KmiHostReplayArguments, RejectsAMissingFileASlotGivenTwiceAndASymbolOfTwoFiles) {
    SmallData data;
    std::filesystem::create_directories(data.folder / "other");
    write_text(data.folder / "other" / "ESZ26.CME.csv", read_text(data.folder / "ESZ26.CME.csv"));
    write_text(data.folder / "other" / "tick-nyse.csv", read_text(data.folder / "TICK-NYSE.csv"));
    const std::string chart = (data.folder / "ESZ26.CME.csv").string();
    const std::string tick = (data.folder / "TICK-NYSE.csv").string();
    const std::string other_chart = (data.folder / "other" / "ESZ26.CME.csv").string();
    const std::string other_tick = (data.folder / "other" / "tick-nyse.csv").string();
    const std::string missing = (data.folder / "NQ.csv").string();
    struct Case {
        std::string chart;
        std::vector<std::string> sources;
        std::string message;
    };
    const Case cases[] = {
        {missing, {}, "--chart " + missing + ": no file " + missing},
        {"ESZ26.CME", {}, "--chart ESZ26.CME: no such file, and without --data"},
        {chart, {"vix=" + missing}, "--source vix=" + missing + ": no file " + missing},
        {chart,
         {"tick=" + tick, "TICK=" + tick},
         "--source TICK=" + tick + ": the tick slot is given twice (also --source tick=" + tick + ")"},
        {chart,
         {"es=" + other_chart},
         "--source es=" + other_chart + ": its symbol ESZ26.CME is the chart's (--chart " + chart +
             "), from another file or pick"},
        {chart, {"es=" + chart + "#ESH7"}, "--source es=" + chart + "#ESH7: its symbol ESZ26.CME is the chart's"},
        {chart,
         {"tick=" + tick, "add=" + other_tick},
         "--source add=" + other_tick + ": its symbol tick-nyse is also that of --source tick=" + tick},
    };
    for (const Case& c : cases) {
        emu::ReplayArguments arguments;
        arguments.chart = c.chart;
        arguments.sources = c.sources;
        const std::string error =
            input_error([&arguments] { emu::run_replay(fake_study, replay_plan(arguments), {}); });
        EXPECT_EQ(error.rfind(c.message, 0), 0u) << "got: " << error << "\nexpected: " << c.message;
    }
}

// What the replay asks of the bar file reader, and the slots it sets.
struct RecordedReplay {
    std::vector<std::pair<std::string, emu::BarFileOptions>> reads;  // file name, options
    std::vector<std::string> notes;
    std::size_t summaries = 0;  // a line for each file read
    std::set<std::string> chart_zones;
    std::map<int, std::string> symbol_inputs;  // at the first call, by input index
    std::map<int, std::int32_t> number_inputs;

    explicit RecordedReplay(const emu::ReplayPlan& plan) {
        emu::ReplayHooks hooks;
        hooks.read_bars = [this](const std::filesystem::path& file, const emu::BarFileOptions& options) {
            reads.emplace_back(file.filename().string(), options);
            emu::BarFile read = emu::read_bar_file(file);
            read.notes = {file.filename().string() + ": a note"};
            return read;
        };
        hooks.on_note = [this](const std::string& note) {
            EXPECT_TRUE(chart_zones.empty()) << "every note before the first call";
            // Each file's line of what it gave ("PATH: 3 bars of 1 min, ...") comes before its notes.
            const bool summary =
                note.find(" bars of ") != std::string::npos || note.find(" bar of ") != std::string::npos;
            if (summary) {
                ++summaries;
            } else {
                notes.push_back(note);
            }
        };
        hooks.after_call = [this](const emu::Host& host, const emu::ReplayStep& step) {
            for (const auto& [number, chart] : host.charts) chart_zones.insert(chart.time_zone);
            if (step.call != 1) return;
            for (int slot = 0; slot < kmi::source_slot_count; ++slot) {
                const HostInput& symbol = host.study.inputs[static_cast<std::size_t>(kmi::symbol_input(slot))];
                if (symbol.type != 0) symbol_inputs[kmi::symbol_input(slot)] = input_text(symbol);
                const HostInput& number = host.study.inputs[static_cast<std::size_t>(kmi::chart_number_input(slot))];
                if (number.type != 0) number_inputs[kmi::chart_number_input(slot)] = input_int32(number);
            }
        };
        emu::run_replay(fake_study, plan, hooks);
    }
};

TEST(KmiHostReplayFiles, EveryFileIsReadWithBothZonesAndItsPickAndEveryChartIsInTheChartsZone) {
    SmallData data;
    write_text(data.folder / "ADD.csv", "datetime,open,high,low,close\n2026-12-02 09:30:00,1,2,0,1\n");
    const std::string chart = (data.folder / "ESZ26.CME.csv").string();
    emu::ReplayArguments arguments;
    arguments.data_dir = data.folder.path.string();  // the fake study's own text input names TICK-NYSE there
    arguments.chart = chart + "#ESZ6";
    arguments.sources = {"add=" + (data.folder / "ADD.csv").string() + "#NISS", "es=" + chart + "#ESZ6"};
    arguments.time_zone = "Europe/London";
    arguments.data_time_zones = {"UTC"};
    // The inputs file sets slot inputs; --source has the last word on its own slots.
    const auto planned = [](const emu::ReplayArguments& given) {
        emu::ReplayPlan plan = replay_plan(given);
        plan.inputs = Json::parse(R"({"44": {"type": 26, "value": "NQ"}, "38": {"type": 26, "value": "VIX"}})");
        plan.inputs_name = "in.json";
        return plan;
    };
    const RecordedReplay with_data(planned(arguments));
    ASSERT_EQ(with_data.reads.size(), 3u) << "the chart's own file is read once, as the chart";
    EXPECT_EQ(with_data.summaries, 3u);
    const std::pair<const char*, const char*> expected[] = {
        {"ESZ26.CME.csv", "ESZ6"}, {"ADD.csv", "NISS"}, {"TICK-NYSE.csv", ""}};
    for (std::size_t i = 0; i < 3; ++i) {
        const auto& [file, options] = with_data.reads[i];
        EXPECT_EQ(file, expected[i].first);
        EXPECT_EQ(options.pick, expected[i].second) << file;
        EXPECT_EQ(options.chart_zone.name, "Europe/London") << file;
        EXPECT_EQ(options.data_zone ? options.data_zone->name : "", "UTC") << file;
    }
    EXPECT_EQ(with_data.notes,
              (std::vector<std::string>{"ESZ26.CME.csv: a note", "ADD.csv: a note", "TICK-NYSE.csv: a note"}));
    EXPECT_EQ(with_data.chart_zones, std::set<std::string>{"Europe/London"}) << "the chart and the one opened";
    EXPECT_EQ(with_data.symbol_inputs, (std::map<int, std::string>{{32, "ADD"}, {38, "VIX"}, {44, "ESZ26.CME"}}));
    EXPECT_EQ(with_data.number_inputs, (std::map<int, std::int32_t>{{33, 0}, {45, 0}}));

    arguments.data_dir.clear();
    const RecordedReplay without_data(planned(arguments));
    EXPECT_EQ(without_data.reads.size(), 2u);
    std::map<int, std::string> off;
    for (int slot = 0; slot < kmi::source_slot_count; ++slot) off[kmi::symbol_input(slot)] = "";
    off[32] = "ADD";
    off[38] = "VIX";
    off[44] = "ESZ26.CME";
    EXPECT_EQ(without_data.symbol_inputs, off) << "without --data a slot given no file is off";
    // ES vs NQ needs both slots: the one given no file is named, with the chart's file when the
    // other slot does not read the chart.
    EXPECT_EQ(without_data.notes.back(),
              "the nq slot is given no file, so the panel's ES vs NQ line stays off: give it one with --source "
              "nq=FILE");
    arguments.sources = {"nq=" + (data.folder / "ADD.csv").string()};
    EXPECT_EQ(RecordedReplay(planned(arguments)).notes.back(),
              "the es slot is given no file, so the panel's ES vs NQ line stays off: give it one with --source "
              "es=FILE (the chart's own file: --source es=" +
                  arguments.chart + ")");
}

TEST(KmiHostReplayFiles, TheNotesOfAReplayThatFailsOnItsFilesAreNotGiven) {
    SmallData data;
    write_text(data.folder / "BAD.csv", "datetime,open,high,low,close\n2026-12-02 09:30:00,1,2\n");
    emu::ReplayArguments arguments;
    arguments.chart = (data.folder / "ESZ26.CME.csv").string();
    arguments.sources = {"tick=" + (data.folder / "BAD.csv").string()};
    std::vector<std::string> notes;
    emu::ReplayHooks hooks;
    hooks.read_bars = [](const std::filesystem::path& file, const emu::BarFileOptions&) {
        emu::BarFile read = emu::read_bar_file(file);
        read.notes.push_back("a note");
        return read;
    };
    hooks.on_note = [&notes](const std::string& note) { notes.push_back(note); };
    EXPECT_NE(input_error([&] { emu::run_replay(fake_study, replay_plan(arguments), hooks); }), "accepted");
    EXPECT_TRUE(notes.empty());
}

// An ES file in Chicago time as the chart and ES slot, and a headerless NQ file in New York time
// stamped at the bars' ends, read with options for their slots: the same bars as the files
// written at the bars' starts in New York time.
TEST(KmiHostReplayFiles, EachSlotsFileIsReadWithItsOwnZoneStampsAndColumns) {
    TempFolder folder;
    std::string es_chicago = "datetime,open,high,low,close,volume\n";
    std::string es_new_york = "datetime_et,open,high,low,close,volume\n";
    std::string nq_ends;
    std::string nq_new_york = "datetime_et,open,high,low,close,volume\n";
    for (int minute = 0; minute < 4; ++minute) {
        const std::string values = "," + std::to_string(10 + minute) + ",20,5," + std::to_string(11 + minute) + ",7\n";
        es_chicago += emu::format_date_time(t0930 - 3600 * second + minute * 60 * second) + values;
        es_new_york += emu::format_date_time(t0930 + minute * 60 * second) + values;
        const std::string end = emu::format_date_time(t0930 + (minute + 1) * 60 * second);
        nq_ends += end.substr(0, 10) + ";" + end.substr(11, 5) + ";" + std::to_string(10 + minute) + ";20;5;" +
                   std::to_string(11 + minute) + ";7\n";
        nq_new_york += emu::format_date_time(t0930 + minute * 60 * second) + values;
    }
    write_text(folder / "ES.csv", es_chicago);
    write_text(folder / "ES_NY.csv", es_new_york);
    write_text(folder / "NQ", nq_ends);
    write_text(folder / "NQ_NY.txt", nq_new_york);
    std::map<std::string, std::vector<emu::Bar>> read;
    emu::ReplayHooks hooks;
    hooks.read_bars = [&read](const std::filesystem::path& file, const emu::BarFileOptions& options) {
        emu::BarFile bars = emu::read_bar_file(file, options);
        read[file.filename().string()] = bars.bars;
        return bars;
    };
    emu::ReplayArguments arguments;
    arguments.chart = (folder / "ES.csv").string();
    arguments.sources = {"es=" + arguments.chart, "nq=" + (folder / "NQ").string()};
    arguments.data_time_zones = {"ES=America/Chicago", "nq=America/New_York"};
    arguments.bar_stamps = {"nq=end"};
    arguments.columns = {"nq=date,time,open,high,low,close,volume"};
    emu::run_replay(fake_study, replay_plan(arguments), hooks);
    emu::ReplayArguments reference;
    reference.chart = (folder / "ES_NY.csv").string();
    reference.sources = {"nq=" + (folder / "NQ_NY.txt").string()};
    emu::run_replay(fake_study, replay_plan(reference), hooks);
    ASSERT_EQ(read.size(), 4u);
    for (const auto& [file, expected] : {std::pair{"ES.csv", "ES_NY.csv"}, std::pair{"NQ", "NQ_NY.txt"}}) {
        ASSERT_EQ(read[file].size(), 4u) << file;
        for (std::size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(read[file][i].time, read[expected][i].time) << file << " " << i;
            EXPECT_EQ(read[file][i].close, read[expected][i].close) << file << " " << i;
        }
    }

    const std::string es = arguments.chart;
    const std::string nq = (folder / "NQ").string();
    struct Case {
        std::vector<std::string> zones, stamps, columns;
        std::vector<std::string> sources;
        std::string message;
    };
    const Case cases[] = {
        {{"nasdaq=UTC"}, {}, {}, {}, "--data-time-zone nasdaq=UTC: unknown slot \"nasdaq\" (chart, tick, add,"},
        {{"nq=Mars/Olympus"}, {}, {}, {"nq=" + nq}, "--data-time-zone nq=Mars/Olympus: unknown time zone"},
        {{"UTC", "UTC"}, {}, {}, {}, "--data-time-zone UTC: given twice for the same files"},
        {{}, {"middle"}, {}, {}, "--bar-stamps middle: bars are stamped at their start or at their end"},
        {{}, {}, {"date,time,price,volumes"}, {}, "--columns: \"volumes\" is no column name kmi-host knows"},
        {{}, {"vix=end"}, {}, {"nq=" + nq}, "--bar-stamps vix=...: the vix slot is given no file (--source vix=FILE)"},
        {{"chart=UTC", "es=America/Chicago"},
         {},
         {},
         {"es=" + es},
         "--data-time-zone: chart= and es= are given different values, but both slots read one file"},
    };
    for (const Case& c : cases) {
        emu::ReplayArguments wrong;
        wrong.chart = es;
        wrong.sources = c.sources;
        wrong.data_time_zones = c.zones;
        wrong.bar_stamps = c.stamps;
        wrong.columns = c.columns;
        const std::string error = input_error([&wrong] { emu::run_replay(fake_study, replay_plan(wrong), {}); });
        EXPECT_EQ(error.rfind(c.message, 0), 0u) << "got: " << error << "\nexpected: " << c.message;
    }
}

// Two days with a regular session from 09:30 to 09:32 (the end set by the input's name) and a
// day between them without a session bar; TICK from a file, ES from the chart itself, NQ off.
TEST(KmiHostReplayDays, EachSessionDayHasTheSeriesOfItsLastSessionBar) {
    TempFolder folder;
    write_text(folder / "ES.csv",
               "datetime,open,high,low,close,volume,bid_volume,ask_volume\n"
               "2026-12-01 09:29:00,10,11,9,10,100,50,50\n"
               "2026-12-01 09:30:00,10,12,10,11,100,40,60\n"
               "2026-12-01 09:31:00,11,13,11,12,300,200,100\n"
               "2026-12-01 09:32:00,12,14,12,14,100,0,100\n"
               "2026-12-02 09:00:00,14,15,13,14,100,50,50\n"
               "2026-12-03 09:30:00,20,21,19,20,200,100,150\n");
    write_text(folder / "TICK.csv",
               "datetime,open,high,low,close\n"
               "2026-12-01 09:30:00,0,1200,-300,500\n"
               "2026-12-01 09:31:00,500,600,-1100,-200\n"
               "2026-12-01 09:32:00,-200,100,-400,50\n"
               "2026-12-03 09:30:00,0,50,-50,10\n");
    emu::ReplayArguments arguments;
    arguments.chart = (folder / "ES.csv").string();
    arguments.sources = {"tick=" + (folder / "TICK.csv").string(), "es=" + (folder / "ES.csv").string()};
    emu::ReplayPlan plan = replay_plan(arguments);
    plan.inputs = Json::parse(R"json({"RTH End Time (a bar starting at this time is not RTH)": "09:32"})json");
    plan.inputs_name = "in.json";
    const emu::ReplayOutcome outcome = emu::run_replay(study_entry, plan, {});

    // 2026-12-01 at 09:31: both TICK bars of the session (high 1200 and low -1100 each at a
    // threshold, average (500 - 200) / 2); delta (60 - 40) + (100 - 200); VWAP of the typical
    // prices 11 and 12 weighted 100 and 300, 11.75, below the close 12 by 0.25. The 09:29 and
    // 09:32 bars are outside. 2026-12-03: one bar of each, typical price 20, delta 50.
    const std::string rows =
        "2026-12-01,-200,1200,-1100,1,1,150,0,0,0,0,0,0,0,0,0,0,0,-80,11.75,0.25\n"
        "2026-12-03,10,50,-50,0,0,10,0,0,0,0,0,0,0,0,0,0,0,50,20,0\n";
    const std::string header = emu::series_csv(outcome.page).substr(0, emu::series_csv(outcome.page).find('\n') + 1);
    EXPECT_EQ(emu::days_csv(outcome.page), "date" + header.substr(4) + rows);
    ASSERT_EQ(outcome.page.days.size(), 2u);
    EXPECT_EQ(outcome.page.days[0].date, "2026-12-01");
    EXPECT_EQ(outcome.page.days[0].bar, 2);
    EXPECT_EQ(outcome.page.days[1].date, "2026-12-03");
    EXPECT_EQ(outcome.page.days[1].bar, 5);
    EXPECT_NE(outcome.log_txt.find("   ES   chart #1 (this chart)  ES  bars"), std::string::npos) << outcome.log_txt;
}

// --- The study on the sample data ----------------------------------------------------

// The last two sample days through the study: the first as history, the last live.
struct SampleReplay {
    struct Seen {
        HostDateTime clock;
        std::vector<std::string> lines;
    };
    std::vector<Seen> seen;
    emu::ReplayOutcome outcome;
    std::vector<emu::Bar> chart_bars;

    SampleReplay() {
        TempFolder folder;
        emu::write_synth_files(folder.path, emu::SynthOptions{2, 60, 1});
        chart_bars = emu::read_bar_file(folder / "ESZ26.CME.csv").bars;
        emu::ReplayHooks hooks;
        hooks.after_call = [&](const emu::Host& host, const emu::ReplayStep& step) {
            Seen view{step.clock, {}};
            for (const emu::PanelRow& row : emu::panel_rows(host)) view.lines.push_back(row.text);
            seen.push_back(view);
        };
        emu::ReplayPlan plan = replay_plan(folder.path, emu::synth_chart_symbol);
        plan.from = emu::synth_last_day() * emu::us_per_day;
        outcome = emu::run_replay(study_entry, plan, hooks);
    }
    bool panel_drawn() const { return !outcome.panel.empty(); }
};

const SampleReplay& sample_replay() {
    static const SampleReplay replay;
    return replay;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

TEST(KmiHostSampleReplay, SeriesCsvHasOneRowPerBarUnderTheDeclaredNames) {
    const SampleReplay& replay = sample_replay();
    const auto rows = lines_of(emu::series_csv(replay.outcome.page));
    ASSERT_EQ(rows.size(), replay.chart_bars.size() + 1);
    EXPECT_EQ(replay.chart_bars.size(), 2u * 540u);
    EXPECT_EQ(rows[0].rfind("time,TICK,TICK Session High,TICK Session Low,", 0), 0u) << rows[0];
    EXPECT_NE(rows[0].find(",Close minus VWAP"), std::string::npos);
    for (std::size_t i = 0; i < replay.chart_bars.size(); ++i) {
        ASSERT_EQ(rows[i + 1].substr(0, rows[i + 1].find(',')), emu::format_date_time(replay.chart_bars[i].time));
        ASSERT_EQ(std::count(rows[i + 1].begin(), rows[i + 1].end(), ','), 20);
    }
    EXPECT_EQ(replay.outcome.calls, 1 + 4 * 540);
}

TEST(KmiHostSampleReplay, ThePanelShowsEveryLineWithData) {
    const SampleReplay& replay = sample_replay();
    ASSERT_TRUE(replay.panel_drawn()) << "the study drew no panel";
    const auto lines = lines_of(replay.outcome.panel_txt);
    const char* const starts[] = {"MARKET INTERNALS", "TICK ", "ADD ", "VOLD ", "VIX ", "ES ",
                                  "Chart cum delta ", "Chart "};
    ASSERT_EQ(lines.size(), std::size(starts)) << replay.outcome.panel_txt;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].rfind(starts[i], 0), 0u) << lines[i];
        for (const char* missing : {"  off", "no data", "needs both", "start at the RTH open"}) {
            EXPECT_EQ(lines[i].find(missing), std::string::npos) << lines[i];
        }
    }
    EXPECT_NE(lines[4].find("contango"), std::string::npos) << lines[4];
    EXPECT_NE(lines[7].find("VWAP"), std::string::npos) << lines[7];
}

TEST(KmiHostSampleReplay, StaleAppearsOnlyForTheStoppedFeedInsideTheSession) {
    const SampleReplay& replay = sample_replay();
    ASSERT_TRUE(replay.panel_drawn()) << "the study drew no panel";
    const HostDateTime day = emu::synth_last_day() * emu::us_per_day;
    const HostDateTime stale_from = day + (13 * 3600 + 5 * 60) * second;  // the last bar ended at 13:00; 5 minutes
    const HostDateTime close = day + 16 * 3600 * second;
    int stale_calls = 0;
    for (const auto& view : replay.seen) {
        const bool expect_stale = view.clock > stale_from && view.clock < close;
        for (const std::string& line : view.lines) {
            const bool stale = line.find("[stale]") != std::string::npos;
            if (line.rfind("ADD", 0) == 0) {
                EXPECT_EQ(stale, expect_stale) << emu::format_date_time(view.clock) << ": " << line;
            } else {
                EXPECT_FALSE(stale) << emu::format_date_time(view.clock) << ": " << line;
            }
            stale_calls += stale ? 1 : 0;
        }
    }
    EXPECT_GT(stale_calls, 4 * 170);
}

}  // namespace
}  // namespace kmi::test::host_program
