// The firewall manager object and its local policy. The machine's firewall manager
// is looked up when the current profile is asked for, once per profile.
#pragma once

#include <functional>
#include <memory>

#include "com/com_api.h"
#include "firewall/firewall_manager.h"

namespace firewall {

using ManagerFactory = std::function<std::unique_ptr<FirewallManager>()>;

class NetFwPolicy final : public comrt::ComObject<INetFwPolicy> {
public:
    explicit NetFwPolicy(ManagerFactory factory) : factory_(std::move(factory)) {}

    // E_ACCESSDENIED when the manager would refuse our changes.
    HRESULT get_CurrentProfile(INetFwProfile** profile) override;

private:
    ManagerFactory factory_;
};

class NetFwMgr final : public comrt::ComObject<INetFwMgr> {
public:
    explicit NetFwMgr(ManagerFactory factory) : factory_(std::move(factory)) {}

    HRESULT get_LocalPolicy(INetFwPolicy** policy) override;

private:
    ManagerFactory factory_;
};

} // namespace firewall
