// The IPv6 side of the interface that holds the chosen IPv4 address: its global
// address, and the gateway its IPv6 default route goes through.
#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "gateway/ipv4_address.h"
#include "gateway/ipv6_address.h"

namespace gateway::host {

// The address to open pinholes for on the interface that holds `interfaceAddress`
// (ChooseGlobalIpv6), as the system lists them now.
std::optional<Ipv6> ReadGlobalIpv6(Ipv4 interfaceAddress);

// The next hop of the IPv6 default route through that interface with the lowest metric.
std::optional<Ipv6> ReadIpv6DefaultGateway(Ipv4 interfaceAddress);

// Whether the system shows that interface's IPv6 routes at all: every interface with
// IPv6 has one for its own link, but Wine shows none.
bool Ipv6RoutesShown(Ipv4 interfaceAddress);

// That interface's index: the scope of a link-local address on it; 0 when none holds it.
std::uint32_t ReadInterfaceIndex(Ipv4 interfaceAddress);

// The scope `ipv6Gateway` needs, reached through that interface: its index for a
// link-local gateway, 0 for a global one.
inline std::uint32_t ScopeToward(const Ipv6& ipv6Gateway, Ipv4 interfaceAddress)
{
    return IsLinkLocal(ipv6Gateway) ? ReadInterfaceIndex(interfaceAddress) : 0;
}

#ifndef _WIN32
// The addresses of `interface` in a table in the layout of /proc/net/if_inet6.
std::vector<Ipv6Candidate> InterfaceAddressesFromTable(std::istream& table, const std::string& interface);
// The default gateway of `interface` in a table in the layout of /proc/net/ipv6_route.
std::optional<Ipv6> DefaultGatewayFromTable(std::istream& table, const std::string& interface);
#endif

} // namespace gateway::host
