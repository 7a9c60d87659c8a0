#include "kmi_host/output_files/page_data.h"

#include <algorithm>
#include <utility>

#include "host/host_datetime.h"
#include "host/host_text.h"
#include "kmi_host/host_core/input_values.h"
#include "kmi_host/host_core/source_slot_names.h"
#include "kmi_host/text/date_time_text.h"
#include "kmi_host/text/names.h"
#include "settings/source_slots.h"

namespace kmi::emu {
namespace {

std::optional<float> float_input_named(const Host& host, const std::string& name) {
    for (const HostInput& input : host.study.inputs) {
        if (input.type == kmi_input_float && name == text_chars(input.name)) return input_float(input);
    }
    return std::nullopt;
}

// Whether the study had a chart for the slot, as it resolves one: a chart number given wins;
// otherwise a symbol, the chart's own (in any case) or one the host can open.
bool slot_has_chart(const Host& host, int slot) {
    const HostInput& number = host.study.inputs.at(static_cast<std::size_t>(chart_number_input(slot)));
    if (!input_holds_text(number.type) && !input_holds_double(number.type) && number.type != kmi_input_float &&
        input_int32(number) > 0) {
        return true;
    }
    const HostInput& symbol_in = host.study.inputs.at(static_cast<std::size_t>(symbol_input(slot)));
    const char* symbol = input_holds_text(symbol_in.type) ? input_text(symbol_in) : nullptr;
    if (symbol == nullptr || *symbol == '\0') return false;
    if (lower_ascii(symbol) == lower_ascii(host.charts.at(host.study.chart_number).symbol)) return true;
    return host.symbol_library.count(symbol) != 0;
}

// The session days of `bars` bars whose times `time_at` gives.
template <typename TimeAt>
std::vector<PageDay> days_of(const Host& host, std::size_t bars, TimeAt time_at) {
    const std::int64_t start = input_second_of_day(host.study.inputs.at(8));
    const std::int64_t end = input_second_of_day(host.study.inputs.at(9));
    std::vector<PageDay> days;
    std::int64_t last_day = 0;
    constexpr std::int64_t ms_per_day = 86400000;
    for (std::size_t bar = 0; bar < bars; ++bar) {
        // A session is known by its day number: whole milliseconds divided by one day,
        // truncated; the second of the day is the remainder, truncated.
        const std::int64_t ms = kmi::to_milliseconds(time_at(bar));
        const std::int64_t second = ms % ms_per_day / 1000;
        if (second < start || second >= end) continue;
        const std::int64_t day = ms / ms_per_day;
        if (days.empty() || day != last_day) days.push_back(PageDay{format_date(day), 0});
        days.back().bar = static_cast<std::int32_t>(bar);
        last_day = day;
    }
    return days;
}

// What the page takes of the host besides the bars, the series' values and the session days.
ChartPageData page_summary(const Host& host) {
    const StudyInstance& study = host.study;
    const Chart& chart = host.charts.at(study.chart_number);
    ChartPageData data;
    data.study_name = text_chars(study.study_name);
    data.symbol = chart.symbol;
    data.bar_seconds = chart.bar_seconds;
    data.region_height_px = host.region_bottom_px - host.region_top_px;
    data.price_format = chart.price_format;
    for (const HostOutputSeries& output : study.outputs) {
        PageSeries series;
        series.name = text_chars(output.name);
        series.colour = output.colour;
        data.series.push_back(std::move(series));
    }
    data.drawings = page_drawings(host);
    data.tick_upper_threshold = float_input_named(host, "TICK Upper Threshold");
    data.tick_lower_threshold = float_input_named(host, "TICK Lower Threshold");
    data.session_start_second = input_second_of_day(study.inputs.at(8));
    data.session_end_second = input_second_of_day(study.inputs.at(9));
    const auto none = [](const std::vector<float>& volumes) {
        return std::all_of(volumes.begin(), volumes.end(), [](float v) { return v == 0.0f; });
    };
    data.no_bid_ask_volume = !chart.close.empty() && none(chart.bid_volume) && none(chart.ask_volume);
    for (int slot = 0; slot < source_slot_count; ++slot) {
        if (!slot_has_chart(host, slot)) data.slots_off.emplace_back(source_slot_names[static_cast<std::size_t>(slot)]);
    }
    return data;
}

}  // namespace

std::vector<PageDrawing> page_drawings(const Host& host) {
    std::vector<PageDrawing> drawings;
    for (const StudyDrawing& shown : study_drawings_top_down(host)) {
        const DrawingRequest& r = shown.drawing->request;
        PageDrawing page;
        page.line_number = shown.line_number;
        page.text = shown.drawing->text;
        page.font_face = shown.drawing->font_face;
        page.font_size = r.font_size;
        page.text_color = r.text_color;
        page.background_color = r.background_color;
        page.horizontal_position = r.horizontal_position;
        page.vertical_position = r.vertical_position;
        page.text_alignment = r.text_alignment;
        drawings.push_back(std::move(page));
    }
    return drawings;
}

ChartPageData chart_page_summary(const Host& host) {
    ChartPageData data = page_summary(host);
    data.days = session_days(host);
    return data;
}

ChartPageData chart_page_tail(const Host& host, std::int32_t from_bar) {
    ChartPageData data = page_summary(host);
    const Chart& chart = host.charts.at(host.study.chart_number);
    const std::size_t from = std::min(static_cast<std::size_t>(std::max(from_bar, 0)), chart.times.size());
    const auto tail = [from](const auto& values) {
        return std::vector(values.begin() + static_cast<std::ptrdiff_t>(from), values.end());
    };
    data.times = tail(chart.times);
    data.open = tail(chart.open);
    data.high = tail(chart.high);
    data.low = tail(chart.low);
    data.close = tail(chart.close);
    data.volume = tail(chart.volume);
    for (std::size_t i = 0; i < data.series.size(); ++i) {
        std::vector<float>& values = data.series[i].values;
        values.assign(data.times.size(), 0.0f);
        if (i < host.study.series.size() && host.study.series[i].size() > from) {
            const std::vector<float>& study_values = host.study.series[i];
            std::copy_n(study_values.begin() + static_cast<std::ptrdiff_t>(from),
                        std::min(study_values.size() - from, values.size()), values.begin());
        }
    }
    data.days = session_days(host, bars_of(chart, from));
    for (PageDay& day : data.days) day.bar += static_cast<std::int32_t>(from);
    return data;
}

void take_page_bars(ChartPageData& data, Host& host) {
    StudyInstance& study = host.study;
    Chart& chart = host.charts.at(study.chart_number);
    const std::size_t bars = chart.times.size();
    for (std::size_t i = 0; i < data.series.size(); ++i) {
        std::vector<float>& values = data.series[i].values;
        if (i < study.series.size()) values = std::move(study.series[i]);
        values.resize(bars, 0.0f);
    }
    data.times = std::move(chart.times);
    data.open = std::move(chart.open);
    data.high = std::move(chart.high);
    data.low = std::move(chart.low);
    data.close = std::move(chart.close);
    data.volume = std::move(chart.volume);
}

std::vector<PageDay> session_days(const Host& host) {
    const Chart& chart = host.charts.at(host.study.chart_number);
    return days_of(host, chart.times.size(), [&chart](std::size_t bar) { return chart.times[bar]; });
}

std::vector<PageDay> session_days(const Host& host, const std::vector<Bar>& bars) {
    return days_of(host, bars.size(), [&bars](std::size_t bar) { return bars[bar].time; });
}

}  // namespace kmi::emu
