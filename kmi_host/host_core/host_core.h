// Our host's core: charts, the study instance with its inputs, output series and
// persistent storage, drawings, the message log and the clock, and the host record it
// fills for every call of the study function.
#ifndef KMI_HOST_HOST_CORE_HOST_CORE_H
#define KMI_HOST_HOST_CORE_HOST_CORE_H

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/host_interface.h"
#include "kmi_host/host_core/chart.h"

namespace kmi::emu {

// Points the record's bar count and this chart's bar arrays at the chart's bars.
void set_chart_arrays(HostInterface& record, const Chart& chart);

// A drawing as the host keeps it: the request's fields, with its texts copied out.
struct Drawing {
    DrawingRequest request{};  // its host texts are cleared; the texts are below
    std::string text;
    std::string font_face;
};

// The drawings by (chart, line number), in that order. A study draws its lines in the same
// order on every call, so the entry after the one found last is looked at first: a line drawn
// again is found without a search and updated in place, its texts in the blocks they have.
using DrawingKey = std::pair<std::int32_t, std::int32_t>;
struct DrawingStore {
    std::vector<std::pair<DrawingKey, Drawing>> entries;
    std::size_t next = 0;  // the entry looked at first
};

// In key order: for (const auto& [key, drawing] : host.drawings).
inline auto begin(const DrawingStore& store) { return store.entries.begin(); }
inline auto end(const DrawingStore& store) { return store.entries.end(); }
// Added, empty, when there is none. Valid until the next drawing is added or deleted.
Drawing& drawing_at(DrawingStore& store, DrawingKey key);
void erase_drawing(DrawingStore& store, DrawingKey key);

struct LogLine {
    std::string text;
    std::int32_t show = 0;
};

// A request to open a chart as the host received it, with its texts copied out.
struct OpenChartRecord {
    ChartOpenRequest request{};  // its host texts are cleared; the texts are below
    std::string symbol;
    std::string time_zone;
    std::int32_t result = 0;
};

// A host operation the study made, as an observer of the host sees it once the host has
// carried it out. open_chart is not reported here: its requests are kept in order in
// Host::open_requests, and an observer places the entries added since it last looked
// before the operation it is told of.
struct HostOperation {
    enum class Kind { log_message, add_or_update_drawing, delete_drawing };
    Kind kind = Kind::log_message;
    const LogLine* log_line = nullptr;  // log_message: the line as kept
    const Drawing* drawing = nullptr;   // add_or_update_drawing: the drawing as kept
    std::int32_t chart = 0;             // delete_drawing
    std::int32_t line_number = 0;       // delete_drawing
};

inline constexpr int host_input_count = 64;
inline constexpr int host_output_series_count = 20;

// The study instance attached to a chart.
struct StudyInstance {
    std::int32_t study_id = 0;
    std::int32_t chart_number = 1;
    std::vector<HostInput> inputs;
    std::vector<std::string> list_items;  // per input, set through set_list_items
    std::vector<HostOutputSeries> outputs;
    std::vector<std::vector<float>> series;  // per output series, one value per chart bar
    std::map<std::int32_t, void*> pointers;
    std::map<std::int32_t, std::int32_t> ints;
    HostText study_name{};
    HostText study_description{};
    std::int32_t study_region = -1;
    std::array<std::int32_t, 4> host_settings{};
};

using StudyFunction = void (*)(HostInterface*);

enum class CallKind { defaults, full, update, last };

// The host. It lives at a fixed address while the study is called (the record points
// back at it), so it is held by unique_ptr.
struct Host {
    std::map<std::int32_t, Chart> charts;
    std::map<std::string, Chart> symbol_library;  // charts open_chart can open by symbol
    DrawingStore drawings;
    std::vector<LogLine> log;
    std::vector<OpenChartRecord> open_requests;
    std::vector<std::pair<std::int32_t, std::int32_t>> delete_requests;  // (chart, line number), every call
    std::int32_t persistent_pointer_requests = 0;
    HostDateTime now = 0;
    HostDateTime alternate_now = 0;
    bool use_alternate_clock = false;
    std::int32_t region_top_px = 0;
    std::int32_t region_bottom_px = 600;
    StudyInstance study;
    StudyFunction study_function = nullptr;
    HostInterface record{};
    // Told of every log line, drawing and deletion in the order the study makes them; may
    // be empty.
    std::function<void(const HostOperation&)> observer;
    // The host arrays handed out by get_chart_base_data and get_chart_bar_datetimes point
    // into the charts; they stay valid for the call.
};

// A host with one chart carrying the study, calling `study_function`.
std::unique_ptr<Host> make_host(StudyFunction study_function, Chart chart, std::int32_t study_id = 0);

// Frees what the host holds on the heap layer (input texts, names). The study's own
// state is the study's: it is freed by the last call.
void destroy_host_values(Host& host);

// The chart carrying the study.
Chart& study_chart(Host& host);

// Calls the study function once. For an update, `update_start_index` is the first bar to
// recompute. Returns false when the study refused the host's record (a defaults call that
// declared nothing).
bool call_study(Host& host, CallKind kind, std::int32_t update_start_index = 0);

// Input helpers for tests and scenarios.
HostInput& input(Host& host, int index);
void set_input_text_value(HostInput& input, const char* text);  // null: no text at all

// Whether the study has a state stored under persistent pointer key 1.
bool state_is_set(const Host& host);

// Ends the study's instance as a host does when the study is removed: no observer is told any
// more, the study's last call frees its state (when it holds one), then the host frees its own
// values.
void close_host(Host& host);

// A text drawing of the study's chart with its line number.
struct StudyDrawing {
    std::int32_t line_number = 0;
    const Drawing* drawing = nullptr;
};

// The study's drawings on its chart as they stand on the chart, top to bottom: the higher
// vertical position first, then by line number. Valid until a drawing is added or deleted.
std::vector<StudyDrawing> study_drawings_top_down(const Host& host);

}  // namespace kmi::emu

#endif
