// Names and words as traders read and type them: a count with its noun, names compared in any
// ASCII letter case, a symbol that can name a file of a data folder, and the nearest of several
// names to a word mistyped.
#ifndef KMI_HOST_TEXT_NAMES_H
#define KMI_HOST_TEXT_NAMES_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kmi::emu {

// "1 bar", "2 bars".
std::string counted(std::int64_t count, const char* one, const char* many);

// The text with A to Z as a to z.
std::string lower_ascii(std::string text);

// A symbol that can be a file name of the data folder: no folder, not "." or "..".
bool is_plain_file_name(const std::string& symbol);

// The edits that turn one word into the other: a letter added, removed or changed, or two
// neighbours swapped.
std::size_t edit_distance(const std::string& a, const std::string& b);

// The name nearest to `word`, when it is near: at most two edits, and one per three letters.
std::optional<std::string> nearest_name(const std::string& word, const std::vector<std::string>& names);

}  // namespace kmi::emu

#endif
