// The kmi-host program's text formats: shortest numbers in JSON, host date-times as text,
// CSV bar files and input values stored by type, with every rejection naming its place.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "kmi_host/bar_files/bar_length.h"
#include "kmi_host/bar_files/reader.h"
#include "kmi_host/bar_files/time_forms.h"
#include "kmi_host/host_core/input_values.h"
#include "kmi_host/text/date_time_text.h"
#include "kmi_host/text/input_error.h"
#include "kmi_host/text/json_text.h"
#include "kmi_host_support.h"
#include "study_host.h"

namespace kmi::test::host_program {
namespace {

using emu::InputError;

// Runs `action`, expects an InputError and returns its message.
template <typename Action>
std::string rejection(Action action) {
    try {
        action();
    } catch (const InputError& error) {
        return error.what();
    }
    ADD_FAILURE() << "no InputError";
    return {};
}

TEST(KmiHostNumbers, PrintsTheShortestTextThatReadsBackAsTheSameValue) {
    EXPECT_EQ(emu::shortest_text(0.1f), "0.1");
    EXPECT_EQ(emu::shortest_text(0.1), "0.1");
    EXPECT_EQ(emu::shortest_text(static_cast<double>(0.1f)), "0.10000000149011612");
    EXPECT_EQ(emu::shortest_text(94.15f), "94.15");
    EXPECT_EQ(emu::shortest_text(1e20), "1e+20");
    EXPECT_EQ(emu::shortest_text(-0.0), "-0");
    EXPECT_EQ(emu::shortest_text(6000.0f), "6000");
    EXPECT_EQ(emu::shortest_text(std::numeric_limits<float>::quiet_NaN()), "nan");
    EXPECT_EQ(emu::shortest_text(std::numeric_limits<double>::infinity()), "inf");
    EXPECT_EQ(emu::shortest_text(-std::numeric_limits<float>::infinity()), "-inf");
}

TEST(KmiHostNumbers, JsonHoldsFloatsAsTheirShortestTextAndNonFiniteValuesAsStrings) {
    Json value = Json::array({emu::json_number(0.1f), emu::json_number(2.85f), emu::json_number(1.0 / 3.0),
                              emu::json_number(std::numeric_limits<float>::quiet_NaN()),
                              emu::json_number(-std::numeric_limits<double>::infinity()), 7, "a\"b\n", nullptr, true});
    EXPECT_EQ(emu::dump_compact(value), R"([0.1,2.85,0.3333333333333333,"nan","-inf",7,"a\"b\n",null,true])");
    Json object;
    object["z"] = 1;
    object["a"] = Json::object({{"k", emu::json_number(97.0f)}});
    EXPECT_EQ(emu::dump_compact(object), R"({"z":1,"a":{"k":97}})") << "keys keep their order";
    EXPECT_EQ(emu::dump_compact(Json(std::string("bad \xff byte"))), "\"bad \xEF\xBF\xBD byte\"");
}

TEST(KmiHostDateTime, ReadsAndWritesWallClockTimesAsHostDateTimes) {
    EXPECT_EQ(emu::parse_date_time("2026-12-02 09:30:00"), at(2026, 12, 2, 9, 30));
    EXPECT_EQ(emu::parse_date_time("2026-12-02T09:30"), at(2026, 12, 2, 9, 30));
    EXPECT_EQ(emu::parse_date_time("1899-12-30 00:00:00.5"), 500000);
    EXPECT_EQ(emu::parse_date_time("1899-12-29 18:00:00"), -6 * 3600 * 1000000LL);
    EXPECT_EQ(emu::parse_date("2024/02/29"), at(2024, 2, 29));
    EXPECT_EQ(emu::format_date_time(at(2026, 12, 2, 9, 30) + 250), "2026-12-02 09:30:00.000250");
    EXPECT_EQ(emu::format_date_time(at(2026, 12, 2, 16, 0)), "2026-12-02 16:00:00");
    EXPECT_EQ(emu::format_date_time(-1), "1899-12-29 23:59:59.999999");
    EXPECT_EQ(emu::weekday(emu::host_day(at(2026, 10, 14))), 2) << "a Wednesday";
    EXPECT_EQ(emu::weekday(0), 5) << "the epoch is a Saturday";
    EXPECT_EQ(emu::parse_time_of_day("09:30:00.7"), 34200700000);
}

TEST(KmiHostDateTime, ReadsBarTimesInEveryFormAndRejectsImpossibleOnes) {
    // 2024-01-31 14:30:00 UTC is Unix time 1706711400.
    const HostDateTime utc_1430 = at(2024, 1, 31, 14, 30);
    const std::pair<const char*, emu::BarTimeText> good[] = {
        {"2024-01-31 14:30:00", {utc_1430, false}},
        {"2024/01/31T14:30", {utc_1430, false}},
        {"2024-01-31 9:30:00.25", {at(2024, 1, 31, 9, 30) + 250000, false}},
        {"20240131 143000", {utc_1430, false}},
        {"202401311430", {utc_1430, false}},
        {"20240131", {at(2024, 1, 31), false}},
        {"2024-01-31", {at(2024, 1, 31), false}},
        {"2024-01-31T14:30:00Z", {utc_1430, true}},
        {"2024-01-31 14:30:00 UTC", {utc_1430, true}},
        {"2024-01-31 09:30:00-05:00", {utc_1430, true}},
        {"2024-01-31 20:00:00+0530", {utc_1430, true}},
        {"2024-01-31 09:30:00 -05", {utc_1430, true}},
        {"1706711400", {utc_1430, true}},
        {"1706711400000", {utc_1430, true}},
        {"1706711400000000", {utc_1430, true}},
        {"1706711400000000000", {utc_1430, true}},
    };
    for (const auto& [text, expected] : good) {
        const auto time = emu::parse_bar_time(text);
        ASSERT_TRUE(time) << text;
        EXPECT_EQ(time->value, expected.value) << text;
        EXPECT_EQ(time->instant, expected.instant) << text;
    }
    const auto paired = emu::parse_bar_date_and_time("20240131", "093000-0500");
    ASSERT_TRUE(paired);
    EXPECT_EQ(paired->value, utc_1430);
    for (const char* bad : {"2026-02-29 09:30:00", "2100-02-29 00:00:00", "2026-12-02 24:00:00", "2026-12-02 09:60",
                            "2026-12-02 09:30:00.1234567890", "2026-13-01 00:00:00", "26-12-02 09:30:00",
                            "2026-12-02 09:30:00 x", "2026-12-02 09:30:00+24", "12/02/26 09:30", "", "-"}) {
        EXPECT_FALSE(emu::parse_bar_time(bad)) << bad;
    }
    EXPECT_FALSE(emu::parse_date_time("2026-12-02 09:30:00-05:00")) << "host date-times carry no offset";
}

TEST(KmiHostCsv, FindsItsColumnsByNameWhateverTheirCaseAndOrder) {
    const auto bars = emu::parse_bar_file(
                          "\xEF\xBB\xBF"
                          "Date, Time, Open, High, Low, Last, Volume, NumberOfTrades, BidVolume, AskVolume\r\n"
                          "2026/12/02, 09:30:00, 6000, 6001.5, 5999.25, 6000.75, 100, 17, 40, 60\r\n"
                          "\r\n"
                          "2026/12/02, 09:31:00, 6000.75, 6002, 6000, +6001, 90, 12, 50, 40\r\n",
                          "es.csv")
                          .bars;
    ASSERT_EQ(bars.size(), 2u);
    EXPECT_EQ(bars[0].time, at(2026, 12, 2, 9, 30));
    EXPECT_EQ(bars[0].low, 5999.25f);
    EXPECT_EQ(bars[0].close, 6000.75f);
    EXPECT_EQ(bars[0].bid_volume, 40.0f);
    EXPECT_EQ(bars[0].ask_volume, 60.0f);
    EXPECT_EQ(bars[1].close, 6001.0f);

    const auto minimal = emu::parse_bar_file(
                             "close,LOW,high,open,\"date time\",note\n"
                             "4,1,5,2,2026-12-02 09:30:00-05:00,\"free, text\"\n"
                             "4.5,1,5,2,2026-12-02 09:31:00-05:00,\"a \"\"quote\"\"\"\n",
                             "m.csv")
                             .bars;
    ASSERT_EQ(minimal.size(), 2u);
    EXPECT_EQ(minimal[0].open, 2.0f);
    EXPECT_EQ(minimal[0].high, 5.0f);
    EXPECT_EQ(minimal[0].volume, 0.0f) << "optional columns absent";
    EXPECT_EQ(minimal[1].time, at(2026, 12, 2, 9, 31)) << "09:31 at UTC-5 is 09:31 in New York in December";
}

TEST(KmiHostCsv, RejectsEveryMalformedFileNamingTheFileAndLine) {
    const std::string header = "datetime,open,high,low,close,volume\n";
    const std::string good = "2026-12-02 09:30:00,1,2,0.5,1.5,10\n";
    const std::string next = "2026-12-02 09:31:00,1,2,0.5,1.5,10\n";
    const std::string months =
        "datetime_utc,contract,open,high,low,close\n2013-10-07 13:30:00,ES201312,1,2,0.5,1\n"
        "2013-10-07 13:30:00,ES201403,1,2,0.5,1\n2013-10-07 13:31:00,ES201312,1,2,0.5,1\n";
    std::string quoted_ones;  // after a time, 1 001 fields in all
    for (int i = 0; i < 1000; ++i) quoted_ones += ",\"1\"";
    const std::pair<std::string, std::string> cases[] = {
        {"", "f.csv:1: no header row"},
        {"when,open,high,low,close\n",
         "f.csv:1: no date-time column: the header has \"when\", \"open\", \"high\", \"low\", \"close\"; a time "
         "column is named timestamp..."},
        {"datetime,open,high,low\n", "f.csv:1: no \"close\", \"last\" or \"price\" column: the header has"},
        {"datetime,open,high,low,close,Close\n", "f.csv:1: more than one column for \"close\""},
        {header + good + "2026-12-02 09:31:00,1,x,0.5,1.5,10\n",
         "f.csv:3: column \"high\": not a finite number within the range of a 32-bit float: \"x\""},
        {header + good + "2026-12-02 09:31:00,1,2,0.5,nan,10\n", "f.csv:3: column \"close\": not a finite number"},
        {header + good + "2026-12-02 09:31:00,1,2,0.5,1e39,10\n", "f.csv:3: column \"close\": not a finite number"},
        {header + good + "2026-12-02 09:31:00,,2,0.5,1,10\n", "f.csv:3: column \"open\" is empty"},
        {header + good + "2026-12-02 9h31,1,2,0.5,1.5,10\n", "f.csv:3: not a date and time (a date YYYY-MM-DD"},
        {header + good + "2026-12-02 09:31:00,1,2,0.5,1.5\n", "f.csv:3: 5 fields where the header has 6"},
        {header + good + "2026-12-02 09:31:00,\"1,2,0.5,1.5,10\n", "f.csv:3: unbalanced double quotes"},
        // A line of more fields than a bar file has is refused before they are held.
        {std::string(100000, ',') + "\n",
         "f.csv:1: more than 1000 fields: this is no bar file (a bar file has a time, prices and volumes)"},
        {header + good + "2026-12-02 09:31:00" + quoted_ones + "\n",
         "f.csv:3: more than 1000 fields: this is no bar file"},
        // A row at the same time that is not the bar rewritten as it forms (another open).
        {header + good + "2026-12-02 09:30:00,1.25,2,0.5,1.5,10\n",
         "f.csv:3: a second bar at 2026-12-02 09:30:00 (the first is on line 2)"},
        {header + good + "2026-12-02 09:32:00,1,2,0.5,1.5,10\n\n" + next,
         "f.csv:5: bar time 2026-12-02 09:31:00 is out of order: line 3 is at 2026-12-02 09:32:00 and the file runs "
         "oldest first"},
        {header +
             "2026-12-02 09:33:00,1,2,0.5,1.5,10\n2026-12-02 09:32:00,1,2,0.5,1.5,10\n"
             "2026-12-02 09:34:00,1,2,0.5,1.5,10\n" +
             next + good,
         "f.csv:4: bar time 2026-12-02 09:34:00 is out of order: line 3 is at 2026-12-02 09:32:00 and the file runs "
         "newest first"},
        {months,
         "f.csv:4: column \"contract\" interleaves several instruments (ES201312 (2 rows), ES201403 (1 rows)): pick "
         "one by naming the file as f.csv#VALUE, for example f.csv#ES201312"},
        // 01:30 UTC-4 and 01:30 UTC-5 on 2024-11-03 are both 01:30 in New York.
        {"datetime,close\n2024-11-03 01:30:00-04:00,1\n2024-11-03 01:30:00-05:00,1\n",
         "f.csv:3: 2024-11-03 06:30:00 UTC is 2024-11-03 01:30:00 in America/New_York, not after the bar before it"},
    };
    for (const auto& [text, message] : cases) {
        const std::string& csv = text;
        const std::string error = rejection([&csv] { emu::parse_bar_file(csv, "f.csv"); });
        EXPECT_EQ(error.rfind(message, 0), 0u) << "got: " << error << "\nexpected: " << message;
    }
    EXPECT_EQ(emu::parse_bar_file(header + "2026-12-02 09:31:00,1,2,0.5,1.5,\n", "f.csv").bars.front().volume, 0.0f)
        << "an empty optional field is 0";
    emu::BarFileOptions pick_missing;
    pick_missing.pick = "ES201406";
    EXPECT_EQ(rejection([&] { emu::parse_bar_file(months, "f.csv", pick_missing); }),
              "f.csv: no row has contract \"ES201406\"; its values: ES201312 (2 rows), ES201403 (1 rows)");
    EXPECT_EQ(rejection([] { emu::load_time_zone("Mars/Olympus"); }).rfind("unknown time zone \"Mars/Olympus\"", 0),
              0u);
    const std::string missing = rejection([] { emu::read_bar_file("/nonexistent/NO.csv"); });
    EXPECT_EQ(missing, "/nonexistent/NO.csv: cannot be read");
}

// Every header and time form of the files traders have, read into a New York chart unless
// the case says otherwise. Expected times are worked out by hand: New York is UTC-5 in winter
// and UTC-4 from the second Sunday of March to the first Sunday of November.
TEST(KmiHostCsv, ReadsTheHeadersAndTimeFormsOfRealFilesAsInstants) {
    struct Case {
        const char* csv;
        const char* chart_zone;
        const char* data_zone;
        std::vector<HostDateTime> times;
        const char* note;  // a note that must be given, or ""
    };
    const Case cases[] = {
        {"timestamp_utc,open,high,low,close\n2024-01-31 14:30:00,1,2,0.5,1\n",
         "America/New_York",
         "",
         {at(2024, 1, 31, 9, 30)},
         ""},
        {"Datetime_ET,Open,High,Low,Close\n2024-01-31 09:30:00,1,2,0.5,1\n",
         "America/New_York",
         "Asia/Tokyo",
         {at(2024, 1, 31, 9, 30)},
         ""},
        {"datetime_et,datetime_utc,open,high,low,close\n2024-01-31 09:30:00,2024-01-31 14:30:00,1,2,0.5,1\n",
         "UTC",
         "",
         {at(2024, 1, 31, 14, 30)},
         ""},
        {"Date;Time;Open;High;Low;Close;Vol\n20240131;093000;1;2;0.5;1;5\n",
         "America/New_York",
         "",
         {at(2024, 1, 31, 9, 30)},
         ""},
        {"<DATE>\t<TIME>\t<OPEN>\t<HIGH>\t<LOW>\t<CLOSE>\t<VOL>\n20240131\t143000\t1\t2\t0.5\t1\t5\n",
         "America/New_York",
         "UTC",
         {at(2024, 1, 31, 9, 30)},
         ""},
        {"ts_event,open,high,low,close,volume\n1706711400000000000,1,2,0.5,1,5\n",
         "America/New_York",
         "",
         {at(2024, 1, 31, 9, 30)},
         ""},
        {"unix,price\n1706711400,1\n1706711460,2\n",
         "America/New_York",
         "",
         {at(2024, 1, 31, 9, 30), at(2024, 1, 31, 9, 31)},
         "every bar takes its close"},
        {"time,last,high,low,open,\n2024-01-31T14:30:00Z,1,2,0.5,1\n",
         "America/New_York",
         "",
         {at(2024, 1, 31, 9, 30)},
         ""},
        {"datetime,open,high,low,close\n2024-01-31 14:30:00,1,2,0.5,1\n",
         "America/New_York",
         "Europe/London",
         {at(2024, 1, 31, 9, 30)},
         ""},
        {"datetime,open,high,low,close\n2024-01-31 09:30:00,1,2,0.5,1\n",
         "UTC",
         "America/New_York",
         {at(2024, 1, 31, 14, 30)},
         ""},
        {"datetime,open,high,low,close\n2024-01-31 09:31:00,1,2,0.5,1\n2024-01-31 09:30:00,1,2,0.5,1\n",
         "America/New_York",
         "",
         {at(2024, 1, 31, 9, 30), at(2024, 1, 31, 9, 31)},
         "newest bar comes first"},
        // Across the spring-forward weekend: 09:30 New York is 14:30 UTC on Friday, 13:30 UTC on Monday.
        {"datetime_utc,close\n2024-03-08 14:30:00,1\n2024-03-11 13:30:00,1\n",
         "America/New_York",
         "",
         {at(2024, 3, 8, 9, 30), at(2024, 3, 11, 9, 30)},
         ""},
        // 02:30 does not exist in New York on 2024-03-10: read with the offset before the change, it is 03:30.
        {"datetime,close\n2024-03-10 01:59:00,1\n2024-03-10 02:30:00,1\n",
         "America/New_York",
         "",
         {at(2024, 3, 10, 1, 59), at(2024, 3, 10, 3, 30)},
         ""},
        // 01:30 happens twice in New York on 2024-11-03: first at 05:30 UTC, then at 06:30 UTC.
        {"datetime,close\n2024-11-03 01:30:00,1\n2024-11-03 01:30:00,1\n",
         "UTC",
         "America/New_York",
         {at(2024, 11, 3, 5, 30), at(2024, 11, 3, 6, 30)},
         ""},
    };
    for (const Case& c : cases) {
        emu::BarFileOptions options;
        options.chart_zone = emu::load_time_zone(c.chart_zone);
        if (!std::string(c.data_zone).empty()) options.data_zone = emu::load_time_zone(c.data_zone);
        const emu::BarFile file = emu::parse_bar_file(c.csv, "f.csv", options);
        ASSERT_EQ(file.bars.size(), c.times.size()) << c.csv;
        for (std::size_t i = 0; i < c.times.size(); ++i) {
            EXPECT_EQ(emu::format_date_time(file.bars[i].time), emu::format_date_time(c.times[i])) << c.csv;
        }
        if (std::string(c.note).empty()) continue;
        EXPECT_TRUE(std::any_of(file.notes.begin(), file.notes.end(), [&c](const std::string& note) {
            return note.find(c.note) != std::string::npos;
        })) << c.csv;
    }
    // A file of several contracts, one picked.
    emu::BarFileOptions pick;
    pick.pick = "ES201312";
    const emu::BarFile front = emu::parse_bar_file(
        "datetime_utc,contract,close\n2013-10-07 13:30:00,ES201312,1\n2013-10-07 13:30:00,ES201403,2\n"
        "2013-10-07 13:31:00,ES201312,3\n",
        "f.csv", pick);
    ASSERT_EQ(front.bars.size(), 2u);
    EXPECT_EQ(front.bars[1].close, 3.0f);
    EXPECT_EQ(front.bars[0].time, at(2013, 10, 7, 9, 30)) << "13:30 UTC is 09:30 in New York in October";
}

// Bars one after another, `count` of them, each `step` after the one before (in microseconds);
// every `gap_every`-th step is `gap` longer, and step k is off by jitter[k % jitter.size()].
std::vector<emu::Bar> stepped_bars(int count, std::int64_t step, std::vector<std::int64_t> jitter = {0},
                                   int gap_every = 0, std::int64_t gap = 0) {
    std::vector<emu::Bar> bars;
    HostDateTime time = at(2026, 12, 2, 9, 30);
    for (int k = 0; k < count; ++k) {
        bars.push_back(emu::Bar{time + jitter[static_cast<std::size_t>(k) % jitter.size()]});
        time += step + (gap_every > 0 && k % gap_every == gap_every - 1 ? gap : 0);
    }
    return bars;
}

TEST(KmiHostCsv, TakesTheBarLengthThatMostStepsKeepAndRefusesBarsOfNoLength) {
    const std::int64_t s = 1000000;
    const std::int64_t day = 86400 * s;
    struct Case {
        const char* what;
        std::vector<emu::Bar> bars;
        std::int32_t seconds;
        bool holds;
    };
    const Case cases[] = {
        {"1-minute bars with a gap now and then", stepped_bars(40, 60 * s, {0}, 7, 120 * s), 60, true},
        {"1-minute bars stamped a few seconds late", stepped_bars(40, 60 * s, {0, 2 * s, -1 * s, 3 * s, 1 * s}), 60,
         true},
        {"5-minute bars stamped with milliseconds", stepped_bars(40, 300 * s, {100000, 250000, 0}), 300, true},
        {"thin 1-minute bars: steps of 1, 2 and 3 bars alike", stepped_bars(40, 120 * s, {0, -60 * s, 0}), 60, true},
        {"daily bars with weekends", stepped_bars(40, day, {0}, 5, 2 * day), 86400, true},
        {"weekly bars", stepped_bars(20, 7 * day, {0}), 604800, true},
        {"trades: steps of every length", stepped_bars(40, 7 * s, {0, 3500000, 1100000, 5900000, 2300000}), 5, false},
        {"one bar", stepped_bars(1, 60 * s), 60, true},
        {"two steps of 5 and 10 seconds: the shorter", stepped_bars(3, 5 * s, {0, 0, 5 * s}), 5, true},
    };
    for (const Case& c : cases) {
        const emu::BarLength length = emu::decide_bar_length(c.bars);
        EXPECT_EQ(length.seconds, c.seconds) << c.what;
        EXPECT_EQ(emu::bar_length_holds(length), c.holds) << c.what << ": " << emu::bar_length_reason(length);
    }
    EXPECT_EQ(emu::typical_bar_seconds({emu::Bar{}}, 30), 30) << "too few bars: the fallback";
    for (const auto& [text, seconds] : std::vector<std::pair<const char*, std::int32_t>>{{"90", 90},
                                                                                         {"5min", 300},
                                                                                         {"2h", 7200},
                                                                                         {"1d", 86400},
                                                                                         {"1w", 604800},
                                                                                         {"0", 0},
                                                                                         {"5x", 0},
                                                                                         {"", 0},
                                                                                         {"32d", 0}}) {
        EXPECT_EQ(emu::parse_bar_length(text).value_or(0), seconds) << text;
    }
}

struct KmiHostInputValues : ::testing::Test {
    std::unique_ptr<emu::Host> host = emu::make_host(fake_study, emu::make_chart(1, "ES", 60));
    void SetUp() override { emu::call_study(*host, emu::CallKind::defaults); }
    void TearDown() override { emu::destroy_host_values(*host); }
    HostInput& in(int index) { return emu::input(*host, index); }
    void set(const std::string& settings) { emu::store_input_values(*host, Json::parse(settings), "inputs.json"); }
};

TEST_F(KmiHostInputValues, StoresEachValueUnderTheInputsDeclaredType) {
    set(R"({"0": false, "1": 0, "2": 12, "3": 2.5, "4": "10:00:00", "5": "tick-nyse", "6": 4294967295})");
    EXPECT_EQ(input_int32(in(0)), 0);
    EXPECT_EQ(input_int32(in(1)), 0);
    EXPECT_EQ(input_int32(in(2)), 12);
    EXPECT_EQ(input_float(in(3)), 2.5f);
    EXPECT_EQ(input_double(in(4)), 36000.0 / 86400.0);
    EXPECT_STREQ(input_text(in(5)), "tick-nyse");
    EXPECT_EQ(in(5).type, kmi_input_text);
    EXPECT_EQ(input_uint32(in(6)), 0xFFFFFFFFu);
    set(R"({"4": 1.5, "5": null})");
    EXPECT_EQ(input_double(in(4)), 1.5);
    EXPECT_EQ(input_text(in(5)), nullptr) << "null: no text at all";
    set(R"({"5": ""})");
    ASSERT_NE(input_text(in(5)), nullptr);
    EXPECT_STREQ(input_text(in(5)), "");
    EXPECT_EQ(emu::dump_compact(emu::input_value_json(in(5))), "\"\"");
}

TEST_F(KmiHostInputValues, AKeyIsAnIndexOrTheDeclaredNameOfAnInput) {
    set(R"({"Size": 12, "Ratio": {"type": 2, "value": 2.5}, "5": "NQ"})");
    EXPECT_EQ(input_int32(in(2)), 12);
    EXPECT_EQ(input_float(in(3)), 2.5f);
    EXPECT_STREQ(input_text(in(5)), "NQ");
}

TEST_F(KmiHostInputValues, AnExplicitTypeStoresTheValueUnderThatCode) {
    set(R"({"2": {"type": 2, "value": 2.5}, "20": {"type": 27, "value": "x"}, "21": {"type": 8, "value": "12:00"},
            "22": {"type": 0, "value": -7}})");
    EXPECT_EQ(in(2).type, 2);
    EXPECT_EQ(input_float(in(2)), 2.5f);
    EXPECT_EQ(in(20).type, 27);
    EXPECT_STREQ(input_text(in(20)), "x");
    EXPECT_EQ(input_double(in(21)), 0.5);
    EXPECT_EQ(input_int32(in(22)), -7);
    EXPECT_EQ(emu::dump_compact(emu::declared_input_json(*host, 2)),
              R"({"index":2,"name":"Size","type":2,"value":2.5,"minimum":7e-45,"maximum":4.2e-44,"list_items":[]})")
        << "float limits show the bits the integer limits left";
}

TEST_F(KmiHostInputValues, RejectsAValueThatDoesNotFitAndLeavesTheInputAsItWas) {
    const std::pair<std::string, std::string> cases[] = {
        {R"({"2": "nine"})", "inputs.json: input 2 \"Size\": takes an integer, not \"nine\""},
        {R"({"2": 1.5})", "inputs.json: input 2 \"Size\": takes an integer, not 1.5"},
        {R"({"2": 4294967296})", "inputs.json: input 2 \"Size\": out of the range of a 32-bit integer"},
        {R"({"2": -2147483649})", "inputs.json: input 2 \"Size\": out of the range of a 32-bit integer"},
        {R"({"3": "1.5"})", "inputs.json: input 3 \"Ratio\": takes a number, not \"1.5\""},
        {R"({"3": 1e39})", "inputs.json: input 3 \"Ratio\": out of the range of a 32-bit float"},
        {R"({"4": "25:00:00"})", "inputs.json: input 4 \"Start\": not a time of day HH:MM[:SS[.fff]]: \"25:00:00\""},
        {R"({"4": true})",
         "inputs.json: input 4 \"Start\": takes a time of day \"HH:MM[:SS[.fff]]\" or a number of days, not true"},
        {R"({"5": 3})", "inputs.json: input 5 \"Symbol\": takes a text (a JSON string), or null for no text at all"},
        {R"({"1": "Left"})",
         "inputs.json: input 1 \"Corner\": takes the 0-based index of a list item: 0 \"Left\", 1 \"Right\", not "
         "\"Left\""},
        {R"({"6": "#80FF00"})", "inputs.json: input 6 \"Colour\": takes a colour as the integer 0x00BBGGRR"},
        {R"({"30": 1})", "inputs.json: input 30: is not declared (it has no type yet)"},
        {R"({"64": 1})", "inputs.json: \"64\" is not an input index (0 to 63)"},
        {R"({"x": 1})", "inputs.json: \"x\" is not an input index (0 to 63) nor the name of a declared input"},
        {R"({"size": 1})",
         "inputs.json: \"size\" is not an input index (0 to 63) nor the name of a declared input (did you mean "
         "\"Size\"?)"},
        {R"({"Size": 12, "2": 13})", "inputs.json: input 2 \"Size\" is set twice (as \"Size\" and as \"2\")"},
        {R"({"2": {"type": 11}})", "inputs.json: input 2 \"Size\": needs both \"type\" and \"value\""},
        {R"({"2": {"type": 300, "value": 1}})",
         "inputs.json: input 2 \"Size\": \"type\": a type code is an integer from 0 to 255"},
        {R"({"2": {"type": 11, "value": 1, "extra": 0}})", "inputs.json: input 2 \"Size\": unknown key \"extra\""},
        {R"([1])", "inputs.json: expected an object"},
    };
    for (const auto& [settings, message] : cases) {
        const std::string& values = settings;
        const std::string error = rejection([this, &values] { set(values); });
        EXPECT_EQ(error.rfind(message, 0), 0u) << "got: " << error << "\nexpected: " << message;
    }
    EXPECT_EQ(in(2).type, kmi_input_integer);
    EXPECT_EQ(input_int32(in(2)), 9);
    EXPECT_EQ(input_float(in(3)), 1.5f);
    EXPECT_STREQ(input_text(in(5)), "TICK-NYSE");
}

// A replay keeps what each input declares, as a host's input dialog does; a scenario may send
// anything (study developers send hostile values on purpose).
TEST_F(KmiHostInputValues, AReplayKeepsTheDeclaredLimitsListsAndTypesAScenarioDoesNot) {
    auto kept = [this](const std::string& settings) {
        emu::store_input_values(*host, Json::parse(settings), "in.json", emu::InputLimits::kept);
    };
    const std::pair<std::string, std::string> cases[] = {
        {R"({"2": 100})", "in.json: input 2 \"Size\": takes an integer from 5 to 30, not 100"},
        {R"({"2": 4})", "in.json: input 2 \"Size\": takes an integer from 5 to 30, not 4"},
        {R"({"3": 0.5})", "in.json: input 3 \"Ratio\": takes a number from 1.01 to 100, not 0.5"},
        {R"({"1": 2})",
         "in.json: input 1 \"Corner\": takes the 0-based index of a list item: 0 \"Left\", 1 \"Right\", "
         "not 2"},
        {R"({"1": -1})",
         "in.json: input 1 \"Corner\": takes the 0-based index of a list item: 0 \"Left\", 1 \"Right\", "
         "not -1"},
        {R"({"0": 7})", "in.json: input 0 \"Show\": takes true or false (or 1 or 0), not 7"},
        {R"({"2": {"type": 2, "value": 9}})", "in.json: input 2 \"Size\": keeps its declared type 11 here"},
    };
    for (const auto& [settings, message] : cases) {
        const std::string& values = settings;  // a lambda may not capture a structured binding
        const std::string error = rejection([&] { kept(values); });
        EXPECT_EQ(error.rfind(message, 0), 0u) << "got: " << error << "\nexpected: " << message;
    }
    EXPECT_EQ(input_int32(in(2)), 9) << "a value refused leaves the input as it was";
    kept(R"({"2": 30, "3": 1.01, "1": 0, "0": true, "6": 4294967295, "4": "16:00"})");
    EXPECT_EQ(input_int32(in(2)), 30);
    EXPECT_EQ(input_float(in(3)), 1.01f);
    set(R"({"2": 100, "1": 7, "3": 0.5, "0": 7})");
    EXPECT_EQ(input_int32(in(2)), 100);
    EXPECT_EQ(input_int32(in(1)), 7);
}

}  // namespace
}  // namespace kmi::test::host_program
