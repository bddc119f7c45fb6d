#include "gateway/port_mapping.h"

#include <ctime>

#include "gateway/ipv4_address.h"

namespace gateway {

std::string MappingProblem(const MappingRequest& request)
{
    if (!IsPortNumber(request.externalPort))
        return "external port " + std::to_string(request.externalPort) + " is not 1-65535";
    if (!IsPortNumber(request.internalPort))
        return "internal port " + std::to_string(request.internalPort) + " is not 1-65535";
    if (!ParseIpv4(request.internalClient))
        return "internal client '" + request.internalClient + "' is not an IPv4 address";
    return {};
}

Grant GrantOf(const HeldMapping& held, Method method)
{
    Grant grant;
    grant.protocol = held.protocol;
    grant.method = method;
    grant.externalPort = held.externalPort;
    grant.internalPort = held.internalPort;
    grant.internalAddress = held.internalClient;
    grant.externalAddress = held.externalAddress;
    grant.lease = held.lease;
    grant.grantedAt = static_cast<long long>(std::time(nullptr));
    grant.description = held.description;
    return grant;
}

bool HoldsRequest(const HeldMapping& held, const MappingRequest& request)
{
    return held.enabled && held.externalPort == request.externalPort && held.protocol == request.protocol &&
           held.internalPort == request.internalPort && held.internalClient == request.internalClient;
}

} // namespace gateway
