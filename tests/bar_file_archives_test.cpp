// Bar files as data vendors ship them, gzipped or in a zip archive of one file: read from disk
// and from memory into the bars, notes and refusals of the text they unpack to (its lines
// counted in that text), the zip's file named in a note; an archive of other than one bar
// file, and packed bytes cut short or damaged, refused naming the file. The packed bytes are
// made here with zlib, the zip container by hand.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "kmi_host/bar_files/reader.h"
#include "kmi_host/bar_files/rows_bound.h"
#include "kmi_host/bar_files/text_lines.h"
#include "kmi_host/following/followed_files.h"
#include "kmi_host/replay/replay_feed.h"
#include "kmi_host/text/input_error.h"
#include "kmi_host/text/path_text.h"
#include "kmi_host_support.h"

namespace kmi::test::host_program {
namespace {

// `text` deflated by zlib, in gzip's wrapping (window bits 15 + 16) or raw (-15) as zip holds it.
std::string deflated(std::string text, int window_bits) {
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, window_bits, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&stream, static_cast<uLong>(text.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(text.data());
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

std::string gzipped(const std::string& text) { return deflated(text, MAX_WBITS + 16); }

std::string little_endian(std::uint64_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i, value >>= 8) out += static_cast<char>(value & 0xFF);
    return out;
}

struct ZipFile {
    std::string name;
    std::string text;
    int method = Z_DEFLATED;  // 0: stored
    int flags = 0;            // 1: encrypted
};

// A zip archive as zip tools write one: each file's local header and bytes, the central
// directory, its end record; in zip64's form, the sizes and offsets in zip64's extra fields
// and end record.
std::string zipped(const std::vector<ZipFile>& files, bool zip64 = false) {
    const std::uint64_t in_zip64 = 0xFFFFFFFF;
    std::string archive;
    std::string directory;
    for (const ZipFile& file : files) {
        const std::string bytes = file.method == Z_DEFLATED ? deflated(file.text, -MAX_WBITS) : file.text;
        const uLong crc =
            crc32(0, reinterpret_cast<const Bytef*>(file.text.data()), static_cast<uInt>(file.text.size()));
        const std::string sizes64 = little_endian(file.text.size(), 8) + little_endian(bytes.size(), 8);
        const std::string local_extra = zip64 ? little_endian(1, 2) + little_endian(16, 2) + sizes64 : "";
        const std::string extra =
            zip64 ? little_endian(1, 2) + little_endian(24, 2) + sizes64 + little_endian(archive.size(), 8) : "";
        // Version needed, flags, method, time, date, CRC-32, sizes, name length.
        const std::string common = little_endian(zip64 ? 45 : 20, 2) + little_endian(file.flags, 2) +
                                   little_endian(file.method, 2) + little_endian(0, 2) + little_endian(0x5AE7, 2) +
                                   little_endian(crc, 4) +
                                   (zip64 ? little_endian(in_zip64, 4) + little_endian(in_zip64, 4)
                                          : little_endian(bytes.size(), 4) + little_endian(file.text.size(), 4)) +
                                   little_endian(file.name.size(), 2);
        directory += "PK\1\2" + little_endian(0x031E, 2) + common + little_endian(extra.size(), 2) +
                     little_endian(0, 2 + 2 + 2 + 4) + little_endian(zip64 ? in_zip64 : archive.size(), 4) + file.name +
                     extra;
        archive += "PK\3\4" + common + little_endian(local_extra.size(), 2) + file.name + local_extra + bytes;
    }
    const std::uint64_t count = files.size();
    if (!zip64) {
        return archive + directory + "PK\5\6" + little_endian(0, 4) + little_endian(count, 2) +
               little_endian(count, 2) + little_endian(directory.size(), 4) + little_endian(archive.size(), 4) +
               little_endian(0, 2);
    }
    const std::string record = "PK\6\6" + little_endian(44, 8) + little_endian(0x031E, 2) + little_endian(45, 2) +
                               little_endian(0, 8) + little_endian(count, 8) + little_endian(count, 8) +
                               little_endian(directory.size(), 8) + little_endian(archive.size(), 8);
    const std::string locator =
        "PK\6\7" + little_endian(0, 4) + little_endian(archive.size() + directory.size(), 8) + little_endian(1, 4);
    return archive + directory + record + locator + "PK\5\6" + little_endian(0, 4) + little_endian(0xFFFF, 2) +
           little_endian(0xFFFF, 2) + little_endian(in_zip64, 4) + little_endian(in_zip64, 4) + little_endian(0, 2);
}

std::string utf16_little_endian(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (const char c : ascii) out += std::string{c, '\0'};
    return out;
}

// 24 days of 1-minute bars, some 1.2 MB: more than a block of the reader's.
std::string month_of_minutes() {
    std::string text = "datetime,open,high,low,close,volume\n";
    char row[64];
    for (int day = 1; day <= 24; ++day) {
        for (int minute = 0; minute < 1440; ++minute) {
            const int length = std::snprintf(row, sizeof row, "2025-07-%02d %02d:%02d:00,%d,%d.5,%d,%d.25,%d\n", day,
                                             minute / 60, minute % 60, 100 + minute % 7, 101 + minute % 7,
                                             99 + minute % 7, 100 + minute % 5, day * 1000 + minute);
            text.append(row, static_cast<std::size_t>(length));
        }
    }
    return text;
}

struct Outcome {
    std::vector<emu::Bar> bars;
    std::vector<std::string> notes;
    std::string refusal;
};

template <typename Read>
Outcome outcome_of(const Read& read) {
    try {
        emu::BarFile file = read();
        return {std::move(file.bars), std::move(file.notes), {}};
    } catch (const emu::InputError& error) {
        return {{}, {}, error.what()};
    }
}

TEST(BarFileArchives, GzipAndZipFilesReadAsTheTextTheyUnpackToOrAreRefused) {
    struct Case {
        const char* what;
        std::string bytes;    // the file
        std::string text;     // what it unpacks to, read as that plain text is; empty: refused
        std::string refusal;  // after "FILE: "
        std::string entry;    // the zip's file read
    };
    const std::string month = month_of_minutes();
    const std::string rows = month.substr(0, month.find("2025-07-01 00:05"));
    const std::string bad_row = rows.substr(0, rows.find("2025-07-01 00:02")) + "2025-07-01 00:02:00,1,2\n";
    const std::string utf16 = utf16_little_endian(
        "Date\tTime\tOpen\tHigh\tLow\tClose\r\n2025-07-07\t09:30\t1\t2\t0.5\t1.5\r\n"
        "2025-07-07\t09:31\t1\t2\t0.5\t1.5\r\n");
    std::string bad_check = gzipped(rows);
    bad_check[bad_check.size() - 8] = static_cast<char>(bad_check[bad_check.size() - 8] ^ 1);
    std::string changed_byte = zipped({{"ES.csv", rows, 0}});
    changed_byte[30 + 6 + 40] = 'X';
    const std::string damaged = ": unpack it and give its bar file";
    const std::string zip_of_rows = zipped({{"ES.csv", rows}});
    const Case cases[] = {
        {"gzip", gzipped(month), month, "", ""},
        {"gzip members one after another, the second from mid-line",
         gzipped(month.substr(0, 700001)) + gzipped(month.substr(700001)), month, "", ""},
        {"gzip of UTF-16 text", gzipped(utf16), utf16, "", ""},
        {"gzip of a bad row: its line in the text", gzipped(bad_row), bad_row, "", ""},
        {"zip of a stored file", zipped({{"ES_2024.csv", month, 0}}), month, "", "ES_2024.csv"},
        {"zip of a deflated file", zipped({{"ES.csv", month}}), month, "", "ES.csv"},
        {"zip64 archive", zipped({{"ES.csv", rows}}, true), rows, "", "ES.csv"},
        {"zip of a folder and its file, with what macOS adds",
         zipped({{"ES/", "", 0}, {"ES/ES.csv", rows}, {"__MACOSX/ES/._ES.csv", "attributes"}, {"ES/.DS_Store", "x"}}),
         rows, "", "ES/ES.csv"},
        {"zip of two files", zipped({{"a.csv", rows}, {"b.csv", rows}}), "",
         "a zip archive of 2 files (a.csv, b.csv): unpack it and give one bar file", ""},
        {"zip of five files, one named in no UTF-8",
         zipped({{"a\xE9\n.csv", ""}, {"b.csv", ""}, {"c.csv", ""}, {"d.csv", ""}, {"e.csv", ""}}), "",
         "a zip archive of 5 files (a??.csv, b.csv, c.csv, and 2 more): unpack it and give one bar file", ""},
        {"zip of nothing", zipped({}), "", "a zip archive that holds no file: give a bar file", ""},
        {"Excel workbook", zipped({{"[Content_Types].xml", "<Types/>"}, {"xl/workbook.xml", "<workbook/>"}}), "",
         "an Excel workbook, no text file: save its sheet as CSV", ""},
        {"gzip cut short", gzipped(month).substr(0, 5000), "",
         "a gzip file cut short or damaged (zlib: unexpected end of data)", ""},
        {"gzip whose check fails", bad_check, "", "a gzip file cut short or damaged (zlib: incorrect data check)", ""},
        {"gzip and other bytes after it", gzipped(rows) + "more\n", "",
         "a gzip file cut short or damaged (bytes after its end that begin no gzip member)", ""},
        {"zip cut short", zip_of_rows.substr(0, zip_of_rows.size() - 10), "",
         "a zip archive cut short or damaged (its end record, which lists its files, is missing)" + damaged, ""},
        {"zip whose file was changed", changed_byte, "",
         "a zip archive whose file ES.csv is damaged (its CRC-32 is not the one the archive lists)" + damaged, ""},
        {"zip of an encrypted file", zipped({{"ES.csv", rows, 0, 1}}), "",
         "a zip archive whose file ES.csv is encrypted: unpack it with its password and give the bar file", ""},
        {"zip of a file in bzip2", zipped({{"ES.csv", rows, 12}}), "",
         "a zip archive whose file ES.csv is compressed with bzip2, which this reader cannot unpack (it reads stored "
         "and deflated files): unpack it and give the bar file",
         ""},
    };
    TempFolder folder;
    for (const Case& c : cases) {
        const std::filesystem::path path = folder / "ES.packed";
        write_text(path, c.bytes);
        const std::string name = emu::text_of(path);
        Outcome expected = c.text.empty() ? Outcome{{}, {}, name + ": " + c.refusal}
                                          : outcome_of([&] { return emu::parse_bar_file(c.text, name); });
        // The notes begin with which file of a zip was read.
        if (!c.entry.empty()) expected.notes.insert(expected.notes.begin(), name + ": read its one file, " + c.entry);
        for (const bool from_file : {true, false}) {
            const Outcome read =
                outcome_of([&] { return from_file ? emu::read_bar_file(path) : emu::parse_bar_file(c.bytes, name); });
            const std::string where = std::string(c.what) + (from_file ? ", from the file" : ", from memory");
            EXPECT_EQ(read.refusal, expected.refusal) << where;
            EXPECT_EQ(read.bars, expected.bars) << where;
            EXPECT_EQ(read.notes, expected.notes) << where;
        }
        if (c.text.empty()) continue;
        emu::Layout layout;
        layout.field_count = 6;
        const std::uint64_t bound = emu::row_count_bound(std::string_view(c.text), layout);
        EXPECT_EQ(emu::row_count_bound(path, layout), bound) << c.what;
        EXPECT_EQ(emu::row_count_bound(std::string_view(c.bytes), layout), bound) << c.what;
        if (!expected.refusal.empty()) continue;
        // A replay tells them after its line of what the file holds.
        std::vector<std::string> notes;
        emu::load_feed(path, "ES", {}, notes);
        ASSERT_FALSE(notes.empty());
        EXPECT_EQ(std::vector<std::string>(notes.begin() + 1, notes.end()), expected.notes) << c.what;
        // Its unpacked text cannot grow as the file does.
        emu::FollowedFile followed{.path = path, .name = name, .options = {}};
        EXPECT_EQ(outcome_of([&] { return emu::read_followed_file(followed); }).refusal,
                  name + ": a compressed file cannot be followed as it grows: replay it without --follow")
            << c.what;
    }
}

}  // namespace
}  // namespace kmi::test::host_program
