#include "kmi_host/bar_files/packed_bytes.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "kmi_host/text/input_error.h"

namespace kmi::emu {

[[noreturn]] void fail(const ByteSource& source, const std::string& message) {
    throw InputError(source.name + ": " + message);
}

[[noreturn]] void fail_damaged_archive(const ByteSource& source, const std::string& what) {
    fail(source, "a zip archive cut short or damaged (" + what + "): unpack it and give its bar file");
}

namespace {

std::uint64_t little_endian(std::string_view bytes, std::size_t at, std::size_t length) {
    std::uint64_t value = 0;
    for (std::size_t i = length; i-- > 0;) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

}  // namespace

std::uint64_t u16(std::string_view bytes, std::size_t at) { return little_endian(bytes, at, 2); }
std::uint64_t u32(std::string_view bytes, std::size_t at) { return little_endian(bytes, at, 4); }
std::uint64_t u64(std::string_view bytes, std::size_t at) { return little_endian(bytes, at, 8); }

// The next packed bytes into `out`, at most `size` and at most those left of a zip's file.
std::size_t read_packed(ByteSource& source, char* out, std::size_t size) {
    size = static_cast<std::size_t>(std::min<std::uint64_t>(size, source.packed_left));
    std::size_t read = 0;
    if (source.from_file) {
        source.file.read(out, static_cast<std::streamsize>(size));
        if (source.file.bad()) fail(source, "cannot be read on (a read error)");
        read = static_cast<std::size_t>(source.file.gcount());
    } else {
        read = std::min(size, source.memory.size() - source.memory_at);
        if (read > 0) std::memcpy(out, source.memory.data() + source.memory_at, read);
        source.memory_at += read;
    }
    if (source.packing == Packing::zip) source.packed_left -= read;
    return read;
}

// The packed bytes from `offset` on, at most `length` (fewer at the end).
std::string bytes_at(ByteSource& source, std::uint64_t offset, std::size_t length) {
    if (!source.from_file) {
        return offset >= source.memory.size()
                   ? std::string()
                   : std::string(source.memory.substr(static_cast<std::size_t>(offset), length));
    }
    source.file.clear();
    source.file.seekg(static_cast<std::streamoff>(offset));
    std::string bytes(length, '\0');
    source.file.read(bytes.data(), static_cast<std::streamsize>(length));
    if (source.file.bad()) fail(source, "cannot be read on (a read error)");
    bytes.resize(static_cast<std::size_t>(source.file.gcount()));
    source.file.clear();
    return bytes;
}

std::uint64_t packed_length(ByteSource& source) {
    if (!source.from_file) return source.memory.size();
    source.file.clear();
    source.file.seekg(0, std::ios::end);
    const std::streamoff end = source.file.tellg();
    if (end < 0) fail(source, "cannot be read on (a read error)");
    return static_cast<std::uint64_t>(end);
}

// zlib's inflate, of gzip (window bits 15 + 16) or raw deflate (-15).
void start_inflater(ByteSource& source, int window_bits) {
    source.inflater.reset(new z_stream{});
    const int status = inflateInit2(source.inflater.get(), window_bits);
    if (status == Z_MEM_ERROR) throw std::bad_alloc();
    if (status != Z_OK) fail(source, "cannot be unpacked (zlib cannot start: error " + std::to_string(status) + ")");
}

}  // namespace kmi::emu
