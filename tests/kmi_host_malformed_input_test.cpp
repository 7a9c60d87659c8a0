// kmi-host fed broken files, generated from valid ones: truncated at every few bytes, with
// single bits flipped, numbers replaced by huge, negative, fractional or non-numeric values,
// unknown keys, values of the wrong type, bars out of order, and plain garbage. Whatever the
// damage, the program never crashes: it either runs (the damage was harmless) or exits with
// 1 and one line on stderr naming the file at fault, and a failed run leaves no output file
// and no partial file behind.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "kmi_host_support.h"

namespace kmi::test::host_program {
namespace {

namespace fs = std::filesystem;

const std::string valid_csv =
    "datetime,open,high,low,close,volume,bid_volume,ask_volume\n"
    "2026-10-14 09:30:00,6650,6651.5,6649.25,6651,1200,500,700\n"
    "2026-10-14 09:31:00,6651,6652,6650.5,6651.75,900,400,500\n"
    "2026-10-14 09:32:00,6651.75,6653,6651,6652.5,800,300,500\n"
    "2026-10-14 09:33:00,6652.5,6652.75,6650,6650.25,950,600,350\n";

const std::string valid_scenario = R"({
  "study_id": 3,
  "region": {"top_px": 0, "bottom_px": 600},
  "chart": {"number": 1, "symbol": "ESZ26.CME", "bar_seconds": 60, "bars": "b.csv"},
  "charts": [{"number": 2, "symbol": "NQZ26.CME", "time_zone": "America/Chicago", "price_format": 3,
              "session_times": [0.1, 0.2, 0.3, 0.4, 1, 2, 3], "bar_period": [2, 0, 60],
              "bars": [["2026-10-14 09:30:00", 24000, 24010, 23990, 24005, 10, 4, 6]]}],
  "symbols": {"TICK-NYSE": {"bars": [["2026-10-14 09:30:00", 120, 640, -80, 410],
                                     [46309396000000000, 410, 1150, 300, 980]]}},
  "persistent_ints": {"10": 0},
  "steps": [
    {"call": "defaults"},
    {"set_inputs": {"47": 2, "12": 1500.5, "8": "09:45", "18": true, "32": "", "14": {"type": 2, "value": 50}}},
    {"call": "full", "now": "2026-10-14 09:33:40"},
    {"append": {"chart": 1, "bars": [["2026-10-14 09:34:00", 6651.75, 6652, 6651.5, 6651.5, 80, 50, 30]]}},
    {"update_last": {"chart": 1, "bar": ["2026-10-14 09:34:00", 6651.75, 6653, 6651.5, 6652.5, 90, 50, 40]}},
    {"call": "update", "update_start_index": 3, "now": "2026-10-14 09:34:20", "alternate_now": null,
     "use_alternate_clock": false},
    {"set_bars": {"chart": 2, "bars": [["2026-10-14 09:31:00", 24001, 24011, 23991, 24006]], "symbol": "NQZ26.CME",
                  "time_zone": "America/New_York"}},
    {"set_region": {"top_px": 10, "bottom_px": 40}},
    {"call": "full"},
    {"call": "last"}
  ]
})";

const std::string valid_inputs = R"({"11": 5, "12": 1500.0, "8": "10:00", "18": false, "30": "TICK-NYSE", "2": 12})";

// Texts that stand in for a number or a value: out of every range, of the wrong kind, or
// no value at all.
const std::vector<std::string> hostile_values = {"1e400",
                                                 "-1e400",
                                                 "1e308",
                                                 "-1e308",
                                                 "1e39",
                                                 "-1e39",
                                                 "18446744073709551616",
                                                 "-9223372036854775809",
                                                 "2147483648",
                                                 "-2147483649",
                                                 "4294967296",
                                                 "-1",
                                                 "0.5",
                                                 "-0.0",
                                                 "\"x\"",
                                                 "\"\"",
                                                 "\"nan\"",
                                                 "true",
                                                 "null",
                                                 "[]",
                                                 "{}",
                                                 "[[[[[[]]]]]]",
                                                 "\"9999-99-99 99:99:99\""};

// Deterministic damage.
class Damage {
  public:
    explicit Damage(std::uint32_t seed) : random_(seed) {}

    std::string flip_bit(const std::string& text) {
        std::string out = text;
        const std::size_t at = random_() % out.size();
        out[at] = static_cast<char>(out[at] ^ (1 << (random_() % 8)));
        return out;
    }
    std::string garbage(std::size_t size) {
        std::string out(size, '\0');
        for (char& c : out) c = static_cast<char>(random_() & 0xFF);
        return out;
    }

  private:
    std::mt19937 random_;
};

// Truncations every `step` bytes, the empty text included.
std::vector<std::string> truncations(const std::string& text, std::size_t step) {
    std::vector<std::string> out;
    for (std::size_t n = 0; n < text.size(); n += step) out.push_back(text.substr(0, n));
    return out;
}

// The text with its k-th match of `pattern` replaced, for every match, cycling through the
// hostile values.
std::vector<std::string> substitutions(const std::string& text, const std::regex& pattern, std::size_t offset = 0) {
    std::vector<std::string> out;
    std::size_t k = offset;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), pattern); it != std::sregex_iterator(); ++it, ++k) {
        const std::smatch& match = *it;
        const auto at = static_cast<std::size_t>(match.position(1));
        out.push_back(text.substr(0, at) + hostile_values[k % hostile_values.size()] +
                      text.substr(at + static_cast<std::size_t>(match.length(1))));
    }
    return out;
}

bool has_partial_files(const fs::path& folder) {
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.path().extension() == ".partial") return true;
    }
    return false;
}

// The outcome of one run on damaged input: a clean success, or exit 1 with one line on
// stderr that names one of `files` (or a file name the damaged input itself names), and in
// either case no partial file; a failed run leaves no output.
::testing::AssertionResult clean_outcome(const ProgramRun& run, const TempFolder& folder,
                                         const std::vector<fs::path>& outputs, const std::vector<std::string>& files,
                                         const std::string& damaged) {
    if (has_partial_files(folder.path)) return ::testing::AssertionFailure() << "a partial file is left";
    if (run.exit_code == 0) {
        for (const fs::path& output : outputs) {
            if (!fs::exists(folder.path / output)) return ::testing::AssertionFailure() << output << " missing";
        }
        return ::testing::AssertionSuccess();
    }
    if (run.exit_code != 1) {
        return ::testing::AssertionFailure() << "exit code " << run.exit_code << " (a crash?), stderr: " << run.err;
    }
    for (const fs::path& output : outputs) {
        if (fs::exists(folder.path / output))
            return ::testing::AssertionFailure() << output << " written by a failed run";
    }
    const std::string prefix = "kmi-host: ";
    if (run.err.rfind(prefix, 0) != 0 || run.err.empty() || run.err.back() != '\n' ||
        std::count(run.err.begin(), run.err.end(), '\n') != 1) {
        return ::testing::AssertionFailure() << "not one kmi-host line: " << run.err;
    }
    // The file, alone or followed by the key at fault ("s.json: ...", "inputs.json.18: ...").
    const std::string named = run.err.substr(prefix.size(), run.err.find(':', prefix.size()) - prefix.size());
    for (const std::string& file : files) {
        if (named == file || named.rfind(file + ".", 0) == 0) return ::testing::AssertionSuccess();
    }
    if (!named.empty() && damaged.find(named) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the message names no file: " << run.err;
}

void remove_outputs(const TempFolder& folder, const std::vector<fs::path>& outputs) {
    for (const fs::path& output : outputs) fs::remove_all(folder.path / output);
}

// Runs `kmi-host run s.json --transcript t.jsonl` on each scenario text with `csv` as the
// chart's bar file.
void run_scenarios(const std::vector<std::string>& scenarios, const std::string& csv, const char* what) {
    TempFolder folder;
    write_text(folder / "b.csv", csv);
    int failures = 0;
    for (std::size_t i = 0; i < scenarios.size(); ++i) {
        write_text(folder / "s.json", scenarios[i]);
        const ProgramRun run = run_program("run s.json --transcript t.jsonl", folder.path);
        const ::testing::AssertionResult clean =
            clean_outcome(run, folder, {"t.jsonl"}, {"s.json", "b.csv"}, scenarios[i]);
        if (!clean) {
            ADD_FAILURE() << what << " #" << i << ": " << clean.message() << "\nscenario:\n" << scenarios[i];
            if (++failures == 5) return;
        }
        remove_outputs(folder, {"t.jsonl"});
    }
}

// Runs `kmi-host run` with the valid scenario and each bar file.
void run_bar_files(const std::vector<std::string>& csvs, const char* what) {
    TempFolder folder;
    write_text(folder / "s.json", valid_scenario);
    int failures = 0;
    for (std::size_t i = 0; i < csvs.size(); ++i) {
        write_text(folder / "b.csv", csvs[i]);
        const ProgramRun run = run_program("run s.json --transcript t.jsonl", folder.path);
        // A bar file that loads may still clash with a later step of the scenario.
        const ::testing::AssertionResult clean = clean_outcome(run, folder, {"t.jsonl"}, {"b.csv", "s.json"}, "");
        if (!clean) {
            ADD_FAILURE() << what << " #" << i << ": " << clean.message() << "\nbar file:\n" << csvs[i];
            if (++failures == 5) return;
        }
        remove_outputs(folder, {"t.jsonl"});
    }
}

TEST(KmiHostMalformedInput, TheUndamagedFilesRun) {
    TempFolder folder;
    write_text(folder / "b.csv", valid_csv);
    write_text(folder / "s.json", valid_scenario);
    const ProgramRun run = run_program("run s.json --transcript t.jsonl", folder.path);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_TRUE(fs::exists(folder / "t.jsonl"));
    fs::create_directories(folder / "data");
    write_text(folder / "data" / "ESZ26.CME.csv", valid_csv);
    write_text(folder / "data" / "TICK-NYSE.csv", valid_csv);
    write_text(folder / "inputs.json", valid_inputs);
    const ProgramRun replay =
        run_program("replay --data data --chart ESZ26.CME --inputs inputs.json --fast --out out", folder.path);
    EXPECT_EQ(replay.exit_code, 0) << replay.err;
    EXPECT_TRUE(fs::exists(folder / "out" / "series.csv"));
}

TEST(KmiHostMalformedInput, TruncatedScenarios) { run_scenarios(truncations(valid_scenario, 11), valid_csv, "cut"); }

TEST(KmiHostMalformedInput, ScenariosWithAFlippedBit) {
    Damage damage(7);
    std::vector<std::string> scenarios;
    for (int i = 0; i < 80; ++i) scenarios.push_back(damage.flip_bit(valid_scenario));
    run_scenarios(scenarios, valid_csv, "flip");
}

TEST(KmiHostMalformedInput, ScenariosWithHostileValues) {
    // Every number, and every string value, in turn replaced.
    std::vector<std::string> scenarios = substitutions(valid_scenario, std::regex(R"([\[,:]\s*(-?[0-9][0-9.e]*))"));
    for (const std::string& s : substitutions(valid_scenario, std::regex(R"(:\s*("[^"]*"))"), 5))
        scenarios.push_back(s);
    ASSERT_GT(scenarios.size(), 60u);
    run_scenarios(scenarios, valid_csv, "value");
}

TEST(KmiHostMalformedInput, ScenariosWithUnknownKeysAndWrongShapes) {
    std::vector<std::string> scenarios;
    // An unknown key at the start of every object.
    for (std::size_t at = valid_scenario.find('{'); at != std::string::npos; at = valid_scenario.find('{', at + 1)) {
        scenarios.push_back(valid_scenario.substr(0, at + 1) + "\"surplus\": 1, " + valid_scenario.substr(at + 1));
    }
    // Whole documents of the wrong shape, and garbage.
    for (const char* text :
         {"", "\xEF\xBB\xBF", "null", "[]", "42", "\"scenario\"", "{}", "{\"steps\": []}",
          "{\"chart\": {\"number\": 1}}", "{\"chart\": [], \"steps\": []}",
          "{\"chart\": {\"number\": 1}, \"steps\": {}}", "{\"chart\": {\"number\": 1}, \"steps\": [1]}",
          "{\"chart\": {\"number\": 1}, \"steps\": [{}]}"}) {
        scenarios.emplace_back(text);
    }
    scenarios.emplace_back("\x00\x01\x02", 3);
    scenarios.push_back(std::string(20000, '[') + std::string(20000, ']'));
    scenarios.push_back("{\"chart\": {\"number\": 1, \"bars\": \"" + std::string(5000, 'x') + "\"}, \"steps\": []}");
    Damage damage(11);
    for (std::size_t size : {1u, 16u, 700u, 5000u}) scenarios.push_back(damage.garbage(size));
    run_scenarios(scenarios, valid_csv, "shape");
}

TEST(KmiHostMalformedInput, DamagedBarFiles) {
    std::vector<std::string> csvs = truncations(valid_csv, 7);
    Damage damage(13);
    for (int i = 0; i < 60; ++i) csvs.push_back(damage.flip_bit(valid_csv));
    for (const std::string& csv : substitutions(valid_csv, std::regex(R"([,\n](-?[0-9][0-9.]*)(?=[,\n]))"))) {
        csvs.push_back(csv);
    }
    csvs.push_back("datetime,open,high,low,close\n2026-10-14 09:30:00,1e400,2,0,1\n");
    csvs.push_back("datetime,open,high,low,close\n2026-10-14 09:30:00,1,-1e400,0,1\n");
    // Bars out of order, twice at one time, and rows of the wrong width.
    csvs.push_back("datetime,open,high,low,close\n2026-10-14 09:31:00,1,2,0,1\n2026-10-14 09:30:00,1,2,0,1\n");
    csvs.push_back("datetime,open,high,low,close\n2026-10-14 09:30:00,1,2,0,1\n2026-10-14 09:30:00,1,2,0,1\n");
    csvs.push_back("datetime,open,high,low,close\n2026-10-14 09:30:00,1,2,0,1,7,8,9,10\n");
    csvs.push_back("datetime,open,high,low,close\n2026-10-14 09:30:00\n");
    csvs.push_back("open,high,low,close\n1,2,0,1\n");
    csvs.push_back("datetime,open,high,low,close\n2026-02-30 09:30:00,1,2,0,1\n");
    csvs.push_back("datetime,open,high,low,close\n2026-10-14 24:00:00,1,2,0,1\n");
    csvs.push_back("datetime,open,high,low,close\n\"2026-10-14 09:30:00,1,2,0,1\n");
    csvs.push_back("datetime,open,high,low,close\n99999-10-14 09:30:00,1,2,0,1\n");
    csvs.push_back("datetime,open,high,low,close\n" + std::string(100000, '9') + ",1,2,0,1\n");
    for (std::size_t size : {1u, 64u, 2000u}) csvs.push_back(damage.garbage(size));
    run_bar_files(csvs, "bars");
}

TEST(KmiHostMalformedInput, ReplayOfDamagedDataAndInputFiles) {
    TempFolder folder;
    fs::create_directories(folder / "data");
    std::vector<std::pair<std::string, std::string>> cases;  // (chart csv, inputs json)
    Damage damage(17);
    for (const std::string& csv : truncations(valid_csv, 23)) cases.emplace_back(csv, valid_inputs);
    for (int i = 0; i < 15; ++i) cases.emplace_back(damage.flip_bit(valid_csv), valid_inputs);
    for (const std::string& inputs : truncations(valid_inputs, 9)) cases.emplace_back(valid_csv, inputs);
    for (const std::string& inputs : substitutions(valid_inputs, std::regex(R"(:\s*("[^"]*"|[-0-9.a-z]+))"))) {
        cases.emplace_back(valid_csv, inputs);
    }
    cases.emplace_back(valid_csv, R"({"99": 1})");
    cases.emplace_back(valid_csv, R"({"-1": 1})");
    cases.emplace_back(valid_csv, R"({"x": 1})");
    cases.emplace_back(valid_csv, R"({"30": {"type": 300, "value": 1}})");
    cases.emplace_back(valid_csv, R"({"30": {"type": 26}})");
    cases.emplace_back(valid_csv, "[1, 2]");
    int failures = 0;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        write_text(folder / "data" / "ESZ26.CME.csv", cases[i].first);
        write_text(folder / "data" / "TICK-NYSE.csv", cases[i].first);
        write_text(folder / "inputs.json", cases[i].second);
        const ProgramRun run = run_program(
            "replay --data data --chart ESZ26.CME --inputs inputs.json --fast --no-color --out out", folder.path);
        const ::testing::AssertionResult clean =
            clean_outcome(run, folder, {"out"}, {"inputs.json", "data/ESZ26.CME.csv", "data/TICK-NYSE.csv"}, "");
        if (!clean) {
            ADD_FAILURE() << "replay #" << i << ": " << clean.message() << "\ncsv:\n"
                          << cases[i].first << "\ninputs:\n"
                          << cases[i].second;
            if (++failures == 5) return;
        }
        remove_outputs(folder, {"out"});
    }
}

TEST(KmiHostMalformedInput, OptionsOutOfRangeOrOfTheWrongKind) {
    TempFolder folder;
    fs::create_directories(folder / "data");
    write_text(folder / "data" / "ESZ26.CME.csv", valid_csv);
    struct Case {
        const char* arguments;
        bool must_fail;
    };
    // Some odd values are taken as a choice of the program (an empty seed, a start date
    // left empty); for them only the absence of a crash and of partial files is checked.
    const Case cases[] = {
        {"synth --out d --days 99999999999999999999", true},
        {"synth --out d --days -3", true},
        {"synth --out d --bar-seconds 0", true},
        {"synth --out d --bar-seconds 1e400", true},
        {"synth --out d --seed -1e400", true},
        {"synth --out d --days 2 --days 3x", true},
        {"synth --out d --days 1 --seed ''", false},
        {"replay --data data --chart ESZ26.CME --speed 1e400 --out d", true},
        {"replay --data data --chart ESZ26.CME --speed -5 --out d", true},
        {"replay --data data --chart ESZ26.CME --speed nan --out d", false},
        {"replay --data data --chart ESZ26.CME --from 9999-99-99 --fast --out d", true},
        {"replay --data data --chart ESZ26.CME --from '' --fast --out d", false},
        {"replay --data data --chart '' --fast --out d", true},
        {"replay --data data --chart ../ESZ26.CME --fast --out d", true},
        {"replay --data data --chart \"$(printf '\\377\\376')\" --fast --out d", true},
        {"replay --data data --chart ESZ26.CME --fast --frobnicate", true},
        {"run", true},
        {"run missing.json", true},
        {"run data", true},
        {"run s.json --transcript", true},
    };
    for (const Case& c : cases) {
        const ProgramRun run = run_program(c.arguments, folder.path);
        EXPECT_LT(run.exit_code, 128) << c.arguments << ": a signal? " << run.err;
        EXPECT_GE(run.exit_code, 0) << c.arguments;
        EXPECT_FALSE(has_partial_files(folder.path)) << c.arguments;
        if (c.must_fail) {
            EXPECT_GT(run.exit_code, 0) << c.arguments;
        }
        if (run.exit_code != 0) {
            EXPECT_FALSE(run.err.empty()) << c.arguments;
            EXPECT_FALSE(fs::exists(folder / "d")) << c.arguments;
        }
        fs::remove_all(folder / "d");
    }
}

// A JSON number beyond the double range is an out-of-range error to the JSON reader, not a
// syntax error; the message still names the file.
TEST(KmiHostMalformedInput, AJsonNumberBeyondTheDoubleRangeNamesTheFile) {
    const std::string huge = "{\"chart\": {\"number\": 1e400}, \"steps\": []}";
    run_scenarios({huge}, valid_csv, "huge");
    TempFolder folder;
    fs::create_directories(folder / "data");
    write_text(folder / "data" / "ESZ26.CME.csv", valid_csv);
    write_text(folder / "inputs.json", "{\"11\": 1e400}");
    const ProgramRun run =
        run_program("replay --data data --chart ESZ26.CME --inputs inputs.json --fast --out out", folder.path);
    EXPECT_TRUE(clean_outcome(run, folder, {"out"}, {"inputs.json"}, ""));
}

}  // namespace
}  // namespace kmi::test::host_program
