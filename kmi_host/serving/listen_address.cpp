#include "kmi_host/serving/listen_address.h"

#include <charconv>

#include <boost/asio/ip/address.hpp>

#include "kmi_host/serving/host_names.h"
#include "kmi_host/text/input_error.h"

namespace kmi::emu {
namespace {

namespace asio = boost::asio;

// The address, which the caller has already read as one.
asio::ip::address ip_of(const std::string& address) {
    boost::system::error_code error;
    return asio::ip::make_address(address, error);
}

}  // namespace

ListenAddress parse_listen_address(const std::string& given, const std::vector<std::string>& allowed_hosts) {
    ListenAddress listen;
    listen.given = given;
    const std::string option = serve_option(listen);
    std::string port = given;
    if (!given.empty() && given.front() == '[') {
        const std::size_t close = given.find(']');
        if (close == std::string::npos || close + 1 >= given.size() || given[close + 1] != ':')
            throw InputError(option + ": write an IPv6 address as [ADDRESS]:PORT, for example [::1]:8080");
        listen.address = given.substr(1, close - 1);
        port = given.substr(close + 2);
    } else if (const std::size_t colon = given.rfind(':'); colon != std::string::npos) {
        if (given.find(':') != colon)
            throw InputError(option + ": write an IPv6 address as [ADDRESS]:PORT, for example [::1]:8080");
        listen.address = given.substr(0, colon);
        port = given.substr(colon + 1);
    }
    unsigned number = 0;
    const auto [end, failure] = std::from_chars(port.data(), port.data() + port.size(), number);
    if (port.empty() || failure != std::errc() || end != port.data() + port.size() || number > 65535)
        throw InputError(option + ": the port must be a number from 0 to 65535 ([ADDRESS:]PORT, for example 8080 or " +
                         "127.0.0.1:8080), not \"" + port + "\"");
    listen.port = static_cast<std::uint16_t>(number);
    if (listen.address == "localhost") listen.address = "127.0.0.1";
    boost::system::error_code error;
    asio::ip::make_address(listen.address, error);
    if (error)
        throw InputError(option + ": \"" + listen.address +
                         "\" is not an IP address (give ADDRESS:PORT with an address of this machine, for example "
                         "127.0.0.1:8080, or PORT alone for this machine only)");
    for (const std::string& name : allowed_hosts) listen.allowed_hosts.push_back(allowed_host_name(name));
    return listen;
}

std::string serve_option(const ListenAddress& listen) { return "--serve " + listen.given; }

std::string page_url(const std::string& address, std::uint16_t port) {
    const asio::ip::address ip = ip_of(address);
    std::string url = "http://";
    if (ip.is_unspecified()) {
        url += ip.is_v6() ? "[::1]" : "127.0.0.1";
    } else if (ip.is_v6()) {
        url.append("[").append(ip.to_string()).append("]");
    } else {
        url += ip.to_string();
    }
    return url.append(":").append(std::to_string(port)).append("/");
}

std::string reach_note(const ListenAddress& listen, const std::string& address) {
    const asio::ip::address ip = ip_of(address);
    if (ip.is_loopback()) return "";
    const std::string option = serve_option(listen);
    if (ip.is_unspecified())
        return option +
               ": the page is served on every address of this machine: any machine that can reach this one can open "
               "it and read the study's data (PORT alone serves this machine only)";
    return option + ": any machine that can reach this one at " + ip.to_string() +
           " can open the page and read the study's data (PORT alone serves this machine only)";
}

}  // namespace kmi::emu
