#include "gateway_classes.h"

#include <memory>
#include <new>

#include "com/com_api.h"
#include "nat_upnp.h"

namespace {

std::shared_ptr<gateway::GatewaySession>& Registered()
{
    static std::shared_ptr<gateway::GatewaySession> session;
    return session;
}

} // namespace

std::shared_ptr<gateway::GatewaySession> gateway::RegisteredSession() { return Registered(); }

void RegisterGatewayClasses() { RegisterGatewayClasses(gateway::GatewaySettings{}); }

void RegisterGatewayClasses(const gateway::GatewaySettings& settings)
{
    auto session = std::make_shared<gateway::GatewaySession>(settings);
    Registered() = session;
    comrt::RegisterClass(CLSID_UPnPNAT, [session](REFIID iid, void** object) -> HRESULT {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        auto* created = new (std::nothrow) gateway::NatUPnP(session);
        if (created == nullptr) return E_OUTOFMEMORY;
        const HRESULT hr = created->QueryInterface(iid, object);
        created->Release();
        return hr;
    });
}
