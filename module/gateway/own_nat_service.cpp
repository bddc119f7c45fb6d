#include "gateway/own_nat_service.h"

#include <utility>

#include "tell.h"
#include "gateway/gateway_log.h"
#include "gateway/lease_request.h"
#include "gateway/gateway_headlines.h"
#include "gateway/sentences.h"
#include "gateway/upnp/upnp_errors.h"

namespace gateway {
namespace {

using AddAnswer = NatService::AddAnswer;

std::string Name(const MappingRequest& request)
{
    return std::to_string(request.externalPort) + "/" + std::string(::Name(request.protocol)) + " -> " +
           request.internalClient + ":" + std::to_string(request.internalPort);
}

std::string Name(const HeldMapping& held)
{
    return held.internalClient + ":" + std::to_string(held.internalPort) + (held.enabled ? "" : ", disabled");
}

std::string Subject(const MappingRequest& request)
{
    return std::string(::Name(request.protocol)) + " " + std::to_string(request.externalPort);
}

AddAnswer Made(Grant grant) { return {NatService::Adding::Made, std::move(grant), std::nullopt}; }
AddAnswer Failed() { return {}; }

// Who holds the port, when the gateway tells.
std::optional<HeldMapping> Holder(const IgdConnection& gateway, const MappingRequest& request, Deadline deadline)
{
    MappingReadBack held = gateway.ReadMapping(request.externalPort, request.protocol, deadline);
    if (held.code != 0 || held.mapping.internalClient.empty()) return std::nullopt;
    return std::move(held.mapping);
}

Told RefusalHeadline(int port, int code, const std::optional<HeldMapping>& holder)
{
    if (code == kConflictInMappingEntry) return headline::HeldByAnother(port, holder ? holder->internalClient : "");
    if (code == kActionNotAuthorized) return headline::NotAuthorized(port, UpnpErrorText(code));
    return headline::Refused(port, UpnpErrorText(code));
}

// Why the gateway did not make the mapping, in words; a code of the library's or our
// own only for developers.
void TellRefusal(const IgdConnection& gateway, const MappingRequest& request, int code, Deadline deadline)
{
    DiagnosticLine("AddPortMapping " + Name(request) + ": " + UpnpErrorText(code));
    const int port = request.externalPort;
    if (code == kNoAnswerInTime) {
        Tell(sentence::NoAnswerWhenAsked, {{"subject", Subject(request)}});
        Headline(headline::NoAnswer(port));
    } else if (code < 0) {
        Tell(sentence::AnswerUnreadableWhenAsked, {{"subject", Subject(request)}});
        Headline(headline::AnswerUnreadable(port));
    } else {
        const auto holder = code == kConflictInMappingEntry ? Holder(gateway, request, deadline) : std::nullopt;
        Tell(sentence::RefusedMapping, {{"subject", Subject(request)},
                                        {"reason", UpnpErrorText(code) + UpnpRefusalMeaning(code)},
                                        {"holder", holder ? " (" + Name(*holder) + ")" : ""}});
        Headline(RefusalHeadline(port, code, holder));
    }
}

// A gateway may say yes and hold nothing, or hold the port for someone else.
void TellNotHeld(const MappingRequest& request, const MappingReadBack& readBack)
{
    const int port = request.externalPort;
    if (readBack.code != 0) {
        DiagnosticLine("GetSpecificPortMappingEntry " + Name(request) + ": " + UpnpErrorText(readBack.code));
        GatewayLog("AddPortMapping " + Name(request) + " said yes, but reading it back failed" +
                   (readBack.code > 0 ? ": " + UpnpErrorText(readBack.code) : std::string()));
        Headline(readBack.code == kNoAnswerInTime ? headline::NoAnswer(port) : headline::NotHeld(port));
        return;
    }
    GatewayLog("AddPortMapping " + Name(request) + " said yes, but the gateway holds the port for " +
               Name(readBack.mapping));
    const std::string& holder = readBack.mapping.internalClient;
    Headline(holder != request.internalClient ? headline::HeldByAnother(port, holder) : headline::NotHeld(port));
}

class OwnNat final : public NatService {
public:
    explicit OwnNat(GatewaySession& session) : session_(session) {}

    AccessAnswer OpenCollection() override
    {
        return {session_.HasGateway() ? Access::Ok : Access::NoCollection, std::nullopt};
    }

    AddAnswer Add(const MappingRequest& request) override
    {
        if (const std::string problem = MappingProblem(request); !problem.empty()) {
            GatewayLog("nothing sent: " + problem);
            Headline(headline::NothingAsked(problem));
            return Failed();
        }
        if (const PortControlGateway* portControl = session_.PortControl()) {
            const MappingOutcome outcome = portControl->Map(request, session_.CallDeadline());
            if (!outcome.held) return Failed();
            Grant grant = GrantOf(*outcome.held, portControl->Speaks());
            grant.nonce = portControl->NonceText();
            grant.epoch = outcome.epoch;
            return Made(session_.Stamped(std::move(grant)));
        }
        const IgdConnection* gateway = session_.Gateway();
        if (gateway == nullptr) return Failed();
        const int refusal = AddWithLease(*gateway, request, session_.CallDeadline());
        if (refusal != 0) {
            TellRefusal(*gateway, request, refusal, session_.CallDeadline());
            return Failed();
        }
        const MappingReadBack readBack =
            gateway->ReadMapping(request.externalPort, request.protocol, session_.CallDeadline());
        if (readBack.code != 0 || !HoldsRequest(readBack.mapping, request)) {
            TellNotHeld(request, readBack);
            return Failed();
        }
        return Made(session_.Stamped(GrantOf(readBack.mapping, Method::Upnp)));
    }

private:
    GatewaySession& session_;
};

} // namespace

std::unique_ptr<NatService> OwnNatService(GatewaySession& session) { return std::make_unique<OwnNat>(session); }

NatService::AddAnswer ReadBack(GatewaySession& session, const MappingRequest& request)
{
    if (!MappingProblem(request).empty()) return Failed();
    // No headline here: our own client maps the port next, and tells its outcome.
    const IgdConnection* gateway = session.Gateway();
    if (gateway == nullptr) {
        Tell(sentence::NotReadBack, {{"subject", Subject(request)}});
        return Failed();
    }
    const MappingReadBack readBack = gateway->ReadMapping(request.externalPort, request.protocol, session.CallDeadline());
    if (readBack.code != 0) {
        DiagnosticLine("GetSpecificPortMappingEntry " + Name(request) + ": " + UpnpErrorText(readBack.code));
        Tell(sentence::SystemMappingNotConfirmed, {{"subject", Subject(request)}});
        return Failed();
    }
    if (!HoldsRequest(readBack.mapping, request)) {
        Tell(sentence::SystemMappingHeldOtherwise, {{"subject", Subject(request)}, {"holder", Name(readBack.mapping)}});
        return Failed();
    }
    // Recorded as the system's, and renewed through our client like our own.
    return Made(session.Stamped(GrantOf(readBack.mapping, Method::System)));
}

} // namespace gateway
