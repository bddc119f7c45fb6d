// Reading an answer to an SSDP M-SEARCH: which device type answered and where its
// description lives.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ipv4_address.h"

namespace gateway {

struct SsdpAnswer {
    std::string searchTarget; // ST
    std::string location;     // LOCATION
    std::string usn;          // USN: "uuid:...::urn:...", the device's UDN first
};

// A "200 OK" answer with both headers, else nothing.
std::optional<SsdpAnswer> ParseSsdpAnswer(std::string_view datagram);

bool IsGatewayDevice(std::string_view searchTarget);

// The device's UDN ("uuid:...") at the start of a USN.
std::string UdnOf(std::string_view usn);

// The host of an "http://a.b.c.d[:port]/..." URL, when it is a literal IPv4 address.
std::optional<Ipv4> UrlHost(std::string_view url);

// The description URL of a gateway device that `sender` announced about itself. An
// answer pointing anywhere but its sender is not followed.
std::optional<std::string> GatewayLocation(std::string_view datagram, Ipv4 sender);

} // namespace gateway
