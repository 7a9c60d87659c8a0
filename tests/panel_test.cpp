// The panel as a trader sees it on the chart: its lines' texts, colours, places and
// drawing requests, through our host.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/numeric.h"
#include "settings/input_indices.h"
#include "settings/source_slots.h"
#include "study_host.h"

namespace kmi::test {
namespace {

constexpr std::int64_t minute_us = 60000000;
const HostDateTime today_0930 = at(2026, 12, 2, 9, 30);  // a Wednesday

constexpr std::uint32_t positive = 7260230;
constexpr std::uint32_t neutral = 13816530;
constexpr std::uint32_t negative = 5921515;
constexpr std::uint32_t stale = 7895160;

// A source of one-minute bars with the given closes from `first` on.
emu::Chart source(const char* symbol, HostDateTime first, const std::vector<float>& closes) {
    emu::Chart chart = emu::make_chart(0, symbol, 60);
    for (std::size_t i = 0; i < closes.size(); ++i) {
        const float c = closes[i];
        emu::append_bar(chart, emu::Bar{first + static_cast<HostDateTime>(i) * minute_us, c, c, c, c, 0, 0, 0});
    }
    return chart;
}

// Our host with the study on a chart of `bars` one-minute bars from 09:30 today; no
// source has data unless a test adds one. The clock stands inside the chart's last bar.
struct PanelHost : StudyHost {
    explicit PanelHost(int bars = 11, std::int32_t study_id = 0)
        : StudyHost(chart_with_bars(1, "CHART", 60, today_0930, bars), study_id) {
        defaults();
        host->now = today_0930 + (bars - 1) * minute_us + 20000000;
    }
    void add_source(int slot, emu::Chart chart) {
        host->symbol_library[source_labels[static_cast<std::size_t>(slot)].default_symbol] = std::move(chart);
    }
    void symbol_off(int slot) { emu::set_input_text_value(emu::input(*host, symbol_input(slot)), ""); }
    void set_int(int index, std::int32_t value) { set_input_int32(emu::input(*host, index), value); }

    // The study's drawings, top line first.
    std::vector<const emu::Drawing*> drawings() const {
        std::vector<const emu::Drawing*> list;
        for (const auto& [key, drawing] : host->drawings) list.push_back(&drawing);
        return list;
    }
    std::string text(int line) const { return drawings().at(static_cast<std::size_t>(line))->text; }
    std::uint32_t colour(int line) const { return drawings().at(static_cast<std::size_t>(line))->request.text_color; }
};

std::string trimmed(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

TEST(PanelLines, WithNoDataEveryReadingShowsItsLabelAndStatusInTheStaleColour) {
    PanelHost h;
    for (int slot = 0; slot < source_slot_count; ++slot)
        h.add_source(slot, source(source_labels[static_cast<std::size_t>(slot)].default_symbol, today_0930, {}));
    h.symbol_off(slot_add);
    h->symbol_library.erase("NVOL-NYSE");  // a symbol the host cannot open is off too
    h.full();
    ASSERT_EQ(h.drawings().size(), 8u);
    EXPECT_EQ(trimmed(h.text(0)), "MARKET INTERNALS  - context, not a signal");
    EXPECT_EQ(h.colour(0), neutral);
    EXPECT_EQ(trimmed(h.text(1)), "TICK  no data");
    EXPECT_EQ(trimmed(h.text(2)), "ADD  off");
    EXPECT_EQ(trimmed(h.text(3)), "VOLD  off");
    EXPECT_EQ(trimmed(h.text(4)), "VIX   (no data for the VIX or front symbol)  no data");
    EXPECT_EQ(trimmed(h.text(5)), "ES vs NQ  needs both on the same RTH session  no data");
    for (int line = 1; line <= 5; ++line) EXPECT_EQ(h.colour(line), stale) << line;
    EXPECT_EQ(trimmed(h.text(6)), "Chart cum delta +22") << "ask 6 minus bid 4 on eleven bars";
    EXPECT_EQ(h.colour(6), positive);
    EXPECT_EQ(trimmed(h.text(7)).rfind("Chart ", 0), 0u);
}

TEST(PanelLines, AllLinesArePaddedToTheLongest) {
    PanelHost h;
    h.add_source(slot_tick, source("TICK-NYSE", today_0930, {100, 1200, -300, 50, 400, 800, -1100, 20, 30, 40, 50}));
    h.full();
    const std::size_t width = h.text(1).size();
    EXPECT_GT(width, h.text(0).size() - 1);
    for (const emu::Drawing* d : h.drawings()) EXPECT_EQ(d->text.size(), width) << d->text;
    EXPECT_EQ(h.text(1), trimmed(h.text(1))) << "the longest line carries no padding";
}

TEST(PanelLines, TickLineWithSessionStatisticsAndTheStoredThresholds) {
    PanelHost h;
    h.add_source(slot_tick, source("TICK-NYSE", today_0930, {100, 1200, -300, 50, 400, 800, -1100, 20, 30, 40, 50}));
    h.full();
    // The live copy holds all eleven bars: highs and lows are the closes here.
    EXPECT_EQ(trimmed(h.text(1)), "TICK    +50  H +1200 L -1100  >=+1000:1 <=-1000:1  avg +117");
    EXPECT_EQ(h.colour(1), positive) << "average 117 beyond +100";

    // New thresholds wait for a rebuild, then print with the counts they give: at or
    // above 800 are 1200 and 800, at or below -300 are -300 and -1100.
    set_input_float(emu::input(*h, input_tick_upper_threshold), 800.0f);
    set_input_float(emu::input(*h, input_tick_lower_threshold), -300.0f);
    h.update(10);
    EXPECT_EQ(trimmed(h.text(1)), "TICK    +50  H +1200 L -1100  >=+1000:1 <=-1000:1  avg +117");
    h.full();
    EXPECT_EQ(trimmed(h.text(1)), "TICK    +50  H +1200 L -1100  >=+800:2 <=-300:2  avg +117");
}

TEST(PanelLines, TickBeforeTheOpenShowsTheValueAloneInTheStaleColour) {
    const HostDateTime early = at(2026, 12, 2, 9, 0);
    StudyHost h(chart_with_bars(1, "CHART", 60, early, 5));
    h->symbol_library["TICK-NYSE"] = source("TICK-NYSE", early, {-250});
    h.defaults();
    h->now = early + 4 * minute_us + 1000000;
    h.full();
    const emu::Drawing& tick = std::next(h->drawings.entries.begin())->second;
    EXPECT_EQ(trimmed(tick.text), "TICK   -250");
    EXPECT_EQ(tick.request.text_color, stale);
}

TEST(PanelLines, AddLineWithChangeAndSlope) {
    PanelHost h;
    h.add_source(slot_add, source("NISS-NYSE", today_0930, {500, 520, 540, 560, 580, 600, 620, 640, 660, 680, 700}));
    h.full();
    EXPECT_EQ(trimmed(h.text(2)), "ADD    +700  +200 since open  slope +1200/hr");
    EXPECT_EQ(h.colour(2), positive) << "700 is beyond +500";
}

TEST(PanelLines, VoldOffWithAFreshRatioIsColouredByTheRatio) {
    PanelHost h;
    h.symbol_off(slot_vold);
    h.add_source(slot_updown_ratio, source("UDVR-NYSE", today_0930, std::vector<float>(11, 1.2f)));
    h.full();
    EXPECT_EQ(trimmed(h.text(3)), "VOLD  up/down vol 1.20  off");
    EXPECT_EQ(h.colour(3), neutral);
}

TEST(PanelLines, VoldAbbreviatedAndColouredByItsSignWithoutARatio) {
    PanelHost h;
    h.symbol_off(slot_updown_ratio);
    h.add_source(slot_vold, source("NVOL-NYSE", today_0930, std::vector<float>(11, -1234567.0f)));
    h.full();
    EXPECT_EQ(trimmed(h.text(3)), "VOLD -1.23M");
    EXPECT_EQ(h.colour(3), negative);
}

TEST(PanelLines, VixFallsBackToTheFrontContractWithItsStatus) {
    PanelHost h;
    h.symbol_off(slot_vix);
    h.add_source(slot_front, source("VXV26-CFE", today_0930, std::vector<float>(11, 18.0f)));
    h.add_source(slot_back, source("VXX26-CFE", today_0930, std::vector<float>(11, 20.0f)));
    h.full();
    EXPECT_EQ(trimmed(h.text(4)), "VX1   18.00  front/back 0.900 contango");
    EXPECT_EQ(h.colour(4), neutral);
}

TEST(PanelLines, VixChangeAgainstYesterdaysCloseAndBackwardation) {
    PanelHost h;
    emu::Chart vix = source("VIX_CGI", at(2026, 12, 1, 15, 59), {15.0f});
    for (int i = 0; i < 11; ++i)
        emu::append_bar(vix, emu::Bar{today_0930 + i * minute_us, 15.6f, 15.6f, 15.6f, 15.6f, 0, 0, 0});
    h.add_source(slot_vix, vix);
    h.add_source(slot_front, source("VXV26-CFE", today_0930, std::vector<float>(11, 22.0f)));
    h.add_source(slot_back, source("VXX26-CFE", today_0930, std::vector<float>(11, 20.0f)));
    h.full();
    EXPECT_EQ(trimmed(h.text(4)), "VIX   15.60  +0.60 (+4.0%)  front/back 1.100 backwardation");
    EXPECT_EQ(h.colour(4), negative);
}

TEST(PanelLines, EsAgainstNqPrintsTheGapUnsignedAndSeries16Signed) {
    // Each opens at its first bar's price and holds its last from 09:31 on: 5050 / 5000
    // is +1.00 %, 18090 / 18000 +0.50 %, 4980 / 5000 -0.40 %, 18018 / 18000 +0.10 %.
    struct Case {
        float es_open, es_last, nq_open, nq_last;
        const char* line;
        float series_16;
    };
    for (const Case c : {Case{5000, 5050, 18000, 18090, "ES +1.00%  NQ +0.50%  ES stronger by 0.50%", 0.5f},
                         Case{5000, 4980, 18000, 18018, "ES -0.40%  NQ +0.10%  NQ stronger by 0.50%", -0.5f}}) {
        auto closes = [](float open, float last) {
            std::vector<float> v(11, last);
            v[0] = open;
            return v;
        };
        PanelHost h;
        h.add_source(slot_es, source("ESZ26.CME", today_0930, closes(c.es_open, c.es_last)));
        h.add_source(slot_nq, source("NQZ26.CME", today_0930, closes(c.nq_open, c.nq_last)));
        h.full();
        EXPECT_EQ(trimmed(h.text(5)), c.line);
        EXPECT_EQ(h.colour(5), neutral);
        EXPECT_NEAR(h->study.series[16][9], c.series_16, 1e-6) << c.line;
    }
}

TEST(PanelLines, ChartLinesFromThisChartsSessionInItsPriceFormat) {
    // Bar 0: typical price (101 + 99 + 100) / 3 = 100, volume 10, ask 70 minus bid 50.
    // Bar 1 (high, low, close below), volume 30, ask 40 minus bid 60: delta +0 and
    // VWAP (100 * 10 + typical * 30) / 40.
    struct Case {
        float high, low, close;
        const char* line;
        std::uint32_t colour;
    };
    for (const Case c : {Case{103, 100, 102, "Chart 0.75 above VWAP 101.25", positive},   // typical 305/3: 4050 / 40
                         Case{100, 98, 99, "Chart 0.25 below VWAP 99.25", negative},      // typical 99: 3970 / 40
                         Case{101, 99, 100, "Chart 0.00 above VWAP 100.00", neutral}}) {  // typical 100: 4000 / 40
        emu::Chart chart = emu::make_chart(1, "CHART", 60);
        emu::append_bar(chart, emu::Bar{today_0930, 100, 101, 99, 100, 10, 50, 70});
        emu::append_bar(chart, emu::Bar{today_0930 + minute_us, 101, c.high, c.low, c.close, 30, 60, 40});
        StudyHost h(chart);
        h.defaults();
        h->now = today_0930 + minute_us + 1000000;
        h.full();
        std::vector<std::string> texts;
        for (const auto& [key, drawing] : h->drawings) texts.push_back(trimmed(drawing.text));
        ASSERT_EQ(texts.size(), 8u);
        EXPECT_EQ(texts[6], "Chart cum delta +0");
        EXPECT_EQ(texts[7], c.line);
        EXPECT_EQ(h->drawings.entries.rbegin()->second.request.text_color, c.colour) << c.line;
    }
}

TEST(PanelLines, ChartLinesBeforeTheOpenAndWithoutVolume) {
    StudyHost early(chart_with_bars(1, "CHART", 60, at(2026, 12, 2, 8, 0), 3));
    early.defaults();
    early.full();
    EXPECT_EQ(trimmed(early->drawings.entries.rbegin()->second.text), "Chart delta / VWAP start at the RTH open");
    EXPECT_EQ(early->drawings.entries.rbegin()->second.request.text_color, stale);
    EXPECT_EQ(early->drawings.entries.size(), 7u);

    emu::Chart no_volume = emu::make_chart(1, "CHART", 60);
    emu::append_bar(no_volume, emu::Bar{today_0930, 100, 101, 99, 100, 0, 0, 0});
    StudyHost quiet(no_volume);
    quiet.defaults();
    quiet.full();
    EXPECT_EQ(quiet->drawings.entries.size(), 7u) << "the delta line only";
    EXPECT_EQ(trimmed(quiet->drawings.entries.rbegin()->second.text), "Chart cum delta +0");
    EXPECT_EQ(quiet->drawings.entries.rbegin()->second.request.text_color, neutral);
}

TEST(PanelStatus, StaleAfterMoreThanTheThresholdInsideTheWindowOnAWeekday) {
    // The TICK's last bar started 09:34 and ended 09:35:00; the chart's last bar is 09:40.
    for (const auto& [now, is_stale] :
         {std::pair{at(2026, 12, 2, 9, 40) + 1000, true}, std::pair{at(2026, 12, 2, 9, 40), false}}) {
        PanelHost h;
        h.add_source(slot_tick, source("TICK-NYSE", today_0930, {1, 2, 3, 4, 5}));
        h->now = now;
        h.full();
        const std::string line = trimmed(h.text(1));
        EXPECT_EQ(line,
                  std::string("TICK     +5  H +5 L +1  >=+1000:0 <=-1000:0  avg +3") + (is_stale ? "  [stale]" : ""));
        EXPECT_EQ(h.colour(1), is_stale ? stale : neutral);
    }
}

TEST(PanelStatus, NeverStaleOnASaturdayOrAfterTheClose) {
    for (const HostDateTime start : {at(2026, 12, 5, 10, 0), at(2026, 12, 2, 16, 5)}) {
        StudyHost h(chart_with_bars(1, "CHART", 60, start, 20));
        h->symbol_library["TICK-NYSE"] = source("TICK-NYSE", start, {7});
        h.defaults();
        h->now = start + 19 * minute_us + 30000000;
        h.full();
        const std::string line = trimmed(std::next(h->drawings.entries.begin())->second.text);
        EXPECT_EQ(line.find("[stale]"), std::string::npos) << line;
    }
}

TEST(PanelStatus, ASourceOnYesterdaysSessionIsDatedAsOf) {
    PanelHost h;
    h.add_source(slot_tick, source("TICK-NYSE", at(2026, 12, 1, 15, 58), {300, 400}));
    h.full();
    EXPECT_EQ(trimmed(h.text(1)), "TICK   +400  H +400 L +300  >=+1000:0 <=-1000:0  avg +350  [as of 12-01]");
    EXPECT_EQ(h.colour(1), stale);
}

TEST(PanelDrawing, RequestsCarryEveryFieldTheHostNeeds) {
    PanelHost h(11, 3);
    h.full();
    const auto list = h.drawings();
    ASSERT_EQ(list.size(), 8u);
    for (std::size_t i = 0; i < list.size(); ++i) {
        const DrawingRequest& r = list[i]->request;
        EXPECT_EQ(r.record_size, 1032u);
        EXPECT_EQ(r.chart_number, 1);
        EXPECT_EQ(r.line_number, 75203000 + static_cast<std::int32_t>(i));
        EXPECT_EQ(r.region, 0);
        EXPECT_EQ(r.font_size, 9);
        EXPECT_EQ(r.horizontal_position, 12873600000000) << "149 days: the right edge";
        EXPECT_EQ(r.drawing_type, 6);
        EXPECT_EQ(r.value_at_240, 3);
        EXPECT_EQ(r.interface_version, 2927u);
        EXPECT_EQ(r.background_color, 2104348u);
        EXPECT_EQ(list[i]->font_face, "Consolas");
        EXPECT_EQ(r.text_alignment, 2);
        EXPECT_EQ(r.value_at_292, 1);
        EXPECT_EQ(r.value_at_752, 0);
        EXPECT_EQ(r.value_at_824, 0);
        EXPECT_EQ(r.value_at_840, 0);
        EXPECT_EQ(r.value_at_892, 0);
        EXPECT_EQ(r.reserved_8, 0) << "fields the panel does not set keep their defaults";
        EXPECT_EQ(r.vertical_position, to_single(97.0 - static_cast<double>(i) * 2.85));
    }
}

TEST(PanelDrawing, CornersPlaceTheLines) {
    struct Case {
        std::int32_t corner;
        std::int64_t horizontal;
        std::int32_t alignment;
        bool top;
    };
    for (const Case c :
         {Case{0, 172800000000, 0, true}, Case{2, 172800000000, 0, false}, Case{3, 12873600000000, 2, false},
          Case{-1, 172800000000, 0, true}, Case{4, 172800000000, 0, false}}) {
        PanelHost h;
        h.set_int(input_panel_position, c.corner);
        set_input_uint32(emu::input(*h, input_show_chart_flow), 0);
        h.full();
        const auto list = h.drawings();
        ASSERT_EQ(list.size(), 6u);
        for (std::size_t i = 0; i < list.size(); ++i) {
            const DrawingRequest& r = list[i]->request;
            EXPECT_EQ(r.horizontal_position, c.horizontal) << c.corner;
            EXPECT_EQ(r.text_alignment, c.alignment) << c.corner;
            const double y = c.top ? 97.0 - static_cast<double>(i) * 2.85 : static_cast<double>(6 - i) * 2.85 + 3.0;
            EXPECT_EQ(r.vertical_position, to_single(y)) << c.corner << " line " << i;
        }
    }
}

TEST(PanelDrawing, ARegionUnder50PixelsCountsAs400) {
    for (const std::int32_t bottom : {40, 0, -300}) {
        PanelHost h;
        h->region_bottom_px = bottom;
        h.full();
        EXPECT_EQ(h.drawings().at(1)->request.vertical_position, to_single(97.0 - 4.275)) << bottom;
    }
}

TEST(PanelDrawing, ALineThatDisappearsIsDeletedOnTheSameCall) {
    PanelHost h;
    h.full();
    ASSERT_EQ(h.state()->panel_line_count, 8);
    const std::string delta_line = h.text(6);
    set_input_uint32(emu::input(*h, input_show_es_vs_nq), 0);
    h->delete_requests.clear();
    h.update(10);
    EXPECT_EQ(h.state()->panel_line_count, 7);
    ASSERT_EQ(h->delete_requests.size(), 1u);
    EXPECT_EQ(h->delete_requests[0].second, 75200007);
    EXPECT_EQ(h.drawings().size(), 7u);
    EXPECT_EQ(trimmed(h.text(5)), trimmed(delta_line)) << "the chart lines move up by one";
}

}  // namespace
}  // namespace kmi::test
