#include "kmi_host/bar_files/compressed_files.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "kmi_host/bar_files/packed_bytes.h"
#include "kmi_host/bar_files/zip_archives.h"
#include "kmi_host/text/input_error.h"

namespace kmi::emu {

void InflateEnd::operator()(z_stream_s* stream) const {
    inflateEnd(stream);
    delete stream;
}

namespace {

void start(ByteSource& source) {
    if (source.packing == Packing::gzip) start_inflater(source, MAX_WBITS + 16);
    if (source.packing == Packing::zip) open_zip(source);
}

[[noreturn]] void fail_unpacking(const ByteSource& source, const char* what) {
    const std::string said = std::string("(zlib: ") + (what != nullptr ? what : "damaged data") + ")";
    if (source.packing == Packing::gzip) fail(source, "a gzip file cut short or damaged " + said);
    fail(source, "a zip archive whose file " + source.entry + " is cut short or damaged " + said);
}

// Reads packed bytes for the inflater, after those it has not taken yet; false when there
// are no more.
bool refill(ByteSource& source) {
    z_stream& stream = *source.inflater;
    const std::size_t kept = stream.avail_in;
    source.packed.resize(packed_block);
    if (kept > 0) std::memmove(source.packed.data(), stream.next_in, kept);
    const std::size_t read = read_packed(source, source.packed.data() + kept, packed_block - kept);
    stream.next_in = reinterpret_cast<Bytef*>(source.packed.data());
    stream.avail_in = static_cast<uInt>(kept + read);
    return read > 0;
}

// After a gzip member, the next one (as `cat a.gz b.gz` makes), or the end.
void next_member(ByteSource& source) {
    z_stream& stream = *source.inflater;
    while (stream.avail_in < 2 && refill(source)) {
    }
    if (stream.avail_in == 0) {
        source.ended = true;
        return;
    }
    if (stream.avail_in < 2 || stream.next_in[0] != 0x1F || stream.next_in[1] != 0x8B) {
        fail(source, "a gzip file cut short or damaged (bytes after its end that begin no gzip member)");
    }
    if (inflateReset(&stream) != Z_OK) fail_unpacking(source, stream.msg);
}

std::size_t unpack(ByteSource& source, char* out, std::size_t size) {
    z_stream& stream = *source.inflater;
    stream.next_out = reinterpret_cast<Bytef*>(out);
    stream.avail_out = static_cast<uInt>(size);
    while (stream.avail_out > 0 && !source.ended) {
        if (stream.avail_in == 0 && !refill(source)) fail_unpacking(source, "unexpected end of data");
        const int status = inflate(&stream, Z_NO_FLUSH);
        if (status == Z_STREAM_END) {
            if (source.packing == Packing::zip) {
                source.ended = true;
            } else {
                next_member(source);
            }
        } else if (status == Z_MEM_ERROR) {
            throw std::bad_alloc();
        } else if (status != Z_OK) {
            fail_unpacking(source, stream.msg);
        }
    }
    return size - stream.avail_out;
}

// A zip's file is what its archive lists: its length and CRC-32.
void check_entry(ByteSource& source, const char* bytes, std::size_t length) {
    source.crc =
        static_cast<std::uint32_t>(crc32(source.crc, reinterpret_cast<const Bytef*>(bytes), static_cast<uInt>(length)));
    source.unpacked += length;
    const bool longer = source.unpacked > source.entry_size;
    if (!longer && !source.ended) return;
    if (longer || source.unpacked != source.entry_size) {
        fail(source, "a zip archive whose file " + source.entry +
                         " is damaged (it is not as long as the archive lists): unpack it and give its bar file");
    }
    if (source.crc != source.entry_crc) {
        fail(source, "a zip archive whose file " + source.entry +
                         " is damaged (its CRC-32 is not the one the archive lists): unpack it and give its bar file");
    }
}

}  // namespace

Packing packing_of(std::string_view first_bytes) {
    if (first_bytes.substr(0, 2) == "\x1F\x8B") return Packing::gzip;
    const std::string_view signature = first_bytes.substr(0, 4);
    if (signature == "PK\3\4" || signature == "PK\5\6") return Packing::zip;
    return Packing::plain;
}

ByteSource open_bytes(const std::filesystem::path& file, const std::string& name) {
    ByteSource source;
    source.name = name;
    std::error_code error;
    if (std::filesystem::exists(file, error) && !std::filesystem::is_regular_file(file, error)) {
        fail(source, "is not a regular file");
    }
    source.file.open(file, std::ios::binary);
    if (!source.file) fail(source, "cannot be read");
    source.from_file = true;
    char first[4] = {};
    source.file.read(first, sizeof first);
    if (source.file.bad()) fail(source, "cannot be read on (a read error)");
    source.packing = packing_of(std::string_view(first, static_cast<std::size_t>(source.file.gcount())));
    source.file.clear();
    source.file.seekg(0);
    start(source);
    return source;
}

ByteSource memory_bytes(std::string_view text, const std::string& name) {
    ByteSource source;
    source.name = name;
    source.memory = text;
    source.packing = packing_of(text);
    start(source);
    return source;
}

std::size_t read_bytes(ByteSource& source, char* out, std::size_t size) {
    if (source.packing == Packing::plain) return read_packed(source, out, size);
    if (source.ended) return 0;
    std::size_t read = 0;
    if (source.inflater) {
        read = unpack(source, out, size);
    } else {
        read = read_packed(source, out, size);
        source.ended = read < size;
    }
    if (source.packing == Packing::zip) check_entry(source, out, read);
    return read;
}

}  // namespace kmi::emu
