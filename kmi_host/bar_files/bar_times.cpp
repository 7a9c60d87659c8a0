#include "kmi_host/bar_files/bar_times.h"

#include <algorithm>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "kmi_host/bar_files/reader.h"
#include "kmi_host/text/date_time_text.h"
#include "kmi_host/text/input_error.h"

namespace kmi::emu {
namespace {

[[noreturn]] void fail(const std::string& file, std::uint64_t line, const std::string& message) {
    throw InputError(file + ":" + std::to_string(line) + ": " + message);
}

// A wall-clock time the zone skips, as the file wrote it.
struct SkippedTime {
    std::size_t bar = 0;
    HostDateTime written = 0;
};

// Whether most rows run from the newest bar to the oldest. Times are compared as instants;
// a file whose times are all of one kind compares them as written.
bool runs_newest_first(const RowsRead& rows, ZoneOffsets& naive_zone) {
    const std::size_t count = rows.bars.size();
    const bool mixed = rows.instant_count != 0 && rows.instant_count != count;
    std::size_t ups = 0;
    std::size_t downs = 0;
    HostDateTime previous = 0;
    for (std::size_t i = 0; i < count; ++i) {
        HostDateTime time = rows.bars[i].time;
        if (mixed && !rows.instants[i]) time = instants_of(naive_zone, time).earlier;
        if (i > 0 && time > previous) ++ups;
        if (i > 0 && time < previous) ++downs;
        previous = time;
    }
    return downs > ups;
}

// Every time to its instant, in time order: a wall-clock time the zone repeats is its first
// occurrence unless that is not after the bar before it. Returns the times the zone skips; a
// repeated hour the rows leave without taking its second occurrence is counted in `settled`.
std::vector<SkippedTime> settle_instants(RowsRead& rows, ZoneOffsets& naive_zone, bool newest_first,
                                         SettledTimes& settled) {
    std::vector<SkippedTime> skipped;
    if (rows.instant_count == rows.bars.size()) return skipped;
    const std::size_t count = rows.bars.size();
    std::optional<HostDateTime> previous;
    constexpr std::size_t outside = static_cast<std::size_t>(-1);
    std::size_t in_repeat = outside;  // the first bar of a repeated hour, while in it
    HostDateTime repeat_written = 0;
    bool second_taken = false;
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t i = newest_first ? count - 1 - k : k;
        HostDateTime& time = rows.bars[i].time;
        if (!rows.instants[i]) {
            const WallTimeInstants instants = instants_of(naive_zone, time);
            if (instants.kind == WallTimeInstants::Kind::skipped) skipped.push_back(SkippedTime{i, time});
            const HostDateTime written = time;
            time = previous && instants.earlier <= *previous ? instants.later : instants.earlier;
            if (instants.kind == WallTimeInstants::Kind::repeated) {
                if (in_repeat == outside) {
                    in_repeat = i;
                    repeat_written = written;
                }
                second_taken = second_taken || time == instants.later;
            } else if (in_repeat != outside) {
                if (!second_taken && settled.repeated_once++ == 0) {
                    settled.first_repeated_once_line = rows.lines[in_repeat];
                    settled.once_written = repeat_written;
                }
                in_repeat = outside;
                second_taken = false;
            }
        }
        previous = time;
    }
    return skipped;
}

void turn_around(RowsRead& rows, std::vector<SkippedTime>& skipped) {
    std::reverse(rows.bars.begin(), rows.bars.end());
    std::reverse(rows.lines.begin(), rows.lines.end());
    std::reverse(rows.instants.begin(), rows.instants.end());
    for (SkippedTime& time : skipped) time.bar = rows.bars.size() - 1 - time.bar;
    std::reverse(skipped.begin(), skipped.end());
}

struct OrderCheck {
    const RowsRead& rows;
    ZoneOffsets& naive_zone;
    const std::vector<SkippedTime>& skipped;
    const std::string& file;

    // Of two bars in time order whose times do not rise, `bar - 1` and `bar`, the one out of
    // place: the earlier when it is also later than the bar after them and the bars rise
    // without it, else the later.
    std::size_t out_of_place(std::size_t bar) const {
        const std::vector<Bar>& bars = rows.bars;
        const bool fits_without_earlier = (bar < 2 || bars[bar - 2].time < bars[bar].time) && bar + 1 < bars.size() &&
                                          bars[bar - 1].time > bars[bar + 1].time;
        return fits_without_earlier ? bar - 1 : bar;
    }

    bool skipped_at(std::size_t bar) const {
        return std::any_of(skipped.begin(), skipped.end(), [bar](const SkippedTime& skip) { return skip.bar == bar; });
    }

    // A bar's time as the file wrote it, for messages.
    std::string shown(std::size_t bar) const {
        const HostDateTime time = rows.bars[bar].time;
        if (rows.instants[bar]) return format_date_time(time) + " UTC";
        const auto found =
            std::find_if(skipped.begin(), skipped.end(), [bar](const SkippedTime& skip) { return skip.bar == bar; });
        if (found != skipped.end()) {
            return format_date_time(found->written) + " (a time that does not exist in " + naive_zone.zone.name +
                   " that day: clocks skip that hour, so it reads an hour later)";
        }
        return format_date_time(wall_time_of(naive_zone, time));
    }
};

// Drops each bar that the row after it rewrites; the bars where the instrument changes are not
// rewrites. Returns the rows dropped and the line of the first rewriting row.
std::pair<std::size_t, std::uint64_t> drop_rewritten(RowsRead& rows, std::vector<SkippedTime>& skipped,
                                                     std::vector<std::size_t>& changes) {
    const std::size_t count = rows.bars.size();
    std::size_t kept = 0;
    std::size_t dropped = 0;
    std::uint64_t first_line = 0;
    std::vector<std::size_t> new_index(count);
    // Two times written apart that came to one instant (one the zone skips) are no rewrite.
    std::vector<bool> was_skipped(count);
    for (const SkippedTime& time : skipped) was_skipped[time.bar] = true;
    for (std::size_t i = 0; i < count; ++i) {
        const bool rewritten = i + 1 < count && rows.bars[i + 1].time == rows.bars[i].time && !was_skipped[i] &&
                               !was_skipped[i + 1] &&
                               std::find(changes.begin(), changes.end(), i + 1) == changes.end() &&
                               rewrites_bar(rows.bars[i], rows.bars[i + 1]);
        new_index[i] = kept;
        if (rewritten) {
            if (dropped++ == 0) first_line = rows.lines[i + 1];
            continue;
        }
        rows.bars[kept] = rows.bars[i];
        rows.lines[kept] = rows.lines[i];
        rows.instants[kept] = rows.instants[i];
        ++kept;
    }
    if (dropped == 0) return {0, 0};
    rows.bars.resize(kept);
    rows.lines.resize(kept);
    rows.instants.resize(kept);
    rows.instant_count = static_cast<std::size_t>(std::count(rows.instants.begin(), rows.instants.end(), true));
    // A dropped bar's index becomes that of the bar that rewrote it.
    for (SkippedTime& time : skipped) time.bar = new_index[time.bar];
    for (std::size_t& change : changes) change = new_index[change];
    return {dropped, first_line};
}

// The first bar (the earliest) may not be before 1980, nor the last after `latest`.
void check_plausible(const OrderCheck& check, HostDateTime latest) {
    const RowsRead& rows = check.rows;
    if (rows.bars.front().time < earliest_bar_time) {
        fail(check.file, rows.lines.front(),
             "bar time " + check.shown(0) +
                 " is before 1980: no bar file's market data is that old (a time column "
                 "that holds something else, or its year written short?)");
    }
    if (rows.bars.back().time > latest) {
        fail(check.file, rows.lines.back(),
             "bar time " + check.shown(rows.bars.size() - 1) + " is more than two days after this machine's clock (" +
                 format_date_time(latest - 2LL * us_per_day) +
                 " UTC): a date written in another order, or the "
                 "machine's clock is wrong");
    }
}

// Refuses bars out of time order, or two at one time, naming the line that is out of place (and
// a change of instrument where one is the cause).
void check_time_order(const RowsRead& rows, const TimeSettings& settings, const OrderCheck& check,
                      const std::vector<std::size_t>& changes, bool newest_first, const std::string& file) {
    const char* const order = newest_first ? "newest first" : "oldest first";
    const std::size_t count = rows.bars.size();
    for (std::size_t i = 1; i < count; ++i) {
        if (rows.bars[i].time > rows.bars[i - 1].time) continue;
        const std::size_t line_before = rows.lines[i - 1];
        const std::size_t line_after = rows.lines[i];
        if (!settings.instrument_column.empty() && std::find(changes.begin(), changes.end(), i) != changes.end()) {
            throw InputError(mixed_instruments_message(rows.instruments, settings.instrument_column, file,
                                                       std::max(line_before, line_after)));
        }
        if (rows.bars[i].time == rows.bars[i - 1].time) {
            // The row met later in the file is the second.
            const std::size_t second = newest_first ? i - 1 : i;
            const std::size_t first = newest_first ? i : i - 1;
            const std::string first_written = check.skipped_at(first) ? ", written " + check.shown(first) : "";
            if (settings.dates_only) {
                fail(file, rows.lines[second],
                     "a second bar on " + check.shown(second).substr(0, 10) + " (the first is on line " +
                         std::to_string(rows.lines[first]) +
                         "): the file's times are dates alone, so it holds one "
                         "bar a day; " +
                         (settings.unread_time_column.empty()
                              ? std::string("bars of a day need their times of day (a column named time, or --columns "
                                            "date,time,...)")
                              : "its column \"" + settings.unread_time_column +
                                    "\" is not read as a time of day: name the columns with --columns date,time,..."));
            }
            fail(file, rows.lines[second],
                 "a second bar at " + check.shown(second) + " (the first is on line " +
                     std::to_string(rows.lines[first]) + first_written + ")");
        }
        const std::size_t misplaced = check.out_of_place(i);
        const std::size_t neighbour = misplaced == i ? i - 1 : i;
        fail(file, rows.lines[misplaced],
             "bar time " + check.shown(misplaced) + " is out of order: line " + std::to_string(rows.lines[neighbour]) +
                 " is at " + check.shown(neighbour) + " and the file runs " + order + " (bars must be in time order)");
    }
}

}  // namespace

bool rewrites_bar(const Bar& earlier, const Bar& later) {
    return later.open == earlier.open && later.high >= earlier.high && later.low <= earlier.low;
}

SettledTimes settle_bar_times(RowsRead& rows, TimeSettings& settings, const std::string& file) {
    SettledTimes settled;
    if (rows.bars.empty()) return settled;
    settled.newest_first = runs_newest_first(rows, settings.naive_zone);
    std::vector<SkippedTime> skipped = settle_instants(rows, settings.naive_zone, settled.newest_first, settled);
    if (!skipped.empty()) {
        settled.skipped = skipped.size();
        settled.first_skipped_line = rows.lines[skipped.front().bar];
        settled.first_skipped_written = skipped.front().written;
    }
    // Where the instrument changes, in time order.
    std::vector<std::size_t> changes;
    for (std::size_t run = 1; run < rows.instruments.runs.size(); ++run) {
        const std::size_t first = rows.instruments.runs[run].first_bar;
        changes.push_back(settled.newest_first ? rows.bars.size() - first : first);
    }
    if (settled.newest_first) {
        turn_around(rows, skipped);
    } else if (!settings.dates_only) {
        // Recorders write times of day: two rows of one date are two days' bars read wrong.
        std::tie(settled.rewritten, settled.first_rewritten_line) = drop_rewritten(rows, skipped, changes);
    }

    const OrderCheck check{rows, settings.naive_zone, skipped, file};
    check_time_order(rows, settings, check, changes, settled.newest_first, file);

    check_plausible(check, settings.latest);
    settled.last_instant = rows.bars.back().time;
    if (settings.stamps == BarStamps::end) {
        settled.moved_back_seconds = settings.bar_seconds.value_or(typical_bar_seconds(rows.bars));
        const HostDateTime length = static_cast<HostDateTime>(settled.moved_back_seconds) * us_per_second;
        for (Bar& bar : rows.bars) bar.time -= length;
    }

    for (std::size_t i = 0; i < rows.bars.size(); ++i) {
        const HostDateTime instant = rows.bars[i].time;
        rows.bars[i].time = wall_time_of(settings.chart_zone, instant);
        if (i > 0 && rows.bars[i].time <= rows.bars[i - 1].time) {
            const std::string written = rows.instants[i] ? format_date_time(instant) + " UTC"
                                                         : format_date_time(wall_time_of(settings.naive_zone, instant));
            fail(file, rows.lines[i],
                 written + " is " + format_date_time(rows.bars[i].time) + " in " + settings.chart_zone.zone.name +
                     ", not after the bar before it (" + format_date_time(rows.bars[i - 1].time) +
                     "): the chart's clock repeats that hour when daylight saving time ends; replay with a chart "
                     "time zone without the change (--time-zone UTC) to keep these bars");
        }
    }
    return settled;
}

}  // namespace kmi::emu
