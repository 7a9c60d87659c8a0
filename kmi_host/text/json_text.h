// JSON output of the kmi-host program: numbers in their shortest round-trip form
// (std::to_chars, the same bytes on every platform), non-finite numbers as the strings
// "nan", "inf" and "-inf", one compact line per value.
#ifndef KMI_HOST_TEXT_JSON_TEXT_H
#define KMI_HOST_TEXT_JSON_TEXT_H

#include <nlohmann/json.hpp>

#include <string>

namespace kmi::emu {

using Json = nlohmann::ordered_json;

// The shortest text that reads back as the same value ("nan", "inf", "-inf" when not
// finite).
std::string shortest_text(double value);
std::string shortest_text(float value);

// A JSON value for a number: finite numbers as numbers, others as their text. A 32-bit
// float is held as the double of its shortest text, so it prints as that text.
Json json_number(double value);
Json json_number(float value);

// Parses the text of a JSON file. Throws InputError "FILE:LINE: not valid JSON: ..." for a
// syntax error or a number beyond the range of a double.
Json parse_json_text(const std::string& text, const std::string& file_name);

// Compact JSON, without a line end; texts that are not valid UTF-8 get U+FFFD in place of
// their bad bytes.
std::string dump_compact(const Json& value);

}  // namespace kmi::emu

#endif
