#include "firewall/linux/net_fw_open_port.h"

#include <utility>

namespace firewall {

bool IsPortProtocol(NET_FW_IP_PROTOCOL protocol)
{
    return protocol == NET_FW_IP_PROTOCOL_TCP || protocol == NET_FW_IP_PROTOCOL_UDP;
}

NetFwOpenPort::NetFwOpenPort(LONG port, NET_FW_IP_PROTOCOL protocol, std::wstring name)
    : port_(port), protocol_(protocol), name_(std::move(name))
{
}

HRESULT NetFwOpenPort::get_Port(LONG* port)
{
    if (port == nullptr) return E_POINTER;
    *port = port_;
    return S_OK;
}

// firewalld would take 0 and fail on 65536 and above; nobody gets that far.
HRESULT NetFwOpenPort::put_Port(LONG port)
{
    if (!IsPortNumber(port)) return E_INVALIDARG;
    port_ = port;
    return S_OK;
}

HRESULT NetFwOpenPort::get_Protocol(NET_FW_IP_PROTOCOL* protocol)
{
    if (protocol == nullptr) return E_POINTER;
    *protocol = protocol_;
    return S_OK;
}

HRESULT NetFwOpenPort::put_Protocol(NET_FW_IP_PROTOCOL protocol)
{
    if (!IsPortProtocol(protocol)) return E_INVALIDARG;
    protocol_ = protocol;
    return S_OK;
}

HRESULT NetFwOpenPort::get_Name(BSTR* name)
{
    if (name == nullptr) return E_POINTER;
    *name = SysAllocStringLen(name_.data(), static_cast<unsigned>(name_.size()));
    return *name == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT NetFwOpenPort::put_Name(BSTR name)
{
    if (name == nullptr) return E_POINTER;
    name_.assign(name, SysStringLen(name));
    return S_OK;
}

// Entries we know of are the ports the firewall lets in, so they are enabled.
HRESULT NetFwOpenPort::get_Enabled(VARIANT_BOOL* enabled)
{
    if (enabled == nullptr) return E_POINTER;
    *enabled = VARIANT_TRUE;
    return S_OK;
}

} // namespace firewall
