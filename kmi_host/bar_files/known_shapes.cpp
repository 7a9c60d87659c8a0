#include "kmi_host/bar_files/known_shapes.h"

#include "kmi_host/bar_files/time_columns.h"

#include <algorithm>
#include <string>
#include <vector>

namespace kmi::emu {
namespace {

constexpr RoleName role_names[] = {
    {"open", Role::open, 0},
    {"open_price", Role::open, 1},
    {"high", Role::high, 0},
    {"high_price", Role::high, 1},
    {"low", Role::low, 0},
    {"low_price", Role::low, 1},
    {"close", Role::close, 0},
    {"close_price", Role::close, 1},
    {"last", Role::close, 2},
    {"last_price", Role::close, 3},
    {"price", Role::close, 4},
    {"volume", Role::volume, 0},
    {"vol", Role::volume, 1},
    {"total_volume", Role::volume, 2},
    {"totalvolume", Role::volume, 2},
    {"size", Role::volume, 3},
    {"tickvol", Role::tick_volume, 0},
    {"tick_volume", Role::tick_volume, 0},
    {"tickvolume", Role::tick_volume, 0},
    {"up", Role::up_volume, 0},
    {"up_volume", Role::up_volume, 1},
    {"upvolume", Role::up_volume, 1},
    {"down", Role::down_volume, 0},
    {"down_volume", Role::down_volume, 1},
    {"downvolume", Role::down_volume, 1},
    {"bid_volume", Role::bid_volume, 0},
    {"bidvolume", Role::bid_volume, 0},
    {"sell_volume", Role::bid_volume, 1},
    {"ask_volume", Role::ask_volume, 0},
    {"askvolume", Role::ask_volume, 0},
    {"buy_volume", Role::ask_volume, 1},
    {"symbol", Role::instrument, 0},
    {"ticker", Role::instrument, 1},
    {"contract", Role::instrument, 2},
    {"instrument", Role::instrument, 3},
    {"instrument_id", Role::instrument, 4},
};

constexpr KnownShape known_shape_table[] = {
    {"the text export of a futures platform", "datetime,open,high,low,close,volume", true, ';', TimeShape::compact,
     "UTC", BarStamps::end, 0},
    {"LEAN's hour or daily bars", "datetime,open,high,low,close,volume", true, ',', TimeShape::lean, "",
     BarStamps::start, 1e4},
    {"", "date,time,open,high,low,close,volume", true, 0, TimeShape::any, "", BarStamps::start, 0},
    {"", "date,time,open,high,low,close", true, 0, TimeShape::any, "", BarStamps::start, 0},
    {"", "datetime,open,high,low,close,volume", true, 0, TimeShape::any, "", BarStamps::start, 0},
    {"", "datetime,open,high,low,close", true, 0, TimeShape::any, "", BarStamps::start, 0},
    {"an export with Up and Down volume", "date,time,up,down", false, 0, TimeShape::any, "", BarStamps::end, 0},
    {"an export with Vol and OI", "date,time,vol,oi", false, 0, TimeShape::any, "", BarStamps::end, 0},
    {"a market-data vendor's bars", "ts_event,rtype,publisher_id,instrument_id", false, 0, TimeShape::any, "",
     BarStamps::start, 1e9},
};

}  // namespace

std::optional<RoleName> role_of(const std::string& name) {
    const auto named = std::find_if(std::begin(role_names), std::end(role_names),
                                    [&](const RoleName& role) { return role.name == name; });
    if (named != std::end(role_names)) return *named;
    const std::vector<std::string_view> words = words_of(name);
    const auto has = [&words](std::initializer_list<std::string_view> any) {
        return std::any_of(words.begin(), words.end(), [&any](std::string_view word) {
            return std::find(any.begin(), any.end(), word) != any.end();
        });
    };
    if (has({"volume", "vol", "volumes"}) &&
        !has({"up", "down", "bid", "ask", "buy", "sell", "taker", "maker", "tick"})) {
        return RoleName{name, Role::volume, 5};
    }
    return std::nullopt;
}

bool is_role_name(const std::string& name) {
    return std::any_of(std::begin(role_names), std::end(role_names),
                       [&](const RoleName& role) { return role.name == name; });
}

const char* role_text(Role role) {
    switch (role) {
        case Role::open: return "open";
        case Role::high: return "high";
        case Role::low: return "low";
        case Role::close: return "close";
        case Role::volume: return "volume";
        case Role::tick_volume: return "tick volume (the volume, when the volume column is 0 throughout)";
        case Role::up_volume: return "up volume (added to the volume)";
        case Role::down_volume: return "down volume (added to the volume)";
        case Role::bid_volume: return "bid volume";
        case Role::ask_volume: return "ask volume";
        case Role::instrument: return "instrument";
        case Role::none: break;
    }
    return "";
}

std::span<const KnownShape> known_shapes() { return known_shape_table; }

void take_shape(Layout& layout, const KnownShape& shape) {
    layout.shape = shape.what;
    layout.shape_zone = shape.zone;
    layout.shape_stamps = shape.stamps;
    layout.fixed_point_divisor = shape.fixed_point_divisor;
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

}  // namespace kmi::emu
