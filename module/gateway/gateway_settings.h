// Where to look for the gateway and how long each step may take.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "gateway/host/default_route.h"
#include "gateway/ipv4_address.h"
#include "gateway/local_network.h"
#include "platform/deadline.h"

namespace gateway {

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
};

} // namespace gateway
