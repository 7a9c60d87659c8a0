#include "sources/diagnostics_report.h"

#include "host/host_datetime.h"
#include "host/host_text.h"
#include "host/numeric.h"
#include "settings/input_readers.h"
#include "settings/source_slots.h"

namespace kmi {
namespace {

// The build's date ("Oct 17 2026") and time ("14:58:45").
constexpr char build_date[] = __DATE__;
constexpr char build_time[] = __TIME__;

void log_line(HostInterface& host, const HostText& text, std::int32_t show) noexcept {
    if (host.log_message != nullptr) host.log_message(&host, text_chars(text), show);
}

HostText chart_text(HostInterface& host, HostChartTextFn operation, std::int32_t chart) noexcept {
    HostText text = make_text();
    if (operation != nullptr) operation(&host, chart, &text);
    return text;
}

char ascii_upper(char c) noexcept { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Equal ignoring the case of ASCII letters; an absent text counts as empty.
bool same_ignoring_case(const HostText& a, const HostText& b) noexcept {
    const char* x = text_chars(a);
    const char* y = text_chars(b);
    for (; *x != '\0' && *y != '\0'; ++x, ++y) {
        if (ascii_upper(*x) != ascii_upper(*y)) return false;
    }
    return *x == *y;
}

void write_slot_line(HostInterface& host, const SourceBindings& bindings, const SourceViews& views, int slot,
                     const HostText& chart_time_zone) noexcept {
    const auto i = static_cast<std::size_t>(slot);
    HostText line = make_text();
    if (!views.source_resolved[i]) {
        format(line, "   %-4s off (no symbol, or the host could not open a chart for \"%s\")", source_short_names[i],
               read_text(input_at(host, symbol_input(slot))));
        log_line(host, line, 0);
        release(line);
        return;
    }
    const std::int32_t chart = bindings.chart_numbers[i];
    const bool this_chart = bindings.is_this_chart[i];
    const SourceView& view = views.views[i];
    HostText symbol = make_text();
    if (this_chart) {
        if (host.this_chart_symbol != nullptr) format(symbol, "%s", host.this_chart_symbol);
    } else {
        release(symbol);
        symbol = chart_text(host, host.get_chart_symbol, chart);
    }
    const std::int32_t bar_seconds = saturate_i32(views.source_bar_period_ms[i] / 1000);
    format(line, "   %-4s chart #%d%s  %s  bars %d, bar seconds %d", source_short_names[i], chart,
           this_chart ? " (this chart)" : "", text_chars(symbol), view.bar_count, bar_seconds);
    release(symbol);
    if (view.bar_count > 0) {
        const DateTimeParts last =
            to_date_time_parts(host_at(view.bar_times, view.bar_count - 1), round_to_millisecond);
        append_format(line, ", last bar %04d-%02d-%02d %02d:%02d", last.year, last.month, last.day, last.hour,
                      last.minute);
    } else {
        append_format(line, "%s", ", no data yet (loading, or the feed does not carry this symbol)");
    }
    if (!this_chart) {
        HostText time_zone = chart_text(host, host.get_time_zone_text, chart);
        if (!same_ignoring_case(time_zone, chart_time_zone)) {
            append_format(line, "%s", "  WARNING: its time zone differs from this chart's");
        }
        release(time_zone);
    }
    log_line(host, line, 0);
    release(line);
}

}  // namespace

void write_diagnostics_report(HostInterface& host, const SourceBindings& bindings, const SessionWindow& window,
                              const SourceViews& views) noexcept {
    HostText header = make_text();
    format(header, "Keelwick Market Internals BUILD %s %s | chart bars %d | context only, not a signal", build_date,
           build_time, host.bar_count);
    log_line(host, header, 0);
    release(header);

    HostText chart_time_zone = chart_text(host, host.get_time_zone_text, host.this_chart_number);
    for (int slot = 0; slot < source_slot_count; ++slot) write_slot_line(host, bindings, views, slot, chart_time_zone);
    release(chart_time_zone);

    if (window.start_second >= window.end_second) {
        HostText error = make_text();
        format(error, "%s",
               "Keelwick Market Internals: RTH Start must be before RTH End (the cash session, chart time zone).");
        log_line(host, error, 1);
        release(error);
    }
}

}  // namespace kmi
