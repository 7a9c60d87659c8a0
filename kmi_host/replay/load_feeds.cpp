// Reading a replay's bar files: the chart's, then the sources' side by side.
#include <algorithm>
#include <future>
#include <set>

#include "kmi_host/host_core/input_values.h"
#include "kmi_host/replay/replay_state.h"
#include "kmi_host/text/input_error.h"
#include "kmi_host/text/names.h"
#include "kmi_host/text/path_text.h"

namespace kmi::emu {
namespace {

// A followed file's first reading, as the feed of `symbol`.
ReplayFeed load_followed_feed(FollowedFile& file, const std::string& symbol, std::vector<std::string>& notes) {
    return feed_of(read_followed_file(file), file.path, symbol, notes);
}

FollowedFile followed_file(const FeedPlan& feed) {
    return FollowedFile{.path = feed.file, .name = text_of(feed.file), .options = feed.options};
}

// The slots whose symbol input names `symbol` (in any case).
std::vector<std::string> slots_of_symbol(const Host& host, const std::string& symbol) {
    std::vector<std::string> slots;
    for (int slot = 0; slot < source_slot_count; ++slot) {
        const HostInput& in = host.study.inputs.at(static_cast<std::size_t>(symbol_input(slot)));
        if (input_holds_text(in.type) && input_text(in) != nullptr &&
            lower_ascii(input_text(in)) == lower_ascii(symbol))
            slots.emplace_back(source_slot_names[static_cast<std::size_t>(slot)]);
    }
    return slots;
}

// The data folder's SYMBOL.csv for each text input naming one that no file of --source feeds.
std::vector<FeedPlan> data_folder_feeds(const Replay& replay) {
    const ReplayPlan& plan = replay.plan;
    std::vector<FeedPlan> feeds;
    if (plan.data_dir.empty()) return feeds;
    const std::string chart = lower_ascii(plan.chart.symbol);
    std::set<std::string> planned;
    for (const SourceFile& source : plan.sources) planned.insert(source.bar_file.symbol);
    for (const HostInput& in : replay.host->study.inputs) {
        if (!input_holds_text(in.type) || input_text(in) == nullptr) continue;
        const std::string symbol = input_text(in);
        if (!is_plain_file_name(symbol) || lower_ascii(symbol) == chart || planned.count(symbol) != 0) continue;
        const std::filesystem::path file = plan.data_dir / path_of(symbol + ".csv");
        if (!is_file(file)) continue;
        planned.insert(symbol);
        std::vector<std::string> slots = slots_of_symbol(*replay.host, symbol);
        BarFileOptions options = options_for(plan.readings, slots, plan.time_zone, "");
        feeds.push_back(FeedPlan{file, symbol, std::move(options), std::move(slots)});
    }
    return feeds;
}

// Each file read on a thread of its own (one by one with a reader of the caller's); the
// readers' notes kept in the files' order, and the first file in that order that cannot be
// read is the one told. Files followed are read as such, into `files`.
std::vector<ReplayFeed> load_feeds(Replay& replay, const std::vector<FeedPlan>& to_load,
                                   std::vector<FollowedFile>& files) {
    std::vector<ReplayFeed> loaded(to_load.size());
    std::vector<std::vector<std::string>> file_notes(to_load.size());
    const auto load = [&](std::size_t i) {
        loaded[i] = replay.plan.follow ? load_followed_feed(files[i], to_load[i].symbol, file_notes[i])
                                       : load_feed(to_load[i].file, to_load[i].symbol, to_load[i].options,
                                                   file_notes[i], replay.hooks.read_bars);
    };
    if (replay.hooks.read_bars) {
        for (std::size_t i = 0; i < to_load.size(); ++i) load(i);
    } else {
        std::vector<std::future<void>> reads;
        reads.reserve(to_load.size());
        for (std::size_t i = 0; i < to_load.size(); ++i) reads.push_back(std::async(std::launch::async, load, i));
        for (std::future<void>& read : reads) read.wait();
        for (std::future<void>& read : reads) read.get();
    }
    for (const std::vector<std::string>& read_notes : file_notes) {
        replay.notes.insert(replay.notes.end(), read_notes.begin(), read_notes.end());
    }
    return loaded;
}

}  // namespace

std::vector<const ReplayFeed*> all_feeds(const Replay& replay) {
    std::vector<const ReplayFeed*> all{&replay.chart_feed};
    for (const auto& [symbol, feed] : replay.feeds) all.push_back(&feed);
    return all;
}

void load_chart_feed(Replay& replay) {
    const FeedPlan& chart = replay.plan.chart;
    if (replay.plan.follow) {
        replay.chart_followed = followed_file(chart);
        replay.chart_feed = load_followed_feed(*replay.chart_followed, chart.symbol, replay.notes);
    } else {
        replay.chart_feed = load_feed(chart.file, chart.symbol, chart.options, replay.notes, replay.hooks.read_bars);
    }
    const std::vector<Bar>& bars = replay.chart_feed.bars;
    if (bars.empty()) throw InputError(text_of(chart.file) + ": has no bars");
    if (std::all_of(bars.begin(), bars.end(),
                    [](const Bar& bar) { return bar.bid_volume == 0.0f && bar.ask_volume == 0.0f; })) {
        replay.notes.push_back(text_of(chart.file) +
                               ": no bid or ask volume, so the chart's cumulative delta reads 0 (it needs bid_volume "
                               "and ask_volume columns)");
    }
    replay.slots_fed = chart.slots;
}

void load_source_feeds(Replay& replay) {
    std::vector<FeedPlan> to_load = replay.plan.source_feeds;
    for (FeedPlan& feed : data_folder_feeds(replay)) to_load.push_back(std::move(feed));
    std::vector<FollowedFile> files(to_load.size());
    for (std::size_t i = 0; i < to_load.size() && replay.plan.follow; ++i) files[i] = followed_file(to_load[i]);
    std::vector<ReplayFeed> loaded = load_feeds(replay, to_load, files);
    Host& host = *replay.host;
    for (std::size_t i = 0; i < to_load.size(); ++i) {
        const FeedPlan& source = to_load[i];
        ReplayFeed& feed = replay.feeds[source.symbol] = std::move(loaded[i]);
        if (replay.plan.follow) replay.followed[source.symbol] = std::move(files[i]);
        host.symbol_library[source.symbol] = feed_chart(0, feed, replay.plan.time_zone.name);
        replay.slots_fed.insert(replay.slots_fed.end(), source.slots.begin(), source.slots.end());
    }
}

}  // namespace kmi::emu
