// Writes the seed corpus of the study's fuzzer: one small file per kind of host
// situation, encoded in the byte language of fuzz_input.h. The output is deterministic;
// fuzz/corpus/ holds what this program writes:
//
//     kmi_fuzz_seeds fuzz/corpus
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"

namespace {

using namespace kmi::fuzz;

// A fuzz input under construction; each method writes exactly the bytes its operation
// reads in the harness.
class Seed {
  public:
    Seed& byte(int b) {
        bytes_.push_back(static_cast<std::uint8_t>(b));
        return *this;
    }
    Seed& u16(std::uint16_t v) { return byte(v & 0xFF).byte(v >> 8); }
    Seed& u32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) byte(static_cast<int>((v >> (8 * i)) & 0xFF));
        return *this;
    }

    Seed& defaults() { return byte(op_defaults_call); }
    // A full call; `clock` chooses a new host time for the repeat (-1: keep it).
    Seed& full(int clock = -1) { return byte(op_full_call).repeat(clock); }
    // An update; `index` is the start index choice (7, a raw value, is not used here).
    Seed& update(int index, int clock = -1) { return byte(op_update_call).byte(index).repeat(clock); }
    Seed& last() { return byte(op_last_call); }
    Seed& foreign(int which) { return byte(op_foreign_layout_call).byte(which); }

    // Bars of one chart: `count` bars laid out from a base and a step, prices and volumes
    // in the given modes; the per-bar bytes come from a small deterministic generator.
    Seed& bars(Op op, int chart, int count, int layout, int base, int step, int price_mode, int level,
               int volume_mode) {
        byte(op).byte(chart).byte(count).byte(layout).byte(base);
        if (base == base_negative) u32(86400u * 400u);
        if (base == base_near_max || base == base_near_min) byte(7);
        if (base == base_raw) u32(0x12345678u).u32(0x00000400u);
        byte(step);
        if (step == step_raw_seconds) u32(97);
        byte(price_mode);
        if (price_mode == prices_level || price_mode == prices_mixed || price_mode == prices_constant) byte(level);
        byte(volume_mode);
        for (int i = 0; i < count; ++i) {
            if (layout == layout_jittered) byte(next() % 200);
            if (layout == layout_raw) u32(next()).u32(next() % 0x00080000u);
            switch (price_mode) {
                case prices_level: byte(next()); break;
                case prices_mixed: {
                    const int b = static_cast<int>(next() % 256);
                    byte(b);
                    if (b < 24) byte(next());
                    break;
                }
                case prices_tick:
                    u16(static_cast<std::uint16_t>(next())).u16(static_cast<std::uint16_t>(next()));
                    break;
                case prices_special: byte(next()).byte(next()).byte(next()).byte(next()); break;
                case prices_raw: u32(next()).u32(next()).u32(next()).u32(next()); break;
                default: break;
            }
            switch (volume_mode) {
                case volumes_plain: byte(next()); break;
                case volumes_special: byte(next()).byte(next()).byte(next()); break;
                case volumes_raw: u32(next()).u32(next()).u32(next()); break;
                default: break;
            }
        }
        return *this;
    }
    // A regular day's minute bars from 09:25 (or after the chart's last bar).
    Seed& minutes(int chart, int count, bool append = false, int level = 3) {
        return bars(append ? op_append_bars : op_set_bars, chart, count, layout_regular,
                    append ? base_continue : base_wednesday_0925, step_60s, prices_level, level, volumes_plain);
    }
    Seed& tick_minutes(int chart, int count, bool append = false) {
        return bars(append ? op_append_bars : op_set_bars, chart, count, layout_regular,
                    append ? base_continue : base_wednesday_0925, step_60s, prices_tick, 0, volumes_zero);
    }
    Seed& drop(int chart, int n) { return byte(op_drop_bars).byte(chart).byte(n); }

    Seed& bind(int slot, int binding, int chart = 1) {
        byte(op_bind_slot).byte(slot).byte(binding);
        if (binding == bind_chart_number) byte(chart - 1);
        return *this;
    }
    // Every slot on a source chart by its chart-number input.
    Seed& bind_all_by_number() {
        for (int slot = 0; slot < 9; ++slot) bind(slot, bind_chart_number, slot % 6 + 1);
        return *this;
    }
    Seed& answer(int answer, std::uint32_t value = 0) { return byte(op_open_chart_answer).byte(answer).u32(value); }
    Seed& fail_allocation(int k) { return byte(op_fail_allocation).byte(k); }
    Seed& input_int(int index, int type, int special) {
        return byte(op_set_input).byte(index).byte(type).byte(value_int).byte(special).byte(0);
    }
    Seed& input_float(int index, int type, int special) {
        return byte(op_set_input).byte(index).byte(type).byte(value_float).byte(special).byte(0);
    }
    Seed& input_double(int index, int type, int special) {
        return byte(op_set_input).byte(index).byte(type).byte(value_double).byte(special).byte(0);
    }
    Seed& input_raw(int index, int type) {
        byte(op_set_input).byte(index).byte(type).byte(value_raw);
        for (int i = 0; i < 16; ++i) byte(next());
        return byte(1).u32(next()).u32(next());
    }
    // A text input: choice 1 static text, 2 a slot's symbol, 3 this chart's symbol,
    // 4 no text at all, 5 a static copy.
    Seed& input_text(int index, int type, int choice) {
        byte(op_set_input).byte(index).byte(type).byte(value_text).byte(choice);
        if (choice == 2) byte(4);
        return *this;
    }
    Seed& host(int setting, int value) { return byte(op_host_setting).byte(setting).byte(value); }
    Seed& host_time(int setting, int choice) { return byte(op_host_setting).byte(setting).byte(choice); }
    // A 32-bit setting: a special value of the harness's table, or a raw value.
    Seed& host_special(int setting, int special) { return byte(op_host_setting).byte(setting).byte(0).byte(special); }
    Seed& host_u32(int setting, std::uint32_t value) {
        return byte(op_host_setting).byte(setting).byte(200).u32(value);
    }
    Seed& chart(int chart, int setting) { return byte(op_chart_setting).byte(chart).byte(setting); }
    Seed& new_instance(int id_choice, int id_byte, int chart_choice, std::uint16_t absent) {
        byte(op_new_instance).byte(id_choice);
        if (id_choice >= 1 && id_choice <= 4) byte(id_byte);
        if (id_choice == 5) u32(0x80000001u);
        byte(chart_choice);
        if (chart_choice == 3) byte(2);
        if (chart_choice == 4) u32(0xFFFFFF00u);
        return u16(absent);
    }

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

  private:
    Seed& repeat(int clock) {
        if (clock < 0) return byte(0);
        return byte(1).byte(clock);
    }
    std::uint32_t next() {
        state_ = state_ * 1664525u + 1013904223u;
        return state_ >> 8;
    }

    std::vector<std::uint8_t> bytes_;
    std::uint32_t state_ = 12345;
};

// A day of every source, the study on the chart and each slot on a source chart.
Seed sources_by_number() {
    Seed s;
    s.minutes(0, 40).tick_minutes(1, 40);
    for (int c = 2; c <= 6; ++c) s.minutes(c, 40, false, c);
    s.defaults().bind_all_by_number().full().minutes(0, 3, true).tick_minutes(1, 4, true).update(0).update(1, 9);
    return s.update(3).last();
}

Seed sources_by_symbol() {
    Seed s;
    s.minutes(0, 30).tick_minutes(1, 30);
    for (int c = 2; c <= 6; ++c) s.minutes(c, 30, false, c);
    return s.defaults().answer(answer_library).full().minutes(0, 2, true).update(0).update(2).full().last();
}

Seed open_chart_answers() {
    Seed s;
    s.minutes(0, 12).minutes(1, 12).defaults();
    for (int a = 0; a < answer_count; ++a) s.answer(a, a == answer_value ? 0x80000000u : 3u).full();
    return s.update(0).last();
}

Seed empty_and_shrinking() {
    Seed s;
    s.defaults().full().update(0).minutes(0, 10).full().drop(0, 3).update(1).drop(0, 255).update(0).full();
    return s.last().full().minutes(0, 2).update(0).last();
}

Seed special_values() {
    Seed s;
    s.bars(op_set_bars, 0, 20, layout_regular, base_wednesday_0930, step_60s, prices_special, 0, volumes_special);
    s.bars(op_set_bars, 1, 20, layout_regular, base_wednesday_0930, step_60s, prices_special, 0, volumes_zero);
    s.bars(op_set_bars, 2, 20, layout_regular, base_wednesday_0930, step_60s, prices_mixed, 1, volumes_raw);
    s.bars(op_set_bars, 3, 20, layout_regular, base_wednesday_0930, step_60s, prices_raw, 0, volumes_plain);
    return s.defaults().bind_all_by_number().full().update(0).full(5).last();
}

Seed extreme_times() {
    Seed s;
    s.bars(op_set_bars, 0, 12, layout_raw, base_zero, step_zero, prices_level, 0, volumes_plain);
    s.bars(op_set_bars, 1, 12, layout_regular, base_near_max, step_3600s, prices_level, 1, volumes_plain);
    s.bars(op_set_bars, 2, 12, layout_regular, base_near_min, step_minus_60s, prices_level, 2, volumes_plain);
    s.bars(op_set_bars, 3, 12, layout_regular, base_negative, step_1day, prices_level, 3, volumes_plain);
    s.bars(op_set_bars, 4, 12, layout_regular, base_raw, step_raw_seconds, prices_tick, 0, volumes_zero);
    s.defaults().bind_all_by_number().full(5).update(0, 6).update(8).full(7).last();
    s.bars(op_set_bars, 0, 8, layout_regular, base_near_max, step_60s, prices_level, 0, volumes_plain);
    return s.full().update(0).last();
}

Seed unordered_times() {
    Seed s;
    s.bars(op_set_bars, 0, 20, layout_jittered, base_wednesday_0925, step_5s, prices_level, 3, volumes_plain);
    s.bars(op_set_bars, 1, 20, layout_regular, base_wednesday_0930, step_minus_60s, prices_tick, 0, volumes_zero);
    s.bars(op_set_bars, 2, 20, layout_equal, base_wednesday_0930, step_60s, prices_level, 1, volumes_plain);
    s.bars(op_set_bars, 3, 20, layout_jittered, base_friday_1555, step_60s, prices_level, 4, volumes_plain);
    s.defaults().bind_all_by_number().full().update(0).update(2).update(9).last();
    return s;
}

Seed hostile_inputs() {
    Seed s;
    s.minutes(0, 20).tick_minutes(1, 20).minutes(2, 20).defaults().bind_all_by_number();
    for (int index = 0; index < 21; ++index) {
        s.input_int(index, index % 2 == 0 ? 11 : 1, index);
        s.input_float(index, 2, index);
        s.input_double(index, index % 2 == 0 ? 9 : 8, index);
        const int type = (index * 7) % 30;
        s.input_raw(index, type >= 26 && type <= 28 ? type + 4 : type);
        s.full();
    }
    s.input_text(30, 27, 1).input_text(32, 26, 4).input_text(34, 28, 3).input_text(8, 26, 2).input_text(21, 26, 2);
    s.input_double(8, 23, 0).input_double(9, 25, 1).input_float(12, 2, 0).input_float(13, 2, 2);
    return s.full().update(0).defaults().full().last();
}

Seed study_id_limits() {
    Seed s;
    s.minutes(0, 10).new_instance(2, 3, 1, 0).defaults().full().update(0);
    s.new_instance(3, 0, 2, 0).defaults().full().new_instance(4, 0, 4, 0).full().update(0);
    return s.new_instance(5, 0, 3, 0).full().last();
}

Seed region_and_clock() {
    Seed s;
    s.minutes(0, 20).minutes(1, 20).defaults().bind(4, bind_chart_number, 1);
    s.host_u32(host_region_top, 600).host_u32(host_region_bottom, 0).full(3);
    s.host_special(host_region_top, 2).host_special(host_region_bottom, 13).host_time(host_now, 9).update(0, 5);
    s.host_time(host_alternate_now, 7).u32(1).u32(2).host(host_alternate_flag, 1).update(0, 4);
    s.host(host_price_format, 12).host(host_price_format, 13).full(6);
    return s.last();
}

Seed allocation_failures() {
    Seed s;
    s.minutes(0, 15).tick_minutes(1, 15).minutes(2, 15).defaults().bind_all_by_number();
    s.fail_allocation(0).full().fail_allocation(0).full().fail_allocation(3).full().fail_allocation(17).update(0);
    s.fail_allocation(255).full().fail_allocation(255).update(0).fail_allocation(9).defaults();
    return s.fail_allocation(1).last().full().last();
}

Seed absent_operations() {
    Seed s;
    s.minutes(0, 10).minutes(1, 10).new_instance(0, 0, 0, 0xFFFF).defaults().full().update(0).last();
    s.new_instance(0, 0, 0, 0x1FFE).defaults().bind_all_by_number().full().update(0);
    s.new_instance(0, 0, 0, 0x0FA5).defaults().full().update(0);
    return s.new_instance(0, 0, 0, 0x1800).defaults().full().last();
}

Seed foreign_layouts() {
    Seed s;
    s.minutes(0, 5).foreign(0).foreign(1).foreign(2).foreign(3).defaults().full().foreign(0).update(0);
    return s.last();
}

Seed source_reload() {
    Seed s;
    s.minutes(0, 30).tick_minutes(1, 30).minutes(2, 30, false, 1).defaults().bind_all_by_number().full();
    s.tick_minutes(1, 3, true).minutes(0, 3, true).update(0);
    s.minutes(1, 20, false, 2).update(0).drop(2, 5).update(0).drop(1, 255).update(0);
    return s.minutes(1, 10).update(0).full().last();
}

Seed bar_count_mismatch() {
    Seed s;
    s.minutes(0, 20).minutes(1, 20).defaults().bind_all_by_number();
    s.host(host_bar_count, 2).byte(0).full().host(host_bar_count, 1).byte(0).update(0);
    s.host(host_bar_count, 6).byte(9).update(0).host(host_bar_count, 4).byte(0).full();
    s.host(host_bar_count, 0).byte(0);
    s.chart(0, chart_array_limit).byte(3).byte(5).chart(1, chart_array_limit).byte(7).byte(0);
    s.chart(1, chart_array_limit).byte(0).byte(2).chart(0, chart_fallbacks);
    for (int i = 0; i < 7; ++i) s.byte(i);
    s.byte(5).chart(0, chart_empty_arrays_non_null).byte(1).chart(1, chart_empty_arrays_non_null).byte(1);
    return s.full().drop(0, 255).update(0).full().last();
}

Seed small_record() {
    Seed s;
    s.minutes(0, 12).host(host_inputs, 10).host(host_output_series, 5).host(host_series_spare, 3);
    s.host(host_list_items, 0).defaults().full().update(0).host(host_inputs, 40).host(host_output_series, 24);
    return s.defaults().full().update(0).host(host_inputs, 0).host(host_output_series, 0).full().last();
}

Seed chart_settings() {
    Seed s;
    s.minutes(0, 20).minutes(1, 20).minutes(2, 20).defaults().bind_all_by_number();
    s.chart(1, chart_bar_period)
        .byte(2)
        .byte(0)
        .byte(0)
        .byte(7)
        .chart(2, chart_bar_period)
        .byte(1)
        .byte(0)
        .byte(0)
        .byte(5);
    s.chart(1, chart_period_text).byte(1).chart(1, chart_time_zone).byte(1).chart(2, chart_time_zone).byte(3);
    s.chart(0, chart_time_zone).byte(2).chart(1, chart_symbol).byte(4).chart(2, chart_symbol).byte(3);
    s.chart(0, chart_session_times).byte(1);
    for (int i = 0; i < 7; ++i) s.byte(i * 3);
    s.chart(0, chart_bar_seconds).byte(0).byte(3).chart(1, chart_bar_period).byte(2).byte(0).byte(200).u32(0x7FFFFFFFu);
    s.full().update(0).chart(0, chart_bar_seconds).byte(200).u32(0xFFFFFFFFu).full().update(0);
    s.host(host_chart_symbol, 0).full().host(host_chart_symbol, 1).byte(7).bind(7, bind_own_symbol).full();
    return s.bind(0, bind_no_text)
        .bind(1, bind_missing_chart)
        .bind(2, bind_negative_number)
        .bind(3, bind_this_chart)
        .full()
        .last();
}

Seed weekend_and_previous_session() {
    Seed s;
    s.bars(op_set_bars, 0, 30, layout_regular, base_friday_1555, step_300s, prices_level, 3, volumes_plain);
    s.bars(op_set_bars, 1, 30, layout_regular, base_wednesday_0930, step_3600s, prices_tick, 0, volumes_zero);
    s.bars(op_set_bars, 2, 30, layout_regular, base_saturday_1000, step_60s, prices_level, 2, volumes_plain);
    s.defaults().bind_all_by_number().host_time(host_now, 4).full().host_time(host_now, 9).update(0).last();
    return s;
}

// Array counts that lie: negative counts over arrays shorter than the bars, and counts
// beyond the chart's bars, on this chart and on the sources.
Seed array_counts() {
    Seed s;
    s.minutes(0, 20).tick_minutes(1, 20).minutes(2, 20).defaults().bind_all_by_number();
    s.chart(0, chart_array_limit).byte(array_high).byte(3).chart(0, chart_array_count).byte(array_high).byte(1);
    s.chart(0, chart_array_limit).byte(array_volume).byte(2).chart(0, chart_array_count).byte(array_volume).byte(4);
    s.chart(1, chart_array_limit).byte(array_open).byte(3).chart(1, chart_array_count).byte(array_open).byte(1);
    s.chart(2, chart_array_limit).byte(array_low).byte(1).chart(2, chart_array_count).byte(array_low).byte(7);
    s.full().update(0).tick_minutes(1, 2, true).minutes(0, 2, true).update(0);
    s.chart(1, chart_array_count).byte(array_times).byte(133).chart(2, chart_array_count).byte(array_close).byte(128);
    s.chart(0, chart_array_count).byte(array_times).byte(130).chart(0, chart_array_count).byte(array_close).byte(135);
    return s.full().update(0).chart(1, chart_array_count).byte(array_times).byte(4).full().last();
}

void write(const std::string& dir, const char* name, const Seed& seed) {
    const std::string path = dir + "/" + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::perror(path.c_str());
        return;
    }
    std::fwrite(seed.bytes().data(), 1, seed.bytes().size(), file);
    std::fclose(file);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    write(dir, "sources_by_number", sources_by_number());
    write(dir, "sources_by_symbol", sources_by_symbol());
    write(dir, "open_chart_answers", open_chart_answers());
    write(dir, "empty_and_shrinking", empty_and_shrinking());
    write(dir, "special_values", special_values());
    write(dir, "extreme_times", extreme_times());
    write(dir, "unordered_times", unordered_times());
    write(dir, "hostile_inputs", hostile_inputs());
    write(dir, "study_id_limits", study_id_limits());
    write(dir, "region_and_clock", region_and_clock());
    write(dir, "allocation_failures", allocation_failures());
    write(dir, "absent_operations", absent_operations());
    write(dir, "foreign_layouts", foreign_layouts());
    write(dir, "source_reload", source_reload());
    write(dir, "bar_count_mismatch", bar_count_mismatch());
    write(dir, "small_record", small_record());
    write(dir, "chart_settings", chart_settings());
    write(dir, "weekend_and_previous_session", weekend_and_previous_session());
    write(dir, "array_counts", array_counts());
    return 0;
}
