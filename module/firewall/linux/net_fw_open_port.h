// One open port: made empty through CLSID_NetFwOpenPort and filled by the caller, or
// handed out for a port the firewall has open.
#pragma once

#include <string>

#include "com/com_api.h"
#include "platform/port_number.h"

namespace firewall {

// Only the protocols a firewall manager can open.
bool IsPortProtocol(NET_FW_IP_PROTOCOL protocol);

class NetFwOpenPort final : public comrt::ComObject<INetFwOpenPort> {
public:
    NetFwOpenPort() = default;
    NetFwOpenPort(LONG port, NET_FW_IP_PROTOCOL protocol, std::wstring name);

    HRESULT get_Port(LONG* port) override;
    HRESULT put_Port(LONG port) override;
    HRESULT get_Protocol(NET_FW_IP_PROTOCOL* protocol) override;
    HRESULT put_Protocol(NET_FW_IP_PROTOCOL protocol) override;
    HRESULT get_Name(BSTR* name) override;
    HRESULT put_Name(BSTR name) override;
    HRESULT get_Enabled(VARIANT_BOOL* enabled) override;

private:
    LONG port_ = 0;
    NET_FW_IP_PROTOCOL protocol_ = NET_FW_IP_PROTOCOL_TCP;
    std::wstring name_;
};

} // namespace firewall
