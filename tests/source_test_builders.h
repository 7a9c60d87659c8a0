// Test support for the source charts: charts of evenly spaced bars, views over a chart's
// vectors, the source inputs of our host, and a bit-for-bit comparison of records.
#ifndef KMI_TESTS_SOURCE_TEST_BUILDERS_H
#define KMI_TESTS_SOURCE_TEST_BUILDERS_H

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <functional>
#include <sstream>

#include "host/host_datetime.h"
#include "kmi_host/host_core/host_core.h"
#include "metrics/chart_flow.h"
#include "metrics/source_session.h"
#include "settings/source_slots.h"
#include "sources/source_view.h"

namespace kmi::test {

inline constexpr HostDateTime one_second = 1000000;

inline std::int64_t ms(HostDateTime t) { return to_milliseconds(t); }

// The prices of one bar.
struct Prices {
    float open = 0.0f;
    float high = 0.0f;
    float low = 0.0f;
    float close = 0.0f;
};

inline void add_bar(emu::Chart& chart, HostDateTime start, Prices p) {
    emu::append_bar(chart, emu::Bar{start, p.open, p.high, p.low, p.close, 10.0f, 4.0f, 6.0f});
}

// A chart of `count` bars `step_seconds` apart from `first`; bar i has close 100 + i.
inline emu::Chart evenly_spaced(std::int32_t number, const char* symbol, std::int32_t bar_seconds, HostDateTime first,
                                int count, std::int32_t step_seconds = 0) {
    emu::Chart chart = emu::make_chart(number, symbol, bar_seconds);
    const std::int32_t step = step_seconds > 0 ? step_seconds : bar_seconds;
    for (int i = 0; i < count; ++i) {
        const auto close = static_cast<float>(100 + i);
        add_bar(chart, first + static_cast<HostDateTime>(i) * step * one_second,
                Prices{close - 0.5f, close + 1.0f, close - 1.0f, close});
    }
    return chart;
}

// A view over the chart's own vectors, as prepare_source_views builds it from the host.
inline SourceView view_of(const emu::Chart& chart) {
    auto floats = [](const std::vector<float>& v) {
        return HostFloatArray{v.empty() ? nullptr : v.data(), static_cast<std::int32_t>(v.size()), 0.0f};
    };
    SourceView view;
    view.open = floats(chart.open);
    view.high = floats(chart.high);
    view.low = floats(chart.low);
    view.close = floats(chart.close);
    view.bar_times = HostDateTimeArray{chart.times.empty() ? nullptr : chart.times.data(),
                                       static_cast<std::int32_t>(chart.times.size()), 0, 0};
    view.bar_count = static_cast<std::int32_t>(chart.times.size());
    return view;
}

// Every slot off (empty symbol, chart-number input 0).
inline void clear_source_inputs(emu::Host& host) {
    for (int slot = 0; slot < source_slot_count; ++slot) {
        emu::set_input_text_value(emu::input(host, symbol_input(slot)), "");
        emu::input(host, chart_number_input(slot)).type = kmi_input_integer;
        set_input_int32(emu::input(host, chart_number_input(slot)), 0);
    }
}

inline void set_source_symbol(emu::Host& host, int slot, const char* symbol) {
    emu::set_input_text_value(emu::input(host, symbol_input(slot)), symbol);
}

inline void set_source_chart(emu::Host& host, int slot, std::int32_t chart) {
    emu::input(host, chart_number_input(slot)).type = kmi_input_integer;
    set_input_int32(emu::input(host, chart_number_input(slot)), chart);
}

inline void set_time_input(emu::Host& host, int index, double days) {
    HostInput& in = emu::input(host, index);
    in.type = kmi_input_time_of_day;
    set_input_double(in, days);
}

// Field by field, doubles compared by their bits, so 0.0 and -0.0 or two NaNs with
// different payloads would count as different.
inline ::testing::AssertionResult same_bits(const SourceSession& a, const SourceSession& b) {
    std::ostringstream diff;
    auto i64 = [&](const char* name, std::int64_t x, std::int64_t y) {
        if (x != y) diff << ' ' << name << ' ' << x << " vs " << y;
    };
    auto dbl = [&](const char* name, double x, double y) {
        if (std::bit_cast<std::uint64_t>(x) != std::bit_cast<std::uint64_t>(y)) {
            diff << ' ' << name << ' ' << x << " vs " << y;
        }
    };
    i64("next_bar", a.next_bar, b.next_bar);
    i64("consumed_bar_start_ms", a.consumed_bar_start_ms, b.consumed_bar_start_ms);
    i64("has_data", a.has_data, b.has_data);
    i64("bar_start_ms", a.bar_start_ms, b.bar_start_ms);
    i64("bar_end_ms", a.bar_end_ms, b.bar_end_ms);
    dbl("last_value", a.last_value, b.last_value);
    i64("session_day", a.session_day, b.session_day);
    dbl("session_open", a.session_open, b.session_open);
    dbl("session_high", a.session_high, b.session_high);
    dbl("session_low", a.session_low, b.session_low);
    i64("bars_at_or_above_upper", a.bars_at_or_above_upper, b.bars_at_or_above_upper);
    i64("bars_at_or_below_lower", a.bars_at_or_below_lower, b.bars_at_or_below_lower);
    i64("session_bars", a.session_bars, b.session_bars);
    dbl("sum_x", a.sum_x, b.sum_x);
    dbl("sum_y", a.sum_y, b.sum_y);
    dbl("sum_xx", a.sum_xx, b.sum_xx);
    dbl("sum_xy", a.sum_xy, b.sum_xy);
    dbl("session_last_value", a.session_last_value, b.session_last_value);
    i64("session_last_bar_start_ms", a.session_last_bar_start_ms, b.session_last_bar_start_ms);
    i64("has_prior_close", a.has_prior_close, b.has_prior_close);
    dbl("prior_session_close", a.prior_session_close, b.prior_session_close);
    if (diff.str().empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "records differ:" << diff.str();
}

inline ::testing::AssertionResult same_bits(const ChartFlow& a, const ChartFlow& b) {
    auto bits = [](double x) { return std::bit_cast<std::uint64_t>(x); };
    if (a.session_day == b.session_day && bits(a.cum_delta) == bits(b.cum_delta) &&
        bits(a.sum_price_volume) == bits(b.sum_price_volume) && bits(a.sum_volume) == bits(b.sum_volume) &&
        bits(a.last_close) == bits(b.last_close) && a.has_data == b.has_data) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "chart flows differ";
}

}  // namespace kmi::test

#endif
