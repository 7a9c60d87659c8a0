// The only file of the program that includes Boost (Asio and Beast): the rest compiles
// without them.
#include "kmi_host/serving/page_server.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <deque>
#include <exception>
#include <future>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include <boost/asio/bind_executor.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/error.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>

#include "kmi_host/output_files/series_files.h"
#include "kmi_host/text/input_error.h"

namespace kmi::emu {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using error_code = beast::error_code;

constexpr std::uint32_t header_limit = 8192;
constexpr std::uint64_t body_limit = 1024;
constexpr std::size_t drain_limit = 1 << 20;  // bytes read and dropped after an error response
constexpr const char* events_path = "/events";

// A connection counted against the server's limit while it lives (an HTTP connection, then the
// event stream it may become).
struct ConnectionSlot {
    std::size_t* count = nullptr;
    explicit ConnectionSlot(std::size_t& open) : count(&open) { ++open; }
    ConnectionSlot(ConnectionSlot&& other) noexcept : count(std::exchange(other.count, nullptr)) {}
    ConnectionSlot(const ConnectionSlot&) = delete;
    ConnectionSlot& operator=(const ConnectionSlot&) = delete;
    ConnectionSlot& operator=(ConnectionSlot&&) = delete;
    ~ConnectionSlot() {
        if (count != nullptr) --*count;
    }
};

struct Connection {
    Connection(std::size_t& open, tcp::socket socket) : slot(open), stream(std::move(socket)) {}
    ConnectionSlot slot;
    beast::tcp_stream stream;
    beast::flat_buffer buffer;
    std::optional<http::request_parser<http::string_body>> parser;
    std::shared_ptr<void> response;  // the response being written
    std::array<char, 4096> drained{};
    std::size_t drained_bytes = 0;
};

// A client of the event stream: the messages it has still to be sent, the first being written.
struct EventClient {
    EventClient(ConnectionSlot counted, beast::tcp_stream moved) : slot(std::move(counted)), stream(std::move(moved)) {}
    ConnectionSlot slot;
    beast::tcp_stream stream;
    std::deque<std::shared_ptr<const std::string>> queue;
    bool writing = false;
    bool closed = false;
    std::array<char, 256> ignored{};
};

}  // namespace

struct PageServer {
    PageServerSettings settings;
    std::size_t connections = 0;  // declared before the io_context: the handlers it destroys count down
    asio::io_context io{1};
    tcp::acceptor acceptor{io};
    asio::steady_timer keep_alive_timer{io};
    asio::steady_timer accept_retry{io};
    tcp::endpoint endpoint;
    std::string url;
    std::string reach;
    LivePage live;  // the server thread's own
    std::vector<std::shared_ptr<EventClient>> clients;
    std::mutex mutex;  // guards `pending` and `drain_posted`
    std::vector<PageDelta> pending;
    bool drain_posted = false;
    std::thread thread;
};

namespace {

// --- Where to listen ------------------------------------------------------------------------

std::string option_text(const PageServerSettings& settings) { return "--serve " + settings.listen; }

tcp::endpoint parse_listen(const PageServerSettings& settings) {
    const std::string& text = settings.listen;
    const std::string option = option_text(settings);
    std::string address = "127.0.0.1";
    std::string port = text;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':')
            throw InputError(option + ": write an IPv6 address as [ADDRESS]:PORT, for example [::1]:8080");
        address = text.substr(1, close - 1);
        port = text.substr(close + 2);
    } else if (const std::size_t colon = text.rfind(':'); colon != std::string::npos) {
        if (text.find(':') != colon)
            throw InputError(option + ": write an IPv6 address as [ADDRESS]:PORT, for example [::1]:8080");
        address = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    unsigned number = 0;
    const auto [end, failure] = std::from_chars(port.data(), port.data() + port.size(), number);
    if (port.empty() || failure != std::errc() || end != port.data() + port.size() || number > 65535)
        throw InputError(option + ": the port must be a number from 0 to 65535 ([ADDRESS:]PORT, for example 8080 or " +
                         "127.0.0.1:8080), not \"" + port + "\"");
    if (address == "localhost") address = "127.0.0.1";
    error_code error;
    const asio::ip::address ip = asio::ip::make_address(address, error);
    if (error)
        throw InputError(option + ": \"" + address +
                         "\" is not an IP address (give ADDRESS:PORT with an address of this machine, for example "
                         "127.0.0.1:8080, or PORT alone for this machine only)");
    return {ip, static_cast<unsigned short>(number)};
}

void listen_on(PageServer& server, const tcp::endpoint& endpoint) {
    const std::string option = option_text(server.settings);
    const std::string port = std::to_string(endpoint.port());
    error_code error;
    server.acceptor.open(endpoint.protocol(), error);
#ifndef _WIN32
    // A port left in TIME_WAIT by a server just stopped is free again; on Windows this option
    // would let two servers share a port.
    if (!error) server.acceptor.set_option(tcp::acceptor::reuse_address(true), error);
#endif
    if (!error) server.acceptor.bind(endpoint, error);
    if (!error) server.acceptor.listen(asio::socket_base::max_listen_connections, error);
    if (!error) return;
    if (error == asio::error::address_in_use)
        throw InputError(option + ": port " + port +
                         " is in use (another program, or another kmi-host, listens on it): " + "choose another port");
    if (error == boost::system::errc::address_not_available)
        throw InputError(option + ": " + endpoint.address().to_string() +
                         " is not an address of this machine: give one of its addresses, or PORT alone");
    if (error == asio::error::access_denied)
        throw InputError(option + ": not allowed to listen on port " + port +
                         " (ports below 1024 need administrator rights): choose one from 1024 up");
    throw InputError(option + ": cannot listen there: " + error.message());
}

std::string url_host(const asio::ip::address& address) {
    if (address.is_unspecified()) return address.is_v6() ? "[::1]" : "127.0.0.1";
    return address.is_v6() ? "[" + address.to_string() + "]" : address.to_string();
}

std::string reach_note(const PageServer& server) {
    const asio::ip::address address = server.endpoint.address();
    if (address.is_loopback()) return "";
    const std::string option = option_text(server.settings);
    if (address.is_unspecified())
        return option +
               ": the page is served on every address of this machine: any machine that can reach this one can open "
               "it and read the study's data (PORT alone serves this machine only)";
    return option + ": any machine that can reach this one at " + address.to_string() +
           " can open the page and read the study's data (PORT alone serves this machine only)";
}

// --- Event streams ----------------------------------------------------------------------------

void drop_client(PageServer& server, const std::shared_ptr<EventClient>& client) {
    if (client->closed) return;
    client->closed = true;
    error_code ignored;
    client->stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
    client->stream.socket().close(ignored);
    std::erase(server.clients, client);
}

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

// --- Requests -----------------------------------------------------------------------------------

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

// A server on this machine's loopback address answers only requests that name it by a
// loopback address or "localhost": a page of another site, its name pointed at 127.0.0.1,
// cannot read the study's data.
bool host_allowed(const PageServer& server, const http::request<http::string_body>& request) {
    if (!server.endpoint.address().is_loopback()) return true;
    const auto field = request.find(http::field::host);
    if (field == request.end()) return true;
    std::string host(field->value());
    if (!host.empty() && host.front() == '[') {
        host = host.substr(1, host.find(']') - 1);
    } else if (const std::size_t colon = host.rfind(':'); colon != std::string::npos) {
        host.resize(colon);
    }
    for (char& c : host) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (host == "localhost" || (host.size() > 10 && host.ends_with(".localhost"))) return true;
    error_code error;
    const asio::ip::address address = asio::ip::make_address(host, error);
    return !error && address.is_loopback();
}

void read_request(PageServer& server, const std::shared_ptr<Connection>& connection);

// After an error response: the connection's sending side closed, and what the client still
// sends read and dropped (for a while, and up to a limit), so that closing does not reset the
// connection before the client has read the response.
void close_gently(const std::shared_ptr<Connection>& connection) {
    error_code ignored;
    connection->stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
    connection->stream.expires_after(std::chrono::seconds(2));
    connection->stream.async_read_some(asio::buffer(connection->drained),
                                       [connection](const error_code& error, std::size_t bytes) {
                                           connection->drained_bytes += bytes;
                                           if (!error && connection->drained_bytes < drain_limit) {
                                               close_gently(connection);
                                               return;
                                           }
                                           error_code closing;
                                           connection->stream.socket().close(closing);
                                       });
}

template <typename Message>
void send_response(PageServer& server, const std::shared_ptr<Connection>& connection, Message message, bool close) {
    message.keep_alive(!close);
    auto owned = std::make_shared<Message>(std::move(message));
    connection->response = owned;
    connection->stream.expires_after(server.settings.write_timeout);
    http::async_write(connection->stream, *owned, [&server, connection, close](const error_code& error, std::size_t) {
        connection->response.reset();
        if (error) return;
        if (close) {
            close_gently(connection);
        } else {
            read_request(server, connection);
        }
    });
}

http::response<http::string_body> response(http::status status, unsigned version, const char* type, std::string body) {
    http::response<http::string_body> message{status, version};
    message.set(http::field::content_type, type);
    message.set(http::field::cache_control, "no-store");
    message.set("X-Content-Type-Options", "nosniff");
    message.body() = std::move(body);
    message.prepare_payload();
    return message;
}

void send_status(PageServer& server, const std::shared_ptr<Connection>& connection, http::status status,
                 unsigned version, bool close) {
    auto message = response(
        status, version, "text/plain; charset=utf-8",
        std::to_string(static_cast<unsigned>(status)) + " " + std::string(http::obsolete_reason(status)) + "\n");
    if (status == http::status::method_not_allowed) message.set(http::field::allow, "GET, HEAD");
    send_response(server, connection, std::move(message), close);
}

// A response to HEAD: the same header, no body.
void send_content(PageServer& server, const std::shared_ptr<Connection>& connection,
                  http::response<http::string_body> message, bool head, bool close) {
    if (!head) {
        send_response(server, connection, std::move(message), close);
        return;
    }
    http::response<http::empty_body> header{std::move(message.base())};
    send_response(server, connection, std::move(header), close);
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
    server.clients.push_back(client);
    send_event(server, client, std::make_shared<const std::string>(header));
    const PageDelta catch_up = page_delta_since(live.page, live.panel_text, catch_up_from(live, bars, version));
    send_event(server, client, page_event(catch_up, live.page.live_version));
    watch_client(server, client);
}

void answer(PageServer& server, const std::shared_ptr<Connection>& connection) {
    const http::request<http::string_body>& request = connection->parser->get();
    const unsigned version = request.version();
    const bool close = !request.keep_alive();
    const std::string_view target(request.target().data(), request.target().size());
    if (target.empty() || target.front() != '/' || !host_allowed(server, request)) {
        send_status(server, connection, http::status::bad_request, version, true);
        return;
    }
    const std::size_t question = target.find('?');
    const std::string_view path = target.substr(0, question);
    const std::string_view query = question == std::string_view::npos ? "" : target.substr(question + 1);
    if (path != "/" && path != events_path && path != "/panel.txt" && path != "/series.csv") {
        send_status(server, connection, http::status::not_found, version, close);
        return;
    }
    const bool head = request.method() == http::verb::head;
    if (request.method() != http::verb::get && !head) {
        send_status(server, connection, http::status::method_not_allowed, version, close);
        return;
    }
    const LivePage& live = server.live;
    if (path == events_path) {
        start_events(server, connection, query, head);
    } else if (path == "/panel.txt") {
        send_content(server, connection,
                     response(http::status::ok, version, "text/plain; charset=utf-8", live.panel_text), head, close);
    } else if (path == "/series.csv") {
        send_content(server, connection,
                     response(http::status::ok, version, "text/csv; charset=utf-8", series_csv(live.page)), head,
                     close);
    } else {
        auto page = response(http::status::ok, version, "text/html; charset=utf-8",
                             render_chart_page(live.page, server.settings.library));
        // The page's own scripts and styles are inline; it loads nothing and talks to this server only.
        page.set("Content-Security-Policy",
                 "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; connect-src 'self'; "
                 "img-src data:; base-uri 'none'; form-action 'none'; frame-ancestors 'none'");
        send_content(server, connection, std::move(page), head, close);
    }
}

void read_request(PageServer& server, const std::shared_ptr<Connection>& connection) {
    connection->parser.emplace();
    connection->parser->header_limit(header_limit);
    connection->parser->body_limit(body_limit);
    connection->stream.expires_after(server.settings.read_timeout);
    http::async_read(connection->stream, connection->buffer, *connection->parser,
                     [&server, connection](const error_code& error, std::size_t) {
                         if (!error) {
                             answer(server, connection);
                         } else if (error == http::error::header_limit || error == http::error::buffer_overflow) {
                             send_status(server, connection, http::status::request_header_fields_too_large, 11, true);
                         } else if (error == http::error::body_limit) {
                             send_status(server, connection, http::status::payload_too_large, 11, true);
                         } else if (error.category() == http::make_error_code(http::error::bad_method).category() &&
                                    error != http::error::end_of_stream && error != http::error::partial_message) {
                             send_status(server, connection, http::status::bad_request, 11, true);
                         }
                         // Otherwise the client left, or said nothing in time: the connection just ends.
                     });
}

void accept_next(PageServer& server) {
    server.acceptor.async_accept([&server](const error_code& error, tcp::socket socket) {
        if (error == asio::error::operation_aborted || !server.acceptor.is_open()) return;
        if (error) {
            // Out of file handles, mostly: try again a little later rather than spin.
            server.accept_retry.expires_after(std::chrono::milliseconds(100));
            server.accept_retry.async_wait([&server](const error_code& waited) {
                if (!waited) accept_next(server);
            });
            return;
        }
        if (server.connections < server.settings.max_connections) {
            auto connection = std::make_shared<Connection>(server.connections, std::move(socket));
            read_request(server, connection);
        } else {
            error_code ignored;
            socket.close(ignored);
        }
        accept_next(server);
    });
}

void run_server(PageServer& server) noexcept {
    while (true) {
        try {
            server.io.run();
            return;
        } catch (const std::exception&) {
            // A handler that failed (out of memory, mostly) loses its connection; the server goes on.
        }
    }
}

}  // namespace

void PageServerEnd::operator()(PageServer* server) const noexcept {
    if (server == nullptr) return;
    if (server->thread.joinable()) {
        asio::post(server->io, [server] {
            error_code ignored;
            server->acceptor.close(ignored);
            server->keep_alive_timer.cancel();
            server->accept_retry.cancel();
            for (const std::shared_ptr<EventClient>& client : std::vector(server->clients))
                drop_client(*server, client);
            server->io.stop();
        });
        server->thread.join();
    }
    delete server;
}

PageServerHandle start_page_server(const PageServerSettings& settings, LivePage initial) {
    PageServerHandle server(new PageServer);
    server->settings = settings;
    const tcp::endpoint wanted = parse_listen(settings);
    listen_on(*server, wanted);
    server->endpoint = server->acceptor.local_endpoint();
    server->url =
        "http://" + url_host(server->endpoint.address()) + ":" + std::to_string(server->endpoint.port()) + "/";
    server->reach = reach_note(*server);
    server->live = std::move(initial);
    server->live.page.live_events = events_path;
    accept_next(*server);
    keep_streams_alive(*server);
    server->thread = std::thread([raw = server.get()] { run_server(*raw); });
    return server;
}

std::string page_server_url(const PageServer& server) { return server.url; }

std::uint16_t page_server_port(const PageServer& server) { return server.endpoint.port(); }

std::string page_server_reach(const PageServer& server) { return server.reach; }

void publish_page_delta(PageServer& server, PageDelta delta) {
    bool post = false;
    {
        const std::lock_guard lock(server.mutex);
        server.pending.push_back(std::move(delta));
        post = !std::exchange(server.drain_posted, true);
    }
    if (post) asio::post(server.io, [&server] { apply_pending(server); });
}

void wait_page_server_applied(PageServer& server) {
    std::promise<void> applied;
    asio::post(server.io, [&applied] { applied.set_value(); });
    applied.get_future().wait();
}

}  // namespace kmi::emu
