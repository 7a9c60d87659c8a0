// The page server: listening, and answering each request on the server's thread.
#include "kmi_host/serving/page_server.h"

#include <chrono>
#include <exception>
#include <future>
#include <iterator>

#include "kmi_host/output_files/series_files.h"
#include "kmi_host/serving/host_names.h"
#include "kmi_host/serving/listen_address.h"
#include "kmi_host/serving/server_parts.h"
#include "kmi_host/text/input_error.h"

namespace kmi::emu {
namespace {

// --- Where to listen ------------------------------------------------------------------------

void listen_on(PageServer& server, const tcp::endpoint& endpoint) {
    const std::string option = serve_option(server.settings.listen);
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

// --- Requests -----------------------------------------------------------------------------------

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

void send_text(PageServer& server, const std::shared_ptr<Connection>& connection, http::status status, unsigned version,
               std::string text, bool close) {
    auto message = response(status, version, "text/plain; charset=utf-8", std::move(text));
    if (status == http::status::method_not_allowed) message.set(http::field::allow, "GET, HEAD");
    send_response(server, connection, std::move(message), close);
}

void send_status(PageServer& server, const std::shared_ptr<Connection>& connection, http::status status,
                 unsigned version, bool close) {
    send_text(server, connection, status, version,
              std::to_string(static_cast<unsigned>(status)) + " " + std::string(http::obsolete_reason(status)) + "\n",
              close);
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

// The paths served, each from the server's copy of the page.
bool is_served(std::string_view path) {
    return path == "/" || path == events_path || path == "/panel.txt" || path == "/series.csv" || path == "/alerts.csv";
}

// Whether the request names a host this server answers for; if not, it has been answered. An
// HTTP/1.1 request names one host, an HTTP/1.0 request at most one.
bool host_answered(PageServer& server, const std::shared_ptr<Connection>& connection) {
    const http::request<http::string_body>& request = connection->parser->get();
    const auto hosts = request.equal_range(http::field::host);
    const auto count = std::distance(hosts.first, hosts.second);
    HostCheck check = count > 1 || (count == 0 && request.version() >= 11) ? HostCheck::malformed : HostCheck::answered;
    std::string_view field;
    if (count == 1) {
        field = std::string_view(hosts.first->value().data(), hosts.first->value().size());
        check = check_host(field, server.host_names);
    }
    if (check == HostCheck::malformed)
        send_status(server, connection, http::status::bad_request, request.version(), true);
    if (check == HostCheck::refused)
        send_text(server, connection, http::status::forbidden, request.version(), refused_host_text(field), true);
    return check == HostCheck::answered;
}

http::response<http::string_body> content(const PageServer& server, std::string_view path, unsigned version) {
    const LivePage& live = server.live;
    if (path == "/panel.txt") return response(http::status::ok, version, "text/plain; charset=utf-8", live.panel_text);
    if (path == "/series.csv")
        return response(http::status::ok, version, "text/csv; charset=utf-8", series_csv(live.page));
    if (path == "/alerts.csv")
        return response(http::status::ok, version, "text/csv; charset=utf-8", alerts_csv(live.page.alerts));
    auto page = response(http::status::ok, version, "text/html; charset=utf-8",
                         render_chart_page(live.page, server.settings.library));
    // The page's own scripts and styles are inline; it loads nothing and talks to this server only.
    page.set("Content-Security-Policy",
             "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; connect-src 'self'; "
             "img-src data:; base-uri 'none'; form-action 'none'; frame-ancestors 'none'");
    return page;
}

void answer(PageServer& server, const std::shared_ptr<Connection>& connection) {
    const http::request<http::string_body>& request = connection->parser->get();
    const unsigned version = request.version();
    const bool close = !request.keep_alive();
    const std::string_view target(request.target().data(), request.target().size());
    if (target.empty() || target.front() != '/') {
        send_status(server, connection, http::status::bad_request, version, true);
        return;
    }
    if (!host_answered(server, connection)) return;
    const std::size_t question = target.find('?');
    const std::string_view path = target.substr(0, question);
    const std::string_view query = question == std::string_view::npos ? "" : target.substr(question + 1);
    const bool head = request.method() == http::verb::head;
    if (!is_served(path)) {
        send_status(server, connection, http::status::not_found, version, close);
    } else if (request.method() != http::verb::get && !head) {
        send_status(server, connection, http::status::method_not_allowed, version, close);
    } else if (path != events_path) {
        send_content(server, connection, content(server, path, version), head, close);
    } else if (head || make_room_for_stream(server, connection->slot.address)) {
        start_events(server, connection, query, head);
    } else {
        send_status(server, connection, http::status::service_unavailable, version, true);
    }
}

void read_request(PageServer& server, const std::shared_ptr<Connection>& connection) {
    connection->parser.emplace();
    connection->parser->header_limit(header_limit);
    connection->parser->body_limit(body_limit);
    connection->stream.expires_after(server.settings.request_timeout);
    http::async_read(connection->stream, connection->buffer, *connection->parser,
                     [&server, connection](const error_code& error, std::size_t) {
                         if (connection->slot.tally == nullptr) return;  // closed to make room for another
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
        error_code unknown;
        const tcp::endpoint peer = socket.remote_endpoint(unknown);
        const std::string client = unknown ? std::string() : client_key(peer.address());
        if (!unknown && make_room_for_request(server, client)) {
            auto connection = std::make_shared<Connection>(server.tally, client, std::move(socket));
            server.requests.push_back(connection);
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
    listen_on(*server, tcp::endpoint{asio::ip::make_address(settings.listen.address), settings.listen.port});
    server->endpoint = server->acceptor.local_endpoint();
    server->address = server->endpoint.address().to_string();
    server->url = page_url(server->address, server->endpoint.port());
    server->reach = reach_note(settings.listen, server->address);
    server->host_names = machine_host_names();
    server->host_names.insert(server->host_names.end(), settings.listen.allowed_hosts.begin(),
                              settings.listen.allowed_hosts.end());
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
