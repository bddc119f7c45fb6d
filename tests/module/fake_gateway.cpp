#include "fake_gateway.h"

gateway::NatService::AccessAnswer FakeGateway::OpenCollection()
{
    return {asked("OpenCollection") ? Access::Ok : Access::NoCollection, std::nullopt};
}

gateway::NatService::AddAnswer FakeGateway::Add(const gateway::MappingRequest& request)
{
    const std::string call = "Add " + std::string(Name(request.protocol)) + " " + std::to_string(request.externalPort) +
                             "->" + request.internalClient + ":" + std::to_string(request.internalPort) + " '" +
                             request.description + "'";
    if (!asked(call)) return {};
    gateway::Grant grant;
    grant.protocol = request.protocol;
    grant.externalPort = request.externalPort;
    grant.internalPort = request.internalPort;
    grant.internalAddress = request.internalClient;
    grant.externalAddress = "11.77.0.1";
    grant.lease = leases[request.protocol];
    grant.description = request.description;
    return {Adding::Made, grant, std::nullopt};
}
