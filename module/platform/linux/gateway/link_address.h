// The link-layer address of a host on the LAN, from the kernel's neighbour table: part
// of a gateway's identity, so another network's router at the same address is told apart.
#pragma once

#include <string>

#include "ipv4_address.h"

namespace gateway {

// "02:00:0a:00:00:01", or empty when the table holds no complete entry for `host`.
std::string LinkAddressOf(Ipv4 host, const std::string& table = "/proc/net/arp");

} // namespace gateway
