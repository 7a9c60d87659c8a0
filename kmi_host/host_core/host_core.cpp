#include "kmi_host/host_core/host_core.h"

#include <algorithm>
#include <cstring>

#include "host/host_text.h"
#include "host/process_heap.h"

namespace kmi::emu {
namespace {

Host& host_of(HostInterface* record) { return *static_cast<Host*>(record->host_context); }

const Chart* find_chart(const Host& host, std::int32_t number) {
    const auto it = host.charts.find(number);
    return it == host.charts.end() ? nullptr : &it->second;
}

HostFloatArray float_array(const std::vector<float>& values) {
    HostFloatArray array{};
    array.data = values.empty() ? nullptr : values.data();
    array.count = static_cast<std::int32_t>(values.size());
    array.fallback = 0.0f;
    return array;
}

HostDateTimeArray datetime_array(const std::vector<HostDateTime>& values) {
    HostDateTimeArray array{};
    array.data = values.empty() ? nullptr : values.data();
    array.count = static_cast<std::int32_t>(values.size());
    array.fallback = 0;
    return array;
}

void notify(const Host& host, const HostOperation& operation) {
    if (host.observer) host.observer(operation);
}

void assign_string(HostText& text, const std::string& value) {
    kmi::assign(text, value.c_str(), static_cast<std::int64_t>(value.size()));
}

// --- The host operations -------------------------------------------------------------

void* op_persistent_pointer(HostInterface* record, std::int32_t key) {
    ++host_of(record).persistent_pointer_requests;
    auto& pointers = host_of(record).study.pointers;
    const auto it = pointers.find(key);
    return it == pointers.end() ? nullptr : it->second;
}

void op_set_persistent_pointer(HostInterface* record, std::int32_t key, void* pointer) {
    host_of(record).study.pointers[key] = pointer;
}

std::int32_t* op_persistent_int(HostInterface* record, std::int32_t key) {
    return &host_of(record).study.ints[key];  // std::map keeps the reference valid
}

std::int32_t op_open_chart(HostInterface* record, ChartOpenRequest* request) {
    Host& host = host_of(record);
    if (request == nullptr) return 0;
    OpenChartRecord received;
    std::memcpy(&received.request, request, sizeof *request);
    received.request.symbol = HostText{};
    received.request.time_zone = HostText{};
    received.symbol = kmi::text_chars(request->symbol);
    received.time_zone = kmi::text_chars(request->time_zone);
    std::int32_t result = 0;
    const auto known = host.symbol_library.find(received.symbol);
    if (known != host.symbol_library.end()) {
        // Reuse the remembered chart when it carries the symbol; otherwise open a new one.
        const Chart* remembered = find_chart(host, request->remembered_chart_number);
        if (remembered != nullptr && remembered->symbol == received.symbol) {
            result = remembered->number;
        } else {
            std::int32_t number = 1;
            while (host.charts.count(number) != 0) ++number;
            // The new chart carries the requested symbol, so the next request that
            // remembers it finds it again, whatever the library entry's own symbol.
            Chart chart = known->second;
            chart.number = number;
            chart.symbol = received.symbol;
            host.charts[number] = std::move(chart);
            result = number;
        }
    }
    received.result = result;
    host.open_requests.push_back(std::move(received));
    return result;
}

void op_get_chart_base_data(HostInterface* record, std::int32_t chart_number, HostChartArrays* out) {
    *out = HostChartArrays{};
    const Chart* chart = find_chart(host_of(record), chart_number);
    if (chart == nullptr) return;
    out->arrays[0] = float_array(chart->open);
    out->arrays[1] = float_array(chart->high);
    out->arrays[2] = float_array(chart->low);
    out->arrays[3] = float_array(chart->close);
    out->arrays[4] = float_array(chart->volume);
    out->arrays[5] = float_array(chart->bid_volume);
    out->arrays[6] = float_array(chart->ask_volume);
}

void op_get_chart_bar_datetimes(HostInterface* record, std::int32_t chart_number, HostDateTimeArray* out) {
    *out = HostDateTimeArray{};
    const Chart* chart = find_chart(host_of(record), chart_number);
    if (chart != nullptr) *out = datetime_array(chart->times);
}

void op_get_bar_period(HostInterface* record, std::int32_t chart_number, HostBarPeriod* out) {
    const Chart* chart = find_chart(host_of(record), chart_number);
    if (chart == nullptr) return;
    out->kind = chart->bar_period[0];
    out->sub_kind = chart->bar_period[1];
    out->count = chart->bar_period[2];
}

std::int32_t op_get_session_times(HostInterface* record, std::int32_t chart_number, HostSessionTimes* out) {
    const Chart* chart = find_chart(host_of(record), chart_number);
    if (chart == nullptr || !chart->session_times) return 0;
    *out = *chart->session_times;
    return 1;
}

void op_get_time_zone_text(HostInterface* record, std::int32_t chart_number, HostText* out) {
    const Chart* chart = find_chart(host_of(record), chart_number);
    if (chart == nullptr) {
        kmi::clear(*out);
        return;
    }
    assign_string(*out, chart->time_zone);
}

void op_get_chart_symbol(HostInterface* record, std::int32_t chart_number, HostText* out) {
    const Chart* chart = find_chart(host_of(record), chart_number);
    if (chart == nullptr) {
        kmi::clear(*out);
        return;
    }
    assign_string(*out, chart->symbol);
}

// Prices print with `format` decimal places (0 to 10; outside that range, 2).
void op_format_price(HostInterface*, HostText* out, double value, std::int32_t format) {
    const int decimals = format >= 0 && format <= 10 ? format : 2;
    kmi::format(*out, "%.*f", decimals, value);
}

void op_log_message(HostInterface* record, const char* text, std::int32_t show) {
    Host& host = host_of(record);
    host.log.push_back(LogLine{text == nullptr ? std::string() : std::string(text), show});
    notify(host, HostOperation{HostOperation::Kind::log_message, &host.log.back(), nullptr, 0, 0});
}

// The drawing is updated where it is kept: its texts are copied into the blocks they have.
std::int32_t op_add_or_update_drawing(HostInterface* record, DrawingRequest* request) {
    Host& host = host_of(record);
    Drawing& kept = drawing_at(host.drawings, {request->chart_number, request->line_number});
    std::memcpy(&kept.request, request, sizeof *request);
    kept.request.text = HostText{};
    kept.request.font_face = HostText{};
    kept.request.extra_text_1 = HostText{};
    kept.request.extra_text_2 = HostText{};
    kept.text.assign(kmi::text_chars(request->text));
    kept.font_face.assign(kmi::text_chars(request->font_face));
    notify(host, HostOperation{HostOperation::Kind::add_or_update_drawing, nullptr, &kept, 0, 0});
    return 1;
}

void op_delete_drawing(HostInterface* record, std::int32_t chart_number, std::int32_t, std::int32_t line_number) {
    Host& host = host_of(record);
    host.delete_requests.emplace_back(chart_number, line_number);
    erase_drawing(host.drawings, {chart_number, line_number});
    notify(host, HostOperation{HostOperation::Kind::delete_drawing, nullptr, nullptr, chart_number, line_number});
}

void op_set_list_items(void* context, const char* items) {
    *static_cast<std::string*>(context) = items == nullptr ? std::string() : std::string(items);
}

// --- Filling the record ----------------------------------------------------------------

void prepare_series(StudyInstance& study, std::int32_t bars) {
    const auto size = static_cast<std::size_t>(std::max(bars, 0));
    for (std::size_t i = 0; i < study.outputs.size(); ++i) {
        study.series[i].resize(size, 0.0f);
        study.outputs[i].values.data = study.series[i].empty() ? nullptr : study.series[i].data();
        study.outputs[i].values.count = static_cast<std::int32_t>(size);
        study.outputs[i].values.fallback = 0.0f;
    }
}

void fill_record(Host& host, CallKind kind, std::int32_t update_start_index) {
    HostInterface& r = host.record;
    const Chart& chart = study_chart(host);
    StudyInstance& study = host.study;
    r.record_size = sizeof(HostInterface);
    r.layout_version = KMI_HOST_LAYOUT_VERSION;
    r.reserved = 0;
    r.is_defaults_call = kind == CallKind::defaults ? 1 : 0;
    r.is_last_call = kind == CallKind::last ? 1 : 0;
    set_chart_arrays(r, chart);
    r.update_start_index = kind == CallKind::full ? 0 : update_start_index;
    r.this_chart_number = chart.number;
    r.study_id = study.study_id;
    r.bar_seconds = chart.bar_seconds;
    r.this_chart_symbol = chart.symbol.c_str();
    r.price_format = chart.price_format;
    r.current_date_time = host.now;
    r.alternate_current_date_time = host.alternate_now;
    r.now_from_alternate_clock = host.use_alternate_clock ? 1 : 0;
    r.region_top_px = host.region_top_px;
    r.region_bottom_px = host.region_bottom_px;
    r.study_region = study.study_region;
    r.host_setting_1 = study.host_settings[0];
    r.host_setting_2 = static_cast<std::int16_t>(study.host_settings[1]);
    r.host_setting_3 = study.host_settings[2];
    r.host_setting_4 = study.host_settings[3];
    r.study_name = study.study_name;
    r.study_description = study.study_description;
    r.input_count = static_cast<std::int32_t>(study.inputs.size());
    r.inputs = study.inputs.data();
    prepare_series(study, r.bar_count);
    r.output_series_count = static_cast<std::int32_t>(study.outputs.size());
    r.output_series = study.outputs.data();
    r.persistent_pointer = op_persistent_pointer;
    r.set_persistent_pointer = op_set_persistent_pointer;
    r.persistent_int = op_persistent_int;
    r.open_chart = op_open_chart;
    r.get_chart_base_data = op_get_chart_base_data;
    r.get_chart_bar_datetimes = op_get_chart_bar_datetimes;
    r.get_bar_period = op_get_bar_period;
    r.get_session_times = op_get_session_times;
    r.get_time_zone_text = op_get_time_zone_text;
    r.get_chart_symbol = op_get_chart_symbol;
    r.format_price = op_format_price;
    r.log_message = op_log_message;
    r.add_or_update_drawing = op_add_or_update_drawing;
    r.delete_drawing = op_delete_drawing;
    r.host_context = &host;
}

// The settings the study wrote stay with the instance.
void keep_settings(Host& host) {
    const HostInterface& r = host.record;
    StudyInstance& study = host.study;
    study.study_region = r.study_region;
    study.host_settings = {r.host_setting_1, r.host_setting_2, r.host_setting_3, r.host_setting_4};
    study.study_name = r.study_name;
    study.study_description = r.study_description;
}

void release_input_text(HostInput& input) {
    const bool holds_text = input.type == 26 || input.type == 27 || input.type == 28;
    if (holds_text && input_text_owned(input) != 0) kmi::heap_free(input_text(input));
    set_input_text(input, nullptr, 0);
}

// Where `key` is or would go; the entry after the one found last is looked at first.
std::size_t drawing_position(const DrawingStore& store, DrawingKey key) {
    const auto& entries = store.entries;
    if (store.next < entries.size() && entries[store.next].first == key) return store.next;
    return static_cast<std::size_t>(
        std::lower_bound(entries.begin(), entries.end(), key,
                         [](const std::pair<DrawingKey, Drawing>& entry, DrawingKey k) { return entry.first < k; }) -
        entries.begin());
}

}  // namespace

Drawing& drawing_at(DrawingStore& store, DrawingKey key) {
    const std::size_t at = drawing_position(store, key);
    if (at == store.entries.size() || store.entries[at].first != key) {
        store.entries.insert(store.entries.begin() + static_cast<std::ptrdiff_t>(at), {key, Drawing{}});
    }
    store.next = at + 1;
    return store.entries[at].second;
}

void erase_drawing(DrawingStore& store, DrawingKey key) {
    const std::size_t at = drawing_position(store, key);
    if (at < store.entries.size() && store.entries[at].first == key) {
        store.entries.erase(store.entries.begin() + static_cast<std::ptrdiff_t>(at));
    }
    store.next = at;
}

void set_chart_arrays(HostInterface& record, const Chart& chart) {
    record.bar_count = bar_count(chart);
    record.bar_datetimes = datetime_array(chart.times);
    record.bar_open = float_array(chart.open);
    record.bar_high = float_array(chart.high);
    record.bar_low = float_array(chart.low);
    record.bar_close = float_array(chart.close);
    record.bar_volume = float_array(chart.volume);
    record.bar_bid_volume = float_array(chart.bid_volume);
    record.bar_ask_volume = float_array(chart.ask_volume);
}

std::unique_ptr<Host> make_host(StudyFunction study_function, Chart chart, std::int32_t study_id) {
    auto host = std::make_unique<Host>();
    host->study_function = study_function;
    host->study.study_id = study_id;
    host->study.chart_number = chart.number;
    host->charts[chart.number] = std::move(chart);
    StudyInstance& study = host->study;
    study.inputs.resize(host_input_count);
    study.list_items.resize(host_input_count);
    for (int i = 0; i < host_input_count; ++i) {
        HostInput& in = study.inputs[static_cast<std::size_t>(i)];
        in = HostInput{};
        in.name = kmi::make_text();
        in.set_list_items = op_set_list_items;
        in.list_items_context = &study.list_items[static_cast<std::size_t>(i)];
    }
    study.outputs.resize(host_output_series_count);
    study.series.resize(host_output_series_count);
    for (HostOutputSeries& series : study.outputs) {
        series = HostOutputSeries{};
        series.name = kmi::make_text();
    }
    study.study_name = kmi::make_text();
    study.study_description = kmi::make_text();
    return host;
}

void destroy_host_values(Host& host) {
    StudyInstance& study = host.study;
    for (HostInput& in : study.inputs) {
        kmi::release(in.name);
        release_input_text(in);
    }
    for (HostOutputSeries& series : study.outputs) kmi::release(series.name);
    kmi::release(study.study_name);
    kmi::release(study.study_description);
}

Chart& study_chart(Host& host) { return host.charts.at(host.study.chart_number); }

bool call_study(Host& host, CallKind kind, std::int32_t update_start_index) {
    fill_record(host, kind, update_start_index);
    host.study_function(&host.record);
    keep_settings(host);
    // A study that refuses the record writes nothing: its defaults call declares no input.
    // (Input types are plain values; the name may be missing for want of heap.)
    return kind != CallKind::defaults || std::any_of(host.study.inputs.begin(), host.study.inputs.end(),
                                                     [](const HostInput& in) { return in.type != 0; });
}

HostInput& input(Host& host, int index) { return host.study.inputs.at(static_cast<std::size_t>(index)); }

void set_input_text_value(HostInput& in, const char* text) {
    release_input_text(in);
    in.type = kmi_input_text;
    if (text == nullptr) return;
    const std::size_t length = std::strlen(text);
    auto* copy = static_cast<char*>(kmi::heap_alloc(length + 1));
    if (copy != nullptr) std::memcpy(copy, text, length + 1);
    set_input_text(in, copy, 1);
}

bool state_is_set(const Host& host) {
    const auto it = host.study.pointers.find(1);
    return it != host.study.pointers.end() && it->second != nullptr;
}

void close_host(Host& host) {
    host.observer = nullptr;
    if (state_is_set(host)) call_study(host, CallKind::last);
    destroy_host_values(host);
}

std::vector<StudyDrawing> study_drawings_top_down(const Host& host) {
    std::vector<StudyDrawing> drawings;
    for (const auto& [key, drawing] : host.drawings) {
        if (key.first == host.study.chart_number) drawings.push_back(StudyDrawing{key.second, &drawing});
    }
    std::stable_sort(drawings.begin(), drawings.end(), [](const StudyDrawing& a, const StudyDrawing& b) {
        const float above = a.drawing->request.vertical_position;
        const float below = b.drawing->request.vertical_position;
        if (above != below) return above > below;
        return a.line_number < b.line_number;
    });
    return drawings;
}

}  // namespace kmi::emu
