#include "emulator/input_values.h"

#include <cmath>
#include <limits>
#include <map>
#include <vector>

#include "emulator/date_time_text.h"
#include "emulator/input_error.h"
#include "host/host_text.h"

namespace kmi::emu {
namespace {

[[noreturn]] void fail(const std::string& where, const std::string& message) {
    throw InputError(where + ": " + message);
}

std::string shown(const Json& value) { return dump_compact(value); }

void store_typed(HostInput& input, std::uint8_t type, const Json& value, const std::string& where) {
    if (input_holds_text(type)) {
        if (!value.is_null() && !value.is_string()) {
            fail(where, "a text input (type " + std::to_string(type) + ") takes a string or null, not " + shown(value));
        }
        if (value.is_null()) {
            set_input_text_value(input, nullptr);
        } else {
            const std::string text = value.get<std::string>();
            if (text.find('\0') != std::string::npos) fail(where, "a text input cannot hold a NUL character");
            set_input_text_value(input, text.c_str());
        }
        input.type = type;
        return;
    }
    double number = 0.0;
    if (input_holds_double(type)) {
        if (value.is_string()) {
            const auto us = parse_time_of_day(value.get<std::string>());
            if (!us) fail(where, "not a time of day HH:MM[:SS[.fff]]: " + shown(value));
            number = static_cast<double>(*us) / static_cast<double>(us_per_day);
        } else if (value.is_number()) {
            number = value.get<double>();
        } else {
            fail(where, "a time input (type " + std::to_string(type) +
                            ") takes \"HH:MM:SS\" or a number of days, not " + shown(value));
        }
        set_input_text_value(input, nullptr);  // releases a text the input may hold
        input.type = type;
        set_input_double(input, number);
        return;
    }
    if (type == kmi_input_float) {
        if (!value.is_number()) fail(where, "a float input takes a number, not " + shown(value));
        number = value.get<double>();
        if (std::isfinite(number) && std::fabs(number) > static_cast<double>(std::numeric_limits<float>::max())) {
            fail(where, "out of the range of a 32-bit float: " + shown(value));
        }
        set_input_text_value(input, nullptr);
        input.type = type;
        set_input_float(input, static_cast<float>(number));
        return;
    }
    std::int64_t integer = 0;
    if (value.is_boolean()) {
        integer = value.get<bool>() ? 1 : 0;
    } else if (value.is_number_integer()) {
        integer = value.is_number_unsigned() && value.get<std::uint64_t>() > 0xFFFFFFFFull
                      ? std::numeric_limits<std::int64_t>::max()
                      : value.get<std::int64_t>();
        // Colours and other 32-bit values may be given unsigned (up to 0xFFFFFFFF).
        if (integer < std::numeric_limits<std::int32_t>::min() || integer > 0xFFFFFFFFll) {
            fail(where, "out of the range of a 32-bit integer: " + shown(value));
        }
    } else {
        fail(where, "an input of type " + std::to_string(type) + " takes an integer or a boolean, not " + shown(value));
    }
    set_input_text_value(input, nullptr);
    input.type = type;
    set_input_uint32(input, static_cast<std::uint32_t>(integer));
}

}  // namespace

bool input_holds_double(std::uint8_t type) { return type == 8 || type == 9 || type == 10 || type == 23 || type == 25; }

bool input_holds_text(std::uint8_t type) { return type == 26 || type == 27 || type == 28; }

void store_input_value(HostInput& input, const Json& value, const std::string& where) {
    if (value.is_object()) {
        for (const auto& [key, member] : value.items()) {
            if (key != "type" && key != "value")
                fail(where + "." + key, "unknown key (expected \"type\" and \"value\")");
        }
        if (!value.contains("type") || !value.contains("value")) fail(where, "needs both \"type\" and \"value\"");
        const Json& type = value.at("type");
        if (!type.is_number_integer() || type.get<std::int64_t>() < 0 || type.get<std::int64_t>() > 255) {
            fail(where + ".type", "a type code is an integer from 0 to 255, not " + shown(type));
        }
        store_typed(input, static_cast<std::uint8_t>(type.get<std::int64_t>()), value.at("value"), where + ".value");
        return;
    }
    if (input.type == 0) {
        fail(where, "the input is not declared (no type yet); give {\"type\": T, \"value\": V}");
    }
    store_typed(input, input.type, value, where);
}

namespace {

// The input a key names: an index, or else the declared name of an input (byte for byte).
int input_index(const Host& host, const std::string& key, const std::string& where) {
    const auto count = static_cast<int>(host.study.inputs.size());
    std::size_t used = 0;
    int index = -1;
    try {
        index = std::stoi(key, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (!key.empty() && used == key.size() && index >= 0 && index < count) return index;
    const std::string not_an_index = "not an input index (0 to " + std::to_string(count - 1) + ")";
    if (used == key.size() || key.empty()) fail(where + "." + key, not_an_index);
    for (int i = 0; i < count; ++i) {
        if (key == kmi::text_chars(host.study.inputs[static_cast<std::size_t>(i)].name)) return i;
    }
    fail(where + "." + key, not_an_index + " nor the name of a declared input");
}

}  // namespace

void store_input_values(Host& host, const Json& settings, const std::string& where) {
    if (!settings.is_object()) fail(where, "expected an object {\"INDEX or NAME\": VALUE, ...}");
    // Every key is resolved before any value is stored.
    std::map<int, std::string> keys;  // the key that sets each input
    std::vector<int> indices;
    for (const auto& [key, value] : settings.items()) {
        const int index = input_index(host, key, where);
        const auto [earlier, first] = keys.emplace(index, key);
        if (!first) {
            fail(where + "." + key,
                 "input " + std::to_string(index) + " is set twice (also as \"" + earlier->second + "\")");
        }
        indices.push_back(index);
    }
    std::size_t i = 0;
    for (const auto& [key, value] : settings.items())
        store_input_value(input(host, indices[i++]), value, where + "." + key);
}

Json input_value_json(const HostInput& in) {
    if (input_holds_text(in.type)) {
        const char* text = input_text(in);
        return text == nullptr ? Json(nullptr) : Json(std::string(text));
    }
    if (input_holds_double(in.type)) return json_number(input_double(in));
    if (in.type == kmi_input_float) return json_number(input_float(in));
    if (in.type == kmi_input_colour) return Json(input_uint32(in));
    return Json(input_int32(in));
}

bool input_is_declared(const HostInput& in) { return in.type != 0 || kmi::text_length(in.name) > 0; }

Json declared_input_json(const Host& host, int index) {
    const HostInput& in = host.study.inputs.at(static_cast<std::size_t>(index));
    Json out;
    out["index"] = index;
    out["name"] = kmi::text_chars(in.name);
    out["type"] = in.type;
    out["value"] = input_value_json(in);
    if (in.type == kmi_input_float) {
        out["minimum"] = json_number(input_minimum_float(in));
        out["maximum"] = json_number(input_maximum_float(in));
    } else {
        out["minimum"] = input_minimum_int(in);
        out["maximum"] = input_maximum_int(in);
    }
    Json items = Json::array();
    const std::string& list = host.study.list_items.at(static_cast<std::size_t>(index));
    if (!list.empty()) {
        std::size_t start = 0;
        while (true) {
            const std::size_t end = list.find(';', start);
            items.push_back(list.substr(start, end == std::string::npos ? std::string::npos : end - start));
            if (end == std::string::npos) break;
            start = end + 1;
        }
    }
    out["list_items"] = items;
    return out;
}

}  // namespace kmi::emu
