#include "kmi_host/bar_files/lean_files.h"

#include <algorithm>
#include <array>

#include "kmi_host/bar_files/time_forms.h"
#include "kmi_host/text/date_time_text.h"
#include "kmi_host/text/input_error.h"

namespace kmi::emu {
namespace {

constexpr std::int64_t ms_per_day = 86400000;

[[noreturn]] void fail(const std::string& file, std::uint64_t line, const std::string& message) {
    throw InputError(file + ":" + std::to_string(line) + ": " + message);
}

// The last part of a path, either slash.
std::string_view base_name(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// LEAN's folder of a kind of instrument; what its times and prices are.
struct LeanFolder {
    std::string_view name;
    std::string_view zone;  // empty: not known
    bool ten_thousandths;   // whole-number prices are ten-thousandths
};

constexpr std::array<LeanFolder, 8> lean_folders{{
    {"equity", "America/New_York", true},
    {"option", "America/New_York", true},
    {"future", "UTC", false},
    {"futureoption", "UTC", false},
    {"crypto", "UTC", false},
    {"cryptofuture", "UTC", false},
    {"forex", "", false},
    {"cfd", "", false},
}};

}  // namespace

bool is_lean_day_row(const std::vector<std::string_view>& fields) {
    const std::size_t count = fields_without_trailing_empty(fields);
    if (count < 2) return false;
    const auto end = fields.begin() + static_cast<std::ptrdiff_t>(count);
    const bool numbers = std::all_of(fields.begin() + 1, end, [](std::string_view field) {
        return !field.empty() && field.find_first_not_of("0123456789.") == std::string_view::npos;
    });
    const std::string_view first = fields[0];
    return numbers && !first.empty() && first.front() != '-' && is_whole_number(first) && first.size() <= 8 &&
           std::stoll(std::string(first)) < ms_per_day;
}

std::optional<std::int64_t> lean_file_day(std::string_view name) {
    name = base_name(name);
    if (name.size() < 9 || name[8] != '_' || !is_whole_number(name.substr(0, 8)) || name.front() == '-')
        return std::nullopt;
    const auto digits = [name](std::size_t at, std::size_t count) {
        return std::stoll(std::string(name.substr(at, count)));
    };
    const auto day = checked_host_day_of(digits(0, 4), digits(4, 2), digits(6, 2));
    if (!day) return std::nullopt;
    return *day * us_per_day;
}

Layout lean_day_layout(const std::vector<std::string_view>& fields, char separator, const std::string& file,
                       const std::string& entry, std::uint64_t line) {
    const std::size_t count = fields_without_trailing_empty(fields);
    if (count == 11) {
        fail(file, line,
             "a LEAN file of quote bars (the bid's and the ask's open, high, low, close and size, each row at "
             "milliseconds after midnight): kmi-host reads bars of trades: give LEAN's trade file of that day "
             "(..._trade.csv)");
    }
    if (count != 6) {
        fail(file, line,
             "a row of " + std::to_string(count) +
                 " numbers led by milliseconds after midnight, as LEAN writes its minute and second files, "
                 "but not LEAN's 6 fields of trade bars (time, open, high, low, close, volume): give a trade file");
    }
    std::optional<std::int64_t> day = entry.empty() ? std::nullopt : lean_file_day(entry);
    if (!day) day = lean_file_day(file);
    if (!day) {
        fail(file, line,
             "\"" + std::string(fields[0]) +
                 "\" is milliseconds after midnight, as LEAN writes its minute and second bars, whose date is only "
                 "in the file's name (20131007_spy_minute_trade.csv): keep the name LEAN gave the file, or write "
                 "each row's date and time");
    }
    Layout layout = layout_of_names({"datetime", "open", "high", "low", "close", "volume"}, separator);
    layout.named_by_option = false;
    layout.headerless = true;
    for (std::size_t i = 0; i < layout.written.size(); ++i)
        layout.written[i] = std::string("column ").append(std::to_string(i + 1));
    layout.shape = "LEAN's minute or second bars";
    layout.file_day = day;
    layout.fixed_point_divisor = 1e4;
    take_lean_folder(layout, file);
    return layout;
}

void take_lean_folder(Layout& layout, std::string_view path) {
    std::string folders;
    for (const char c : path) folders += c == '\\' ? '/' : static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    for (const LeanFolder& folder : lean_folders) {
        // Built by appending: GCC 12 at -O3 takes "literal" + std::string for overlapping copies.
        std::string named(folder.name);
        named += '/';
        std::string inside("/");
        inside += named;
        if (folders.find(inside) == std::string::npos && folders.rfind(named, 0) != 0) continue;
        layout.shape += " of its " + std::string(folder.name) + " folder";
        layout.shape_zone = folder.zone;
        if (!folder.ten_thousandths) layout.fixed_point_divisor = 0;
        return;
    }
}

}  // namespace kmi::emu
