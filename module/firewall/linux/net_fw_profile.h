// The current profile: whether the firewall is on, and its open ports.
#pragma once

#include <memory>

#include "com/com_api.h"
#include "firewall/firewall_manager.h"

namespace firewall {

class NetFwProfile final : public comrt::ComObject<INetFwProfile> {
public:
    explicit NetFwProfile(std::shared_ptr<FirewallManager> manager) : manager_(std::move(manager)) {}

    HRESULT get_FirewallEnabled(VARIANT_BOOL* enabled) override;
    HRESULT get_GloballyOpenPorts(INetFwOpenPorts** openPorts) override;

private:
    std::shared_ptr<FirewallManager> manager_;
};

} // namespace firewall
