#include "firewall/linux/net_fw_open_ports.h"

#include <string>

#include "com/com_ptr.h"
#include "firewall/linux/hand_out.h"
#include "firewall/linux/net_fw_open_port.h"
#include "firewall/linux/status_hresult.h"
#include "platform/utf8.h"

namespace firewall {
namespace {

Protocol ManagerProtocol(NET_FW_IP_PROTOCOL protocol)
{
    return protocol == NET_FW_IP_PROTOCOL_TCP ? Protocol::Tcp : Protocol::Udp;
}

} // namespace

HRESULT NetFwOpenPorts::Item(LONG port, NET_FW_IP_PROTOCOL protocol, INetFwOpenPort** openPort)
{
    if (openPort == nullptr) return E_POINTER;
    *openPort = nullptr;
    if (!IsPortNumber(port) || !IsPortProtocol(protocol)) return E_INVALIDARG;
    std::string name;
    const Status status = manager_->FindOpenPort(port, ManagerProtocol(protocol), name);
    if (status != Status::Ok) return HresultFromStatus(status);
    return HandOut<NetFwOpenPort>(IID_INetFwOpenPort, OutPlace(openPort), port, protocol, WideFromUtf8(name));
}

HRESULT NetFwOpenPorts::Add(INetFwOpenPort* openPort)
{
    if (openPort == nullptr) return E_POINTER;
    LONG port = 0;
    NET_FW_IP_PROTOCOL protocol = NET_FW_IP_PROTOCOL_TCP;
    Bstr name;
    HRESULT hr = openPort->get_Port(&port);
    if (SUCCEEDED(hr)) hr = openPort->get_Protocol(&protocol);
    if (SUCCEEDED(hr)) hr = openPort->get_Name(name.put());
    if (FAILED(hr)) return hr;
    if (!IsPortNumber(port) || !IsPortProtocol(protocol)) return E_INVALIDARG;
    return HresultFromStatus(manager_->OpenPort(port, ManagerProtocol(protocol), name.ToWide()));
}

HRESULT NetFwOpenPorts::Remove(LONG port, NET_FW_IP_PROTOCOL protocol)
{
    if (!IsPortNumber(port) || !IsPortProtocol(protocol)) return E_INVALIDARG;
    return HresultFromStatus(manager_->ClosePort(port, ManagerProtocol(protocol)));
}

} // namespace firewall
