// The page server's own parts, shared by its files (page_server.cpp: listening and answering
// requests; event_streams.cpp: the streams of changes; connection_limits.cpp: how many
// connections each client may hold): its connections, its event clients and the server itself.
// Only the files of serving/ include Boost's Asio and Beast.
#ifndef KMI_HOST_SERVING_SERVER_PARTS_H
#define KMI_HOST_SERVING_SERVER_PARTS_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
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
#include "kmi_host/serving/listen_address.h"
#include "kmi_host/text/input_error.h"

#include "kmi_host/serving/page_server.h"

namespace kmi::emu {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using error_code = beast::error_code;

constexpr std::uint32_t header_limit = 8192;
constexpr std::uint64_t body_limit = 1024;
constexpr std::size_t drain_limit = 1 << 20;  // bytes read and dropped after an error response
constexpr const char* events_path = "/events";

// The connections the server holds, server-wide and per client address, for the limits of
// PageServerSettings.
struct ClientCounts {
    std::size_t requests = 0;  // connections waiting for a request or answering one
    std::size_t streams = 0;   // event streams
};
struct ConnectionTally {
    ClientCounts all;
    std::map<std::string, ClientCounts> by_address;  // by client_key
    std::uint64_t next_order = 0;
};

// A connection counted while it lives: an HTTP connection, then the event stream it may become.
struct ConnectionSlot {
    ConnectionTally* tally = nullptr;  // none: counted no longer
    std::string address;               // the client's, as client_key gives it
    bool stream = false;
    std::uint64_t order = 0;  // when it was counted (or became a stream): the lowest is the oldest
    ConnectionSlot(ConnectionTally& counts, std::string client);
    ConnectionSlot(ConnectionSlot&& other) noexcept;
    ConnectionSlot(const ConnectionSlot&) = delete;
    ConnectionSlot& operator=(const ConnectionSlot&) = delete;
    ConnectionSlot& operator=(ConnectionSlot&&) = delete;
    ~ConnectionSlot() { release(); }
    void become_stream();
    void release() noexcept;
};

struct Connection {
    Connection(ConnectionTally& tally, std::string client, tcp::socket socket)
        : slot(tally, std::move(client)), stream(std::move(socket)) {}
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

struct PageServer {
    PageServerSettings settings;
    ConnectionTally tally;  // declared before the io_context: the handlers it destroys count down
    asio::io_context io{1};
    tcp::acceptor acceptor{io};
    asio::steady_timer keep_alive_timer{io};
    asio::steady_timer accept_retry{io};
    tcp::endpoint endpoint;
    std::string address;  // the endpoint's address as text
    std::string url;
    std::string reach;
    std::vector<std::string> host_names;  // this machine's names and those allowed, beside IP addresses and localhost
    LivePage live;                        // the server thread's own
    std::vector<std::weak_ptr<Connection>> requests;  // the HTTP connections, oldest first
    std::vector<std::shared_ptr<EventClient>> clients;
    std::mutex mutex;  // guards `pending` and `drain_posted`
    std::vector<PageDelta> pending;
    bool drain_posted = false;
    std::thread thread;
};

// The limits on connections (connection_limits.cpp), on the server's thread. A newcomer that
// finds no room takes the place of the oldest connection of its own address, or, when the
// server is full, of the address that holds the most: a client holding many connections, slow
// or not, crowds out only its own.

// What a client's connections are counted under: its IPv4 address, or its IPv6 address's /64
// network (a machine takes as many addresses of its network as it likes).
std::string client_key(const asio::ip::address& address);
// Room for a new HTTP connection of `client`, made by closing another when needed; false when
// there is none to close.
bool make_room_for_request(PageServer& server, const std::string& client);
// Room for one more event stream of `client`, made by dropping another when needed.
bool make_room_for_stream(PageServer& server, const std::string& client);

// The event streams (event_streams.cpp), on the server's thread.
void drop_client(PageServer& server, const std::shared_ptr<EventClient>& client);
// Turns the connection into an event stream: the change that brings a page holding the query's
// bars at its version up to date, then every change.
void start_events(PageServer& server, const std::shared_ptr<Connection>& connection, std::string_view query, bool head);
// A comment on quiet streams every keep_alive, so that proxies keep them open.
void keep_streams_alive(PageServer& server);
// The changes published since the last drain, applied to the page and sent to every client.
void apply_pending(PageServer& server);

}  // namespace kmi::emu

#endif
