// A port mapping as asked for and as the gateway holds it.
#pragma once

#include <optional>
#include <string>

#include "gateway/grant.h"
#include "terms.h"

namespace gateway {

struct MappingRequest {
    int externalPort = 0;
    Protocol protocol = Protocol::Tcp;
    int internalPort = 0;
    std::string internalClient;
    std::string description;
};

struct HeldMapping {
    std::string externalAddress;
    int externalPort = 0;
    Protocol protocol = Protocol::Tcp;
    int internalPort = 0;
    std::string internalClient;
    bool enabled = false;
    std::string description;
    std::optional<long long> lease; // seconds; 0: no end; nothing: the gateway did not say
};

// Why `request` is not sent at all: a port outside 1-65535, or an internal client that is
// not an IPv4 address. Empty when it can be sent.
std::string MappingProblem(const MappingRequest& request);

// What the gateway holds, granted now through `method`.
Grant GrantOf(const HeldMapping& held, Method method);

// Whether what the gateway holds is the mapping we asked for, open and for our client.
bool HoldsRequest(const HeldMapping& held, const MappingRequest& request);

} // namespace gateway
