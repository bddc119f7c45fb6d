#include "gateway/port_control_gateway.h"
#include "gateway/sentences.h"

#include "tell.h"
#include "gateway/exchange.h"
#include "gateway/reserved_address.h"
#include "gateway/gateway_headlines.h"

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
    Told detail;
    Told headline;
    bool deleteAgain = false;
};

std::optional<GrantProblem> Judge(const PortGrant& grant, const MappingRequest& request, const std::string& protocol)
{
    const std::string subject = Subject(request) + " through " + protocol;
    const int port = request.externalPort;
    if (grant.result != 0) {
        const std::string reason = protocol + " " + grant.resultText;
        return GrantProblem{Compose(sentence::GrantRefused, {{"subject", subject}, {"result", grant.resultText}}),
                            grant.result == kNotAuthorized ? headline::NotAuthorized(port, reason)
                                                           : headline::Refused(port, reason)};
    }
    if (grant.lifetime == 0 || grant.internalPort != request.internalPort)
        return GrantProblem{Compose(sentence::GrantHoldsNothing, {{"subject", subject}}),
                            headline::NotHeld(port)};
    if (grant.externalPort != port)
        return GrantProblem{Compose(sentence::GrantOfferedAnother,
                                    {{"offered", std::to_string(grant.externalPort)}, {"subject", subject}}),
                            headline::OfferedAnother(port, grant.externalPort), true};
    if (!grant.externalAddress || IsReservedAddress(*grant.externalAddress))
        return GrantProblem{
            Compose(sentence::GrantOnReservedAddress,
                    {{"subject", subject},
                     {"address", grant.externalAddress
                                     ? Compose(sentence::ReservedAddressNamed,
                                               {{"address", ToString(*grant.externalAddress)}}).text
                                     : Compose(sentence::NoIpv4Address).text}}),
                            headline::BehindAnotherNat(grant.externalAddress), true};
    if (grant.lifetime < kShortestUsefulLifetime)
        return GrantProblem{Compose(sentence::GrantTooShortAgain,
                                    {{"subject", subject}, {"seconds", std::to_string(grant.lifetime)}}),
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
        Tell(sentence::GrantedShortAskedAgain,
             {{"subject", Subject(request)}, {"method", Name()}, {"seconds", std::to_string(grant->lifetime)}});
        grant = protocol_->Ask(request, static_cast<std::uint32_t>(kAskedLease), deadline);
    }
    if (!grant) {
        Headline(headline::NoAnswer(request.externalPort));
        return Failed();
    }
    if (const auto problem = Judge(*grant, request, Name())) {
        if (problem->deleteAgain) Delete(request, deadline);
        Tell(problem->detail);
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
    Tell(sentence::OnlyFromOwnAddress, {{"method", Name()},
                                        {"source", source ? " (" + ToString(*source) + ")" : std::string()},
                                        {"address", request.internalClient}});
    Headline(source ? headline::OnlyOwnAddress(ToString(*source)) : headline::NoneAnswered());
    return false;
}

std::string PortControlGateway::Delete(const MappingRequest& request, Deadline deadline,
                                       std::optional<std::uint32_t>* epoch) const
{
    const auto grant = protocol_->Ask(request, 0, deadline);
    if (grant && epoch) *epoch = grant->epoch;
    if (grant && grant->result == 0) return {};
    const Told reason = Compose(sentence::DeleteFailed, {{"subject", Subject(request)},
                                                         {"method", Name()},
                                                         {"why", grant ? grant->resultText : "no answer in time"}});
    Tell(reason);
    return reason.text;
}

} // namespace gateway
