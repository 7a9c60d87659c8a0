// Replays of real 1-minute bar files (tests/data/, with their sources and licences) through
// kmi-host and the study, read as recorded: a UTC futures file with interleaved contract
// months, a New York file with extended hours and missing minutes, and newest-first files.
// The expected readings are worked out from the files alone by tests/data/real_data_expected.py;
// its output is quoted beside each value.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "kmi_host_support.h"

namespace kmi::test::host_program {
namespace {

const std::string data = std::string(KMI_TEST_SOURCE_DIR) + "/data/";

// A CSV written by the replay: its rows by their first field, each row by column name.
std::map<std::string, std::map<std::string, std::string>> rows_by_key(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);
    std::vector<std::string> names;
    for (std::istringstream header(line); std::getline(header, line, ',');) names.push_back(line);
    std::map<std::string, std::map<std::string, std::string>> rows;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::map<std::string, std::string> row;
        std::string field;
        for (std::size_t i = 0; i < names.size() && std::getline(fields, field, ','); ++i) row[names[i]] = field;
        rows[row[names[0]]] = row;
    }
    return rows;
}

struct Reading {
    const char* key;     // the bar time (series.csv) or the date (days.csv)
    const char* series;  // the column
    float expected;
};

void expect_readings(const std::string& csv, const std::vector<Reading>& readings) {
    const auto rows = rows_by_key(csv);
    for (const Reading& reading : readings) {
        const auto row = rows.find(reading.key);
        ASSERT_NE(row, rows.end()) << reading.key;
        const auto value = row->second.find(reading.series);
        ASSERT_NE(value, row->second.end()) << reading.series;
        EXPECT_FLOAT_EQ(std::stof(value->second), reading.expected) << reading.key << " " << reading.series;
    }
}

TEST(KmiHostRealData, AUtcFuturesFileIsReadAsInstantsAndItsFrontMonthPicked) {
    TempFolder folder;
    const std::string es = data + "ES_2013-10-07_UTC.csv";
    // Without a pick the file's interleaved months are refused, naming the column and the way out.
    const ProgramRun refused = run_program("replay --chart '" + es + "' --fast --out out", folder.path);
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_NE(refused.err.find("column \"contract\" interleaves several instruments (ES201312 (435 rows), "
                               "ES201403 (224 rows), ES201406 (1 rows)): pick one by naming the file as"),
              std::string::npos)
        << refused.err;

    const ProgramRun run =
        run_program("replay --chart '" + es + "#ES201312' --source 'es=" + es + "#ES201312' --source 'nq=" + data +
                        "SPY_2013-10-07_ET.csv' --fast --out out",
                    folder.path);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const std::string series = read_text(folder / "out" / "series.csv");
    // 13:00 UTC is the chart's first bar: 09:00 in New York.
    EXPECT_EQ(series.substr(series.find('\n') + 1, 19), "2013-10-07 09:00:00");
    expect_readings(series, {
                                {"2013-10-07 14:00:00", "ES % Since Open", 0.539245069f},
                                {"2013-10-07 14:00:00", "NQ % Since Open", 0.53157419f},
                                {"2013-10-07 14:00:00", "ES minus NQ %", 0.00767085422f},
                                {"2013-10-07 14:00:00", "VWAP (RTH)", 1674.62109f},
                                {"2013-10-07 15:59:00", "ES % Since Open", 0.0299580581f},
                                {"2013-10-07 15:59:00", "NQ % Since Open", -0.00596936466f},
                                {"2013-10-07 15:59:00", "ES minus NQ %", 0.0359274223f},
                                {"2013-10-07 15:59:00", "VWAP (RTH)", 1674.60718f},
                            });
}

TEST(KmiHostRealData, NewestFirstFilesAreReadInReverseAndTheirDaysSummed) {
    TempFolder folder;
    const ProgramRun run =
        run_program("replay --chart '" + data + "SPY_2019-02-14_15_ET_descending.csv' --source 'es=" + data +
                        "SPY_2019-02-14_15_ET_descending.csv' --source 'nq=" + data +
                        "QQQ_2019-02-14_15_ET_descending.csv' --source 'vix=" + data +
                        "VIX_2019-02-14_15_ET_descending.csv' --fast --out out",
                    folder.path);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    for (const char* file : {"SPY", "QQQ", "VIX"}) {
        EXPECT_NE(run.err.find(std::string(file) +
                               "_2019-02-14_15_ET_descending.csv: the newest bar comes first: the bars are read in "
                               "reverse order"),
                  std::string::npos)
            << run.err;
    }
    expect_readings(read_text(folder / "out" / "series.csv"),
                    {
                        {"2019-02-15 10:00:00", "ES % Since Open", 0.0759820044f},
                        {"2019-02-15 10:00:00", "NQ % Since Open", -0.499077022f},
                        {"2019-02-15 10:00:00", "VIX Change %", -3.77475047f},
                        {"2019-02-15 15:59:00", "ES % Since Open", 0.325648189f},
                        {"2019-02-15 15:59:00", "NQ % Since Open", -0.36517787f},
                        {"2019-02-15 15:59:00", "VIX Change %", -7.8589077f},
                    });
    expect_readings(read_text(folder / "out" / "days.csv"), {
                                                                {"2019-02-14", "ES % Since Open", -0.109120637f},
                                                                {"2019-02-14", "VWAP (RTH)", 274.888336f},
                                                                {"2019-02-15", "ES % Since Open", 0.325648189f},
                                                                {"2019-02-15", "VWAP (RTH)", 276.678711f},
                                                            });
}

// A UTC file over the spring-forward weekend of 2024: 09:30 in New York is 14:30 UTC on
// Friday 2024-03-08 and 13:30 UTC on Monday 2024-03-11, so each day's session opens at the
// bar of that hour. ES opens at 100 on both days, NQ at 200; the 09:31 bars close 1 % and
// 0.5 % higher. The bars an hour off, which a fixed offset would take for the open, carry
// other prices.
TEST(KmiHostRealData, TheSessionOpenFollowsDaylightSavingTimeInAUtcFile) {
    TempFolder folder;
    const auto bars = [](double open) {
        std::ostringstream out;
        out << "timestamp_utc,open,high,low,close\n";
        for (const char* day : {"2024-03-08", "2024-03-11"}) {
            const bool friday = std::string(day) == "2024-03-08";
            for (int hour : {13, 14}) {
                for (int minute : {30, 31}) {
                    const bool open_hour = (hour == 14) == friday;
                    const double price = open_hour ? (minute == 30 ? open : open * (open > 150 ? 1.005 : 1.01)) : 7;
                    out << day << ' ' << hour << ':' << minute << ":00," << price << ',' << price << ',' << price << ','
                        << price << '\n';
                }
            }
        }
        return out.str();
    };
    write_text(folder / "ES.csv", bars(100));
    write_text(folder / "NQ.csv", bars(200));
    const ProgramRun run =
        run_program("replay --chart ES.csv --source es=ES.csv --source nq=NQ.csv --fast --out out", folder.path);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    expect_readings(read_text(folder / "out" / "series.csv"), {
                                                                  {"2024-03-08 09:31:00", "ES % Since Open", 1.0f},
                                                                  {"2024-03-08 09:31:00", "NQ % Since Open", 0.5f},
                                                                  {"2024-03-11 09:31:00", "ES % Since Open", 1.0f},
                                                                  {"2024-03-11 09:31:00", "NQ % Since Open", 0.5f},
                                                              });
}

}  // namespace
}  // namespace kmi::test::host_program

namespace kmi::test::host_program {
namespace {

// The SPY file of 2019-02-13 to 15 (New York time) stamps each bar at its end, 09:31 to 16:00,
// and its volume surges at 09:31 on each of its days (tests/data/real_data_expected.py). Read as
// written, it is told to be stamped at the end; moved back but taken as UTC, its surge lands at
// 04:30 in New York (UTC-5 in February), five hours before the open.
TEST(KmiHostRealData, AFileReadWithTheWrongStampsOrZoneIsToldByItsVolumeSurge) {
    TempFolder folder;
    const std::string spy = "'" + data + "SPY_2019-02-13_15_ET_descending.csv'";
    const std::pair<std::string, std::string> cases[] = {
        {"",
         "its volume surges at 09:31 on 3 of its 3 days, one bar after the session's open at 09:30: its bars "
         "are probably stamped at their end (--bar-stamps end)"},
        {"--bar-stamps end --data-time-zone UTC",
         "its volume surges at 04:30 on 3 of its 3 days, 5 hours before the session's open at 09:30: its times are "
         "probably not UTC time; read as America/New_York time they surge at the open (--data-time-zone "
         "America/New_York)"},
        {"--bar-stamps end", ""},
        // The open is New York's, whatever the chart's zone.
        {"--bar-stamps end --data-time-zone America/New_York --time-zone Europe/Berlin", ""},
    };
    for (const auto& [options, note] : cases) {
        const ProgramRun run = run_program("replay --chart " + spy + " " + options + " --fast --no-color", folder.path);
        ASSERT_EQ(run.exit_code, 0) << run.err;
        if (note.empty()) {
            EXPECT_EQ(run.err.find("surges"), std::string::npos) << options << run.err;
        } else {
            EXPECT_NE(run.err.find(note), std::string::npos) << run.err;
        }
    }
}

}  // namespace
}  // namespace kmi::test::host_program
