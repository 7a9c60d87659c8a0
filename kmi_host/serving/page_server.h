// The chart page served over HTTP while a replay runs (replay --serve): the page rendered from
// the data so far, a stream of server-sent events carrying each change to it, panel.txt,
// series.csv and alerts.csv as they stand. The server runs on a thread of its own and keeps its
// own copy of the page's data; the replay hands it changes without ever waiting on the network.
//
//   GET /                 the chart page, live: its script follows /events
//   GET /events?bars=N&version=V   text/event-stream: first the change that brings a page
//                         holding N bars at version V up to date, then every change
//   GET /panel.txt        panel.txt as it stands
//   GET /series.csv       series.csv of the bars so far
//   GET /alerts.csv       alerts.csv of the alerts so far (those of closed bars)
//
// HEAD is answered too; any other method 405, any other path 404, a malformed request 400 (an
// HTTP/1.1 request without Host, or any with two, among them), a Host that may not mean this
// machine 403 (host_names.h), a request line or headers over 8 KB 431, a body over 1 KB 413.
// A slow request is dropped at its deadline, and a client address holds a share of the
// connections only (PageServerSettings; connection_limits.cpp).
#ifndef KMI_HOST_SERVING_PAGE_SERVER_H
#define KMI_HOST_SERVING_PAGE_SERVER_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "kmi_host/output_files/chart_page.h"
#include "kmi_host/serving/listen_address.h"
#include "kmi_host/serving/page_delta.h"

namespace kmi::emu {

struct PageServerSettings {
    ListenAddress listen;  // port 0 takes any free port
    std::optional<ChartLibrary> library;
    std::size_t client_queue = 256;                  // changes an event stream may fall behind by
    std::chrono::milliseconds write_timeout{10000};  // a write to a client that takes longer drops it
    // A request (its line, headers and body) that does not arrive whole within this, in all,
    // from when the connection waits for it, is dropped: a byte now and then does not hold it.
    std::chrono::milliseconds request_timeout{5000};
    std::chrono::milliseconds keep_alive{15000};  // a comment sent on quiet event streams
    // Connections waiting for a request or answering one, and event streams, at a time: a flood
    // of the one leaves the other's room. A client address (an IPv6 address's /64 network) holds
    // at most its share of each; a newcomer beyond that takes the place of its own oldest, and
    // one that finds the server full that of the oldest of the address holding the most.
    std::size_t max_requests = 32;
    std::size_t max_streams = 32;
    std::size_t requests_per_address = 6;  // a browser opens up to 6 connections to a server
    std::size_t streams_per_address = 16;  // one for each page open
};

struct PageServer;
struct PageServerEnd {
    void operator()(PageServer* server) const noexcept;  // closes every connection, joins its thread
};
using PageServerHandle = std::unique_ptr<PageServer, PageServerEnd>;

// Listens on the address and serves `initial` (its live fields set by the server) from a thread
// of its own. Throws InputError naming --serve when the address is not one or its port cannot
// be listened on (in use, or not this machine's).
PageServerHandle start_page_server(const PageServerSettings& settings, LivePage initial);

// The page's address, http://ADDRESS:PORT/ (127.0.0.1 for a server listening on every address).
std::string page_server_url(const PageServer& server);
std::uint16_t page_server_port(const PageServer& server);

// Who else can open the page, for a server that listens on more than this machine's loopback
// address; empty otherwise.
std::string page_server_reach(const PageServer& server);

// Hands a change to the server: queued under a short lock, applied and sent out on the server's
// thread. Never waits on the network.
void publish_page_delta(PageServer& server, PageDelta delta);

// Waits until the server has applied every change published before the call.
void wait_page_server_applied(PageServer& server);

}  // namespace kmi::emu

#endif
