#include "static_port_mapping_collection.h"

#include <new>

#include "gateway_log.h"
#include "platform/posix/internal_client.h"
#include "static_port_mapping.h"
#include "upnp_errors.h"

namespace gateway {
namespace {

std::string Name(const MappingRequest& request)
{
    return std::to_string(request.externalPort) + "/" + request.protocol + " -> " + request.internalClient + ":" +
           std::to_string(request.internalPort);
}

std::string Name(const HeldMapping& held)
{
    return held.internalClient + ":" + std::to_string(held.internalPort) + (held.enabled ? "" : ", disabled");
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
        return E_INVALIDARG;
    }
    const MappingRequest& request = *check.request;
    NoteInternalClient(request.internalClient);
    const IgdConnection& gateway = *session_->Gateway();

    const int refusal = gateway.AddPortMapping(request, session_->CallDeadline());
    if (refusal != 0) {
        GatewayLog("AddPortMapping " + Name(request) + " refused: " + UpnpErrorText(refusal));
        return HresultFromUpnpError(refusal);
    }
    // A gateway may say yes and hold nothing, or hold the port for someone else.
    const MappingReadBack readBack = gateway.ReadMapping(request.externalPort, request.protocol, session_->CallDeadline());
    if (readBack.code != 0) {
        GatewayLog("AddPortMapping " + Name(request) + " said yes, but reading it back failed: " +
                   UpnpErrorText(readBack.code));
        return E_FAIL;
    }
    if (!HoldsRequest(readBack.mapping, request)) {
        GatewayLog("AddPortMapping " + Name(request) + " said yes, but the gateway holds the port for " +
                   Name(readBack.mapping));
        return E_FAIL;
    }
    auto* held = new (std::nothrow) StaticPortMapping(readBack.mapping);
    if (held == nullptr) return E_OUTOFMEMORY;
    *mapping = held;
    return S_OK;
}

} // namespace gateway
