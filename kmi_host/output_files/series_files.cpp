#include "kmi_host/output_files/series_files.h"

#include "kmi_host/text/date_time_text.h"

namespace kmi::emu {
namespace {

std::string csv_field(const std::string& text) {
    if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

void put_header(OutputSink& sink, const char* first, const ChartPageData& data) {
    put(sink, first);
    for (const PageSeries& series : data.series) {
        put(sink, ",");
        put(sink, csv_field(series.name));
    }
    put(sink, "\n");
}

void put_values(OutputSink& sink, const ChartPageData& data, std::size_t bar) {
    for (const PageSeries& series : data.series) {
        put(sink, ",");
        put_shortest(sink, bar < series.values.size() ? series.values[bar] : 0.0f);
    }
    put(sink, "\n");
}

}  // namespace

void write_series_csv(OutputSink& sink, const ChartPageData& data) {
    put_header(sink, "time", data);
    DateTimeWriter times;
    for (std::size_t bar = 0; bar < data.times.size(); ++bar) {
        put(sink, times.text(data.times[bar]));
        put_values(sink, data, bar);
    }
}

void write_days_csv(OutputSink& sink, const ChartPageData& data) {
    put_header(sink, "date", data);
    for (const PageDay& day : data.days) {
        put(sink, day.date);
        put_values(sink, data, static_cast<std::size_t>(day.bar));
    }
}

void write_alerts_csv(OutputSink& sink, const std::vector<FiredAlert>& alerts) {
    put(sink, "time,rule,value\n");
    DateTimeWriter times;
    for (const FiredAlert& alert : alerts) {
        if (alert.forming) continue;
        put(sink, times.text(alert.time));
        put(sink, ",");
        put(sink, csv_field(alert.rule));
        put(sink, ",");
        put_shortest(sink, alert.value);
        put(sink, "\n");
    }
}

std::string series_csv(const ChartPageData& data) {
    OutputSink sink;
    write_series_csv(sink, data);
    return std::move(sink.text);
}

std::string days_csv(const ChartPageData& data) {
    OutputSink sink;
    write_days_csv(sink, data);
    return std::move(sink.text);
}

std::string alerts_csv(const std::vector<FiredAlert>& alerts) {
    OutputSink sink;
    write_alerts_csv(sink, alerts);
    return std::move(sink.text);
}

}  // namespace kmi::emu
