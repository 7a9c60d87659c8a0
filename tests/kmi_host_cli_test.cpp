// The kmi-host program as a user runs it: exit codes, messages that name the file and the
// line or key at fault, output files written whole or not at all, and the transcript on
// stdout byte for byte the same as the one the library writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <new>

#include "kmi_host/output_files/atomic_files.h"
#include "kmi_host/sample_data/synth.h"
#include "kmi_host/text/input_error.h"
#include "kmi_host_support.h"

namespace kmi::test::host_program {
namespace {

const std::filesystem::path golden_folder = std::filesystem::path(KMI_TEST_SOURCE_DIR) / "golden" / "host";

bool has_partial_files(const std::filesystem::path& folder) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (entry.path().extension() == ".partial") return true;
    }
    return false;
}

const std::string small_chart =
    "datetime,open,high,low,close,volume,bid_volume,ask_volume\n"
    "2026-12-02 09:30:00,10,12,9,11,100,40,60\n"
    "2026-12-02 09:31:00,11,13,10,12,100,40,60\n";

TEST(KmiHostCli, RunWritesTheSameTranscriptToStdoutAndToAFile) {
    TempFolder folder;
    const std::string scenario = (golden_folder / "study_defaults.scenario.json").string();
    const std::string expected = read_text(golden_folder / "study_defaults.transcript.jsonl");
    const ProgramRun to_stdout = run_program("run '" + scenario + "'", folder.path);
    EXPECT_EQ(to_stdout.exit_code, 0) << to_stdout.err;
    EXPECT_EQ(to_stdout.out, expected);
    const ProgramRun to_file = run_program("run '" + scenario + "' --transcript t.jsonl", folder.path);
    EXPECT_EQ(to_file.exit_code, 0) << to_file.err;
    EXPECT_EQ(to_file.out, "");
    EXPECT_EQ(read_text(folder / "t.jsonl"), expected);
}

// The version, the short guide and the help, asked for every way a trader asks: no arguments,
// Windows' "/?", "-?", "-h", "-v", and commands in any letter case.
TEST(KmiHostCli, TheVersionTheGuideAndTheHelpAnswerEveryWayTheyAreAsked) {
    TempFolder folder;
    const std::string version = std::string("kmi-host ") + KMI_PROJECT_VERSION;
    const struct {
        const char* arguments;
        std::string starts;
    } cases[] = {
        {"--version", version + "\n"},
        {"-v", version + "\n"},
        {"", version + ": runs the Keelwick Market Internals study as a charting host does.\n\n  kmi-host demo "},
        {"'/?'", "kmi-host: runs the Keelwick Market Internals study as a charting host does\nUsage: "},
        {"'-?'", "kmi-host: runs the Keelwick Market Internals study as a charting host does\nUsage: "},
        {"-h", "kmi-host: runs the Keelwick Market Internals study as a charting host does\nUsage: "},
        {"REPLAY '/?'", "Replay market data through the study, the panel drawn live\nUsage: "},
        {"Synth --help", "Write deterministic sample data for the chart and its sources\nUsage: "},
    };
    for (const auto& c : cases) {
        const ProgramRun run = run_program(c.arguments, folder.path);
        EXPECT_EQ(run.exit_code, 0) << c.arguments << ": " << run.err;
        EXPECT_EQ(run.out.substr(0, c.starts.size()), c.starts) << c.arguments;
    }
    // Each value is named for what it is, never by the type the program keeps it in; a flag
    // takes none.
    for (const char* command : {"run", "replay", "inspect", "synth", "demo"}) {
        const std::string help = run_program(std::string(command) + " --help", folder.path).out;
        for (const char* tag : {"TEXT", "UINT", "INT", "FLOAT", "NOT EMPTY", "REQUIRED", "Excludes", "Needs"}) {
            EXPECT_EQ(help.find(tag), std::string::npos) << command << " --help shows " << tag << ":\n" << help;
        }
        EXPECT_EQ(help.find("--help VALUE"), std::string::npos) << help;
    }
}

TEST(KmiHostCli, RunRejectsABadScenarioAndLeavesTheTranscriptFileAsItWas) {
    TempFolder folder;
    write_text(folder / "t.jsonl", "earlier transcript\n");
    const std::pair<std::string, std::string> cases[] = {
        {R"({"chart": {"number": 1}, "steps": [{"call": "again"}]})",
         "kmi-host: s.json: steps[0].call: expected \"defaults\", \"full\", \"update\" or \"last\", not \"again\"\n"},
        {"{\"chart\": {\"number\": 1},\n \"steps\": [\n}", "kmi-host: s.json:3: not valid JSON: "},
        {R"({"chart": {"number": 1}, "steps": [{"call": "defaults"}, {"append": {"chart": 2, "bars": []}}]})",
         "kmi-host: s.json: steps[1].append.chart: chart 2 is not open\n"},
        {R"({"chart": {"number": 1, "bars": "b.csv"}, "steps": []})", "kmi-host: b.csv: cannot be read\n"},
    };
    for (const auto& [scenario, message] : cases) {
        write_text(folder / "s.json", scenario);
        const ProgramRun run = run_program("run s.json --transcript t.jsonl", folder.path);
        EXPECT_EQ(run.exit_code, 1) << scenario;
        EXPECT_EQ(run.err.rfind(message, 0), 0u) << "got: " << run.err << "expected: " << message;
        EXPECT_EQ(read_text(folder / "t.jsonl"), "earlier transcript\n");
        const ProgramRun to_stdout = run_program("run s.json", folder.path);
        EXPECT_EQ(to_stdout.exit_code, 1);
        EXPECT_EQ(to_stdout.out, "") << "nothing half-written on stdout either";
    }
    EXPECT_FALSE(has_partial_files(folder.path));
}

TEST(KmiHostCli, RunNamesAStudyLibraryThatCannotBeLoaded) {
    TempFolder folder;
    write_text(folder / "s.json", R"({"chart": {"number": 1}, "steps": []})");
    const ProgramRun run = run_program("run s.json --study ./missing.so", folder.path);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err.rfind("kmi-host: cannot load the study library ./missing.so", 0), 0u) << run.err;
}

TEST(KmiHostCli, ReplayWritesItsThreeFilesAndPrintsTheFinalPanel) {
    TempFolder folder;
    std::filesystem::create_directories(folder / "data");
    write_text(folder / "data" / "ESZ26.CME.csv", small_chart);
    const ProgramRun run = run_program("replay --data data --chart ESZ26.CME --fast --no-color --out out", folder.path);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.out.find("Replayed 2 bars of ESZ26.CME (0 as history, 2 live) in 8 calls. The panel at the end:"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("Written: out/series.csv, out/log.txt, out/panel.txt"), std::string::npos);
    EXPECT_EQ(run.out.find('\x1b'), std::string::npos) << "no colour codes";
    // Every full recalculation writes the diagnostics report: the console shows it once.
    const std::string report = "Keelwick Market Internals BUILD";
    auto count = [](const std::string& text, const std::string& part) {
        std::size_t found = 0;
        for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++found;
        return found;
    };
    EXPECT_EQ(count(run.out, report), 1u) << run.out;
    EXPECT_EQ(count(run.out, "(more reports like this one, one per full recalculation, are in out/log.txt)\n"), 1u);
    EXPECT_EQ(count(read_text(folder / "out" / "log.txt"), report), 5u);
    const std::string series = read_text(folder / "out" / "series.csv");
    EXPECT_EQ(std::count(series.begin(), series.end(), '\n'), 3);
    EXPECT_TRUE(std::filesystem::exists(folder / "out" / "log.txt"));
    EXPECT_TRUE(std::filesystem::exists(folder / "out" / "panel.txt"));
    EXPECT_FALSE(has_partial_files(folder.path));

    const ProgramRun files = run_program(
        "replay --chart data/ESZ26.CME.csv --source ES=data/ESZ26.CME.csv --time-zone America/Chicago --fast "
        "--no-color --out out2",
        folder.path);
    EXPECT_EQ(files.exit_code, 0) << files.err;
    EXPECT_NE(files.out.find(", out2/chart.html, out2/days.csv\n"), std::string::npos) << files.out;
    EXPECT_NE(files.err.find("kmi-host: the nq slot is given no file, so the panel's ES vs NQ line stays off: give it "
                             "one with --source nq=FILE\n"),
              std::string::npos)
        << files.err;

    const std::string days = read_text(folder / "out2" / "days.csv");
    EXPECT_EQ(days.substr(0, days.find('\n')), "date" + series.substr(4, series.find('\n') - 4));
    EXPECT_EQ(std::count(days.begin(), days.end(), '\n'), 2) << "one session day";

    write_text(folder / "ES.csv", "datetime_et,open,high,low,close,volume\n2026-12-02 09:30:00,10,12,9,11,100\n");
    const ProgramRun late = run_program("replay --chart ES.csv --from 2026-12-03 --fast --no-color", folder.path);
    EXPECT_EQ(late.exit_code, 0) << late.err;
    EXPECT_NE(late.out.find("Replayed 1 bar of ES.csv (1 as history, 0 live) in 1 call."), std::string::npos)
        << late.out;
    EXPECT_EQ(late.err,
              "kmi-host: ES.csv: 1 bar of 1 min (assumed: too few bars to tell), at 2026-12-02 09:30:00\n"
              "kmi-host: ES.csv: no bid or ask volume, so the chart's cumulative delta reads 0 (it needs bid_volume "
              "and ask_volume columns)\n"
              "kmi-host: --from 2026-12-03: no bar starts at or after it, so nothing arrived live (1 bar of history); "
              "an earlier --from replays bars live\n");
}

TEST(KmiHostCli, ReplayRejectsBadDataAndOptionsWithoutWritingAnything) {
    TempFolder folder;
    std::filesystem::create_directories(folder / "data");
    write_text(folder / "data" / "ESZ26.CME.csv", small_chart);
    write_text(folder / "bad_inputs.json", "{\"11\": 5,\n \"12\": }");
    write_text(folder / "huge_inputs.json", "{\"11\": -1e400}");
    const std::pair<std::string, std::string> cases[] = {
        {"replay --data data --chart NQZ26.CME --fast --out out",
         "kmi-host: --chart NQZ26.CME: no file data/NQZ26.CME.csv\n"},
        {"replay --data data --chart ESZ26.CME --from 2026-13-01 --fast --out out", "kmi-host: --from: not a date"},
        {"replay --data data --chart ESZ26.CME --inputs bad_inputs.json --fast --out out",
         "kmi-host: bad_inputs.json:2: not valid JSON"},
        {"replay --data data --chart ESZ26.CME --inputs huge_inputs.json --fast --out out",
         "kmi-host: huge_inputs.json:1: not valid JSON: [json.exception.out_of_range.406] number overflow"},
        {"replay --data data --chart ESZ26.CME --inputs missing.json --fast --out out",
         "kmi-host: missing.json: cannot be read\n"},
        {"replay --data data --chart ESZ26.CME --inputs data --fast --out out",
         "kmi-host: data: is not a regular file\n"},
        {"replay --data data --chart ESZ26.CME --data-time-zone ../zoneinfo/UTC --fast --out out",
         "kmi-host: --data-time-zone ../zoneinfo/UTC: unknown time zone"},
        {"replay --chart data/ESZ26.CME.csv --bar-stamps nq=end --fast --out out",
         "kmi-host: --bar-stamps nq=...: the nq slot is given no file (--source nq=FILE)\n"},
        {"replay --data nowhere --chart ESZ26.CME --fast --out out", "--data: Directory does not exist: nowhere"},
        {"replay --data data --chart ESZ26.CME --fast --speed 2 --out out", "--speed excludes --fast"},
        {"replay --data data --chart ESZ26.CME --speed 0 --out out",
         "--speed: a finite number above 0 is needed, not \"0\""},
        {"replay --data data --chart ESZ26.CME --speed nan --out out", "--speed: a finite number above 0 is needed"},
        {"replay --data data --chart ESZ26.CME --speed inf --out out", "--speed: a finite number above 0 is needed"},
        {"replay --data data --chart ESZ26.CME --from '' --fast --out out", "--from: an empty value is not allowed"},
        {"replay --data data --chart '' --fast --out out", "--chart: an empty value is not allowed"},
        {"replay --data data --fast --out out", "--chart is required"},
        {"replay --data data --chrat ESZ26.CME --fast --out out",
         "kmi-host: --chrat: did you mean --chart?\nRun kmi-host replay --help for more information.\n"},
        {"replay --chart ESZ26.CME --fast --out out",
         "kmi-host: --chart ESZ26.CME: no such file, and without --data there is no folder"},
        {"replay --chart data/ESZ26.CME.csv --source Tik=data/ESZ26.CME.csv --fast --out out",
         "kmi-host: --source Tik=data/ESZ26.CME.csv: unknown slot \"Tik\" (tick, add, vold, updown, vix, front, "
         "back, es or nq)\n"},
        {"replay --chart data/ESZ26.CME.csv --source nq=data/NQ.csv --fast --out out",
         "kmi-host: --source nq=data/NQ.csv: no file data/NQ.csv\n"},
        {"replay --chart data/ESZ26.CME.csv --source vix=data/ESZ26.CME.csv --source VIX=data/ESZ26.CME.csv --fast "
         "--out out",
         "kmi-host: --source VIX=data/ESZ26.CME.csv: the vix slot is given twice"},
        {"replay --data data --chart ESZ26.CME --time-zone America/NewYork --fast --out out",
         "kmi-host: --time-zone: unknown time zone \"America/NewYork\""},
        {"replay --data data --chart ESZ26.CME --data-time-zone Mars/Olympus --fast --out out",
         "kmi-host: --data-time-zone Mars/Olympus: unknown time zone"},
        {"replay --chart data/ --fast --out out",
         "kmi-host: --chart data/: is a folder: give a bar file in it, e.g. data/ESZ26.CME.csv\n"},
        {"replay --chart data/ESZ26.CME.csv --source tick=data --fast --out out",
         "kmi-host: --source tick=data: is a folder: give a bar file in it, e.g. data/ESZ26.CME.csv\n"},
        {"replay --chart 'C:\\data\" --fast' --out out",
         "no such file, and the name holds a double quote: in a Windows command prompt a \\ right before a "
         "closing quote keeps the quote"},
    };
    for (const auto& [arguments, message] : cases) {
        const ProgramRun run = run_program(arguments, folder.path);
        EXPECT_NE(run.exit_code, 0) << arguments;
        EXPECT_NE(run.err.find(message), std::string::npos) << arguments << "\ngot: " << run.err;
        EXPECT_FALSE(std::filesystem::exists(folder / "out")) << arguments;
    }
    write_text(folder / "data" / "TICK-NYSE.csv", "datetime,open,high,low,close\n2026-12-02 09:30:00,1,2\n");
    const ProgramRun run = run_program("replay --data data --chart ESZ26.CME --fast --out out", folder.path);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, "kmi-host: data/TICK-NYSE.csv:2: 3 fields where the header has 5\n");
    EXPECT_FALSE(std::filesystem::exists(folder / "out"));
}

// A trader's own files as their platforms write them, whatever their names: an ES file in
// Chicago time, and a headerless NQ export stamped at the bars' ends in New York time.
TEST(KmiHostCli, ReplayReadsEachFileWithTheOptionsOfItsSlot) {
    TempFolder folder;
    write_text(folder / "ES.txt",
               "Datetime,Open,High,Low,Close,Volume\n2026-12-02 08:30:00,10,12,9,11,100\n"
               "2026-12-02 08:31:00,11,13,10,12,100\n");
    write_text(folder / "NQ", "2026-12-02,09:31,20,22,19,21,50\n2026-12-02,09:32,21,23,20,22,50\n");
    const ProgramRun run = run_program(
        "replay --chart ES.txt --source es=ES.txt --source nq=NQ --data-time-zone ES=America/Chicago --bar-stamps "
        "nq=end --columns nq=date,time,open,high,low,close,volume --fast --no-color --out out",
        folder.path);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.out.find("Replayed 2 bars of ES.txt"), std::string::npos) << run.out;
    EXPECT_EQ(run.err.find("ES.txt: its times carry no zone"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("NQ: its times carry no zone: read as America/New_York time"), std::string::npos) << run.err;
    const std::string series = read_text(folder / "out" / "series.csv");
    EXPECT_NE(series.find("\n2026-12-02 09:30:00,"), std::string::npos) << "08:30 in Chicago is 09:30 in New York";
}

// A read that runs out of memory is an error, never a shorter file. A header and 8 million
// rows of four bytes: the bars sized for every row take more than the program may have (256
// MiB, where it starts in less than 32 MiB). (The sanitizers' allocators end a process that
// runs out of memory instead of failing the request, so this is for the plain builds.)
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// inspect prints how each file is read as a replay reads it, the options of its slot applied,
// and goes on past a file it refuses.
TEST(KmiHostCli, InspectSaysHowEachFileIsReadAsAReplayReadsIt) {
    TempFolder folder;
    write_text(folder / "ES.txt",
               "Datetime,Open,High,Low,Close,Volume\n2026-12-02 08:30:00,10,12,9,11,100\n"
               "2026-12-02 08:31:00,11,13,10,12,100\n");
    write_text(folder / "bad.csv", "Datetime,Open\n2026-12-02 08:30:00,x\n");
    const ProgramRun run =
        run_program("inspect bad.csv --chart ES.txt --data-time-zone chart=America/Chicago", folder.path);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.out.rfind("ES.txt: 2 bars\n  shape       a header row (line 1)\n", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("  zone        America/Chicago, as given (--data-time-zone)\n"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("2026-12-02 08:30:00 as written, 2026-12-02 09:30:00 America/New_York"), std::string::npos)
        << run.out;
    EXPECT_EQ(run.err,
              "kmi-host: bad.csv:1: no \"close\", \"last\" or \"price\" column: the header has \"datetime\", "
              "\"open\"\n");
    EXPECT_EQ(run_program("inspect ES.txt --data-time-zone nq=UTC", folder.path).err,
              "kmi-host: --data-time-zone nq=...: the nq slot is given no file (--source nq=FILE)\n");
    EXPECT_EQ(run_program("inspect", folder.path).err,
              "kmi-host: inspect: name a bar file (kmi-host inspect FILE), or --chart FILE\n");
}

TEST(KmiHostCli, AReadThatRunsOutOfMemoryIsAnErrorNotAShorterFile) {
    TempFolder folder;
    std::string rows = "unix,close\n";
    for (int i = 0; i < 8 << 20; ++i) rows += "1,1\n";
    write_text(folder / "ES.csv", rows);
    const ProgramRun run = run_program("replay --chart ES.csv --fast --no-color", folder.path, "ulimit -v 262144");
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, "kmi-host: ES.csv: there is not enough memory to read it: give a shorter file, of fewer bars\n");
}
#endif

// A refused --out is told by one line with the system's reason, and a run that fails says only
// why: the chart's file, without bid and ask volume, has a note that is not given.
TEST(KmiHostCli, ReplayOutputIsRefusedBeforeTheReplayAndChangesAllTogetherOrNotAtAll) {
    TempFolder folder;
    write_text(folder / "ES.csv", "datetime_et,open,high,low,close,volume\n2026-12-02 09:30:00,10,12,9,11,100\n");
    write_text(folder / "a_file", "not a folder\n");
    std::filesystem::create_directories(folder / "out" / "chart.html");
    write_text(folder / "out" / "series.csv", "earlier series\n");
    write_text(folder / "out" / "log.txt", "earlier log\n");
    const std::pair<std::string, std::string> cases[] = {
        {"a_file", "kmi-host: a_file: cannot make this folder: a file is in the way\n"},
        {"a_file/out", "kmi-host: a_file/out: cannot make this folder: Not a directory (a_file is a file)\n"},
        {"out", "kmi-host: out/chart.html: is not a file, so it cannot be replaced\n"},
        {"/proc/kmi_host_out", "kmi-host: /proc/kmi_host_out: cannot make this folder: "},
    };
    for (const auto& [out, message] : cases) {
        const ProgramRun run = run_program("replay --chart ES.csv --fast --no-color --out " + out, folder.path);
        EXPECT_EQ(run.exit_code, 1) << out;
        EXPECT_TRUE(run.err.starts_with(message) && run.err.find('\n') == run.err.size() - 1) << run.err;
        EXPECT_FALSE(run.err.ends_with(": \n")) << "the system's reason";
        EXPECT_EQ(run.out, "") << "refused before the first calculation: no log line, no summary";
    }
    // Files that fail only when they are written, at the end: larger than the process may write.
    const ProgramRun late =
        run_program("replay --chart ES.csv --fast --no-color --out late", folder.path, "ulimit -f 1 && trap '' XFSZ");
    EXPECT_EQ(late.exit_code, 1);
    EXPECT_TRUE(late.err.starts_with("kmi-host: late/") && late.err.find('\n') == late.err.size() - 1 &&
                late.err.ends_with(": cannot be written: File too large\n"))
        << late.err;
    EXPECT_TRUE(std::filesystem::is_empty(folder / "late"));
    EXPECT_EQ(read_text(folder / "out" / "series.csv"), "earlier series\n");
    EXPECT_EQ(read_text(folder / "out" / "log.txt"), "earlier log\n");

    // A place taken by a folder only after the replay began: nothing is replaced either.
    const std::filesystem::path out = folder / "out";
    EXPECT_THROW(emu::write_files_atomically({{out / "series.csv", "new"},
                                              {out / "log.txt", "new"},
                                              {out / "panel.txt", "new"},
                                              {out / "chart.html", "new"}}),
                 emu::InputError);
    EXPECT_EQ(read_text(out / "series.csv"), "earlier series\n");
    EXPECT_EQ(read_text(out / "log.txt"), "earlier log\n");
    EXPECT_FALSE(std::filesystem::exists(out / "panel.txt"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out), std::filesystem::directory_iterator()), 3)
        << "no .partial or .previous file is left";
}

// A writer that fails part-way (out of memory, as the chart page's writer on its thread did)
// leaves every target as it was and no temporary file: each file it opened is closed on the way
// out (Windows removes no open file), and every one is removed once every writer has ended.
TEST(KmiHostCli, AWriterThatThrowsLeavesEveryTargetAsItWasAndNoTemporaryFile) {
    struct Failure {
        const char* what;
        std::size_t file;   // the writer that throws std::bad_alloc (the first is on the caller's thread)
        std::size_t bytes;  // what it writes before: above 256 KiB, some of it is in its file
    };
    const Failure failures[] = {
        {"the first file, at once", 0, 0},
        {"the first file, part-way", 0, 300000},
        {"a later file on its own thread, at once", 2, 0},
        {"a later file on its own thread, part-way", 3, 300000},
    };
    TempFolder folder;
    const std::filesystem::path out = folder / "out";
    std::filesystem::create_directories(out);
    write_text(out / "series.csv", "earlier series\n");
    write_text(out / "log.txt", "earlier log\n");
    const auto listing = [&out] {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(out))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    const std::vector<std::string> before = listing();
#ifdef __linux__
    const auto open_files = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                             std::filesystem::directory_iterator());
    };
    const auto files_open_before = open_files();
#endif
    for (const Failure& failure : failures) {
        SCOPED_TRACE(failure.what);
        std::vector<std::pair<std::filesystem::path, emu::FileWriter>> files;
        for (const char* name : {"series.csv", "log.txt", "panel.txt", "chart.html"}) {
            const bool fails = files.size() == failure.file;
            const std::size_t bytes = failure.bytes;
            files.emplace_back(out / name, [fails, bytes](emu::OutputSink& sink) {
                emu::put(sink, std::string(bytes, 'x'));
                if (fails) throw std::bad_alloc();
                emu::put(sink, "new\n");
            });
        }
        EXPECT_THROW(emu::write_files_atomically(files), std::bad_alloc);
        EXPECT_EQ(listing(), before) << "no .partial or .previous file, no new target";
        EXPECT_EQ(read_text(out / "series.csv"), "earlier series\n");
        EXPECT_EQ(read_text(out / "log.txt"), "earlier log\n");
#ifdef __linux__
        EXPECT_EQ(open_files(), files_open_before) << "every file opened is closed";
#endif
    }
}

// An inputs file is read whatever an editor saved it as: UTF-8 with or without its byte-order
// mark, or UTF-16 with one (as Windows PowerShell 5.1 writes it), its lines where they were.
TEST(KmiHostCli, AnInputsFileIsReadInUtf8OrUtf16) {
    TempFolder folder;
    write_text(folder / "ES.csv", small_chart);
    const std::string json = "{\"TICK Upper Threshold\": 800,\n \"Show Panel\": true}";
    std::string utf16 = "\xff\xfe";
    for (const char c : json) utf16 += std::string{c, '\0'};
    write_text(folder / "plain.json", json);
    write_text(folder / "marked.json", "\xef\xbb\xbf" + json);
    write_text(folder / "utf16.json", utf16);
    write_text(folder / "bad16.json", utf16.substr(0, utf16.size() - 2));
    const ProgramRun plain = run_program("replay --chart ES.csv --fast --no-color --inputs plain.json", folder.path);
    ASSERT_EQ(plain.exit_code, 0) << plain.err;
    for (const char* file : {"marked.json", "utf16.json"}) {
        const ProgramRun run =
            run_program(std::string("replay --chart ES.csv --fast --no-color --inputs ") + file, folder.path);
        EXPECT_EQ(run.out, plain.out) << file << ": " << run.err;
    }
    const ProgramRun bad = run_program("replay --chart ES.csv --fast --inputs bad16.json", folder.path);
    EXPECT_NE(bad.err.find("kmi-host: bad16.json:2: not valid JSON"), std::string::npos) << bad.err;
}

// A mistyped command or option is named with the nearest valid one (an option begun with a
// valid one, too), an unknown command with the list of commands, a "=" the shell split off with
// the fix; CLI11's message and exit code stand when no option is near.
TEST(KmiHostCli, AMistypedCommandOrOptionIsNamedWithTheNearestOne) {
    TempFolder folder;
    const std::string help = "Run kmi-host --help for more information.\n";
    const std::string replay_help = "Run kmi-host replay --help for more information.\n";
    const struct {
        const char* arguments;
        std::string message;
        int exit_code;
    } cases[] = {
        {"replya --chart ES.csv", "kmi-host: replya: did you mean replay?\n" + help, 106},
        {"--verison", "kmi-host: --verison: did you mean --version?\n" + help, 106},
        {"replay --chart ES.csv --fast --no-colour",
         "kmi-host: --no-colour: did you mean --no-color?\nRun kmi-host replay --help for more information.\n", 109},
        {"synth --ot=d", "kmi-host: --ot: did you mean --out?\nRun kmi-host synth --help for more information.\n", 106},
        {"frobnicate", "kmi-host: frobnicate: no such command (run, replay, inspect, synth or demo)\n" + help, 106},
        {"replay --chart ES.csv --out-dir out", "kmi-host: --out-dir: did you mean --out?\n" + replay_help, 109},
        {"replay --chart ES.csv --source es = ES.csv",
         "kmi-host: \"=\" stands apart: write SLOT=VALUE as one word, without spaces around \"=\" (--source "
         "es=ES.csv)\n" +
             replay_help,
         109},
        {"replay --chart ES.csv --fast --zzz",
         "The following argument was not expected: --zzz\nRun with --help for more information.\n", 109},
    };
    for (const auto& c : cases) {
        const ProgramRun run = run_program(c.arguments, folder.path);
        EXPECT_EQ(run.exit_code, c.exit_code) << c.arguments;
        EXPECT_EQ(run.err, c.message) << c.arguments;
    }
}

TEST(KmiHostCli, SynthWritesTheSampleFilesAndRejectsBadOptions) {
    TempFolder folder;
    const ProgramRun run = run_program("synth --out data --days 2 --seed 5", folder.path);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out, "Wrote 9 files to data: 2 trading days, 2026-10-13 to 2026-10-14, 60-second bars, seed 5.\n");
    for (const emu::SynthFile& file : emu::synthesize(emu::SynthOptions{2, 60, 5})) {
        EXPECT_EQ(read_text(folder / "data" / (file.symbol + ".csv")), file.csv) << file.symbol;
    }
    for (const char* arguments :
         {"synth --out d2 --days 0", "synth --out d2 --bar-seconds 3601", "synth --out d2 --seed x",
          "synth --out d2 --seed -1", "synth --days 2", "synth --out d2 --weeks 2", "synth --out d2 --seed ''",
          "synth --out ''", "frobnicate"}) {
        const ProgramRun bad = run_program(arguments, folder.path);
        EXPECT_NE(bad.exit_code, 0) << arguments;
        EXPECT_FALSE(bad.err.empty()) << arguments;
        EXPECT_FALSE(std::filesystem::exists(folder / "d2")) << arguments;
    }
}

TEST(KmiHostCli, DemoReplaysTheLastSampleDayAndSaysWhereTheFilesAre) {
    TempFolder folder;
    const ProgramRun run = run_program("demo --out demo", folder.path);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.out.find("Wrote 9 files to demo/data"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Replaying ESZ26.CME from 2026-10-14"), std::string::npos);
    EXPECT_NE(run.out.find("Replayed 2700 bars of ESZ26.CME (2160 as history, 540 live) in 2161 calls."),
              std::string::npos);
    EXPECT_NE(run.out.find("Written: demo/series.csv, demo/log.txt, demo/panel.txt"), std::string::npos);
    for (const char* file : {"series.csv", "log.txt", "panel.txt", "data/ESZ26.CME.csv", "data/NQZ26.CME.csv"}) {
        EXPECT_TRUE(std::filesystem::exists(folder / "demo" / file)) << file;
    }
    const ProgramRun here = run_program("demo --out ''", folder.path);
    EXPECT_NE(here.exit_code, 0) << "an empty folder is no folder, not the current one";
    EXPECT_NE(here.err.find("--out: an empty value is not allowed"), std::string::npos) << here.err;
    EXPECT_FALSE(std::filesystem::exists(folder / "data"));
}

}  // namespace
}  // namespace kmi::test::host_program
