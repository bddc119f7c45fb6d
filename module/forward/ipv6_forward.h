// The IPv6 side of a forward: pinholes in the gateway's IPv6 firewall for the machine's
// global IPv6 address, beside the IPv4 mappings and only when asked for.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "firewall/firewall_manager.h"

// When `asked`: opens `port` for TCP and/or UDP over IPv6, and lets it in there through
// `firewall`, and says how that went, one sentence for the outcome; the names of the
// firewall entries it made for IPv6. When not: only tells (forward-ipv6-offer) whether
// it could be.
std::vector<std::wstring> ForwardOverIpv6(const std::wstring& ipv4Address, std::int32_t port, bool tcp, bool udp,
                                          bool asked, const firewall::FirewallFactory& firewall);
