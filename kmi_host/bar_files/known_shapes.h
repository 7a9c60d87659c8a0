// What kmi-host knows of the files traders have, as tables: the shapes that platforms, vendors
// and libraries write (by the names of their header, or by their fields read by position). A
// shape learnt is a row added here; the words a time column's name may carry its zone in are
// those of zone names (zone_names.h).
#ifndef KMI_HOST_BAR_FILES_KNOWN_SHAPES_H
#define KMI_HOST_BAR_FILES_KNOWN_SHAPES_H

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "kmi_host/bar_files/layout.h"

namespace kmi::emu {

// What a column of a bar file holds, by its name.
enum class Role : std::uint8_t {
    none,
    open,
    high,
    low,
    close,
    volume,
    tick_volume,
    up_volume,
    down_volume,
    bid_volume,
    ask_volume,
    instrument
};

// The names of each role. When two columns name one role, the lower rank wins ("Close" over
// "Price", "symbol" over "instrument_id"); two of one rank are an error.
struct RoleName {
    std::string_view name;
    Role role;
    int rank;
};

// The role a column's name (as compared: canonical_name) gives: a name of the table, else a
// name that says volume ("Volume BTC", "Volume (Contracts)") as a volume of the lowest rank. A
// name that says one side's volume ("Taker buy volume") gives none: it is no bar's volume.
std::optional<RoleName> role_of(const std::string& name);

// Whether the name is one of the table's (--columns takes those, and the names of times).
bool is_role_name(const std::string& name);

// How the reading plan names a role.
const char* role_text(Role role);

// What the files of a platform, vendor or library are known for. A shape with a header is
// known by names its header holds (all of them, in any order); a shape without one by its
// fields, read by position: the names of its columns in order, the separator it needs (or 0),
// and the form its time must have, when one.
enum class TimeShape : std::uint8_t {
    any,
    compact,  // "YYYYMMDD HHMMSS"
    lean,     // "YYYYMMDD HH:MM", as LEAN writes hour and daily bars
};

struct KnownShape {
    std::string_view what;  // how notes name it
    std::string_view names;
    bool headerless = false;
    char separator = 0;
    TimeShape time_shape = TimeShape::any;
    std::string_view zone;  // the zone its times are in, or empty: not known
    BarStamps stamps = BarStamps::start;
    double fixed_point_divisor = 0;  // whole-number prices are in units of its inverse; 0: none
};

// Every shape known, those with a header first matched in this order.
std::span<const KnownShape> known_shapes();

// The layout takes what the shape is known for: its name, zone, bar stamps and price units.
void take_shape(Layout& layout, const KnownShape& shape);

// A layout read from a header takes the first shape whose names the header holds.
void match_named_shape(Layout& layout);

}  // namespace kmi::emu

#endif
