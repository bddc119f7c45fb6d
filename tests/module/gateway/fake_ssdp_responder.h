// A device answering SSDP searches on a loopback address, after a chosen delay.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "loopback_server.h"
#include "platform/linux/gateway/ipv4_address.h"

// The answer miniupnpd gives, with the location and search target filled in.
std::string GatewayAnswer(const std::string& location,
                          const std::string& searchTarget = "urn:schemas-upnp-org:device:InternetGatewayDevice:1");

class FakeSsdpResponder {
public:
    // Binds `address`:`port` (0: any free port). An empty answer: listen, never answer.
    FakeSsdpResponder(gateway::Ipv4 address, std::uint16_t port, std::string answer,
                      std::chrono::milliseconds delay = std::chrono::milliseconds(0));

    std::uint16_t Port() const { return port_; }
    // The searches received so far.
    std::vector<std::string> Searches() const;

private:
    void Serve();

    UniqueFd socket_;
    std::uint16_t port_ = 0;
    const std::string answer_;
    const std::chrono::milliseconds delay_;
    mutable std::mutex mutex_;
    std::vector<std::string> searches_;
    LoopbackThread thread_; // last: stopped before the rest goes
};
