// The one error of the kmi-host program: a malformed file, scenario or option. Its
// message names the file and the line or key at fault.
#ifndef KMI_HOST_TEXT_INPUT_ERROR_H
#define KMI_HOST_TEXT_INPUT_ERROR_H

#include <stdexcept>
#include <string>

namespace kmi::emu {

struct InputError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace kmi::emu

#endif
