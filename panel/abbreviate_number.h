// Large numbers in few characters: K, M and B from ten thousand on.
#ifndef KMI_PANEL_ABBREVIATE_NUMBER_H
#define KMI_PANEL_ABBREVIATE_NUMBER_H

#include <array>

namespace kmi {

// The number text, at most 31 characters and its NUL.
struct NumberText {
    std::array<char, 32> chars{};
};

NumberText abbreviate_number(double x) noexcept;

}  // namespace kmi

#endif
