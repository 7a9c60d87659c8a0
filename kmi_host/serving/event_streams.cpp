// The streams of changes to the page (GET /events): each client's queue of messages, written
// one after another, a client that falls too far behind dropped, and the changes published by
// the study's thread applied to the server's copy of the page and sent to every client.
#include <algorithm>
#include <charconv>

#include "kmi_host/serving/server_parts.h"

namespace kmi::emu {

void drop_client(PageServer& server, const std::shared_ptr<EventClient>& client) {
    if (client->closed) return;
    client->closed = true;
    client->slot.release();
    error_code ignored;
    client->stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
    client->stream.socket().close(ignored);
    std::erase(server.clients, client);
}

namespace {

void write_next(PageServer& server, const std::shared_ptr<EventClient>& client) {
    client->writing = true;
    client->stream.expires_after(server.settings.write_timeout);
    asio::async_write(client->stream, asio::buffer(*client->queue.front()),
                      [&server, client](const error_code& error, std::size_t) {
                          if (client->closed) return;
                          if (error) {
                              drop_client(server, client);
                              return;
                          }
                          client->queue.pop_front();
                          client->writing = false;
                          if (!client->queue.empty()) write_next(server, client);
                      });
}

// A client that has fallen too far behind is dropped: its browser connects again and catches up.
void send_event(PageServer& server, const std::shared_ptr<EventClient>& client,
                const std::shared_ptr<const std::string>& message) {
    if (client->closed) return;
    if (client->queue.size() >= server.settings.client_queue) {
        drop_client(server, client);
        return;
    }
    client->queue.push_back(message);
    if (!client->writing) write_next(server, client);
}

std::shared_ptr<const std::string> page_event(const PageDelta& delta, std::int64_t version) {
    return std::make_shared<const std::string>("event: page\ndata: " + page_delta_json(delta, version) + "\n\n");
}

// A client sends nothing after its request: whatever its socket reads next (its end, mostly)
// ends the stream.
void watch_client(PageServer& server, const std::shared_ptr<EventClient>& client) {
    client->stream.socket().async_read_some(
        asio::buffer(client->ignored),
        [&server, client](const error_code&, std::size_t) { drop_client(server, client); });
}

// A whole number of a query (?bars=120&version=7), when it holds one.
std::optional<std::int64_t> query_number(std::string_view query, std::string_view name) {
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (pair.size() <= name.size() || pair.substr(0, name.size()) != name || pair[name.size()] != '=') continue;
        const std::string_view digits = pair.substr(name.size() + 1);
        std::int64_t value = 0;
        const auto [end, failure] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (failure == std::errc() && end == digits.data() + digits.size() && value >= 0) return value;
        return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

void keep_streams_alive(PageServer& server) {
    server.keep_alive_timer.expires_after(server.settings.keep_alive);
    server.keep_alive_timer.async_wait([&server](const error_code& error) {
        if (error) return;
        static const auto comment = std::make_shared<const std::string>(": still here\n\n");
        for (const std::shared_ptr<EventClient>& client : std::vector(server.clients)) {
            if (client->queue.empty()) send_event(server, client, comment);
        }
        keep_streams_alive(server);
    });
}

// The changes published since the last drain, applied to the page and sent to every client as
// one: the bars from the first one any of them rewrote (a server thread held up by a request
// sends a burst of changes as one message).
void apply_pending(PageServer& server) {
    std::vector<PageDelta> deltas;
    {
        const std::lock_guard lock(server.mutex);
        deltas.swap(server.pending);
        server.drain_posted = false;
    }
    LivePage& live = server.live;
    auto from = static_cast<std::int32_t>(live.page.times.size());
    for (PageDelta& delta : deltas) {
        from = std::min({from, delta.from_bar, static_cast<std::int32_t>(live.page.times.size())});
        apply_page_delta(live, std::move(delta));
    }
    if (deltas.empty() || server.clients.empty()) return;
    const auto message = page_event(page_delta_since(live.page, live.panel_text, from), live.page.live_version);
    for (const std::shared_ptr<EventClient>& client : std::vector(server.clients)) send_event(server, client, message);
}

void start_events(PageServer& server, const std::shared_ptr<Connection>& connection, std::string_view query,
                  bool head) {
    const std::string header =
        "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nCache-Control: no-store\r\n"
        "X-Content-Type-Options: nosniff\r\nConnection: close\r\n\r\n";
    auto client = std::make_shared<EventClient>(std::move(connection->slot), std::move(connection->stream));
    if (head) {
        auto message = std::make_shared<const std::string>(header);
        client->stream.expires_after(server.settings.write_timeout);
        asio::async_write(client->stream, asio::buffer(*message), [client, message](const error_code&, std::size_t) {
            error_code ignored;
            client->stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
            client->stream.socket().close(ignored);
        });
        return;
    }
    const LivePage& live = server.live;
    const auto bars = static_cast<std::int32_t>(
        std::min<std::int64_t>(query_number(query, "bars").value_or(0), live.page.times.size()));
    const std::int64_t version = query_number(query, "version").value_or(live.page.live_version);
    client->slot.become_stream();
    server.clients.push_back(client);
    send_event(server, client, std::make_shared<const std::string>(header));
    const PageDelta catch_up = page_delta_since(live.page, live.panel_text, catch_up_from(live, bars, version));
    send_event(server, client, page_event(catch_up, live.page.live_version));
    watch_client(server, client);
}

}  // namespace kmi::emu
