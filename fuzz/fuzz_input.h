// The byte language of the study's fuzz inputs: a sequence of operations, each an
// operation byte followed by its arguments. The harness decodes it (fuzz_harness.cpp) and
// the seed writer encodes the seed corpus with it (make_seeds.cpp). Every byte sequence
// decodes to something: an operation byte is taken modulo the number of operations, and
// a reader that runs out of bytes yields zeros.
#ifndef KMI_FUZZ_FUZZ_INPUT_H
#define KMI_FUZZ_FUZZ_INPUT_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kmi::fuzz {

enum Op : std::uint8_t {
    op_defaults_call,        // -
    op_full_call,            // repeat check
    op_update_call,          // start index choice, [value u32], repeat check
    op_last_call,            // -
    op_foreign_layout_call,  // which field is wrong
    op_set_bars,             // chart, bar recipe
    op_append_bars,          // chart, bar recipe
    op_drop_bars,            // chart, count (255: all)
    op_replace_last_bar,     // chart, bar recipe (the last bar is replaced by the recipe's first bar)
    op_chart_setting,        // chart, setting, value
    op_set_input,            // input index, type code, value
    op_bind_slot,            // slot, binding, [chart]
    op_host_setting,         // setting, value
    op_open_chart_answer,    // answer, [value u32]
    op_new_instance,         // study id choice, [value u32], chart number choice, [value u32], absent operations u16
    op_fail_allocation,      // which allocation of the next call fails (255: every one)
    op_count
};

// Chart choice: 0 is the chart that carries the study, 1 to 6 the source charts.
inline constexpr int fuzz_chart_count = 7;
// The source charts' numbers: chart k (1 to 6) is host chart k + 1.
inline constexpr std::int32_t source_chart_number(int k) { return k + 1; }

// Bar recipe: count byte (up to max_bars_per_recipe), time layout byte, time base choice, time
// step choice, price mode byte, volume mode byte, then per bar the bytes the modes read.
inline constexpr int max_bars_per_recipe = 48;
inline constexpr int max_bars_per_chart = 240;

enum TimeLayout : std::uint8_t {
    layout_regular,   // base + i * step
    layout_jittered,  // base + i * step + a signed byte of seconds per bar
    layout_raw,       // eight raw bytes per bar
    layout_equal,     // every bar at base
    layout_count
};

enum TimeBase : std::uint8_t {
    base_wednesday_0925,  // 2026-03-11 09:25:00
    base_wednesday_0930,  // 2026-03-11 09:30:00
    base_friday_1555,     // 2026-03-13 15:55:00
    base_saturday_1000,   // 2026-03-14 10:00:00
    base_continue,        // one step after the chart's last bar (the first choice when empty)
    base_zero,
    base_negative,  // minus four raw bytes of seconds
    base_near_max,  // the largest date-time minus a byte
    base_near_min,  // the smallest date-time plus a byte
    base_raw,       // eight raw bytes
    base_count
};

enum TimeStep : std::uint8_t {
    step_1s,
    step_5s,
    step_60s,
    step_300s,
    step_3600s,
    step_1day,
    step_zero,
    step_minus_60s,
    step_raw_seconds,  // four raw bytes, signed seconds
    step_count
};

enum PriceMode : std::uint8_t {
    prices_level,     // level choice, then a signed byte of movement per bar
    prices_tick,      // two signed bytes per bar: TICK-like values up to about +-2000
    prices_special,   // one byte per price field choosing among NaN, infinities, huge, tiny, negative
    prices_raw,       // four raw bytes per price field
    prices_mixed,     // as level, with a special value when a bar's byte is below 24
    prices_constant,  // level choice, every bar at it
    price_mode_count
};

enum VolumeMode : std::uint8_t {
    volumes_plain,  // a byte per bar: volume, bid and ask from it
    volumes_zero,
    volumes_special,  // one byte per field as for prices
    volumes_raw,      // four raw bytes per field
    volume_mode_count
};

// The array byte of chart_array_limit and chart_array_count.
enum ArrayIndex : std::uint8_t {
    array_open,
    array_high,
    array_low,
    array_close,
    array_volume,
    array_bid,
    array_ask,
    array_times
};

enum ChartSetting : std::uint8_t {
    chart_bar_period,             // kind byte, sub-kind byte, count u32
    chart_period_text,            // byte: nonzero = the host writes a text into the period record
    chart_time_zone,              // choice byte (same as chart 0, other, empty, left untouched)
    chart_symbol,                 // choice byte (library symbol of a slot, lower case, fuzz text, empty, untouched)
    chart_session_times,          // byte: 0 none, else eight raw doubles and three int32 follow
    chart_array_limit,            // array byte (0-6 float arrays, 7 times), limit byte (255: no limit)
    chart_fallbacks,              // special-value bytes for the float fallback and a time choice
    chart_empty_arrays_non_null,  // byte: an empty array is handed out with a non-null zero-length block
    chart_bar_seconds,            // u32, signed (chart 0 only matters: the record's bar_seconds)
    chart_array_count,            // array byte (0-6 float arrays, 7 times), count byte: 0 the true count,
                                  // 1-127 a negative count over the array's memory, 128-255 a count
                                  // beyond the chart's bars, with the memory to back it
    chart_setting_count
};

enum HostSetting : std::uint8_t {
    host_now,             // time choice
    host_alternate_now,   // time choice
    host_alternate_flag,  // byte
    host_region_top,      // u32
    host_region_bottom,   // u32
    host_price_format,    // u32
    host_bar_count,       // choice byte: exact, minus one, plus one, zero, negative, plus a byte
    host_series_spare,    // byte: elements of every output series beyond bar_count (up to 7)
    host_output_series,   // byte: number of output series records (0 to 24)
    host_inputs,          // byte: number of input records (0 to 64)
    host_chart_symbol,    // choice byte (null, library symbol, fuzz text, empty)
    host_list_items,      // byte: nonzero = input records carry set_list_items
    host_setting_count
};

enum OpenChartAnswer : std::uint8_t {
    answer_library,  // the source chart that carries the symbol, else 0
    answer_zero,
    answer_minus_one,
    answer_this_chart,
    answer_missing,     // a chart number no chart has
    answer_value,       // a raw 32-bit value
    answer_remembered,  // the remembered chart number of the request, whatever it is
    answer_rotate,      // the source charts in turn
    answer_count
};

enum SlotBinding : std::uint8_t {
    bind_chart_number,     // chart-number input = source chart (byte)
    bind_this_chart,       // chart-number input = this chart's number
    bind_missing_chart,    // chart-number input = a chart number no chart has
    bind_symbol,           // the slot's default symbol, chart-number input 0
    bind_empty_symbol,     // "" and 0: off
    bind_own_symbol,       // this chart's symbol in lower case, chart-number input 0
    bind_no_text,          // a text input holding no text at all, chart-number input 0
    bind_negative_number,  // chart-number input -5 and the default symbol
    bind_count
};

// Input value kinds, after the type code byte.
enum InputValueKind : std::uint8_t {
    value_raw,     // 16 raw bytes (text type codes take a static text instead)
    value_int,     // an interesting 32-bit integer choice
    value_float,   // a special float choice
    value_double,  // a special double choice
    value_text,    // text choice: owned heap copy, static, null, empty, this chart's symbol
    value_kind_count
};

// Sequential reader of the input bytes; zeros once they run out.
class ByteReader {
  public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return position_ >= size_; }
    std::uint8_t byte() { return position_ < size_ ? data_[position_++] : 0; }
    std::uint16_t u16() { return static_cast<std::uint16_t>(byte() | (byte() << 8)); }
    std::uint32_t u32() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(byte()) << (8 * i);
        return v;
    }
    std::uint64_t u64() {
        std::uint64_t v = 0;
        for (int i = 0; i < 8; ++i) v |= static_cast<std::uint64_t>(byte()) << (8 * i);
        return v;
    }
    std::int32_t i32() {
        const std::uint32_t v = u32();
        std::int32_t s;
        std::memcpy(&s, &v, sizeof s);
        return s;
    }
    std::int64_t i64() {
        const std::uint64_t v = u64();
        std::int64_t s;
        std::memcpy(&s, &v, sizeof s);
        return s;
    }
    int choice(int count) { return byte() % count; }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

}  // namespace kmi::fuzz

#endif
