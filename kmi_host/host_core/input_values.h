// Input values as the kmi-host program reads and shows them: a JSON value stored in a
// host input record according to the input's type code, and the record shown as JSON.
//
// Type codes and what they hold:
//   2                  a 32-bit float (any JSON number)
//   8, 9, 10, 23, 25   a double count of days: a number of days, or a time of day
//                      "HH:MM:SS[.fff]" (a fraction of one day)
//   26, 27, 28         a text (a JSON string), or null for no text at all
//   every other code   a 32-bit integer (a JSON integer or a boolean); colours
//                      (code 14) are 0x00BBGGRR integers, lists (code 22) 0-based indices
#ifndef KMI_HOST_HOST_CORE_INPUT_VALUES_H
#define KMI_HOST_HOST_CORE_INPUT_VALUES_H

#include <cstdint>
#include <string>

#include "kmi_host/host_core/host_core.h"
#include "kmi_host/text/json_text.h"

namespace kmi::emu {

bool input_holds_double(std::uint8_t type);
bool input_holds_text(std::uint8_t type);

// Stores `value` in the input. `value` is either a plain value, stored under the input's
// declared type, or {"type": T, "value": V}, which stores V under type code T and sets T
// as the input's type. `where` names the file and key in error messages. Throws
// InputError; the input is unchanged then.
void store_input_value(HostInput& input, const Json& value, const std::string& where);

// Whether a value must keep what the input declares: within its limits (integer and float
// inputs whose maximum is above their minimum), an index of its list items, 0 or 1 for yes/no,
// and its declared type. A host's input dialog keeps them; a scenario may send anything.
enum class InputLimits { free, kept };

// Applies an object of input settings {"INDEX": VALUE, ...} to the host's inputs, in the
// order written. A key is an input index or the declared name of an input, byte for byte
// ({"TICK Upper Threshold": 800}); one input may be set once. `where` names the file (and
// key); a message goes on with the input's index and name and what it takes.
void store_input_values(Host& host, const Json& settings, const std::string& where,
                        InputLimits limits = InputLimits::free);

// The input's value as JSON, by its type code (texts as strings, null for no text).
Json input_value_json(const HostInput& input);

// The declared input as JSON: index, name, type, value, limits and list items.
Json declared_input_json(const Host& host, int index);

// The seconds of the day that a time input holds, as the study reads its session inputs:
// whole microseconds of the fraction of a day, their remainder by one day (the sign kept),
// truncated to seconds; 0 for an input of another kind.
std::int64_t input_second_of_day(const HostInput& input);

// Whether the defaults call declared the input (it has a type code or a name).
bool input_is_declared(const HostInput& input);

}  // namespace kmi::emu

#endif
