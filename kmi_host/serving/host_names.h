// Who may ask for the page: the host a request names (its Host header) must mean this machine.
// A site whose own name its owner points at this machine (DNS rebinding) would reach the server
// from the trader's browser under that name and could read the study's data: such a request is
// refused, whatever address the server listens on.
#ifndef KMI_HOST_SERVING_HOST_NAMES_H
#define KMI_HOST_SERVING_HOST_NAMES_H

#include <string>
#include <string_view>
#include <vector>

namespace kmi::emu {

enum class HostCheck {
    answered,   // an IP address, localhost, a name under .localhost or a name allowed
    malformed,  // names no host: empty, or characters no host name has
    refused,    // a name that may not mean this machine
};

// The names this machine goes by beside IP addresses and localhost, in lower case: its host
// name, and for "trader-pc.office.lan" also "trader-pc" and "trader-pc.local".
std::vector<std::string> machine_host_names();

// The name of --allow-host NAME in lower case, without a final dot. Throws InputError naming
// the option for what is not a host name (letters, digits, hyphens, underscores and dots).
std::string allowed_host_name(const std::string& given);

// The Host header's host (a name, an IPv4 address or [an IPv6 address], with an optional port)
// checked: any IP address is answered (an address cannot be pointed elsewhere, a name can), and
// so is localhost, a name under .localhost or one of `names` (lower case), in any letter case
// and with or without a final dot.
HostCheck check_host(std::string_view field, const std::vector<std::string>& names);

// The body of the answer to a request refused for its Host: why, and the option that allows it.
std::string refused_host_text(std::string_view field);

}  // namespace kmi::emu

#endif
