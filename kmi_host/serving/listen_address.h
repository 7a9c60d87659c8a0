// Where the chart page is served (replay --serve [ADDRESS:]PORT): the address and port as the
// trader gives them, read before anything else is, and who may ask for the page there.
#ifndef KMI_HOST_SERVING_LISTEN_ADDRESS_H
#define KMI_HOST_SERVING_LISTEN_ADDRESS_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kmi::emu {

struct ListenAddress {
    std::string given;                  // as the trader wrote it, for messages
    std::string address = "127.0.0.1";  // an IP address ("localhost" is 127.0.0.1)
    std::uint16_t port = 0;             // 0 takes any free port
};

// PORT, ADDRESS:PORT or [IPV6 ADDRESS]:PORT. Throws InputError naming --serve for a port that
// is no number from 0 to 65535 or an address that is no IP address.
ListenAddress parse_listen_address(const std::string& given);

// "--serve " and the address as given: messages about it begin so.
std::string serve_option(const ListenAddress& listen);

// http://ADDRESS:PORT/ for a server listening at `address` (127.0.0.1, or [::1], for one
// listening on every address).
std::string page_url(const std::string& address, std::uint16_t port);

// Who else can open the page, for a server listening on more than this machine's loopback
// address; empty otherwise.
std::string reach_note(const ListenAddress& listen, const std::string& address);

// Whether a request naming the host `host_field` (its Host header; none: no header) may be
// answered by a server listening at `address`. A server on the loopback address answers only requests that
// name it by a loopback address or "localhost": a page of another site, its name pointed at
// 127.0.0.1, cannot read the study's data.
bool host_names_this_server(const std::string& address, std::optional<std::string_view> host_field);

}  // namespace kmi::emu

#endif
