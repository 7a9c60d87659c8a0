// The host interface record: the only door between the charting host and the study.
//
// Everything the study may read, write or ask of the host is in this one header. The
// record and every record it points to are C-compatible and standard-layout, so the
// host and the study may be built by different compilers. Both sides include this
// header: the study in its DLL, our host (kmi-host) in its program.
//
// Host arrays are a pointer, a count and a fallback element; they are only read through
// host_at(), which clamps the index into the array and yields the fallback element when
// the array is empty. Output series values are only written through set_series_value()
// and set_series_values(), which ignore an index outside the array.
#ifndef KMI_HOST_HOST_INTERFACE_H
#define KMI_HOST_HOST_INTERFACE_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#ifdef __cplusplus
extern "C" {
#endif

// The version of the host interface the study is built for; scdll_DLLVersion returns it
// and it stands in every drawing request.
#define KMI_HOST_INTERFACE_VERSION 2927

// The layout version of HostInterface below. A host fills `record_size` and
// `layout_version`; a study built for another layout writes nothing into the record and
// returns at once (a host of another kind may keep anything at any offset), so its defaults
// call declares nothing.
#define KMI_HOST_LAYOUT_VERSION 1

// A host date-time: signed microseconds since 1899-12-30 00:00:00.
typedef int64_t HostDateTime;

// The host's heap-backed text value (24 bytes).
typedef struct HostText {
    char* data;              // NUL-terminated; points at empty_text when empty; null only after release
    int32_t owns_buffer;     // nonzero when data is a process-heap block this text must free
    int32_t changed;         // set by assigning and formatting operations
    const char* empty_text;  // the module's constant ""
} HostText;

// A read-only host array of 32-bit floats.
typedef struct HostFloatArray {
    const float* data;
    int32_t count;
    float fallback;
} HostFloatArray;

// A read-only host array of date-times.
typedef struct HostDateTimeArray {
    const HostDateTime* data;
    int32_t count;
    int32_t reserved;
    HostDateTime fallback;
} HostDateTimeArray;

// The writable per-bar values of one output series.
typedef struct HostSeriesValues {
    float* data;
    int32_t count;
    float fallback;
} HostSeriesValues;

// The array set that get_chart_base_data fills: elements 0 to 3 are open, high, low and
// close, then volume, bid volume and ask volume.
enum { kmi_chart_array_count = 7 };
typedef struct HostChartArrays {
    HostFloatArray arrays[kmi_chart_array_count];
} HostChartArrays;

// The bar-period record that get_bar_period fills. The study pre-sets it to
// 0, 0, 0, 0, 0, 0, 1, 0 and an empty text, and reads kind, sub_kind and count.
typedef struct HostBarPeriod {
    int32_t kind;
    int32_t sub_kind;
    int32_t count;
    int32_t extra[5];
    HostText text;
} HostBarPeriod;

// The 44-byte session-times record that get_session_times fills: four 8-byte values and
// three 32-bit values, whose meaning is the host's.
#pragma pack(push, 4)
typedef struct HostSessionTimes {
    double times[4];
    int32_t values[3];
} HostSessionTimes;
#pragma pack(pop)

// Input type codes the study writes (the readers accept every code).
enum {
    kmi_input_float = 2,
    kmi_input_yes_no = 5,
    kmi_input_time_of_day = 9,
    kmi_input_integer = 11,
    kmi_input_colour = 14,
    kmi_input_custom_list = 22,
    kmi_input_text = 26
};

// One input record. The value holds a 32-bit integer, float, colour, list index or
// yes/no at byte 0; a time as a double count of days at byte 0; a text as an 8-bit
// owns flag at byte 0 and a pointer to the NUL-terminated text at byte 8. The limits are
// a 32-bit integer or float, by the input's type. Read and write them only through the
// helpers below.
typedef struct HostInput {
    HostText name;
    uint8_t type;
    uint8_t reserved[7];
    unsigned char value[16];
    unsigned char minimum[4];
    unsigned char maximum[4];
    // The record's own operation for list items: takes list_items_context and the items
    // separated by ";". May be null.
    void (*set_list_items)(void* list_items_context, const char* items);
    void* list_items_context;
} HostInput;

// One output series record.
typedef struct HostOutputSeries {
    HostText name;
    uint32_t colour;  // 0x00BBGGRR
    uint16_t presentation_code;
    uint16_t presentation_value;
    HostSeriesValues values;
    int32_t presentation_flag;
    int32_t reserved;
} HostOutputSeries;

struct ChartOpenRequest;
struct DrawingRequest;
struct HostInterface;

// The host's operations. Each takes the record itself first. A host may leave any of
// them null; the study then goes on as if the host had nothing to give.
typedef void* (*HostPersistentPointerFn)(struct HostInterface* host, int32_t key);
typedef void (*HostSetPersistentPointerFn)(struct HostInterface* host, int32_t key, void* pointer);
typedef int32_t* (*HostPersistentIntFn)(struct HostInterface* host, int32_t key);
typedef int32_t (*HostOpenChartFn)(struct HostInterface* host, struct ChartOpenRequest* request);
typedef void (*HostGetChartBaseDataFn)(struct HostInterface* host, int32_t chart, HostChartArrays* out);
typedef void (*HostGetChartBarDatetimesFn)(struct HostInterface* host, int32_t chart, HostDateTimeArray* out);
typedef void (*HostGetBarPeriodFn)(struct HostInterface* host, int32_t chart, HostBarPeriod* out);
typedef int32_t (*HostGetSessionTimesFn)(struct HostInterface* host, int32_t chart, HostSessionTimes* out);
typedef void (*HostChartTextFn)(struct HostInterface* host, int32_t chart, HostText* out);
typedef void (*HostFormatPriceFn)(struct HostInterface* host, HostText* out, double value, int32_t format);
typedef void (*HostLogMessageFn)(struct HostInterface* host, const char* text, int32_t show);
typedef int32_t (*HostAddOrUpdateDrawingFn)(struct HostInterface* host, struct DrawingRequest* request);
typedef void (*HostDeleteDrawingFn)(struct HostInterface* host, int32_t chart, int32_t zero, int32_t line_number);

typedef struct HostInterface {
    // Set by the host: sizeof(HostInterface) and KMI_HOST_LAYOUT_VERSION. These two
    // members keep their place in every layout version.
    uint32_t record_size;
    uint32_t layout_version;
    // Reserved: 0.
    int32_t reserved;

    // Kind of call.
    int32_t is_defaults_call;
    int32_t is_last_call;

    // This chart and this study instance.
    int32_t bar_count;
    int32_t update_start_index;
    int32_t this_chart_number;
    int32_t study_id;
    int32_t bar_seconds;            // below 1: no fixed bar length
    const char* this_chart_symbol;  // may be null
    int32_t price_format;
    int32_t reserved_0;

    // This chart's bars.
    HostDateTimeArray bar_datetimes;
    HostFloatArray bar_open;
    HostFloatArray bar_high;
    HostFloatArray bar_low;
    HostFloatArray bar_close;
    HostFloatArray bar_volume;
    HostFloatArray bar_bid_volume;
    HostFloatArray bar_ask_volume;

    // The host's present time.
    HostDateTime current_date_time;
    HostDateTime alternate_current_date_time;
    int32_t now_from_alternate_clock;

    // The chart region in pixel rows.
    int32_t region_top_px;
    int32_t region_bottom_px;

    // Settings written by the defaults call, in the host's order. The meaning of the
    // four host settings is the host's; the study writes them and never reads them.
    int32_t study_region;
    int32_t host_setting_1;
    int16_t host_setting_2;
    int16_t reserved_1;
    int32_t reserved_2;
    HostText study_name;
    int32_t host_setting_3;
    int32_t reserved_3;
    HostText study_description;
    int32_t host_setting_4;

    // Inputs and output series.
    int32_t input_count;
    HostInput* inputs;
    int32_t output_series_count;
    int32_t reserved_4;
    HostOutputSeries* output_series;

    // Operations.
    HostPersistentPointerFn persistent_pointer;
    HostSetPersistentPointerFn set_persistent_pointer;
    HostPersistentIntFn persistent_int;
    HostOpenChartFn open_chart;
    HostGetChartBaseDataFn get_chart_base_data;
    HostGetChartBarDatetimesFn get_chart_bar_datetimes;
    HostGetBarPeriodFn get_bar_period;
    HostGetSessionTimesFn get_session_times;
    HostChartTextFn get_time_zone_text;
    HostChartTextFn get_chart_symbol;
    HostFormatPriceFn format_price;
    HostLogMessageFn log_message;
    HostAddOrUpdateDrawingFn add_or_update_drawing;
    HostDeleteDrawingFn delete_drawing;

    // The host's own context; the study never touches it.
    void* host_context;
} HostInterface;

// The request the study fills for open_chart. Offsets are fixed by the host's layout;
// the meaning of the constant fields is the host's.
typedef struct ChartOpenRequest {
    int32_t request_code;             // 0: 5
    int32_t remembered_chart_number;  // 4
    int32_t request_kind;             // 8: 2
    unsigned char unwritten_12[4];    // 12: not written
    HostText symbol;                  // 16
    int32_t value_at_40;              // 40: 0
    int32_t bar_seconds;              // 44
    double session_times[4];          // 48
    unsigned char zero_80[16];        // 80
    int32_t value_at_96;              // 96: 1
    int32_t value_at_100;             // 100: 0
    int32_t value_at_104;             // 104: 0
    int32_t session_value_3;          // 108: third session value, or 1
    int32_t value_at_112;             // 112: 1
    int32_t session_value_1;          // 116: first session value, or 1
    int32_t hide_chart;               // 120
    int16_t value_at_124;             // 124: 0
    unsigned char zero_126[4];        // 126
    int16_t value_at_130;             // 130: 0
    unsigned char unwritten_132[4];   // 132: not written
    HostText time_zone;               // 136
    int32_t value_at_160;             // 160: 0
    int32_t reserved_164;
} ChartOpenRequest;

// The drawing request the study fills for add_or_update_drawing (1032 bytes). Offsets are
// fixed by the host's layout; the fields named value_at_N are the host's.
typedef struct DrawingRequest {
    uint32_t record_size;             // 0: 1032
    int32_t chart_number;             // 4
    int32_t reserved_8;               // 8
    int32_t line_number;              // 12
    unsigned char reserved_16[16];    // 16
    float vertical_position;          // 32: percent of the region height from its bottom
    int32_t reserved_36;              // 36
    int32_t region;                   // 40
    uint32_t text_color;              // 44
    unsigned char reserved_48[8];     // 48
    int32_t font_size;                // 56
    unsigned char reserved_60[132];   // 60
    int64_t horizontal_position;      // 192: a host date-time
    unsigned char reserved_200[8];    // 200
    HostText text;                    // 208
    int32_t drawing_type;             // 232
    int32_t reserved_236;             // 236
    int32_t value_at_240;             // 240
    uint32_t interface_version;       // 244: 2927
    int32_t reserved_248;             // 248
    uint32_t background_color;        // 252
    HostText font_face;               // 256
    unsigned char reserved_280[8];    // 280
    int32_t text_alignment;           // 288
    int32_t value_at_292;             // 292
    unsigned char reserved_296[456];  // 296
    int32_t value_at_752;             // 752
    unsigned char reserved_756[68];   // 756
    int32_t value_at_824;             // 824
    unsigned char reserved_828[12];   // 828
    int32_t value_at_840;             // 840
    unsigned char reserved_844[48];   // 844
    int32_t value_at_892;             // 892
    unsigned char reserved_896[24];   // 896
    HostText extra_text_1;            // 920
    unsigned char reserved_944[56];   // 944
    HostText extra_text_2;            // 1000
    unsigned char reserved_1024[8];   // 1024
} DrawingRequest;

#ifdef __cplusplus
}  // extern "C"

#include <type_traits>

static_assert(sizeof(HostText) == 24, "host text is 24 bytes");
static_assert(sizeof(HostSessionTimes) == 44, "session-times record is 44 bytes");
static_assert(std::is_standard_layout_v<HostInterface> && std::is_trivially_copyable_v<HostInterface>);
static_assert(std::is_standard_layout_v<HostInput> && std::is_standard_layout_v<HostOutputSeries>);

static_assert(offsetof(ChartOpenRequest, request_code) == 0);
static_assert(offsetof(ChartOpenRequest, remembered_chart_number) == 4);
static_assert(offsetof(ChartOpenRequest, request_kind) == 8);
static_assert(offsetof(ChartOpenRequest, unwritten_12) == 12);
static_assert(offsetof(ChartOpenRequest, symbol) == 16);
static_assert(offsetof(ChartOpenRequest, value_at_40) == 40);
static_assert(offsetof(ChartOpenRequest, bar_seconds) == 44);
static_assert(offsetof(ChartOpenRequest, session_times) == 48);
static_assert(offsetof(ChartOpenRequest, zero_80) == 80);
static_assert(offsetof(ChartOpenRequest, value_at_96) == 96);
static_assert(offsetof(ChartOpenRequest, value_at_100) == 100);
static_assert(offsetof(ChartOpenRequest, value_at_104) == 104);
static_assert(offsetof(ChartOpenRequest, session_value_3) == 108);
static_assert(offsetof(ChartOpenRequest, value_at_112) == 112);
static_assert(offsetof(ChartOpenRequest, session_value_1) == 116);
static_assert(offsetof(ChartOpenRequest, hide_chart) == 120);
static_assert(offsetof(ChartOpenRequest, value_at_124) == 124);
static_assert(offsetof(ChartOpenRequest, zero_126) == 126);
static_assert(offsetof(ChartOpenRequest, value_at_130) == 130);
static_assert(offsetof(ChartOpenRequest, unwritten_132) == 132);
static_assert(offsetof(ChartOpenRequest, time_zone) == 136);
static_assert(offsetof(ChartOpenRequest, value_at_160) == 160);
static_assert(sizeof(ChartOpenRequest) == 168);

static_assert(offsetof(DrawingRequest, record_size) == 0);
static_assert(offsetof(DrawingRequest, chart_number) == 4);
static_assert(offsetof(DrawingRequest, line_number) == 12);
static_assert(offsetof(DrawingRequest, vertical_position) == 32);
static_assert(offsetof(DrawingRequest, region) == 40);
static_assert(offsetof(DrawingRequest, text_color) == 44);
static_assert(offsetof(DrawingRequest, font_size) == 56);
static_assert(offsetof(DrawingRequest, horizontal_position) == 192);
static_assert(offsetof(DrawingRequest, text) == 208);
static_assert(offsetof(DrawingRequest, drawing_type) == 232);
static_assert(offsetof(DrawingRequest, value_at_240) == 240);
static_assert(offsetof(DrawingRequest, interface_version) == 244);
static_assert(offsetof(DrawingRequest, background_color) == 252);
static_assert(offsetof(DrawingRequest, font_face) == 256);
static_assert(offsetof(DrawingRequest, text_alignment) == 288);
static_assert(offsetof(DrawingRequest, value_at_292) == 292);
static_assert(offsetof(DrawingRequest, value_at_752) == 752);
static_assert(offsetof(DrawingRequest, value_at_824) == 824);
static_assert(offsetof(DrawingRequest, value_at_840) == 840);
static_assert(offsetof(DrawingRequest, value_at_892) == 892);
static_assert(offsetof(DrawingRequest, extra_text_1) == 920);
static_assert(offsetof(DrawingRequest, extra_text_2) == 1000);
static_assert(sizeof(DrawingRequest) == 1032);
static_assert(std::is_standard_layout_v<ChartOpenRequest> && std::is_standard_layout_v<DrawingRequest>);

// The one clamping accessor for host arrays, for both kinds of array below.
// A negative count is an empty array. An index inside the array takes one comparison, of
// the index zero-extended against the count sign-extended to 64 bits: a negative index
// becomes 2^31 or more and never passes, and no index passes a negative count. The walks
// read every source bar through here; the clamping after it is for indices outside.
template <typename Array>
inline auto host_element_at(const Array& array, int32_t index) noexcept -> decltype(array.fallback) {
    if (static_cast<int64_t>(static_cast<uint32_t>(index)) < static_cast<int64_t>(array.count) &&
        array.data != nullptr) {
        return array.data[index];
    }
    if (array.data == nullptr || array.count <= 0) return array.fallback;
    return array.data[index < 0 ? 0 : array.count - 1];
}

inline float host_at(const HostFloatArray& array, int32_t index) noexcept { return host_element_at(array, index); }

inline HostDateTime host_at(const HostDateTimeArray& array, int32_t index) noexcept {
    return host_element_at(array, index);
}

// The element count of a host array as the study may read it (0 when there is no data).
inline int32_t host_count(const HostFloatArray& array) noexcept {
    return array.data == nullptr || array.count < 0 ? 0 : array.count;
}
inline int32_t host_count(const HostDateTimeArray& array) noexcept {
    return array.data == nullptr || array.count < 0 ? 0 : array.count;
}

// Writes one output value; an index outside the series is ignored.
inline void set_series_value(HostOutputSeries& series, int32_t index, float value) noexcept {
    if (series.values.data == nullptr || index < 0 || index >= series.values.count) return;
    series.values.data[index] = value;
}

// Writes value(i) at index first + i for every i in [0, count); an index outside the
// series is ignored, as by set_series_value, but the run's part inside the series is
// worked out once instead of for every value.
template <typename ValueAt>
inline void set_series_values(HostOutputSeries& series, int32_t first, int32_t count, ValueAt value_at) noexcept {
    if (series.values.data == nullptr || count <= 0) return;
    const int64_t below = -static_cast<int64_t>(first);
    const int64_t begin = below > 0 ? below : 0;
    const int64_t room = static_cast<int64_t>(series.values.count) - static_cast<int64_t>(first);
    const int64_t end = room < count ? room : count;
    float* const data = series.values.data;
    for (int64_t i = begin; i < end; ++i) data[first + i] = value_at(static_cast<int32_t>(i));
}

// Input value access. The value bytes are read and written with memcpy, so every type
// code can be read as every other without undefined behaviour.
inline int32_t input_int32(const HostInput& input) noexcept {
    int32_t v;
    memcpy(&v, input.value, sizeof v);
    return v;
}
inline uint32_t input_uint32(const HostInput& input) noexcept {
    uint32_t v;
    memcpy(&v, input.value, sizeof v);
    return v;
}
inline float input_float(const HostInput& input) noexcept {
    float v;
    memcpy(&v, input.value, sizeof v);
    return v;
}
inline double input_double(const HostInput& input) noexcept {
    double v;
    memcpy(&v, input.value, sizeof v);
    return v;
}
inline uint8_t input_text_owned(const HostInput& input) noexcept { return input.value[0]; }
inline char* input_text(const HostInput& input) noexcept {
    char* p;
    memcpy(&p, input.value + 8, sizeof p);
    return p;
}

inline void set_input_int32(HostInput& input, int32_t v) noexcept {
    memset(input.value, 0, sizeof input.value);
    memcpy(input.value, &v, sizeof v);
}
inline void set_input_uint32(HostInput& input, uint32_t v) noexcept {
    memset(input.value, 0, sizeof input.value);
    memcpy(input.value, &v, sizeof v);
}
inline void set_input_float(HostInput& input, float v) noexcept {
    memset(input.value, 0, sizeof input.value);
    memcpy(input.value, &v, sizeof v);
}
inline void set_input_double(HostInput& input, double v) noexcept {
    memset(input.value, 0, sizeof input.value);
    memcpy(input.value, &v, sizeof v);
}
// Stores a text pointer and its owns flag; the caller has released any text held before.
inline void set_input_text(HostInput& input, char* text, uint8_t owned) noexcept {
    memset(input.value, 0, sizeof input.value);
    input.value[0] = owned;
    memcpy(input.value + 8, &text, sizeof text);
}

inline int32_t input_minimum_int(const HostInput& input) noexcept {
    int32_t v;
    memcpy(&v, input.minimum, sizeof v);
    return v;
}
inline int32_t input_maximum_int(const HostInput& input) noexcept {
    int32_t v;
    memcpy(&v, input.maximum, sizeof v);
    return v;
}
inline float input_minimum_float(const HostInput& input) noexcept {
    float v;
    memcpy(&v, input.minimum, sizeof v);
    return v;
}
inline float input_maximum_float(const HostInput& input) noexcept {
    float v;
    memcpy(&v, input.maximum, sizeof v);
    return v;
}
inline void set_input_int_limits(HostInput& input, int32_t minimum, int32_t maximum) noexcept {
    memcpy(input.minimum, &minimum, sizeof minimum);
    memcpy(input.maximum, &maximum, sizeof maximum);
}
inline void set_input_float_limits(HostInput& input, float minimum, float maximum) noexcept {
    memcpy(input.minimum, &minimum, sizeof minimum);
    memcpy(input.maximum, &maximum, sizeof maximum);
}

#endif  // __cplusplus

#endif  // KMI_HOST_HOST_INTERFACE_H
