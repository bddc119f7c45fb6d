#include "forward/varneth_platform.h"

#include "gateway/own_nat_service.h"

VarnethPlatform MachinePlatform(gateway::GatewaySession& session)
{
    VarnethPlatform platform;
    platform.nat.push_back(gateway::OwnNatService(session));
    platform.firewall = firewall::OpenMachineFirewall;
    platform.enterApartment = [] { return true; };
    return platform;
}
