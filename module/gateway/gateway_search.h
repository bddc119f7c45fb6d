// Finding the LAN's gateway, fast, with UPnP, PCP and NAT-PMP at once: one SSDP
// M-SEARCH straight to the default gateway, sent at the same moment as the gateway's PCP
// and NAT-PMP questions, which share the search's wait; one to the multicast group when
// the gateway refused its own or left it unanswered for a moment.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/deadline.h"
#include "gateway/ipv4_address.h"
#include "gateway/local_network.h"
#include "gateway/port_control_probe.h"

namespace gateway {

struct SsdpSearchPlan {
    std::optional<Ipv4> defaultGateway; // asked directly, and its answer preferred
    Ipv4 group;                         // 239.255.255.250 on a real network
    std::uint16_t port = 1900;
    LocalNetwork network;               // no answer from the host itself is taken
};

struct SearchFindings {
    std::optional<std::string> gateway; // the default gateway's description URL
    std::string gatewayUdn;             // its device's UDN, when its answer gave one
    std::optional<Ipv4> elsewhere;      // another device on the LAN that offers UPnP: never used
    bool gatewayMisleads = false;       // the default gateway answered, pointing elsewhere
};

// Only the default gateway's answer is taken, at once: Internet traffic enters through
// it alone, and anyone on the LAN can answer a search. Another LAN device's answer is
// only noted. A flood of answers does not keep the search past the deadline. The search
// ends early, with no gateway, when `probe` (if any) has a PCP or NAT-PMP answer from the
// gateway and the gateway refused the SSDP search or left it unanswered past the probe's
// grace; or when the gateway refused everything, once other devices had a moment to answer.
SearchFindings SearchGatewayDevice(const SsdpSearchPlan& plan, Deadline deadline, PortControlProbe* probe = nullptr);

} // namespace gateway
