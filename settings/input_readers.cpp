#include "settings/input_readers.h"

#include "host/host_datetime.h"
#include "host/numeric.h"

namespace kmi {
namespace {

// The type code families of the readers.
bool holds_int32(std::uint8_t type) noexcept {
    switch (type) {
        case 1:
        case 3:
        case 4:
        case 6:
        case 11:
        case 13:
        case 14:
        case 15:
        case 16:
        case 17:
        case 19:
        case 22:
        case 24: return true;
        default: return false;
    }
}

bool holds_days(std::uint8_t type) noexcept { return type == 8 || type == 9 || type == 10 || type == 25; }

bool holds_text(std::uint8_t type) noexcept { return type == 26 || type == 27 || type == 28; }

std::int32_t time_of_day_seconds(double days) noexcept {
    if (days == 0.0) return 0;
    const std::int64_t t = round_half_away_i64(days * 86400000000.0);
    return static_cast<std::int32_t>((t % microseconds_per_day) / 1000000);
}

const HostInput missing_input{};

}  // namespace

std::int32_t read_int(const HostInput& input) noexcept {
    const std::uint8_t type = input.type;
    if (holds_int32(type)) return input_int32(input);
    switch (type) {
        case 2: return round_half_away_i32(static_cast<double>(input_float(input)));
        case 5: return input_int32(input) != 0 ? 1 : 0;
        case 8: return saturate_i32(round_half_away_i64(input_double(input) * 86400000000.0) / microseconds_per_day);
        case 9:
        case 25: return read_time_of_day(input);
        case 23: return round_half_away_i32(input_double(input));
        default: return 0;
    }
}

float read_float(const HostInput& input) noexcept {
    switch (input.type) {
        case 1:
        case 3:
        case 4:
        case 6:
        case 13:
        case 15:
        case 16:
        case 17:
        case 22:
        case 24: return static_cast<float>(input_uint32(input));
        case 11:
        case 19: return static_cast<float>(input_int32(input));
        case 2: return input_float(input);
        case 5: return input_int32(input) != 0 ? 1.0f : 0.0f;
        case 23: return to_single(input_double(input));
        default: return 0.0f;
    }
}

bool read_yes_no(const HostInput& input) noexcept {
    const std::uint8_t type = input.type;
    if (holds_int32(type) || type == 5) return input_uint32(input) != 0;
    if (type == 2) return input_float(input) != 0.0f;
    if (holds_days(type) || type == 23) return input_double(input) != 0.0;
    return false;
}

std::int32_t read_time_of_day(const HostInput& input) noexcept {
    if (!holds_days(input.type)) return 0;
    return time_of_day_seconds(input_double(input));
}

std::uint32_t read_colour(const HostInput& input) noexcept {
    if (holds_int32(input.type)) return input_uint32(input);
    if (input.type == 5) return input_uint32(input) != 0 ? 0xFFFFFFu : 0u;
    return 0;
}

const char* read_text(const HostInput& input) noexcept {
    if (holds_text(input.type)) {
        const char* text = input_text(input);
        if (text != nullptr) return text;
    }
    return "Unset";
}

const HostInput& input_at(const HostInterface& host, int index) noexcept {
    if (host.inputs == nullptr || index < 0 || index >= host.input_count) return missing_input;
    return host.inputs[index];
}

}  // namespace kmi
