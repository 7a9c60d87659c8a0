#include "kmi_host/host_core/input_values.h"

#include <cmath>
#include <limits>
#include <map>
#include <vector>

#include "host/host_datetime.h"
#include "host/host_text.h"
#include "host/numeric.h"
#include "kmi_host/text/date_time_text.h"
#include "kmi_host/text/input_error.h"
#include "kmi_host/text/names.h"

namespace kmi::emu {
namespace {

[[noreturn]] void fail(const std::string& where, const std::string& message) {
    throw InputError(where + ": " + message);
}

std::string shown(const Json& value) { return dump_compact(value); }

// What an input is given beside its value: its list items, and whether the limits it
// declares hold (as a host's input dialog keeps them).
struct InputRules {
    const std::string* list_items = nullptr;  // "A;B;C", or null
    bool keep_limits = false;
};

std::vector<std::string> split_items(const std::string& list) {
    std::vector<std::string> items;
    if (list.empty()) return items;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = list.find(';', start);
        items.push_back(list.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) return items;
        start = end + 1;
    }
}

bool has_int_limits(const HostInput& input) { return input_maximum_int(input) > input_minimum_int(input); }
bool has_float_limits(const HostInput& input) { return input_maximum_float(input) > input_minimum_float(input); }

// What an input of this type takes, as the sentence's object: "takes an integer from 5 to 30".
std::string what_it_takes(const HostInput& input, std::uint8_t type, const InputRules& rules) {
    if (input_holds_text(type)) return "takes a text (a JSON string), or null for no text at all";
    if (input_holds_double(type)) return "takes a time of day \"HH:MM[:SS[.fff]]\" or a number of days";
    const bool limits = rules.keep_limits && type == input.type;
    if (type == kmi_input_float) {
        if (limits && has_float_limits(input)) {
            return "takes a number from " + shortest_text(input_minimum_float(input)) + " to " +
                   shortest_text(input_maximum_float(input));
        }
        return "takes a number";
    }
    if (type == kmi_input_integer && limits && has_int_limits(input)) {
        return "takes an integer from " + std::to_string(input_minimum_int(input)) + " to " +
               std::to_string(input_maximum_int(input));
    }
    if (type == kmi_input_integer) return "takes an integer";
    if (type == kmi_input_yes_no) return "takes true or false (or 1 or 0)";
    if (type == kmi_input_colour) {
        return "takes a colour as the integer 0x00BBGGRR, red + 256 x green + 65536 x blue (2104348 is R 28, G 28, "
               "B 32)";
    }
    if (type == kmi_input_custom_list) {
        const std::vector<std::string> items =
            rules.list_items == nullptr ? std::vector<std::string>{} : split_items(*rules.list_items);
        std::string text = "takes the 0-based index of a list item";
        for (std::size_t i = 0; i < items.size(); ++i)
            text += (i == 0 ? ": " : ", ") + std::to_string(i) + " " + dump_compact(Json(items[i]));
        return text;
    }
    return "takes an integer or a boolean (type code " + std::to_string(type) + ")";
}

// Whether a value stored under the input's own type keeps what its declaration allows.
bool within_declaration(const HostInput& input, std::uint8_t type, double number, std::int64_t integer,
                        const InputRules& rules) {
    if (!rules.keep_limits || type != input.type) return true;
    if (type == kmi_input_float) {
        return !has_float_limits(input) || (number >= static_cast<double>(input_minimum_float(input)) &&
                                            number <= static_cast<double>(input_maximum_float(input)));
    }
    if (type == kmi_input_integer) {
        return !has_int_limits(input) || (integer >= input_minimum_int(input) && integer <= input_maximum_int(input));
    }
    if (type == kmi_input_yes_no) return integer == 0 || integer == 1;
    if (type == kmi_input_custom_list && rules.list_items != nullptr && !rules.list_items->empty()) {
        return integer >= 0 && integer < static_cast<std::int64_t>(split_items(*rules.list_items).size());
    }
    return true;
}

void store_typed(HostInput& input, std::uint8_t type, const Json& value, const std::string& where,
                 const InputRules& rules) {
    auto refuse = [&]() { fail(where, what_it_takes(input, type, rules) + ", not " + shown(value)); };
    if (input_holds_text(type)) {
        if (!value.is_null() && !value.is_string()) refuse();
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
            refuse();
        }
        set_input_text_value(input, nullptr);  // releases a text the input may hold
        input.type = type;
        set_input_double(input, number);
        return;
    }
    if (type == kmi_input_float) {
        if (!value.is_number()) refuse();
        number = value.get<double>();
        if (std::isfinite(number) && std::fabs(number) > static_cast<double>(std::numeric_limits<float>::max())) {
            fail(where, "out of the range of a 32-bit float: " + shown(value));
        }
        if (!within_declaration(input, type, static_cast<double>(static_cast<float>(number)), 0, rules)) refuse();
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
        refuse();
    }
    if (!within_declaration(input, type, 0.0, integer, rules)) refuse();
    set_input_text_value(input, nullptr);
    input.type = type;
    set_input_uint32(input, static_cast<std::uint32_t>(integer));
}

void store_value(HostInput& input, const Json& value, const std::string& where, const InputRules& rules) {
    if (value.is_object()) {
        for (const auto& [key, member] : value.items()) {
            if (key != "type" && key != "value")
                fail(where, "unknown key \"" + key + "\" (expected \"type\" and \"value\")");
        }
        if (!value.contains("type") || !value.contains("value")) fail(where, "needs both \"type\" and \"value\"");
        const Json& type = value.at("type");
        if (!type.is_number_integer() || type.get<std::int64_t>() < 0 || type.get<std::int64_t>() > 255) {
            fail(where, "\"type\": a type code is an integer from 0 to 255, not " + shown(type));
        }
        const auto code = static_cast<std::uint8_t>(type.get<std::int64_t>());
        if (rules.keep_limits && input.type != 0 && code != input.type) {
            fail(where, "keeps its declared type " + std::to_string(input.type) + " here; give the value alone");
        }
        store_typed(input, code, value.at("value"), where, rules);
        return;
    }
    if (input.type == 0) fail(where, "is not declared (it has no type yet); give {\"type\": T, \"value\": V}");
    store_typed(input, input.type, value, where, rules);
}

}  // namespace

bool input_holds_double(std::uint8_t type) { return type == 8 || type == 9 || type == 10 || type == 23 || type == 25; }

bool input_holds_text(std::uint8_t type) { return type == 26 || type == 27 || type == 28; }

void store_input_value(HostInput& input, const Json& value, const std::string& where) {
    store_value(input, value, where, InputRules{});
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
    const std::string not_an_index =
        shown(Json(key)) + " is not an input index (0 to " + std::to_string(count - 1) + ")";
    if (used == key.size() || key.empty()) fail(where, not_an_index);
    std::vector<std::string> names;
    names.reserve(host.study.inputs.size());
    for (int i = 0; i < count; ++i) {
        names.emplace_back(kmi::text_chars(host.study.inputs[static_cast<std::size_t>(i)].name));
        if (key == names.back()) return i;
    }
    const std::optional<std::string> nearest = nearest_name(key, names);
    fail(where, not_an_index + " nor the name of a declared input" +
                    (nearest ? " (did you mean " + shown(Json(*nearest)) + "?)" : std::string()));
}

// "input 2 \"Panel Font Size\"", or "input 21" for an input without a name.
std::string input_label(const Host& host, int index) {
    const std::string name = kmi::text_chars(host.study.inputs.at(static_cast<std::size_t>(index)).name);
    // Built by appending: GCC 12 at -O3 takes a literal + temporary string for an overlapping copy.
    std::string label = "input ";
    label += std::to_string(index);
    if (!name.empty()) label.append(" ").append(shown(Json(name)));
    return label;
}

}  // namespace

void store_input_values(Host& host, const Json& settings, const std::string& where, InputLimits limits) {
    if (!settings.is_object()) fail(where, "expected an object {\"INDEX or NAME\": VALUE, ...}");
    // Every key is resolved before any value is stored.
    std::map<int, std::string> keys;  // the key that sets each input
    std::vector<int> indices;
    for (const auto& [key, value] : settings.items()) {
        const int index = input_index(host, key, where);
        const auto [earlier, first] = keys.emplace(index, key);
        if (!first) {
            fail(where, input_label(host, index) + " is set twice (as " + shown(Json(earlier->second)) + " and as " +
                            shown(Json(key)) + ")");
        }
        indices.push_back(index);
    }
    std::size_t i = 0;
    for (const auto& [key, value] : settings.items()) {
        const int index = indices[i++];
        const InputRules rules{&host.study.list_items.at(static_cast<std::size_t>(index)), limits == InputLimits::kept};
        store_value(input(host, index), value, where + ": " + input_label(host, index), rules);
    }
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
    for (const std::string& item : split_items(host.study.list_items.at(static_cast<std::size_t>(index))))
        items.push_back(item);
    out["list_items"] = items;
    return out;
}

std::int64_t input_second_of_day(const HostInput& in) {
    if (in.type != 8 && in.type != 9 && in.type != 10 && in.type != 25) return 0;
    const double days = input_double(in);
    if (days == 0.0) return 0;
    const std::int64_t us = kmi::round_half_away_i64(days * static_cast<double>(kmi::microseconds_per_day));
    return us % kmi::microseconds_per_day / us_per_second;
}

}  // namespace kmi::emu
