// The bar files of LEAN, an open-source backtesting engine, as its data folders keep them:
// minute and second bars in a file a day ("20131007_spy_minute_trade.csv", zipped as
// "20131007_trade.zip"), each row's time in milliseconds after midnight and the date in the
// file's name alone; hour and daily bars in one file, timed "YYYYMMDD HH:MM". Equity and option
// prices are whole numbers of ten-thousandths of a dollar; the folder ("equity/usa/minute/spy")
// says the kind of instrument, and with it the zone of the times.
#ifndef KMI_HOST_BAR_FILES_LEAN_FILES_H
#define KMI_HOST_BAR_FILES_LEAN_FILES_H

#include <string>
#include <string_view>
#include <vector>

#include "kmi_host/bar_files/layout.h"

namespace kmi::emu {

// Whether a first line without a header is a row of a LEAN file of a day: numbers, the first a
// whole number below 86 400 000 (milliseconds after midnight).
bool is_lean_day_row(const std::vector<std::string_view>& fields);

// The layout of a LEAN minute or second file of trade bars, its day from the name of `file`
// (or of `entry`, the file of a zip archive). Throws InputError (FILE:LINE) naming LEAN for its
// quote and other files, and for a file whose name has lost its date.
Layout lean_day_layout(const std::vector<std::string_view>& fields, char separator, const std::string& file,
                       const std::string& entry, std::uint64_t line);

// What LEAN's folders in `path` say: the zone of the times (equities and options New York's,
// futures and crypto UTC), and whether whole-number prices are ten-thousandths (not for
// futures, forex, CFDs or crypto, whose prices LEAN writes as they are).
void take_lean_folder(Layout& layout, std::string_view path);

// The day a LEAN file's name begins with ("20131007_..."), as the date-time of its midnight.
std::optional<std::int64_t> lean_file_day(std::string_view name);

}  // namespace kmi::emu

#endif
