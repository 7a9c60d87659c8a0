// Bar files as vendors ship them: gzipped (".gz", one member or several one after another), or
// in a zip archive that holds one file, stored or deflated. A byte source gives the bytes a
// bar file's text is read from, block by block: a plain file's own, or what its compression
// unpacks to, streamed, so that a file of gigabytes is never held whole (and a small file
// that unpacks to gigabytes takes no more memory than a plain one). zlib unpacks; the zip
// container (its end record, central directory and local header) is read here.
#ifndef KMI_HOST_BAR_FILES_COMPRESSED_FILES_H
#define KMI_HOST_BAR_FILES_COMPRESSED_FILES_H

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

struct z_stream_s;  // zlib's inflate stream

namespace kmi::emu {

enum class Packing : std::uint8_t { plain, gzip, zip };

struct InflateEnd {
    void operator()(z_stream_s* stream) const;
};

// Where a bar file's bytes come from, and how far they are read. Packed bytes come from a
// file or from memory; a zip archive's are those of its one file, `packed_left` of them.
struct ByteSource {
    std::string name;  // the file, for messages
    Packing packing = Packing::plain;
    std::ifstream file;
    bool from_file = false;
    std::string_view memory;  // when not from a file
    std::size_t memory_at = 0;
    std::uint64_t packed_left = std::numeric_limits<std::uint64_t>::max();
    std::string packed;                                // bytes read that `inflater` has not taken yet
    std::unique_ptr<z_stream_s, InflateEnd> inflater;  // none: the bytes are the text (plain, or stored)
    // A zip's file: its name as told, the CRC-32 and length the archive lists, and those of
    // what was read of it so far.
    std::string entry;
    std::uint32_t entry_crc = 0;
    std::uint64_t entry_size = 0;
    std::uint32_t crc = 0;
    std::uint64_t unpacked = 0;
    bool ended = false;  // every byte was given (not for a plain file, which is read to its end)
};

// How a file's first bytes say it is packed: gzip's magic bytes 1f 8b, a zip archive's local
// header "PK\3\4" (or the end record alone of an empty one).
Packing packing_of(std::string_view first_bytes);

// The bytes of a file. Throws InputError naming the file when it cannot be read, is not a
// regular file, or is a zip archive that does not hold exactly one file this reader can unpack.
ByteSource open_bytes(const std::filesystem::path& file, const std::string& name);

// The bytes of a text in memory, which must outlive the source; packed as `packing_of` says.
ByteSource memory_bytes(std::string_view text, const std::string& name);

// Fills `out` with the next bytes, at most `size` (at most 1 GiB), fewer only at the end; 0
// once every byte is read. Throws InputError naming the file when it cannot be read on or
// its packed bytes are cut short or damaged.
std::size_t read_bytes(ByteSource& source, char* out, std::size_t size);

}  // namespace kmi::emu

#endif
