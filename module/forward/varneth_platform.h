// What Varneth stands on, given by the machine it runs on (varneth_platform_posix.cpp,
// _windows.cpp) or by a test: the ways to the gateway's mappings, in order of preference,
// the firewall the ports are let in through, and how the calling thread enters COM where
// the platform has it.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "firewall/firewall_manager.h"
#include "gateway/gateway_session.h"
#include "gateway/nat_service.h"

struct VarnethPlatform {
    std::vector<std::unique_ptr<gateway::NatService>> nat;
    firewall::FirewallFactory firewall;
    std::function<bool()> enterApartment;
};

// This machine's: on Windows the system's NAT object, then our own client; elsewhere our
// own client alone. Both refer to `session`, which outlives them.
VarnethPlatform MachinePlatform(gateway::GatewaySession& session);
