#include "gateway/gateway_classes.h"

#include <memory>
#include <new>

#include "gateway/gateway_session.h"
#include "gateway/nat_upnp.h"
#include "gateway/static_port_mapping_collection.h"

namespace {

const std::shared_ptr<gateway::GatewaySession>& RunSession()
{
    static const auto session = std::make_shared<gateway::GatewaySession>(gateway::GatewaySettings{});
    return session;
}

} // namespace

std::shared_ptr<gateway::GatewaySession> gateway::RegisteredSession() { return RunSession(); }

HRESULT CreateGatewayNat(REFIID iid, void** object)
{
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    auto* created = new (std::nothrow) gateway::NatUPnP(RunSession());
    if (created == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = created->QueryInterface(iid, object);
    created->Release();
    return hr;
}

std::optional<gateway::PinholeAnswer> OpenGatewayPinholes(const gateway::Ipv6& router,
                                                          const gateway::PinholeRequest& request)
{
    gateway::GatewaySession& session = *RunSession();
    const gateway::IgdConnection* gateway = session.PinholeGateway();
    if (gateway == nullptr) return std::nullopt;
    const gateway::PinholeAnswer answer = gateway->AddPinholes(router, request, session.CallDeadline());
    // Each pinhole opened is recorded with the forward's mappings, to be renewed and closed with them.
    for (std::size_t i = 0; i < request.protocols.size() && i < gateway::kMaxPinholes; ++i) {
        if (answer.stage != gateway::PinholeStage::Asked || answer.codes[i] != 0) continue;
        gateway::HeldMapping held;
        held.externalPort = request.port;
        held.protocol = request.protocols[i];
        held.internalPort = request.port;
        held.internalClient = request.internalClient;
        held.externalAddress = request.internalClient;
        held.leaseSeconds = gateway::kPinholeLeaseSeconds;
        session.NoteGrant({held, "UPnP", {}, std::nullopt, answer.ids[i], request.forwardAddress});
    }
    return answer;
}

std::optional<gateway::Ipv6> Ipv6RouterToAsk(gateway::Ipv4 interfaceAddress, const gateway::Ipv6& own)
{
    return RunSession()->Ipv6Router(interfaceAddress, own);
}

#ifdef _WIN32
HRESULT ConfirmGatewayMapping(LONG externalPort, BSTR protocol, LONG internalPort, BSTR internalClient,
                              VARIANT_BOOL enabled, BSTR description, IStaticPortMapping** mapping)
{
    return gateway::ConfirmMapping(*RunSession(), externalPort, protocol, internalPort, internalClient, enabled,
                                   description, mapping);
}
#else
void RegisterGatewayClasses() { comrt::RegisterClass(CLSID_UPnPNAT, CreateGatewayNat); }
#endif
