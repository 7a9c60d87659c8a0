// Sample data: the same options give the same bytes, and the data has the properties a
// trader looks for: correlated ES and NQ, TICK around 0 with spikes beyond +/-1000, ADD
// with breadth, VOLD and the up/down ratio consistent, the VIX against ES, the volatility
// curve mostly in contango, pre- and post-market bars, a weekend, and one feed that stops.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "kmi_host/bar_files/reader.h"
#include "kmi_host/sample_data/synth.h"
#include "kmi_host/text/date_time_text.h"
#include "kmi_host/text/input_error.h"
#include "kmi_host_support.h"
#include "study_host.h"

namespace kmi::test::host_program {
namespace {

using Feeds = std::map<std::string, std::vector<emu::Bar>>;

Feeds parse_all(const std::vector<emu::SynthFile>& files) {
    Feeds feeds;
    for (const emu::SynthFile& file : files) feeds[file.symbol] = emu::parse_bar_file(file.csv, file.symbol).bars;
    return feeds;
}

const Feeds& default_feeds() {
    static const Feeds feeds = parse_all(emu::synthesize(emu::SynthOptions{}));
    return feeds;
}

std::int32_t second_of(HostDateTime time) { return static_cast<std::int32_t>(emu::time_of_day_us(time) / 1000000); }

double correlation(const std::vector<double>& x, const std::vector<double>& y) {
    const auto n = static_cast<double>(x.size());
    double sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        sx += x[i];
        sy += y[i];
        sxx += x[i] * x[i];
        syy += y[i] * y[i];
        sxy += x[i] * y[i];
    }
    return (n * sxy - sx * sy) / std::sqrt((n * sxx - sx * sx) * (n * syy - sy * sy));
}

// Close-to-close returns of two feeds over the bar times they share.
std::pair<std::vector<double>, std::vector<double>> paired_returns(const std::vector<emu::Bar>& a,
                                                                   const std::vector<emu::Bar>& b) {
    std::map<HostDateTime, std::pair<double, double>> closes;
    for (const emu::Bar& bar : a) closes[bar.time].first = bar.close;
    for (const emu::Bar& bar : b) closes[bar.time].second = bar.close;
    std::vector<double> x, y;
    const std::pair<double, double>* previous = nullptr;
    for (const auto& [time, pair] : closes) {
        if (pair.first == 0 || pair.second == 0) {
            previous = nullptr;
            continue;
        }
        if (previous != nullptr) {
            x.push_back(pair.first / previous->first - 1.0);
            y.push_back(pair.second / previous->second - 1.0);
        }
        previous = &pair;
    }
    return {x, y};
}

TEST(KmiHostSynth, TheSameOptionsGiveTheSameBytesAndAnotherSeedOtherData) {
    const auto first = emu::synthesize(emu::SynthOptions{2, 60, 7});
    const auto again = emu::synthesize(emu::SynthOptions{2, 60, 7});
    const auto other = emu::synthesize(emu::SynthOptions{2, 60, 8});
    ASSERT_EQ(first.size(), 9u);
    for (std::size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(first[i].symbol, emu::synth_source_symbols[i]);
        EXPECT_EQ(first[i].csv, again[i].csv) << first[i].symbol;
        EXPECT_NE(first[i].csv, other[i].csv) << first[i].symbol;
    }
    TempFolder folder;
    emu::write_synth_files(folder / "data", emu::SynthOptions{2, 60, 7});
    for (const auto& file : first) EXPECT_EQ(read_text(folder / "data" / (file.symbol + ".csv")), file.csv);
    EXPECT_FALSE(std::filesystem::exists(folder / "data" / "ESZ26.CME.csv.partial"));
}

TEST(KmiHostSynth, TradingDaysEndOnTheLastDaySkipTheWeekendAndEachFeedKeepsItsSession) {
    const auto days = emu::synth_trading_days(5);
    ASSERT_EQ(days.size(), 5u);
    EXPECT_EQ(emu::format_date(days.back()), "2026-10-14");
    EXPECT_EQ(emu::format_date(days.front()), "2026-10-08");
    EXPECT_EQ(days[2] - days[1], 3) << "Friday to Monday";
    for (const auto& [symbol, bars] : default_feeds()) {
        std::int32_t first = 86400, last = 0;
        std::map<std::int64_t, int> per_day;
        for (const emu::Bar& bar : bars) {
            first = std::min(first, second_of(bar.time));
            last = std::max(last, second_of(bar.time));
            ++per_day[emu::host_day(bar.time)];
            EXPECT_LT(emu::weekday(emu::host_day(bar.time)), 5) << symbol << " trades on a weekday only";
        }
        EXPECT_EQ(per_day.size(), 5u) << symbol;
        if (symbol == "ESZ26.CME" || symbol == "NQZ26.CME" || symbol == "VXV26-CFE" || symbol == "VXX26-CFE") {
            EXPECT_EQ(first, 8 * 3600) << symbol << " has pre-market bars";
            EXPECT_EQ(last, 17 * 3600 - 60) << symbol << " has post-market bars";
        } else if (symbol == "VIX_CGI") {
            EXPECT_EQ(first, 34200);
            EXPECT_EQ(last, 16 * 3600 + 14 * 60);
        } else {
            EXPECT_EQ(first, 34200) << symbol << " is an NYSE internal";
            EXPECT_EQ(last, 16 * 3600 - 60) << symbol;
        }
    }
}

TEST(KmiHostSynth, OneFeedStopsMidSessionOnTheLastDayOnly) {
    const auto& add = default_feeds().at(emu::synth_stopped_symbol);
    const auto& tick = default_feeds().at("TICK-NYSE");
    EXPECT_EQ(add.back().time, emu::synth_last_day() * emu::us_per_day + (13 * 3600 - 60) * emu::us_per_second);
    EXPECT_EQ(tick.back().time, emu::synth_last_day() * emu::us_per_day + (16 * 3600 - 60) * emu::us_per_second);
    EXPECT_EQ(add.size(), tick.size() - 180) << "only the last day's last three hours are missing";
}

TEST(KmiHostSynth, EveryBarHoldsItsOpenAndCloseInsideItsRange) {
    for (const auto& [symbol, bars] : default_feeds()) {
        for (const emu::Bar& bar : bars) {
            ASSERT_LE(bar.low, std::min(bar.open, bar.close)) << symbol << " " << emu::format_date_time(bar.time);
            ASSERT_GE(bar.high, std::max(bar.open, bar.close)) << symbol << " " << emu::format_date_time(bar.time);
        }
    }
}

TEST(KmiHostSynth, EsAndNqMoveTogetherAndTheVixAgainstThem) {
    const auto& feeds = default_feeds();
    const auto [es, nq] = paired_returns(feeds.at("ESZ26.CME"), feeds.at("NQZ26.CME"));
    EXPECT_GT(correlation(es, nq), 0.6);
    const auto [es2, vix] = paired_returns(feeds.at("ESZ26.CME"), feeds.at("VIX_CGI"));
    EXPECT_LT(correlation(es2, vix), -0.3);
}

TEST(KmiHostSynth, TickSwingsAroundZeroWithSpikesBeyondAThousandEveryDay) {
    std::map<std::int64_t, std::pair<int, int>> spikes;
    double sum = 0;
    int crossings = 0;
    const auto& tick = default_feeds().at("TICK-NYSE");
    for (std::size_t i = 0; i < tick.size(); ++i) {
        sum += tick[i].close;
        if (tick[i].high >= 1000) ++spikes[emu::host_day(tick[i].time)].first;
        if (tick[i].low <= -1000) ++spikes[emu::host_day(tick[i].time)].second;
        if (i > 0 && (tick[i].close > 0) != (tick[i - 1].close > 0)) ++crossings;
        EXPECT_LT(std::fabs(tick[i].close), 2500.0f);
    }
    EXPECT_LT(std::fabs(sum / static_cast<double>(tick.size())), 100.0);
    EXPECT_GT(crossings, static_cast<int>(tick.size() / 5));
    ASSERT_EQ(spikes.size(), 5u);
    for (const auto& [day, counts] : spikes) {
        EXPECT_GT(counts.first, 0);
        EXPECT_GT(counts.second, 0);
        EXPECT_LT(counts.first + counts.second, 120) << "spikes, not the rule";
    }
}

TEST(KmiHostSynth, BreadthVoldAndTheUpDownRatioAgree) {
    const auto& feeds = default_feeds();
    const auto& vold = feeds.at("NVOL-NYSE");
    const auto& ratio = feeds.at("UDVR-NYSE");
    const auto& add = feeds.at("NISS-NYSE");
    ASSERT_EQ(vold.size(), ratio.size());
    std::vector<double> add_values, vold_values;
    for (std::size_t i = 0; i < vold.size(); ++i) {
        ASSERT_EQ(vold[i].time, ratio[i].time);
        if (vold[i].close > 0) {
            EXPECT_GE(ratio[i].close, 1.0f) << emu::format_date_time(vold[i].time);
        } else if (vold[i].close < 0) {
            EXPECT_LE(ratio[i].close, 1.0f) << emu::format_date_time(vold[i].time);
        }
        if (i < add.size()) {
            EXPECT_EQ(add[i].time, vold[i].time);
            add_values.push_back(add[i].close);
            vold_values.push_back(vold[i].close);
        }
    }
    EXPECT_GT(correlation(add_values, vold_values), 0.5) << "ADD trends with breadth";
}

TEST(KmiHostSynth, TheVolatilityCurveIsMostlyInContango) {
    const auto& front = default_feeds().at("VXV26-CFE");
    const auto& back = default_feeds().at("VXX26-CFE");
    const auto& vix = default_feeds().at("VIX_CGI");
    ASSERT_EQ(front.size(), back.size());
    std::size_t contango = 0;
    for (std::size_t i = 0; i < front.size(); ++i) contango += back[i].close > front[i].close ? 1 : 0;
    EXPECT_GT(contango, front.size() * 8 / 10);
    for (const emu::Bar& bar : vix) {
        ASSERT_GT(bar.close, 8.0f);
        ASSERT_LT(bar.close, 81.0f);
    }
}

TEST(KmiHostSynth, TheChartSplitsItsVolumeIntoBidAndAskWithTheMove) {
    const auto& es = default_feeds().at("ESZ26.CME");
    std::vector<double> delta, move;
    for (const emu::Bar& bar : es) {
        ASSERT_EQ(bar.bid_volume + bar.ask_volume, bar.volume) << emu::format_date_time(bar.time);
        ASSERT_GT(bar.volume, 0.0f);
        EXPECT_EQ(std::fmod(bar.close * 4.0f, 1.0f), 0.0f) << "quarter-point prices";
        delta.push_back(bar.ask_volume - bar.bid_volume);
        move.push_back(bar.close - bar.open);
    }
    EXPECT_GT(correlation(delta, move), 0.5);
}

TEST(KmiHostSynth, BarLengthAndDaysFollowTheOptions) {
    const Feeds feeds = parse_all(emu::synthesize(emu::SynthOptions{1, 300, 1}));
    const auto& es = feeds.at("ESZ26.CME");
    EXPECT_EQ(es.size(), 9u * 12u);
    EXPECT_EQ(emu::typical_bar_seconds(es), 300);
    EXPECT_EQ(emu::host_day(es.front().time), emu::synth_last_day());
    EXPECT_THROW(emu::synthesize(emu::SynthOptions{0, 60, 1}), emu::InputError);
    EXPECT_THROW(emu::synthesize(emu::SynthOptions{1, 3601, 1}), emu::InputError);
}

}  // namespace
}  // namespace kmi::test::host_program
