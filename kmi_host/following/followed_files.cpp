#include "kmi_host/following/followed_files.h"

#include <algorithm>
#include <fstream>

#include "kmi_host/bar_files/bar_times.h"
#include "kmi_host/bar_files/compressed_files.h"
#include "kmi_host/text/date_time_text.h"
#include "kmi_host/text/input_error.h"
#include "kmi_host/text/names.h"

namespace kmi::emu {
namespace {

// At most this much new text is read at a look; the rest waits for the next.
constexpr std::uint64_t most_read_at_once = std::uint64_t{64} << 20;

// The file's bytes from `from` to `to` (fewer when it shrank meanwhile).
std::string read_span(const std::filesystem::path& path, std::uint64_t from, std::uint64_t to) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    in.seekg(static_cast<std::streamoff>(from));
    std::string text(static_cast<std::size_t>(to - from), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return text;
}

// The length of the text's whole lines: up to its last "\n" (a file without any, up to its
// last "\r").
std::size_t whole_lines_length(const std::string& text, bool any_line_end) {
    std::size_t end = text.rfind('\n');
    if (end == std::string::npos && any_line_end) end = text.rfind('\r');
    return end == std::string::npos ? 0 : end + 1;
}

void changed_at(FileNews& news, std::size_t bar) { news.changed_from = std::min(news.changed_from, bar); }

// The last line of whole lines, with its line end (at most a few hundred bytes are kept).
std::string last_line_of(std::string_view whole) {
    if (whole.empty()) return {};
    const std::size_t before = whole.find_last_of("\r\n", whole.size() - 2);
    const std::size_t from = before == std::string_view::npos ? 0 : before + 1;
    return std::string(whole.substr(std::max(from, whole.size() - std::min<std::size_t>(whole.size(), 256))));
}

// One appended line into the bars.
void take_line(FollowedFile& file, std::string_view line, std::vector<Bar>& bars, FileNews& news) {
    while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const AppendedRow row = read_appended_row(file.rows, line, file.lines);
    const std::string where = file.name + ":" + std::to_string(file.lines) + ": ";
    if (!row.fault.empty()) {
        news.reports.push_back(row.fault + ": not read; following goes on");
        return;
    }
    if (!row.bar) return;
    const Bar& bar = *row.bar;
    if (bars.empty() || bar.time > bars.back().time) {
        bars.push_back(bar);
        changed_at(news, bars.size() - 1);
    } else if (bar.time == bars.back().time) {
        if (!rewrites_bar(bars.back(), bar)) {
            news.reports.push_back(where + "a second bar at " + format_date_time(bar.time) +
                                   " that is not the bar before it rewritten (its open differs, or its range is "
                                   "narrower): not read; following goes on");
            return;
        }
        if (bars.back() != bar) {
            bars.back() = bar;
            changed_at(news, bars.size() - 1);
        }
    } else {
        // A row written again as it was (a recorder catching up after it restarted) is no news.
        const auto at = std::lower_bound(bars.begin(), bars.end(), bar.time,
                                         [](const Bar& held, HostDateTime time) { return held.time < time; });
        if (at != bars.end() && *at == bar) return;
        news.reports.push_back(where + "bar time " + format_date_time(bar.time) + " is before the last bar read (" +
                               format_date_time(bars.back().time) +
                               "): not read (bars must come in time order); following goes on");
        return;
    }
    file.rows.last_instant = row.instant;
}

// The file read again from its start: the bars before its first are kept, and so are the
// bars after its last when every row of it agrees with what was read before.
void read_again(FollowedFile& file, std::vector<Bar>& bars, FileNews& news, const char* what) {
    const std::string said = file.name + ": " + what + ": read again from its start";
    BarFile read;
    try {
        read = read_followed_file(file);
    } catch (const InputError& error) {
        news.reports.push_back(said + ", but " + error.what() + "; the bars read before are kept");
        return;
    }
    if (read.bars.empty()) {
        news.reports.push_back(said + " (no bars yet; the " +
                               counted(static_cast<std::int64_t>(bars.size()), "bar", "bars") +
                               " read before are kept)");
        return;
    }
    const auto first = std::lower_bound(bars.begin(), bars.end(), read.bars.front().time,
                                        [](const Bar& held, HostDateTime time) { return held.time < time; });
    std::vector<Bar> merged(bars.begin(), first);
    const std::size_t kept_before = merged.size();
    const std::size_t overlap = std::min(read.bars.size(), bars.size() - kept_before);
    const bool agree = std::equal(read.bars.begin(), read.bars.begin() + static_cast<std::ptrdiff_t>(overlap), first);
    merged.insert(merged.end(), read.bars.begin(), read.bars.end());
    const std::size_t old = kept_before + read.bars.size();
    std::size_t kept_after = 0;
    if (agree && old < bars.size()) {
        kept_after = bars.size() - old;
        merged.insert(merged.end(), bars.begin() + static_cast<std::ptrdiff_t>(old), bars.end());
    }
    const auto [in_merged, in_bars] = std::mismatch(merged.begin(), merged.end(), bars.begin(), bars.end());
    const auto differ = static_cast<std::size_t>(in_merged - merged.begin());
    if (in_merged != merged.end() || in_bars != bars.end()) changed_at(news, differ);
    std::string report = said + " (" + counted(static_cast<std::int64_t>(read.bars.size()), "bar", "bars");
    if (kept_before + kept_after != 0)
        report += ", and " + counted(static_cast<std::int64_t>(kept_before + kept_after), "bar", "bars") +
                  " read before kept";
    if (!agree)
        report += "; its rows differ from those read before, from " +
                  format_date_time(bars[std::min(differ, bars.size() - 1)].time) + " on: its own are taken";
    news.reports.push_back(report + ")");
    bars = std::move(merged);
}

}  // namespace

BarFile read_followed_file(FollowedFile& file) {
    file.identity = file_identity(file.path);
    if (!file.identity) throw InputError(file.name + ": cannot be read (no such file)");
    const std::string text = read_span(file.path, 0, std::min(file.identity->size, most_read_at_once * 16));
    if (packing_of(text) != Packing::plain) {
        throw InputError(file.name + ": a compressed file cannot be followed as it grows: replay it without --follow");
    }
    if (text.size() >= 2 && ((text[0] == '\xFF' && text[1] == '\xFE') || (text[0] == '\xFE' && text[1] == '\xFF'))) {
        throw InputError(file.name +
                         ": is UTF-16 text, which cannot be followed as it grows: have the recorder write UTF-8");
    }
    const std::string_view whole = std::string_view(text).substr(0, whole_lines_length(text, true));
    file.last_line = last_line_of(whole);
    BarFile read = parse_bar_file(whole, file.name, file.options);
    file.rows = *read.appended;
    file.offset = whole.size();
    // Lines end with "\n", or in a file without any, with "\r".
    const char line_end = whole.find('\n') != std::string_view::npos || whole.empty() ? '\n' : '\r';
    file.lines = static_cast<std::uint64_t>(std::count(whole.begin(), whole.end(), line_end));
    return read;
}

FileNews read_file_news(FollowedFile& file, std::vector<Bar>& bars) {
    FileNews news;
    const std::optional<FileIdentity> now = file_identity(file.path);
    if (!now) {
        // Gone, as a file rotated away: its bars stay, and the file it is replaced by is read.
        if (file.identity) news.reports.push_back(file.name + ": is gone; waiting for it to come back");
        file.identity.reset();
        return news;
    }
    if (!file.identity || now->device != file.identity->device || now->index != file.identity->index) {
        read_again(file, bars, news, file.identity ? "replaced by a new file" : "is back");
        return news;
    }
    // A file written again from its start is known by its size, or by its last line read
    // no longer standing where it stood.
    const std::uint64_t tail_from = file.offset - file.last_line.size();
    std::string text = now->size < file.offset
                           ? std::string()
                           : read_span(file.path, tail_from, std::min(now->size, file.offset + most_read_at_once));
    if (now->size < file.offset || text.compare(0, file.last_line.size(), file.last_line) != 0) {
        read_again(file, bars, news, "truncated");
        return news;
    }
    text.erase(0, file.last_line.size());
    file.identity = now;
    const std::size_t whole = whole_lines_length(text, false);
    std::size_t at = 0;
    while (at < whole) {
        const std::size_t end = text.find('\n', at);
        ++file.lines;
        take_line(file, std::string_view(text).substr(at, end - at), bars, news);
        at = end + 1;
    }
    file.offset += whole;
    if (whole != 0) file.last_line = last_line_of(std::string_view(text).substr(0, whole));
    return news;
}

}  // namespace kmi::emu
