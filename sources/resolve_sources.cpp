#include "sources/resolve_sources.h"

#include <cstring>

#include "host/host_text.h"
#include "settings/input_indices.h"
#include "settings/input_readers.h"
#include "settings/source_slots.h"

namespace kmi {
namespace {

// What every open_chart request of one resolution shares: this chart's session times
// and time-zone text, the bar length and the hide flag for the charts the study opens.
struct RequestCommon {
    HostSessionTimes session_times{};
    bool have_session_times = false;
    HostText time_zone{};
    std::int32_t bar_seconds = 0;
    bool hide_charts = false;
};

char ascii_upper(char c) noexcept { return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c; }

// Equal when both have the same length and every pair of bytes matches after ASCII
// upper-casing; both are walked to the end, so a prefix is not equal.
bool same_symbol(const char* a, const char* b) noexcept {
    if (a == nullptr) a = "";
    if (b == nullptr) b = "";
    for (;; ++a, ++b) {
        if (ascii_upper(*a) != ascii_upper(*b)) return false;
        if (*a == '\0') return true;
    }
}

RequestCommon fetch_request_common(HostInterface& host) noexcept {
    RequestCommon common;
    std::memset(&common.session_times, 0, sizeof common.session_times);
    if (host.get_session_times != nullptr) {
        common.have_session_times = host.get_session_times(&host, host.this_chart_number, &common.session_times) != 0;
    }
    common.time_zone = make_text();
    if (host.get_time_zone_text != nullptr) host.get_time_zone_text(&host, host.this_chart_number, &common.time_zone);
    common.bar_seconds = read_int(input_at(host, input_opened_chart_bar_seconds));
    common.hide_charts = read_yes_no(input_at(host, input_hide_opened_charts));
    return common;
}

// The request for one slot, every field at its place. The whole record starts zeroed, so
// the bytes the host's layout leaves unwritten carry nothing from the stack.
void fill_request(ChartOpenRequest& request, const RequestCommon& common, std::int32_t remembered_chart,
                  const char* symbol) noexcept {
    std::memset(&request, 0, sizeof request);
    request.request_code = 5;
    request.remembered_chart_number = remembered_chart;
    request.request_kind = 2;
    request.symbol = make_text();
    assign(request.symbol, symbol, static_cast<std::int64_t>(std::strlen(symbol)));
    request.value_at_40 = 0;
    request.bar_seconds = common.bar_seconds;
    for (int k = 0; k < 4; ++k) {
        request.session_times[k] = common.have_session_times ? common.session_times.times[k] : 0.0;
    }
    request.value_at_96 = 1;
    request.value_at_100 = 0;
    request.value_at_104 = 0;
    request.session_value_3 = common.have_session_times ? common.session_times.values[2] : 1;
    request.value_at_112 = 1;
    request.session_value_1 = common.have_session_times ? common.session_times.values[0] : 1;
    request.hide_chart = common.hide_charts ? 1 : 0;
    request.value_at_124 = 0;
    request.value_at_130 = 0;
    request.time_zone = make_text();
    assign_text(request.time_zone, common.time_zone);
    request.value_at_160 = 0;
}

// Asks the host to open (or find) a chart for the symbol. A positive result is
// remembered for the slot's next request; 0 or less leaves the slot off.
std::int32_t open_source_chart(HostInterface& host, const RequestCommon& common, std::int32_t& remembered_chart,
                               const char* symbol) noexcept {
    ChartOpenRequest request;
    fill_request(request, common, remembered_chart, symbol);
    const std::int32_t result = host.open_chart != nullptr ? host.open_chart(&host, &request) : 0;
    release(request.symbol);
    release(request.time_zone);
    if (result <= 0) return 0;
    remembered_chart = result;
    return result;
}

std::int32_t resolve_slot(HostInterface& host, const RequestCommon& common, int slot) noexcept {
    std::int32_t no_host_int = 0;
    std::int32_t* kept =
        host.persistent_int != nullptr ? host.persistent_int(&host, remembered_chart_key(slot)) : nullptr;
    std::int32_t& remembered_chart = kept != nullptr ? *kept : no_host_int;

    const char* symbol = read_text(input_at(host, symbol_input(slot)));
    // A chart number given by the user wins, unchecked; the symbol is not looked at.
    const std::int32_t chart_number = read_int(input_at(host, chart_number_input(slot)));
    if (chart_number > 0) return chart_number;
    if (symbol[0] == '\0') return 0;  // off: no request, the remembered chart stays
    if (same_symbol(symbol, host.this_chart_symbol)) return host.this_chart_number;
    return open_source_chart(host, common, remembered_chart, symbol);
}

}  // namespace

void resolve_sources(HostInterface& host, SourceBindings& bindings) noexcept {
    RequestCommon common = fetch_request_common(host);
    for (int slot = 0; slot < source_slot_count; ++slot) {
        const auto i = static_cast<std::size_t>(slot);
        bindings.chart_numbers[i] = resolve_slot(host, common, slot);
        // Whichever way the number was found: a slot on this chart reads its own arrays.
        bindings.is_this_chart[i] = bindings.chart_numbers[i] == host.this_chart_number;
    }
    release(common.time_zone);
}

}  // namespace kmi
