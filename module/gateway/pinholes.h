// The IPv6 step's requests: pinholes in the gateway's IPv6 firewall for this machine's
// global address, through the UPnP firewall control or PCP. They return what was granted.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "gateway/gateway_session.h"
#include "gateway/grant.h"
#include "gateway/ipv6_address.h"
#include "gateway/upnp/pinhole.h"

namespace gateway {

// What the gateway said to one pinhole asked for.
struct PinholeReply {
    Protocol protocol = Protocol::Tcp;
    std::optional<Grant> grant; // opened, as the record keeps it: at the port asked
    int reachablePort = 0;      // opened: where the Internet reaches it (PCP may name another port)
    std::string refusal;        // not opened: "606 Action not authorized", "PCP 8 NO_RESOURCES", ...
};

struct PinholeAnswers {
    PinholeStage stage = PinholeStage::NoService;
    int statusCode = 0;                // GetFirewallStatus's, when it failed
    std::vector<PinholeReply> replies; // Asked: one per protocol, in the order asked
};

// Through the run's UPnP gateway device, asked at `gateway`; nothing when the default
// gateway does not answer UPnP.
std::optional<PinholeAnswers> OpenUpnpPinholes(GatewaySession& session, const Ipv6& gateway,
                                               const PinholeRequest& request);

// Through PCP over IPv6 at `gateway`; nothing when it does not answer PCP there. A protocol
// after one not answered in time is not asked.
std::optional<PinholeAnswers> OpenPcpPinholes(GatewaySession& session, const Ipv6& gateway,
                                              const PinholeRequest& request);

} // namespace gateway
