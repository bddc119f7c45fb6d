// A UPnP mapping, ours or the system's NAT object's, on the IPv4 side: held as the
// gateway lists it, renewed by asking again with the lease (the system's own for its
// mapping, never a shorter one) and reading it back, deleted
// only when it is held for the address it was made for.
#include "gateway/entry_handler.h"
#include "gateway/lease_request.h"
#include "gateway/upnp/upnp_errors.h"

namespace gateway {
namespace {

using namespace entry;

class UpnpMapping final : public EntryHandler {
public:
    explicit UpnpMapping(GatewaySession& session) : session_(session) {}

    Answered<Holding> Holds(const Grant& grant) override
    {
        const auto igd = Upnp(session_, grant);
        if (!igd.value) return Refused<Holding>(*igd.problem);
        const MappingReadBack back =
            (*igd.value)->ReadMapping(grant.externalPort, grant.protocol, session_.CallDeadline());
        if (back.code == kNoSuchEntryInArray) return {Holding::NotHeld, std::nullopt};
        if (back.code != 0) {
            DiagnosticLine("GetSpecificPortMappingEntry " + Named(grant) + ": " + UpnpErrorText(back.code));
            return Refused<Holding>(Refusal(sentence::HoldingUntold, {{"port", PortOf(grant)}}));
        }
        const bool held = back.mapping.internalClient == grant.internalAddress && back.mapping.enabled;
        return {held ? Holding::Held : Holding::NotHeld, std::nullopt};
    }

    Answered<EntryClient::Renewal> Renew(const Grant& grant) override
    {
        const auto igd = Upnp(session_, grant);
        if (!igd.value) return Refused<EntryClient::Renewal>(*igd.problem);
        const MappingRequest request = RequestFor(grant);
        const int refusal = AddWithLease(**igd.value, request, session_.CallDeadline(), LeaseAskedAgain(grant));
        if (refusal != 0) {
            DiagnosticLine("AddPortMapping " + Named(grant) + ": " + UpnpErrorText(refusal));
            return Refused<EntryClient::Renewal>(
                Refusal(sentence::NotRenewed, {{"port", PortOf(grant)}, {"code", CodeText(refusal)}}));
        }
        const MappingReadBack back =
            (*igd.value)->ReadMapping(grant.externalPort, grant.protocol, session_.CallDeadline());
        if (back.code != 0 || !HoldsRequest(back.mapping, request))
            return Refused<EntryClient::Renewal>(Refusal(sentence::RenewedNotHeld, {{"port", PortOf(grant)}}));
        Grant renewed = grant;
        renewed.lease = back.mapping.lease.value_or(0);
        renewed.externalAddress = (*igd.value)->ExternalAddress();
        renewed.grantedAt = Now();
        return {EntryClient::Renewal{renewed, false}, std::nullopt};
    }

    std::optional<Told> Delete(const Grant& grant) override
    {
        const auto igd = Upnp(session_, grant);
        if (!igd.value) return igd.problem;
        // Only what the gateway holds for this address: the port may be another machine's now.
        const MappingReadBack back =
            (*igd.value)->ReadMapping(grant.externalPort, grant.protocol, session_.CallDeadline());
        if (back.code == kNoSuchEntryInArray ||
            (back.code == 0 && back.mapping.internalClient != grant.internalAddress)) {
            const std::string holder =
                back.code == 0 ? Compose(sentence::HoldsForAnother, {{"address", back.mapping.internalClient}}).text
                               : std::string();
            Tell(sentence::NoLongerHolds, {{"subject", Named(grant)}, {"holder", holder}});
            return std::nullopt;
        }
        const int code = back.code != 0 ? back.code
                                        : (*igd.value)->DeletePortMapping(grant.externalPort, grant.protocol,
                                                                          session_.CallDeadline());
        if (code == 0 || code == kNoSuchEntryInArray) return std::nullopt;
        DiagnosticLine("DeletePortMapping " + Named(grant) + ": " + UpnpErrorText(code));
        return Refusal(sentence::NotClosed, {{"port", PortOf(grant)}, {"code", CodeText(code)}});
    }

private:
    GatewaySession& session_;
};

} // namespace

std::unique_ptr<EntryHandler> UpnpMappingEntry(GatewaySession& session)
{
    return std::make_unique<UpnpMapping>(session);
}

} // namespace gateway
