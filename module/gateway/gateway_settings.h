// Where to look for the gateway and how long each step may take.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "gateway/host/default_route.h"
#include "gateway/ipv4_address.h"
#include "gateway/local_network.h"
#include "platform/deadline.h"

namespace gateway {

// Where a run before found the default gateway's UPnP description.
struct RememberedGateway {
    std::string location;
    std::string udn;
};

struct GatewaySettings {
    Ipv4 ssdpGroup{0xEFFFFFFAu}; // 239.255.255.250
    std::uint16_t ssdpPort = 1900;
    // The gateway answers a unicast search at once; other devices may wait up to MX (1 s).
    std::chrono::milliseconds searchTime{1000};
    std::chrono::milliseconds callTime{3000};
    // When all gateway work must be over; the firewall's calls share it.
    Deadline end = RunDeadline();
    std::function<std::optional<Ipv4>()> readDefaultGateway = host::ReadDefaultGateway;
    std::function<LocalNetwork()> readNetwork = ReadLocalNetwork;
    // The location a run before remembered, and how to remember one for the next run;
    // without them, nothing is kept between runs.
    std::function<std::optional<RememberedGateway>()> readRemembered;
    std::function<void(const RememberedGateway&)> remember;
};

} // namespace gateway
