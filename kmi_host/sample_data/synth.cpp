#include "kmi_host/sample_data/synth.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "kmi_host/output_files/atomic_files.h"
#include "kmi_host/text/date_time_text.h"
#include "kmi_host/text/input_error.h"
#include "kmi_host/text/path_text.h"

namespace kmi::emu {
namespace {

// splitmix64: a small generator whose sequence is fixed by the seed.
struct Random {
    std::uint64_t state;

    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    // Approximately standard normal: the sum of twelve uniforms less six.
    double normal() {
        double sum = 0.0;
        for (int i = 0; i < 12; ++i) sum += uniform();
        return sum - 6.0;
    }
};

double clamp(double value, double low, double high) { return std::min(std::max(value, low), high); }

// A value as text with `decimals` decimals, rounded to a multiple of `step` (in units of
// the last decimal), using integer arithmetic only.
std::string price_text(double value, int decimals, std::int64_t step) {
    std::int64_t scale = 1;
    for (int i = 0; i < decimals; ++i) scale *= 10;
    const std::int64_t units = std::llround(value * static_cast<double>(scale) / static_cast<double>(step)) * step;
    const bool negative = units < 0;
    const std::int64_t magnitude = negative ? -units : units;
    std::string text = negative ? "-" : "";
    text += std::to_string(magnitude / scale);
    if (decimals > 0) {
        const std::string fraction = std::to_string(magnitude % scale);
        text += '.';
        text.append(static_cast<std::size_t>(decimals) - fraction.size(), '0');
        text += fraction;
    }
    return text;
}

double rounded(double value, int decimals, std::int64_t step) {
    std::int64_t scale = 1;
    for (int i = 0; i < decimals; ++i) scale *= 10;
    return static_cast<double>(std::llround(value * static_cast<double>(scale) / static_cast<double>(step)) * step) /
           static_cast<double>(scale);
}

struct PriceFormat {
    int decimals;
    std::int64_t step;  // in units of the last decimal
};

struct Writer {
    std::string csv;
    PriceFormat format;
    bool split_volume = false;

    void bar(HostDateTime time, double open, double high, double low, double close, double volume, double ask_share) {
        const double o = rounded(open, format.decimals, format.step);
        const double c = rounded(close, format.decimals, format.step);
        const double h = std::max({rounded(high, format.decimals, format.step), o, c});
        const double l = std::min({rounded(low, format.decimals, format.step), o, c});
        const std::int64_t v = std::max<std::int64_t>(std::llround(volume), 0);
        csv += format_date_time(time);
        for (const double price : {o, h, l, c}) {
            csv += ',';
            csv += price_text(price, format.decimals, format.step);
        }
        csv += ',';
        csv += std::to_string(v);
        if (split_volume) {
            const std::int64_t ask = std::llround(static_cast<double>(v) * ask_share);
            csv += ',';
            csv += std::to_string(v - ask);
            csv += ',';
            csv += std::to_string(ask);
        }
        csv += '\n';
    }
};

// The market's state, carried from bar to bar and day to day.
struct Market {
    double es = 6650.0;
    double nq = 24600.0;
    double vix = 17.0;
    double front_premium = 1.2;  // front volatility contract over the VIX
    double curve = 0.9;          // back contract over the front one (contango when positive)
    double tick = 0.0;
    double add = 0.0;
    double up_volume = 0.0;
    double down_volume = 0.0;
};

}  // namespace

std::int64_t synth_last_day() { return host_day_of(2026, 10, 14); }

std::vector<std::int64_t> synth_trading_days(std::int32_t days) {
    std::vector<std::int64_t> out;
    for (std::int64_t day = synth_last_day(); static_cast<std::int32_t>(out.size()) < days; --day) {
        if (weekday(day) < 5) out.push_back(day);
    }
    std::reverse(out.begin(), out.end());
    return out;
}

namespace {

// The nine files being written.
struct Writers {
    // Times of New York, which the column's name says.
    static constexpr const char* ohlcv = "datetime_et,open,high,low,close,volume\n";
    Writer tick{ohlcv, {0, 1}}, add{ohlcv, {0, 1}}, vold{ohlcv, {0, 1}}, udvr{ohlcv, {2, 1}}, vix{ohlcv, {2, 1}},
        front{ohlcv, {2, 5}}, back{ohlcv, {2, 5}},
        es{"datetime_et,open,high,low,close,volume,bid_volume,ask_volume\n", {2, 25}, true}, nq{ohlcv, {2, 25}};
};

// One bar's time and the values drawn for it. Every bar draws the same number of values, so the
// sequence never depends on which files get a row.
struct BarDraw {
    HostDateTime time = 0;
    std::int32_t second = 0;  // of the day
    bool rth = false;
    double z[16] = {};
    double u[4] = {};
    double u_shape = 0.0;  // volume is highest at the open and the close of the regular session
};

BarDraw draw_bar(Random& random, std::int64_t day, std::int32_t second) {
    BarDraw draw;
    draw.time = day * us_per_day + static_cast<HostDateTime>(second) * us_per_second;
    draw.second = second;
    draw.rth = second >= synth_rth_open && second < synth_rth_close;
    for (double& value : draw.z) value = random.normal();
    for (double& value : draw.u) value = random.uniform();
    const double from_mid = (static_cast<double>(second - synth_rth_open) - 11700.0) / 11700.0;
    draw.u_shape = draw.rth ? 1.0 + 1.5 * from_mid * from_mid : 0.25;
    return draw;
}

// ES, NQ, the VIX and the volatility contracts.
void futures_bar(Market& m, Writers& w, const BarDraw& b, double minutes, double scale) {
    const double* z = b.z;
    const double activity = b.rth ? 1.0 : 0.45;
    const double market = z[0];
    const double sigma_es = 0.00045 * scale * activity;
    const double es_return = sigma_es * (0.9 * market + 0.436 * z[1]);
    const double nq_return = 1.3 * sigma_es * (0.9 * market + 0.436 * z[2]);

    const double es_open = m.es, nq_open = m.nq;
    m.es *= 1.0 + es_return;
    m.nq *= 1.0 + nq_return;
    const double es_range = m.es * sigma_es * 0.6, nq_range = m.nq * sigma_es * 0.8;
    const double es_volume = 1500.0 * minutes * b.u_shape * (0.6 + 0.8 * b.u[0]);
    const double ask_share = clamp(0.5 + 0.12 * (es_return / sigma_es) + 0.04 * z[3], 0.05, 0.95);
    w.es.bar(b.time, es_open, std::max(es_open, m.es) + std::fabs(z[4]) * es_range,
             std::min(es_open, m.es) - std::fabs(z[5]) * es_range, m.es, es_volume, ask_share);
    w.nq.bar(b.time, nq_open, std::max(nq_open, m.nq) + std::fabs(z[6]) * nq_range,
             std::min(nq_open, m.nq) - std::fabs(z[7]) * nq_range, m.nq, 0.55 * es_volume, 0.5);

    // The VIX moves against ES and drifts back toward 17; the curve flattens when it rises, so
    // the back contract is mostly above the front one.
    const double vix_open = m.vix;
    m.vix =
        clamp(m.vix * (1.0 - 4.5 * es_return + 0.0012 * scale * z[8]) + 0.002 * minutes * (17.0 - m.vix), 9.0, 80.0);
    const double front_open = vix_open + m.front_premium;
    const double back_open = front_open + m.curve;
    m.front_premium += 0.02 * minutes * (1.2 - m.front_premium) + 0.02 * scale * z[9];
    m.curve += 0.02 * minutes * (0.9 - 0.15 * (m.vix - 17.0) - m.curve) + 0.03 * scale * z[10];
    const double front_close = m.vix + m.front_premium, back_close = front_close + m.curve;
    w.front.bar(b.time, front_open, std::max(front_open, front_close) + 0.05 * std::fabs(z[11]),
                std::min(front_open, front_close) - 0.05 * std::fabs(z[11]), front_close,
                200.0 * minutes * b.u_shape * (0.5 + b.u[1]), 0.5);
    w.back.bar(b.time, back_open, std::max(back_open, back_close) + 0.05 * std::fabs(z[12]),
               std::min(back_open, back_close) - 0.05 * std::fabs(z[12]), back_close,
               90.0 * minutes * b.u_shape * (0.5 + b.u[1]), 0.5);
    if (b.second >= synth_rth_open && b.second < synth_vix_close) {
        w.vix.bar(b.time, vix_open, std::max(vix_open, m.vix) + 0.03 * std::fabs(z[13]),
                  std::min(vix_open, m.vix) - 0.03 * std::fabs(z[13]), m.vix, 0.0, 0.5);
    }
}

// The NYSE internals of a regular-session bar. TICK swings around 0 with the market; breadth
// sets the share of up volume, from which VOLD and the up/down ratio follow; ADD trends with
// the cumulative breadth. On the last day ADD stops at synth_stop_second.
void internals_bar(Market& m, Writers& w, const BarDraw& b, double minutes, double scale, bool last_day) {
    const double* z = b.z;
    const double market = z[0];
    const double tick_open = 0.5 * m.tick + 120.0 * z[14];
    m.tick = 0.35 * m.tick + 430.0 * market + 150.0 * z[15];
    w.tick.bar(b.time, tick_open, std::max(tick_open, m.tick) + 220.0 * std::fabs(z[1]),
               std::min(tick_open, m.tick) - 220.0 * std::fabs(z[3]), m.tick, 0.0, 0.5);

    const double up_share = clamp(0.5 + 0.1 * market + 0.04 * z[5], 0.05, 0.95);
    const double nyse_volume = 4.0e6 * minutes * b.u_shape * (0.7 + 0.6 * b.u[2]);
    const double vold_open = m.up_volume - m.down_volume;
    const double ratio_open = m.down_volume > 0.0 ? m.up_volume / m.down_volume : 1.0;
    m.up_volume += nyse_volume * up_share;
    m.down_volume += nyse_volume * (1.0 - up_share);
    const double vold_close = m.up_volume - m.down_volume;
    const double ratio_close = m.up_volume / m.down_volume;
    w.vold.bar(b.time, vold_open, std::max(vold_open, vold_close), std::min(vold_open, vold_close), vold_close,
               nyse_volume, 0.5);
    w.udvr.bar(b.time, ratio_open, std::max(ratio_open, ratio_close), std::min(ratio_open, ratio_close), ratio_close,
               0.0, 0.5);

    const double breadth = 2.0 * m.up_volume / (m.up_volume + m.down_volume) - 1.0;
    const double add_open = m.add;
    m.add = 0.9 * m.add + 0.1 * 2600.0 * breadth + 30.0 * scale * z[6];
    if (!(last_day && b.second >= synth_stop_second)) {
        w.add.bar(b.time, add_open, std::max(add_open, m.add) + 20.0 * std::fabs(z[7]),
                  std::min(add_open, m.add) - 20.0 * std::fabs(z[8]), m.add, 0.0, 0.5);
    }
}

// Overnight: a gap shared by ES and NQ, the VIX moving against it; the internals start afresh.
void overnight(Market& m, Random& random) {
    const double gap = 0.004 * random.normal();
    m.es *= 1.0 + gap;
    m.nq *= 1.0 + 1.2 * gap + 0.001 * random.normal();
    m.vix = clamp(m.vix * (1.0 - 4.0 * gap), 9.0, 80.0);
    m.tick = 0.0;
    m.add = 0.0;
    m.up_volume = 0.0;
    m.down_volume = 0.0;
}

}  // namespace

std::vector<SynthFile> synthesize(const SynthOptions& options) {
    if (options.days < 1 || options.days > 3650) throw InputError("--days: from 1 to 3650");
    if (options.bar_seconds < 1 || options.bar_seconds > 3600) throw InputError("--bar-seconds: from 1 to 3600");

    Random random{options.seed};
    Market m;
    Writers w;
    const double minutes = static_cast<double>(options.bar_seconds) / 60.0;
    const double scale = std::sqrt(minutes);  // volatility per bar grows with the root of its length
    const std::vector<std::int64_t> days = synth_trading_days(options.days);
    for (std::size_t d = 0; d < days.size(); ++d) {
        overnight(m, random);
        for (std::int32_t second = synth_futures_open; second < synth_futures_close; second += options.bar_seconds) {
            const BarDraw bar = draw_bar(random, days[d], second);
            futures_bar(m, w, bar, minutes, scale);
            if (bar.rth) internals_bar(m, w, bar, minutes, scale, d + 1 == days.size());
        }
    }
    return {{"TICK-NYSE", w.tick.csv}, {"NISS-NYSE", w.add.csv}, {"NVOL-NYSE", w.vold.csv},
            {"UDVR-NYSE", w.udvr.csv}, {"VIX_CGI", w.vix.csv},   {"VXV26-CFE", w.front.csv},
            {"VXX26-CFE", w.back.csv}, {"ESZ26.CME", w.es.csv},  {"NQZ26.CME", w.nq.csv}};
}

void write_synth_files(const std::filesystem::path& folder, const SynthOptions& options) {
    const std::vector<SynthFile> files = synthesize(options);
    make_folder(folder);
    for (const SynthFile& file : files) write_file_atomically(folder / path_of(file.symbol + ".csv"), file.csv);
}

}  // namespace kmi::emu
