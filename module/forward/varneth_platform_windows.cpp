#include "forward/varneth_platform.h"

#include "platform/com/com_api.h"
#include "gateway/own_nat_service.h"
#include "gateway/windows/system_nat_service.h"
#include "gateway/windows/system_thread_windows.h"

// The system's NAT object comes first, as every program that maps ports there expects;
// once it has failed, our own client maps the ports. Our search waits beside the system's
// object: with no router, the answer comes once both have given up, not one after the other.
VarnethPlatform MachinePlatform(gateway::GatewaySession& session)
{
    VarnethPlatform platform;
    platform.nat.push_back(gateway::SystemNatService(
        gateway::SystemThread(), [&session] { session.SearchAhead(); },
        [&session](const gateway::MappingRequest& request) { return gateway::ReadBack(session, request); }));
    platform.nat.push_back(gateway::OwnNatService(session));
    platform.firewall = firewall::OpenMachineFirewall;
    platform.enterApartment = [] { return SUCCEEDED(CoInitialize(nullptr)); };
    return platform;
}
