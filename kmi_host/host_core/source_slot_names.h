// The names kmi-host gives the study's nine source slots, on its command line (--source SLOT=FILE)
// and in what it writes.
#ifndef KMI_HOST_HOST_CORE_SOURCE_SLOT_NAMES_H
#define KMI_HOST_HOST_CORE_SOURCE_SLOT_NAMES_H

#include <array>

#include "settings/source_slots.h"

namespace kmi::emu {

// In slot order.
inline constexpr std::array<const char*, source_slot_count> source_slot_names{"tick",  "add",  "vold", "updown", "vix",
                                                                              "front", "back", "es",   "nq"};

}  // namespace kmi::emu

#endif
