// Which column of a bar file holds what: found from a header row by the columns' names,
// from the names given with --columns, or, for a file without a header, from the shape of its
// first line. What the platforms, vendors and libraries that write bar files are known for
// (a zone, bars stamped at their end, fixed-point prices) is one table of shapes, in
// layout.cpp.
#ifndef KMI_HOST_BAR_FILES_LAYOUT_H
#define KMI_HOST_BAR_FILES_LAYOUT_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kmi::emu {

// When in its period a bar's time falls: at its start (the rule), or at its end.
enum class BarStamps : std::uint8_t { start, end };

// The zone a time column's name gives: a zone of the tz database, or an offset fixed all year
// (an abbreviation such as EST, or UTC+1), with what the reader says of it.
struct ColumnZone {
    std::string word;                       // as the name writes it: "UTC", "EST", "UTC+1", "Europe/Berlin"
    std::string zone;                       // a name of the tz database; empty: `fixed_offset`
    std::int32_t fixed_offset_minutes = 0;  // east of UTC
    std::string note;                       // for a fixed or ambiguous abbreviation; empty: none
};

struct Layout {
    char separator = ',';
    std::size_t field_count = 0;                        // fields of a row
    std::vector<std::string> names;                     // the columns' names as compared, for messages
    std::vector<std::string> written;                   // the columns' names as the header (or --columns) writes them
    std::uint64_t header_line = 0;                      // 0: no header row
    int time = -1;                                      // a date-time, or the date of a date and time pair
    int time_of_day = -1;                               // the time of a date and time pair
    bool time_is_end = false;                           // the time column names the bar's end (close_time, End Time)
    std::optional<ColumnZone> column_zone;              // the zone the time column's name gives
    std::vector<std::optional<ColumnZone>> name_zones;  // the zone each column's name gives in brackets
    int open = -1;
    int high = -1;
    int low = -1;
    int close = -1;
    int volume = -1;
    int tick_volume = -1;
    int up_volume = -1;
    int down_volume = -1;
    int bid_volume = -1;
    int ask_volume = -1;
    int instrument = -1;                 // the column that names the instrument
    std::string instrument_name;         // as the header writes it
    std::vector<int> other_instruments;  // further instrument columns: a pick may name their values
    // What the file's shape is known for.
    std::string shape;       // how notes name the shape; empty for none in particular
    std::string shape_zone;  // the zone such files write, or empty
    BarStamps shape_stamps = BarStamps::start;
    double fixed_point_divisor = 0;        // prices may be whole numbers in units of its inverse (1e9, 1e4); 0: none
    std::optional<std::int64_t> file_day;  // times are milliseconds after midnight of this day (a HostDateTime)
    bool headerless = false;               // read by position
    bool named_by_option = false;          // the names of --columns
};

// A column name as compared: in lower case, without <...>, its words joined by "_" (a run of
// anything but letters and digits parts words): "Timestamp (UTC)" is "timestamp_utc".
std::string canonical_name(std::string_view name);

// The fields of a row, without the empty one a separator at its end leaves.
std::size_t fields_without_trailing_empty(const std::vector<std::string_view>& fields);

// The names of a comma-separated list, as --columns gives them.
std::vector<std::string> split_names(std::string_view list);

// The layout a header row names. The time column may still be missing: a further header row
// may name it (check_layout tells). Throws InputError (FILE:LINE) for two columns of one role.
Layout layout_of_header(const std::vector<std::string_view>& header, char separator, const std::string& file,
                        std::uint64_t line);

// The layout the names of --columns give ("skip" for a column to leave out). Throws InputError
// naming the option for an unknown name.
Layout layout_of_names(const std::vector<std::string>& names, char separator);

// Whether a line's fields are data rather than names: a date or date-time (in one field or
// two), then numbers.
bool looks_like_data(const std::vector<std::string_view>& fields);

// Whether the fields hold a time where the layout has its time column (so the line is data).
bool holds_time(const Layout& layout, const std::vector<std::string_view>& fields);

// The layout of a file without a header, from the fields of its first line (data): a known
// shape read by position. Throws InputError (FILE:LINE) showing the line and naming --columns
// when no shape fits.
Layout layout_by_position(const std::vector<std::string_view>& fields, std::string_view line, char separator,
                          const std::string& file, std::uint64_t line_number);

// A row after the header that continues it (a Python data library writes "Ticker,NQ=F,..."
// and "Datetime,,,..." under its names): true when `fields` is one, with what it names
// taken into the layout.
bool absorb_header_row(Layout& layout, const std::vector<std::string_view>& fields);

// A header with one name fewer than its rows have fields, where its time column's name stands
// for a date and a time in two fields ("Date" over 2006-01-02,09:01:00): true when `fields` (the
// first row) is one, the time of day then taken as a column of its own after the date.
bool widen_for_date_and_time(Layout& layout, const std::vector<std::string_view>& fields);

// Whether a row holds no number at all (a header, not a bar).
bool holds_no_number(const std::vector<std::string_view>& fields);

// Whether a row is the header again (two files joined one after the other).
bool repeats_header(const Layout& layout, const std::vector<std::string_view>& fields);

// Throws InputError (FILE:LINE of the header) when the layout has no time or no close column.
void check_layout(const Layout& layout, const std::string& file);

// What each column became, or why it is not read, for the reading plan.
struct ColumnRead;  // kmi_host/bar_files/reading_plan.h
std::vector<ColumnRead> layout_columns(const Layout& layout);

// The column names a header or --columns may use, for messages.
inline constexpr std::string_view column_name_help =
    "datetime (or timestamp, ts_event, unix), or date and time; open, high, low, close; volume; bid_volume, "
    "ask_volume; symbol; skip for a column to leave out";

}  // namespace kmi::emu

#endif
