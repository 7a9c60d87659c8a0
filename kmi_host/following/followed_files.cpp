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

// The length of the first reading's whole lines: up to its last "\n" (a file without any, up
// to its last "\r").
std::size_t whole_lines_length(std::string_view text) {
    std::size_t end = text.rfind('\n');
    if (end == std::string_view::npos) end = text.rfind('\r');
    return end == std::string_view::npos ? 0 : end + 1;
}

// The length of the whole lines of appended text. A "\r" read last ends a line in a file whose
// lines end with a lone "\r"; in any other it may be the first half of a "\r\n" still being
// written, and waits for the next byte.
std::size_t appended_lines_length(std::string_view text, bool lone_cr_lines) {
    std::size_t end = text.find_last_of("\r\n");
    if (end != std::string_view::npos && text[end] == '\r' && end + 1 == text.size() && !lone_cr_lines) {
        end = end == 0 ? std::string_view::npos : text.find_last_of("\r\n", end - 1);
    }
    return end == std::string_view::npos ? 0 : end + 1;
}

// At most the last 256 bytes of a line are kept to know it again.
std::string kept_tail(std::string_view line) {
    return std::string(line.substr(line.size() - std::min<std::size_t>(line.size(), 256)));
}

void changed_at(FileNews& news, std::size_t bar) { news.changed_from = std::min(news.changed_from, bar); }

// The last line of whole lines, with its line end ("\n", "\r\n" or "\r").
std::string last_line_of(std::string_view whole) {
    std::size_t body = whole.size();
    if (body > 0 && whole[body - 1] == '\n') --body;
    if (body > 0 && whole[body - 1] == '\r') --body;
    const std::size_t before = body == 0 ? std::string_view::npos : whole.find_last_of("\r\n", body - 1);
    return kept_tail(whole.substr(before == std::string_view::npos ? 0 : before + 1));
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

// The bars of the file read again from its start into `bars`: the bars before its first are
// kept, and so are the bars after its last when every row of it agrees with what was read before.
void take_bars_read_again(std::vector<Bar> read, std::vector<Bar>& bars, FileNews& news, const std::string& said) {
    if (read.empty()) {
        news.reports.push_back(said + " (no bars yet; the " +
                               counted(static_cast<std::int64_t>(bars.size()), "bar", "bars") +
                               " read before are kept)");
        return;
    }
    const auto first = std::lower_bound(bars.begin(), bars.end(), read.front().time,
                                        [](const Bar& held, HostDateTime time) { return held.time < time; });
    std::vector<Bar> merged(bars.begin(), first);
    const std::size_t kept_before = merged.size();
    const std::size_t overlap = std::min(read.size(), bars.size() - kept_before);
    const bool agree = std::equal(read.begin(), read.begin() + static_cast<std::ptrdiff_t>(overlap), first);
    merged.insert(merged.end(), read.begin(), read.end());
    const std::size_t old = kept_before + read.size();
    std::size_t kept_after = 0;
    if (agree && old < bars.size()) {
        kept_after = bars.size() - old;
        merged.insert(merged.end(), bars.begin() + static_cast<std::ptrdiff_t>(old), bars.end());
    }
    const auto [in_merged, in_bars] = std::mismatch(merged.begin(), merged.end(), bars.begin(), bars.end());
    const auto differ = static_cast<std::size_t>(in_merged - merged.begin());
    if (in_merged != merged.end() || in_bars != bars.end()) changed_at(news, differ);
    std::string report = said + " (" + counted(static_cast<std::int64_t>(read.size()), "bar", "bars");
    if (kept_before + kept_after != 0)
        report += ", and " + counted(static_cast<std::int64_t>(kept_before + kept_after), "bar", "bars") +
                  " read before kept";
    if (!agree)
        report += "; its rows differ from those read before, from " +
                  format_date_time(bars[std::min(differ, bars.size() - 1)].time) + " on: its own are taken";
    news.reports.push_back(report + ")");
    bars = std::move(merged);
}

// The file's text from its start, as far as a first reading reads it, its identity taken.
// Throws InputError.
std::string first_text(FollowedFile& file) {
    file.identity = file_identity(file.path);
    if (!file.identity) throw InputError(file.name + ": cannot be read (no such file)");
    std::string text = read_span(file.path, 0, std::min(file.identity->size, most_read_at_once * 16));
    if (packing_of(text) != Packing::plain) {
        throw InputError(file.name + ": a compressed file cannot be followed as it grows: replay it without --follow");
    }
    if (text.size() >= 2 && ((text[0] == '\xFF' && text[1] == '\xFE') || (text[0] == '\xFE' && text[1] == '\xFF'))) {
        throw InputError(file.name +
                         ": is UTF-16 text, which cannot be followed as it grows: have the recorder write UTF-8");
    }
    return text;
}

// The first reading of the file's whole lines. Throws InputError.
BarFile first_reading(FollowedFile& file, std::string_view whole) {
    file.last_line = last_line_of(whole);
    BarFile read = parse_bar_file(whole, file.name, file.options);
    file.rows = *read.appended;
    file.offset = whole.size();
    // Lines end with "\n", or in a file without any, with "\r".
    const char line_end = whole.find('\n') != std::string_view::npos || whole.empty() ? '\n' : '\r';
    file.lines = static_cast<std::uint64_t>(std::count(whole.begin(), whole.end(), line_end));
    return read;
}

bool same_file(const FileIdentity& one, const FileIdentity& other) {
    return one.device == other.device && one.index == other.index;
}

// The file waited for in `state`, which is told once: at once, or when it may pass (a file gone
// or empty while a recorder replaces it) once it has lasted `file.passing`.
void wait_in_state(FollowedFile& file, FileNews& news, std::string state, bool may_pass) {
    const auto now = std::chrono::steady_clock::now();
    if (state != file.state) {
        file.state = std::move(state);
        file.state_since = now;
        file.state_told = false;
    }
    if (file.state_told || (may_pass && now - file.state_since < file.passing)) return;
    file.state_told = true;
    news.reports.push_back(file.state);
}

// The file read again from its start (why: `file.read_again`). Nothing of `file` changes unless
// the reading succeeds: a file empty or refused is read again at a later look, whole.
void read_from_start(FollowedFile& file, const FileIdentity& now, std::vector<Bar>& bars, FileNews& news) {
    // A file refused is read again only once it changed.
    const std::optional<FileIdentity>& refused = file.refused;
    if (refused && same_file(*refused, now) && refused->size == now.size && refused->written == now.written) return;
    const std::string said = file.name + ": " + file.read_again;
    FollowedFile fresh{.path = file.path, .name = file.name, .options = file.options};
    BarFile read;
    try {
        const std::string text = first_text(fresh);
        const std::size_t whole = whole_lines_length(text);
        if (whole == 0) {
            wait_in_state(file, news,
                          said + ", empty for now: waiting for its rows (the " +
                              counted(static_cast<std::int64_t>(bars.size()), "bar", "bars") + " read before are kept)",
                          true);
            return;
        }
        read = first_reading(fresh, std::string_view(text).substr(0, whole));
    } catch (const InputError& error) {
        // Gone since it was looked at: the next look finds it so.
        if (!fresh.identity) return;
        file.refused = *fresh.identity;
        wait_in_state(file, news,
                      said + ": read again from its start, but " + error.what() + "; the bars read before are kept",
                      false);
        return;
    }
    file.rows = std::move(fresh.rows);
    file.offset = fresh.offset;
    file.lines = fresh.lines;
    file.last_line = std::move(fresh.last_line);
    file.identity = fresh.identity;
    file.read_again.clear();
    file.refused.reset();
    file.state.clear();
    take_bars_read_again(std::move(read.bars), bars, news, said + ": read again from its start");
}

// The whole lines appended since the last look, into the bars; false when the file was written
// again from its start (it shrank, or its last line read no longer stands where it stood).
bool read_appended(FollowedFile& file, const FileIdentity& now, std::vector<Bar>& bars, FileNews& news) {
    if (now.size < file.offset) return false;
    const std::string text =
        read_span(file.path, file.offset - file.last_line.size(), std::min(now.size, file.offset + most_read_at_once));
    if (text.compare(0, file.last_line.size(), file.last_line) != 0) return false;
    const std::string_view appended = std::string_view(text).substr(file.last_line.size());
    const bool lone_cr_lines = !file.last_line.empty() && file.last_line.back() == '\r';
    // The "\n" of a "\r\n" whose "\r" ended the last line read ends no line of its own.
    std::size_t at = lone_cr_lines && !appended.empty() && appended.front() == '\n' ? 1 : 0;
    const std::size_t whole = std::max(at, appended_lines_length(appended, lone_cr_lines));
    std::optional<std::size_t> last_from;
    while (at < whole) {
        const std::size_t end = appended.find_first_of("\r\n", at);
        ++file.lines;
        take_line(file, appended.substr(at, end - at), bars, news);
        last_from = at;
        at = end + (appended[end] == '\r' && end + 1 < whole && appended[end + 1] == '\n' ? 2 : 1);
    }
    file.offset += whole;
    if (last_from) {
        file.last_line = kept_tail(appended.substr(*last_from, whole - *last_from));
    } else if (whole != 0) {
        file.last_line = kept_tail(file.last_line + std::string(appended.substr(0, whole)));
    }
    return true;
}

}  // namespace

BarFile read_followed_file(FollowedFile& file) {
    const std::string text = first_text(file);
    return first_reading(file, std::string_view(text).substr(0, whole_lines_length(text)));
}

FileNews read_file_news(FollowedFile& file, std::vector<Bar>& bars) {
    FileNews news;
    const std::optional<FileIdentity> now = file_identity(file.path);
    if (!now) {
        // Gone, as a file rotated away: its bars stay, and the file it is replaced by is read.
        file.identity.reset();
        if (file.read_again.empty() || file.read_again == "truncated") file.read_again = "replaced by a new file";
        wait_in_state(file, news, file.name + ": is gone; waiting for it to come back", true);
        if (file.state_told) file.read_again = "is back";
        return news;
    }
    if (!file.identity) {
        if (file.read_again.empty()) file.read_again = "is back";
    } else if (!same_file(*file.identity, *now)) {
        file.read_again = "replaced by a new file";
    }
    file.identity = now;
    if (file.read_again.empty()) {
        if (read_appended(file, *now, bars, news)) return news;
        file.read_again = "truncated";
    }
    read_from_start(file, *now, bars, news);
    return news;
}

}  // namespace kmi::emu
