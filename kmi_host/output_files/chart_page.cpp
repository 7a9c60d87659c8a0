#include "kmi_host/output_files/chart_page.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <utility>

#include "kmi_host/text/date_time_text.h"
#include "kmi_host/text/json_text.h"

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

// The alert rules that fired, as the page marks and lists them.
Json alerts_json(const std::vector<FiredAlert>& alerts) {
    Json out = Json::array();
    for (const FiredAlert& a : alerts) {
        out.push_back(Json{{"bar", a.bar},
                           {"time", format_date_time(a.time)},
                           {"rule", a.rule},
                           {"series", a.series},
                           {"value", json_number(a.value)},
                           {"forming", a.forming}});
    }
    return out;
}

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

}  // namespace

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
    json.value("session", Json{{"start_second", data.session_start_second}, {"end_second", data.session_end_second}});
    json.value("slots_off", data.slots_off);
    // Only when it is so: a chart with bid and ask volume writes the page it wrote before.
    if (data.no_bid_ask_volume) json.value("no_bid_ask_volume", true);
    // Only when an alert fired: a replay without alert rules writes the page it wrote before them.
    if (!data.alerts.empty()) json.value("alerts", alerts_json(data.alerts));
    if (!data.alert_rules.empty()) json.value("alert_rules", data.alert_rules);
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
