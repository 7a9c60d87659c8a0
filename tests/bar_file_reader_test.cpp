// Bar files as traders export them: every shape read into the bars it holds, in a New York
// chart unless a case says otherwise; whatever the reader assumes said in a note; what it
// cannot read refused with the fix. Expected times are worked out by hand: New York is UTC-5
// in winter and UTC-4 from the second Sunday of March to the first Sunday of November.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <tuple>

#include "kmi_host/bar_files/reader.h"
#include "kmi_host/bar_files/time_zone.h"
#include "kmi_host/text/date_time_text.h"
#include "kmi_host/text/input_error.h"
#include "kmi_host_support.h"
#include "study_host.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace kmi::test::host_program {
namespace {

struct Reading {
    const char* chart_zone = "America/New_York";
    const char* data_zone = "";
    const char* stamps = "";  // "start", "end" or "" for the file's own
    const char* columns = "";
    const char* pick = "";
    const char* mark = "";  // "point", "comma" or "" to decide by the numbers
};

emu::BarFileOptions options_of(const Reading& reading) {
    emu::BarFileOptions options;
    options.chart_zone = emu::load_time_zone(reading.chart_zone);
    if (*reading.data_zone != '\0') options.data_zone = emu::load_time_zone(reading.data_zone);
    options.pick = reading.pick;
    if (std::string(reading.mark) == "point") options.decimal_mark = emu::DecimalMark::point;
    if (std::string(reading.mark) == "comma") options.decimal_mark = emu::DecimalMark::comma;
    if (std::string(reading.stamps) == "end") options.bar_stamps = emu::BarStamps::end;
    if (std::string(reading.stamps) == "start") options.bar_stamps = emu::BarStamps::start;
    for (std::string rest = reading.columns; !rest.empty();) {
        const std::size_t comma = rest.find(',');
        options.columns.push_back(rest.substr(0, comma));
        rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
    }
    return options;
}

emu::BarFile read(const std::string& text, const Reading& reading = {}) {
    return emu::parse_bar_file(text, "f.csv", options_of(reading));
}

std::string refusal(const std::string& text, const Reading& reading = {}) {
    try {
        read(text, reading);
    } catch (const emu::InputError& error) {
        return error.what();
    }
    return "read without an error";
}

std::string notes_of(const emu::BarFile& file) {
    std::string all;
    for (const std::string& note : file.notes) all += note + "\n";
    return all;
}

// UTF-16 with its byte-order mark, as spreadsheets save "Unicode text".
std::string utf16(const std::string& ascii, bool little_endian) {
    std::string out = little_endian ? "\xFF\xFE" : "\xFE\xFF";
    for (const char c : ascii) {
        out += little_endian ? std::string{c, '\0'} : std::string{'\0', c};
    }
    return out;
}

struct Bar {
    HostDateTime time;
    float open, high, low, close, volume, bid, ask;
};

void expect_bar(const emu::Bar& bar, const Bar& expected, const std::string& what) {
    EXPECT_EQ(emu::format_date_time(bar.time), emu::format_date_time(expected.time)) << what;
    EXPECT_EQ(bar.open, expected.open) << what;
    EXPECT_EQ(bar.high, expected.high) << what;
    EXPECT_EQ(bar.low, expected.low) << what;
    EXPECT_EQ(bar.close, expected.close) << what;
    EXPECT_EQ(bar.volume, expected.volume) << what;
    EXPECT_EQ(bar.bid_volume, expected.bid) << what;
    EXPECT_EQ(bar.ask_volume, expected.ask) << what;
}

// 2025-07-07 09:30 in New York, 13:30 UTC.
const HostDateTime july_0930 = at(2025, 7, 7, 9, 30);
const Bar july_bar{july_0930, 1, 2, 0.5f, 1.5f, 10, 0, 0};
const std::string july_rows = "2025-07-07 13:30:00,1,2,0.5,1.5,10\n2025-07-07 13:31:00,1,2,0.5,1.5,10\n";

TEST(BarFileShapes, EveryCommonExportIsReadIntoTheBarsItHolds) {
    struct Case {
        const char* what;
        std::string text;
        Reading reading;
        Bar first;
        const char* note;  // a note that must be given, or ""
    };
    const std::string us_rows =
        "07/07/2025,09:31,623.38,623.5,619.02,622.73,100,50\n"
        "07/07/2025,09:32,622.73,623,622,622.5,10,20\n";
    const std::string tab_rows =
        "Date\tTime\tOpen\tHigh\tLow\tClose\r\n2025-07-07\t09:30\t1\t2\t0.5\t1.5\r\n2025-07-07\t09:31\t1\t2\t0.5\t1."
        "5\r\n";
    const Case cases[] = {
        {"headerless futures export: UTC, stamped at the end",
         "20110309 143100;132.31;132.37;132.25;132.35;556121\n20110309 143200;132.35;132.4;132.3;132.38;1000\n",
         {},
         {at(2011, 3, 9, 9, 30), 132.31f, 132.37f, 132.25f, 132.35f, 556121, 0, 0},
         "f.csv: no header row: read by position as datetime;open;high;low;close;volume, as the text export of a "
         "futures platform writes it, times in UTC, each bar stamped at its end (moved back by 1 min to its start)"},
        {"headerless US dates",
         "07/07/2025,09:30,623.38,623.5,619.02,622.73,15516\n07/07/2025,09:31,1,2,0.5,1.5,10\n",
         {},
         {july_0930, 623.38f, 623.5f, 619.02f, 622.73f, 15516, 0, 0},
         "read by position as date,time,open,high,low,close,volume, each bar stamped at its start"},
        {"headerless forex platform history",
         "2025.07.07,09:30,623.38,623.5,619.02,622.73,15516\n2025.07.07,09:31,1,2,0.5,1.5,10\n",
         {},
         {july_0930, 623.38f, 623.5f, 619.02f, 622.73f, 15516, 0, 0},
         "no header row"},
        {"tab-separated <DATE> <TIME> with <VOL> zero throughout",
         "<DATE>\t<TIME>\t<OPEN>\t<HIGH>\t<LOW>\t<CLOSE>\t<TICKVOL>\t<VOL>\t<SPREAD>\n"
         "2025.07.07\t09:30:00\t1\t2\t0.5\t1.5\t55\t0\t2\n2025.07.07\t09:31:00\t1\t2\t0.5\t1.5\t44\t0\t2\n",
         {},
         {july_0930, 1, 2, 0.5f, 1.5f, 55, 0, 0},
         "f.csv: column \"vol\" is 0 throughout: the volume is the tick volume of \"tickvol\""},
        {"tab-separated <DATE> <TIME> with <VOL>",
         "<DATE>\t<TIME>\t<OPEN>\t<HIGH>\t<LOW>\t<CLOSE>\t<TICKVOL>\t<VOL>\t<SPREAD>\n"
         "2025.07.07\t09:30:00\t1\t2\t0.5\t1.5\t55\t7\t2\n",
         {},
         {july_0930, 1, 2, 0.5f, 1.5f, 7, 0, 0},
         ""},
        {"quoted names, Up and Down volume, stamped at the end",
         "\"Date\",\"Time\",\"Open\",\"High\",\"Low\",\"Close\",\"Up\",\"Down\"\n" + us_rows,
         {},
         {july_0930, 623.38f, 623.5f, 619.02f, 622.73f, 150, 0, 0},
         "f.csv: bars stamped at their end: each moved back by its length, 1 min, to its start as an export with Up "
         "and Down volume stamps them"},
        {"Vol and OI, stamped at the end",
         "Date,Time,Open,High,Low,Close,Vol,OI\n" + us_rows,
         {},
         {july_0930, 623.38f, 623.5f, 619.02f, 622.73f, 100, 0, 0},
         "stamped at their end"},
        {"Gmt time, day.month.year",
         "Gmt time,Open,High,Low,Close,Volume\n07.07.2025 13:30:00.000,1,2,0.5,1.5,10\n",
         {},
         july_bar,
         ""},
        {"vendor bars, ISO times with nanoseconds",
         "ts_event,rtype,publisher_id,instrument_id,open,high,low,close,volume,symbol\n"
         "2025-07-07T13:30:00.000000000Z,33,1,42,6250.250000000,6251.000000000,6250.000000000,6250.750000000,100,"
         "ESU5\n",
         {},
         {july_0930, 6250.25f, 6251, 6250, 6250.75f, 100, 0, 0},
         ""},
        {"vendor bars, integer nanoseconds and fixed-point prices",
         "ts_event,rtype,publisher_id,instrument_id,open,high,low,close,volume,symbol\n"
         "1751895000000000000,33,1,42,6250250000000,6251000000000,6250000000000,6250750000000,100,ESU5\n",
         {},
         {july_0930, 6250.25f, 6251, 6250, 6250.75f, 100, 0, 0},
         "f.csv: its prices are fixed-point integers in units of 1e-9"},
        {"a continuous symbol whose instrument_id changes at each roll",
         "timestamp_utc,open,high,low,close,volume,symbol,instrument_id\n"
         "2025-07-07 13:30:00,1,2,0.5,1.5,10,MES.c.0,111\n2025-07-07 13:31:00,1,2,0.5,1.5,10,MES.c.0,222\n",
         {},
         july_bar,
         ""},
        {"a Python data library's three header rows",
         "Price,Adj Close,Close,High,Low,Open,Volume\nTicker,NQ=F,NQ=F,NQ=F,NQ=F,NQ=F,NQ=F\nDatetime,,,,,,\n"
         "2024-12-20 14:30:00+00:00,20999,21001,21010,20990,21000.5,5000\n",
         {},
         {at(2024, 12, 20, 9, 30), 21000.5f, 21010, 20990, 21001, 5000, 0, 0},
         ""},
        {"a broker API's two spaces",
         "date,open,high,low,close,volume\n20250707  09:30:00,1,2,0.5,1.5,10\n",
         {},
         july_bar,
         "f.csv: its times carry no zone: read as America/New_York time, the chart's zone"},
        {"Timestamp (UTC)", "Timestamp (UTC),Open,High,Low,Close,Volume\n" + july_rows, {}, july_bar, ""},
        {"Time (UTC)", "Time (UTC),Open,High,Low,Close,Volume\n" + july_rows, {}, july_bar, ""},
        {"DateTimeUTC", "DateTimeUTC,Open,High,Low,Close,Volume\n" + july_rows, {}, july_bar, ""},
        {"TimestampUTC", "TimestampUTC,Open,High,Low,Close,Volume\n" + july_rows, {}, july_bar, ""},
        {"datetime[utc]", "datetime[utc],Open,High,Low,Close,Volume\n" + july_rows, {}, july_bar, ""},
        {"Time (ET) in a UTC chart",
         "Time (ET),Open,High,Low,Close,Volume\n2025-07-07 09:30:00,1,2,0.5,1.5,10\n",
         {"UTC"},
         {at(2025, 7, 7, 13, 30), 1, 2, 0.5f, 1.5f, 10, 0, 0},
         ""},
        {"spreadsheet AM and PM",
         "Date,Time,Open,High,Low,Close,Volume\n7/7/2025,9:30:00 AM,1,2,0.5,1.5,10\n7/8/2025,1:05:00 "
         "PM,1,2,0.5,1.5,10\n",
         {},
         july_bar,
         "f.csv:3: dates such as 7/8/2025 are read month first (MM/DD/YYYY)"},
        {"UTF-16 little-endian", utf16(tab_rows, true), {}, {july_0930, 1, 2, 0.5f, 1.5f, 0, 0, 0}, ""},
        {"UTF-16 big-endian", utf16(tab_rows, false), {}, {july_0930, 1, 2, 0.5f, 1.5f, 0, 0, 0}, ""},
        {"\\r\\r\\n line ends keep the last column",
         "datetime,open,high,low,close,volume,bid_volume,ask_volume\r\r\n2025-07-07 09:30:00,1,2,0.5,1.5,10,4,6\r\r\n"
         "2025-07-07 09:31:00,1,2,0.5,1.5,10,3,7\r\r\n",
         {},
         {july_0930, 1, 2, 0.5f, 1.5f, 10, 4, 6},
         ""},
        {"lone \\r line ends",
         "datetime,open,high,low,close,volume,bid_volume,ask_volume\r2025-07-07 09:30:00,1,2,0.5,1.5,10,4,6\r",
         {},
         {july_0930, 1, 2, 0.5f, 1.5f, 10, 4, 6},
         ""},
        {"rows of empty cells",
         "datetime_utc,open,high,low,close,volume\n,,,,,\n" + july_rows + " , ,,,,\n,,,,,\n",
         {},
         july_bar,
         ""},
        {"semicolons and decimal commas",
         "datetime_utc;open;high;low;close;volume\n2025-07-07 13:30:00;1;2;0,5;1,5;10\n",
         {},
         july_bar,
         "f.csv:2: numbers with a decimal comma are read as decimals (\"0,5\" as 0.5)"},
        {"--columns for a headerless file with a column to skip",
         "x;2025-07-07 13:30:00;1;2;0.5;1.5;10\n",
         {"America/New_York", "UTC", "", "skip,datetime,open,high,low,close,volume"},
         july_bar,
         ""},
        {"--columns replacing an unknown header",
         "Zeit,Eroeffnung,Hoch,Tief,Schluss,Volumen\n" + july_rows,
         {"America/New_York", "UTC", "", "datetime,open,high,low,close,volume"},
         july_bar,
         "f.csv:1: this header row is read as the names of --columns"},
        {"a zone given as an abbreviation: its one offset in summer too",
         "datetime,open,high,low,close,volume\n2025-07-07 08:30:00,1,2,0.5,1.5,10\n",
         {"America/New_York", "EST"},
         july_bar,
         "f.csv: EST is read as UTC-05:00 all year, as written (America/New_York follows its daylight saving time)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const emu::BarFile file = read(c.text, c.reading);
        ASSERT_FALSE(file.bars.empty());
        expect_bar(file.bars.front(), c.first, c.what);
        const std::string notes = notes_of(file);
        if (*c.note != '\0') {
            EXPECT_NE(notes.find(c.note), std::string::npos) << notes;
        }
    }
}

// Each of these was read wrong without a word before: now read right, or refused.
TEST(BarFileShapes, FormerSilentMisreadsAreReadRightOrRefused) {
    const std::string header = "datetime,open,high,low,close\n";
    struct Read {
        const char* what;
        std::string text;
        Reading reading;
        std::vector<HostDateTime> times;
    };
    const Read reads[] = {
        {"Z rows and naive New York rows, in order",
         header + "2024-01-31 14:30:00Z,1,2,0.5,1\n2024-01-31 09:31:00,1,2,0.5,1\n2024-01-31 14:32:00Z,1,2,0.5,1\n",
         {},
         {at(2024, 1, 31, 9, 30), at(2024, 1, 31, 9, 31), at(2024, 1, 31, 9, 32)}},
        // 01:45 EDT, then the hour again in EST: 05:45, 06:00, 06:15, 06:30, 06:45, 07:00 UTC.
        {"a file that starts inside the repeated autumn hour",
         header + "2024-11-03 01:45:00,1,2,0.5,1\n2024-11-03 01:00:00,1,2,0.5,1\n2024-11-03 01:15:00,1,2,0.5,1\n"
                  "2024-11-03 01:30:00,1,2,0.5,1\n2024-11-03 01:45:00,1,2,0.5,1\n2024-11-03 02:00:00,1,2,0.5,1\n",
         {"UTC", "America/New_York"},
         {at(2024, 11, 3, 5, 45), at(2024, 11, 3, 6, 0), at(2024, 11, 3, 6, 15), at(2024, 11, 3, 6, 30),
          at(2024, 11, 3, 6, 45), at(2024, 11, 3, 7, 0)}},
        {"a date column beside a full timestamp",
         "date,timestamp,open,high,low,close\n2025-07-07,2025-07-07 09:30:00,1,2,0.5,1\n"
         "2025-07-07,2025-07-07 09:31:00,1,2,0.5,1\n",
         {},
         {july_0930, july_0930 + 60 * 1000000LL}},
    };
    for (const Read& r : reads) {
        SCOPED_TRACE(r.what);
        const emu::BarFile file = read(r.text, r.reading);
        ASSERT_EQ(file.bars.size(), r.times.size());
        for (std::size_t i = 0; i < r.times.size(); ++i) {
            EXPECT_EQ(emu::format_date_time(file.bars[i].time), emu::format_date_time(r.times[i]));
        }
    }

    const std::pair<std::string, std::string> refusals[] = {
        {"datetime,symbol,open,high,low,close\n2025-07-07 09:30:00,A,1,2,0.5,1\n2025-07-07 09:31:00,B,5,6,4.5,5\n"
         "2025-07-07 09:32:00,A,1,2,0.5,1\n",
         "f.csv:4: column \"symbol\" interleaves several instruments (A (2 rows), B (1 rows)): pick one by naming the "
         "file as f.csv#VALUE"},
        {header + "2025-07-07 09:30:00,+-1,2,0.5,1\n",
         "f.csv:2: column \"open\": not a finite number within the range of a 32-bit float: \"+-1\""},
        {header + "2025-07-07 09:30:00,1e-50,2,0,1\n",
         "f.csv:2: column \"open\": \"1e-50\" is too small for a 32-bit float, which would read it as 0"},
        {"datetime,open,high,low,close,volume\n2025-07-07 09:30:00,1,2,0.5,1,-5\n",
         "f.csv:2: column \"volume\": a negative volume: \"-5\""},
        {header + "2025-07-07 09:30:00,1,0.5,2,1\n", "f.csv:2: the high (0.5) is below the low (2)"},
        {"datetime,high,close\n2025-07-07 09:30:00,1,2\n", "f.csv:2: the high (1) is below the low (2)"},
        // A row out of place is blamed on its own line, whatever the first two rows suggest.
        {header + "2025-07-07 09:35:00,1,2,0.5,1\n2025-07-07 09:30:00,1,2,0.5,1\n2025-07-07 09:31:00,1,2,0.5,1\n"
                  "2025-07-07 09:32:00,1,2,0.5,1\n",
         "f.csv:2: bar time 2025-07-07 09:35:00 is out of order: line 3 is at 2025-07-07 09:30:00 and the file runs "
         "oldest first"},
        {header + "2025-07-07 09:32:00,1,2,0.5,1\n2025-07-07 09:31:00,1,2,0.5,1\n2025-07-07 09:35:00,1,2,0.5,1\n"
                  "2025-07-07 09:30:00,1,2,0.5,1\n",
         "f.csv:4: bar time 2025-07-07 09:35:00 is out of order: line 3 is at 2025-07-07 09:31:00 and the file runs "
         "newest first"},
        // 02:30 does not exist in New York on 2024-03-10: read an hour later, it is 03:30 again.
        {header + "2024-03-10 02:30:00,1,2,0.5,1\n2024-03-10 03:30:00,1,2,0.5,1\n",
         "f.csv:3: a second bar at 2024-03-10 03:30:00 (the first is on line 2, written 2024-03-10 02:30:00 (a time "
         "that does not exist in America/New_York that day: clocks skip that hour, so it reads an hour later))"},
        {"2025-07-07 09:30:00;1;2;3\n",
         "f.csv:1: the first line looks like data, not a header: \"2025-07-07 09:30:00;1;2;3\": name the file's "
         "columns in order with --columns NAME,NAME,..."},
    };
    for (const auto& [text, message] : refusals) {
        const std::string error = refusal(text);
        EXPECT_EQ(error.rfind(message, 0), 0u) << "got: " << error << "\nexpected: " << message;
    }
    EXPECT_EQ(refusal(july_rows, {"America/New_York", "UTC", "", "datetime,open,high"}),
              "--columns names 3 columns, but f.csv:1 has 6 fields");
}

// Shapes seen in traders' downloads: a title above the header, a header one name short, text
// after a quoted header and a header repeated where two exports were joined are read with a
// note; what cannot be read as written is refused with the cause.
TEST(BarFileShapes, TitlesShortHeadersAndJoinedExportsAreReadWithANote) {
    const std::string rows = "2025-07-07,09:30,1,2,0.5,1.5,10\n2025-07-07,09:31,1,2,0.5,1.5,10\n";
    const std::string header = "Date,Time,Open,High,Low,Close,Volume\n";
    struct Case {
        const char* what;
        std::string text;
        const char* said;  // a note of the read file, or the start of the refusal (nothing read)
        bool read = true;
    };
    const Case cases[] = {
        {"a title above the header", "https://www.example-data.com\n" + header + rows,
         "f.csv:1: no header and no bar, \"https://www.example-data.com\": left out (a title above the header)"},
        {"a header one name short",
         "Date,Open,High,Low,Close,Volume,OpenInterest\n"
         "2025-07-07,09:30:00,1,2,0.5,1.5,10,0\n2025-07-07,09:31:00,1,2,0.5,1.5,10,0\n",
         "f.csv:1: the header names one column fewer than its rows have: \"Date\" stands for the date and the time "
         "of day, the rows' first two fields (read so)"},
        {"text after a quoted header",
         "\"Date\",\"Time\",\"Open\",\"High\",\"Low\",\"Close\",\"Volume\"  ### comment\n" + rows,
         "f.csv:1: text after the header's last name, \"### comment\", is left out"},
        {"the header again", header + rows.substr(0, 32) + header + rows.substr(32),
         "f.csv:3: the header again: left out, as where two exports were joined"},
        {"a header of other columns", header + rows.substr(0, 32) + "Date,Time,Open,High,Low,Close\n" + rows.substr(32),
         "f.csv:3: a header with other columns than line 1's (two files joined one after the other?): give each "
         "file on its own",
         false},
        {"a time column that is not read",
         "Date,Hour,Open,High,Low,Close\n2025-07-07,9,1,2,0.5,1\n2025-07-07,10,1,2,0.5,1\n",
         "f.csv:3: a second bar on 2025-07-07 (the first is on line 2): the file's times are dates alone, so it "
         "holds one bar a day; its column \"Hour\" is not read as a time of day: name the columns with --columns "
         "date,time,...",
         false},
        {"dates alone", "Date,Open,High,Low,Close\n2025-07-07,1,2,0.5,1\n2025-07-07,1,2,0.5,1\n",
         "f.csv:3: a second bar on 2025-07-07 (the first is on line 2): the file's times are dates alone, so it "
         "holds one bar a day; bars of a day need their times of day",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.read) {
            const std::string error = refusal(c.text);
            EXPECT_EQ(error.rfind(c.said, 0), 0u) << "got: " << error;
            continue;
        }
        const emu::BarFile file = read(c.text);
        ASSERT_EQ(file.bars.size(), 2u);
        expect_bar(file.bars[0], july_bar, c.what);
        expect_bar(file.bars[1], {july_0930 + 60 * 1000000LL, 1, 2, 0.5f, 1.5f, 10, 0, 0}, c.what);
        EXPECT_NE(notes_of(file).find(c.said), std::string::npos) << notes_of(file);
    }
}

// The decimal mark is decided for each column over all its rows, else by the file's other
// columns: "1,234" alone may be 1234 or 1.234. Before, a tab file's volume "1,234" was read as
// 1.234 beside prices written with a decimal point.
TEST(BarFileNumbers, DecimalMarksAreDecidedByEachColumnOrElseTheFile) {
    struct Case {
        const char* what;
        std::string text;
        float close;  // of the first bar; 0: refused
        float volume;
        const char* said;  // a note, or the start of the refusal
        const char* mark = "";
    };
    const std::string tab = "Date\tTime\tClose\tVolume\n";
    const std::string semi = "Date;Time;Close;Volume\n";
    const Case cases[] = {
        {"a tab file of decimal points", tab + "2025-07-07\t09:30\t5130.25\t1,234\n", 5130.25f, 1234,
         "f.csv:2: column \"Volume\": \"1,234\" is read as 1234, the comma between thousands, as the file's other "
         "columns have a decimal point (--decimal-mark comma reads it as 1.234)"},
        {"a decimal comma on the row after", semi + "2025-07-07;09:30;5130;1.234\n2025-07-07;09:31;5130,5;987\n", 5130,
         1234, "column \"Volume\": \"1.234\" is read as 1234, the point between thousands"},
        {"no number says which", semi + "2025-07-07;09:30;5130;1,234\n", 5130, 1.234f,
         "f.csv:2: column \"Volume\": \"1,234\" is read as 1.234, a decimal comma: no number of the file says which "
         "mark is decimal (--decimal-mark point reads it as 1234)"},
        {"said by the option", semi + "2025-07-07;09:30;5130;1,234\n", 5130, 1234, "", "point"},
        {"quoted with both marks", "Date,Price,Vol.\n\"07/07/2025\",\"5,130.95\",\"1,234,567\"\n", 5130.95f, 1234567,
         ""},
        {"both marks, the other way", semi + "2025-07-07;09:30;1.234,5;1.234.567\n", 1234.5f, 1234567,
         "numbers with a decimal comma are read as decimals (\"1.234,5\" as 1234.5)"},
        {"volumes written short", "Date,Price,Vol.\n07/07/2025,5130,2.41B\n", 5130, 2.41e9f,
         "volumes are written short (\"2.41B\")"},
        {"a volume written as none", "Date,Price,Vol.\n07/07/2025,5130,-\n", 5130, 0,
         "1 volumes are written \"-\" (the first on this line): read as 0"},
        {"a column of both marks", semi + "2025-07-07;09:30;5130,25;1\n2025-07-07;09:31;5130.5;1\n", 0, 0,
         "f.csv:3: column \"Close\" writes \"5130.5\" with a decimal point, but \"5130,25\" on line 2 with a "
         "decimal comma"},
        {"\"1,234\" in a file of both marks", "Date;Time;Open;Close;Volume\n2025-07-07;09:30;5130,5;5130.5;1,234\n", 0,
         0,
         "f.csv:2: column \"Volume\": \"1,234\" may be a decimal or a whole number in thousands, and the file's "
         "columns write both decimal marks"},
        {"thousands out of their groups", semi + "2025-07-07;09:30;5130;1,23,456\n", 0, 0,
         "f.csv:2: column \"volume\": not a finite number"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Reading reading{"America/New_York", "", "", "", "", c.mark};
        if (c.close == 0) {
            const std::string error = refusal(c.text, reading);
            EXPECT_EQ(error.rfind(c.said, 0), 0u) << "got: " << error;
            continue;
        }
        const emu::BarFile file = read(c.text, reading);
        EXPECT_EQ(file.bars.front().close, c.close);
        EXPECT_EQ(file.bars.front().volume, c.volume);
        EXPECT_NE(notes_of(file).find(c.said), std::string::npos) << notes_of(file);
    }
}

// Lines that hold no row (blank lines, a spreadsheet's rows of empty cells) cost no memory:
// the bars are sized once for the rows the file can hold, not for its lines. Before, 100 000
// blank lines sized them for 100 004 bars, and a gigabyte of them was refused.
TEST(BarFileMemory, LinesThatHoldNoRowAreNotGivenRoomForBars) {
    const std::pair<const char*, std::string> fillers[] = {
        {"blank lines", "\n"},
        {"blank lines of a Windows file", "\r\n"},
        {"rows of empty cells", ",,,,\n"},
        {"rows of quoted empty cells and blanks", "\"\", ,\"\" ,, \n"},
    };
    const std::string header = "datetime,open,high,low,close\n";
    TempFolder folder;
    for (const auto& [what, filler] : fillers) {
        SCOPED_TRACE(what);
        std::string text = header + "2025-07-07 09:30:00,1,2,0.5,1.5\n";
        for (int i = 0; i < 50000; ++i) text += filler;
        text += "2025-07-07 09:31:00,1,2,0.5,1.5\n";
        for (int i = 0; i < 50000; ++i) text += filler;
        text += "2025-07-07 09:32:00,1,2,0.5,1.5\n";
        write_text(folder / "f.csv", text);
        const emu::BarFile in_memory = read(text);
        const emu::BarFile from_file = emu::read_bar_file(folder / "f.csv", options_of({}));
        for (const emu::BarFile* file : {&in_memory, &from_file}) {
            EXPECT_EQ(file->bars.size(), 3u);
            EXPECT_LE(file->bars.capacity(), 100u) << "room for bars in proportion to the rows, not the lines";
        }
    }
}

TEST(BarFileNotes, EveryAssumptionAndOddityIsToldOnce) {
    const std::string header = "datetime,open,high,low,close\n";
    // A recorder writes its forming bar again as it grows.
    const std::string recorder =
        "2025-07-07 09:30:00,1,2,0.5,1\n2025-07-07 09:30:00,1,2.5,0.5,2\n2025-07-07 09:30:00,1,3,0.25,2.5\n"
        "2025-07-07 09:31:00,2.5,3,2,2\n";
    const std::pair<std::string, std::string> cases[] = {
        {header + "2025-07-07 09:31:00,1,2,0.5,1\n2025-07-07 09:30:00,1,2,0.5,1\n",
         "f.csv: the newest bar comes first: the bars are read in reverse order"},
        {header + "2025-07-07 09:30:00,3,2,0.5,1\n2025-07-07 09:31:00,1,2,0.5,1\n2025-07-07 09:32:00,1,2,0.5,0.2\n",
         "f.csv:2: the open or close of 2 bars lie outside their low and high (the first on this line); read as "
         "written"},
        {"ts_event,open,high,low,close,volume,instrument_id\n2025-03-13T13:30:00Z,1,2,0.5,1.5,10,111\n"
         "2025-03-14T13:30:00Z,1,2,0.5,1.5,10,222\n2025-03-17T13:30:00Z,1,2,0.5,1.5,10,222\n",
         "f.csv: column \"instrument_id\" changes 1 time, one instrument following another in time, read as one "
         "series (a roll from one contract to the next): 111 to 222 on line 3"},
        {header + "2024-03-10 01:30:00,1,2,0.5,1\n2024-03-10 02:30:00,1,2,0.5,1\n",
         "f.csv:3: 2024-03-10 02:30:00 does not exist in America/New_York: its clocks skip that hour when daylight "
         "saving time begins, so it is read an hour later"},
        // 01:00 and 01:30 come twice as New York's clocks go back; the file writes them once.
        {header + "2024-11-03 00:30:00,1,2,0.5,1\n2024-11-03 01:00:00,1,2,0.5,1\n2024-11-03 01:30:00,1,2,0.5,1\n"
                  "2024-11-03 02:00:00,1,2,0.5,1\n",
         "f.csv:3: the hour from 01:00 on 2024-11-03 comes twice in America/New_York as its clocks go back, but the "
         "file writes it once: read as its first occurrence, so an hour with no bars follows"},
        {header + recorder,
         "f.csv:3: 2 rows rewrite the bar before it at the same time (the first on this line), "
         "as a recorder rewrites its forming bar: the last row of each time is read"},
        {"Date,Time,Open,High,Low,Close\n07/13/2025,09:30,1,2,0.5,1\n08/07/2025,09:30,1,2,0.5,1\n", ""},
        {"Date,Time,Open,High,Low,Close\n08/07/2025,09:30,1,2,0.5,1\n13/07/2025,09:30,1,2,0.5,1\n",
         "f.csv: its dates are read day first (day/month/year): the date on line 3 cannot be month first"},
    };
    for (const auto& [text, note] : cases) {
        const emu::BarFile file = read(text);
        const std::string notes = notes_of(file);
        if (!note.empty()) {
            EXPECT_NE(notes.find(note), std::string::npos) << "got:\n" << notes;
        }
        EXPECT_EQ(notes.find("read month first"), std::string::npos) << "only dates that read as two days are noted";
        const auto zone_notes = std::count_if(file.notes.begin(), file.notes.end(), [](const std::string& line) {
            return line.find("carry no zone") != std::string::npos;
        });
        EXPECT_EQ(file.notes.size() - static_cast<std::size_t>(zone_notes), note.empty() ? 0u : 1u) << notes;
    }
    const emu::BarFile recorded = read(header + recorder);
    ASSERT_EQ(recorded.bars.size(), 2u);
    EXPECT_EQ(emu::format_date_time(recorded.bars[1].time), "2025-07-07 09:31:00");
    EXPECT_EQ(std::make_tuple(recorded.bars[0].high, recorded.bars[0].low, recorded.bars[0].close),
              std::make_tuple(3.0f, 0.25f, 2.5f));
    const emu::BarFile day_first = read(
        "Date,Time,Open,High,Low,Close\n08/07/2025,09:30,1,2,0.5,1\n"
        "13/07/2025,09:30,1,2,0.5,1\n");
    EXPECT_EQ(emu::format_date_time(day_first.bars[0].time), "2025-07-08 09:30:00") << "8 July, then 13 July";
    EXPECT_EQ(read(header + "2025-07-07 09:30:00,1,2,0.5,1\n", {"America/New_York", "America/Chicago"}).notes,
              std::vector<std::string>{})
        << "a zone given is no assumption";
}

// Every column whose name says volume is read or named as not read, a column of a bar's end
// stamps the bars at their end unless a start column stands beside it, and a zone in a time
// column's name is read (a fixed abbreviation as written, with a note) or refused naming it.
TEST(BarFileColumns, VolumesBarEndsAndZonesInNamesAreReadOrRefused) {
    const std::string rows = "2025-07-07 09:30:00,1,2,0.5,1.5,10\n2025-07-07 09:31:00,1,2,0.5,1.5,10\n";
    struct Case {
        std::string header;
        HostDateTime first;  // the first bar in New York, when read
        float volume;
        const char* said;  // a note, or the refusal
    };
    const Case cases[] = {
        {"Datetime,Open,High,Low,Close,Volume (Contracts)", july_0930, 10, ""},
        {"datetime,open,high,low,close,size", july_0930, 10, ""},
        {"Datetime,Open,High,Low,Close,Volume BTC,Volume USD", 0, 0,
         "f.csv:1: two columns may be read as one: \"Volume BTC\" and \"Volume USD\": name the one to read with "
         "--columns"},
        {"Close Time,Open,High,Low,Close,Volume", july_0930 - 60000000LL, 10, "as the time column's name says"},
        {"Timestamp (CET),Open,High,Low,Close,Volume", at(2025, 7, 7, 4, 30), 10,
         "f.csv: the time column's name says CET: read as UTC+01:00 all year, as written (--data-time-zone "
         "Europe/Berlin reads them with that zone's daylight saving time)"},
        {"Timestamp (UTC+1),Open,High,Low,Close,Volume", at(2025, 7, 7, 4, 30), 10, "says UTC+1: read as UTC+01:00"},
        {"Time (EST),Open,High,Low,Close,Volume", at(2025, 7, 7, 10, 30), 10, "says EST: read as UTC-05:00 all year"},
        {"Datetime (PT),Open,High,Low,Close,Volume", at(2025, 7, 7, 12, 30), 10, ""},
        {"Timestamp [Europe/Berlin],Open,High,Low,Close,Volume", at(2025, 7, 7, 3, 30), 10, ""},
        {"Time (CST),Open,High,Low,Close,Volume", at(2025, 7, 7, 11, 30), 10,
         "CST also names China Standard Time, UTC+08:00"},
        {"Time (XYZ),Open,High,Low,Close,Volume", 0, 0,
         "f.csv:1: the time column's name \"Time (XYZ)\" gives the zone \"XYZ\", which kmi-host does not know"},
        {"Time (Mars/Olympus),Open,High,Low,Close,Volume", 0, 0,
         "f.csv:1: the time column's name \"Time (Mars/Olympus)\" gives the zone \"Mars/Olympus\", which is no name "
         "of the tz database"},
    };
    for (const Case& c : cases) {
        const std::string text = c.header + "\n" + rows;
        if (c.first == 0) {
            EXPECT_EQ(refusal(text).rfind(c.said, 0), 0u) << c.header << "\ngot: " << refusal(text);
            continue;
        }
        const emu::BarFile file = read(text);
        EXPECT_EQ(emu::format_date_time(file.bars.front().time), emu::format_date_time(c.first)) << c.header;
        EXPECT_EQ(file.bars.front().volume, c.volume) << c.header;
        EXPECT_NE(notes_of(file).find(c.said), std::string::npos) << c.header << "\n" << notes_of(file);
    }
    const std::string both =
        "End Time,Start Time,Open,High,Low,Close,Volume,Taker buy volume\n"
        "2025-07-07 09:31:00,2025-07-07 09:30:00,1,2,0.5,1.5,10,4\n";
    const emu::BarFile started = read(both);
    EXPECT_EQ(emu::format_date_time(started.bars.front().time), emu::format_date_time(july_0930));
    const std::string plan = emu::reading_plan_text("f.csv", started.plan, started.bars, started.notes, "");
    EXPECT_NE(plan.find("End Time          not read: the bar's end: its start is read from \"Start Time\""),
              std::string::npos)
        << plan;
    EXPECT_NE(plan.find("Taker buy volume  not read: one side's volume, not the bar's"), std::string::npos) << plan;
    EXPECT_NE(read("datetime,close\n" + rows.substr(0, 20) + "1\n").plan.volume.find("none"), std::string::npos);
}

// A time that cannot be a bar's is refused, naming the form it most likely is and the fix,
// never read as 1970 or 2046.
TEST(BarFileTimes, ImplausibleTimesAreRefusedNamingTheirLikelyForm) {
    const std::string prices = ",1,2,0.5,1\n";
    const std::string datetime = "datetime,open,high,low,close\n";
    const Reading by_position{"America/New_York", "", "", "datetime,open,high,low,close"};
    struct Case {
        std::string text;
        Reading reading;
        const char* message;
    };
    const Case cases[] = {
        {"Date,Open,High,Low,Close\n45355" + prices,
         {},
         "f.csv:2: \"45355\" read as a Unix time is 1970-01-01 12:35:55 UTC, before 1980: it looks like a "
         "spreadsheet's serial date (45355 is 2024-03-04 as days since 1899-12-30)"},
        {datetime + "45355.3958" + prices,
         {},
         "f.csv:2: \"45355.3958\" is no date and time: it looks like a spreadsheet's serial date (45355.3958 is "
         "2024-03-04"},
        {"Date,Open,High,Low,Close\n240305" + prices, {}, "it looks like a date YYMMDD (240305 is 2024-03-05 so read)"},
        {"Time,Open,High,Low,Close\n0930" + prices, {}, "it looks like a time of day HHMM with no date"},
        {"Time,Open,High,Low,Close\n093000" + prices, {}, "it looks like a time of day HHMMSS with no date"},
        {"Time,Open,High,Low,Close\n09:30" + prices, {}, "it looks like a time of day with no date"},
        {"2403050930" + prices, by_position,
         "f.csv:1: \"2403050930\" read as a Unix time is 2046-02-24 02:08:50 UTC, after this machine's clock: it "
         "looks like a date and time YYMMDDHHMM (2403050930 is 2024-03-05 09:30 so read)"},
        {"34200000" + prices, by_position,
         "it looks like milliseconds after midnight (34200000 is 09:30:00) with the date elsewhere"},
        {"-5" + prices, by_position, "f.csv:1: \"-5\" read as a Unix time is 1969-12-31 23:59:55 UTC, before 1980"},
        {datetime + "1975-06-02 09:30:00" + prices, {}, "f.csv:2: bar time 1975-06-02 09:30:00 is before 1980"},
    };
    for (const Case& c : cases) {
        const std::string error = refusal(c.text, c.reading);
        EXPECT_NE(error.find(c.message), std::string::npos) << c.text << "\ngot: " << error;
    }
    emu::BarFileOptions options = options_of({});
    options.clock = at(2026, 12, 8, 12, 0);
    const std::string soon = datetime + "2026-12-10 06:00:00" + prices;
    EXPECT_EQ(emu::parse_bar_file(soon, "f.csv", options).bars.size(), 1u) << "two days ahead of the clock is read";
    options.clock = at(2026, 12, 7, 12, 0);
    try {
        emu::parse_bar_file(soon, "f.csv", options);
        ADD_FAILURE() << "read";
    } catch (const emu::InputError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "f.csv:2: bar time 2026-12-10 06:00:00 is more than two days after this machine's clock "
                  "(2026-12-07 12:00:00 UTC): a date written in another order, or the machine's clock is wrong");
    }
}

// The plan `kmi-host inspect` prints: each column read or named as not read, where the zone,
// the stamps and the bar length came from, and the first and last bar.
TEST(BarFilePlans, SayHowEveryFileWasReadAndWhy) {
    struct Case {
        const char* what;
        std::string text;
        Reading reading;
        std::vector<const char*> lines;
    };
    const Case cases[] = {
        {"a header with a column of no use and a price ranked below the close",
         "Date,Time,Open,High,Low,Close,Price,Volume,OpenInt\n2025-07-07,09:30,1,2,0.5,1.5,1.5,10,5\n"
         "2025-07-07,09:31,1,2,0.5,1.5,1.5,10,5\n",
         {},
         {"  shape       a header row (line 1)\n", "    Date     date\n", "    Time     time of day\n",
          "    Price    not read: the close is read from \"Close\"\n",
          "    OpenInt  not read: no column kmi-host reads is named so\n",
          "  times       a date and a time of day in two columns (\"2025-07-07 09:30\")\n",
          "  zone        America/New_York, the chart's (assumed: its times carry no zone;",
          "  bar stamps  each bar's start (assumed: the rule;",
          "  bar length  1 min (1 of 1 step, too few to be sure)\n",
          "  first bar   line 2: 2025-07-07 09:30 as written, 2025-07-07 09:30:00 America/New_York\n",
          "  last bar    line 3: 2025-07-07 09:31 as written, 2025-07-07 09:31:00 America/New_York\n"}},
        {"a headerless export known to write UTC and stamp ends",
         "20110309 143100;132.31;132.37;132.25;132.35;556121\n20110309 143200;132.35;132.4;132.3;132.38;1000\n",
         {},
         {"  shape       no header row: read by position, as the text export of a futures platform\n",
          "    column 1  time\n", "  zone        UTC, as the file's shape writes its times\n",
          "  bar stamps  each bar's end, as the file's shape stamps them\n"}},
        {"offsets on every time, newest first, a given zone and stamps",
         "datetime,open,high,low,close\n2025-07-07 09:31:00-04:00,1,2,0.5,1\n2025-07-07 09:30:00-04:00,1,2,0.5,1\n",
         {"America/New_York", "UTC", "start"},
         {"  times       a date and time with its UTC offset (\"2025-07-07 09:31:00-04:00\")\n",
          "  zone        carried by every time (an offset or a Unix time)\n",
          "  bar stamps  each bar's start, as given (--bar-stamps)\n",
          "  first bar   line 3: 2025-07-07 09:30:00-04:00 as written"}},
        {"Unix milliseconds, --columns with a column skipped",
         "1751895000000,x,1,2,0.5,1\n1751895060000,x,1,2,0.5,1\n",
         {"America/New_York", "", "", "datetime,skip,open,high,low,close"},
         {"  shape       no header row: the names of --columns\n", "    skip      not read: skipped (--columns)\n",
          "  times       a Unix time in milliseconds (\"1751895000000\")\n"}},
    };
    for (const Case& c : cases) {
        const emu::BarFile file = read(c.text, c.reading);
        const std::string plan =
            emu::reading_plan_text("f.csv", file.plan, file.bars, file.notes, c.reading.chart_zone);
        for (const char* line : c.lines) EXPECT_NE(plan.find(line), std::string::npos) << c.what << ":\n" << plan;
    }
    // Bars of no one length are refused with the fix, or read with the length given.
    std::string trades = "datetime,close\n";
    HostDateTime time = at(2025, 7, 7, 9, 30);
    for (const int tenths : {0, 75, 24, 116, 15, 124, 65, 16, 115, 54, 126, 45, 135}) {
        time += tenths * 100000LL;
        trades += emu::format_date_time(time) + ",1\n";
    }
    EXPECT_EQ(refusal(trades).rfind("f.csv: no bar length holds for most of its 12 steps between bars (they run from "
                                    "2 s to 14 s; the commonest, 2 s, is 3 of them)",
                                    0),
              0u)
        << refusal(trades);
    emu::BarFileOptions given = options_of({});
    given.bar_seconds = 1;
    EXPECT_EQ(emu::parse_bar_file(trades, "f.csv", given).plan.length.seconds, 1);
}

TEST(BarFileZones, AZoneIsANameOfTheTzDatabaseAndNothingElseIsOpened) {
    for (const char* name : {"/usr/share/zoneinfo/UTC", "file:/usr/share/zoneinfo/UTC", "../zoneinfo/UTC",
                             "America/../UTC", "America//New_York", "localtime", "", "UTC ", "America/New_York\n"}) {
        EXPECT_THROW(emu::load_time_zone(name), emu::InputError) << name;
    }
    EXPECT_EQ(emu::load_time_zone("Etc/GMT+5").name, "Etc/GMT+5");
#ifndef _WIN32
    // The tz database is the one compiled in: a FIFO where TZDIR would hold a zone is never
    // opened (opening it would wait forever).
    TempFolder folder;
    std::filesystem::create_directories(folder / "Pipe");
    ASSERT_EQ(mkfifo((folder / "Pipe" / "Zone").c_str(), 0600), 0);
    const char* saved = std::getenv("TZDIR");
    const std::string saved_value = saved == nullptr ? "" : saved;
    setenv("TZDIR", folder.path.c_str(), 1);
    EXPECT_THROW(emu::load_time_zone("Pipe/Zone"), emu::InputError);
    if (saved == nullptr) {
        unsetenv("TZDIR");
    } else {
        setenv("TZDIR", saved_value.c_str(), 1);
    }
#endif
}

// Zones as traders type them, all of the one database compiled in (so Linux and Windows take the
// same names and convert alike): the names the Windows time-zone API lacked, the database's
// history, Windows ids, any letter case, offsets, and abbreviations read as the offset they name.
TEST(BarFileZones, NamesAsTradersTypeThemAreZonesOfTheDatabaseCompiledIn) {
    struct Case {
        const char* given;
        const char* shown;
        HostDateTime utc;
        std::int64_t offset;  // seconds east of UTC at `utc`
        const char* note;     // the note's text, or "" for none
    };
    const HostDateTime winter = at(2024, 1, 15, 12);
    const HostDateTime summer = at(2024, 7, 15, 12);
    const Case cases[] = {
        {"Asia/Calcutta", "Asia/Calcutta", winter, 19800, ""},
        {"Etc/GMT-1", "Etc/GMT-1", winter, 3600, ""},
        {"Etc/GMT+5", "Etc/GMT+5", summer, -18000, ""},
        {"Europe/Kyiv", "Europe/Kyiv", summer, 10800, ""},
        {"Africa/Johannesburg", "Africa/Johannesburg", winter, 7200, ""},
        {"Asia/Tehran", "Asia/Tehran", winter, 12600, ""},
        // Moscow kept summer time until 2011, then UTC+4 all year until 2014.
        {"Europe/Moscow", "Europe/Moscow", at(1995, 1, 15, 12), 10800, ""},
        {"Europe/Moscow", "Europe/Moscow", at(1995, 7, 15, 12), 14400, ""},
        {"Europe/Moscow", "Europe/Moscow", at(2012, 1, 15, 12), 14400, ""},
        {"europe/berlin", "Europe/Berlin", summer, 7200, ""},
        {"AMERICA/NEW_YORK", "America/New_York", winter, -18000, ""},
        {"W. Europe Standard Time", "Europe/Berlin", summer, 7200, ""},
        {"eastern standard time", "America/New_York", summer, -14400, ""},
        {"India Standard Time", "Asia/Kolkata", summer, 19800, ""},
        {"ET", "America/New_York", summer, -14400, ""},
        {"GMT", "GMT", summer, 0, ""},
        {"UTC-05:00", "UTC-05:00", summer, -18000, ""},
        {"UTC+1", "UTC+01:00", summer, 3600,
         "UTC+1 is read as UTC+01:00 all year, as written (a zone's name, such as Europe/Berlin, follows its daylight "
         "saving time)"},
        {"GMT-5", "UTC-05:00", winter, -18000, "GMT-5 is read as UTC-05:00 all year"},
        {"gmt+5:30", "UTC+05:30", winter, 19800, "gmt+5:30 is read as UTC+05:30 all year"},
        {"CET", "UTC+01:00", summer, 3600,
         "CET is read as UTC+01:00 all year, as written (Europe/Berlin follows its daylight saving time)"},
        {"MEZ", "UTC+01:00", summer, 3600, "MEZ is read as UTC+01:00 all year"},
        {"EDT", "UTC-04:00", winter, -14400, "EDT is read as UTC-04:00 all year"},
        {"PST", "UTC-08:00", summer, -28800, "PST is read as UTC-08:00 all year"},
        {"JST", "UTC+09:00", summer, 32400, "JST is read as UTC+09:00 all year, as written"},
        {"BST", "UTC+01:00", winter, 3600, "; BST also names Bangladesh Standard Time, UTC+06:00"},
    };
    for (const Case& c : cases) {
        const emu::TimeZone zone = emu::load_time_zone(c.given);
        EXPECT_EQ(zone.name, c.shown) << c.given;
        EXPECT_EQ(emu::offset_span(zone, c.utc).offset, c.offset) << c.given;
        if (*c.note == '\0') {
            EXPECT_EQ(zone.note, "") << c.given;
        } else {
            EXPECT_NE(zone.note.find(c.note), std::string::npos) << c.given << ": " << zone.note;
        }
    }
    // An unknown name is refused with the nearest names known.
    const auto refusal_of = [](const char* name) {
        try {
            emu::load_time_zone(name);
        } catch (const emu::InputError& error) {
            return std::string(error.what());
        }
        return std::string("loaded");
    };
    EXPECT_EQ(refusal_of("Europe/Berln"), "unknown time zone \"Europe/Berln\": did you mean Europe/Berlin?");
    EXPECT_EQ(refusal_of("new york"), "unknown time zone \"new york\": did you mean America/New_York?");
    EXPECT_EQ(refusal_of("Mars/Olympus").find("did you mean"), std::string::npos);
    EXPECT_EQ(refusal_of("UTC+15").rfind("unknown time zone \"UTC+15\"", 0), 0u);
}

}  // namespace
}  // namespace kmi::test::host_program
