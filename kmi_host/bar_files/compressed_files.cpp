#include "kmi_host/bar_files/compressed_files.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "kmi_host/text/input_error.h"

namespace kmi::emu {

void InflateEnd::operator()(z_stream_s* stream) const {
    inflateEnd(stream);
    delete stream;
}

namespace {

// Packed bytes are read this many at a time.
constexpr std::size_t packed_block = 1 << 18;
// A central directory longer than this (some 600 000 files) is not read.
constexpr std::uint64_t longest_directory = 64 << 20;
// The zip records' fixed lengths, and the most an archive's comment adds to its end record.
constexpr std::size_t end_record = 22;
constexpr std::size_t longest_comment = 0xFFFF;
constexpr std::size_t zip64_locator = 20;
constexpr std::size_t zip64_end_record = 56;
constexpr std::size_t central_header = 46;
constexpr std::size_t local_header = 30;
// A 16- or 32-bit field of all ones: the value is in a zip64 record or field.
constexpr std::uint64_t in_zip64_16 = 0xFFFF;
constexpr std::uint64_t in_zip64_32 = 0xFFFFFFFF;
// The files of an archive named in a refusal, at most.
constexpr std::size_t names_told = 3;

[[noreturn]] void fail(const ByteSource& source, const std::string& message) {
    throw InputError(source.name + ": " + message);
}

[[noreturn]] void fail_damaged_archive(const ByteSource& source, const std::string& what) {
    fail(source, "a zip archive cut short or damaged (" + what + "): unpack it and give its bar file");
}

std::uint64_t little_endian(std::string_view bytes, std::size_t at, std::size_t length) {
    std::uint64_t value = 0;
    for (std::size_t i = length; i-- > 0;) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

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

// --- zip archives ------------------------------------------------------------------------

struct ZipEntry {
    std::string name;  // as told: control bytes, and bytes of no UTF-8, as "?"
    std::uint64_t flags = 0;
    std::uint64_t method = 0;
    std::uint32_t crc = 0;
    std::uint64_t packed_size = 0;
    std::uint64_t size = 0;
    std::uint64_t offset = 0;  // of its local header
    bool sizes_known = true;   // false: its zip64 field is missing
};

// The length of a UTF-8 sequence its lead byte begins, and the least code point it may
// carry (a shorter sequence would carry it otherwise); 0 for a byte no sequence begins with.
std::size_t utf8_length(unsigned char lead, std::uint32_t& least) {
    if (lead < 0x80) return 1;
    least = lead >= 0xF0 ? 0x10000 : lead >= 0xE0 ? 0x800 : 0x80;
    return lead >= 0xC2 && lead <= 0xDF ? 2 : (lead & 0xF0) == 0xE0 ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
}

bool valid_utf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        std::uint32_t least = 0;
        const std::size_t length = utf8_length(lead, least);
        if (length == 0 || at + length > text.size()) return false;
        std::uint32_t code_point = length == 1 ? lead : lead & (0x7Fu >> length);
        for (std::size_t i = 1; i < length; ++i) {
            const auto next = static_cast<unsigned char>(text[at + i]);
            if ((next & 0xC0) != 0x80) return false;
            code_point = code_point << 6 | (next & 0x3Fu);
        }
        if (code_point < least || code_point > 0x10FFFF || (code_point >= 0xD800 && code_point < 0xE000)) return false;
        at += length;
    }
    return true;
}

std::string told_name(std::string_view name) {
    const bool utf8 = valid_utf8(name);
    std::string told;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        told += byte < 0x20 || byte == 0x7F || (byte >= 0x80 && !utf8) ? '?' : c;
    }
    return told;
}

// Folders, and what macOS puts into an archive it makes: its __MACOSX/ folder, the "._" files
// of attributes, .DS_Store.
bool is_no_file(std::string_view name) {
    if (name.empty() || name.back() == '/' || name.back() == '\\' || name.substr(0, 9) == "__MACOSX/") return true;
    const std::size_t slash = name.find_last_of("/\\");
    const std::string_view base = slash == std::string_view::npos ? name : name.substr(slash + 1);
    return base.substr(0, 2) == "._" || base == ".DS_Store";
}

// The 64-bit values of a zip64 extra field (id 1), for those the header gives as all ones.
bool take_zip64_field(std::string_view extra, ZipEntry& entry, bool size, bool packed_size, bool offset) {
    for (std::size_t at = 0; at + 4 <= extra.size();) {
        const std::size_t length = u16(extra, at + 2);
        if (at + 4 + length > extra.size()) return false;
        if (u16(extra, at) == 1) {
            const std::string_view field = extra.substr(at + 4, length);
            std::size_t next = 0;
            const auto take = [&field, &next](bool wanted, std::uint64_t& value) {
                if (!wanted) return true;
                if (next + 8 > field.size()) return false;
                value = u64(field, next);
                next += 8;
                return true;
            };
            return take(size, entry.size) && take(packed_size, entry.packed_size) && take(offset, entry.offset);
        }
        at += 4 + length;
    }
    return false;
}

// A central directory header, its name and extra field in `header` after its fixed part.
ZipEntry entry_of(std::string_view header, std::string_view name, std::string_view extra) {
    ZipEntry entry;
    entry.name = told_name(name);
    entry.flags = u16(header, 8);
    entry.method = u16(header, 10);
    entry.crc = static_cast<std::uint32_t>(u32(header, 16));
    entry.packed_size = u32(header, 20);
    entry.size = u32(header, 24);
    entry.offset = u32(header, 42);
    const bool size = entry.size == in_zip64_32, packed = entry.packed_size == in_zip64_32,
               offset = entry.offset == in_zip64_32;
    if (size || packed || offset) entry.sizes_known = take_zip64_field(extra, entry, size, packed, offset);
    return entry;
}

std::string method_name(std::uint64_t method) {
    switch (method) {
        case 9: return "Deflate64";
        case 12: return "bzip2";
        case 14: return "LZMA";
        case 93: return "Zstandard";
        case 95: return "XZ";
        case 98: return "PPMd";
        default: return "compression method " + std::to_string(method);
    }
}

// Where the central directory is and how many entries it lists, from the end record (or
// zip64's, which its locator names, just before it).
struct Directory {
    std::uint64_t entries = 0;
    std::uint64_t size = 0;
    std::uint64_t offset = 0;
};

Directory find_directory(ByteSource& source, std::uint64_t archive_length) {
    const auto tail_length =
        static_cast<std::size_t>(std::min<std::uint64_t>(archive_length, end_record + longest_comment + zip64_locator));
    const std::string tail = bytes_at(source, archive_length - tail_length, tail_length);
    const std::size_t at =
        tail.size() < end_record ? std::string::npos : tail.rfind("PK\5\6", tail.size() - end_record);
    if (at == std::string::npos) fail_damaged_archive(source, "its end record, which lists its files, is missing");
    const std::string_view end = std::string_view(tail).substr(at);
    Directory directory{u16(end, 10), u32(end, 12), u32(end, 16)};
    const std::uint64_t disk = u16(end, 4), directory_disk = u16(end, 6);
    if (directory.entries != in_zip64_16 && directory.size != in_zip64_32 && directory.offset != in_zip64_32 &&
        disk != in_zip64_16) {
        if (disk != 0 || directory_disk != 0) {
            fail(source,
                 "a zip archive split into several files (a spanned archive): join it, unpack it and give "
                 "its bar file");
        }
        return directory;
    }
    if (at < zip64_locator || tail.compare(at - zip64_locator, 4, "PK\6\7") != 0) {
        fail_damaged_archive(source, "its zip64 end record is missing");
    }
    const std::string record = bytes_at(source, u64(tail, at - zip64_locator + 8), zip64_end_record);
    if (record.size() < zip64_end_record || record.compare(0, 4, "PK\6\6") != 0) {
        fail_damaged_archive(source, "its zip64 end record is missing");
    }
    if (u32(record, 16) != 0 || u32(record, 20) != 0) {
        fail(source,
             "a zip archive split into several files (a spanned archive): join it, unpack it and give its "
             "bar file");
    }
    return Directory{u64(record, 32), u64(record, 40), u64(record, 48)};
}

// Reads the central directory; when it lists exactly one file, the source is made to read it.
void open_zip(ByteSource& source) {
    const std::uint64_t archive_length = packed_length(source);
    const Directory directory = find_directory(source, archive_length);
    if (directory.offset > archive_length || directory.size > archive_length - directory.offset) {
        fail_damaged_archive(source, "its list of files lies past its end");
    }
    if (directory.size > longest_directory) {
        fail(source, "a zip archive of too many files to list: unpack it and give one bar file");
    }
    const std::string listed = bytes_at(source, directory.offset, static_cast<std::size_t>(directory.size));
    std::vector<ZipEntry> files;  // the first few
    std::uint64_t file_count = 0;
    bool content_types = false, workbook = false;
    std::size_t at = 0;
    for (std::uint64_t i = 0; i < directory.entries; ++i) {
        if (at + central_header > listed.size() || listed.compare(at, 4, "PK\1\2") != 0) {
            fail_damaged_archive(source, "its list of files is broken");
        }
        const std::string_view header = std::string_view(listed).substr(at);
        const std::size_t name_length = u16(header, 28), extra_length = u16(header, 30),
                          comment_length = u16(header, 32);
        if (central_header + name_length + extra_length + comment_length > header.size()) {
            fail_damaged_archive(source, "its list of files is broken");
        }
        const std::string_view name = header.substr(central_header, name_length);
        at += central_header + name_length + extra_length + comment_length;
        content_types = content_types || name == "[Content_Types].xml";
        workbook = workbook || name.substr(0, 3) == "xl/";
        if (is_no_file(name)) continue;
        ++file_count;
        if (files.size() < names_told) {
            files.push_back(entry_of(header, name, header.substr(central_header + name_length, extra_length)));
        }
    }
    if (content_types && workbook) fail(source, "an Excel workbook, no text file: save its sheet as CSV");
    if (file_count == 0) fail(source, "a zip archive that holds no file: give a bar file");
    if (file_count > 1) {
        std::string names;
        for (const ZipEntry& file : files) names += (names.empty() ? "" : ", ") + file.name;
        if (file_count > files.size()) names += ", and " + std::to_string(file_count - files.size()) + " more";
        fail(source, "a zip archive of " + std::to_string(file_count) + " files (" + names +
                         "): unpack it and give one bar file");
    }
    const ZipEntry& entry = files.front();
    const std::string whose = "a zip archive whose file " + entry.name;
    if ((entry.flags & 1) != 0 || entry.method == 99) {
        fail(source, whose + " is encrypted: unpack it with its password and give the bar file");
    }
    if (entry.method != 0 && entry.method != Z_DEFLATED) {
        fail(source, whose + " is compressed with " + method_name(entry.method) +
                         ", which this reader cannot unpack (it reads stored and deflated files): unpack it and "
                         "give the bar file");
    }
    if (!entry.sizes_known) fail_damaged_archive(source, "the zip64 sizes of its file " + entry.name + " are missing");
    const std::string local = bytes_at(source, entry.offset, local_header);
    if (local.size() < local_header || local.compare(0, 4, "PK\3\4") != 0) {
        fail_damaged_archive(source, "the local header of its file " + entry.name + " is missing");
    }
    const std::uint64_t data_at = entry.offset + local_header + u16(local, 26) + u16(local, 28);
    if (data_at > archive_length || entry.packed_size > archive_length - data_at ||
        (entry.method == 0 && entry.packed_size != entry.size)) {
        fail_damaged_archive(source, "its file " + entry.name + " is cut short");
    }
    source.entry = entry.name;
    source.entry_crc = entry.crc;
    source.entry_size = entry.size;
    source.packed_left = entry.packed_size;
    if (source.from_file) {
        source.file.clear();
        source.file.seekg(static_cast<std::streamoff>(data_at));
    } else {
        source.memory_at = static_cast<std::size_t>(data_at);
    }
    if (entry.method == Z_DEFLATED) start_inflater(source, -MAX_WBITS);
}

// --- unpacking ---------------------------------------------------------------------------

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
