// The nine source slots in their fixed order, and the inputs each slot owns.
#ifndef KMI_SETTINGS_SOURCE_SLOTS_H
#define KMI_SETTINGS_SOURCE_SLOTS_H

#include <array>
#include <cstdint>

namespace kmi {

inline constexpr int source_slot_count = 9;

enum SourceSlot : int {
    slot_tick = 0,
    slot_add = 1,
    slot_vold = 2,
    slot_updown_ratio = 3,
    slot_vix = 4,
    slot_front = 5,
    slot_back = 6,
    slot_es = 7,
    slot_nq = 8,
};

struct SourceLabel {
    const char* label;
    const char* default_symbol;
};

inline constexpr std::array<SourceLabel, source_slot_count> source_labels{{
    {"NYSE $TICK", "TICK-NYSE"},
    {"NYSE $ADD (net advancing issues)", "NISS-NYSE"},
    {"NYSE $VOLD (up minus down volume)", "NVOL-NYSE"},
    {"NYSE Up/Down Volume Ratio", "UDVR-NYSE"},
    {"VIX", "VIX_CGI"},
    {"Term Structure Front (VIX or VX1)", "VXV26-CFE"},
    {"Term Structure Back (VIX3M or VX2)", "VXX26-CFE"},
    {"ES", "ESZ26.CME"},
    {"NQ", "NQZ26.CME"},
}};

// The short names the diagnostics report prints.
inline constexpr std::array<const char*, source_slot_count> source_short_names{"TICK", "ADD", "VOLD", "UDVR", "VIX",
                                                                               "TS1",  "TS2", "ES",   "NQ"};

inline constexpr int symbol_input(int slot) { return 30 + 2 * slot; }
inline constexpr int chart_number_input(int slot) { return 31 + 2 * slot; }
inline constexpr std::int32_t remembered_chart_key(int slot) { return 10 + slot; }

}  // namespace kmi

#endif
