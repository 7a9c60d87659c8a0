// How many rows a bar file can hold at the most, counted in one quick pass over its bytes
// before it is read, so that its bars are sized once: a read of a million rows then takes one
// allocation of its arrays, not the copies of arrays that grow.
#ifndef KMI_HOST_BAR_FILES_ROWS_BOUND_H
#define KMI_HOST_BAR_FILES_ROWS_BOUND_H

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "kmi_host/bar_files/layout.h"

namespace kmi::emu {

// At least the rows of a file or a text of the layout. A row holds a line end, a separator
// between each two of its fields and two digits (of its time and its close) at the least; the
// bound is what the bytes hold of each, so blank lines and rows of empty cells add nothing to
// it, and the memory sized by it goes with the rows, never with the bytes. Bytes of a UTF-16
// file count as they stand: they hold as many separators and digits as its characters, or more.
// A gzipped file or zip archive is counted in the text it unpacks to.
std::uint64_t row_count_bound(const std::filesystem::path& file, const Layout& layout);
std::uint64_t row_count_bound(std::string_view text, const Layout& layout);

}  // namespace kmi::emu

#endif
