// A scripted trading day for all nine sources and an ES chart, fed minute by minute as a
// host would, with the complete panel (texts and colours) and the log compared against
// tests/golden/full_day.txt. A change to that file is a change of behaviour; regenerate it
// with KMI_UPDATE_GOLDEN=1 and check the difference by hand.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "settings/source_slots.h"
#include "study_host.h"

namespace kmi::test {
namespace {

constexpr std::int64_t minute_us = 60000000;
const HostDateTime tuesday_1559 = at(2026, 12, 1, 15, 59);
const HostDateTime wednesday_0900 = at(2026, 12, 2, 9, 0);
constexpr int last_minute = 450;  // 16:30

// One bar of a source at minute m after 09:00 on Wednesday (or nothing: the TICK feed
// stops after 11:00).
bool source_bar(int slot, int m, emu::Bar& bar) {
    float close = 0;
    float open = 0;
    float spread = 0;
    switch (slot) {
        case slot_tick: {
            if (m > 120) return false;
            const float pattern[] = {250, -150, 1100, -1020, 40};
            close = open = pattern[m % 5];
            spread = 50;
            break;
        }
        case slot_add:
            close = static_cast<float>(100 + 3 * m);
            open = close - 3;
            break;
        case slot_vold: close = open = static_cast<float>(2e6 * (m - 60)); break;
        case slot_updown_ratio: close = open = static_cast<float>(0.5 + 0.005 * m); break;
        case slot_vix: close = open = static_cast<float>(15.6 - 0.002 * m); break;
        case slot_front: close = open = m < 300 ? 18.0f : 21.0f; break;
        case slot_back: close = open = 20.0f; break;
        case slot_nq:
            close = static_cast<float>(21000 + 0.5 * m);
            open = close - 0.5f;
            break;
        default: return false;
    }
    bar = emu::Bar{wednesday_0900 + m * minute_us,
                   open,
                   std::max(open, close) + spread,
                   std::min(open, close) - spread,
                   close,
                   0,
                   0,
                   0};
    return true;
}

emu::Bar chart_bar(int m) {
    const auto open = static_cast<float>(6000 + 0.25 * m);
    const float close = open + 0.25f;
    const auto volume = static_cast<float>(100 + m % 10);
    return emu::Bar{wednesday_0900 + m * minute_us, open, close + 0.5f, open - 0.5f, close, volume, 40, volume - 40};
}

// The previous session's last bar of every instrument, Tuesday 15:59.
const std::map<int, float> tuesday_close{{slot_tick, 100},          {slot_add, 200},   {slot_vold, 5e7},
                                         {slot_updown_ratio, 1.1f}, {slot_vix, 15.0f}, {slot_front, 17.0f},
                                         {slot_back, 19.0f},        {slot_nq, 20000}};

const char* class_name(std::uint32_t colour) {
    switch (colour) {
        case 7260230: return "positive";
        case 13816530: return "neutral ";
        case 5921515: return "negative";
        case 7895160: return "stale   ";
        default: return "?       ";
    }
}

void dump_panel(std::ostringstream& out, const emu::Host& host, const char* when) {
    out << "== panel at " << when << "\n";
    for (const auto& [key, drawing] : host.drawings) {
        out << "[" << class_name(drawing.request.text_color) << "] |" << drawing.text << "|\n";
    }
}

void dump_log(std::ostringstream& out, emu::Host& host) {
    static const std::regex build_stamp("BUILD [A-Z][a-z]{2} [ 0-9]\\d \\d{4} \\d\\d:\\d\\d:\\d\\d");
    for (const emu::LogLine& line : host.log) {
        out << "log " << line.show << " |" << std::regex_replace(line.text, build_stamp, "BUILD <date> <time>")
            << "|\n";
    }
    host.log.clear();
}

std::string run_day() {
    emu::Chart chart = emu::make_chart(1, "ESZ26.CME", 60);
    emu::append_bar(chart, emu::Bar{tuesday_1559, 5990, 5991, 5989, 5990, 100, 40, 60});
    emu::append_bar(chart, chart_bar(0));
    StudyHost h(chart);
    for (int slot = 0; slot < source_slot_count; ++slot) {
        if (slot == slot_es) continue;  // the ES slot is this chart
        const char* symbol = source_labels[static_cast<std::size_t>(slot)].default_symbol;
        emu::Chart source = emu::make_chart(0, symbol, 60);
        const float close = tuesday_close.at(slot);
        emu::append_bar(source, emu::Bar{tuesday_1559, close, close, close, close, 0, 0, 0});
        emu::Bar bar;
        if (source_bar(slot, 0, bar)) emu::append_bar(source, bar);
        h->symbol_library[symbol] = source;
    }
    std::ostringstream out;
    h.defaults();
    h->now = wednesday_0900 + 30000000;
    h.full();
    dump_log(out, *h);

    std::map<int, std::int32_t> opened;
    for (const emu::OpenChartRecord& request : h->open_requests) {
        for (int slot = 0; slot < source_slot_count; ++slot) {
            if (request.symbol == source_labels[static_cast<std::size_t>(slot)].default_symbol)
                opened[slot] = request.result;
        }
    }
    const std::map<int, const char*> samples{
        {15, "09:15"}, {45, "09:45"}, {180, "12:00"}, {419, "15:59"}, {430, "16:10"}};
    for (int m = 1; m <= last_minute; ++m) {
        for (const auto& [slot, number] : opened) {
            emu::Bar bar;
            if (source_bar(slot, m, bar)) emu::append_bar(h->charts.at(number), bar);
        }
        emu::append_bar(emu::study_chart(*h), chart_bar(m));
        h->now = wednesday_0900 + m * minute_us + 30000000;
        h.update(emu::bar_count(emu::study_chart(*h)) - 2);
        dump_log(out, *h);
        if (const auto sample = samples.find(m); sample != samples.end()) dump_panel(out, *h, sample->second);
    }
    return out.str();
}

TEST(FullDay, PanelAndLogMatchTheCheckedRecord) {
    const std::string actual = run_day();
    const std::string path = std::string(KMI_TEST_SOURCE_DIR) + "/golden/full_day.txt";
    if (std::getenv("KMI_UPDATE_GOLDEN") != nullptr) {
        std::ofstream(path, std::ios::binary) << actual;
        GTEST_SKIP() << "wrote " << path;
    }
    std::ifstream file(path, std::ios::binary);
    ASSERT_TRUE(file.good()) << "missing " << path;
    std::ostringstream expected;
    expected << file.rdbuf();
    EXPECT_EQ(actual, expected.str());
}

}  // namespace
}  // namespace kmi::test
