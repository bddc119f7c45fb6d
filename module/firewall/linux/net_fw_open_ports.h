// The ports the current profile lets in from anywhere.
#pragma once

#include <memory>

#include "com/com_api.h"
#include "firewall/firewall_manager.h"

namespace firewall {

class NetFwOpenPorts final : public comrt::ComObject<INetFwOpenPorts> {
public:
    explicit NetFwOpenPorts(std::shared_ptr<FirewallManager> manager) : manager_(std::move(manager)) {}

    // A failure status when the port is not open for the protocol.
    HRESULT Item(LONG port, NET_FW_IP_PROTOCOL protocol, INetFwOpenPort** openPort) override;
    // Takes port, protocol and name from any INetFwOpenPort.
    HRESULT Add(INetFwOpenPort* openPort) override;
    // Removes only what the tool made for the port (the managers check whose it is).
    HRESULT Remove(LONG port, NET_FW_IP_PROTOCOL protocol) override;

private:
    std::shared_ptr<FirewallManager> manager_;
};

} // namespace firewall
