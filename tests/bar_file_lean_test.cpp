// LEAN's data folders: a real day of SPY minute bars written as LEAN keeps it (milliseconds
// after midnight, the date in the file's name, prices in ten-thousandths) reads into the bars
// of the published file; its other files are read or refused naming LEAN, never as 1970.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "kmi_host/bar_files/reader.h"
#include "kmi_host/text/date_time_text.h"
#include "kmi_host/text/input_error.h"
#include "kmi_host_support.h"

namespace kmi::test::host_program {
namespace {

std::string refusal_of(const std::filesystem::path& file, const emu::BarFileOptions& options = {}) {
    try {
        emu::read_bar_file(file, options);
    } catch (const emu::InputError& error) {
        return error.what();
    }
    return "read without an error";
}

// The published day (tests/data), written back as LEAN's minute file of that day: each bar's
// time as milliseconds after midnight, its prices as whole ten-thousandths.
TEST(LeanFiles, ARealDayOfMinuteBarsReadsAsThePublishedBars) {
    std::ifstream published(std::string(KMI_TEST_SOURCE_DIR) + "/data/SPY_2013-10-07_ET.csv");
    std::string line;
    std::getline(published, line);
    struct Row {
        std::string time;
        float open, high, low, close, volume;
    };
    std::vector<Row> rows;
    std::string lean;
    while (std::getline(published, line)) {
        std::istringstream fields(line);
        std::string time;
        std::string value[5];
        std::getline(fields, time, ',');
        for (std::string& field : value) std::getline(fields, field, ',');
        rows.push_back({time, std::stof(value[0]), std::stof(value[1]), std::stof(value[2]), std::stof(value[3]),
                        std::stof(value[4])});
        const int ms = (std::stoi(time.substr(11, 2)) * 3600 + std::stoi(time.substr(14, 2)) * 60) * 1000;
        lean += std::to_string(ms);
        for (int i = 0; i < 4; ++i) (lean += ',') += std::to_string(std::llround(std::stod(value[i]) * 10000));
        ((lean += ',') += value[4]) += '\n';
    }
    ASSERT_EQ(rows.size(), 534u);
    TempFolder folder;
    const std::filesystem::path day = folder / "equity" / "usa" / "minute" / "spy" / "20131007_spy_minute_trade.csv";
    std::filesystem::create_directories(day.parent_path());
    write_text(day, lean);

    const emu::BarFile file = emu::read_bar_file(day);
    ASSERT_EQ(file.bars.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const emu::Bar& bar = file.bars[i];
        ASSERT_EQ(emu::format_date_time(bar.time), rows[i].time);
        EXPECT_EQ(bar.open, rows[i].open) << rows[i].time;
        EXPECT_EQ(bar.high, rows[i].high) << rows[i].time;
        EXPECT_EQ(bar.low, rows[i].low) << rows[i].time;
        EXPECT_EQ(bar.close, rows[i].close) << rows[i].time;
        EXPECT_EQ(bar.volume, rows[i].volume) << rows[i].time;
    }
    EXPECT_EQ(file.plan.time_form,
              "milliseconds after midnight (\"28800000\") of 2013-10-07, the date of the file's name, as LEAN writes "
              "its files of a day");
    EXPECT_EQ(file.plan.zone, "America/New_York");
    EXPECT_EQ(file.plan.price_scale, 1e-4);
}

// LEAN's other files, by their folder and name: each read into its bars or refused naming LEAN.
TEST(LeanFiles, HourDailyFuturesAndQuoteFilesAreReadOrRefusedByName) {
    struct Case {
        const char* path;
        std::string text;
        const char* first;  // the first bar in a New York chart, or "" when refused
        float close;
        const char* said;  // the refusal's start, when refused
    };
    const Case cases[] = {
        {"equity/usa/hour/spy.csv", "20131007 10:00,1686100,1686400,1685900,1686300,123400\n", "2013-10-07 10:00:00",
         168.63f, ""},
        {"equity/usa/daily/spy.csv", "20131007 00:00,1686100,1686400,1685900,1686300,123400\n", "2013-10-07 00:00:00",
         168.63f, ""},
        // Futures are written in UTC, their prices as they are.
        {"future/cme/minute/es/20131007_es_minute_trade.csv", "48600000,1676.75,1677.25,1673.5,1675.25,1884\n",
         "2013-10-07 09:30:00", 1675.25f, ""},
        {"equity/usa/minute/spy/20131007_spy_minute_quote.csv",
         "34260000,1686100,1686400,1685900,1686300,500,1686200,1686500,1686000,1686400,700\n", "", 0,
         "a LEAN file of quote bars"},
        {"spy_minute.csv", "34260000,1686100,1686400,1685900,1686300,123400\n", "", 0,
         "\"34260000\" is milliseconds after midnight, as LEAN writes its minute and second bars, whose date is only "
         "in the file's name"},
        {"equity/usa/minute/spy/20131007_spy_minute_trade.csv", "86400000,1686100,1686400,1685900,1686300,123400\n", "",
         0, "the first line is numbers alone, no header, and its first field, \"86400000\", is no time"},
    };
    TempFolder folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const std::filesystem::path path = folder / c.path;
        std::filesystem::create_directories(path.parent_path());
        write_text(path, c.text);
        if (*c.first == '\0') {
            const std::string error = refusal_of(path);
            EXPECT_NE(error.find(c.said), std::string::npos) << error;
            continue;
        }
        const emu::BarFile file = emu::read_bar_file(path);
        ASSERT_EQ(file.bars.size(), 1u);
        EXPECT_EQ(emu::format_date_time(file.bars[0].time), c.first);
        EXPECT_EQ(file.bars[0].close, c.close);
    }
    // Named by --columns, LEAN's times are refused as what they are, not read as 1970.
    emu::BarFileOptions columns;
    columns.columns = {"datetime", "open", "high", "low", "close", "volume"};
    const std::string error = refusal_of(folder / "spy_minute.csv", columns);
    EXPECT_NE(error.find("milliseconds after midnight"), std::string::npos) << error;
}

}  // namespace
}  // namespace kmi::test::host_program
