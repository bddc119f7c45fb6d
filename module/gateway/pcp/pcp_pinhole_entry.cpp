// A PCP IPv6 pinhole: it cannot be asked whether it is held without renewing it; renewed
// and deleted by its MAP again with its nonce, at the IPv6 default gateway of its
// forward's network, from the address it is for.
#include "gateway/entry_handler.h"
#include "gateway/ipv6_address.h"
#include "gateway/pcp/pcp_message.h"
#include "gateway/pcp/pcp_pinhole.h"
#include "gateway/upnp/pinhole.h"

namespace gateway {
namespace {

using namespace entry;

class PcpPinholeEntryHandler final : public EntryHandler {
public:
    explicit PcpPinholeEntryHandler(GatewaySession& session) : session_(session) {}

    Answered<Holding> Holds(const Grant&) override { return {Holding::CannotTell, std::nullopt}; }

    Answered<EntryClient::Renewal> Renew(const Grant& grant) override
    {
        auto answer = Map(grant, kPinholeLeaseSeconds);
        if (!answer.value) return Refused<EntryClient::Renewal>(*answer.problem);
        EntryClient::Renewal renewal = Renewed(grant, answer.value->epoch);
        renewal.grant.lease = static_cast<long long>(answer.value->lifetime);
        renewal.grant.externalAddress = ToString(answer.value->externalAddress);
        renewal.grant.grantedAt = Now();
        return {renewal, std::nullopt};
    }

    std::optional<Told> Delete(const Grant& grant) override { return Map(grant, 0).problem; }

private:
    // The MAP again, with its nonce, for `lifetime` seconds (0 closes it): the gateway's
    // yes, or the reason told.
    Answered<pcp::Answer> Map(const Grant& grant, std::uint32_t lifetime)
    {
        const auto nonce = pcp::NonceFrom(grant.nonce);
        if (!nonce) return Refused<pcp::Answer>(Refusal(sentence::RecordLacksPcpPinhole, {{"port", PortOf(grant)}}));
        const auto route = RouteFor(session_, grant);
        if (!route.value) return Refused<pcp::Answer>(*route.problem);
        const PcpPinhole pinhole{*route.value, *nonce, grant.protocol, grant.externalPort};
        auto answer = MapPinhole(pinhole, lifetime, session_.CallDeadline());
        // Some gateways forget whose a pinhole is once it was renewed, and refuse to delete
        // it; they still shorten it: asked for a second, it ends at their shortest lifetime.
        if (lifetime == 0 && answer && answer->result == pcp::kNotAuthorized) {
            answer = MapPinhole(pinhole, 1, session_.CallDeadline());
            if (answer && answer->result == pcp::kSuccess) {
                Tell(sentence::PinholeShortened, {{"subject", Named(grant)},
                                                  {"result", pcp::ResultText(pcp::kNotAuthorized)},
                                                  {"seconds", std::to_string(answer->lifetime)}});
                return {answer, std::nullopt};
            }
        }
        if (answer && answer->result == pcp::kSuccess && (lifetime == 0 || answer->lifetime > 0))
            return {answer, std::nullopt};
        if (lifetime == 0 && answer && LostInRestart(grant, answer->epoch)) return {answer, std::nullopt};
        const std::string why = answer ? "PCP " + pcp::ResultText(answer->result) : "no PCP answer in time";
        DiagnosticLine("PCP MAP " + Named(grant) + " for " + std::to_string(lifetime) + " s: " + why);
        return Refused<pcp::Answer>(Refusal(lifetime > 0 ? sentence::PcpPinholeNotRenewed : sentence::PcpPinholeNotClosed,
                                            {{"port", PortOf(grant)}, {"why", why}}));
    }

    GatewaySession& session_;
};

} // namespace

std::unique_ptr<EntryHandler> PcpPinholeEntry(GatewaySession& session)
{
    return std::make_unique<PcpPinholeEntryHandler>(session);
}

} // namespace gateway
