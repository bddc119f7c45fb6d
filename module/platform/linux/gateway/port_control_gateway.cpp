#include "port_control_gateway.h"

#include "diagnostics.h"
#include "exchange.h"
#include "reserved_address.h"
#include "router_headlines.h"

namespace gateway {
namespace {

std::string Subject(const MappingRequest& request)
{
    return request.protocol + " " + std::to_string(request.externalPort) + " to " + request.internalClient + ":" +
           std::to_string(request.internalPort);
}

MappingOutcome Failed() { return MappingOutcome{E_FAIL, {}}; }

// The result code of a refusal for want of permission, in PCP and NAT-PMP alike.
constexpr int kNotAuthorized = 2;

} // namespace

MappingOutcome PortControlGateway::Map(const MappingRequest& request, Deadline deadline) const
{
    const std::string through = " through " + Name();
    const int port = request.externalPort;
    // PCP and NAT-PMP map only to the address a request comes from.
    const auto source = SourceAddressToward(gateway_);
    if (!source || ToString(*source) != request.internalClient) {
        UserLine(Name() + " maps ports only to the address this machine reaches the gateway from" +
                 (source ? " (" + ToString(*source) + ")" : std::string()) + ", not to " + request.internalClient + ".");
        Headline(source ? headline::OnlyOwnAddress(ToString(*source)) : headline::NoRouterAnswered());
        return Failed();
    }
    auto grant = protocol_->Ask(request, kRequestedLifetime, deadline);
    if (grant && grant->result == 0 && grant->lifetime != 0 && grant->lifetime < kShortestUsefulLifetime) {
        UserLine("The gateway granted " + Subject(request) + through + " for only " + std::to_string(grant->lifetime) +
                 " s; asked once more for longer.");
        grant = protocol_->Ask(request, kRequestedLifetime, deadline);
    }
    if (!grant) {
        Headline(headline::NoAnswer(port));
        return Failed();
    }
    if (grant->result != 0) {
        UserLine("The gateway refused " + Subject(request) + through + ": " + grant->resultText + ".");
        const std::string reason = Name() + " " + grant->resultText;
        Headline(grant->result == kNotAuthorized ? headline::NotAuthorized(port, reason) : headline::Refused(port, reason));
        return Failed();
    }
    if (grant->lifetime == 0 || grant->internalPort != request.internalPort) {
        UserLine("The gateway said yes to " + Subject(request) + through + ", but its answer holds no such mapping.");
        Headline(headline::NotHeld(port));
        return Failed();
    }
    if (grant->externalPort != port) {
        Delete(request, deadline);
        UserLine("The gateway offered external port " + std::to_string(grant->externalPort) + " instead of " +
                 Subject(request) + through + " (the port is taken); that mapping was deleted again.");
        Headline(headline::OfferedAnother(port, grant->externalPort));
        return Failed();
    }
    if (!grant->externalAddress || IsReservedAddress(*grant->externalAddress)) {
        Delete(request, deadline);
        UserLine("The gateway mapped " + Subject(request) + through + " on " +
                 (grant->externalAddress ? "the reserved address " + ToString(*grant->externalAddress)
                                         : std::string("no IPv4 address")) +
                 ", which the Internet cannot reach (carrier-grade NAT or another router); the mapping was deleted again.");
        Headline(headline::BehindAnotherNat(grant->externalAddress));
        return Failed();
    }
    if (grant->lifetime < kShortestUsefulLifetime) {
        Delete(request, deadline);
        UserLine("The gateway granted " + Subject(request) + through + " for only " + std::to_string(grant->lifetime) +
                 " s again, too short to be of use; the mapping was deleted again.");
        Headline(headline::GrantTooShort(port, grant->lifetime));
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
