// The IPv6 side of a forward: pinholes in the gateway's IPv6 firewall for the machine's
// global IPv6 address, beside the IPv4 mappings and only when asked for.
#pragma once

#include <cstdint>
#include <string>

// When `asked`: opens `port` for TCP and/or UDP over IPv6 and says how that went, one
// sentence for the outcome. When not: only tells (forward-ipv6-offer) whether it could be.
void ForwardOverIpv6(const std::wstring& ipv4Address, std::int32_t port, bool tcp, bool udp, bool asked);
