// Where the chart page is served (replay --serve [ADDRESS:]PORT): the address and port as the
// trader gives them, read before anything else is, and the names the page may be asked for by
// beside this machine's own (--allow-host NAME).
#ifndef KMI_HOST_SERVING_LISTEN_ADDRESS_H
#define KMI_HOST_SERVING_LISTEN_ADDRESS_H

#include <cstdint>
#include <string>
#include <vector>

namespace kmi::emu {

struct ListenAddress {
    std::string given;                       // as the trader wrote it, for messages
    std::string address = "127.0.0.1";       // an IP address ("localhost" is 127.0.0.1)
    std::uint16_t port = 0;                  // 0 takes any free port
    std::vector<std::string> allowed_hosts;  // --allow-host: more names of this machine, in lower case
};

// PORT, ADDRESS:PORT or [IPV6 ADDRESS]:PORT, with the names of --allow-host. Throws InputError
// naming --serve for a port that is no number from 0 to 65535 or an address that is no IP
// address, naming --allow-host for what is not a host name.
ListenAddress parse_listen_address(const std::string& given, const std::vector<std::string>& allowed_hosts = {});

// "--serve " and the address as given: messages about it begin so.
std::string serve_option(const ListenAddress& listen);

// http://ADDRESS:PORT/ for a server listening at `address` (127.0.0.1, or [::1], for one
// listening on every address).
std::string page_url(const std::string& address, std::uint16_t port);

// Who else can open the page, for a server listening on more than this machine's loopback
// address; empty otherwise.
std::string reach_note(const ListenAddress& listen, const std::string& address);

}  // namespace kmi::emu

#endif
