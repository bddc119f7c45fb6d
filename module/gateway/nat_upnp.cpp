#include "gateway/nat_upnp.h"

#include <new>

#include "gateway/static_port_mapping_collection.h"

namespace gateway {

HRESULT NatUPnP::get_StaticPortMappingCollection(IStaticPortMappingCollection** collection)
{
    if (collection == nullptr) return E_POINTER;
    *collection = nullptr;
    if (!session_->HasGateway()) return S_OK;
    auto* created = new (std::nothrow) StaticPortMappingCollection(session_);
    if (created == nullptr) return E_OUTOFMEMORY;
    *collection = created;
    return S_OK;
}

} // namespace gateway
