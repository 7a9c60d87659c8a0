// The checks of an option's value as it is given, before any command runs: not empty, a folder
// that exists, a finite number above 0, a whole number that fits 64 bits.
#ifndef KMI_HOST_COMMAND_LINE_ARGUMENT_CHECKS_H
#define KMI_HOST_COMMAND_LINE_ARGUMENT_CHECKS_H

#include <CLI/CLI.hpp>

namespace kmi::emu {

// An option's value may not be empty: an empty folder or date would quietly mean "here" or
// "no date".
extern const CLI::Validator not_empty;

// A folder that exists, its name UTF-8 (as every argument is).
extern const CLI::Validator existing_folder;

// A speed is a finite number above 0 (NaN and infinities are no speed).
extern const CLI::Validator finite_positive;

// A seed is a whole number of digits that fits 64 bits: "-1" would wrap around to
// 18446744073709551615, and a longer number would be cut to it.
extern const CLI::Validator whole_number;

}  // namespace kmi::emu

#endif
