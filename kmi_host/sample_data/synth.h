// Deterministic sample market data for the default chart and the nine default source
// symbols: the same options give the same bytes on every platform (the generator uses
// only integer arithmetic, + - * / and square roots).
#ifndef KMI_HOST_SAMPLE_DATA_SYNTH_H
#define KMI_HOST_SAMPLE_DATA_SYNTH_H

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kmi::emu {

struct SynthOptions {
    std::int32_t days = 5;          // trading days (weekdays), ending on synth_last_day
    std::int32_t bar_seconds = 60;  // 1 to 3600
    std::uint64_t seed = 1;
};

inline constexpr const char* synth_chart_symbol = "ESZ26.CME";
// The nine source symbols in slot order: TICK, ADD, VOLD, up/down ratio, VIX, front and
// back volatility contracts, ES, NQ. ES is also the chart.
inline constexpr std::array<const char*, 9> synth_source_symbols = {
    "TICK-NYSE", "NISS-NYSE", "NVOL-NYSE", "UDVR-NYSE", "VIX_CGI", "VXV26-CFE", "VXX26-CFE", "ESZ26.CME", "NQZ26.CME"};

// The feed that stops: on the last day it has no bar at or after 13:00.
inline constexpr const char* synth_stopped_symbol = "NISS-NYSE";
inline constexpr std::int32_t synth_stop_second = 13 * 3600;

// Sessions, in seconds of the day (wall clock, America/New_York): the futures (ES, NQ
// and the volatility contracts) trade 08:00 to 17:00, the VIX is published 09:30 to
// 16:15 and the NYSE internals 09:30 to 16:00 (the regular session).
inline constexpr std::int32_t synth_futures_open = 8 * 3600;
inline constexpr std::int32_t synth_futures_close = 17 * 3600;
inline constexpr std::int32_t synth_rth_open = 9 * 3600 + 30 * 60;
inline constexpr std::int32_t synth_rth_close = 16 * 3600;
inline constexpr std::int32_t synth_vix_close = 16 * 3600 + 15 * 60;

// The host day of the last trading day (Wednesday 2026-10-14) and of every trading day,
// in order; the days skip weekends.
std::int64_t synth_last_day();
std::vector<std::int64_t> synth_trading_days(std::int32_t days);

struct SynthFile {
    std::string symbol;
    std::string csv;  // header row, then one bar per row
};

// The nine files, in the order of synth_source_symbols.
std::vector<SynthFile> synthesize(const SynthOptions& options);

// Writes SYMBOL.csv for each file into `folder` (made when missing). Throws InputError.
void write_synth_files(const std::filesystem::path& folder, const SynthOptions& options);

}  // namespace kmi::emu

#endif
