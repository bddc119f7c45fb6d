#include "port_control_gateway.h"

#include "diagnostics.h"
#include "reserved_address.h"

namespace gateway {
namespace {

std::string Subject(const MappingRequest& request)
{
    return request.protocol + " " + std::to_string(request.externalPort) + " to " + request.internalClient + ":" +
           std::to_string(request.internalPort);
}

MappingOutcome Failed() { return MappingOutcome{E_FAIL, {}}; }

} // namespace

MappingOutcome PortControlGateway::Map(const MappingRequest& request, Deadline deadline) const
{
    const std::string through = " through " + Name();
    const auto grant = protocol_->Ask(request, kRequestedLifetime, deadline);
    if (!grant) return Failed();
    if (grant->result != 0) {
        UserLine("The gateway refused " + Subject(request) + through + ": " + grant->resultText + ".");
        return Failed();
    }
    if (grant->lifetime == 0 || grant->internalPort != request.internalPort) {
        UserLine("The gateway said yes to " + Subject(request) + through + ", but its answer holds no such mapping.");
        return Failed();
    }
    if (grant->externalPort != request.externalPort) {
        Delete(request, deadline);
        UserLine("The gateway offered external port " + std::to_string(grant->externalPort) + " instead of " +
                   Subject(request) + through + " (the port is taken); that mapping was deleted again.");
        return Failed();
    }
    if (!grant->externalAddress || IsReservedAddress(*grant->externalAddress)) {
        Delete(request, deadline);
        UserLine("The gateway mapped " + Subject(request) + through + " on " +
                   (grant->externalAddress ? "the reserved address " + ToString(*grant->externalAddress)
                                           : std::string("no IPv4 address")) +
                   ", which the Internet cannot reach (carrier-grade NAT or another router); the mapping was deleted again.");
        return Failed();
    }
    HeldMapping held{ToString(*grant->externalAddress), grant->externalPort, request.protocol, grant->internalPort,
                     request.internalClient, true, request.description, static_cast<long>(grant->lifetime)};
    return MappingOutcome{S_OK, std::move(held)};
}

void PortControlGateway::Delete(const MappingRequest& request, Deadline deadline) const
{
    const auto grant = protocol_->Ask(request, 0, deadline);
    if (!grant || grant->result != 0)
        UserLine("Deleting " + Subject(request) + " through " + Name() + " failed" +
                   (grant ? ": " + grant->resultText : std::string()) + ".");
}

} // namespace gateway
