#include "gateway/port_control_gateway.h"

#include "tell.h"
#include "gateway/exchange.h"
#include "gateway/reserved_address.h"
#include "gateway/router_headlines.h"

namespace gateway {
namespace {

std::string Subject(const MappingRequest& request)
{
    return std::string(Name(request.protocol)) + " " + std::to_string(request.externalPort) + " to " + request.internalClient + ":" +
           std::to_string(request.internalPort);
}

MappingOutcome Failed() { return {}; }

// The result code of a refusal for want of permission, in PCP and NAT-PMP alike.
constexpr int kNotAuthorized = 2;

// Why a grant is no mapping to use: the details, the headline, and whether what the
// gateway holds is deleted again.
struct GrantProblem {
    std::string detail;
    Told headline;
    bool deleteAgain = false;
};

std::optional<GrantProblem> Judge(const PortGrant& grant, const MappingRequest& request, const std::string& protocol)
{
    const std::string subject = Subject(request) + " through " + protocol;
    const int port = request.externalPort;
    if (grant.result != 0) {
        const std::string reason = protocol + " " + grant.resultText;
        return GrantProblem{"The gateway refused " + subject + ": " + grant.resultText + ".",
                            grant.result == kNotAuthorized ? headline::NotAuthorized(port, reason)
                                                           : headline::Refused(port, reason)};
    }
    if (grant.lifetime == 0 || grant.internalPort != request.internalPort)
        return GrantProblem{"The gateway said yes to " + subject + ", but its answer holds no such mapping.",
                            headline::NotHeld(port)};
    if (grant.externalPort != port)
        return GrantProblem{"The gateway offered external port " + std::to_string(grant.externalPort) + " instead of " +
                                subject + " (the port is taken); that mapping was deleted again.",
                            headline::OfferedAnother(port, grant.externalPort), true};
    if (!grant.externalAddress || IsReservedAddress(*grant.externalAddress))
        return GrantProblem{"The gateway mapped " + subject + " on " +
                                (grant.externalAddress ? "the reserved address " + ToString(*grant.externalAddress)
                                                       : std::string("no IPv4 address")) +
                                ", which the Internet cannot reach (carrier-grade NAT or another router); the mapping "
                                "was deleted again.",
                            headline::BehindAnotherNat(grant.externalAddress), true};
    if (grant.lifetime < kShortestUsefulLifetime)
        return GrantProblem{"The gateway granted " + subject + " for only " + std::to_string(grant.lifetime) +
                                " s again, too short to be of use; the mapping was deleted again.",
                            headline::GrantTooShort(port, grant.lifetime), true};
    return std::nullopt;
}

bool IsShort(const PortGrant& grant)
{
    return grant.result == 0 && grant.lifetime != 0 && grant.lifetime < kShortestUsefulLifetime;
}

} // namespace

MappingOutcome PortControlGateway::Map(const MappingRequest& request, Deadline deadline) const
{
    if (!FromOwnAddress(request)) return Failed();
    auto grant = protocol_->Ask(request, static_cast<std::uint32_t>(kAskedLease), deadline);
    // Some gateways grant seconds at first; once more may give the lifetime asked for.
    if (grant && IsShort(*grant)) {
        UserLine("The gateway granted " + Subject(request) + " through " + Name() + " for only " +
                 std::to_string(grant->lifetime) + " s; asked once more for longer.");
        grant = protocol_->Ask(request, static_cast<std::uint32_t>(kAskedLease), deadline);
    }
    if (!grant) {
        Headline(headline::NoAnswer(request.externalPort));
        return Failed();
    }
    if (const auto problem = Judge(*grant, request, Name())) {
        if (problem->deleteAgain) Delete(request, deadline);
        UserLine(problem->detail);
        Headline(problem->headline);
        return Failed();
    }
    HeldMapping held{ToString(*grant->externalAddress), grant->externalPort, request.protocol, grant->internalPort,
                     request.internalClient, true, request.description, static_cast<long long>(grant->lifetime)};
    return MappingOutcome{std::move(held), grant->epoch};
}

// PCP and NAT-PMP map only to the address a request comes from.
bool PortControlGateway::FromOwnAddress(const MappingRequest& request) const
{
    const auto source = SourceAddressToward(gateway_);
    if (source && ToString(*source) == request.internalClient) return true;
    UserLine(Name() + " maps ports only to the address this machine reaches the gateway from" +
             (source ? " (" + ToString(*source) + ")" : std::string()) + ", not to " + request.internalClient + ".");
    Headline(source ? headline::OnlyOwnAddress(ToString(*source)) : headline::NoRouterAnswered());
    return false;
}

std::string PortControlGateway::Delete(const MappingRequest& request, Deadline deadline,
                                       std::optional<std::uint32_t>* epoch) const
{
    const auto grant = protocol_->Ask(request, 0, deadline);
    if (grant && epoch) *epoch = grant->epoch;
    if (grant && grant->result == 0) return {};
    const std::string reason = "Deleting " + Subject(request) + " through " + Name() + " failed" +
                               (grant ? ": " + grant->resultText : std::string(": no answer in time")) + ".";
    UserLine(reason);
    return reason;
}

} // namespace gateway
