// Every heap allocation of a call made to fail in turn: the state, the texts of the
// report and the panel, their formatted appends, the request's text and font face, and
// the host's own texts handed to the study. A failure must never crash or leak; the
// study goes on: a state that cannot be had ends the call quietly and the next call
// creates it; a text whose block cannot be had is left empty by assign and unchanged by
// append_format, so a log line or a panel line loses one piece and nothing else changes;
// and the next ordinary call gives exactly what a host that never failed gets.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "host/process_heap.h"
#include "settings/source_slots.h"
#include "source_test_builders.h"
#include "study_host.h"

namespace kmi::test {
namespace {

constexpr char chart_zone[] = "America/New_York";
constexpr char zone_warning[] = "  WARNING: its time zone differs from this chart's";
const HostDateTime wednesday_0925 = at(2026, 3, 11, 9, 25);

// What one call leaves for the host to see.
struct CallOutcome {
    bool has_state = false;
    StudyState state{};
    std::vector<emu::LogLine> log;                               // lines of this call
    std::vector<std::pair<std::int32_t, std::int32_t>> deleted;  // deletions of this call
    std::map<std::pair<std::int32_t, std::int32_t>, emu::Drawing> drawings;
    std::vector<std::vector<float>> series;
    std::string tick_request_symbol;  // the symbol of this call's chart request, if any
    bool requested = false;
};

emu::Chart source_chart(std::int32_t number, const char* symbol, float level) {
    emu::Chart chart = emu::make_chart(number, symbol, 60);
    chart.time_zone = chart_zone;
    for (int i = 0; i < 30; ++i) {
        const float close = level + static_cast<float>((i * 7) % 11) - 5.0f;
        add_bar(chart, wednesday_0925 + static_cast<HostDateTime>(i) * 60 * one_second,
                Prices{close - 1.0f, close + 2.0f, close - 2.0f, close});
    }
    return chart;
}

// A chart carrying the study, every slot bound: TICK opened by symbol (a request), ES by
// this chart's own symbol, the others by chart number; VWAP and delta shown. With
// `tick_unknown` the host has no chart for the TICK symbol.
std::unique_ptr<StudyHost> make_scenario(bool tick_unknown = false) {
    emu::Chart chart = emu::make_chart(1, "ESZ26.CME", 60);
    chart.time_zone = chart_zone;
    for (int i = 0; i < 25; ++i) {
        const float close = 5000.0f + static_cast<float>(i % 5);
        emu::append_bar(chart, emu::Bar{wednesday_0925 + static_cast<HostDateTime>(i) * 60 * one_second, close - 1.0f,
                                        close + 1.5f, close - 1.5f, close, 100.0f, 40.0f, 60.0f});
    }
    auto h = std::make_unique<StudyHost>(std::move(chart), 3);
    StudyHost& s = *h;
    s->now = wednesday_0925 + 25 * 60 * one_second;
    if (!tick_unknown) s->symbol_library["TICK-NYSE"] = source_chart(0, "TICK-NYSE", 400.0f);
    const float levels[source_slot_count] = {0.0f, 1200.0f, 3.0e8f, 1.8f, 16.0f, 17.0f, 19.0f, 0.0f, 18000.0f};
    for (int slot = 1; slot < source_slot_count; ++slot) {
        if (slot == slot_es) continue;
        const std::int32_t number = 2 + slot;
        s->charts[number] =
            source_chart(number, source_labels[static_cast<std::size_t>(slot)].default_symbol, levels[slot]);
    }
    s.defaults();
    for (int slot = 1; slot < source_slot_count; ++slot) {
        if (slot != slot_es) set_source_chart(*s, slot, 2 + slot);
    }
    return h;
}

// A new minute on every chart, and the update the host makes for it: from the bar that
// just closed.
void append_minute(emu::Host& host) {
    for (auto& [number, chart] : host.charts) {
        if (chart.times.empty()) continue;
        const float close = chart.close.back() + 1.0f;
        emu::append_bar(chart, emu::Bar{chart.times.back() + 60 * one_second, close - 0.5f, close + 1.0f, close - 1.0f,
                                        close, 50.0f, 20.0f, 30.0f});
    }
    host.now += 60 * one_second;
}

void next_minute(StudyHost& h) {
    append_minute(*h);
    h.update(emu::bar_count(emu::study_chart(*h)) - 2);
}

template <typename Call>
CallOutcome observe(StudyHost& h, Call call) {
    const std::size_t log_before = h->log.size();
    const std::size_t deleted_before = h->delete_requests.size();
    const std::size_t requests_before = h->open_requests.size();
    call();
    CallOutcome out;
    if (const StudyState* state = h.state()) {
        out.has_state = true;
        out.state = *state;
    }
    out.log.assign(h->log.begin() + static_cast<std::ptrdiff_t>(log_before), h->log.end());
    out.deleted.assign(h->delete_requests.begin() + static_cast<std::ptrdiff_t>(deleted_before),
                       h->delete_requests.end());
    out.drawings.insert(h->drawings.entries.begin(), h->drawings.entries.end());
    out.series = h->study.series;
    if (h->open_requests.size() > requests_before) {
        out.requested = true;
        out.tick_request_symbol = h->open_requests.back().symbol;
    }
    return out;
}

std::string without_trailing_spaces(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

// `degraded` is `full` with one contiguous run of characters taken out (all of it, or
// none, included).
bool one_piece_missing(const std::string& full, const std::string& degraded) {
    if (degraded.size() > full.size()) return false;
    std::size_t prefix = 0;
    while (prefix < degraded.size() && degraded[prefix] == full[prefix]) ++prefix;
    std::size_t suffix = 0;
    while (suffix < degraded.size() - prefix &&
           degraded[degraded.size() - 1 - suffix] == full[full.size() - 1 - suffix]) {
        ++suffix;
    }
    return prefix + suffix >= degraded.size();
}

::testing::AssertionResult same_state(const StudyState& a, const StudyState& b) {
    for (std::size_t i = 0; i < a.sources.size(); ++i) {
        const ::testing::AssertionResult same = same_bits(a.sources[i], b.sources[i]);
        if (!same) return ::testing::AssertionFailure() << "slot " << i << ": " << same.message();
    }
    if (!same_bits(a.chart_flow, b.chart_flow)) return ::testing::AssertionFailure() << "chart flows differ";
    if (a.session_window.start_second != b.session_window.start_second ||
        a.session_window.end_second != b.session_window.end_second || a.upper_threshold != b.upper_threshold ||
        a.lower_threshold != b.lower_threshold || a.source_bindings.chart_numbers != b.source_bindings.chart_numbers ||
        a.source_bindings.is_this_chart != b.source_bindings.is_this_chart || a.last_closed_bar != b.last_closed_bar ||
        a.panel_line_count != b.panel_line_count) {
        return ::testing::AssertionFailure() << "state members differ";
    }
    return ::testing::AssertionSuccess();
}

// Exactly the same outcome, texts included.
::testing::AssertionResult same_outcome(const CallOutcome& got, const CallOutcome& want) {
    if (got.has_state != want.has_state) return ::testing::AssertionFailure() << "state presence differs";
    if (got.has_state) {
        const ::testing::AssertionResult state = same_state(got.state, want.state);
        if (!state) return state;
    }
    if (got.series != want.series) return ::testing::AssertionFailure() << "output series differ";
    if (got.deleted != want.deleted) return ::testing::AssertionFailure() << "deletions differ";
    if (got.log.size() != want.log.size()) return ::testing::AssertionFailure() << "log lengths differ";
    for (std::size_t i = 0; i < got.log.size(); ++i) {
        if (got.log[i].text != want.log[i].text || got.log[i].show != want.log[i].show) {
            return ::testing::AssertionFailure()
                   << "log line " << i << ": \"" << got.log[i].text << "\" vs \"" << want.log[i].text << '"';
        }
    }
    if (got.drawings.size() != want.drawings.size()) return ::testing::AssertionFailure() << "drawing counts differ";
    for (const auto& [key, drawing] : want.drawings) {
        const auto it = got.drawings.find(key);
        if (it == got.drawings.end()) return ::testing::AssertionFailure() << "line " << key.second << " missing";
        if (it->second.text != drawing.text || it->second.font_face != drawing.font_face ||
            std::memcmp(&it->second.request, &drawing.request, sizeof drawing.request) != 0) {
            return ::testing::AssertionFailure()
                   << "line " << key.second << ": \"" << it->second.text << "\" vs \"" << drawing.text << '"';
        }
    }
    return ::testing::AssertionSuccess();
}

// The outcome of a call in which one allocation failed: the state, the series, the
// deletions and every drawing's fields as without the failure; of the texts, at most one
// log line or one drawing text (trailing padding aside) or font face has lost one piece;
// and a time-zone text the host could not hand over reads as empty, which adds the
// time-zone warning to the report lines it is compared on.
::testing::AssertionResult degraded_outcome(const CallOutcome& got, const CallOutcome& want) {
    if (got.has_state != want.has_state) return ::testing::AssertionFailure() << "state presence differs";
    if (got.has_state) {
        const ::testing::AssertionResult state = same_state(got.state, want.state);
        if (!state) return state;
    }
    if (got.series != want.series) return ::testing::AssertionFailure() << "output series differ";
    if (got.deleted != want.deleted) return ::testing::AssertionFailure() << "deletions differ";
    int pieces_lost = 0;
    if (got.log.size() != want.log.size()) return ::testing::AssertionFailure() << "log lengths differ";
    for (std::size_t i = 0; i < got.log.size(); ++i) {
        const std::string& line = got.log[i].text;
        const std::string& expected = want.log[i].text;
        if (got.log[i].show != want.log[i].show) return ::testing::AssertionFailure() << "log flag " << i;
        if (line == expected || line == expected + zone_warning) continue;
        if (!one_piece_missing(expected, line)) {
            return ::testing::AssertionFailure() << "log line " << i << ": \"" << line << "\" vs \"" << expected << '"';
        }
        ++pieces_lost;
    }
    if (got.drawings.size() != want.drawings.size()) return ::testing::AssertionFailure() << "drawing counts differ";
    for (const auto& [key, drawing] : want.drawings) {
        const auto it = got.drawings.find(key);
        if (it == got.drawings.end()) return ::testing::AssertionFailure() << "line " << key.second << " missing";
        if (std::memcmp(&it->second.request, &drawing.request, sizeof drawing.request) != 0) {
            return ::testing::AssertionFailure() << "line " << key.second << ": request fields differ";
        }
        const std::string text = without_trailing_spaces(it->second.text);
        const std::string expected = without_trailing_spaces(drawing.text);
        if (text != expected) {
            if (!one_piece_missing(expected, text)) {
                return ::testing::AssertionFailure()
                       << "line " << key.second << ": \"" << text << "\" vs \"" << expected << '"';
            }
            ++pieces_lost;
        }
        if (it->second.font_face != drawing.font_face) {
            if (!it->second.font_face.empty()) return ::testing::AssertionFailure() << "font face differs";
            ++pieces_lost;
        }
    }
    if (pieces_lost > 1) return ::testing::AssertionFailure() << pieces_lost << " texts lost a piece";
    return ::testing::AssertionSuccess();
}

std::int64_t live_blocks() { return heap_allocation_count() - heap_free_count(); }

// Allocations of a call, counted on a host where none fails.
template <typename Call>
std::int64_t allocations_of(Call call) {
    const std::int64_t before = heap_allocation_count();
    call();
    return heap_allocation_count() - before;
}

TEST(AllocationFailure, TheScenarioAllocatesStateTextsAndRequests) {
    // The sweeps below are only as good as the allocations their scenario makes.
    auto h = make_scenario();
    const std::int64_t full = allocations_of([&] { h->full(); });
    const CallOutcome first = observe(*h, [&] { h->full(); });
    EXPECT_TRUE(first.requested);
    EXPECT_EQ(first.tick_request_symbol, "TICK-NYSE");
    EXPECT_EQ(first.log.size(), 10u);
    EXPECT_EQ(first.drawings.size(), 8u);
    // The state, the report's lines, the panel's lines (one block), the request's text
    // and font face, and the host's two price texts.
    EXPECT_GE(full, 1 + 10 + 3 + 2);
    const std::int64_t update = allocations_of([&] { next_minute(*h); });
    EXPECT_GE(update, 3 + 2);
}

TEST(AllocationFailure, EachAllocationOfAFullCallFailingInTurn) {
    auto reference = make_scenario();
    const std::int64_t count = allocations_of([&] { reference->full(); });
    reference.reset();
    reference = make_scenario();
    const CallOutcome first = observe(*reference, [&] { reference->full(); });
    const CallOutcome second = observe(*reference, [&] { reference->full(); });
    const CallOutcome update = observe(*reference, [&] { next_minute(*reference); });
    reference.reset();
    auto tick_unknown = make_scenario(true);
    const CallOutcome first_without_tick = observe(*tick_unknown, [&] { tick_unknown->full(); });
    tick_unknown.reset();
    ASSERT_GT(count, 30);

    for (int k = 0; k < count; ++k) {
        SCOPED_TRACE("allocation " + std::to_string(k) + " of " + std::to_string(count));
        const std::int64_t live_before = live_blocks();
        {
            auto h = make_scenario();
            heap_fail_after(k);
            const CallOutcome failed = observe(*h, [&] { h->full(); });
            heap_fail_after(-1);
            if (!failed.has_state) {
                // Only the state is allocated first; without it the call ends quietly.
                EXPECT_EQ(k, 0);
                EXPECT_TRUE(failed.log.empty());
                EXPECT_TRUE(failed.drawings.empty());
                EXPECT_TRUE(failed.deleted.empty());
                EXPECT_FALSE(failed.requested);
                for (const auto& values : failed.series) {
                    for (float v : values) EXPECT_EQ(v, 0.0f);
                }
                EXPECT_TRUE(same_outcome(observe(*h, [&] { h->full(); }), first));
            } else if (failed.requested && failed.tick_request_symbol.empty()) {
                // The request went out without its symbol; the host found no chart for it
                // and the slot is off for this rebuild.
                EXPECT_TRUE(degraded_outcome(failed, first_without_tick));
                EXPECT_TRUE(same_outcome(observe(*h, [&] { h->full(); }), second));
            } else {
                EXPECT_TRUE(degraded_outcome(failed, first));
                EXPECT_TRUE(same_outcome(observe(*h, [&] { h->full(); }), second));
            }
            EXPECT_TRUE(same_outcome(observe(*h, [&] { next_minute(*h); }), update));
        }
        EXPECT_EQ(live_blocks(), live_before) << "blocks leaked";
    }
}

TEST(AllocationFailure, EachAllocationOfAnUpdateFailingInTurn) {
    auto reference = make_scenario();
    reference->full();
    const std::int64_t count = allocations_of([&] { next_minute(*reference); });
    reference.reset();
    reference = make_scenario();
    reference->full();
    const CallOutcome update = observe(*reference, [&] { next_minute(*reference); });
    const CallOutcome next = observe(*reference, [&] { next_minute(*reference); });
    reference.reset();
    ASSERT_GE(count, 3 + 2);  // the panel's lines, the request's text and font face, the host's price texts
    EXPECT_TRUE(update.log.empty()) << "an ordinary update writes no report";

    for (int k = 0; k < count; ++k) {
        SCOPED_TRACE("allocation " + std::to_string(k) + " of " + std::to_string(count));
        const std::int64_t live_before = live_blocks();
        {
            auto h = make_scenario();
            h->full();
            append_minute(**h);
            heap_fail_after(k);
            const CallOutcome failed = observe(*h, [&] { h->update(emu::bar_count(emu::study_chart(**h)) - 2); });
            heap_fail_after(-1);
            EXPECT_TRUE(degraded_outcome(failed, update));
            EXPECT_TRUE(same_outcome(observe(*h, [&] { next_minute(*h); }), next));
        }
        EXPECT_EQ(live_blocks(), live_before) << "blocks leaked";
    }
}

TEST(AllocationFailure, EveryAllocationFailingForAWholeCallLeavesNothingBehind) {
    // The process heap gives nothing at all for a call: with a state from before, the
    // call still runs to its end (texts empty) and the next call is as if nothing failed.
    const std::int64_t live_before = live_blocks();
    {
        auto reference = make_scenario();
        reference->full();
        next_minute(*reference);
        const CallOutcome next = observe(*reference, [&] { next_minute(*reference); });

        auto h = make_scenario();
        h->full();
        heap_fail_next(1000000);
        const CallOutcome starved = observe(*h, [&] { next_minute(*h); });
        heap_fail_next(0);
        EXPECT_TRUE(starved.has_state);
        EXPECT_EQ(starved.drawings.size(), 8u);
        for (const auto& [key, drawing] : starved.drawings) {
            EXPECT_EQ(drawing.text, "") << key.second;
            EXPECT_EQ(drawing.font_face, "") << key.second;
        }
        EXPECT_TRUE(same_outcome(observe(*h, [&] { next_minute(*h); }), next));
    }
    EXPECT_EQ(live_blocks(), live_before);
}

}  // namespace
}  // namespace kmi::test
