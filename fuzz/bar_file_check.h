// The bar-file reader under hostile files: a fuzz input is a choice of reading options and
// the bytes of a file. The reader either refuses the file with a message that names it, or
// gives bars in strictly rising time order whose prices and volumes are finite numbers. Used
// by the libFuzzer target (bar_file_fuzzer.cpp) and by the test that replays the seed corpus
// (fuzz/bar_file_corpus/) in the ordinary builds.
//
// Input: the first byte chooses the options, the rest is the file. The byte 'a' + n chooses
// option set n (any other byte b the set (b - 'a') mod 8), so a seed stays a text file:
//   a  the defaults (chart America/New_York, the file's own zone and bar stamps)
//   b  chart UTC, times without a zone in America/Chicago
//   c  bars stamped at their end
//   d  --columns date,time,open,high,low,close,volume
//   e  only the rows of the instrument ESZ5
//   f  chart Asia/Tokyo, times without a zone in Europe/London
//   g  chart Australia/Sydney, bars stamped at their start
//   h  --columns datetime,open,high,low,close,volume; chart America/Chicago, times without a
//      zone in UTC, bars stamped at their end
#ifndef KMI_FUZZ_BAR_FILE_CHECK_H
#define KMI_FUZZ_BAR_FILE_CHECK_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace kmi::fuzz {

struct BarFileOutcome {
    bool ok = true;
    std::string failure;   // the broken promise, when not ok
    bool refused = false;  // the reader refused the file
    std::string refusal;   // its message
    std::size_t bars = 0;  // bars read, when not refused
};

// The file name the reader is given: a refusal starts with it (or with "--columns", for a
// message about that option). It has a date, as LEAN's files of a day have theirs.
inline constexpr const char* fuzzed_bar_file_name = "20250707_bars.csv";

// Reads one input's file with its options and checks the reader's promises.
BarFileOutcome check_bar_file_input(const std::uint8_t* data, std::size_t size);

}  // namespace kmi::fuzz

#endif
