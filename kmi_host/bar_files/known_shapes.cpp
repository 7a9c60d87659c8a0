#include "kmi_host/bar_files/known_shapes.h"

#include <algorithm>
#include <string>
#include <vector>

namespace kmi::emu {
namespace {

constexpr KnownShape known_shape_table[] = {
    {"the text export of a futures platform", "datetime,open,high,low,close,volume", true, ';', true, "UTC",
     BarStamps::end, false},
    {"", "date,time,open,high,low,close,volume", true, 0, false, "", BarStamps::start, false},
    {"", "date,time,open,high,low,close", true, 0, false, "", BarStamps::start, false},
    {"", "datetime,open,high,low,close,volume", true, 0, false, "", BarStamps::start, false},
    {"", "datetime,open,high,low,close", true, 0, false, "", BarStamps::start, false},
    {"an export with Up and Down volume", "date,time,up,down", false, 0, false, "", BarStamps::end, false},
    {"an export with Vol and OI", "date,time,vol,oi", false, 0, false, "", BarStamps::end, false},
    {"a market-data vendor's bars", "ts_event,rtype,publisher_id,instrument_id", false, 0, false, "", BarStamps::start,
     true},
};

// The words a time column's name may carry its zone in: "Timestamp (UTC)", "datetime_et",
// "Gmt time", "DateTimeUTC".
struct ZoneWord {
    std::string_view word;
    std::string_view zone;
};
constexpr ZoneWord zone_words[] = {
    {"utc", "UTC"},
    {"gmt", "UTC"},
    {"z", "UTC"},
    {"et", "America/New_York"},
    {"ny", "America/New_York"},
    {"nyc", "America/New_York"},
    {"eastern", "America/New_York"},
    {"ct", "America/Chicago"},
    {"central", "America/Chicago"},
};

}  // namespace

std::span<const KnownShape> known_shapes() { return known_shape_table; }

void take_shape(Layout& layout, const KnownShape& shape) {
    layout.shape = shape.what;
    layout.shape_zone = shape.zone;
    layout.shape_stamps = shape.stamps;
    layout.fixed_point_prices = shape.fixed_point_prices;
}

void match_named_shape(Layout& layout) {
    for (const KnownShape& shape : known_shapes()) {
        if (shape.headerless) continue;
        bool all = true;
        for (const std::string& name : split_names(shape.names)) {
            all = all && std::find(layout.names.begin(), layout.names.end(), name) != layout.names.end();
        }
        if (all) {
            take_shape(layout, shape);
            return;
        }
    }
}

std::string_view zone_of_word(std::string_view word) {
    for (const ZoneWord& zone : zone_words) {
        if (zone.word == word) return zone.zone;
    }
    return {};
}

}  // namespace kmi::emu
