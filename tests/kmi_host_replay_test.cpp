// Replay: bars formed stage by stage, the chart and every source chart on one clock, the
// calls a live chart would get, the files at the end, and what a trader relies on when the
// study's panel is drawn from the sample data.
#include <gtest/gtest.h>

#include <algorithm>

#include "emulator/csv_bars.h"
#include "emulator/date_time_text.h"
#include "emulator/input_error.h"
#include "emulator/replay.h"
#include "emulator/synth.h"
#include "emulator/terminal_panel.h"
#include "kmi_host_support.h"
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
        {bar_at(t0930, 1, 4, 0, 2), bar_at(t0930 + 60 * second, 2, 5, 1, 3), bar_at(t0930 + 300 * second, 3, 6, 2, 5)}};
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
    emu::ReplaySettings settings(std::optional<HostDateTime> from) const {
        return emu::ReplaySettings{folder.path, "ESZ26.CME", from, Json(), ""};
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
    const emu::ReplayOutcome outcome = emu::run_replay(fake_study, data.settings(t0930 + 60 * second), hooks);
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
    EXPECT_EQ(outcome.series_csv,
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
    EXPECT_EQ(emu::run_replay(fake_study, data.settings(std::nullopt), hooks).calls, 12);
    EXPECT_EQ(std::count(full.begin(), full.end(), true), 1);
    EXPECT_EQ(emu::run_replay(fake_study, data.settings(at(2027, 1, 1)), {}).calls, 1);
}

TEST(KmiHostReplay, InputsAreSetAfterTheDefaultsCallAndNameTheSourcesToLoad) {
    SmallData data;
    write_text(data.folder / "OTHER.csv", "datetime,open,high,low,close\n2026-12-02 09:30:00,1,2,0,1\n");
    emu::ReplaySettings settings = data.settings(t0930 + 60 * second);
    settings.inputs = Json::parse(R"({"5": "OTHER", "2": 12})");
    settings.inputs_name = "in.json";
    std::vector<std::string> symbols;
    emu::ReplayHooks hooks;
    hooks.after_call = [&](const emu::Host& host, const emu::ReplayStep& step) {
        if (step.call != 1) return;
        EXPECT_EQ(input_int32(host.study.inputs[2]), 12);
        for (const auto& [symbol, chart] : host.symbol_library) symbols.push_back(symbol);
    };
    emu::run_replay(fake_study, settings, hooks);
    EXPECT_EQ(symbols, std::vector<std::string>{"OTHER"}) << "only files that text inputs name";
}

TEST(KmiHostReplay, RejectsMissingAndMalformedDataNamingTheFile) {
    SmallData data;
    auto rejection = [&](const emu::ReplaySettings& settings) {
        try {
            emu::run_replay(fake_study, settings, {});
        } catch (const emu::InputError& error) {
            return std::string(error.what());
        }
        ADD_FAILURE() << "accepted";
        return std::string();
    };
    emu::ReplaySettings settings = data.settings(std::nullopt);
    settings.chart = "NQ";
    EXPECT_EQ(rejection(settings), "--chart NQ: no file " + (data.folder / "NQ.csv").string());
    settings.chart = "../ESZ26.CME";
    EXPECT_EQ(rejection(settings).rfind("--chart ../ESZ26.CME: no file", 0), 0u);
    write_text(data.folder / "EMPTY.csv", "datetime,open,high,low,close\n");
    settings.chart = "EMPTY";
    EXPECT_EQ(rejection(settings), (data.folder / "EMPTY.csv").string() + ": has no bars");

    settings = data.settings(std::nullopt);
    settings.inputs = Json::parse(R"({"2": "big"})");
    settings.inputs_name = "in.json";
    EXPECT_EQ(rejection(settings).rfind("in.json.2: an input of type 11 takes an integer", 0), 0u);

    write_text(data.folder / "TICK-NYSE.csv", "datetime,open,high,low,close\n2026-12-02 09:30:00,1,2,0,x\n");
    EXPECT_EQ(rejection(data.settings(std::nullopt)),
              (data.folder / "TICK-NYSE.csv").string() + ":2: column \"close\": not a finite number: \"x\"");
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
        chart_bars = emu::read_csv_bars(folder / "ESZ26.CME.csv").bars;
        emu::ReplayHooks hooks;
        hooks.after_call = [&](const emu::Host& host, const emu::ReplayStep& step) {
            Seen view{step.clock, {}};
            for (const emu::PanelRow& row : emu::panel_rows(host)) view.lines.push_back(row.text);
            seen.push_back(view);
        };
        outcome = emu::run_replay(study_entry,
                                  emu::ReplaySettings{folder.path, emu::synth_chart_symbol,
                                                      emu::synth_last_day() * emu::us_per_day, Json(), ""},
                                  hooks);
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
    const auto rows = lines_of(replay.outcome.series_csv);
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
