// The panel in the terminal: the study's drawings in display order, their colours and
// background as 24-bit ANSI colour, their corner; the progress bar of fast replays; the study's
// log as the console shows it; the live screen they make up; and text written to the console.
#include <gtest/gtest.h>

#include "kmi_host/terminal/console_log.h"
#include "kmi_host/terminal/console_output.h"
#include "kmi_host/terminal/live_screen.h"
#include "kmi_host/terminal/terminal_panel.h"
#include "kmi_host_support.h"

namespace kmi::test::host_program {
namespace {

constexpr std::int64_t day_us = 86400000000LL;

void draw(emu::Host& host, std::int32_t chart, std::int32_t line, const std::string& text, float vertical,
          std::int64_t days, std::uint32_t colour = 7260230, std::uint32_t background = 2104348) {
    emu::Drawing drawing;
    drawing.request.chart_number = chart;
    drawing.request.line_number = line;
    drawing.request.vertical_position = vertical;
    drawing.request.horizontal_position = days * day_us;
    drawing.request.text_color = colour;
    drawing.request.background_color = background;
    drawing.text = text;
    emu::drawing_at(host.drawings, {chart, line}) = drawing;
}

struct KmiHostTerminalPanel : ::testing::Test {
    std::unique_ptr<emu::Host> host = emu::make_host(fake_study, emu::make_chart(1, "ES", 60));
    void TearDown() override { emu::destroy_host_values(*host); }
};

TEST_F(KmiHostTerminalPanel, RowsAreTheStudysChartDrawingsFromTheTopDown) {
    draw(*host, 1, 75200002, "second", 91.3f, 149);
    draw(*host, 1, 75200000, "title", 97.0f, 149);
    draw(*host, 1, 75200001, "first", 94.15f, 149);
    draw(*host, 1, 75200003, "same height, later line", 91.3f, 149);
    draw(*host, 2, 75200000, "another chart", 99.0f, 149);
    const auto rows = emu::panel_rows(*host);
    std::vector<std::string> texts;
    for (const auto& row : rows) texts.push_back(row.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"title", "first", "second", "same height, later line"}));
    EXPECT_TRUE(rows[0].right);
    EXPECT_EQ(emu::panel_plain_text(rows), "title\nfirst\nsecond\nsame height, later line\n");
}

TEST_F(KmiHostTerminalPanel, DrawsEachLineInItsColoursAtItsCorner) {
    draw(*host, 1, 0, "MARKET", 97.0f, 149, 13816530);
    draw(*host, 1, 1, "TICK", 94.0f, 149, 5921515);
    const std::string right = emu::render_panel(emu::panel_rows(*host), 20, true);
    EXPECT_EQ(right,
              "+------------------+\n"
              "|            \x1b[38;2;210;210;210m\x1b[48;2;28;28;32mMARKET\x1b[0m|\n"
              "|              \x1b[38;2;235;90;90m\x1b[48;2;28;28;32mTICK\x1b[0m|\n"
              "|                  |\n"
              "|                  |\n"
              "+------------------+\n");
    host->drawings = {};
    draw(*host, 1, 0, "MARKET", 20.1f, 2, 0xFF000000u, 0xFF000000u);
    draw(*host, 1, 1, "a line longer than the box", 17.25f, 2);
    EXPECT_EQ(emu::render_panel(emu::panel_rows(*host), 12, true),
              "+----------+\n"
              "|          |\n"
              "|          |\n"
              "|MARKET    |\n"
              "|\x1b[38;2;70;200;110m\x1b[48;2;28;28;32ma line lon\x1b[0m|\n"
              "+----------+\n")
        << "bottom left; a colour not set gets no code; a long line is cut at the box";
    EXPECT_EQ(emu::render_panel(emu::panel_rows(*host), 12, false).find('\x1b'), std::string::npos);
    EXPECT_EQ(emu::render_panel({}, 24, false),
              "+----------------------+\n| (no panel drawn)     |\n+----------------------+\n");
}

// Redrawn in place, the screen clears the terminal and keeps the latest log lines beneath the
// panel; written as lines (a pipe, a log), it begins a new block and leaves the log out.
TEST_F(KmiHostTerminalPanel, TheLiveScreenIsOneHeadingThePanelAndTheLatestLogLines) {
    draw(*host, 1, 100, "TICK +250", 95.0f, 80);
    emu::LiveScreen screen;
    screen.chart = "ES.csv";
    screen.served_at = "  http://127.0.0.1:8080/";
    for (int i = 1; i <= 14; ++i) emu::add_log_line(screen, "line " + std::to_string(i));
    const std::vector<emu::PanelRow> rows = emu::panel_rows(*host);
    const std::string panel = emu::render_panel(rows, emu::panel_width(rows), false);
    std::string log = "log:\n";
    for (int i = 3; i <= 14; ++i) log += "  line " + std::to_string(i) + "\n";
    for (const bool in_place : {true, false}) {
        screen.in_place = in_place;
        EXPECT_EQ(emu::draw_live_screen(screen, rows, "2026-12-02 09:31:00  call 3 of 12"),
                  std::string(in_place ? "\x1b[H\x1b[J" : "\n") +
                      "kmi-host replay  ES.csv  2026-12-02 09:31:00  call 3 of 12  http://127.0.0.1:8080/\n" + panel +
                      (in_place ? log : ""));
    }
}

TEST(KmiHostTerminalColours, HostColoursAreBlueGreenRedFromTheHighByteDown) {
    EXPECT_EQ(emu::ansi_colours(0x00332211u, 0x00CCBBAAu), "\x1b[38;2;17;34;51m\x1b[48;2;170;187;204m");
    EXPECT_EQ(emu::ansi_colours(0xFF000000u, 0u), "\x1b[48;2;0;0;0m");
    EXPECT_EQ(emu::ansi_colours(0xFF000000u, 0x01000000u), "");
}

TEST(KmiHostProgressBar, ShowsTheShareDoneAndTheReplayClock) {
    EXPECT_EQ(emu::progress_line(0.5, "2026-10-14 12:45:00", 10), "[#####-----]  50%  2026-10-14 12:45:00");
    EXPECT_EQ(emu::progress_line(1.0, "end", 4), "[####] 100%  end");
    EXPECT_EQ(emu::progress_line(-1.0, "", 4), "[----]   0%  ");
    EXPECT_EQ(emu::progress_line(0.999, "x", 4), "[###-]  99%  x");
}

TEST(KmiHostTerminal, TheConsoleShowsTheDiagnosticsReportOnceAndOneLineForItsRepeats) {
    emu::ConsoleLog log;
    log.repeat_line = "(more in log.txt)";
    const std::string build = "Keelwick Market Internals BUILD Dec  8 2026 00:16:00 | chart bars ";
    using Lines = std::vector<std::string>;
    const Lines first{"another line", build + "1", "   ES bars 1, last bar 2026-12-02 09:30", "   NQ off"};
    EXPECT_EQ(log.shown(first), first);
    EXPECT_EQ(log.shown({build + "2", "   ES bars 2, last bar 2026-12-02 09:31", "   NQ off"}),
              Lines{"(more in log.txt)"});
    // A report that says more is shown; the line on repeats is given once.
    const Lines changed{build + "12", "   ES bars 12, last bar 2026-12-02 09:41", "   NQ bars 1"};
    Lines both{build + "3", "   ES bars 3, last bar 2026-12-02 09:32", "   NQ off"};
    both.insert(both.end(), changed.begin(), changed.end());
    EXPECT_EQ(log.shown(both), changed);
    EXPECT_EQ(log.shown({build + "13", "   ES bars 13, last bar 2026-12-02 09:42", "   NQ bars 2"}), Lines{});
}

// Without a data folder a slot off for want of a file names the option that gives it one; the
// log files keep the study's words.
TEST(KmiHostTerminal, TheConsoleNamesTheOptionThatGivesASlotOffItsFile) {
    emu::ConsoleLog log;
    log.slots_given_by_option = {"tick", "add"};
    const std::string off = R"(off (no symbol, or the host could not open a chart for ""))";
    const std::string build = "Keelwick Market Internals BUILD Dec  8 2026 00:16:00 | chart bars 1";
    EXPECT_EQ(log.shown({build, "   TICK " + off, "   ADD  chart #3  ADD  bars 0", "   ADD  " + off}),
              (std::vector<std::string>{build, "   TICK off (no --source tick file)", "   ADD  chart #3  ADD  bars 0",
                                        "   ADD  " + off}));
}

// A write to a console ends before a character it would split, the character's start kept for
// the next write: whatever ends in a whole character, or in bytes that are no UTF-8, is whole.
TEST(KmiHostTerminal, ConsoleWritesEndBeforeACharacterTheyWouldSplit) {
    const struct {
        std::string bytes;
        std::size_t whole;
    } cases[] = {
        {"", 0},
        {"ES.csv\n", 7},
        {"Donn\xC3\xA9", 6},             // é whole
        {"Donn\xC3", 4},                 // é's first byte
        {"\xD0\x9A\xD0", 2},             // К whole, then the start of о
        {"\xE6\x95\xB0", 3},             // 数 whole
        {"\xE6\x95", 0},                 // 数 without its last byte
        {"a\xE6", 1},                    // 数's first byte
        {"\xF0\x9F\x93\x88", 4},         // a character beyond UTF-16's first plane
        {"x\xF0\x9F\x93", 1},            // the same without its last byte
        {"\x1b[0m\xC3\xA9\x1b[0m", 10},  // ANSI sequences around é
        {"\x80\x80\x80", 3},             // continuation bytes alone: no UTF-8
        {"\xC3\x41", 2},                 // a lead byte, then an A that does not continue it
        {"\xFF", 1},                     // no UTF-8 lead
    };
    for (const auto& c : cases) {
        EXPECT_EQ(emu::utf8_whole_length(c.bytes), c.whole) << ::testing::PrintToString(c.bytes);
    }
}

}  // namespace
}  // namespace kmi::test::host_program
