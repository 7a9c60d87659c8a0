#include "kmi_host/serving/host_names.h"

#include <algorithm>
#include <optional>

#include <boost/asio/ip/address.hpp>
#include <boost/asio/ip/host_name.hpp>

#include "kmi_host/text/input_error.h"
#include "kmi_host/text/names.h"

namespace kmi::emu {
namespace {

namespace asio = boost::asio;

bool is_name_character(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           c == '.';
}

// Labels of letters, digits, hyphens and underscores between single dots.
bool is_host_name(std::string_view name) {
    return !name.empty() && name.size() <= 253 && std::all_of(name.begin(), name.end(), is_name_character) &&
           name.front() != '.' && name.back() != '.' && name.find("..") == std::string_view::npos;
}

// A name in lower case without its final dot ("LocalHost." is localhost).
std::string plain_name(std::string_view name) {
    if (!name.empty() && name.back() == '.') name.remove_suffix(1);
    return lower_ascii(std::string(name));
}

struct RequestHost {
    std::string name;      // in lower case; an IP address as written
    bool address = false;  // an IP address, not a name
};

// The host of a Host header without its port: [IPV6]:PORT, IPV4:PORT or NAME:PORT, the port
// optional. None when the header names no host.
std::optional<RequestHost> host_of(std::string_view field) {
    std::string_view host = field;
    std::string_view port;
    if (!field.empty() && field.front() == '[') {
        const std::size_t close = field.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        host = field.substr(1, close - 1);
        const std::string_view rest = field.substr(close + 1);
        if (!rest.empty() && rest.front() != ':') return std::nullopt;
        if (!rest.empty()) port = rest.substr(1);
    } else if (const std::size_t colon = field.find(':'); colon != std::string_view::npos) {
        host = field.substr(0, colon);
        port = field.substr(colon + 1);
    }
    if (!std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; })) return std::nullopt;
    boost::system::error_code error;
    if (!field.empty() && field.front() == '[') {
        asio::ip::make_address_v6(std::string(host), error);
        if (error) return std::nullopt;
        return RequestHost{std::string(host), true};
    }
    asio::ip::make_address_v4(std::string(host), error);
    if (!error) return RequestHost{std::string(host), true};
    const std::string name = plain_name(host);
    if (!is_host_name(name)) return std::nullopt;
    return RequestHost{name, false};
}

}  // namespace

std::vector<std::string> machine_host_names() {
    boost::system::error_code error;
    const std::string name = plain_name(asio::ip::host_name(error));
    if (error || !is_host_name(name)) return {};
    std::vector<std::string> names{name};
    const std::string first = name.substr(0, name.find('.'));
    if (first != name) names.push_back(first);
    if (first + ".local" != name) names.push_back(first + ".local");
    return names;
}

std::string allowed_host_name(const std::string& given) {
    std::string name = plain_name(given);
    if (!is_host_name(name))
        throw InputError("--allow-host " + given +
                         ": not a host name: give a name this machine is reached by, without a port, for example "
                         "trading-pc.lan (letters, digits, hyphens and dots)");
    return name;
}

HostCheck check_host(std::string_view field, const std::vector<std::string>& names) {
    const std::optional<RequestHost> host = host_of(field);
    if (!host) return HostCheck::malformed;
    if (host->address || host->name == "localhost" || host->name.ends_with(".localhost")) return HostCheck::answered;
    return std::find(names.begin(), names.end(), host->name) != names.end() ? HostCheck::answered : HostCheck::refused;
}

std::string refused_host_text(std::string_view field) {
    const std::optional<RequestHost> host = host_of(field);
    const std::string name = host ? host->name : std::string();
    return "403 Forbidden: this server answers requests that name this machine (an IP address, localhost or its "
           "host name), not \"" +
           name + "\". To open the page under that name, start the replay with --allow-host " + name + "\n";
}

}  // namespace kmi::emu
