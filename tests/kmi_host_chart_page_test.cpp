// The chart page kmi-host writes beside a replay's files: its data are the chart, the series
// and the drawings as the host holds them at the end, each session day's closing panel and
// the source slots no chart fed; no text of the data or the library can end a script early;
// the library is found beside the program or in page/node_modules above it, and the build
// puts it beside the program; without it the page says why and the replay still succeeds.
#include <gtest/gtest.h>

#include <map>

#include "kmi_host/output_files/chart_page.h"
#include "kmi_host/output_files/series_files.h"
#include "kmi_host/replay/closing_panels.h"
#include "kmi_host/replay/replay.h"
#include "kmi_host/sample_data/synth.h"
#include "kmi_host/terminal/terminal_panel.h"
#include "kmi_host/text/date_time_text.h"
#include "kmi_host_support.h"
#include "study_host.h"

namespace kmi::test::host_program {
namespace {

const char* const small_chart =
    "datetime,open,high,low,close,volume,bid_volume,ask_volume\n"
    "2026-12-02 09:30:00,10,12,9,11,100,40,60\n"
    "2026-12-02 09:31:00,11,13,10,12.25,100,40,60\n"
    "2026-12-02 09:32:00,12,12,8,9.1,100,60,40\n";

emu::ReplayOutcome replay_small_chart(const TempFolder& folder) {
    write_text(folder / "ESZ26.CME.csv", small_chart);
    return emu::run_replay(fake_study, replay_plan(folder.path, "ESZ26.CME"), {});
}

std::size_t count_of(const std::string& text, const std::string& piece) {
    std::size_t count = 0;
    for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++count;
    return count;
}

// The content of the page's data block.
std::string data_block(const std::string& page) {
    const std::string start = "<script type=\"application/json\" id=\"kmi-data\">";
    const std::size_t from = page.find(start);
    if (from == std::string::npos) return {};
    const std::size_t end = page.find("</script>", from);
    return page.substr(from + start.size(), end - from - start.size());
}

std::vector<std::string> csv_rows(const std::string& text) {
    std::vector<std::string> rows;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) rows.push_back(line);
    return rows;
}

std::vector<std::string> csv_fields(const std::string& row) {
    std::vector<std::string> fields;
    std::istringstream in(row);
    std::string field;
    while (std::getline(in, field, ',')) fields.push_back(field);
    return fields;
}

TEST(KmiHostChartPage, ItsDataAreTheChartTheSeriesAndTheDrawingsTopToBottom) {
    TempFolder folder;
    const emu::ChartPageData page = replay_small_chart(folder).page;
    EXPECT_EQ(page.study_name, "Fake Study");
    EXPECT_EQ(page.symbol, "ESZ26.CME");
    EXPECT_EQ(page.bar_seconds, 60);
    EXPECT_EQ(page.region_height_px, 600);
    EXPECT_EQ(page.times,
              (std::vector<HostDateTime>{at(2026, 12, 2, 9, 30), at(2026, 12, 2, 9, 31), at(2026, 12, 2, 9, 32)}));
    EXPECT_EQ(page.close, (std::vector<float>{11.0f, 12.25f, 9.1f}));
    EXPECT_EQ(page.low, (std::vector<float>{9.0f, 10.0f, 8.0f}));
    ASSERT_EQ(page.series.size(), 20u);
    EXPECT_EQ(page.series[1].name, "Index, plain");
    EXPECT_EQ(page.series[1].colour, 255u);
    EXPECT_EQ(page.series[0].values, page.close);
    EXPECT_EQ(page.series[1].values, (std::vector<float>{0.0f, 1.0f, 2.0f}));
    EXPECT_TRUE(std::isnan(page.series[2].values[0]));
    EXPECT_EQ(page.series[19].values, (std::vector<float>{0.0f, 0.0f, 0.0f})) << "a series never written holds 0";

    ASSERT_EQ(page.drawings.size(), 2u);
    const emu::PageDrawing& top = page.drawings[0];
    EXPECT_EQ(top.line_number, 100) << "the drawing at 97.5 % comes before the one at 0.1 %";
    EXPECT_EQ(page.drawings[1].line_number, 101);
    EXPECT_EQ(top.text, "bars 3");
    EXPECT_EQ(top.font_face, "Consolas");
    EXPECT_EQ(top.font_size, 9);
    EXPECT_EQ(top.text_color, 0x0000FF80u);
    EXPECT_EQ(top.background_color, 0x00201C1Cu);
    EXPECT_EQ(top.horizontal_position, 149LL * 86400000000LL);
    EXPECT_EQ(top.vertical_position, 97.5f);
    EXPECT_EQ(top.text_alignment, 2);
    EXPECT_FALSE(page.tick_upper_threshold.has_value()) << "the fake study declares no TICK thresholds";
}

TEST(KmiHostChartPage, TheDataBlockHoldsWhatTheSeriesFileHolds) {
    TempFolder folder;
    const emu::ReplayOutcome outcome = replay_small_chart(folder);
    const Json page = Json::parse(emu::chart_page_json(outcome.page));
    const std::vector<std::string> rows = csv_rows(emu::series_csv(outcome.page));
    ASSERT_EQ(rows.size(), 4u);
    ASSERT_EQ(page.at("times").size(), 3u);
    for (std::size_t bar = 0; bar < 3; ++bar) {
        const std::vector<std::string> fields = csv_fields(rows[bar + 1]);
        EXPECT_EQ(page.at("times")[bar], fields[0]);
        for (std::size_t k = 0; k < 20; ++k) {
            const Json& value = page.at("series")[k].at("values")[bar];
            const std::string shown = value.is_string() ? value.get<std::string>() : emu::dump_compact(value);
            EXPECT_EQ(shown, fields[k + 1]) << "series " << k << " bar " << bar;
        }
    }
    EXPECT_EQ(page.at("close")[2], Json::parse("9.1")) << "32-bit floats in their shortest form";
    const Json& drawing = page.at("drawings")[0];
    EXPECT_EQ(drawing.at("horizontal_days"), 149.0);
    EXPECT_EQ(drawing.at("vertical_position"), 97.5);
    EXPECT_EQ(drawing.at("text_color"), 0x0000FF80u);
    EXPECT_EQ(page.at("tick_thresholds"), Json::object());
}

// Each slot of the real study as a replay from a data folder leaves it: the chart's own
// symbol, a file of the folder and a chart number given feed it; a symbol with no file does not.
TEST(KmiHostChartPage, TheSlotsOffAreThoseNoChartFed) {
    TempFolder folder;
    write_text(folder / "ESZ26.CME.csv", small_chart);
    write_text(folder / "TICK-NYSE.csv", "datetime,open,high,low,close\n2026-12-02 09:30:00,0,10,-10,5\n");
    emu::ReplayPlan plan = replay_plan(folder.path, "ESZ26.CME");
    plan.inputs = Json::parse(R"({"33": 1})");
    plan.inputs_name = "in.json";
    const emu::ChartPageData page = emu::run_replay(study_entry, plan, {}).page;
    EXPECT_EQ(page.slots_off, (std::vector<std::string>{"vold", "updown", "vix", "front", "back", "nq"}))
        << "tick has its file, add chart number 1, es is the chart";
    EXPECT_EQ(Json::parse(emu::chart_page_json(page)).at("slots_off"), Json(page.slots_off));
}

// Two sample days replayed live from the first bar, with the panel as it stood after the last
// call of each bar; and again with the first day as history, which draws no panel of its own.
struct ClosingPanels {
    std::map<std::int32_t, std::vector<std::string>> panel_after_bar;  // the live replay's
    emu::ChartPageData live;
    emu::ChartPageData with_history;
    std::string final_panel;
};

std::vector<std::string> drawing_texts(const std::vector<emu::PageDrawing>& drawings) {
    std::vector<std::string> texts;
    for (const emu::PageDrawing& d : drawings) texts.push_back(d.text);
    return texts;
}

TEST(KmiHostChartPageDays, EachDayHasThePanelDrawnLiveAtItsLastSessionBarAlsoWhenReplayedAsHistory) {
    TempFolder folder;
    emu::write_synth_files(folder.path, emu::SynthOptions{2, 60, 1});
    ClosingPanels seen;
    emu::ReplayHooks hooks;
    hooks.after_call = [&seen](const emu::Host& host, const emu::ReplayStep&) {
        std::vector<std::string>& lines = seen.panel_after_bar[emu::bar_count(host.charts.at(1)) - 1];
        lines.clear();
        for (const emu::PanelRow& row : emu::panel_rows(host)) lines.push_back(row.text);
    };
    emu::ReplayPlan plan = replay_plan(folder.path, emu::synth_chart_symbol);
    seen.live = emu::run_replay(study_entry, plan, hooks).page;
    plan.from = emu::synth_last_day() * emu::us_per_day;
    const emu::ReplayOutcome with_history = emu::run_replay(study_entry, plan, {});
    seen.with_history = with_history.page;

    ASSERT_EQ(seen.live.days.size(), 2u);
    ASSERT_EQ(seen.with_history.day_panels.size(), 2u);
    const Json days = Json::parse(emu::chart_page_json(seen.with_history)).at("days");
    for (std::size_t k = 0; k < 2; ++k) {
        const emu::PageDay& day = seen.live.days[k];
        const std::vector<std::string>& drawn = seen.panel_after_bar.at(day.bar);
        ASSERT_EQ(drawn.size(), 8u) << day.date;
        EXPECT_EQ(seen.live.day_panels[k].date, day.date);
        EXPECT_EQ(drawing_texts(seen.live.day_panels[k].drawings), drawn) << day.date << ", replayed live";
        EXPECT_EQ(drawing_texts(seen.with_history.day_panels[k].drawings), drawn)
            << day.date << (k == 0 ? ", replayed as history" : ", replayed live after the history");
        EXPECT_EQ(days[k].at("date"), day.date);
        EXPECT_EQ(days[k].at("panel").size(), drawn.size());
        EXPECT_EQ(days[k].at("panel")[1].at("text"), drawn[1]);
    }
    EXPECT_NE(seen.panel_after_bar.at(seen.live.days[1].bar), seen.panel_after_bar.rbegin()->second)
        << "the last day's closing panel is not the panel the replay ended with, after the session";
    EXPECT_EQ(drawing_texts(seen.with_history.drawings), seen.panel_after_bar.rbegin()->second);
}

TEST(KmiHostChartPage, TheTickThresholdsAreTheInputsOfThoseNames) {
    emu::Chart chart = chart_with_bars(1, "ES", 60, at(2026, 12, 2, 9, 30), 2);
    const std::unique_ptr<emu::Host> host = emu::make_host(fake_study, chart);
    emu::call_study(*host, emu::CallKind::defaults);
    HostInput& upper = host->study.inputs[20];
    kmi::assign(upper.name, "TICK Upper Threshold", 20);
    upper.type = kmi_input_float;
    set_input_float(upper, 800.5f);
    HostInput& lower = host->study.inputs[21];
    kmi::assign(lower.name, "TICK Lower Threshold", 20);
    lower.type = kmi_input_integer;  // not a float input: not taken
    set_input_int32(lower, -800);
    const emu::ChartPageData page = emu::chart_page_data(*host);
    EXPECT_EQ(page.tick_upper_threshold, 800.5f);
    EXPECT_FALSE(page.tick_lower_threshold.has_value());
    EXPECT_EQ(Json::parse(emu::chart_page_json(page)).at("tick_thresholds"), Json::parse(R"({"upper": 800.5})"));
    emu::destroy_host_values(*host);
}

TEST(KmiHostChartPage, NoTextOfTheDataOrTheLibraryCanEndAScriptOrTheTitle) {
    emu::ChartPageData data;
    data.study_name = "<b>Study</b>";
    data.symbol = "ES&NQ";
    data.times = {at(2026, 12, 2, 9, 30)};
    data.open = data.high = data.low = data.close = data.volume = {1.0f};
    emu::PageDrawing drawing;
    drawing.text = "</script><script>alert(1)</script><!--";
    data.drawings.push_back(drawing);
    const emu::ChartLibrary library{"var tag = '</SCRIPT>'; // </style> stays", ".u-over{}", "lib",
                                    "Copyright (c) A\nno */ end </script> or </style> here"};
    const std::string page = emu::render_chart_page(data, library);
    EXPECT_EQ(count_of(page, "<script"), 3u) << "the data block, the library and the page's own script";
    EXPECT_EQ(count_of(page, "</script>"), 3u);
    EXPECT_EQ(count_of(page, "Copyright (c) A\nno * / end <\\/script> or <\\/style> here"), 2u)
        << "the notice beside the library's style sheet and its script, ending neither it nor its comment";
    EXPECT_NE(page.find("var tag = '<\\/SCRIPT>'; // </style> stays"), std::string::npos)
        << "only a closing script tag is split";
    EXPECT_NE(page.find("<title>&lt;b&gt;Study&lt;/b&gt;  ES&amp;NQ"), std::string::npos);
    EXPECT_EQ(page.find("<b>"), std::string::npos);
    EXPECT_EQ(Json::parse(data_block(page)), Json::parse(emu::chart_page_json(data)));
    EXPECT_EQ(Json::parse(data_block(page)).at("drawings")[0].at("text"), drawing.text);
    EXPECT_EQ(page.find("missing-library\""), std::string::npos);
    for (const char* outside : {"src=", "href=", "@import", "url("}) {
        EXPECT_EQ(page.find(outside), std::string::npos) << outside << ": the page refers to nothing outside itself";
    }
}

TEST(KmiHostChartPage, WithoutTheLibraryThePageSaysWhyAndRunsNoScript) {
    TempFolder folder;
    const emu::ReplayOutcome outcome = replay_small_chart(folder);
    const std::string page = emu::render_chart_page(outcome.page, std::nullopt);
    EXPECT_NE(page.find("id=\"missing-library\""), std::string::npos);
    EXPECT_NE(page.find("The chart could not be drawn"), std::string::npos);
    EXPECT_NE(page.find("npm ci"), std::string::npos);
    EXPECT_EQ(count_of(page, "<script"), 1u) << "only the data block";
    EXPECT_EQ(Json::parse(data_block(page)), Json::parse(emu::chart_page_json(outcome.page)));
}

TEST(KmiHostChartPage, TheLibraryIsFoundBesideTheProgramOrInPageNodeModulesAbove) {
    TempFolder folder;
    const std::filesystem::path program = folder / "build" / "linux" / "bin";
    const std::filesystem::path installed = folder / "page" / "node_modules" / "uplot" / "dist";
    std::filesystem::create_directories(program);
    EXPECT_FALSE(emu::find_chart_library(program).has_value());
    std::filesystem::create_directories(installed);
    write_text(installed / "uPlot.iife.min.js", "installed script");
    EXPECT_FALSE(emu::find_chart_library(program).has_value()) << "the style sheet is missing";
    write_text(installed / "uPlot.min.css", "installed style");
    EXPECT_FALSE(emu::find_chart_library(program).has_value()) << "its licence is missing";
    write_text(installed.parent_path() / "LICENSE", "installed licence");
    auto found = emu::find_chart_library(program);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->script, "installed script");
    EXPECT_EQ(found->style, "installed style");
    EXPECT_EQ(found->notice, "installed licence");
    EXPECT_EQ(std::filesystem::weakly_canonical(found->folder), std::filesystem::weakly_canonical(installed));

    std::filesystem::create_directories(program / "uplot");
    write_text(program / "uplot" / "uPlot.iife.min.js", "beside script");
    write_text(program / "uplot" / "uPlot.min.css", "beside style");
    EXPECT_EQ(emu::find_chart_library(program)->script, "installed script")
        << "a library without its licence is skipped";
    write_text(program / "uplot" / "LICENSE", "beside licence");
    EXPECT_EQ(emu::find_chart_library(program)->notice, "beside licence") << "the nearest folder wins";
}

// kmi-host and the study library copied to a folder with no charting library above it,
// with the library the build put beside the program (uplot/) when `with_library`.
ProgramRun run_copied_program(const TempFolder& folder, const std::string& arguments, bool with_library = false) {
    const std::filesystem::path bin = folder / "bin";
    std::filesystem::create_directories(bin);
    const std::filesystem::path program = std::filesystem::path(KMI_HOST_PROGRAM_PATH);
    const std::filesystem::path study = std::filesystem::path(KMI_STUDY_LIBRARY_PATH);
    std::filesystem::copy_file(program, bin / program.filename(), std::filesystem::copy_options::overwrite_existing);
    std::filesystem::copy_file(study, bin / study.filename(), std::filesystem::copy_options::overwrite_existing);
    if (with_library)
        std::filesystem::copy(program.parent_path() / "uplot", bin / "uplot", std::filesystem::copy_options::recursive);
    const std::string command = "cd '" + folder.path.string() + "' && ./bin/" + program.filename().string() + " " +
                                arguments + " > program.stdout 2> program.stderr";
    const int status = std::system(command.c_str());
    ProgramRun run;
#ifndef _WIN32
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#else
    run.exit_code = status;
#endif
    run.out = read_text(folder / "program.stdout");
    run.err = read_text(folder / "program.stderr");
    return run;
}

TEST(KmiHostChartPageCli, WithoutTheLibraryTheReplaySucceedsAndThePageAndStderrSaySo) {
    TempFolder folder;
    ASSERT_FALSE(emu::find_chart_library(folder / "bin")) << "a charting library lies above the temporary folder "
                                                          << folder.path << ": this test needs a place without one";
    std::filesystem::create_directories(folder / "data");
    write_text(folder / "data" / "ESZ26.CME.csv", small_chart);
    const ProgramRun run = run_copied_program(folder, "replay --data data --chart ESZ26.CME --fast --out out");
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.err.find("kmi-host: out/chart.html: the charting library uPlot was not found"), std::string::npos)
        << run.err;
    EXPECT_NE(run.out.find("Written: out/series.csv, out/log.txt, out/panel.txt, out/chart.html"), std::string::npos)
        << run.out;
    const std::string page = read_text(folder / "out" / "chart.html");
    EXPECT_NE(page.find("id=\"missing-library\""), std::string::npos);
    EXPECT_EQ(Json::parse(data_block(page)).at("times").size(), 3u);
    EXPECT_NE(read_text(folder / "out" / "series.csv"), "");
}

// The build puts the library of page/node_modules beside kmi-host, so the program's folder
// draws charts wherever it lies (a build folder outside the sources, a copy).
TEST(KmiHostChartPageCli, TheBuiltProgramsFolderHoldsTheLibraryAndItsDemoPageEmbedsIt) {
    const auto installed = emu::find_chart_library(std::filesystem::path(KMI_TEST_SOURCE_DIR).parent_path());
    ASSERT_TRUE(installed) << "no page/node_modules/uplot: install it with bash scripts/page-deps.sh";
    const std::filesystem::path program_folder = std::filesystem::path(KMI_HOST_PROGRAM_PATH).parent_path();
    const auto beside = emu::find_chart_library(program_folder);
    ASSERT_TRUE(beside);
    EXPECT_EQ(beside->folder, program_folder / "uplot")
        << "the build copies the library beside kmi-host (configure again after bash scripts/page-deps.sh)";
    EXPECT_EQ(beside->script, installed->script);
    EXPECT_EQ(beside->style, installed->style);
    EXPECT_EQ(beside->notice, installed->notice);

    TempFolder folder;
    const ProgramRun run = run_copied_program(folder, "demo --out demo", true);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.err.find("uPlot"), std::string::npos) << run.err;
    const std::string page = read_text(folder / "demo" / "chart.html");
    EXPECT_EQ(page.find("missing-library\""), std::string::npos);
    EXPECT_NE(page.find(beside->script.substr(0, 200)), std::string::npos);
    EXPECT_EQ(count_of(page, beside->notice), 2u) << "the library's licence beside its style sheet and its script";
    const Json data = Json::parse(data_block(page));
    EXPECT_EQ(data.at("times").size(), 2700u);
    EXPECT_EQ(data.at("drawings").size(), 8u) << "the demo's panel: a title and seven readings";
    EXPECT_EQ(data.at("tick_thresholds"), Json::parse(R"({"upper": 1000, "lower": -1000})"));
    EXPECT_EQ(data.at("days").size(), 5u);
    EXPECT_EQ(data.at("days")[0].at("panel").size(), 8u) << "each day's closing panel";
}

}  // namespace
}  // namespace kmi::test::host_program
