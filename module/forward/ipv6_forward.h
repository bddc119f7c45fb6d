// The IPv6 side of a forward: pinholes in the gateway's IPv6 firewall for the machine's
// global IPv6 address, beside the IPv4 mappings and only when asked for.
#pragma once

#include <cstdint>
#include <string>

// The headline that tells the window this machine has a global IPv6 address on the
// chosen address's network, so that a forward there can be offered.
inline constexpr const char* kIpv6OfferHeadline =
    "This machine can also be reached over IPv6: the port can be opened there too.";

// When `asked`: opens `port` for TCP and/or UDP over IPv6 and says how that went, one
// sentence for the outcome. When not: only tells (kIpv6OfferHeadline) whether it could be.
void ForwardOverIpv6(const std::wstring& ipv4Address, std::int32_t port, bool tcp, bool udp, bool asked);
