// What kmi-host knows of the files traders have, as tables: the shapes that platforms, vendors
// and libraries write (by the names of their header, or by their fields read by position), and
// the words a time column's name may carry its zone in. A shape learnt is a row added here.
#ifndef KMI_HOST_BAR_FILES_KNOWN_SHAPES_H
#define KMI_HOST_BAR_FILES_KNOWN_SHAPES_H

#include <span>
#include <string_view>

#include "kmi_host/bar_files/layout.h"

namespace kmi::emu {

// What the files of a platform, vendor or library are known for. A shape with a header is
// known by names its header holds (all of them, in any order); a shape without one by its
// fields, read by position: the names of its columns in order, the separator it needs (or 0),
// and whether its time is the compact "YYYYMMDD HHMMSS".
struct KnownShape {
    std::string_view what;  // how notes name it
    std::string_view names;
    bool headerless = false;
    char separator = 0;
    bool compact_time = false;
    std::string_view zone;  // the zone its times are in, or empty: not known
    BarStamps stamps = BarStamps::start;
    bool fixed_point_prices = false;  // integer prices in units of 1e-9
};

// Every shape known, those with a header first matched in this order.
std::span<const KnownShape> known_shapes();

// The layout takes what the shape is known for: its name, zone, bar stamps and price units.
void take_shape(Layout& layout, const KnownShape& shape);

// A layout read from a header takes the first shape whose names the header holds.
void match_named_shape(Layout& layout);

// The zone a word of a time column's name stands for ("utc", "et", "central"), or empty.
std::string_view zone_of_word(std::string_view word);

}  // namespace kmi::emu

#endif
