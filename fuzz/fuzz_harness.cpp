#include "fuzz/fuzz_harness.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "host/host_interface.h"
#include "host/host_text.h"
#include "host/process_heap.h"
#include "settings/source_slots.h"
#include "study/study_state.h"

extern "C" void scsf_KeelwickMarketInternals(HostInterface* host) noexcept;

namespace kmi::fuzz {
namespace {

// --- Limits and value tables ------------------------------------------------------------

constexpr int max_operations = 256;
constexpr int max_study_calls = 96;
constexpr int default_input_count = 64;
constexpr int max_input_count = 64;
constexpr int default_output_series = 20;
constexpr int max_output_series = 24;
constexpr std::int32_t lines_per_block = 16;
constexpr std::int32_t missing_chart_number = 4242;
// What an output series element beyond bar_count holds; the study must never write there.
constexpr std::uint32_t series_sentinel_bits = 0x7FC0DEADu;

constexpr std::int64_t second_us = 1000000;
constexpr std::int64_t day_us = 86400 * second_us;
// 2026-03-11 (a Wednesday) is day 46092 after 1899-12-30.
constexpr std::int64_t wednesday_us = 46092 * day_us;

constexpr std::int64_t int64_max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t int64_min = std::numeric_limits<std::int64_t>::min();
constexpr std::int32_t int32_max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t int32_min = std::numeric_limits<std::int32_t>::min();

std::int64_t saturating_add(std::int64_t a, std::int64_t b) {
    std::int64_t r;
    if (__builtin_add_overflow(a, b, &r)) return b > 0 ? int64_max : int64_min;
    return r;
}

std::int64_t saturating_mul(std::int64_t a, std::int64_t b) {
    std::int64_t r;
    if (__builtin_mul_overflow(a, b, &r)) return (a < 0) != (b < 0) ? int64_min : int64_max;
    return r;
}

std::int32_t narrow(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, int32_min, int32_max));
}

float float_from_bits(std::uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

float special_float(std::uint8_t b) {
    static const std::array<float, 16> values = {std::numeric_limits<float>::quiet_NaN(),
                                                 -std::numeric_limits<float>::quiet_NaN(),
                                                 std::numeric_limits<float>::infinity(),
                                                 -std::numeric_limits<float>::infinity(),
                                                 0.0f,
                                                 -0.0f,
                                                 std::numeric_limits<float>::max(),
                                                 std::numeric_limits<float>::lowest(),
                                                 std::numeric_limits<float>::min(),
                                                 std::numeric_limits<float>::denorm_min(),
                                                 1e30f,
                                                 -1e30f,
                                                 1.0f,
                                                 -1.0f,
                                                 1000.0f,
                                                 -1000.0f};
    return values[b % values.size()];
}

double special_double(std::uint8_t b) {
    static const std::array<double, 16> values = {std::numeric_limits<double>::quiet_NaN(),
                                                  std::numeric_limits<double>::infinity(),
                                                  -std::numeric_limits<double>::infinity(),
                                                  0.0,
                                                  -0.0,
                                                  1e308,
                                                  -1e308,
                                                  std::numeric_limits<double>::min(),
                                                  34200.0 / 86400.0,
                                                  57600.0 / 86400.0,
                                                  -0.25,
                                                  1.5,
                                                  1e18,
                                                  -1e18,
                                                  0.5,
                                                  9.3e18};
    return values[b % values.size()];
}

std::int32_t special_int(std::uint8_t b) {
    static const std::array<std::int32_t, 24> values = {0,
                                                        1,
                                                        -1,
                                                        2,
                                                        3,
                                                        4,
                                                        5,
                                                        9,
                                                        30,
                                                        60,
                                                        1440,
                                                        3600,
                                                        int32_max,
                                                        int32_min,
                                                        int32_max - 1,
                                                        int32_min + 1,
                                                        10000,
                                                        -10000,
                                                        7,
                                                        16,
                                                        0x00FFFFFF,
                                                        static_cast<std::int32_t>(0xFF000000u),
                                                        100000,
                                                        -5};
    return values[b % values.size()];
}

// --- Charts -------------------------------------------------------------------------------

struct FuzzChart {
    std::int32_t number = 0;
    std::vector<HostDateTime> times;
    std::array<std::vector<float>, 7> values;  // open, high, low, close, volume, bid volume, ask volume
    std::array<int, 8> limits{255, 255, 255, 255, 255, 255, 255, 255};  // 255: no limit
    std::array<std::uint8_t, 8> count_choices{};                        // 0: the true count
    std::array<float, 7> fallbacks{};
    HostDateTime time_fallback = 0;
    bool empty_non_null = false;
    std::int32_t period_kind = 2;
    std::int32_t period_sub_kind = 0;
    std::int32_t period_count = 60;
    bool period_text = false;
    int time_zone = 0;  // 0 New York, 1 London, 2 empty, 3 left untouched
    std::string symbol;
    bool symbol_untouched = false;
    bool has_session_times = false;
    HostSessionTimes session_times{};
    std::int32_t bar_seconds = 60;

    std::size_t size() const { return times.size(); }
};

const char* time_zone_text(int choice) {
    switch (choice) {
        case 0: return "America/New_York";
        case 1: return "Europe/London";
        default: return "";
    }
}

// The symbol the host library maps to a slot's chart, and that chart.
const char* slot_symbol(int slot) { return source_labels[static_cast<std::size_t>(slot)].default_symbol; }
int library_chart_of_slot(int slot) { return slot % 6 + 1; }

bool same_ignoring_case(const char* a, const char* b) {
    for (;; ++a, ++b) {
        const int x = (*a >= 'a' && *a <= 'z') ? *a - 32 : *a;
        const int y = (*b >= 'a' && *b <= 'z') ? *b - 32 : *b;
        if (x != y) return false;
        if (*a == '\0') return true;
    }
}

// --- The harness ----------------------------------------------------------------------------

enum class CallKind { defaults, full, update, last };

class Harness {
  public:
    Harness();
    ~Harness();
    Harness(const Harness&) = delete;
    Harness& operator=(const Harness&) = delete;

    void run(ByteReader& reader);
    FuzzOutcome outcome() const { return outcome_; }

  private:
    // Failure reporting: the first broken promise ends the input.
    void fail(const std::string& message);
    bool ok() const { return outcome_.ok; }

    // Operations of the input.
    void step(ByteReader& r);
    void do_call_with_repeat(ByteReader& r, CallKind kind, std::int32_t update_start_index);
    void do_foreign_layout_call(ByteReader& r);
    void do_bars(ByteReader& r, Op op);
    void do_chart_setting(ByteReader& r);
    void do_set_input(ByteReader& r);
    void do_bind_slot(ByteReader& r);
    void do_host_setting(ByteReader& r);
    void do_new_instance(ByteReader& r);
    std::int32_t decode_update_index(ByteReader& r);
    HostDateTime decode_time(ByteReader& r);
    void decode_bars(ByteReader& r, FuzzChart& chart, bool append);
    std::string decode_text(ByteReader& r);

    // Calls.
    bool call(CallKind kind, std::int32_t update_start_index, bool forced = false);
    void end_call_buffers();
    void fill_record(CallKind kind, std::int32_t update_start_index);
    void prepare_series();
    void check_series();
    void check_after_call(CallKind kind);
    void finish();

    // Host values.
    std::int32_t record_bar_count() const;
    FuzzChart* chart_by_number(std::int32_t number);
    HostFloatArray hand_out(const FuzzChart& chart, int array);
    HostDateTimeArray hand_out_times(const FuzzChart& chart);
    void resize_inputs(int count);
    void resize_output_series(int count);
    void init_input(HostInput& input);
    void release_input_value(HostInput& input);
    void set_input_static_text(HostInput& input, std::uint8_t type, const std::string& text);
    void set_input_owned_text(HostInput& input, std::uint8_t type, const std::string& text);
    bool may_hold_owned_text(int index) const;
    std::int64_t host_owned_blocks() const;
    std::int64_t live_blocks() const { return heap_allocation_count() - heap_free_count() - live_at_start_; }
    StudyState* state() const;
    std::int32_t line_base() const;
    bool in_block(std::int32_t line) const;

    // Host operations.
    static Harness& of(HostInterface* record) { return *static_cast<Harness*>(record->host_context); }
    static void* op_persistent_pointer(HostInterface* record, std::int32_t key);
    static void op_set_persistent_pointer(HostInterface* record, std::int32_t key, void* pointer);
    static std::int32_t* op_persistent_int(HostInterface* record, std::int32_t key);
    static std::int32_t op_open_chart(HostInterface* record, ChartOpenRequest* request);
    static void op_get_chart_base_data(HostInterface* record, std::int32_t chart, HostChartArrays* out);
    static void op_get_chart_bar_datetimes(HostInterface* record, std::int32_t chart, HostDateTimeArray* out);
    static void op_get_bar_period(HostInterface* record, std::int32_t chart, HostBarPeriod* out);
    static std::int32_t op_get_session_times(HostInterface* record, std::int32_t chart, HostSessionTimes* out);
    static void op_get_time_zone_text(HostInterface* record, std::int32_t chart, HostText* out);
    static void op_get_chart_symbol(HostInterface* record, std::int32_t chart, HostText* out);
    static void op_format_price(HostInterface* record, HostText* out, double value, std::int32_t format);
    static void op_log_message(HostInterface* record, const char* text, std::int32_t show);
    static std::int32_t op_add_or_update_drawing(HostInterface* record, DrawingRequest* request);
    static void op_delete_drawing(HostInterface* record, std::int32_t chart, std::int32_t zero, std::int32_t line);
    static void op_set_list_items(void* context, const char* items);

    FuzzOutcome outcome_;
    std::int64_t live_at_start_ = 0;

    // The host's record, inputs and output series, each exactly as large as it claims.
    std::unique_ptr<HostInterface> record_;
    std::unique_ptr<HostInput[]> inputs_;
    int input_count_ = 0;
    std::unique_ptr<HostOutputSeries[]> series_;
    int series_count_ = 0;
    std::vector<std::vector<float>> series_values_;         // host-kept values, one per bar
    std::vector<std::unique_ptr<float[]>> series_buffers_;  // handed out for one call
    std::vector<std::int32_t> series_buffer_counts_;
    int series_spare_ = 0;
    bool list_items_ = true;

    // Charts: 0 carries the study, 1 to 6 are sources.
    std::array<FuzzChart, fuzz_chart_count> charts_;
    std::unique_ptr<char[]> chart_symbol_;  // this_chart_symbol, exact size, or null
    int bar_count_choice_ = 0;
    std::int32_t bar_count_extra_ = 0;

    // Host state.
    HostDateTime now_ = wednesday_us + 10 * 3600 * second_us;
    HostDateTime alternate_now_ = 0;
    std::int32_t alternate_flag_ = 0;
    std::int32_t region_top_ = 0;
    std::int32_t region_bottom_ = 600;
    std::int32_t price_format_ = 2;
    int answer_ = answer_library;
    std::int32_t answer_value_ = 0;
    int rotate_ = 0;
    int pending_failure_ = -1;                          // which allocation of the next call fails; 255: all; -1: none
    std::deque<std::unique_ptr<char[]>> static_texts_;  // texts the host keeps for inputs it owns

    // The instance.
    std::int32_t study_id_ = 0;
    std::int32_t chart_number_ = 1;
    std::uint16_t absent_ops_ = 0;
    std::map<std::int32_t, void*> pointers_;
    std::map<std::int32_t, std::int32_t> ints_;
    std::set<std::pair<std::int32_t, std::int32_t>> drawings_;  // (chart, line number)

    // Per call.
    std::vector<std::unique_ptr<float[]>> call_floats_;
    std::vector<std::unique_ptr<HostDateTime[]>> call_times_;
    int operations_in_call_ = 0;  // host operations the study used, set_list_items aside
    int list_item_calls_ = 0;
};

// Bits of absent_ops_: a host may leave any operation null.
enum AbsentOp {
    absent_pointer_ops = 1 << 0,
    absent_persistent_int = 1 << 1,
    absent_open_chart = 1 << 2,
    absent_base_data = 1 << 3,
    absent_datetimes = 1 << 4,
    absent_bar_period = 1 << 5,
    absent_session_times = 1 << 6,
    absent_time_zone = 1 << 7,
    absent_chart_symbol = 1 << 8,
    absent_format_price = 1 << 9,
    absent_log = 1 << 10,
    absent_add_drawing = 1 << 11,
    absent_delete_drawing = 1 << 12,
};

Harness::Harness() {
    live_at_start_ = heap_allocation_count() - heap_free_count();
    record_ = std::make_unique<HostInterface>();
    std::memset(record_.get(), 0, sizeof(HostInterface));
    record_->study_name = make_text();
    record_->study_description = make_text();
    record_->study_region = -1;
    resize_inputs(default_input_count);
    resize_output_series(default_output_series);
    for (int k = 0; k < fuzz_chart_count; ++k) {
        FuzzChart& chart = charts_[static_cast<std::size_t>(k)];
        chart.number = k == 0 ? chart_number_ : source_chart_number(k);
        chart.symbol = k == 0 ? "ESZ26.CME" : slot_symbol(k - 1);
    }
    const char initial_symbol[] = "ESZ26.CME";
    chart_symbol_ = std::make_unique<char[]>(sizeof initial_symbol);
    std::memcpy(chart_symbol_.get(), initial_symbol, sizeof initial_symbol);
}

Harness::~Harness() = default;

void Harness::fail(const std::string& message) {
    if (!outcome_.ok) return;
    outcome_.ok = false;
    outcome_.failure = message;
}

StudyState* Harness::state() const {
    const auto it = pointers_.find(state_pointer_key);
    return it == pointers_.end() ? nullptr : static_cast<StudyState*>(it->second);
}

std::int32_t Harness::line_base() const {
    return static_cast<std::int32_t>((static_cast<std::uint32_t>(study_id_) + 75200u) * 1000u);
}

bool Harness::in_block(std::int32_t line) const {
    const std::uint32_t offset = static_cast<std::uint32_t>(line) - static_cast<std::uint32_t>(line_base());
    return offset < static_cast<std::uint32_t>(lines_per_block);
}

// --- Host values ----------------------------------------------------------------------------

void Harness::init_input(HostInput& input) {
    std::memset(&input, 0, sizeof input);
    input.name = make_text();
    input.set_list_items = list_items_ ? op_set_list_items : nullptr;
    input.list_items_context = this;
}

void Harness::release_input_value(HostInput& input) {
    const bool holds_text = input.type == 26 || input.type == 27 || input.type == 28;
    if (holds_text && input_text_owned(input) != 0) heap_free(input_text(input));
    set_input_text(input, nullptr, 0);
}

// Owned text blocks only stand in inputs that the study declares as texts or never
// declares: an input the study declares as a number is overwritten without a release,
// as every host-owned value of such an input is the host's to keep.
bool Harness::may_hold_owned_text(int index) const {
    if (index >= 30 && index <= 46) return index % 2 == 0;
    return (index >= 21 && index <= 29) || index >= 48;
}

void Harness::set_input_static_text(HostInput& input, std::uint8_t type, const std::string& text) {
    release_input_value(input);
    auto copy = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(copy.get(), text.c_str(), text.size() + 1);
    input.type = type;
    set_input_text(input, copy.get(), 0);
    static_texts_.push_back(std::move(copy));
}

void Harness::set_input_owned_text(HostInput& input, std::uint8_t type, const std::string& text) {
    release_input_value(input);
    auto* copy = static_cast<char*>(heap_alloc(text.size() + 1));
    if (copy != nullptr) std::memcpy(copy, text.c_str(), text.size() + 1);
    input.type = type;
    set_input_text(input, copy, 1);
}

void Harness::resize_inputs(int count) {
    count = std::clamp(count, 0, max_input_count);
    std::unique_ptr<HostInput[]> resized(count > 0 ? new HostInput[static_cast<std::size_t>(count)] : nullptr);
    for (int i = 0; i < count; ++i) {
        if (i < input_count_) {
            resized[static_cast<std::size_t>(i)] = inputs_[static_cast<std::size_t>(i)];
        } else {
            init_input(resized[static_cast<std::size_t>(i)]);
        }
    }
    for (int i = count; i < input_count_; ++i) {
        HostInput& dropped = inputs_[static_cast<std::size_t>(i)];
        release(dropped.name);
        release_input_value(dropped);
    }
    inputs_ = std::move(resized);
    input_count_ = count;
}

void Harness::resize_output_series(int count) {
    count = std::clamp(count, 0, max_output_series);
    std::unique_ptr<HostOutputSeries[]> resized(count > 0 ? new HostOutputSeries[static_cast<std::size_t>(count)]
                                                          : nullptr);
    for (int i = 0; i < count; ++i) {
        if (i < series_count_) {
            resized[static_cast<std::size_t>(i)] = series_[static_cast<std::size_t>(i)];
        } else {
            std::memset(&resized[static_cast<std::size_t>(i)], 0, sizeof(HostOutputSeries));
            resized[static_cast<std::size_t>(i)].name = make_text();
        }
    }
    for (int i = count; i < series_count_; ++i) release(series_[static_cast<std::size_t>(i)].name);
    series_ = std::move(resized);
    series_count_ = count;
    series_values_.resize(static_cast<std::size_t>(count));
}

// Heap blocks the host holds: owned names and texts of the record, inputs and series.
std::int64_t Harness::host_owned_blocks() const {
    const auto owned = [](const HostText& text) { return text.owns_buffer != 0 && text.data != nullptr ? 1 : 0; };
    std::int64_t blocks = owned(record_->study_name) + owned(record_->study_description);
    for (int i = 0; i < input_count_; ++i) {
        const HostInput& input = inputs_[static_cast<std::size_t>(i)];
        blocks += owned(input.name);
        const bool holds_text = input.type == 26 || input.type == 27 || input.type == 28;
        if (holds_text && input_text_owned(input) != 0 && input_text(input) != nullptr) ++blocks;
    }
    for (int i = 0; i < series_count_; ++i) blocks += owned(series_[static_cast<std::size_t>(i)].name);
    return blocks;
}

std::int32_t Harness::record_bar_count() const {
    const auto bars = static_cast<std::int64_t>(charts_[0].size());
    switch (bar_count_choice_) {
        case 1: return narrow(bars - 1);
        case 2: return narrow(bars + 1);
        case 3: return 0;
        case 4: return -1;
        case 5: return int32_min;
        case 6: return narrow(bars + bar_count_extra_);
        default: return narrow(bars);
    }
}

FuzzChart* Harness::chart_by_number(std::int32_t number) {
    if (number == chart_number_) return &charts_[0];
    for (int k = 1; k < fuzz_chart_count; ++k) {
        if (charts_[static_cast<std::size_t>(k)].number == number) return &charts_[static_cast<std::size_t>(k)];
    }
    return nullptr;
}

// The count a host array claims for its first n elements, and the elements its block holds
// beyond them. A negative count is handed out over the block of the n elements, so that a
// study that takes it for a bound reads outside the block. A count beyond the chart's bars
// is backed by that many elements: reading them is allowed, reading past them is not.
struct ArrayClaim {
    std::int32_t count = 0;
    std::size_t extra = 0;
};

ArrayClaim claim_of(std::size_t n, std::uint8_t choice) {
    const auto bars = static_cast<std::int32_t>(n);
    if (choice == 0) return ArrayClaim{bars, 0};
    if (choice < 128) {
        static const std::array<std::int32_t, 6> negatives = {-1, -2, -7, int32_min, int32_min + 1, -65536};
        const int k = (choice - 1) % 8;
        if (k == 6) return ArrayClaim{-bars, 0};
        if (k == 7) return ArrayClaim{-bars - 1, 0};
        return ArrayClaim{negatives[static_cast<std::size_t>(k)], 0};
    }
    static const std::array<std::size_t, 8> extras = {1, 2, 3, 16, 255, 1000, 4096, 65536};
    const std::size_t extra = extras[static_cast<std::size_t>((choice - 128) % 8)];
    return ArrayClaim{static_cast<std::int32_t>(n + extra), extra};
}

// A host array of exactly as many elements as it claims (a negative claim aside), so
// that any read outside it is an AddressSanitizer report. An empty array has a null
// pointer, or a zero-length block when the chart says so. Elements beyond the chart's bars
// hold special values.
HostFloatArray Harness::hand_out(const FuzzChart& chart, int array) {
    const std::vector<float>& values = chart.values[static_cast<std::size_t>(array)];
    const int limit = chart.limits[static_cast<std::size_t>(array)];
    std::size_t n = values.size();
    if (limit != 255) n = std::min(n, static_cast<std::size_t>(limit));
    const ArrayClaim claim = claim_of(n, chart.count_choices[static_cast<std::size_t>(array)]);
    HostFloatArray out{};
    out.fallback = chart.fallbacks[static_cast<std::size_t>(array)];
    out.count = claim.count;
    const std::size_t held = n + claim.extra;
    if (held == 0 && !chart.empty_non_null) return out;
    call_floats_.push_back(std::unique_ptr<float[]>(new float[held]));
    float* block = call_floats_.back().get();
    if (n != 0) std::memcpy(block, values.data(), n * sizeof(float));
    for (std::size_t k = n; k < held; ++k) block[k] = special_float(static_cast<std::uint8_t>(k));
    out.data = block;
    return out;
}

HostDateTimeArray Harness::hand_out_times(const FuzzChart& chart) {
    const int limit = chart.limits[array_times];
    std::size_t n = chart.times.size();
    if (limit != 255) n = std::min(n, static_cast<std::size_t>(limit));
    const ArrayClaim claim = claim_of(n, chart.count_choices[array_times]);
    HostDateTimeArray out{};
    out.fallback = chart.time_fallback;
    out.count = claim.count;
    const std::size_t held = n + claim.extra;
    if (held == 0 && !chart.empty_non_null) return out;
    call_times_.push_back(std::unique_ptr<HostDateTime[]>(new HostDateTime[held]));
    HostDateTime* block = call_times_.back().get();
    if (n != 0) std::memcpy(block, chart.times.data(), n * sizeof(HostDateTime));
    const HostDateTime last = n != 0 ? chart.times[n - 1] : wednesday_us;
    static const std::array<HostDateTime, 4> beyond = {int64_max, int64_min, 0, -60 * second_us};
    for (std::size_t k = n; k < held; ++k) {
        block[k] = k % 4 == 3 ? saturating_add(last, beyond[3]) : beyond[k % 4];
    }
    out.data = block;
    return out;
}

// --- Host operations --------------------------------------------------------------------------

void* Harness::op_persistent_pointer(HostInterface* record, std::int32_t key) {
    Harness& h = of(record);
    ++h.operations_in_call_;
    if (key != state_pointer_key) h.fail("persistent_pointer asked for key " + std::to_string(key));
    const auto it = h.pointers_.find(key);
    return it == h.pointers_.end() ? nullptr : it->second;
}

void Harness::op_set_persistent_pointer(HostInterface* record, std::int32_t key, void* pointer) {
    Harness& h = of(record);
    ++h.operations_in_call_;
    if (key != state_pointer_key) h.fail("set_persistent_pointer for key " + std::to_string(key));
    h.pointers_[key] = pointer;
}

std::int32_t* Harness::op_persistent_int(HostInterface* record, std::int32_t key) {
    Harness& h = of(record);
    ++h.operations_in_call_;
    if (key < 10 || key > 18) h.fail("persistent_int asked for key " + std::to_string(key));
    return &h.ints_[key];
}

std::int32_t Harness::op_open_chart(HostInterface* record, ChartOpenRequest* request) {
    Harness& h = of(record);
    ++h.operations_in_call_;
    if (request == nullptr) {
        h.fail("open_chart without a request");
        return 0;
    }
    const char* symbol = text_chars(request->symbol);
    (void)std::strlen(text_chars(request->time_zone));
    if (request->request_code != 5 || request->request_kind != 2 || request->value_at_96 != 1 ||
        request->value_at_112 != 1 || (request->hide_chart != 0 && request->hide_chart != 1)) {
        h.fail("open_chart request with wrong constant fields");
    }
    switch (h.answer_) {
        case answer_zero: return 0;
        case answer_minus_one: return -1;
        case answer_this_chart: return h.chart_number_;
        case answer_missing: return missing_chart_number;
        case answer_value: return h.answer_value_;
        case answer_remembered: return request->remembered_chart_number;
        case answer_rotate: h.rotate_ = h.rotate_ % 6 + 1; return source_chart_number(h.rotate_);
        default:
            for (int slot = 0; slot < source_slot_count; ++slot) {
                if (same_ignoring_case(symbol, slot_symbol(slot)))
                    return source_chart_number(library_chart_of_slot(slot));
            }
            return 0;
    }
}

void Harness::op_get_chart_base_data(HostInterface* record, std::int32_t chart_number, HostChartArrays* out) {
    Harness& h = of(record);
    ++h.operations_in_call_;
    const FuzzChart* chart = h.chart_by_number(chart_number);
    if (chart == nullptr) return;  // no such chart: the arrays stay as the study set them
    for (int a = 0; a < kmi_chart_array_count; ++a) out->arrays[a] = h.hand_out(*chart, a);
}

void Harness::op_get_chart_bar_datetimes(HostInterface* record, std::int32_t chart_number, HostDateTimeArray* out) {
    Harness& h = of(record);
    ++h.operations_in_call_;
    const FuzzChart* chart = h.chart_by_number(chart_number);
    if (chart != nullptr) *out = h.hand_out_times(*chart);
}

void Harness::op_get_bar_period(HostInterface* record, std::int32_t chart_number, HostBarPeriod* out) {
    Harness& h = of(record);
    ++h.operations_in_call_;
    const bool preset = out->kind == 0 && out->sub_kind == 0 && out->count == 0 && out->extra[0] == 0 &&
                        out->extra[1] == 0 && out->extra[2] == 0 && out->extra[3] == 1 && out->extra[4] == 0;
    if (!preset) h.fail("bar-period record not pre-set to 0, 0, 0, 0, 0, 0, 1, 0");
    const FuzzChart* chart = h.chart_by_number(chart_number);
    if (chart == nullptr) return;
    out->kind = chart->period_kind;
    out->sub_kind = chart->period_sub_kind;
    out->count = chart->period_count;
    // The host may write the period's name into the record; the study releases it.
    if (chart->period_text) format(out->text, "%d Sec", chart->period_count);
}

std::int32_t Harness::op_get_session_times(HostInterface* record, std::int32_t chart_number, HostSessionTimes* out) {
    Harness& h = of(record);
    ++h.operations_in_call_;
    static const HostSessionTimes zero{};
    if (std::memcmp(out, &zero, sizeof zero) != 0) h.fail("session-times record not zeroed");
    const FuzzChart* chart = h.chart_by_number(chart_number);
    if (chart == nullptr || !chart->has_session_times) return 0;
    *out = chart->session_times;
    return 1;
}

void Harness::op_get_time_zone_text(HostInterface* record, std::int32_t chart_number, HostText* out) {
    Harness& h = of(record);
    ++h.operations_in_call_;
    const FuzzChart* chart = h.chart_by_number(chart_number);
    if (chart == nullptr) {
        clear(*out);
        return;
    }
    if (chart->time_zone == 3) return;
    const char* zone = time_zone_text(chart->time_zone);
    assign(*out, zone, static_cast<std::int64_t>(std::strlen(zone)));
}

void Harness::op_get_chart_symbol(HostInterface* record, std::int32_t chart_number, HostText* out) {
    Harness& h = of(record);
    ++h.operations_in_call_;
    const FuzzChart* chart = h.chart_by_number(chart_number);
    if (chart == nullptr) {
        clear(*out);
        return;
    }
    if (chart->symbol_untouched) return;
    assign(*out, chart->symbol.c_str(), static_cast<std::int64_t>(chart->symbol.size()));
}

void Harness::op_format_price(HostInterface* record, HostText* out, double value, std::int32_t format_code) {
    Harness& h = of(record);
    ++h.operations_in_call_;
    const int decimals = format_code >= 0 && format_code <= 10 ? format_code : 2;
    format(*out, "%.*f", decimals, value);
}

void Harness::op_log_message(HostInterface* record, const char* text, std::int32_t show) {
    Harness& h = of(record);
    ++h.operations_in_call_;
    if (text == nullptr) {
        h.fail("log_message with a null text");
        return;
    }
    (void)std::strlen(text);
    if (show != 0 && show != 1) h.fail("log_message with show flag " + std::to_string(show));
}

std::int32_t Harness::op_add_or_update_drawing(HostInterface* record, DrawingRequest* request) {
    Harness& h = of(record);
    ++h.operations_in_call_;
    if (request == nullptr) {
        h.fail("add_or_update_drawing without a request");
        return 0;
    }
    if (request->record_size != sizeof(DrawingRequest) || request->interface_version != KMI_HOST_INTERFACE_VERSION) {
        h.fail("drawing request without its size or interface version");
    }
    if (request->chart_number != h.chart_number_) h.fail("drawing on another chart");
    if (!h.in_block(request->line_number)) {
        h.fail("drawing line number " + std::to_string(request->line_number) + " outside the instance's block");
    }
    for (const HostText* text : {&request->text, &request->font_face, &request->extra_text_1, &request->extra_text_2}) {
        (void)std::strlen(text_chars(*text));
    }
    h.drawings_.insert({request->chart_number, request->line_number});
    return 1;
}

void Harness::op_delete_drawing(HostInterface* record, std::int32_t chart, std::int32_t zero, std::int32_t line) {
    Harness& h = of(record);
    ++h.operations_in_call_;
    if (chart != h.chart_number_ || zero != 0) h.fail("delete_drawing on another chart or with a nonzero argument");
    if (!h.in_block(line)) h.fail("deleting line number " + std::to_string(line) + " outside the instance's block");
    h.drawings_.erase({chart, line});
}

void Harness::op_set_list_items(void* context, const char* items) {
    Harness& h = *static_cast<Harness*>(context);
    ++h.list_item_calls_;
    if (items == nullptr) {
        h.fail("set_list_items with a null text");
        return;
    }
    (void)std::strlen(items);
}

// --- Calls -----------------------------------------------------------------------------------

void Harness::prepare_series() {
    const std::int32_t bars = record_bar_count();
    const std::size_t kept = static_cast<std::size_t>(std::max(bars, 0));
    series_buffers_.clear();
    series_buffer_counts_.clear();
    for (int i = 0; i < series_count_; ++i) {
        std::vector<float>& values = series_values_[static_cast<std::size_t>(i)];
        values.resize(kept, 0.0f);
        const std::size_t n = kept + static_cast<std::size_t>(series_spare_);
        series_buffers_.push_back(std::unique_ptr<float[]>(n > 0 ? new float[n] : nullptr));
        float* buffer = series_buffers_.back().get();
        if (kept > 0) std::memcpy(buffer, values.data(), kept * sizeof(float));
        for (std::size_t k = kept; k < n; ++k) std::memcpy(&buffer[k], &series_sentinel_bits, sizeof(float));
        HostOutputSeries& series = series_[static_cast<std::size_t>(i)];
        series.values.data = buffer;
        series.values.count = static_cast<std::int32_t>(n);
        series.values.fallback = 0.0f;
        series_buffer_counts_.push_back(static_cast<std::int32_t>(n));
    }
}

// Values beyond bar_count must be as the host left them; the others are kept.
void Harness::check_series() {
    const std::size_t kept = static_cast<std::size_t>(std::max(record_bar_count(), 0));
    for (int i = 0; i < series_count_; ++i) {
        const float* buffer = series_buffers_[static_cast<std::size_t>(i)].get();
        const auto n = static_cast<std::size_t>(series_buffer_counts_[static_cast<std::size_t>(i)]);
        for (std::size_t k = kept; k < n; ++k) {
            if (std::memcmp(&buffer[k], &series_sentinel_bits, sizeof(float)) != 0) {
                fail("output series " + std::to_string(i) + " written at index " + std::to_string(k) +
                     ", beyond bar_count");
                return;
            }
        }
        std::vector<float>& values = series_values_[static_cast<std::size_t>(i)];
        if (kept > 0) std::memcpy(values.data(), buffer, kept * sizeof(float));
        series_[static_cast<std::size_t>(i)].values = HostSeriesValues{};
    }
    series_buffers_.clear();
}

void Harness::fill_record(CallKind kind, std::int32_t update_start_index) {
    HostInterface& r = *record_;
    const FuzzChart& chart = charts_[0];
    r.record_size = sizeof(HostInterface);
    r.layout_version = KMI_HOST_LAYOUT_VERSION;
    r.reserved = 0;
    r.is_defaults_call = kind == CallKind::defaults ? 1 : 0;
    r.is_last_call = kind == CallKind::last ? 1 : 0;
    r.bar_count = record_bar_count();
    r.update_start_index = kind == CallKind::full ? 0 : update_start_index;
    r.this_chart_number = chart_number_;
    r.study_id = study_id_;
    r.bar_seconds = chart.bar_seconds;
    r.this_chart_symbol = chart_symbol_.get();
    r.price_format = price_format_;
    r.bar_datetimes = hand_out_times(chart);
    r.bar_open = hand_out(chart, array_open);
    r.bar_high = hand_out(chart, array_high);
    r.bar_low = hand_out(chart, array_low);
    r.bar_close = hand_out(chart, array_close);
    r.bar_volume = hand_out(chart, array_volume);
    r.bar_bid_volume = hand_out(chart, array_bid);
    r.bar_ask_volume = hand_out(chart, array_ask);
    r.current_date_time = now_;
    r.alternate_current_date_time = alternate_now_;
    r.now_from_alternate_clock = alternate_flag_;
    r.region_top_px = region_top_;
    r.region_bottom_px = region_bottom_;
    r.input_count = input_count_;
    r.inputs = inputs_.get();
    prepare_series();
    r.output_series_count = series_count_;
    r.output_series = series_.get();
    const auto present = [this](int bit) { return (absent_ops_ & bit) == 0; };
    r.persistent_pointer = present(absent_pointer_ops) ? op_persistent_pointer : nullptr;
    r.set_persistent_pointer = present(absent_pointer_ops) ? op_set_persistent_pointer : nullptr;
    r.persistent_int = present(absent_persistent_int) ? op_persistent_int : nullptr;
    r.open_chart = present(absent_open_chart) ? op_open_chart : nullptr;
    r.get_chart_base_data = present(absent_base_data) ? op_get_chart_base_data : nullptr;
    r.get_chart_bar_datetimes = present(absent_datetimes) ? op_get_chart_bar_datetimes : nullptr;
    r.get_bar_period = present(absent_bar_period) ? op_get_bar_period : nullptr;
    r.get_session_times = present(absent_session_times) ? op_get_session_times : nullptr;
    r.get_time_zone_text = present(absent_time_zone) ? op_get_time_zone_text : nullptr;
    r.get_chart_symbol = present(absent_chart_symbol) ? op_get_chart_symbol : nullptr;
    r.format_price = present(absent_format_price) ? op_format_price : nullptr;
    r.log_message = present(absent_log) ? op_log_message : nullptr;
    r.add_or_update_drawing = present(absent_add_drawing) ? op_add_or_update_drawing : nullptr;
    r.delete_drawing = present(absent_delete_drawing) ? op_delete_drawing : nullptr;
    r.host_context = this;
}

void Harness::end_call_buffers() {
    check_series();
    call_floats_.clear();
    call_times_.clear();
    record_->bar_datetimes = HostDateTimeArray{};
    for (HostFloatArray* a : {&record_->bar_open, &record_->bar_high, &record_->bar_low, &record_->bar_close,
                              &record_->bar_volume, &record_->bar_bid_volume, &record_->bar_ask_volume}) {
        *a = HostFloatArray{};
    }
}

// One call of the study through its exported entry. `forced` is the host's final last
// call, made even after a broken promise or with the call budget spent.
bool Harness::call(CallKind kind, std::int32_t update_start_index, bool forced) {
    if (!forced && (!ok() || outcome_.study_calls >= max_study_calls)) return false;
    ++outcome_.study_calls;
    fill_record(kind, update_start_index);
    operations_in_call_ = 0;
    list_item_calls_ = 0;
    void* const state_before = state();
    if (pending_failure_ == 255) {
        heap_fail_next(std::numeric_limits<int>::max());
    } else if (pending_failure_ >= 0) {
        heap_fail_after(pending_failure_);
    }
    pending_failure_ = -1;
    scsf_KeelwickMarketInternals(record_.get());
    heap_fail_next(0);
    heap_fail_after(-1);
    end_call_buffers();
    if (kind == CallKind::defaults && (operations_in_call_ != 0 || state() != state_before)) {
        fail("the defaults call used the host beyond its declarations");
    }
    check_after_call(kind);
    return ok();
}

void Harness::check_after_call(CallKind kind) {
    // No heap block is lost: the host's owned texts and the state are all that is left.
    const std::int64_t expected = host_owned_blocks() + (state() != nullptr ? 1 : 0);
    if (live_blocks() != expected) {
        fail("heap blocks after the call: " + std::to_string(live_blocks()) + ", expected " + std::to_string(expected));
    }
    if (kind == CallKind::last) {
        if (state() != nullptr) fail("the state is still set after the last call");
        if ((absent_ops_ & absent_delete_drawing) == 0) {
            for (const auto& drawing : drawings_) {
                if (drawing.first == chart_number_ && in_block(drawing.second))
                    fail("a drawing outlives the last call");
            }
        }
        return;
    }
    // With both drawing operations there, the host holds exactly the lines of the panel.
    const StudyState* s = state();
    if (kind != CallKind::defaults && s != nullptr &&
        (absent_ops_ & (absent_add_drawing | absent_delete_drawing)) == 0) {
        if (s->panel_line_count < 0 || s->panel_line_count > lines_per_block) {
            fail("panel line count " + std::to_string(s->panel_line_count));
            return;
        }
        std::set<std::pair<std::int32_t, std::int32_t>> expected_lines;
        for (std::int32_t i = 0; i < s->panel_line_count; ++i) {
            expected_lines.insert({chart_number_, static_cast<std::int32_t>(static_cast<std::uint32_t>(line_base()) +
                                                                            static_cast<std::uint32_t>(i))});
        }
        std::set<std::pair<std::int32_t, std::int32_t>> present;
        for (const auto& drawing : drawings_) {
            if (drawing.first == chart_number_ && in_block(drawing.second)) present.insert(drawing);
        }
        if (present != expected_lines) fail("the drawings on the chart are not the panel's lines");
    }
}

// The persistent records, field by field and bit for bit (NaNs compare equal to
// themselves). panel_line_count is the panel's, rewritten on every call.
template <typename T>
bool same_bits(const T& a, const T& b) {
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

bool same_session(const SourceSession& a, const SourceSession& b) {
    return same_bits(a.next_bar, b.next_bar) && same_bits(a.consumed_bar_start_ms, b.consumed_bar_start_ms) &&
           same_bits(a.has_data, b.has_data) && same_bits(a.bar_start_ms, b.bar_start_ms) &&
           same_bits(a.bar_end_ms, b.bar_end_ms) && same_bits(a.last_value, b.last_value) &&
           same_bits(a.session_day, b.session_day) && same_bits(a.session_open, b.session_open) &&
           same_bits(a.session_high, b.session_high) && same_bits(a.session_low, b.session_low) &&
           same_bits(a.bars_at_or_above_upper, b.bars_at_or_above_upper) &&
           same_bits(a.bars_at_or_below_lower, b.bars_at_or_below_lower) && same_bits(a.session_bars, b.session_bars) &&
           same_bits(a.sum_x, b.sum_x) && same_bits(a.sum_y, b.sum_y) && same_bits(a.sum_xx, b.sum_xx) &&
           same_bits(a.sum_xy, b.sum_xy) && same_bits(a.session_last_value, b.session_last_value) &&
           same_bits(a.session_last_bar_start_ms, b.session_last_bar_start_ms) &&
           same_bits(a.has_prior_close, b.has_prior_close) && same_bits(a.prior_session_close, b.prior_session_close);
}

bool same_records(const StudyState& a, const StudyState& b) {
    if (!same_bits(a.session_window.start_second, b.session_window.start_second) ||
        !same_bits(a.session_window.end_second, b.session_window.end_second) ||
        !same_bits(a.upper_threshold, b.upper_threshold) || !same_bits(a.lower_threshold, b.lower_threshold)) {
        return false;
    }
    for (std::size_t i = 0; i < a.sources.size(); ++i) {
        if (!same_session(a.sources[i], b.sources[i])) return false;
    }
    const ChartFlow& f = a.chart_flow;
    const ChartFlow& g = b.chart_flow;
    return same_bits(f.session_day, g.session_day) && same_bits(f.cum_delta, g.cum_delta) &&
           same_bits(f.sum_price_volume, g.sum_price_volume) && same_bits(f.sum_volume, g.sum_volume) &&
           same_bits(f.last_close, g.last_close) && same_bits(f.has_data, g.has_data) &&
           a.source_bindings.chart_numbers == b.source_bindings.chart_numbers &&
           a.source_bindings.is_this_chart == b.source_bindings.is_this_chart && a.last_closed_bar == b.last_closed_bar;
}

// A full or update call, then the check that the live pass leaves the persistent
// records alone. The check needs no change to the study: right after a call, every
// closed bar is already folded in, so an update that starts after last_closed_bar on
// the same data walks no closed bar, resolves nothing and finds no changed source
// history; the only work left to it is the live pass (and the panel). Its persistent
// records must therefore come out bit for bit as they went in, even when the host's
// clock has moved and the live pass reads further into the sources than before.
void Harness::do_call_with_repeat(ByteReader& r, CallKind kind, std::int32_t update_start_index) {
    const std::uint8_t repeat = r.byte();
    const HostDateTime new_now = (repeat & 1) != 0 ? decode_time(r) : now_;
    if (!call(kind, update_start_index)) return;
    const StudyState* s = state();
    if (s == nullptr) return;
    const StudyState before = *s;
    now_ = new_now;
    const std::int32_t index = before.last_closed_bar + 1 > 1 ? before.last_closed_bar + 1 : 1;
    if (!call(CallKind::update, index)) return;
    const StudyState* after = state();
    if (after == nullptr) {
        fail("the state disappeared on an update");
        return;
    }
    if (!same_records(before, *after)) fail("a call that walked no closed bar changed the persistent records");
}

// A record of another layout: the study writes nothing into it.
void Harness::do_foreign_layout_call(ByteReader& r) {
    if (!ok() || outcome_.study_calls >= max_study_calls) return;
    ++outcome_.study_calls;
    fill_record(CallKind::full, 0);
    switch (r.choice(4)) {
        case 0: record_->record_size = sizeof(HostInterface) - 8; break;
        case 1: record_->layout_version = KMI_HOST_LAYOUT_VERSION + 1; break;
        case 2: record_->record_size = 8; break;
        default: record_->record_size = 0xFFFFFFFFu; break;
    }
    std::vector<unsigned char> before(sizeof(HostInterface));
    std::memcpy(before.data(), record_.get(), sizeof(HostInterface));
    const std::int64_t allocations = heap_allocation_count();
    operations_in_call_ = 0;
    list_item_calls_ = 0;
    scsf_KeelwickMarketInternals(record_.get());
    if (std::memcmp(before.data(), record_.get(), sizeof(HostInterface)) != 0)
        fail("a foreign layout's record was changed");
    if (operations_in_call_ != 0 || list_item_calls_ != 0 || heap_allocation_count() != allocations) {
        fail("the study worked on a record of a foreign layout");
    }
    end_call_buffers();
}

// --- Decoding ------------------------------------------------------------------------------

HostDateTime Harness::decode_time(ByteReader& r) {
    const FuzzChart& chart = charts_[0];
    const HostDateTime last = chart.times.empty() ? wednesday_us + 10 * 3600 * second_us : chart.times.back();
    switch (r.choice(10)) {
        case 0: return 0;
        case 1: return -1;
        case 2: return wednesday_us + 10 * 3600 * second_us;
        case 3: return wednesday_us + (16 * 3600 + 300) * second_us;
        case 4: return wednesday_us + 3 * day_us + 11 * 3600 * second_us;
        case 5: return int64_max;
        case 6: return int64_min;
        case 7: return r.i64();
        case 8: return last;
        default: return saturating_add(last, 301 * second_us + 1000);
    }
}

std::string Harness::decode_text(ByteReader& r) {
    const int length = r.choice(24);
    std::string text;
    for (int i = 0; i < length; ++i) text.push_back(static_cast<char>(r.byte()));
    const std::size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    return text;
}

void Harness::decode_bars(ByteReader& r, FuzzChart& chart, bool append) {
    const int count = r.choice(max_bars_per_recipe + 1);
    const int layout = r.choice(layout_count);
    std::int64_t step = 0;
    HostDateTime base = 0;
    const int base_choice = r.choice(base_count);
    switch (base_choice) {
        case base_wednesday_0925: base = wednesday_us + (9 * 3600 + 25 * 60) * second_us; break;
        case base_wednesday_0930: base = wednesday_us + (9 * 3600 + 30 * 60) * second_us; break;
        case base_friday_1555: base = wednesday_us + 2 * day_us + (15 * 3600 + 55 * 60) * second_us; break;
        case base_saturday_1000: base = wednesday_us + 3 * day_us + 10 * 3600 * second_us; break;
        case base_continue: base = wednesday_us + (9 * 3600 + 25 * 60) * second_us; break;
        case base_zero: base = 0; break;
        case base_negative: base = -static_cast<std::int64_t>(r.u32()) * second_us; break;
        case base_near_max: base = int64_max - r.byte(); break;
        case base_near_min: base = int64_min + r.byte(); break;
        default: base = r.i64(); break;
    }
    switch (r.choice(step_count)) {
        case step_1s: step = second_us; break;
        case step_5s: step = 5 * second_us; break;
        case step_60s: step = 60 * second_us; break;
        case step_300s: step = 300 * second_us; break;
        case step_3600s: step = 3600 * second_us; break;
        case step_1day: step = day_us; break;
        case step_zero: step = 0; break;
        case step_minus_60s: step = -60 * second_us; break;
        default: step = saturating_mul(r.i32(), second_us); break;
    }
    if (base_choice == base_continue && !chart.times.empty()) base = saturating_add(chart.times.back(), step);
    const int price_mode = r.choice(price_mode_count);
    static const std::array<float, 8> levels = {100.0f, 1000.0f, -1000.0f, 4500.0f, 15000.0f, 20.0f, 0.5f, 1.2f};
    float level = 0.0f;
    if (price_mode == prices_level || price_mode == prices_mixed || price_mode == prices_constant) {
        level = levels[r.byte() % levels.size()];
    }
    const int volume_mode = r.choice(volume_mode_count);

    if (!append) {
        chart.times.clear();
        for (auto& values : chart.values) values.clear();
    }
    float previous = chart.values[array_close].empty() ? level : chart.values[array_close].back();
    if (!std::isfinite(previous)) previous = level;
    const float unit = std::max(std::fabs(level) / 200.0f, 0.25f);
    // Every bar's bytes are read, so the operations after it decode the same whether the
    // chart is full or not; bars beyond the chart's limit are dropped.
    for (int i = 0; i < count; ++i) {
        HostDateTime t = saturating_add(base, saturating_mul(i, step));
        if (layout == layout_jittered) t = saturating_add(t, static_cast<std::int8_t>(r.byte()) * second_us);
        if (layout == layout_raw) t = r.i64();
        if (layout == layout_equal) t = base;
        float open = previous;
        float close = previous;
        float high = previous;
        float low = previous;
        switch (price_mode) {
            case prices_level:
            case prices_mixed: {
                const std::uint8_t b = r.byte();
                close = previous + static_cast<float>(static_cast<std::int8_t>(b)) * unit;
                high = std::max(open, close) + unit;
                low = std::min(open, close) - unit;
                if (price_mode == prices_mixed && b < 24) close = special_float(r.byte());
                break;
            }
            case prices_tick: {
                const auto a = static_cast<std::int16_t>(r.u16());
                const auto b = static_cast<std::int16_t>(r.u16());
                open = static_cast<float>(a / 16);
                close = static_cast<float>(b / 16);
                high = std::max(open, close) + 50.0f;
                low = std::min(open, close) - 50.0f;
                break;
            }
            case prices_special:
                open = special_float(r.byte());
                high = special_float(r.byte());
                low = special_float(r.byte());
                close = special_float(r.byte());
                break;
            case prices_raw:
                open = float_from_bits(r.u32());
                high = float_from_bits(r.u32());
                low = float_from_bits(r.u32());
                close = float_from_bits(r.u32());
                break;
            default: open = high = low = close = level; break;
        }
        if (std::isfinite(close)) previous = close;
        float volume = 0.0f;
        float bid = 0.0f;
        float ask = 0.0f;
        switch (volume_mode) {
            case volumes_plain: {
                const std::uint8_t b = r.byte();
                volume = static_cast<float>(b) * 10.0f;
                bid = static_cast<float>(b % 7) * 5.0f;
                ask = volume - bid;
                break;
            }
            case volumes_special:
                volume = special_float(r.byte());
                bid = special_float(r.byte());
                ask = special_float(r.byte());
                break;
            case volumes_raw:
                volume = float_from_bits(r.u32());
                bid = float_from_bits(r.u32());
                ask = float_from_bits(r.u32());
                break;
            default: break;
        }
        if (chart.size() >= static_cast<std::size_t>(max_bars_per_chart)) continue;
        chart.times.push_back(t);
        chart.values[array_open].push_back(open);
        chart.values[array_high].push_back(high);
        chart.values[array_low].push_back(low);
        chart.values[array_close].push_back(close);
        chart.values[array_volume].push_back(volume);
        chart.values[array_bid].push_back(bid);
        chart.values[array_ask].push_back(ask);
    }
}

std::int32_t Harness::decode_update_index(ByteReader& r) {
    const std::int64_t bars = record_bar_count();
    const StudyState* s = state();
    const std::int64_t last_closed = s != nullptr ? s->last_closed_bar : -1;
    switch (r.choice(10)) {
        case 0: return narrow(bars - 1);
        case 1: return narrow(last_closed + 1);
        case 2: return narrow(last_closed);
        case 3: return 0;
        case 4: return -1;
        case 5: return int32_min;
        case 6: return int32_max;
        case 7: return r.i32();
        case 8: return narrow(bars);
        default: return narrow(bars - 2);
    }
}

void Harness::do_bars(ByteReader& r, Op op) {
    FuzzChart& chart = charts_[static_cast<std::size_t>(r.choice(fuzz_chart_count))];
    switch (op) {
        case op_set_bars: decode_bars(r, chart, false); break;
        case op_append_bars: decode_bars(r, chart, true); break;
        case op_drop_bars: {
            const std::uint8_t n = r.byte();
            const std::size_t keep = n == 255 ? 0 : chart.size() - std::min<std::size_t>(n % 16, chart.size());
            chart.times.resize(keep);
            for (auto& values : chart.values) values.resize(keep);
            break;
        }
        default: {
            FuzzChart replacement = chart;
            decode_bars(r, replacement, false);
            if (replacement.size() == 0 || chart.size() == 0) break;
            chart.times.back() = replacement.times.front();
            for (std::size_t a = 0; a < chart.values.size(); ++a)
                chart.values[a].back() = replacement.values[a].front();
            break;
        }
    }
}

void Harness::do_chart_setting(ByteReader& r) {
    FuzzChart& chart = charts_[static_cast<std::size_t>(r.choice(fuzz_chart_count))];
    switch (r.choice(chart_setting_count)) {
        case chart_bar_period:
            chart.period_kind = r.byte() % 4;
            chart.period_sub_kind = r.byte() % 3;
            chart.period_count = r.byte() < 200 ? special_int(r.byte()) : r.i32();
            break;
        case chart_period_text: chart.period_text = r.byte() != 0; break;
        case chart_time_zone: chart.time_zone = r.choice(4); break;
        case chart_symbol: {
            const int choice = r.choice(5);
            chart.symbol_untouched = choice == 4;
            if (choice == 0) chart.symbol = slot_symbol(r.choice(source_slot_count));
            if (choice == 1) {
                chart.symbol = slot_symbol(r.choice(source_slot_count));
                for (char& c : chart.symbol) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
            }
            if (choice == 2) chart.symbol = decode_text(r);
            if (choice == 3) chart.symbol.clear();
            break;
        }
        case chart_session_times:
            chart.has_session_times = r.byte() != 0;
            if (chart.has_session_times) {
                // The record is packed to 4 bytes: its members are set by index, never bound
                // to references.
                for (int i = 0; i < 4; ++i) chart.session_times.times[i] = special_double(r.byte());
                for (int i = 0; i < 3; ++i) chart.session_times.values[i] = special_int(r.byte());
            }
            break;
        case chart_array_limit: {
            const int array = r.choice(8);
            chart.limits[static_cast<std::size_t>(array)] = r.byte();
            break;
        }
        case chart_fallbacks:
            for (float& f : chart.fallbacks) f = special_float(r.byte());
            chart.time_fallback = decode_time(r);
            break;
        case chart_empty_arrays_non_null: chart.empty_non_null = r.byte() != 0; break;
        case chart_array_count: {
            const int array = r.choice(8);
            chart.count_choices[static_cast<std::size_t>(array)] = r.byte();
            break;
        }
        default: chart.bar_seconds = r.byte() < 128 ? special_int(r.byte()) : r.i32(); break;
    }
}

void Harness::do_set_input(ByteReader& r) {
    const int index = r.choice(max_input_count + 2);
    const std::uint8_t type = r.byte();
    const int kind = r.choice(value_kind_count);
    // Everything is decoded first, so an input beyond the record's count reads as many
    // bytes as any other.
    const bool text_type = type == 26 || type == 27 || type == 28;
    int text_choice = 0;
    std::string text;
    HostInput value{};
    bool limits = false;
    if (text_type) {
        text_choice = r.choice(6);
        if (text_choice == 0) text = decode_text(r);
        if (text_choice == 2) text = slot_symbol(r.choice(source_slot_count));
        if (text_choice == 3 && chart_symbol_ != nullptr) text = chart_symbol_.get();
    } else {
        switch (kind) {
            case value_int: set_input_int32(value, special_int(r.byte())); break;
            case value_float: set_input_float(value, special_float(r.byte())); break;
            case value_double: set_input_double(value, special_double(r.byte())); break;
            default:
                for (unsigned char& b : value.value) b = r.byte();
                break;
        }
        limits = (r.byte() & 1) != 0;
        if (limits) {
            for (unsigned char& b : value.minimum) b = r.byte();
            for (unsigned char& b : value.maximum) b = r.byte();
        }
    }
    if (index >= input_count_) return;
    HostInput& input = inputs_[static_cast<std::size_t>(index)];
    if (text_type) {
        if (text_choice == 4) {  // a text input that holds no text at all
            release_input_value(input);
            input.type = type;
        } else if (text_choice == 5 || !may_hold_owned_text(index)) {
            set_input_static_text(input, type, text);
        } else {
            set_input_owned_text(input, type, text);
        }
        return;
    }
    release_input_value(input);
    input.type = type;
    std::memcpy(input.value, value.value, sizeof input.value);
    if (limits) {
        std::memcpy(input.minimum, value.minimum, sizeof input.minimum);
        std::memcpy(input.maximum, value.maximum, sizeof input.maximum);
    }
}

void Harness::do_bind_slot(ByteReader& r) {
    const int slot = r.choice(source_slot_count);
    const int binding = r.choice(bind_count);
    const int symbol_index = symbol_input(slot);
    const int number_index = chart_number_input(slot);
    std::string symbol = slot_symbol(slot);
    std::int32_t number = 0;
    switch (binding) {
        case bind_chart_number: number = source_chart_number(1 + r.choice(6)); break;
        case bind_this_chart: number = chart_number_; break;
        case bind_missing_chart: number = missing_chart_number; break;
        case bind_empty_symbol: symbol.clear(); break;
        case bind_own_symbol:
            symbol = chart_symbol_ != nullptr ? chart_symbol_.get() : "";
            for (char& c : symbol) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
            break;
        case bind_negative_number: number = -5; break;
        default: break;
    }
    if (symbol_index < input_count_) {
        HostInput& input = inputs_[static_cast<std::size_t>(symbol_index)];
        if (binding == bind_no_text) {
            release_input_value(input);
            input.type = kmi_input_text;
        } else {
            set_input_owned_text(input, kmi_input_text, symbol);
        }
    }
    if (number_index < input_count_) {
        HostInput& input = inputs_[static_cast<std::size_t>(number_index)];
        release_input_value(input);
        input.type = kmi_input_integer;
        set_input_int32(input, number);
    }
}

void Harness::do_host_setting(ByteReader& r) {
    switch (r.choice(host_setting_count)) {
        case host_now: now_ = decode_time(r); break;
        case host_alternate_now: alternate_now_ = decode_time(r); break;
        case host_alternate_flag: alternate_flag_ = r.byte() % 3; break;
        case host_region_top: region_top_ = r.byte() < 128 ? special_int(r.byte()) : r.i32(); break;
        case host_region_bottom: region_bottom_ = r.byte() < 128 ? special_int(r.byte()) : r.i32(); break;
        case host_price_format: price_format_ = special_int(r.byte()); break;
        case host_bar_count:
            bar_count_choice_ = r.choice(7);
            bar_count_extra_ = r.byte() % 16;
            break;
        case host_series_spare: series_spare_ = r.byte() % 8; break;
        case host_output_series: resize_output_series(r.choice(max_output_series + 1)); break;
        case host_inputs: resize_inputs(r.choice(max_input_count + 1)); break;
        case host_chart_symbol: {
            const int choice = r.choice(4);
            if (choice == 0) {
                chart_symbol_.reset();
                break;
            }
            std::string symbol;
            if (choice == 1) symbol = slot_symbol(r.choice(source_slot_count));
            if (choice == 2) symbol = decode_text(r);
            chart_symbol_ = std::make_unique<char[]>(symbol.size() + 1);
            std::memcpy(chart_symbol_.get(), symbol.c_str(), symbol.size() + 1);
            charts_[0].symbol = symbol;
            break;
        }
        default:
            list_items_ = r.byte() != 0;
            for (int i = 0; i < input_count_; ++i) {
                inputs_[static_cast<std::size_t>(i)].set_list_items = list_items_ ? op_set_list_items : nullptr;
            }
            break;
    }
}

// The host removes the instance (its last call) and attaches a new one: a study id, a
// chart number and a set of operations of its own, fresh persistent storage, and no
// drawings of the old instance left behind.
void Harness::do_new_instance(ByteReader& r) {
    const int id_choice = r.choice(6);
    std::int32_t id = 0;
    switch (id_choice) {
        case 0: id = 0; break;
        case 1: id = r.byte(); break;
        case 2: id = int32_max - r.byte(); break;
        case 3: id = int32_min + r.byte(); break;
        case 4: id = -75200 + static_cast<std::int8_t>(r.byte()); break;
        default: id = r.i32(); break;
    }
    const int chart_choice = r.choice(5);
    std::int32_t number = 1;
    switch (chart_choice) {
        case 0: number = 1; break;
        case 1: number = 0; break;
        case 2: number = -1; break;
        case 3: number = source_chart_number(1 + r.choice(6)); break;
        default: number = r.i32(); break;
    }
    const std::uint16_t absent = r.u16();
    if (state() != nullptr) {
        if (!call(CallKind::last, 0)) return;
    }
    study_id_ = id;
    chart_number_ = number;
    charts_[0].number = number;
    absent_ops_ = absent;
    pointers_.clear();
    ints_.clear();
    drawings_.clear();
}

void Harness::step(ByteReader& r) {
    const auto op = static_cast<Op>(r.byte() % op_count);
    switch (op) {
        case op_defaults_call: call(CallKind::defaults, 0); break;
        case op_full_call: do_call_with_repeat(r, CallKind::full, 0); break;
        case op_update_call: {
            const std::int32_t index = decode_update_index(r);
            do_call_with_repeat(r, CallKind::update, index);
            break;
        }
        case op_last_call: call(CallKind::last, 0); break;
        case op_foreign_layout_call: do_foreign_layout_call(r); break;
        case op_set_bars:
        case op_append_bars:
        case op_drop_bars:
        case op_replace_last_bar: do_bars(r, op); break;
        case op_chart_setting: do_chart_setting(r); break;
        case op_set_input: do_set_input(r); break;
        case op_bind_slot: do_bind_slot(r); break;
        case op_host_setting: do_host_setting(r); break;
        case op_open_chart_answer:
            answer_ = r.choice(answer_count);
            answer_value_ = r.i32();
            break;
        case op_new_instance: do_new_instance(r); break;
        default: pending_failure_ = r.byte(); break;
    }
}

// The end of an input: the host removes the study (its last call) and releases its own
// texts; then every heap block taken during the input has been given back.
void Harness::finish() {
    pending_failure_ = -1;
    if (state() != nullptr) call(CallKind::last, 0, true);
    release(record_->study_name);
    release(record_->study_description);
    resize_inputs(0);
    resize_output_series(0);
    if (ok() && live_blocks() != 0) {
        fail("heap blocks left after the last call: " + std::to_string(live_blocks()));
    }
}

void Harness::run(ByteReader& reader) {
    for (int operations = 0; operations < max_operations && !reader.empty() && ok(); ++operations) step(reader);
    finish();
}

}  // namespace

FuzzOutcome run_fuzz_input(const std::uint8_t* data, std::size_t size) {
    ByteReader reader(data, size);
    Harness harness;
    harness.run(reader);
    return harness.outcome();
}

}  // namespace kmi::fuzz
