// Following bar files as a recorder writes them: after every look at the files, the panel and
// the series are those of a replay of the files as they then stand, finished (a forming bar
// rewritten, a half-written line, a row out of order, a file truncated and one replaced); a file
// that vanishes, empties or is replaced loses no bar and tells each of its states once; only a
// change to a followed file wakes a look.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <thread>

#include "kmi_host/following/file_watch.h"
#include "kmi_host/following/followed_files.h"
#include "kmi_host/output_files/chart_page.h"
#include "kmi_host/output_files/series_files.h"
#include "kmi_host/replay/closing_panels.h"
#include "kmi_host/replay/replay.h"
#include "kmi_host/terminal/terminal_panel.h"
#include "kmi_host_support.h"
#include "study_host.h"

namespace kmi::test::host_program {
namespace {

const char* const files[] = {"es.csv", "tick.csv", "add.csv"};
const std::map<std::string, std::string> headers{
    {"es.csv", "datetime,open,high,low,close,volume,bid_volume,ask_volume\n"},
    {"tick.csv", "datetime,open,high,low,close\n"},
    {"add.csv", "datetime,open,high,low,close\n"}};

std::string minute_time(int minute) {
    return "2026-12-07 0" + std::to_string(9 + minute / 60) + ":" + (minute % 60 < 10 ? "0" : "") +
           std::to_string(minute % 60) + ":00";
}

// A row of `file` at 09:00 + `minute`; `grown` widens the forming bar, its open kept.
std::string row(const std::string& file, int minute, int grown = 0) {
    const int k = minute - 30;
    if (file == "es.csv") {
        const double open = 6000 + k * 0.75;
        return minute_time(minute) + "," + std::to_string(open) + "," + std::to_string(open + 1.5 + grown) + "," +
               std::to_string(open - 1 - (k % 3) * 0.25) + "," + std::to_string(open + 0.5 + grown * 0.25 - k % 2) +
               "," + std::to_string(100 + 10 * k + grown) + "," + std::to_string(40 + k + grown) + "," +
               std::to_string(60 - 2 * k) + "\n";
    }
    const int scale = file == "tick.csv" ? 100 : 50;
    const int open = (k % 4 - 1) * scale;
    return minute_time(minute) + "," + std::to_string(open) + "," + std::to_string(open + 2 * scale + grown) + "," +
           std::to_string(open - scale) + "," + std::to_string(open + scale - k * 7 + grown) + "\n";
}

void append(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary | std::ios::app) << text;
}

// A look at the files: what is written, the rows a replay of the finished files reads
// (by file, the whole rows), and a report the look must give.
struct Look {
    std::function<void(const TempFolder&)> write;
    std::map<std::string, std::vector<std::string>> finished;
    std::string report;
};

// Follows the files of `rows` (es, tick and add) through `looks`; before every look the panel,
// the series and the alerts (the forming bar's early ones among them) are those of a replay of
// the files as they then stand, finished.
void expect_follow_matches_finished_files(std::map<std::string, std::vector<std::string>> rows,
                                          const std::vector<Look>& looks) {
    TempFolder live;
    TempFolder finished;
    const auto write_all = [](const std::filesystem::path& folder, const std::string& file,
                              const std::vector<std::string>& lines) {
        std::string text = headers.at(file);
        for (const std::string& line : lines) text += line;
        write_text(folder / file, text);
    };
    for (const char* file : files) write_all(live.path, file, rows[file]);
    emu::ReplayArguments arguments;
    arguments.chart = (live / "es.csv").string();
    arguments.sources = {"tick=" + (live / "tick.csv").string(), "add=" + (live / "add.csv").string()};
    arguments.follow = true;
    arguments.alerts = {"TICK >= 100", "TICK crosses below 0", "ADD crosses 0", "VWAP crosses above 6002"};
    std::string panel;
    std::string series;
    std::string alerts;
    bool fired = false;
    std::vector<std::string> reports;
    std::size_t next = 0;
    emu::ReplayHooks hooks;
    hooks.after_call = [&](const emu::Host& host, const emu::ReplayStep& step) {
        panel = emu::panel_plain_text(emu::panel_rows(host));
        series = emu::series_csv(emu::chart_page_data(host));
        // The forming bar's early alerts are those its bar fires once closed.
        std::vector<emu::FiredAlert> shown = *step.alerts;
        for (emu::FiredAlert& alert : shown) alert.forming = false;
        alerts = emu::alerts_csv(shown);
        fired = fired || !shown.empty();
    };
    hooks.on_report = [&](const std::string& report) { reports.push_back(report); };
    hooks.next_look = [&] {
        // What the study shows now is what it shows for the files finished as they stand.
        for (const char* file : files) write_all(finished.path, file, rows[file]);
        emu::ReplayArguments replay = arguments;
        replay.chart = (finished / "es.csv").string();
        replay.sources = {"tick=" + (finished / "tick.csv").string(), "add=" + (finished / "add.csv").string()};
        replay.follow = false;
        const emu::ReplayOutcome outcome = emu::run_replay(study_entry, emu::plan_replay(replay), {});
        const std::string where = "before look " + std::to_string(next);
        EXPECT_EQ(panel, outcome.panel_txt) << where;
        EXPECT_EQ(series, emu::series_csv(outcome.page)) << where;
        EXPECT_EQ(alerts, emu::alerts_csv(outcome.page.alerts)) << where;
        if (next > 0 && !looks[next - 1].report.empty()) {
            std::string told;
            for (const std::string& report : reports) told += report + "\n";
            EXPECT_NE(told.find(looks[next - 1].report), std::string::npos) << where << ":\n" << told;
        }
        reports.clear();
        if (next == looks.size()) return false;
        const Look& look = looks[next++];
        look.write(live);
        for (const auto& [file, added] : look.finished) {
            for (const std::string& line : added) {
                // A row at the time of the last one rewrites it.
                if (!rows[file].empty() && rows[file].back().substr(0, 19) == line.substr(0, 19)) rows[file].pop_back();
                rows[file].push_back(line);
            }
        }
        return true;
    };
    emu::run_replay(study_entry, emu::plan_replay(arguments), hooks);
    EXPECT_EQ(next, looks.size());
    EXPECT_TRUE(fired);
}

TEST(KmiHostFollow, AfterEveryLookThePanelAndSeriesAreThoseOfTheFinishedFiles) {
    std::map<std::string, std::vector<std::string>> rows;
    for (const char* file : files) {
        for (int minute = 30; minute < 33; ++minute) rows[file].push_back(row(file, minute));
    }
    const std::string half = row("es.csv", 35);
    const std::vector<Look> looks = {
        {[](const TempFolder& f) {
             for (const char* file : files) append(f / file, row(file, 33));
         },
         {{"es.csv", {row("es.csv", 33)}}, {"tick.csv", {row("tick.csv", 33)}}, {"add.csv", {row("add.csv", 33)}}},
         ""},
        // A forming bar, written again as it grows.
        {[](const TempFolder& f) {
             append(f / "es.csv", row("es.csv", 34));
             append(f / "tick.csv", row("tick.csv", 34));
         },
         {{"es.csv", {row("es.csv", 34)}}, {"tick.csv", {row("tick.csv", 34)}}},
         ""},
        {[](const TempFolder& f) { append(f / "es.csv", row("es.csv", 34, 1)); },
         {{"es.csv", {row("es.csv", 34, 1)}}},
         ""},
        {[](const TempFolder& f) {
             append(f / "es.csv", row("es.csv", 34, 2));
             append(f / "tick.csv", row("tick.csv", 34, 1));
         },
         {{"es.csv", {row("es.csv", 34, 2)}}, {"tick.csv", {row("tick.csv", 34, 1)}}},
         ""},
        // A line without its end waits for it.
        {[&half](const TempFolder& f) { append(f / "es.csv", half.substr(0, 30)); }, {}, ""},
        {[&half](const TempFolder& f) {
             append(f / "es.csv", half.substr(30));
             append(f / "tick.csv", row("tick.csv", 35));
         },
         {{"es.csv", {half}}, {"tick.csv", {row("tick.csv", 35)}}},
         ""},
        {[](const TempFolder& f) {
             append(f / "add.csv", "2026-12-07 09:32:30,1,2,0,1\n" + row("add.csv", 35));
             append(f / "es.csv", row("es.csv", 36));
             append(f / "tick.csv", row("tick.csv", 36));
         },
         {{"add.csv", {row("add.csv", 35)}}, {"es.csv", {row("es.csv", 36)}}, {"tick.csv", {row("tick.csv", 36)}}},
         "add.csv:6: bar time 2026-12-07 09:32:30 is before the last bar read (2026-12-07 09:33:00): not read"},
        // Truncated, and written again from the bar before.
        {[](const TempFolder& f) {
             write_text(f / "tick.csv", headers.at("tick.csv") + row("tick.csv", 36) + row("tick.csv", 37));
             append(f / "es.csv", row("es.csv", 37));
         },
         {{"tick.csv", {row("tick.csv", 37)}}, {"es.csv", {row("es.csv", 37)}}},
         "tick.csv: truncated: read again from its start (2 bars, and 6 bars read before kept)"},
        // Rotated: a new file in its place.
        {[](const TempFolder& f) {
             write_text(f / "add.new", headers.at("add.csv") + row("add.csv", 37));
             std::filesystem::rename(f / "add.new", f / "add.csv");
         },
         {{"add.csv", {row("add.csv", 37)}}},
         "add.csv: replaced by a new file: read again from its start (1 bar, and 5 bars read before kept)"},
    };

    expect_follow_matches_finished_files(rows, looks);
}

// The rows of `files` at minutes [from, to), written at once.
struct Batch {
    std::vector<const char*> files;
    int from = 0;
    int to = 0;
};

std::vector<Look> looks_of(const std::vector<std::vector<Batch>>& batches) {
    std::vector<Look> looks;
    for (const std::vector<Batch>& look_batches : batches) {
        Look look{[look_batches](const TempFolder& f) {
                      for (const Batch& batch : look_batches) {
                          for (const char* file : batch.files) {
                              std::string text;
                              for (int minute = batch.from; minute < batch.to; ++minute) text += row(file, minute);
                              append(f / file, text);
                          }
                      }
                  },
                  {},
                  ""};
        for (const Batch& batch : look_batches) {
            for (const char* file : batch.files) {
                for (int minute = batch.from; minute < batch.to; ++minute)
                    look.finished[file].push_back(row(file, minute));
            }
        }
        looks.push_back(look);
    }
    return looks;
}

std::map<std::string, std::vector<std::string>> rows_at(const std::map<std::string, std::vector<int>>& minutes) {
    std::map<std::string, std::vector<std::string>> rows;
    for (const auto& [file, list] : minutes) {
        for (const int minute : list) rows[file].push_back(row(file, minute));
    }
    return rows;
}

// Rows arrive in batches of any grouping: files together, the chart's file ahead of its sources'
// and behind them, a source's rows late for chart bars already played. A file's bar length is
// decided again as its rows arrive: a chart begun with one bar (five minutes, its sources say),
// and one begun with three bars five minutes apart whose later rows are a minute apart.
TEST(KmiHostFollow, BatchesOfRowsPlayAsAReplayOfTheFilesAsTheyStand) {
    const std::vector<const char*> all{"es.csv", "tick.csv", "add.csv"};
    const std::vector<const char*> sources{"tick.csv", "add.csv"};
    expect_follow_matches_finished_files(
        rows_at({{"es.csv", {30, 31, 32}}, {"tick.csv", {30, 31, 32}}, {"add.csv", {30, 31, 32}}}),
        looks_of({{{all, 33, 36}},
                  {{{"es.csv"}, 36, 39}},
                  {{sources, 36, 39}},
                  {{{"tick.csv"}, 39, 41}},
                  {{{"es.csv", "add.csv"}, 39, 42}},
                  {{{"tick.csv"}, 41, 43}, {{"es.csv"}, 42, 44}, {{"add.csv"}, 42, 43}}}));
    expect_follow_matches_finished_files(
        rows_at({{"es.csv", {30}}, {"tick.csv", {20, 25, 30}}, {"add.csv", {20, 25, 30}}}),
        looks_of({{{all, 35, 36}}, {{all, 40, 41}}, {{all, 45, 46}}}));
    expect_follow_matches_finished_files(
        rows_at({{"es.csv", {30, 35, 40}}, {"tick.csv", {30, 35, 40}}, {"add.csv", {30, 35, 40}}}),
        looks_of({{{all, 41, 44}}, {{all, 44, 50}}, {{all, 50, 56}}}));
}

// The rows of es.csv of minutes [from, to), with its header first when `header`, their lines
// ended with `end`.
std::string es_rows(int from, int to, const std::string& end = "\n", bool header = false) {
    std::string text = header ? headers.at("es.csv") : "";
    for (int minute = from; minute < to; ++minute) text += row("es.csv", minute);
    std::string ended;
    for (const char c : text) ended += c == '\n' ? end : std::string(1, c);
    return ended;
}

std::string es_file(int from, int to, const std::string& end = "\n") { return es_rows(from, to, end, true); }

// A change to a followed file, and what the looks after it tell (each told line holds its text).
struct FileChange {
    std::function<void(const std::filesystem::path&)> make;
    std::vector<std::string> told;
};

// A followed file through what a trading day does to it, each change seen by four looks: each
// state is told once however many looks find it, and no bar of the file as it ends is lost.
TEST(KmiHostFollow, AFileThatVanishesEmptiesOrIsReplacedLosesNoBarAndTellsEachStateOnce) {
    using std::chrono::milliseconds;
    const auto remove = [](const std::filesystem::path& file) { std::filesystem::remove(file); };
    const auto write = [](std::string text) {
        return [text](const std::filesystem::path& file) { write_text(file, text); };
    };
    const auto add = [](std::string text) { return [text](const std::filesystem::path& file) { append(file, text); }; };
    const std::string whole_day = es_file(30, 36);
    const struct {
        const char* what;
        std::string first;
        milliseconds passing;  // a file gone or empty for less long is not told
        std::vector<FileChange> changes;
    } cases[] = {
        {"gone, then back",
         es_file(30, 33),
         milliseconds(0),
         {{remove, {"es.csv: is gone; waiting for it to come back"}},
          {write(whole_day), {"es.csv: is back: read again from its start (6 bars)"}}}},
        {"emptied, then written again",
         es_file(30, 33),
         milliseconds(0),
         {{write(""), {"es.csv: truncated, empty for now: waiting for its rows (the 3 bars read before are kept)"}},
          {add(whole_day), {"es.csv: truncated: read again from its start (6 bars)"}}}},
        {"rotated by mv, its new file begun empty",
         es_file(30, 33),
         milliseconds(3600000),
         {{[](const std::filesystem::path& file) { std::filesystem::rename(file, file.string() + ".old"); }, {}},
          {write(""), {}},
          {add(es_file(33, 38)),
           {"es.csv: replaced by a new file: read again from its start (5 bars, and 3 bars read before kept)"}}}},
        {"deleted, created empty and filled between two looks",
         es_file(30, 33),
         milliseconds(0),
         {{[&](const std::filesystem::path& file) {
               remove(file);
               write_text(file, "");
               append(file, es_file(30, 36, "\r\n"));
           },
           {": read again from its start (6 bars)"}}}},
        {"truncated to fewer rows, then grown",
         es_file(30, 33),
         milliseconds(0),
         {{write(es_file(30, 32)),
           {"es.csv: truncated: read again from its start (2 bars, and 1 bar read before kept)"}},
          {add(row("es.csv", 32) + row("es.csv", 33) + row("es.csv", 34) + row("es.csv", 35)), {}}}},
        {"refused, refused alike, then read",
         es_file(30, 33),
         milliseconds(0),
         {{write("nonsense\n"), {"es.csv: truncated: read again from its start, but "}},
          {add("nonsense\n"), {}},
          {write(whole_day), {"es.csv: truncated: read again from its start (6 bars)"}}}},
        {"lines ended with a lone CR",
         es_file(30, 33, "\r"),
         milliseconds(0),
         {{add(es_rows(33, 34, "\r")), {}}, {add(es_rows(34, 36, "\r")), {}}}},
        {"a CRLF caught between its CR and its LF",
         es_file(30, 33, "\r\n"),
         milliseconds(0),
         {{add(es_rows(33, 34, "\r")), {}}, {add("\n" + es_rows(34, 36, "\r\n")), {}}}},
    };
    for (const auto& test : cases) {
        TempFolder folder;
        write_text(folder / "es.csv", test.first);
        emu::FollowedFile file{.path = folder / "es.csv", .name = "es.csv", .options = {}};
        file.passing = test.passing;
        std::vector<emu::Bar> bars = emu::read_followed_file(file).bars;
        for (const FileChange& change : test.changes) {
            change.make(file.path);
            std::vector<std::string> told;
            for (int look = 0; look < 4; ++look) {
                const emu::FileNews news = emu::read_file_news(file, bars);
                told.insert(told.end(), news.reports.begin(), news.reports.end());
            }
            EXPECT_EQ(told.size(), change.told.size()) << test.what << ": " << testing::PrintToString(told);
            for (std::size_t i = 0; i < std::min(told.size(), change.told.size()); ++i) {
                EXPECT_NE(told[i].find(change.told[i]), std::string::npos) << test.what << ": " << told[i];
            }
        }
        // The bars from the file's first on are those of a fresh reading of it.
        emu::FollowedFile fresh{.path = file.path, .name = "es.csv", .options = {}};
        const std::vector<emu::Bar> read = emu::read_followed_file(fresh).bars;
        const auto first =
            std::find_if(bars.begin(), bars.end(), [&](const emu::Bar& bar) { return bar.time >= read.front().time; });
        EXPECT_EQ(std::vector<emu::Bar>(first, bars.end()), read) << test.what;
    }
}

// A look is woken by a change to a followed file, written or replaced, never by a write to
// another file of its folder (the program's own screen and notes, written there).
TEST(KmiHostFollow, OnlyAChangeToAFollowedFileWakesALook) {
    TempFolder folder;
    write_text(folder / "es.csv", es_file(30, 31));
    const emu::FileWatchHandle watch = emu::watch_files({folder / "es.csv"});
    const std::pair<std::function<void()>, bool> changes[] = {
        {[&] { append(folder / "notes.txt", "a note\n"); }, false},
        {[&] { append(folder / "es.csv", row("es.csv", 31)); }, true},
        {[&] { write_text(folder / "es.new", es_file(30, 32)); }, false},
        {[&] { std::filesystem::rename(folder / "es.new", folder / "es.csv"); }, true},
        {[&] { std::filesystem::remove(folder / "es.csv"); }, true},
    };
    for (std::size_t i = 0; i < std::size(changes); ++i) {
        changes[i].first();
        EXPECT_EQ(emu::wait_for_change(*watch, std::chrono::milliseconds(100)), changes[i].second) << "change " << i;
    }
}

#ifndef _WIN32
// Waits (at most a minute, however loaded the machine) until `done` holds.
bool eventually(const std::function<bool()>& done) {
    for (int tries = 0; tries < 600; ++tries) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

TEST(KmiHostFollow, CtrlCEndsTheRunAndWritesItsFilesWhole) {
    TempFolder folder;
    write_text(folder / "es.csv", headers.at("es.csv") + row("es.csv", 30) + row("es.csv", 31));
    write_text(folder / "tick.csv", headers.at("tick.csv") + row("tick.csv", 30) + row("tick.csv", 31));
    const std::string arguments =
        "replay --chart es.csv --source tick=tick.csv --no-color --alert 'TICK crosses 0' --study '" +
        std::string(KMI_STUDY_LIBRARY_PATH) + "'";
    // The program runs on while the files grow: its process number and exit code are kept.
    const std::string start = "cd '" + folder.path.string() + "' && (sh -c 'echo $$ > pid; exec \"$0\" \"$@\"' '" +
                              std::string(KMI_HOST_PROGRAM_PATH) + "' " + arguments +
                              " --follow --out live > screen.txt 2> notes.txt; echo $? > rc) &";
    ASSERT_EQ(std::system(start.c_str()), 0);
    // However the test ends, the program does not outlive it.
    struct Ended {
        const TempFolder& folder;
        ~Ended() {
            const std::string pid = read_text(folder / "pid");
            if (pid.empty() || std::filesystem::exists(folder / "rc")) return;
            if (std::system(("kill -KILL " + pid + " 2>/dev/null").c_str()) != 0) return;
            eventually([this] { return std::filesystem::exists(folder / "rc"); });
        }
    } ended{folder};
    ASSERT_TRUE(eventually([&] { return read_text(folder / "notes.txt").find("following") != std::string::npos; }))
        << read_text(folder / "notes.txt");
    append(folder / "tick.csv", row("tick.csv", 32));
    append(folder / "es.csv", row("es.csv", 32));
    ASSERT_TRUE(eventually(
        [&] { return read_text(folder / "screen.txt").find(minute_time(32) + "  following") != std::string::npos; }));
    const std::string pid = read_text(folder / "pid");
    ASSERT_EQ(std::system(("kill -INT " + pid).c_str()), 0);
    ASSERT_TRUE(eventually([&] { return std::filesystem::exists(folder / "rc"); }));
    EXPECT_EQ(read_text(folder / "rc"), "0\n") << read_text(folder / "notes.txt");

    const ProgramRun finished = run_program(arguments + " --fast --out finished", folder.path);
    ASSERT_EQ(finished.exit_code, 0) << finished.err;
    for (const char* file : {"panel.txt", "series.csv", "days.csv", "log.txt", "alerts.csv"}) {
        EXPECT_EQ(read_text(folder / "live" / file), read_text(folder / "finished" / file)) << file;
    }
    EXPECT_NE(read_text(folder / "live" / "chart.html").find("</html>"), std::string::npos);
}
#endif

}  // namespace
}  // namespace kmi::test::host_program
