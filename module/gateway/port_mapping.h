// A port mapping as asked for and as the gateway holds it, in the gateway library's terms.
#pragma once

#include <optional>
#include <string>

#include "com/com_api.h"
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
    long leaseSeconds = -1; // 0: no end; -1: the gateway did not say
};

struct ArgumentCheck {
    std::optional<MappingRequest> request;
    std::string problem; // why there is no request
};

// The arguments of IStaticPortMappingCollection::Add, checked before anything is sent:
// ports 1-65535, "TCP" or "UDP", an IPv4 internal client, an enabled mapping.
ArgumentCheck CheckMappingArguments(LONG externalPort, BSTR protocol, LONG internalPort, BSTR internalClient,
                                    VARIANT_BOOL enabled, BSTR description);

// What the gateway holds, granted now through `method`.
Grant GrantOf(const HeldMapping& held, Method method);

// Whether what the gateway holds is the mapping we asked for, open and for our client.
bool HoldsRequest(const HeldMapping& held, const MappingRequest& request);

} // namespace gateway
