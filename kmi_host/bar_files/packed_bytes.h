// A packed bar file's bytes as its unpacking reads them: at an offset, block by block, the
// fields of a zip record, zlib's inflater started, and a refusal naming the file.
#ifndef KMI_HOST_BAR_FILES_PACKED_BYTES_H
#define KMI_HOST_BAR_FILES_PACKED_BYTES_H

#include <cstdint>
#include <string>
#include <string_view>

#include "kmi_host/bar_files/compressed_files.h"

namespace kmi::emu {

// Packed bytes are read this many at a time.
inline constexpr std::size_t packed_block = 1 << 18;

// Throws InputError naming the source's file.
[[noreturn]] void fail(const ByteSource& source, const std::string& message);
[[noreturn]] void fail_damaged_archive(const ByteSource& source, const std::string& what);

// Little-endian fields of 2, 4 and 8 bytes at `at`.
std::uint64_t u16(std::string_view bytes, std::size_t at);
std::uint64_t u32(std::string_view bytes, std::size_t at);
std::uint64_t u64(std::string_view bytes, std::size_t at);

// The next packed bytes into `out`, at most `size` and at most those left of a zip's file.
std::size_t read_packed(ByteSource& source, char* out, std::size_t size);

// The packed bytes from `offset` on, at most `length` (fewer at the end).
std::string bytes_at(ByteSource& source, std::uint64_t offset, std::size_t length);

// The length of all the packed bytes.
std::uint64_t packed_length(ByteSource& source);

// zlib's inflate, of gzip (window bits 15 + 16) or raw deflate (-15).
void start_inflater(ByteSource& source, int window_bits);

}  // namespace kmi::emu

#endif
