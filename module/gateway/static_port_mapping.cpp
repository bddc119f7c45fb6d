#include "gateway/static_port_mapping.h"

#include "platform/utf8.h"

namespace gateway {
namespace {

HRESULT Give(const std::string& text, BSTR* out)
{
    if (out == nullptr) return E_POINTER;
    *out = SysAllocString(WideFromUtf8(text).c_str());
    return *out == nullptr ? E_OUTOFMEMORY : S_OK;
}

template <class Value, class Out>
HRESULT Give(Value value, Out* out)
{
    if (out == nullptr) return E_POINTER;
    *out = static_cast<Out>(value);
    return S_OK;
}

} // namespace

HRESULT StaticPortMapping::get_ExternalIPAddress(BSTR* address) { return Give(held_.externalAddress, address); }
HRESULT StaticPortMapping::get_ExternalPort(LONG* port) { return Give(held_.externalPort, port); }
HRESULT StaticPortMapping::get_InternalPort(LONG* port) { return Give(held_.internalPort, port); }
HRESULT StaticPortMapping::get_Protocol(BSTR* protocol) { return Give(std::string(Name(held_.protocol)), protocol); }
HRESULT StaticPortMapping::get_InternalClient(BSTR* client) { return Give(held_.internalClient, client); }
HRESULT StaticPortMapping::get_Enabled(VARIANT_BOOL* enabled)
{
    return Give(held_.enabled ? VARIANT_TRUE : VARIANT_FALSE, enabled);
}
HRESULT StaticPortMapping::get_Description(BSTR* description) { return Give(held_.description, description); }
HRESULT StaticPortMapping::get_LeaseSeconds(LONG* seconds) { return Give(held_.leaseSeconds, seconds); }

} // namespace gateway
