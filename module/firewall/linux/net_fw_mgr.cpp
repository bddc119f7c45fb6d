#include "firewall/linux/net_fw_mgr.h"

#include "firewall/linux/hand_out.h"
#include "firewall/linux/net_fw_profile.h"
#include "firewall/linux/status_hresult.h"

namespace firewall {

HRESULT NetFwPolicy::get_CurrentProfile(INetFwProfile** profile)
{
    if (profile == nullptr) return E_POINTER;
    *profile = nullptr;
    std::shared_ptr<FirewallManager> manager = factory_();
    if (manager == nullptr) return E_OUTOFMEMORY;
    const Status status = manager->OpenProfile();
    if (status != Status::Ok) return HresultFromStatus(status);
    return HandOut<NetFwProfile>(IID_INetFwProfile, OutPlace(profile), std::move(manager));
}

HRESULT NetFwMgr::get_LocalPolicy(INetFwPolicy** policy)
{
    return HandOut<NetFwPolicy>(IID_INetFwPolicy, OutPlace(policy), factory_);
}

} // namespace firewall
