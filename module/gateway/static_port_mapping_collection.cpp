#include "gateway/static_port_mapping_collection.h"

#include <new>
#include <utility>

#include "tell.h"

#include "gateway/gateway_log.h"
#include "gateway/lease_request.h"
#include "gateway/router_headlines.h"
#include "gateway/static_port_mapping.h"
#include "gateway/upnp/upnp_errors.h"

namespace gateway {
namespace {

std::string Name(const MappingRequest& request)
{
    return std::to_string(request.externalPort) + "/" + std::string(Name(request.protocol)) + " -> " + request.internalClient + ":" +
           std::to_string(request.internalPort);
}

std::string Name(const HeldMapping& held)
{
    return held.internalClient + ":" + std::to_string(held.internalPort) + (held.enabled ? "" : ", disabled");
}

std::string Subject(const MappingRequest& request)
{
    return std::string(Name(request.protocol)) + " " + std::to_string(request.externalPort);
}

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
HRESULT Refuse(const IgdConnection& gateway, const MappingRequest& request, int code, Deadline deadline)
{
    DiagnosticLine("AddPortMapping " + Name(request) + ": " + UpnpErrorText(code));
    const int port = request.externalPort;
    if (code == kNoAnswerInTime) {
        UserLine("The gateway did not answer in time when asked for " + Subject(request) + ".");
        Headline(headline::NoAnswer(port));
    } else if (code < 0) {
        UserLine("The gateway's answer when asked for " + Subject(request) + " could not be read.");
        Headline(headline::AnswerUnreadable(port));
    } else {
        const auto holder = code == kConflictInMappingEntry ? Holder(gateway, request, deadline) : std::nullopt;
        UserLine("The gateway refused " + Subject(request) + ": " + UpnpErrorText(code) + UpnpRefusalMeaning(code) +
                 (holder ? " (" + Name(*holder) + ")" : "") + ".");
        Headline(RefusalHeadline(port, code, holder));
    }
    return HresultFromUpnpError(code);
}

// A gateway may say yes and hold nothing, or hold the port for someone else.
HRESULT ReadBackFailed(const MappingRequest& request, const MappingReadBack& readBack)
{
    const int port = request.externalPort;
    if (readBack.code != 0) {
        DiagnosticLine("GetSpecificPortMappingEntry " + Name(request) + ": " + UpnpErrorText(readBack.code));
        GatewayLog("AddPortMapping " + Name(request) + " said yes, but reading it back failed" +
                   (readBack.code > 0 ? ": " + UpnpErrorText(readBack.code) : std::string()));
        Headline(readBack.code == kNoAnswerInTime ? headline::NoAnswer(port) : headline::NotHeld(port));
        return E_FAIL;
    }
    GatewayLog("AddPortMapping " + Name(request) + " said yes, but the gateway holds the port for " +
               Name(readBack.mapping));
    const std::string& holder = readBack.mapping.internalClient;
    Headline(holder != request.internalClient ? headline::HeldByAnother(port, holder) : headline::NotHeld(port));
    return E_FAIL;
}

HRESULT Hand(const HeldMapping& held, IStaticPortMapping** mapping)
{
    auto* made = new (std::nothrow) StaticPortMapping(held);
    if (made == nullptr) return E_OUTOFMEMORY;
    *mapping = made;
    return S_OK;
}

} // namespace

HRESULT StaticPortMappingCollection::Add(LONG externalPort, BSTR protocol, LONG internalPort, BSTR internalClient,
                                         VARIANT_BOOL enabled, BSTR description, IStaticPortMapping** mapping)
{
    if (mapping == nullptr) return E_POINTER;
    *mapping = nullptr;
    const ArgumentCheck check =
        CheckMappingArguments(externalPort, protocol, internalPort, internalClient, enabled, description);
    if (!check.request) {
        GatewayLog("nothing sent: " + check.problem);
        Headline(headline::NothingAsked(check.problem));
        return E_INVALIDARG;
    }
    const MappingRequest& request = *check.request;
    if (const PortControlGateway* portControl = session_->PortControl()) {
        const MappingOutcome outcome = portControl->Map(request, session_->CallDeadline());
        if (FAILED(outcome.status)) return outcome.status;
        Grant grant = GrantOf(outcome.held, portControl->Speaks());
        grant.nonce = portControl->NonceText();
        grant.epoch = outcome.epoch;
        session_->NoteGrant(std::move(grant));
        return Hand(outcome.held, mapping);
    }
    const IgdConnection& gateway = *session_->Gateway();

    const int refusal = AddWithLease(gateway, request, session_->CallDeadline());
    if (refusal != 0) return Refuse(gateway, request, refusal, session_->CallDeadline());
    const MappingReadBack readBack = gateway.ReadMapping(request.externalPort, request.protocol, session_->CallDeadline());
    if (readBack.code != 0 || !HoldsRequest(readBack.mapping, request)) return ReadBackFailed(request, readBack);
    session_->NoteGrant(GrantOf(readBack.mapping, Method::Upnp));
    return Hand(readBack.mapping, mapping);
}

#ifdef _WIN32
HRESULT ConfirmMapping(GatewaySession& session, LONG externalPort, BSTR protocol, LONG internalPort,
                       BSTR internalClient, VARIANT_BOOL enabled, BSTR description, IStaticPortMapping** mapping)
{
    if (mapping == nullptr) return E_POINTER;
    *mapping = nullptr;
    const ArgumentCheck check =
        CheckMappingArguments(externalPort, protocol, internalPort, internalClient, enabled, description);
    if (!check.request) return E_INVALIDARG;
    const MappingRequest& request = *check.request;
    // No headline here: our own client maps the port next, and tells its outcome.
    const IgdConnection* gateway = session.Gateway();
    if (gateway == nullptr) {
        UserLine("The mapping of " + Subject(request) + " cannot be read back: the default gateway does not answer UPnP.");
        return E_FAIL;
    }
    const MappingReadBack readBack = gateway->ReadMapping(request.externalPort, request.protocol, session.CallDeadline());
    if (readBack.code != 0) {
        DiagnosticLine("GetSpecificPortMappingEntry " + Name(request) + ": " + UpnpErrorText(readBack.code));
        UserLine("The default gateway did not confirm " + Subject(request) + ", which Windows' NAT service reported mapped.");
        return E_FAIL;
    }
    if (!HoldsRequest(readBack.mapping, request)) {
        UserLine("The default gateway holds " + Subject(request) + " for " + Name(readBack.mapping) +
                 ", not as Windows' NAT service reported.");
        return E_FAIL;
    }
    // Recorded as the system's, and renewed through our client like our own.
    session.NoteGrant(GrantOf(readBack.mapping, Method::System));
    return Hand(readBack.mapping, mapping);
}
#endif

} // namespace gateway
