// The IPv6 side of a forward: pinholes in the gateway's IPv6 firewall for the machine's
// global IPv6 address, beside the IPv4 mappings and only when asked for.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "firewall/firewall_manager.h"
#include "forward/forward_outcome.h"
#include "gateway/gateway_session.h"

struct Ipv6Result {
    std::vector<PortOutcome> ports; // the pinholes opened, Family::Ipv6
    bool offered = false;           // not asked, but it could be: the window offers it
};

// When `asked`: opens `port` for TCP and/or UDP over IPv6 through `session`'s gateway,
// lets it in there through `firewall`, and says how that went, one sentence for the
// outcome. When not: only tells (forward-ipv6-offer) whether it could be.
Ipv6Result ForwardOverIpv6(gateway::GatewaySession& session, const std::wstring& ipv4Address, std::int32_t port,
                           bool tcp, bool udp, bool asked, const firewall::FirewallFactory& firewall);
