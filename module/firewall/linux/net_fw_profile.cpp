#include "firewall/linux/net_fw_profile.h"

#include "firewall/linux/hand_out.h"
#include "firewall/linux/net_fw_open_ports.h"
#include "firewall/linux/status_hresult.h"

namespace firewall {

HRESULT NetFwProfile::get_FirewallEnabled(VARIANT_BOOL* enabled)
{
    if (enabled == nullptr) return E_POINTER;
    *enabled = manager_->Enabled() ? VARIANT_TRUE : VARIANT_FALSE;
    return HresultFromStatus(manager_->StateRead());
}

HRESULT NetFwProfile::get_GloballyOpenPorts(INetFwOpenPorts** openPorts)
{
    return HandOut<NetFwOpenPorts>(IID_INetFwOpenPorts, OutPlace(openPorts), manager_);
}

} // namespace firewall
