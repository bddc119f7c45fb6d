// The link-layer address of a host on the LAN, from the system's neighbour table: part
// of a gateway's identity, so another network's gateway at the same address is told apart.
// Only read, never asked for on the network.
#pragma once

#include <string>

#include "gateway/ipv4_address.h"

namespace gateway::host {

// "02:00:0a:00:00:01", or empty when the table holds no complete entry for `host`.
std::string LinkAddressOf(Ipv4 host);

#ifndef _WIN32
// The same, from a table in the layout of /proc/net/arp.
std::string LinkAddressOf(Ipv4 host, const std::string& table);
#endif

} // namespace gateway::host
