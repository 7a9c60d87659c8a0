#include "kmi_host/output_files/chart_page.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <utility>

#include "host/host_text.h"
#include "kmi_host/host_core/input_values.h"
#include "kmi_host/replay/file_plan.h"
#include "kmi_host/replay/replay.h"
#include "kmi_host/text/date_time_text.h"
#include "kmi_host/text/json_text.h"
#include "settings/source_slots.h"

namespace kmi::emu {

// The page's own script and style sheet (page/chart-page.js and page/chart-page.css),
// embedded by the build.
extern const char* const chart_page_script;
extern const char* const chart_page_style;

namespace {

const char* const library_script_file = "uPlot.iife.min.js";
const char* const library_style_file = "uPlot.min.css";
const char* const library_notice_file = "LICENSE";

std::optional<std::string> read_whole_file(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return text.str();
}

std::optional<float> float_input_named(const Host& host, const std::string& name) {
    for (const HostInput& input : host.study.inputs) {
        if (input.type == kmi_input_float && name == text_chars(input.name)) return input_float(input);
    }
    return std::nullopt;
}

Json drawings_json(const std::vector<PageDrawing>& drawings) {
    Json out = Json::array();
    for (const PageDrawing& d : drawings) {
        out.push_back(Json{{"line_number", d.line_number},
                           {"text", d.text},
                           {"font_face", d.font_face},
                           {"font_size", d.font_size},
                           {"text_color", d.text_color},
                           {"background_color", d.background_color},
                           {"horizontal_position", d.horizontal_position},
                           {"horizontal_days", static_cast<double>(d.horizontal_position) / us_per_day},
                           {"vertical_position", json_number(d.vertical_position)},
                           {"text_alignment", d.text_alignment}});
    }
    return out;
}

// Safe inside <script> and <style> elements: "<" never appears as itself, so neither
// "</script>" nor "<!--" can end or change the element.
std::string script_safe(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '<') {
            out += "\\u003c";
        } else {
            out += c;
        }
    }
    return out;
}

// A library file embedded in an element: a "</" sequence is split so that it cannot close
// the element ("<\/" means the same in script strings and regular expressions).
std::string embedded_library_text(const std::string& text, const std::string& closing) {
    std::string out;
    std::size_t from = 0;
    for (std::size_t at = text.find("</"); at != std::string::npos; at = text.find("</", at + 2)) {
        out.append(text, from, at - from);
        std::string ahead = text.substr(at + 2, closing.size());
        std::transform(ahead.begin(), ahead.end(), ahead.begin(),
                       [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
        out += ahead == closing ? "<\\/" : "</";
        from = at + 2;
    }
    out.append(text, from, std::string::npos);
    return out;
}

// The library's notice as a comment at the head of its style sheet and of its script: nothing
// in it can end the comment or either element.
std::string notice_comment(const std::string& notice) {
    std::string text;
    for (std::size_t i = 0; i < notice.size(); ++i) {
        text += notice[i];
        if (notice[i] == '*' && i + 1 < notice.size() && notice[i + 1] == '/') text += ' ';
    }
    return "/*! The charting library uPlot, embedded below, under its licence:\n\n" +
           embedded_library_text(embedded_library_text(text, "script"), "style") + "\n*/\n";
}

// The study's drawings on its chart, top to bottom, then by line number.
std::vector<PageDrawing> page_drawings(const Host& host) {
    std::vector<PageDrawing> drawings;
    for (const auto& [key, drawing] : host.drawings) {
        if (key.first != host.study.chart_number) continue;
        const DrawingRequest& r = drawing.request;
        PageDrawing page;
        page.line_number = key.second;
        page.text = drawing.text;
        page.font_face = drawing.font_face;
        page.font_size = r.font_size;
        page.text_color = r.text_color;
        page.background_color = r.background_color;
        page.horizontal_position = r.horizontal_position;
        page.vertical_position = r.vertical_position;
        page.text_alignment = r.text_alignment;
        drawings.push_back(std::move(page));
    }
    std::stable_sort(drawings.begin(), drawings.end(), [](const PageDrawing& a, const PageDrawing& b) {
        if (a.vertical_position != b.vertical_position) return a.vertical_position > b.vertical_position;
        return a.line_number < b.line_number;
    });
    return drawings;
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

// The chart's bars from `from` on.
std::vector<Bar> bars_of(const Chart& chart, std::size_t from = 0) {
    std::vector<Bar> bars(chart.times.size() - std::min(from, chart.times.size()));
    for (std::size_t k = 0; k < bars.size(); ++k) {
        const std::size_t i = from + k;
        bars[k] = Bar{chart.times[i], chart.open[i],   chart.high[i],       chart.low[i],
                      chart.close[i], chart.volume[i], chart.bid_volume[i], chart.ask_volume[i]};
    }
    return bars;
}

// The chart without its bars.
Chart without_bars(const Chart& chart) {
    Chart empty = make_chart(chart.number, chart.symbol, chart.bar_seconds);
    empty.time_zone = chart.time_zone;
    empty.price_format = chart.price_format;
    empty.session_times = chart.session_times;
    empty.bar_period = chart.bar_period;
    return empty;
}

ReplayFeed feed_of(const Chart& chart) {
    ReplayFeed feed;
    feed.symbol = chart.symbol;
    feed.bar_seconds = chart.bar_seconds;
    feed.bars = bars_of(chart);
    return feed;
}

// The clock of the last call a replay makes for the bar live: its close stage, three
// quarters of its length in, or the last stage before the next bar starts.
HostDateTime closing_clock(const ReplayFeed& feed, std::size_t bar) {
    const HostDateTime period = static_cast<HostDateTime>(feed.bar_seconds) * us_per_second;
    const HostDateTime start = feed.bars[bar].time;
    for (int stage = 3; stage > 0; --stage) {
        const HostDateTime clock = start + period * stage / 4;
        if (bar + 1 >= feed.bars.size() || clock < feed.bars[bar + 1].time) return clock;
    }
    return start;
}

void copy_input_values(const Host& from, Host& to) {
    for (std::size_t i = 0; i < from.study.inputs.size() && i < to.study.inputs.size(); ++i) {
        const HostInput& source = from.study.inputs[i];
        HostInput& target = to.study.inputs[i];
        set_input_text_value(target, input_holds_text(source.type) ? input_text(source) : nullptr);
        target.type = source.type;
        if (!input_holds_text(source.type)) std::memcpy(target.value, source.value, sizeof target.value);
    }
}

}  // namespace

void ClosingHostEnd::operator()(Host* host) const noexcept {
    try {
        if (state_is_set(*host)) call_study(*host, CallKind::last);
    } catch (...) {
        // The last call only frees the study's state: a failure there has nothing to tell.
    }
    destroy_host_values(*host);
    delete host;
}

ClosingPanels prepare_closing_panels(const Host& host, std::vector<PageDay> days, const ShownFeeds* shown) {
    ClosingPanels work;
    work.days = std::move(days);
    if (work.days.empty() || host.study_function == nullptr) return work;
    const Chart& chart = host.charts.at(host.study.chart_number);
    // Without the replay's feeds, copies of the charts' bars stand for them.
    if (shown == nullptr) {
        work.copies.reserve(1 + host.symbol_library.size());
        work.feeds.chart = &work.copies.emplace_back(feed_of(chart));
        for (const auto& [symbol, library_chart] : host.symbol_library) {
            work.feeds.library[symbol] = &work.copies.emplace_back(feed_of(library_chart));
        }
    } else {
        work.feeds = *shown;
    }
    work.scratch.reset(make_host(host.study_function, without_bars(chart), host.study.study_id).release());
    Host& scratch = *work.scratch;
    for (const auto& [symbol, library_chart] : host.symbol_library) {
        scratch.symbol_library[symbol] = without_bars(library_chart);
    }
    scratch.region_top_px = host.region_top_px;
    scratch.region_bottom_px = host.region_bottom_px;
    if (call_study(scratch, CallKind::defaults)) {
        copy_input_values(host, scratch);
    } else {
        work.scratch.reset();
    }
    return work;
}

// The study's panel at each day's last session bar: the first day by a full recalculation,
// each later one by an update from the bar the call before ended on.
std::vector<PageDayPanel> run_closing_panels(ClosingPanels& work) {
    std::vector<PageDayPanel> panels;
    if (!work.scratch) return panels;
    Host* scratch = work.scratch.get();
    const ShownFeeds& feeds = work.feeds;
    const ReplayFeed& chart_feed = *feeds.chart;
    std::int32_t bars_before = 0;
    for (const PageDay& day : work.days) {
        if (day.bar < bars_before || static_cast<std::size_t>(day.bar) >= chart_feed.bars.size()) continue;
        const HostDateTime clock = closing_clock(chart_feed, static_cast<std::size_t>(day.bar));
        scratch->now = clock;
        show_feed_at(study_chart(*scratch), chart_feed, clock);
        for (auto& [symbol, library_chart] : scratch->symbol_library) {
            show_feed_at(library_chart, *feeds.library.at(symbol), clock);
        }
        for (auto& [number, opened] : scratch->charts) {
            const auto feed = feeds.library.find(opened.symbol);
            if (number != scratch->study.chart_number && feed != feeds.library.end()) {
                show_feed_at(opened, *feed->second, clock);
            }
        }
        call_study(*scratch, panels.empty() ? CallKind::full : CallKind::update, std::max(bars_before - 1, 0));
        bars_before = bar_count(study_chart(*scratch));
        panels.push_back(PageDayPanel{day.date, page_drawings(*scratch)});
    }
    work.scratch.reset();
    return panels;
}

namespace {

std::string html_escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string page_heading(const ChartPageData& data) {
    std::string heading = data.symbol.empty() ? std::string("chart") : data.symbol;
    if (data.bar_seconds > 0) {
        heading += data.bar_seconds % 60 == 0 ? "  " + std::to_string(data.bar_seconds / 60) + "-minute bars"
                                              : "  " + std::to_string(data.bar_seconds) + "-second bars";
    }
    if (!data.times.empty()) {
        heading += "  " + format_date_time(data.times.front()) + " to " + format_date_time(data.times.back());
    }
    return heading;
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
    for (int slot = 0; slot < source_slot_count; ++slot) {
        if (!slot_has_chart(host, slot)) data.slots_off.emplace_back(source_slot_names[static_cast<std::size_t>(slot)]);
    }
    return data;
}

}  // namespace

ChartPageData chart_page_summary(const Host& host, bool closing, const ShownFeeds* shown) {
    ChartPageData data = page_summary(host);
    data.days = session_days(host);
    if (closing) {
        ClosingPanels work = prepare_closing_panels(host, data.days, shown);
        data.day_panels = run_closing_panels(work);
    }
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

ChartPageData chart_page_data(const Host& host) {
    ChartPageData data = chart_page_tail(host, 0);
    ClosingPanels work = prepare_closing_panels(host, data.days, nullptr);
    data.day_panels = run_closing_panels(work);
    return data;
}

std::optional<ChartLibrary> find_chart_library(const std::filesystem::path& program_folder) {
    std::error_code error;
    std::filesystem::path folder = std::filesystem::absolute(program_folder, error);
    if (error) folder = program_folder;
    while (true) {
        const std::filesystem::path package = folder / "page" / "node_modules" / "uplot";
        for (const auto& [place, notice_folder] :
             {std::pair{folder / "uplot", folder / "uplot"}, std::pair{package / "dist", package}}) {
            auto script = read_whole_file(place / library_script_file);
            auto style = script ? read_whole_file(place / library_style_file) : std::nullopt;
            auto notice = style ? read_whole_file(notice_folder / library_notice_file) : std::nullopt;
            if (notice) return ChartLibrary{std::move(*script), std::move(*style), place, std::move(*notice)};
        }
        if (!folder.has_relative_path() || folder.parent_path() == folder) break;
        folder = folder.parent_path();
    }
    return std::nullopt;
}

namespace {

// The page's data block, written piece by piece: the small parts as the JSON library writes
// them, the long arrays (times, prices, series) straight from their values, in the same form.
// Every piece is made safe for a script element on its own ("<" written as \u003c).
struct PageJson {
    OutputSink& sink;
    bool for_script = true;
    bool first = true;

    void piece(const std::string& text) { put(sink, for_script ? script_safe(text) : text); }
    void key(const char* name) {
        put(sink, first ? "\"" : ",\"");
        put(sink, name);
        put(sink, "\":");
        first = false;
    }
    void value(const char* name, const Json& json) {
        key(name);
        piece(dump_compact(json));
    }
    void floats(const char* name, const std::vector<float>& values) {
        key(name);
        put_float_array(values);
    }
    void put_float_array(const std::vector<float>& values) {
        put(sink, "[");
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (i > 0) put(sink, ",");
            const bool finite = std::isfinite(values[i]);
            if (!finite) put(sink, "\"");
            put_shortest(sink, values[i]);
            if (!finite) put(sink, "\"");
        }
        put(sink, "]");
    }
};

}  // namespace

void write_chart_page_json(OutputSink& sink, const ChartPageData& data, bool for_script) {
    PageJson json{sink, for_script};
    put(sink, "{");
    json.value("study_name", data.study_name);
    json.value("symbol", data.symbol);
    json.value("bar_seconds", data.bar_seconds);
    json.value("region_height_px", data.region_height_px);
    json.value("price_format", data.price_format);
    json.key("times");
    put(sink, "[");
    DateTimeWriter times;
    for (std::size_t i = 0; i < data.times.size(); ++i) {
        put(sink, i == 0 ? "\"" : ",\"");
        put(sink, times.text(data.times[i]));
        put(sink, "\"");
    }
    put(sink, "]");
    json.floats("open", data.open);
    json.floats("high", data.high);
    json.floats("low", data.low);
    json.floats("close", data.close);
    json.floats("volume", data.volume);
    json.key("series");
    put(sink, "[");
    for (std::size_t i = 0; i < data.series.size(); ++i) {
        PageJson entry{sink, for_script};
        put(sink, i == 0 ? "{" : ",{");
        entry.value("index", i);
        entry.value("name", data.series[i].name);
        entry.value("colour", data.series[i].colour);
        entry.floats("values", data.series[i].values);
        put(sink, "}");
    }
    put(sink, "]");
    json.value("drawings", drawings_json(data.drawings));
    Json thresholds = Json::object();
    if (data.tick_upper_threshold) thresholds["upper"] = json_number(*data.tick_upper_threshold);
    if (data.tick_lower_threshold) thresholds["lower"] = json_number(*data.tick_lower_threshold);
    json.value("tick_thresholds", thresholds);
    Json days = Json::array();
    for (const PageDay& day : data.days) {
        Json entry{{"date", day.date}, {"bar", day.bar}};
        const auto panel = std::find_if(data.day_panels.begin(), data.day_panels.end(),
                                        [&day](const PageDayPanel& p) { return p.date == day.date; });
        if (panel != data.day_panels.end()) entry["panel"] = drawings_json(panel->drawings);
        days.push_back(std::move(entry));
    }
    json.value("days", days);
    json.value("slots_off", data.slots_off);
    if (!data.live_events.empty()) {
        json.value("live", Json{{"events", data.live_events}, {"version", data.live_version}});
    }
    put(sink, "}");
}

std::string chart_page_json(const ChartPageData& data) {
    OutputSink sink;
    write_chart_page_json(sink, data, false);
    return std::move(sink.text);
}

void write_chart_page(OutputSink& sink, const ChartPageData& data, const std::optional<ChartLibrary>& library) {
    const std::string title = html_escaped(page_heading(data));
    std::string page = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    page += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
    page += "<title>" + html_escaped(data.study_name.empty() ? std::string("Study") : data.study_name) + "  " + title +
            "</title>\n";
    if (library) {
        page += "<style>\n" + notice_comment(library->notice) + embedded_library_text(library->style, "style") +
                "\n</style>\n";
    }
    page += "<style>\n" + std::string(chart_page_style) + "</style>\n</head>\n<body>\n";
    page += "<header><h1>" + html_escaped(data.study_name) + "</h1><p id=\"heading\">" + title + "</p>";
    if (library) {
        page +=
            "<nav id=\"ranges\"><button data-range=\"recent\">Recent bars</button>"
            "<button data-range=\"day\">Last day</button><button data-range=\"all\">All bars</button>"
            "<span class=\"hint\">drag across a pane to zoom, wheel to zoom in or out, double-click for "
            "all bars</span></nav>";
    }
    page += "</header>\n";
    if (!library) {
        page +=
            "<div id=\"missing-library\" role=\"alert\"><h2>The chart could not be drawn</h2>"
            "<p>kmi-host did not find the charting library uPlot when it wrote this page: it looks for "
            "<code>uPlot.iife.min.js</code> and <code>uPlot.min.css</code> with the library's "
            "<code>LICENSE</code> in <code>uplot/</code> beside the program, or in "
            "<code>page/node_modules/uplot/dist/</code> (<code>LICENSE</code> in "
            "<code>page/node_modules/uplot/</code>) of the program's folder or a folder above it. "
            "The release archive holds it in <code>uplot/</code> beside <code>kmi-host.exe</code>: keep that "
            "folder with the program. From the sources, run <code>npm ci</code> in the project's "
            "<code>page/</code> folder (<code>scripts/demo.sh</code> does this). Then replay again.</p>"
            "<p>The replay's values are in <code>series.csv</code> and its panel in "
            "<code>panel.txt</code> beside this page.</p></div>\n";
    }
    if (library) page += "<main><div id=\"charts\"></div><aside id=\"readout\"></aside></main>\n";
    page += "<script type=\"application/json\" id=\"kmi-data\">";
    put(sink, page);
    page.clear();
    write_chart_page_json(sink, data, true);
    page += "</script>\n";
    if (library) {
        page += "<script>\n" + notice_comment(library->notice) + embedded_library_text(library->script, "script") +
                "\n</script>\n";
        page += "<script>\n" + std::string(chart_page_script) + "</script>\n";
    }
    page += "</body>\n</html>\n";
    put(sink, page);
}

std::string render_chart_page(const ChartPageData& data, const std::optional<ChartLibrary>& library) {
    OutputSink sink;
    write_chart_page(sink, data, library);
    return std::move(sink.text);
}

}  // namespace kmi::emu
