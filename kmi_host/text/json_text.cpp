#include "kmi_host/text/json_text.h"

#include <charconv>
#include <cmath>
#include <system_error>

#include "kmi_host/text/input_error.h"

namespace kmi::emu {
namespace {

template <typename Number>
std::string shortest(Number value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

void dump_to(const Json& value, std::string& out) {
    switch (value.type()) {
        case Json::value_t::object: {
            out += '{';
            bool first = true;
            for (const auto& [key, member] : value.items()) {
                if (!first) out += ',';
                first = false;
                out += Json(key).dump(-1, ' ', false, Json::error_handler_t::replace);
                out += ':';
                dump_to(member, out);
            }
            out += '}';
            return;
        }
        case Json::value_t::array: {
            out += '[';
            bool first = true;
            for (const Json& element : value) {
                if (!first) out += ',';
                first = false;
                dump_to(element, out);
            }
            out += ']';
            return;
        }
        case Json::value_t::number_float: {
            const double number = value.get<double>();
            if (std::isfinite(number)) {
                out += shortest(number);
            } else {
                out += '"' + shortest(number) + '"';
            }
            return;
        }
        default:
            // Null, booleans, integers and strings print the same on every platform.
            out += value.dump(-1, ' ', false, Json::error_handler_t::replace);
            return;
    }
}

}  // namespace

std::string shortest_text(double value) { return shortest(value); }
std::string shortest_text(float value) { return shortest(value); }

Json json_number(double value) {
    if (!std::isfinite(value)) return Json(shortest(value));
    return Json(value);
}

Json json_number(float value) {
    if (!std::isfinite(value)) return Json(shortest(value));
    const std::string text = shortest(value);
    double widened = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), widened);
    return Json(widened);
}

Json parse_json_text(const std::string& text, const std::string& file_name) {
    std::size_t offset = 0;
    std::string what;
    try {
        return Json::parse(text);
    } catch (const Json::parse_error& error) {
        offset = error.byte == 0 ? 0 : error.byte - 1;
        what = error.what();
    } catch (const Json::exception& error) {
        // A number beyond the range of a double: the message quotes it, which finds its line.
        what = error.what();
        const std::size_t quote = what.find("parsing '");
        if (quote != std::string::npos) {
            const std::size_t start = quote + 9;
            const std::string token = what.substr(start, what.find('\'', start) - start);
            const std::size_t found = token.empty() ? std::string::npos : text.find(token);
            offset = found == std::string::npos ? 0 : found;
        }
    }
    std::size_t line = 1;
    for (std::size_t i = 0; i < offset && i < text.size(); ++i) line += text[i] == '\n' ? 1 : 0;
    throw InputError(file_name + ":" + std::to_string(line) + ": not valid JSON: " + what);
}

std::string dump_compact(const Json& value) {
    std::string out;
    dump_to(value, out);
    return out;
}

}  // namespace kmi::emu
