#include "kmi_host/text/names.h"

#include <algorithm>

namespace kmi::emu {

std::string counted(std::int64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string lower_ascii(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
    return text;
}

bool is_plain_file_name(const std::string& symbol) {
    return !symbol.empty() && symbol != "." && symbol != ".." && symbol.find_first_of("/\\:") == std::string::npos;
}

std::size_t edit_distance(const std::string& a, const std::string& b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

std::optional<std::string> nearest_name(const std::string& word, const std::vector<std::string>& names) {
    std::optional<std::string> nearest;
    std::size_t nearest_distance = 0;
    for (const std::string& name : names) {
        const std::size_t distance = edit_distance(word, name);
        if (distance <= std::min<std::size_t>(2, name.size() / 3) && (!nearest || distance < nearest_distance)) {
            nearest = name;
            nearest_distance = distance;
        }
    }
    return nearest;
}

}  // namespace kmi::emu
