#include "forward/varneth_platform.h"

#include "gateway/own_nat_service.h"

// Our own client alone. Its search starts now, and waits for the router's answer while
// the firewall is read.
VarnethPlatform MachinePlatform(gateway::GatewaySession& session)
{
    session.SearchAhead();
    VarnethPlatform platform;
    platform.nat.push_back(gateway::OwnNatService(session));
    platform.firewall = firewall::OpenMachineFirewall;
    platform.enterApartment = [] { return true; };
    return platform;
}
