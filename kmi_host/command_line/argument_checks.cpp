#include "kmi_host/command_line/argument_checks.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string>

#include "kmi_host/text/path_text.h"

namespace kmi::emu {

extern const CLI::Validator not_empty(
    [](std::string& value) { return value.empty() ? std::string("an empty value is not allowed") : std::string(); }, "",
    "not_empty");

extern const CLI::Validator existing_folder(
    [](std::string& value) {
        std::error_code error;
        if (std::filesystem::is_directory(path_of(value), error)) return std::string();
        return std::filesystem::exists(path_of(value), error) ? "not a folder: " + value
                                                              : "Directory does not exist: " + value;
    },
    "", "existing_folder");

extern const CLI::Validator finite_positive(
    [](std::string& value) {
        char* end = nullptr;
        const double number = std::strtod(value.c_str(), &end);
        const bool whole = end != nullptr && end != value.c_str() && *end == '\0';
        return whole && std::isfinite(number) && number > 0.0
                   ? std::string()
                   : "a finite number above 0 is needed, not \"" + value + "\"";
    },
    "", "finite_positive");

extern const CLI::Validator whole_number(
    [](std::string& value) {
        bool fits = !value.empty() && value.find_first_not_of("0123456789") == std::string::npos;
        if (fits) {
            errno = 0;
            const unsigned long long number = std::strtoull(value.c_str(), nullptr, 10);
            fits = !(number == std::numeric_limits<unsigned long long>::max() && errno == ERANGE);
        }
        return fits ? std::string() : "a whole number from 0 to 18446744073709551615 is needed, not \"" + value + "\"";
    },
    "", "whole_number");

}  // namespace kmi::emu
