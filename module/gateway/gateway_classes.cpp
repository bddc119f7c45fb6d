#include "gateway/gateway_classes.h"

#include <memory>
#include <new>

#include "com/com_api.h"
#include "gateway/nat_upnp.h"

void RegisterGatewayClasses() { RegisterGatewayClasses(gateway::GatewaySettings{}); }

void RegisterGatewayClasses(const gateway::GatewaySettings& settings)
{
    auto session = std::make_shared<gateway::GatewaySession>(settings);
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
