#include "kmi_host/bar_files/zip_archives.h"

#include <zlib.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "kmi_host/bar_files/packed_bytes.h"

namespace kmi::emu {
namespace {

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

}  // namespace

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

}  // namespace kmi::emu
