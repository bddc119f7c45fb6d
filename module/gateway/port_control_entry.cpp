// A PCP or NAT-PMP mapping: it cannot be asked whether it is held without renewing it;
// renewed by mapping again with the recorded nonce (PCP) or external address (NAT-PMP),
// deleted with lifetime 0, or found lost in a restart of the gateway.
#include "gateway/entry_handler.h"
#include "gateway/ipv4_address.h"
#include "gateway/natpmp/natpmp_protocol.h"
#include "gateway/pcp/pcp_protocol.h"

namespace gateway {
namespace {

using namespace entry;

class PortControlMapping final : public EntryHandler {
public:
    explicit PortControlMapping(GatewaySession& session) : session_(session) {}

    Answered<Holding> Holds(const Grant&) override { return {Holding::CannotTell, std::nullopt}; }

    Answered<EntryClient::Renewal> Renew(const Grant& grant) override
    {
        auto portControl = PortControlFor(grant);
        if (!portControl.value) return Refused<EntryClient::Renewal>(*portControl.problem);
        const MappingOutcome outcome = (*portControl.value)->Map(RequestFor(grant), session_.CallDeadline());
        if (!outcome.held) // its headline told why
            return Refused<EntryClient::Renewal>(Compose(
                sentence::NotRenewedThrough, {{"port", PortOf(grant)}, {"method", std::string(Name(grant.method))}}));
        EntryClient::Renewal renewal = Renewed(grant, outcome.epoch);
        renewal.grant.lease = outcome.held->lease.value_or(0);
        renewal.grant.externalAddress = outcome.held->externalAddress;
        renewal.grant.grantedAt = Now();
        return {renewal, std::nullopt};
    }

    std::optional<Told> Delete(const Grant& grant) override
    {
        auto portControl = PortControlFor(grant);
        if (!portControl.value) return portControl.problem;
        std::optional<std::uint32_t> epoch;
        if ((*portControl.value)->Delete(RequestFor(grant), session_.CallDeadline(), &epoch).empty() ||
            LostInRestart(grant, epoch))
            return std::nullopt;
        return Refusal(sentence::NotClosedThrough,
                       {{"port", PortOf(grant)}, {"method", std::string(Name(grant.method))}});
    }

private:
    Answered<std::unique_ptr<PortControlGateway>> PortControlFor(const Grant& grant) const
    {
        const auto address = session_.DefaultGateway();
        if (grant.method == Method::Pcp && address) {
            auto protocol = std::make_unique<PcpProtocol>(*address);
            if (protocol->UseNonce(grant.nonce))
                return {std::make_unique<PortControlGateway>(*address, std::move(protocol)), std::nullopt};
        }
        const auto external = ParseIpv4(grant.externalAddress);
        if (grant.method == Method::NatPmp && address && external)
            return {std::make_unique<PortControlGateway>(*address, std::make_unique<NatPmpProtocol>(*address, *external)),
                    std::nullopt};
        return Refused<std::unique_ptr<PortControlGateway>>(
            Refusal(sentence::RecordLacks, {{"port", PortOf(grant)}, {"method", std::string(Name(grant.method))}}));
    }

    GatewaySession& session_;
};

} // namespace

std::unique_ptr<EntryHandler> PortControlEntry(GatewaySession& session)
{
    return std::make_unique<PortControlMapping>(session);
}

} // namespace gateway
