// A bar file as a replay shows it on a chart: its bars and their length, and the chart set to
// the feed as it stands at a clock, the bar under way shown in stages of its formation.
#ifndef KMI_HOST_REPLAY_REPLAY_FEED_H
#define KMI_HOST_REPLAY_REPLAY_FEED_H

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "kmi_host/bar_files/reader.h"
#include "kmi_host/host_core/host_core.h"

namespace kmi::emu {

// One symbol's bars from a bar file and their typical length.
struct ReplayFeed {
    std::string symbol;
    std::int32_t bar_seconds = 60;
    std::vector<Bar> bars;
    std::string file;                    // as named in messages
    std::optional<TimeZone> naive_zone;  // the zone its times without one were read in, if any
    BarStamps stamps = BarStamps::start;
    // How its bar length is decided again as a followed file grows: given, or from its bars.
    std::optional<std::int32_t> given_seconds;
    bool dates_only = false;
};

// Reads a bar file as read_bar_file does.
using BarFileReader = std::function<BarFile(const std::filesystem::path&, const BarFileOptions&)>;

// Reads a feed with `reader` (empty: read_bar_file); the reader's notes for the user are
// added to `notes`, after one naming the file read of a zip archive. Throws InputError.
ReplayFeed load_feed(const std::filesystem::path& file, const std::string& symbol, const BarFileOptions& options,
                     std::vector<std::string>& notes, const BarFileReader& reader = {});

// A bar part-way through its formation: stage 0 has only its open, stage 1 adds its first
// extreme (the low when it closes at or above its open, else the high), stage 2 its
// second extreme, stage 3 is the whole bar. Volumes grow by a quarter per stage.
Bar forming_bar(const Bar& whole, int stage);

// The feed of a bar file as read: its reader's notes for the user are added to `notes`.
ReplayFeed feed_of(BarFile read, const std::filesystem::path& file, const std::string& symbol,
                   std::vector<std::string>& notes);

// A chart numbered `number` for the feed's symbol and bar length, in `time_zone`.
Chart feed_chart(std::int32_t number, const ReplayFeed& feed, const std::string& time_zone);

// The clock of a bar's `stage` (0 its open, 1 and 2 its extremes, 3 its close), a quarter of
// the bar's length apart, when that comes before the next bar starts.
std::optional<HostDateTime> stage_clock(const ReplayFeed& feed, std::size_t bar, int stage);

// The clock of a bar's last stage: its close, or the last stage before the next bar starts.
HostDateTime last_stage_clock(const ReplayFeed& feed, std::size_t bar);

// Sets the chart's bars to the feed as it stands at `clock`: every bar that has started,
// the last one formed as far as the clock has gone through it (a quarter of its length
// per stage). Only the bars that changed are touched.
void show_feed_at(Chart& chart, const ReplayFeed& feed, HostDateTime clock);

}  // namespace kmi::emu

#endif
