#include "panel/abbreviate_number.h"

#include <cmath>

#include "host/text_format.h"

namespace kmi {

NumberText abbreviate_number(double x) noexcept {
    NumberText text;
    const double a = std::fabs(x);
    char* out = text.chars.data();
    const std::size_t size = text.chars.size();
    // Values from 1000 to 9999 print in full: K starts at ten thousand.
    if (a >= 1e9) {
        format_text(out, size, "%+.2fB"_fmt, x / 1e9);
    } else if (a >= 1e6) {
        format_text(out, size, "%+.2fM"_fmt, x / 1e6);
    } else if (a >= 10000) {
        format_text(out, size, "%+.2fK"_fmt, x / 1000);
    } else {
        format_text(out, size, "%+.0f"_fmt, x);
    }
    return text;
}

}  // namespace kmi
