// Readers of input values. Each looks only at the record's type code and value and
// never fails: a type that carries no such value yields 0, off or "Unset".
#ifndef KMI_SETTINGS_INPUT_READERS_H
#define KMI_SETTINGS_INPUT_READERS_H

#include <cstdint>

#include "host/host_interface.h"

namespace kmi {

std::int32_t read_int(const HostInput& input) noexcept;
float read_float(const HostInput& input) noexcept;
bool read_yes_no(const HostInput& input) noexcept;
std::int32_t read_time_of_day(const HostInput& input) noexcept;
std::uint32_t read_colour(const HostInput& input) noexcept;
const char* read_text(const HostInput& input) noexcept;

// Input `index` of the host's record, or an input of type 0 when the host has no such
// input (every reader then yields its nothing value).
const HostInput& input_at(const HostInterface& host, int index) noexcept;

}  // namespace kmi

#endif
